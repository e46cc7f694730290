// A child process for the tests of program end and fatal errors: each scenario ends the process
// the way the program would, and the test checks the exit code and what was said.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/window_set.h"
#include "runtime/bridge.h"
#include "runtime/dll_table.h"
#include "runtime/threads.h"
#include "ui/qt/qt_ui.h"
#include "windows/window_ids.h"

using namespace vorel;

namespace {

void SayExit(int position) { std::printf("exit routine %d\n", position); }
void SayExitAgain(int position) { std::printf("second exit routine %d\n", position); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string scenario = argv[1];
  qt::UiSession session(argc, argv);
  // The being-destroyed handler says that it ran, where the program saves its play list.
  auto names = app::RoutineNames();
  std::vector<runtime::Routine> table(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (std::strcmp(names[i], "OnMainWindowDestroyed") == 0) {
      table[i] = [](const runtime::EventArgs&) -> runtime::EventResult {
        std::printf("being destroyed\n");
        return std::nullopt;
      };
    }
  }
  runtime::SetRoutineTable(std::move(table));
  if (scenario == "damaged-template") {
    auto bytes = app::WindowTemplateBytes();
    runtime::InitRuntime(bytes.first(bytes.size() / 2));
    return 0;
  }
  runtime::InitRuntime(app::WindowTemplateBytes());
  runtime::RegisterExitRoutine(&SayExit);
  runtime::RegisterExitRoutine(&SayExitAgain);
  runtime::RegisterExitRoutine(&SayExit);
  std::fflush(stdout);
  if (scenario == "missing-start-window") {
    runtime::LoadStartWindow(0x52019999);
  } else if (scenario == "never-loaded") {
    runtime::ReadProperty(ids::kExitDialog, ids::kExitConfirm, ids::kPropWidth);
  } else if (scenario == "missing-bass") {
    runtime::DllCommand<int (*)(int, unsigned, unsigned, void*, void*)>(runtime::kBassInit);
  } else if (scenario == "exit-from-worker") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::StartThread([] { runtime::ExitProgram(3); });
    runtime::RunEventLoop();
    return 1;  // not reached: the worker ends the program
  } else if (scenario == "fatal-on-worker") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::StartThread(
        [] { runtime::ReadProperty(ids::kExitDialog, ids::kExitConfirm, ids::kPropLeft); });
    runtime::RunEventLoop();
    return 1;  // not reached: the report ends the program
  } else if (scenario == "sigterm") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::StartThread([] { kill(getpid(), SIGTERM); });
    runtime::RunEventLoop();
    runtime::ExitProgram(0);
  } else if (scenario == "owned-exit-routines") {
    // Routines registered for objects: one per owner whatever is registered again, and none
    // for an owner that withdrew before the end.
    struct Owner {
      std::string name;
    } kept{"kept"}, gone{"gone"};
    runtime::RegisterExitRoutine(
        &kept, [&kept](int position) { std::printf("%s %d\n", kept.name.c_str(), position); });
    runtime::RegisterExitRoutine(
        &gone, [&gone](int position) { std::printf("%s %d\n", gone.name.c_str(), position); });
    runtime::RegisterExitRoutine(&kept, [](int) { std::printf("kept again\n"); });
    runtime::WithdrawExitRoutine(&gone);
    runtime::RegisterExitRoutine(&SayExit);
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::UnloadWindow(ids::kMainWindow);
    runtime::RunEventLoop();
    runtime::ExitProgram(0);
  } else if (scenario == "normal-end") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::UnloadWindow(ids::kMainWindow);
    runtime::RunEventLoop();
    runtime::ExitProgram(0);
  }
  return 2;
}
