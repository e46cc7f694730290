#include "runtime/window_ops.h"

#include <algorithm>

#include "runtime/control_types.h"
#include "runtime/internal/bridge_state.h"
#include "runtime/text_ops.h"

namespace vorel::runtime {

using internal::State;

namespace {

// The native handle of a loaded control; fatal when it is not loaded.
NativeHandle Need(WindowId window, ControlId control) {
  ControlRecord* rec = nullptr;
  NativeHandle h = internal::FindHandle(window, control, &rec);
  if (h == 0) internal::NotLoaded();
  return h;
}

NativeHandle NeedWindow(WindowId window) {
  auto& loaded = State().loaded;
  auto it = loaded.find(window);
  if (it == loaded.end()) internal::NotLoaded();
  return it->second.handle;
}

// The longest prefix of at most `limit` bytes that does not end inside a double-byte character.
Text CutOnCharacter(const Text& text, std::size_t limit) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t step = static_cast<unsigned char>(text[pos]) >= 0x80 ? 2 : 1;
    // A four-byte GB18030 sequence has an ASCII digit as its second byte.
    if (step == 2 && pos + 1 < text.size() && text[pos + 1] >= '0' && text[pos + 1] <= '9') {
      step = 4;
    }
    if (pos + step > limit) break;
    pos += step;
  }
  return text.substr(0, std::min(pos, text.size()));
}

}  // namespace

int ShowMessageBox(const Text& content, int flags, const Text& caption) {
  return internal::OnUiThread<int>(kMessageBoxOk, [&] {
    using namespace literals;
    NativeUi* ui = State().ui;
    if (ui == nullptr) return kMessageBoxOk;
    return ui->ShowMessageBox(content, flags, caption.empty() ? "信息："_t : caption);
  });
}

void FocusControl(WindowId window, ControlId control) {
  internal::OnUiThreadVoid([&] { State().ui->FocusControl(Need(window, control)); });
}

std::int64_t WindowHandle(WindowId window, ControlId control) {
  return internal::OnUiThread<std::int64_t>(0, [&]() -> std::int64_t {
    ControlRecord* rec = nullptr;
    NativeHandle h = internal::FindHandle(window, control, &rec);
    if (rec == nullptr) internal::NotLoaded();
    return static_cast<std::int64_t>(h);
  });
}

void AddToolTip(std::int64_t handle, const Text& text, bool balloon, bool centred) {
  if (handle == 0) return;
  internal::OnUiThreadVoid([&] {
    NativeUi* ui = State().ui;
    auto h = static_cast<NativeHandle>(handle);
    if (ui->IsLiveHandle(h)) ui->AddToolTip(h, text, balloon, centred);
  });
}

void SetTrayIcon(WindowId window, const Bytes& icon, const Text& tip) {
  internal::OnUiThreadVoid(
      [&] { State().ui->SetTrayIcon(NeedWindow(window), icon, CutOnCharacter(tip, 62)); });
}

void SetShapePicture(WindowId window, const Bytes& picture, std::uint32_t transparent) {
  internal::OnUiThreadVoid(
      [&] { State().ui->SetShapePicture(NeedWindow(window), picture, transparent); });
}

void ClearDrawing(WindowId window, ControlId panel, std::optional<std::int32_t> left,
                  std::optional<std::int32_t> top, std::optional<std::int32_t> width,
                  std::optional<std::int32_t> height) {
  internal::OnUiThreadVoid([&] {
    NativeHandle h = Need(window, panel);
    NativeUi* ui = State().ui;
    if (!left && !top && !width && !height) {
      ui->ClearDrawing(h, nullptr);
      return;
    }
    Geometry whole = ui->GetGeometry(h);
    Geometry area{left.value_or(0), top.value_or(0), width.value_or(whole.width),
                  height.value_or(whole.height)};
    ui->ClearDrawing(h, &area);
  });
}

void DrawGradientRectangle(WindowId window, ControlId panel, std::int32_t left, std::int32_t top,
                           std::int32_t width, std::int32_t height, int mode,
                           const std::vector<std::uint32_t>& colours) {
  internal::OnUiThreadVoid([&] {
    NativeHandle h = Need(window, panel);
    NativeUi* ui = State().ui;
    if (width < 1 || height < 1) return;
    Geometry g = ui->GetGeometry(h);
    if (left >= g.width || top >= g.height || left + width <= 0 || top + height <= 0) return;
    std::vector<std::uint32_t> c = colours;
    if (c.empty()) {
      Value pen = std::int32_t{0};
      ui->GetProperty(h, kIndexOf<controls::DrawPanel, property::PenColour>, &pen);
      c.push_back(static_cast<std::uint32_t>(ToInteger(pen)));
    }
    ui->DrawGradientRectangle(h, Geometry{left, top, width, height}, std::clamp(mode, 1, 8), c);
  });
}

int RowCount(WindowId window, ControlId list) {
  return internal::OnUiThread<int>(0, [&] { return State().ui->RowCount(Need(window, list)); });
}

int ColumnCount(WindowId window, ControlId list) {
  return internal::OnUiThread<int>(0, [&] { return State().ui->ColumnCount(Need(window, list)); });
}

int InsertRow(WindowId window, ControlId list, std::optional<int> position, const Text& title,
              std::int32_t image, std::int32_t state_image, std::int32_t indent,
              std::int32_t data) {
  return internal::OnUiThread<int>(-1, [&] {
    NativeHandle h = Need(window, list);
    ListRow row;
    row.image = image;
    row.state_image = state_image;
    row.indent = indent;
    row.data = data;
    row.cells.push_back(title);
    const int at = State().ui->InsertRow(h, position.value_or(-1), row);
    if (at >= 0) internal::NoteRowsChanged(window, list);
    return at;
  });
}

void DeleteRow(WindowId window, ControlId list, int row) {
  internal::OnUiThreadVoid([&] {
    if (State().ui->DeleteRow(Need(window, list), row)) internal::NoteRowsChanged(window, list);
  });
}

void DeleteAllRows(WindowId window, ControlId list) {
  internal::OnUiThreadVoid([&] {
    State().ui->DeleteAllRows(Need(window, list));
    internal::NoteRowsChanged(window, list);
  });
}

bool GetRow(WindowId window, ControlId list, int row, ListRow* out) {
  return internal::OnUiThread<bool>(
      false, [&] { return State().ui->GetRow(Need(window, list), row, out); });
}

Text GetCellText(WindowId window, ControlId list, int row, int column) {
  ListRow r;
  if (!GetRow(window, list, row, &r) || column < 0 ||
      static_cast<std::size_t>(column) >= r.cells.size()) {
    return {};
  }
  return r.cells[column];
}

void SetCellText(WindowId window, ControlId list, int row, int column, const Text& text) {
  internal::OnUiThreadVoid([&] {
    if (State().ui->SetCellText(Need(window, list), row, column, text)) {
      internal::NoteRowsChanged(window, list);
    }
  });
}

std::int32_t GetRowImage(WindowId window, ControlId list, int row) {
  ListRow r;
  return GetRow(window, list, row, &r) ? r.image : 0;
}

std::int32_t GetRowStateImage(WindowId window, ControlId list, int row) {
  ListRow r;
  return GetRow(window, list, row, &r) ? r.state_image : -1;
}

std::int32_t GetRowIndent(WindowId window, ControlId list, int row) {
  ListRow r;
  return GetRow(window, list, row, &r) ? r.indent : 0;
}

std::int32_t GetRowData(WindowId window, ControlId list, int row) {
  ListRow r;
  return GetRow(window, list, row, &r) ? r.data : 0;
}

}  // namespace vorel::runtime
