#include "runtime/bridge.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "runtime/fatal.h"
#include "runtime/files.h"
#include "runtime/internal/bridge_state.h"
#include "runtime/native_ui.h"
#include "runtime/system_functions.h"
#include "runtime/threads.h"
#include "runtime/type_data.h"

namespace vorel::runtime {

using internal::BridgeState;
using internal::ExitEntry;
using internal::State;

namespace internal {

BridgeState& State() {
  static BridgeState* state = new BridgeState;  // never destroyed: workers may outlive main
  return *state;
}

void FatalUtf8(std::string_view utf8_message) { RaiseFatalError(TextFromUtf8(utf8_message)); }

void NotLoaded() { FatalUtf8("指定窗口或窗口组件不存在或尚未载入"); }

NativeHandle FindHandle(WindowId window, ControlId control, ControlRecord** record) {
  BridgeState& s = State();
  *record = nullptr;
  auto it = s.loaded.find(window);
  if (it == s.loaded.end()) return 0;
  WindowRecord* w = nullptr;
  for (auto& candidate : s.window_set.windows) {
    if (candidate.id == window) w = &candidate;
  }
  if (w == nullptr) return 0;
  for (std::size_t i = 0; i < w->controls.size(); ++i) {
    if (w->controls[i].id == control) {
      *record = &w->controls[i];
      return it->second.handles[i];
    }
  }
  return 0;
}

}  // namespace internal

namespace {

// Shown with an error icon and no owner; the flag value is the Win32 MB_ICONERROR.
constexpr int kIconError = 0x10;

[[noreturn]] void FinishProgram(int code) {
  BridgeState& s = State();
  s.ending.store(true);
  s.error_state.fetch_add(1);
  // Handlers never run from here on, so destroying the windows raises nothing.
  s.idle_callbacks.clear();
  for (auto& [id, win] : s.loaded) {
    if (s.ui) s.ui->DestroyWindow(win.handle);
  }
  s.loaded.clear();
  auto routines = s.exit_routines;
  s.exit_routines.clear();
  for (std::size_t i = 0; i < routines.size(); ++i) routines[i].run(static_cast<int>(i));
  std::fflush(nullptr);
  // Worker threads may still run; static destructors must not run under them.
  _exit(code);
}

[[noreturn]] void ReportFatal(int number, std::string_view message) {
  BridgeState& s = State();
  if (s.ui != nullptr && !s.ui->IsUiThread() && !s.ending.load()) {
    Text copy(message);
    s.ui->InvokeOnUiThread([&] { ReportFatal(number, copy); });
    _exit(-1);
  }
  // A second fatal error while the first is reported ends at once.
  if (s.error_state.fetch_add(1) > 0 || s.ui == nullptr || !s.ui->IsUiThread()) {
    std::string utf8 = Utf8FromText(FatalErrorReport(number, message));
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
    _exit(-1);
  }
  using namespace literals;
  s.ui->ShowMessageBox(FatalErrorReport(number, message), kIconError, "错误"_t);
  FinishProgram(-1);
}

WindowRecord* FindWindowRecord(WindowId id) {
  for (auto& w : State().window_set.windows) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

// Creates the window's controls, each container before the controls placed in it and otherwise
// in template order. False when a control cannot be created.
bool CreateControls(WindowRecord& w, internal::LoadedWindow& lw) {
  NativeUi* ui = State().ui;
  const std::size_t n = w.controls.size();
  std::vector<bool> done(n, false);
  done[0] = true;
  auto index_of = [&](ControlId id) -> int {
    for (std::size_t i = 0; i < n; ++i) {
      if (w.controls[i].id == id) return static_cast<int>(i);
    }
    return -1;
  };
  std::size_t created = 1;
  while (created < n) {
    bool progress = false;
    for (std::size_t i = 1; i < n; ++i) {
      if (done[i]) continue;
      const ControlRecord& rec = w.controls[i];
      int container = rec.container == 0 ? 0 : index_of(rec.container);
      if (container < 0) container = 0;
      if (!done[container]) continue;
      NativeHandle parent = lw.handles[container];
      if (container != 0 && !ui->HasGeometry(parent)) parent = lw.handles[0];
      auto td = ParseTypeData(rec.type_data);
      if (!td) return false;
      NativeHandle h = ui->CreateControl(w.id, rec, *td, parent);
      if (h == 0) return false;
      lw.handles[i] = h;
      done[i] = true;
      ++created;
      progress = true;
    }
    // A container cycle: the rest are placed on the window.
    if (!progress) {
      for (std::size_t i = 1; i < n; ++i) {
        if (!done[i]) w.controls[i].container = 0;
      }
    }
  }
  for (std::size_t i = 1; i < n; ++i) ui->SetVisible(lw.handles[i], w.controls[i].visible());
  return true;
}

void CloseWindowOnUi(WindowId id);

bool LoadWindowOnUi(WindowId id, bool modal) {
  BridgeState& s = State();
  if (s.ending.load()) return false;
  WindowRecord* w = FindWindowRecord(id);
  if (w == nullptr || s.ui == nullptr) return false;
  // A window whose posted close has not run yet is closed now and created anew.
  if (std::find(s.closing.begin(), s.closing.end(), id) != s.closing.end()) CloseWindowOnUi(id);
  if (auto it = s.loaded.find(id); it != s.loaded.end()) {
    s.ui->ActivateWindow(it->second.handle);
    return true;
  }
  s.ui->ProcessPending();
  ++s.suppression;
  internal::LoadedWindow lw;
  lw.handles.assign(w->controls.size(), 0);
  auto td = ParseTypeData(w->controls[0].type_data);
  lw.handle = td ? s.ui->CreateControl(id, w->controls[0], *td, 0) : 0;
  lw.handles[0] = lw.handle;
  bool ok = lw.handle != 0 && CreateControls(*w, lw);
  if (!ok && lw.handle != 0) s.ui->DestroyWindow(lw.handle);
  if (ok) s.loaded[id] = lw;
  s.ui->ProcessPending();
  if (s.suppression > 0) --s.suppression;
  if (!ok) return false;
  const ControlId own = w->controls[0].id;
  RaiseEvent(id, own, kEventWindowCreated);
  if (s.loaded.count(id)) RaiseEvent(id, own, kEventWindowAfterCreated1);
  if (s.loaded.count(id)) RaiseEvent(id, own, kEventWindowAfterCreated2);
  auto it = s.loaded.find(id);
  if (it == s.loaded.end()) return true;
  const NativeHandle handle = it->second.handle;
  if (w->controls[0].visible()) s.ui->ShowWindow(handle);
  if (modal) {
    std::vector<NativeHandle> disabled;
    for (auto& [other, win] : s.loaded) {
      if (other != id && !s.ui->IsDisabled(win.handle)) {
        s.ui->SetDisabled(win.handle, true);
        disabled.push_back(win.handle);
      }
    }
    s.ui->RunModal(handle);
    for (auto& [other, win] : s.loaded) {
      for (NativeHandle h : disabled) {
        if (win.handle == h) s.ui->SetDisabled(h, false);
      }
    }
  }
  return true;
}

void CloseWindowOnUi(WindowId id) {
  BridgeState& s = State();
  std::erase(s.closing, id);
  auto it = s.loaded.find(id);
  if (it == s.loaded.end()) return;
  WindowRecord* w = FindWindowRecord(id);
  RaiseEvent(id, w->controls[0].id, kEventWindowDestroying);
  it = s.loaded.find(id);  // the handler may have closed it already
  if (it == s.loaded.end()) return;
  NativeHandle h = it->second.handle;
  s.loaded.erase(it);
  s.ui->DestroyWindow(h);
  if (s.loaded.empty() && s.loop_running) s.ui->QuitLoop();
}

}  // namespace

EventArgs::EventArgs(std::initializer_list<std::int32_t> v) {
  for (std::int32_t x : v) {
    if (count < static_cast<int>(values.size())) values[count++] = x;
  }
}

void InstallNativeUi(NativeUi* ui) {
  // Windows never outlive the layer that made them.
  if (State().ui != nullptr && State().ui != ui) internal::ForgetWindows();
  State().ui = ui;
  SetFatalReporter(ui ? &ReportFatal : nullptr);
}

void SetRoutineTable(std::vector<Routine> routines) { State().routines = std::move(routines); }

void InitRuntime(std::span<const std::uint8_t> window_template) {
  EnterDataFolder(RunDirectory());
  RegisterSystemFunctions();
  if (window_template.empty()) return;
  auto parsed = ParseWindowTemplate(window_template);
  if (!parsed) internal::FatalUtf8("载入窗口模板数据段出错!");
  BridgeState& s = State();
  s.window_set = std::move(parsed).value();
  // A reference outside the routine table binds nothing, like -1.
  for (auto& w : s.window_set.windows) {
    for (auto& c : w.controls) {
      for (auto& e : c.events) {
        if (e.handler < 0 || static_cast<std::size_t>(e.handler) >= s.routines.size() ||
            !s.routines[e.handler]) {
          e.handler = kNoHandler;
        }
      }
    }
  }
}

bool SetTemplateCaption(WindowId window, ControlId control, const Text& caption) {
  WindowRecord* w = FindWindowRecord(window);
  if (w == nullptr) return false;
  for (auto& c : w->controls) {
    if (c.id != control) continue;
    auto td = ParseTypeData(c.type_data);
    if (!td) return false;
    td->values[kKeyCaption] = caption;
    c.type_data = SerializeTypeData(*td);
    return true;
  }
  return false;
}

void RegisterExitRoutine(ExitRoutine routine) {
  if (routine == nullptr) return;
  auto& list = State().exit_routines;
  for (const ExitEntry& e : list) {
    if (e.plain == routine) return;
  }
  list.push_back({.plain = routine, .owner = nullptr, .run = routine});
}

void RegisterExitRoutine(const void* owner, std::function<void(int position)> routine) {
  if (owner == nullptr || !routine) return;
  auto& list = State().exit_routines;
  for (const ExitEntry& e : list) {
    if (e.owner == owner) return;
  }
  list.push_back({.plain = nullptr, .owner = owner, .run = std::move(routine)});
}

void WithdrawExitRoutine(const void* owner) {
  if (owner == nullptr) return;
  std::erase_if(State().exit_routines, [owner](const ExitEntry& e) { return e.owner == owner; });
}

void LoadStartWindow(WindowId window) {
  if (!LoadWindowOnUi(window, false)) internal::FatalUtf8("载入启动窗口失败");
}

void RunEventLoop() {
  BridgeState& s = State();
  if (s.loaded.empty() || s.ui == nullptr) return;
  s.loop_running = true;
  s.ui->RunLoop();
  s.loop_running = false;
}

void ExitProgram(int code) {
  BridgeState& s = State();
  if (s.ui != nullptr && !s.ui->IsUiThread()) {
    if (!s.ending.load()) s.ui->InvokeOnUiThread([code] { FinishProgram(code); });
    _exit(code);
  }
  if (s.ending.load()) _exit(code);
  FinishProgram(code);
}

bool RunOnUiThread(const std::function<void()>& fn) {
  return internal::OnUiThread<bool>(false, [&] {
    fn();
    return true;
  });
}

EventResult RaiseEvent(WindowId window, ControlId control, EventKey key, EventArgs args) {
  return internal::OnUiThread<EventResult>(std::nullopt, [&]() -> EventResult {
    BridgeState& s = State();
    if (s.suppression > 0 || s.error_state.load() > 0 || s.ending.load()) return std::nullopt;
    auto it = s.loaded.find(window);
    WindowRecord* w = FindWindowRecord(window);
    if (it == s.loaded.end() || w == nullptr) internal::FatalUtf8("未找到引发事件的窗口");
    const ControlRecord* rec = w->Find(control);
    if (rec == nullptr) internal::FatalUtf8("未找到引发事件的窗口组件");
    std::int32_t handler = kNoHandler;
    for (const auto& e : rec->events) {
      if (e.key == key) {
        handler = e.handler;
        break;
      }
    }
    if (handler == kNoHandler) return std::nullopt;
    const Routine& routine = s.routines[handler];
    if (!routine) return std::nullopt;
    EventSource saved = s.current;
    s.current = {window, control};
    EventResult result;
    try {
      result = routine(args);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vorel: a handler failed: %s\n", e.what());
    }
    s.current = saved;
    if (s.change_observer) s.change_observer(EventSource{window, control});
    return result;
  });
}

void SetChangeObserver(std::function<void(EventSource ran)> observer) {
  State().change_observer = std::move(observer);
}

EventSource CurrentEventSource() { return State().current; }

bool LoadWindow(WindowId window, std::optional<WindowId> parent, bool modal) {
  return internal::OnUiThread<bool>(false, [&] { return LoadWindowOnUi(window, modal); });
}

void UnloadWindow(WindowId window, bool at_once) {
  internal::OnUiThreadVoid([&] {
    BridgeState& s = State();
    auto it = s.loaded.find(window);
    if (it == s.loaded.end()) return;
    if (at_once) {
      CloseWindowOnUi(window);
    } else {
      if (std::find(s.closing.begin(), s.closing.end(), window) == s.closing.end()) {
        s.closing.push_back(window);
      }
      s.ui->PostClose(it->second.handle);
    }
  });
}

void NativeCloseRequested(WindowId window) { CloseWindowOnUi(window); }

void WatchRows(WindowId window, ControlId list, std::function<void()> on_change) {
  auto& watchers = State().row_watchers;
  if (on_change) {
    watchers[{window, list}] = std::move(on_change);
  } else {
    watchers.erase({window, list});
  }
}

void internal::NoteRowsChanged(WindowId window, ControlId list) {
  auto& watchers = State().row_watchers;
  auto it = watchers.find({window, list});
  if (it == watchers.end()) return;
  std::function<void()> watcher = it->second;  // it may replace itself
  watcher();
}

void RunLater(int ms, std::function<void()> fn) {
  BridgeState& s = State();
  if (s.ui == nullptr) return;
  s.ui->PostDelayed(ms, [fn = std::move(fn)] {
    if (!State().ending.load()) fn();
  });
}

void RegisterIdleCallback(WindowId window, std::function<void()> callback) {
  BridgeState& s = State();
  s.idle_callbacks.emplace_back(window, std::move(callback));
  if (s.ui) s.ui->SetIdleActive(true);
}

bool RunIdleCallbacks() {
  BridgeState& s = State();
  std::erase_if(s.idle_callbacks, [&](const auto& c) { return !s.loaded.count(c.first); });
  if (s.ending.load() || s.error_state.load() > 0) return false;
  // A callback may register or drop others, so it runs from a copy.
  auto callbacks = s.idle_callbacks;
  for (auto it = callbacks.rbegin(); it != callbacks.rend(); ++it) {
    if (s.loaded.count(it->first)) it->second();
  }
  return !s.idle_callbacks.empty();
}

void NativeSystemClose() {
  // A fatal error box is waiting for its answer: the system's close ends the report.
  if (State().error_state.load() > 0) _exit(-1);
  std::vector<WindowId> open;
  for (const auto& [id, win] : State().loaded) open.push_back(id);
  for (WindowId id : open) CloseWindowOnUi(id);
}

bool IsWindowLoaded(WindowId window) {
  return internal::OnUiThread<bool>(false, [&] { return State().loaded.count(window) > 0; });
}

int LoadedControlCount(WindowId window) {
  return internal::OnUiThread<int>(0, [&] {
    auto& loaded = State().loaded;
    auto it = loaded.find(window);
    if (it == loaded.end()) return 0;
    int n = 0;
    for (NativeHandle h : it->second.handles) n += h != 0;
    return n;
  });
}

bool ProgramEnding() { return State().ending.load(); }

void internal::ForgetWindows() {
  BridgeState& s = State();
  for (auto& [id, win] : s.loaded) s.ui->DestroyWindow(win.handle);
  s.loaded.clear();
  s.closing.clear();
  s.idle_callbacks.clear();
  s.row_watchers.clear();
  s.exit_routines.clear();
  s.suppression = 0;
}

}  // namespace vorel::runtime
