// A child process for the tests of program end and fatal errors: each scenario ends the process
// the way the program would, and the test checks the exit code and what was said.

#include <cstdio>
#include <cstring>

#include "app/window_set.h"
#include "platform/qt/qt_ui.h"
#include "runtime/bridge.h"
#include "runtime/dll_table.h"
#include "runtime/threads.h"
#include "runtime/window_ids.h"

using namespace vorel;

namespace {

void SayExit(int position) { std::printf("exit routine %d\n", position); }
void SayExitAgain(int position) { std::printf("second exit routine %d\n", position); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string scenario = argv[1];
  qt::UiSession session(argc, argv);
  runtime::SetRoutineTable(app::BuildRoutineTable());
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
    runtime::ReadProperty(ids::kExitDialog, ids::kExitConfirm, 2);
  } else if (scenario == "missing-bass") {
    runtime::DllCommand<int (*)(int, unsigned, unsigned, void*, void*)>(runtime::kBassInit);
  } else if (scenario == "exit-from-worker") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::StartThread([] { runtime::ExitProgram(3); });
    runtime::RunEventLoop();
    return 1;  // not reached: the worker ends the program
  } else if (scenario == "normal-end") {
    runtime::LoadStartWindow(ids::kMainWindow);
    runtime::UnloadWindow(ids::kMainWindow);
    runtime::RunEventLoop();
    runtime::ExitProgram(0);
  }
  return 2;
}
