#ifndef VOREL_TESTS_BRIDGE_FAKE_NATIVE_UI_H_
#define VOREL_TESTS_BRIDGE_FAKE_NATIVE_UI_H_

// A NativeUi without widgets: controls are records in a map. It lets the bridge's rules be
// tested without Qt, and lets a test act during creation (on_create).

#include <functional>
#include <map>

#include "runtime/native_ui.h"

namespace vorel::testing_util {

class FakeNativeUi : public runtime::NativeUi {
 public:
  struct Control {
    runtime::WindowId window = 0;
    runtime::ControlRecord record;
    runtime::Geometry geometry;
    bool visible = false, disabled = false, geometry_native = true;
    std::map<int, runtime::Value> properties;
    std::vector<runtime::ListRow> rows;
  };

  // Called after each control is created, while its window is being loaded.
  std::function<void(runtime::WindowId, const runtime::ControlRecord&)> on_create;
  std::map<runtime::NativeHandle, Control> controls;
  std::vector<std::string> shown;
  bool quit = false;

  bool IsUiThread() const override { return true; }
  bool InvokeOnUiThread(const std::function<void()>& fn) override {
    fn();
    return true;
  }
  void ProcessPending() override {}
  void RunLoop() override {}
  void QuitLoop() override { quit = true; }
  void SetIdleActive(bool active) override { idle_active = active; }
  bool idle_active = false;
  void PostDelayed(int, std::function<void()> fn) override { delayed.push_back(std::move(fn)); }
  std::vector<std::function<void()>> delayed;

  runtime::NativeHandle CreateControl(runtime::WindowId window,
                                      const runtime::ControlRecord& record,
                                      const runtime::TypeData&, runtime::NativeHandle) override {
    runtime::NativeHandle h = next_++;
    Control c;
    c.window = window;
    c.record = record;
    c.geometry = {record.left, record.top, record.width, record.height};
    c.geometry_native = record.type != runtime::kTypeTimer;
    controls[h] = c;
    if (on_create) on_create(window, record);
    return h;
  }
  void DestroyWindow(runtime::NativeHandle window) override {
    runtime::WindowId w = controls[window].window;
    std::erase_if(controls, [&](const auto& kv) { return kv.second.window == w; });
  }
  void PostClose(runtime::NativeHandle) override {}
  void ShowWindow(runtime::NativeHandle h) override { controls[h].visible = true; }
  void ActivateWindow(runtime::NativeHandle) override {}
  void RunModal(runtime::NativeHandle) override {}
  bool HasGeometry(runtime::NativeHandle h) const override {
    return controls.at(h).geometry_native;
  }
  runtime::Geometry GetGeometry(runtime::NativeHandle h) const override {
    return controls.at(h).geometry;
  }
  void SetGeometry(runtime::NativeHandle h, const runtime::Geometry& g) override {
    controls[h].geometry = g;
  }
  bool IsVisible(runtime::NativeHandle h) const override { return controls.at(h).visible; }
  void SetVisible(runtime::NativeHandle h, bool v) override { controls[h].visible = v; }
  bool IsDisabled(runtime::NativeHandle h) const override { return controls.at(h).disabled; }
  void SetDisabled(runtime::NativeHandle h, bool d) override { controls[h].disabled = d; }
  void SetMousePointer(runtime::NativeHandle, const runtime::Bytes&) override {}
  runtime::PropertyStatus GetProperty(runtime::NativeHandle h, std::int32_t index,
                                      runtime::Value* out) override {
    auto& p = controls[h].properties;
    if (!p.count(index)) return runtime::PropertyStatus::kUnknownIndex;
    *out = p[index];
    return runtime::PropertyStatus::kOk;
  }
  runtime::PropertyStatus SetProperty(runtime::NativeHandle h, std::int32_t index,
                                      const runtime::Value& v) override {
    controls[h].properties[index] = v;
    return runtime::PropertyStatus::kOk;
  }
  int RowCount(runtime::NativeHandle l) override { return int(controls[l].rows.size()); }
  int ColumnCount(runtime::NativeHandle) override { return 4; }
  int InsertRow(runtime::NativeHandle l, int, const runtime::ListRow& row) override {
    controls[l].rows.push_back(row);
    return int(controls[l].rows.size()) - 1;
  }
  bool DeleteRow(runtime::NativeHandle, int) override { return false; }
  void DeleteAllRows(runtime::NativeHandle l) override { controls[l].rows.clear(); }
  bool GetRow(runtime::NativeHandle l, int row, runtime::ListRow* out) override {
    if (row < 0 || row >= RowCount(l)) return false;
    *out = controls[l].rows[row];
    return true;
  }
  bool SetCellText(runtime::NativeHandle, int, int, const runtime::Text&) override { return false; }
  void FocusControl(runtime::NativeHandle) override {}
  bool IsLiveHandle(runtime::NativeHandle h) const override { return controls.count(h) > 0; }
  int ShowMessageBox(const runtime::Text&, int, const runtime::Text&) override { return 0; }
  bool SetTrayIcon(runtime::NativeHandle, const runtime::Bytes&, const runtime::Text&) override {
    return false;
  }
  bool SetShapePicture(runtime::NativeHandle, const runtime::Bytes&, std::uint32_t) override {
    return false;
  }
  void ClearDrawing(runtime::NativeHandle, const runtime::Geometry*) override {}
  void DrawGradientRectangle(runtime::NativeHandle, const runtime::Geometry&, int,
                             const std::vector<std::uint32_t>&) override {}
  void AddToolTip(runtime::NativeHandle, const runtime::Text&, bool, bool) override {}

 private:
  runtime::NativeHandle next_ = 1;
};

}  // namespace vorel::testing_util

#endif  // VOREL_TESTS_BRIDGE_FAKE_NATIVE_UI_H_
