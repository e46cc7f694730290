#ifndef VOREL_RUNTIME_BRIDGE_H_
#define VOREL_RUNTIME_BRIDGE_H_

// The bridge: the only way application code reaches windows and controls.
//
// A window of the set is named by its WindowId, a control on it by its ControlId (the window
// itself is a control too, with its own id), and a property by its PropertyIndex. Indexes 0 to 7
// are shared by every control and window:
//   0 left, 1 top, 2 width, 3 height (written values clamped to 0..32627), 4 tag (Text),
//   5 visible, 6 disabled (booleans), 7 mouse pointer (Bytes).
// Higher indexes belong to the control's type (caption 8 of a Label, 22 of a SuperBtn, ...).
// runtime/control_types.h holds the table and lets code name a property instead of its number:
//
//   WriteProperty(kMainWindow, kStatusCaption, kPropCaption, "歌曲已删除！"_t);
//   int row = ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow);
//
// Threads: every function may be called from any thread. Off the user-interface thread the call
// is carried to it and waits for the result (like a Win32 SendMessage); once the program is
// ending, such calls return their empty value at once. Handlers always run on the
// user-interface thread.
//
// Failures are fatal, as the runtime's contract says: a property access on a window that is not
// loaded ends the program with "未载入欲访问窗口组件所在的窗口" (exit code -1); a type property
// of a control without a native control with "指定窗口尚未载入".

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "runtime/value.h"
#include "runtime/window_template.h"

namespace vorel::runtime {

using PropertyIndex = std::int32_t;
using EventKey = std::int32_t;

// Window-control events shared by every type (negative keys) and the window's own.
inline constexpr EventKey kEventClicked = 0;  // SuperBtn, PicBtn, CheckBox; Timer tick; bars
inline constexpr EventKey kEventWindowCreated = 0;
inline constexpr EventKey kEventWindowDestroying = 2;
// Raised right after the created event; nothing in this program binds them.
inline constexpr EventKey kEventWindowAfterCreated1 = 3;
inline constexpr EventKey kEventWindowAfterCreated2 = 4;
inline constexpr EventKey kEventTrayIcon = 9;
inline constexpr EventKey kEventLeftDown = -1;
inline constexpr EventKey kEventLeftUp = -2;
inline constexpr EventKey kEventLeftDoubleClick = -3;
inline constexpr EventKey kEventRightDown = -4;
inline constexpr EventKey kEventRightUp = -5;
inline constexpr EventKey kEventMouseMove = -6;
inline constexpr EventKey kEventGotFocus = -7;
inline constexpr EventKey kEventLostFocus = -8;
inline constexpr EventKey kEventKeyDown = -9;
inline constexpr EventKey kEventKeyUp = -10;
inline constexpr EventKey kEventCharacter = -11;
inline constexpr EventKey kEventWheel = -12;

// Up to four 32-bit event arguments, in order (x, y, key state; virtual key, key state; ...).
struct EventArgs {
  std::array<std::int32_t, 4> values{};
  int count = 0;
  EventArgs() = default;
  EventArgs(std::initializer_list<std::int32_t> v);
  std::int32_t operator[](int i) const { return values[i]; }
};

// What a handler hands back: nothing, or a value the control uses (a handler of a mouse or key
// event returning 0 keeps the message from the control).
using EventResult = std::optional<std::int32_t>;
using Routine = std::function<EventResult(const EventArgs&)>;

// The application's routines, indexed by the handler references of the template. An empty
// Routine binds nothing. Call once before InitRuntime; not thread-safe.
void SetRoutineTable(std::vector<Routine> routines);

// Start-up: makes the data folder the working directory (the run directory when it is writable,
// else $XDG_DATA_HOME/vorel, created), registers the platform's functions of the DLL command
// table, reads the template (a damaged one is the fatal error "载入窗口模板数据段出错!") and binds
// the handler references; a reference without a routine binds nothing. Needs the native layer
// installed (InstallNativeUi). User-interface thread only.
void InitRuntime(std::span<const std::uint8_t> window_template);

// Replaces the initial caption or content a control has when its window is loaded (for texts
// built at start-up, like the sample address). False when the control is not in the set.
bool SetTemplateCaption(WindowId window, ControlId control, const Text& caption);

// Exit routines run once each at program end, in registration order, with their list position
// (0-based). Registering the same routine twice has no effect. User-interface thread only.
using ExitRoutine = void (*)(int position);
void RegisterExitRoutine(ExitRoutine routine);

// An exit routine that reaches an object: registered for `owner`, which identifies it the way
// the function does above (registering again for the same owner has no effect and keeps the
// first routine), so a feature may register at every use. An owner that goes before the
// program ends withdraws its routine first (nothing when it has none). User-interface thread
// only.
void RegisterExitRoutine(const void* owner, std::function<void(int position)> routine);
void WithdrawExitRoutine(const void* owner);

// Creates and shows the start window; a failure is the fatal error "载入启动窗口失败".
void LoadStartWindow(WindowId window);

// Runs the event loop; returns when the last window of the set is gone (at once when none is
// open). User-interface thread only.
void RunEventLoop();

// Ends the program: stops event dispatch, destroys every window without running handlers, runs
// the exit routines, ends the process with `code`. From a worker thread the clean-up is carried
// to the user-interface thread. Never returns.
[[noreturn]] void ExitProgram(int code);

// Properties. Values come back as std::int32_t (numbers, colours), bool, Text or Bytes;
// written values are converted to the property's type (booleans: non-zero is true).
Value ReadProperty(WindowId window, ControlId control, PropertyIndex index);
void WriteProperty(WindowId window, ControlId control, PropertyIndex index, const Value& value);
std::int32_t ReadIntProperty(WindowId window, ControlId control, PropertyIndex index);
Text ReadTextProperty(WindowId window, ControlId control, PropertyIndex index);
Bytes ReadBytesProperty(WindowId window, ControlId control, PropertyIndex index);

// Raises `key` on a control as its native window would: nothing happens while events are
// suppressed (a window being created) or the program is ending; otherwise the bound routine runs
// with `args`, and its value comes back. This is also the seam tests use to drive handlers.
// An unknown window or control is fatal ("未找到引发事件的窗口" / "...窗口组件"). Carried to
// the user-interface thread when called elsewhere.
EventResult RaiseEvent(WindowId window, ControlId control, EventKey key, EventArgs args = {});

// Runs `fn` on the user-interface thread and waits for it (inline when called there), so a
// worker can test a condition and write several properties without the user-interface thread
// running anything in between. False, without running `fn`, once the program is ending (from
// another thread) or when no user-interface thread takes work.
bool RunOnUiThread(const std::function<void()>& fn);

// The window and control whose event is being handled (0, 0 outside any handler).
struct EventSource {
  WindowId window = 0;
  ControlId control = 0;
};
EventSource CurrentEventSource();

// Registers `observer` to run on the user-interface thread whenever what the windows hold may
// have changed: after each routine RaiseEvent ran (clicks, keys, timers, a handler's own
// events) and after each piece of work another thread carried to the user-interface thread.
// It runs inside that work, so it must only take note and look later (post the look to the
// event queue); it is called often. `ran` names the control whose routine just ran ({0, 0} after
// carried work). A later call replaces the observer; null removes it. User-interface thread
// only.
void SetChangeObserver(std::function<void(EventSource ran)> observer);

// Registers `on_change` to run on the user-interface thread after each change to the rows of
// the list view `list` made through the runtime: rows inserted or deleted, a cell written, all
// rows replaced (property AllRows). It runs inside that change, so it must only take note. A
// later call for the same list replaces it; null removes it. User-interface thread only.
void WatchRows(WindowId window, ControlId list, std::function<void()> on_change);

// Runs `fn` on the user-interface thread from its event processing once `ms` milliseconds have
// passed (nothing once the program is ending). User-interface thread only.
void RunLater(int ms, std::function<void()> fn);

// Registers work a control does whenever the event queue runs empty while the loop runs (the
// last registered runs first). The callback is dropped once its window is no longer loaded.
// User-interface thread only.
void RegisterIdleCallback(WindowId window, std::function<void()> callback);

// Loads a window of the set from its template and shows it. A modal load disables the other
// windows of the set and returns when the window is closed. An open window is activated instead.
// False when the window is not in the set or a control could not be created.
bool LoadWindow(WindowId window, std::optional<WindowId> parent = std::nullopt, bool modal = false);
// Posts a close request (the window closes when the request is dispatched); `at_once` closes it
// before returning. The being-destroyed event runs in both cases.
void UnloadWindow(WindowId window, bool at_once = false);
bool IsWindowLoaded(WindowId window);
// Controls with a native object on a loaded window, the window included; 0 when not loaded.
int LoadedControlCount(WindowId window);

// True once ExitProgram or a fatal error has begun.
bool ProgramEnding();

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_BRIDGE_H_
