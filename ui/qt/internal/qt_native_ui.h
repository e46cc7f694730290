#ifndef VOREL_UI_QT_INTERNAL_QT_NATIVE_UI_H_
#define VOREL_UI_QT_INTERNAL_QT_NATIVE_UI_H_

// NativeUi over Qt Widgets. User-interface thread only, except IsUiThread and
// InvokeOnUiThread.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <map>
#include <thread>

#include "runtime/native_ui.h"
#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

struct ControlEntry {
  QPointer<QObject> object;
  QWidget* widget = nullptr;  // null for timers and the dialog holder
  PropertyHost* host = nullptr;
  runtime::UnitTypeId type = 0;
  runtime::WindowId window = 0;
  runtime::ControlId control = 0;
};

class QtNativeUi : public runtime::NativeUi {
 public:
  QtNativeUi();
  ~QtNativeUi() override;

  bool IsUiThread() const override;
  bool InvokeOnUiThread(const std::function<void()>& fn) override;
  void ProcessPending() override;
  void RunLoop() override;
  void QuitLoop() override;
  void SetIdleActive(bool active) override;
  void PostDelayed(int ms, std::function<void()> fn) override;

  runtime::NativeHandle CreateControl(runtime::WindowId window,
                                      const runtime::ControlRecord& record,
                                      const runtime::TypeData& data,
                                      runtime::NativeHandle parent) override;
  void DestroyWindow(runtime::NativeHandle window) override;
  void PostClose(runtime::NativeHandle window) override;
  void ShowWindow(runtime::NativeHandle window) override;
  void ActivateWindow(runtime::NativeHandle window) override;
  void RunModal(runtime::NativeHandle window) override;

  bool HasGeometry(runtime::NativeHandle h) const override;
  runtime::Geometry GetGeometry(runtime::NativeHandle h) const override;
  void SetGeometry(runtime::NativeHandle h, const runtime::Geometry& g) override;
  bool IsVisible(runtime::NativeHandle h) const override;
  void SetVisible(runtime::NativeHandle h, bool visible) override;
  bool IsDisabled(runtime::NativeHandle h) const override;
  void SetDisabled(runtime::NativeHandle h, bool disabled) override;
  void SetMousePointer(runtime::NativeHandle h, const runtime::Bytes& pointer) override;

  runtime::PropertyStatus GetProperty(runtime::NativeHandle h, std::int32_t index,
                                      runtime::Value* out) override;
  runtime::PropertyStatus SetProperty(runtime::NativeHandle h, std::int32_t index,
                                      const runtime::Value& v) override;

  int RowCount(runtime::NativeHandle list) override;
  int ColumnCount(runtime::NativeHandle list) override;
  int InsertRow(runtime::NativeHandle list, int position, const runtime::ListRow& row) override;
  bool DeleteRow(runtime::NativeHandle list, int row) override;
  void DeleteAllRows(runtime::NativeHandle list) override;
  bool GetRow(runtime::NativeHandle list, int row, runtime::ListRow* out) override;
  bool SetCellText(runtime::NativeHandle list, int row, int column,
                   const runtime::Text& text) override;

  void FocusControl(runtime::NativeHandle h) override;
  bool IsLiveHandle(runtime::NativeHandle h) const override;
  int ShowMessageBox(const runtime::Text& content, int flags,
                     const runtime::Text& caption) override;
  bool SetTrayIcon(runtime::NativeHandle window, const runtime::Bytes& icon,
                   const runtime::Text& tip) override;
  bool SetShapePicture(runtime::NativeHandle window, const runtime::Bytes& picture,
                       std::uint32_t transparent) override;
  void ClearDrawing(runtime::NativeHandle panel, const runtime::Geometry* area) override;
  void DrawGradientRectangle(runtime::NativeHandle panel, const runtime::Geometry& area, int mode,
                             const std::vector<std::uint32_t>& colours) override;
  void AddToolTip(runtime::NativeHandle h, const runtime::Text& text, bool balloon,
                  bool centred) override;

  // The widget of a loaded control, for the test seams; null when it has none.
  QWidget* WidgetOf(runtime::WindowId window, runtime::ControlId control) const;

 private:
  const ControlEntry* Entry(runtime::NativeHandle h) const;
  static void SetMousePointerOn(QWidget* widget, const runtime::Bytes& pointer);
  template <typename T>
  T* As(runtime::NativeHandle h) const;
  // One line on standard error, the first time a tray icon is asked for without a tray.
  void WarnNoTray();
  // Whether the desktop has a tray. Asking is a round trip to the display server, and without
  // a tray the player asks on every status tick (its tip changes), so a "no" stands for a
  // couple of seconds: a tray started later still gets the icon at the next tip after that.
  bool TrayAvailableNow();

  std::thread::id ui_thread_;
  std::map<runtime::NativeHandle, ControlEntry> controls_;
  std::map<runtime::NativeHandle, QPointer<QSystemTrayIcon>> trays_;
  // What each tray icon shows now. The player writes the same icon and tip several times a
  // second; only a change is decoded and handed to the tray.
  struct TrayLook {
    runtime::Bytes icon;
    runtime::Text tip;
  };
  std::map<runtime::NativeHandle, TrayLook> tray_looks_;
  std::map<runtime::NativeHandle, QEventLoop*> modal_loops_;
  QEventLoop* main_loop_ = nullptr;
  QTimer* idle_timer_ = nullptr;  // a zero timer fires whenever the queue has run empty
  bool quit_requested_ = false;
  bool tray_warned_ = false;
  QElapsedTimer tray_absent_since_;  // valid while the last answer was "no tray"
};

template <typename T>
T* QtNativeUi::As(runtime::NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  return e ? dynamic_cast<T*>(e->object.data()) : nullptr;
}

// The NativeUi of the live UiSession; null when there is none.
QtNativeUi* SessionNativeUi();

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_QT_NATIVE_UI_H_
