// Property access: indexes 0 to 7 are served here for every control, the list view's "all rows"
// (37) is built from its rows here, everything else goes to the native control's type code.

#include <algorithm>
#include <cstdio>

#include "runtime/bridge.h"
#include "runtime/internal/bridge_state.h"
#include "runtime/list_view_records.h"

namespace vorel::runtime {

using internal::State;

namespace {

constexpr std::int32_t kMaxExtent = 32627;
constexpr PropertyIndex kListAllRows = 37;

struct Target {
  NativeHandle handle = 0;
  ControlRecord* record = nullptr;
};

Target Locate(WindowId window, ControlId control) {
  auto& s = State();
  if (!s.loaded.count(window)) internal::FatalUtf8("未载入欲访问窗口组件所在的窗口");
  Target t;
  t.handle = internal::FindHandle(window, control, &t.record);
  if (t.record == nullptr) internal::FatalUtf8("指定窗口或窗口组件不存在或尚未载入");
  return t;
}

bool AsBool(const Value& v) { return ToInteger(v) != 0; }

Value ReadCommon(const Target& t, PropertyIndex index) {
  NativeUi* ui = State().ui;
  const bool native = t.handle != 0 && ui->HasGeometry(t.handle);
  Geometry g = native ? ui->GetGeometry(t.handle)
                      : Geometry{t.record->left, t.record->top, t.record->width, t.record->height};
  switch (index) {
    case 0: return g.left;
    case 1: return g.top;
    case 2: return g.width;
    case 3: return g.height;
    case 4: return t.record->tag;
    case 5: return native ? ui->IsVisible(t.handle) : t.record->visible();
    case 6: return native ? ui->IsDisabled(t.handle) : t.record->disabled();
    default: return t.record->mouse_pointer;
  }
}

void WriteCommon(const Target& t, PropertyIndex index, const Value& v) {
  NativeUi* ui = State().ui;
  ControlRecord& rec = *t.record;
  const bool native = t.handle != 0 && ui->HasGeometry(t.handle);
  if (index <= 3) {
    Geometry g = native ? ui->GetGeometry(t.handle)
                        : Geometry{rec.left, rec.top, rec.width, rec.height};
    std::int32_t n = ToInteger(v);
    if (index >= 2) n = std::clamp(n, 0, kMaxExtent);
    (index == 0 ? g.left : index == 1 ? g.top : index == 2 ? g.width : g.height) = n;
    if (native) {
      ui->SetGeometry(t.handle, g);
    } else {
      rec.left = g.left, rec.top = g.top, rec.width = g.width, rec.height = g.height;
    }
    return;
  }
  switch (index) {
    case 4:
      rec.tag = ToText(v);
      return;
    case 5:
    case 6: {
      const std::uint32_t bit = index == 5 ? kFlagVisible : kFlagDisabled;
      rec.flags = AsBool(v) ? (rec.flags | bit) : (rec.flags & ~bit);
      if (native) (index == 5 ? ui->SetVisible(t.handle, AsBool(v))
                              : ui->SetDisabled(t.handle, AsBool(v)));
      return;
    }
    default:
      rec.mouse_pointer = ToBytes(v);
      if (native) ui->SetMousePointer(t.handle, rec.mouse_pointer);
  }
}

void ReportUnknownIndex(const ControlRecord& rec, PropertyIndex index) {
  std::fprintf(stderr, "vorel: control %s (type %08x) has no property %d\n",
               Utf8FromText(rec.name).c_str(), rec.type, index);
}

Value ReadOnUi(WindowId window, ControlId control, PropertyIndex index) {
  Target t = Locate(window, control);
  if (index >= 0 && index <= 7) return ReadCommon(t, index);
  if (t.handle == 0) internal::FatalUtf8("指定窗口尚未载入");
  NativeUi* ui = State().ui;
  if (t.record->type == kTypeListView && index == kListAllRows) {
    std::vector<ListRow> rows(ui->RowCount(t.handle));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) ui->GetRow(t.handle, i, &rows[i]);
    return EncodeListRows(rows, ui->ColumnCount(t.handle));
  }
  Value out = std::int32_t{0};
  if (ui->GetProperty(t.handle, index, &out) != PropertyStatus::kOk) {
    ReportUnknownIndex(*t.record, index);
    return std::int32_t{0};
  }
  return out;
}

void WriteOnUi(WindowId window, ControlId control, PropertyIndex index, const Value& v) {
  Target t = Locate(window, control);
  if (index >= 0 && index <= 7) return WriteCommon(t, index, v);
  if (t.handle == 0) internal::FatalUtf8("指定窗口尚未载入");
  NativeUi* ui = State().ui;
  if (t.record->type == kTypeListView && index == kListAllRows) {
    Bytes data = ToBytes(v);
    auto rows = DecodeListRows(data, ui->ColumnCount(t.handle));
    ui->DeleteAllRows(t.handle);
    for (const auto& row : rows) ui->InsertRow(t.handle, -1, row);
    return;
  }
  if (ui->SetProperty(t.handle, index, v) != PropertyStatus::kOk) {
    ReportUnknownIndex(*t.record, index);
  }
}

}  // namespace

Value ReadProperty(WindowId window, ControlId control, PropertyIndex index) {
  return internal::OnUiThread<Value>(std::int32_t{0},
                                     [&] { return ReadOnUi(window, control, index); });
}

void WriteProperty(WindowId window, ControlId control, PropertyIndex index, const Value& value) {
  internal::OnUiThreadVoid([&] { WriteOnUi(window, control, index, value); });
}

std::int32_t ReadIntProperty(WindowId window, ControlId control, PropertyIndex index) {
  return ToInteger(ReadProperty(window, control, index));
}

Text ReadTextProperty(WindowId window, ControlId control, PropertyIndex index) {
  return ToText(ReadProperty(window, control, index));
}

Bytes ReadBytesProperty(WindowId window, ControlId control, PropertyIndex index) {
  return ToBytes(ReadProperty(window, control, index));
}

}  // namespace vorel::runtime
