#include <csignal>

#include "app/window_set.h"
#include "platform/qt/qt_ui.h"
#include "runtime/bridge.h"
#include "runtime/window_ids.h"

namespace vorel::app {
namespace {

// The program's own start routine. It has nothing to prepare; its result is ignored.
int StartRoutine() { return 0; }

}  // namespace

void RunProgram(int argc, char** argv) {
  // A peer that closes a connection must not end the player.
  std::signal(SIGPIPE, SIG_IGN);
  qt::UiSession session(argc, argv);
  WireServices();
  runtime::SetRoutineTable(BuildRoutineTable());
  runtime::InitRuntime(WindowTemplateBytes());
  runtime::SetTemplateCaption(ids::kMainWindow, ids::kAddressBox, SampleAddress());
  (void)StartRoutine();
  runtime::LoadStartWindow(ids::kMainWindow);
  runtime::RunEventLoop();
  runtime::ExitProgram(0);
}

}  // namespace vorel::app
