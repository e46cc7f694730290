// Property access: indexes 0 to 7 are served here for every control, the list view's "all rows"
// (37) is built from its rows here, everything else goes to the native control's type code.

#include <algorithm>
#include <cstdio>

#include "runtime/bridge.h"
#include "runtime/control_types.h"
#include "runtime/internal/bridge_state.h"
#include "runtime/list_view_records.h"

namespace vorel::runtime {

using internal::State;

namespace {

constexpr std::int32_t kMaxExtent = 32627;

// The shared properties, from the table of control types.
constexpr PropertyIndex kLeft = kIndexOf<controls::AnyControl, property::Left>;
constexpr PropertyIndex kTop = kIndexOf<controls::AnyControl, property::Top>;
constexpr PropertyIndex kWidth = kIndexOf<controls::AnyControl, property::Width>;
constexpr PropertyIndex kHeight = kIndexOf<controls::AnyControl, property::Height>;
constexpr PropertyIndex kTag = kIndexOf<controls::AnyControl, property::Tag>;
constexpr PropertyIndex kVisible = kIndexOf<controls::AnyControl, property::Visible>;
constexpr PropertyIndex kDisabled = kIndexOf<controls::AnyControl, property::Disabled>;
constexpr PropertyIndex kPointer = kIndexOf<controls::AnyControl, property::Pointer>;
static_assert(kLeft == 0 && kTop == 1 && kWidth == 2 && kHeight == 3 &&
                  kPointer == controls::AnyControl::kLastShared,
              "the geometry comes first and the shared indexes are contiguous");
// The runtime serves a list view's rows itself, from the native list.
constexpr PropertyIndex kListAllRows = kIndexOf<controls::ListView, property::AllRows>;

bool IsShared(PropertyIndex index) {
  return index >= 0 && index <= controls::AnyControl::kLastShared;
}

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
    case kLeft: return g.left;
    case kTop: return g.top;
    case kWidth: return g.width;
    case kHeight: return g.height;
    case kTag: return t.record->tag;
    case kVisible: return native ? ui->IsVisible(t.handle) : t.record->visible();
    case kDisabled: return native ? ui->IsDisabled(t.handle) : t.record->disabled();
    default: return t.record->mouse_pointer;  // kPointer
  }
}

void WriteCommon(const Target& t, PropertyIndex index, const Value& v) {
  NativeUi* ui = State().ui;
  ControlRecord& rec = *t.record;
  const bool native = t.handle != 0 && ui->HasGeometry(t.handle);
  if (index <= kHeight) {
    Geometry g =
        native ? ui->GetGeometry(t.handle) : Geometry{rec.left, rec.top, rec.width, rec.height};
    std::int32_t n = ToInteger(v);
    if (index >= kWidth) n = std::clamp(n, 0, kMaxExtent);
    (index == kLeft ? g.left : index == kTop ? g.top : index == kWidth ? g.width : g.height) = n;
    if (native) {
      ui->SetGeometry(t.handle, g);
    } else {
      rec.left = g.left, rec.top = g.top, rec.width = g.width, rec.height = g.height;
    }
    return;
  }
  switch (index) {
    case kTag: rec.tag = ToText(v); return;
    case kVisible:
    case kDisabled: {
      const std::uint32_t bit = index == kVisible ? kFlagVisible : kFlagDisabled;
      rec.flags = AsBool(v) ? (rec.flags | bit) : (rec.flags & ~bit);
      if (native)
        (index == kVisible ? ui->SetVisible(t.handle, AsBool(v))
                           : ui->SetDisabled(t.handle, AsBool(v)));
      return;
    }
    default:  // kPointer
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
  if (IsShared(index)) return ReadCommon(t, index);
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
  if (IsShared(index)) return WriteCommon(t, index, v);
  if (t.handle == 0) internal::FatalUtf8("指定窗口尚未载入");
  NativeUi* ui = State().ui;
  if (t.record->type == kTypeListView && index == kListAllRows) {
    Bytes data = ToBytes(v);
    auto rows = DecodeListRows(data, ui->ColumnCount(t.handle));
    ui->DeleteAllRows(t.handle);
    for (const auto& row : rows) ui->InsertRow(t.handle, -1, row);
    internal::NoteRowsChanged(window, control);
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
