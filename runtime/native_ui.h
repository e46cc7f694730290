#ifndef VOREL_RUNTIME_NATIVE_UI_H_
#define VOREL_RUNTIME_NATIVE_UI_H_

// The interface through which the bridge drives native windows and controls. ui/qt
// implements it over Qt Widgets; tests may implement it with a fake. The runtime keeps the
// window set, the event tables, suppression and the property rules; an implementation only
// makes widgets do what it is told and reports what the user does through RaiseEvent (bridge.h)
// and NativeCloseRequested (below).
//
// Every method except IsUiThread and InvokeOnUiThread is called on the user-interface thread.
// Handles are opaque non-zero numbers; 0 means "no native control".

#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/list_view_records.h"
#include "runtime/type_data.h"
#include "runtime/value.h"
#include "runtime/window_template.h"

namespace vorel::runtime {

using NativeHandle = std::uintptr_t;

struct Geometry {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};

// The outcome of a type property access by the native layer.
enum class PropertyStatus { kOk, kUnknownIndex };

class NativeUi {
 public:
  virtual ~NativeUi() = default;

  // Thread plumbing. InvokeOnUiThread blocks until `fn` ran on the user-interface thread
  // (inline when called there); it returns false without running `fn` when that thread no
  // longer takes work.
  virtual bool IsUiThread() const = 0;
  virtual bool InvokeOnUiThread(const std::function<void()>& fn) = 0;
  virtual void ProcessPending() = 0;
  virtual void RunLoop() = 0;  // returns after QuitLoop
  virtual void QuitLoop() = 0;
  // While active, RunIdleCallbacks (below) is called each time the event queue runs empty.
  virtual void SetIdleActive(bool active) = 0;
  // Runs `fn` on the user-interface thread from its event processing once `ms` milliseconds
  // have passed. Called on the user-interface thread.
  virtual void PostDelayed(int ms, std::function<void()> fn) = 0;

  // Creation. `parent` is 0 for a window, else the native handle of the window or container.
  // Created hidden; 0 when the type cannot be created. Timers and other invisible helpers return
  // a handle too (they are native objects without geometry).
  virtual NativeHandle CreateControl(WindowId window, const ControlRecord& record,
                                     const TypeData& data, NativeHandle parent) = 0;
  // Destroys a window with all its controls, raising no events.
  virtual void DestroyWindow(NativeHandle window) = 0;
  // A window-manager style close request, delivered when the event queue reaches it.
  virtual void PostClose(NativeHandle window) = 0;
  // Shows the window centred on the screen; restores or activates an open one.
  virtual void ShowWindow(NativeHandle window) = 0;
  virtual void ActivateWindow(NativeHandle window) = 0;
  // Runs a nested loop until `window` is destroyed.
  virtual void RunModal(NativeHandle window) = 0;

  // Common properties of every control with a native window.
  virtual bool HasGeometry(NativeHandle h) const = 0;
  virtual Geometry GetGeometry(NativeHandle h) const = 0;
  virtual void SetGeometry(NativeHandle h, const Geometry& g) = 0;
  virtual bool IsVisible(NativeHandle h) const = 0;  // its own flag, not its parents'
  virtual void SetVisible(NativeHandle h, bool visible) = 0;
  virtual bool IsDisabled(NativeHandle h) const = 0;
  virtual void SetDisabled(NativeHandle h, bool disabled) = 0;
  virtual void SetMousePointer(NativeHandle h, const Bytes& pointer) = 0;

  // Type properties (index 8 and above).
  virtual PropertyStatus GetProperty(NativeHandle h, std::int32_t index, Value* out) = 0;
  virtual PropertyStatus SetProperty(NativeHandle h, std::int32_t index, const Value& v) = 0;

  // List views (rows and columns 0-based).
  virtual int RowCount(NativeHandle list) = 0;
  virtual int ColumnCount(NativeHandle list) = 0;
  virtual int InsertRow(NativeHandle list, int position, const ListRow& row) = 0;
  virtual bool DeleteRow(NativeHandle list, int row) = 0;
  virtual void DeleteAllRows(NativeHandle list) = 0;
  virtual bool GetRow(NativeHandle list, int row, ListRow* out) = 0;
  virtual bool SetCellText(NativeHandle list, int row, int column, const Text& text) = 0;

  // Window and drawing operations.
  virtual void FocusControl(NativeHandle h) = 0;
  virtual bool IsLiveHandle(NativeHandle h) const = 0;
  virtual int ShowMessageBox(const Text& content, int flags, const Text& caption) = 0;
  virtual bool SetTrayIcon(NativeHandle window, const Bytes& icon, const Text& tip) = 0;
  virtual bool SetShapePicture(NativeHandle window, const Bytes& picture,
                               std::uint32_t transparent) = 0;
  virtual void ClearDrawing(NativeHandle panel, const Geometry* area) = 0;
  virtual void DrawGradientRectangle(NativeHandle panel, const Geometry& area, int mode,
                                     const std::vector<std::uint32_t>& colours) = 0;
  virtual void AddToolTip(NativeHandle h, const Text& text, bool balloon, bool centred) = 0;
};

// Installs the implementation the bridge uses; call once on the user-interface thread before
// InitRuntime. The object must outlive its use: replacing it by another (or by none, as a
// session that ends does) first ends the run of its windows, destroying every window still
// loaded through it without events and forgetting what that run registered (close requests,
// idle callbacks, row watchers, exit routines, event suppression).
void InstallNativeUi(NativeUi* ui);

// Called by the implementation when a close request for a window reaches the front of the event
// queue (PostClose, or the window manager's close button): the runtime raises the window's
// being-destroyed event, destroys it and, when no window of the set is left while the loop
// runs, ends the loop.
void NativeCloseRequested(WindowId window);

// Runs the registered idle callbacks once; false when none is left (the implementation may then
// stop calling).
bool RunIdleCallbacks();

// A close of the whole program by the system (SIGTERM, SIGINT, the end of the desktop session):
// every open window of the set is closed as by the window manager, so being-destroyed handlers
// run (saving the play list) and the loop then ends with exit code 0.
void NativeSystemClose();

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_NATIVE_UI_H_
