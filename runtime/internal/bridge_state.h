#ifndef VOREL_RUNTIME_INTERNAL_BRIDGE_STATE_H_
#define VOREL_RUNTIME_INTERNAL_BRIDGE_STATE_H_

// State shared by the bridge's source files. User-interface thread only, except the atomics.

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "runtime/bridge.h"
#include "runtime/native_ui.h"

namespace vorel::runtime::internal {

struct LoadedWindow {
  NativeHandle handle = 0;
  std::vector<NativeHandle> handles;  // parallel to the window record's controls
};

// A registered exit routine: a plain function, or a routine registered for an owner.
struct ExitEntry {
  ExitRoutine plain = nullptr;
  const void* owner = nullptr;
  std::function<void(int)> run;
};

struct BridgeState {
  NativeUi* ui = nullptr;
  // The window set; records are mutable because controls without a native object keep their
  // property values in them, and the tag lives there for every control.
  WindowTemplate window_set;
  std::vector<Routine> routines;
  std::map<WindowId, LoadedWindow> loaded;
  std::vector<WindowId> closing;  // loaded windows with a posted close request
  std::vector<ExitEntry> exit_routines;
  std::vector<std::pair<WindowId, std::function<void()>>> idle_callbacks;
  std::function<void(EventSource)> change_observer;  // see SetChangeObserver
  std::map<std::pair<WindowId, ControlId>, std::function<void()>> row_watchers;  // see WatchRows
  int suppression = 0;
  bool loop_running = false;
  EventSource current;
  std::atomic<bool> ending{false};
  std::atomic<int> error_state{0};
};

BridgeState& State();

// The fatal error a library operation raises for a window or control that is not loaded.
[[noreturn]] void NotLoaded();
[[noreturn]] void FatalUtf8(std::string_view utf8_message);

// Ends the run of the windows under the installed native layer: destroys every loaded window
// through it without events and forgets the close requests, idle callbacks, row watchers, exit
// routines and event suppression of that run. User-interface thread.
void ForgetWindows();

// Tells the watcher of the list's rows, if any, that they changed. User-interface thread.
void NoteRowsChanged(WindowId window, ControlId list);

// The native handle of a loaded control, or 0 with `*record` null when the window is not loaded
// or has no such control.
NativeHandle FindHandle(WindowId window, ControlId control, ControlRecord** record);

// Runs `fn` on the user-interface thread and returns its result; `empty` when the program is
// ending and the caller is another thread.
template <typename R, typename F>
R OnUiThread(R empty, F&& fn) {
  BridgeState& s = State();
  if (s.ui == nullptr || s.ui->IsUiThread()) return fn();
  if (s.ending.load()) return empty;
  R result = empty;
  if (!s.ui->InvokeOnUiThread([&] {
        result = fn();
        if (s.change_observer) s.change_observer(EventSource{});
      })) {
    return empty;
  }
  return result;
}

template <typename F>
void OnUiThreadVoid(F&& fn) {
  OnUiThread<int>(0, [&] {
    fn();
    return 0;
  });
}

}  // namespace vorel::runtime::internal

#endif  // VOREL_RUNTIME_INTERNAL_BRIDGE_STATE_H_
