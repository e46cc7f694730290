// What the list views and drawing panels show, reached through their handles.

#include "ui/qt/internal/qt_native_ui.h"

#include "ui/qt/internal/draw_panel.h"
#include "ui/qt/internal/list_view.h"

namespace vorel::qt {

using runtime::Geometry;
using runtime::NativeHandle;

int QtNativeUi::RowCount(NativeHandle list) {
  auto* l = As<ListView>(list);
  return l ? l->RowCount() : 0;
}

int QtNativeUi::ColumnCount(NativeHandle list) {
  auto* l = As<ListView>(list);
  return l ? l->columnCount() : 0;
}

int QtNativeUi::InsertRow(NativeHandle list, int position, const runtime::ListRow& row) {
  auto* l = As<ListView>(list);
  return l ? l->InsertRow(position, row) : -1;
}

bool QtNativeUi::DeleteRow(NativeHandle list, int row) {
  auto* l = As<ListView>(list);
  return l && l->DeleteRow(row);
}

void QtNativeUi::DeleteAllRows(NativeHandle list) {
  if (auto* l = As<ListView>(list)) l->DeleteAllRows();
}

bool QtNativeUi::GetRow(NativeHandle list, int row, runtime::ListRow* out) {
  auto* l = As<ListView>(list);
  return l && l->GetRow(row, out);
}

bool QtNativeUi::SetCellText(NativeHandle list, int row, int column, const runtime::Text& text) {
  auto* l = As<ListView>(list);
  return l && l->SetCellText(row, column, text);
}

void QtNativeUi::ClearDrawing(NativeHandle panel, const Geometry* area) {
  auto* p = As<DrawPanel>(panel);
  if (p == nullptr) return;
  p->Clear(area ? QRect(area->left, area->top, area->width, area->height) : p->rect());
}

void QtNativeUi::DrawGradientRectangle(NativeHandle panel, const Geometry& area, int mode,
                                       const std::vector<std::uint32_t>& colours) {
  auto* p = As<DrawPanel>(panel);
  if (p == nullptr || colours.empty()) return;
  p->Gradient(QRect(area.left, area.top, area.width, area.height), mode, colours);
}

}  // namespace vorel::qt
