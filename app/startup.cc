#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "app/desktop/desktop_bus.h"
#include "app/features.h"
#include "app/window_set.h"
#include "download/song_download.h"
#include "runtime/bridge.h"
#include "ui/qt/qt_ui.h"
#include "windows/window_ids.h"

namespace vorel::app {
namespace {

// The program's own start routine. It has nothing to prepare; its result is ignored.
int StartRoutine() { return 0; }

}  // namespace

void RunProgram(int argc, char** argv, const std::vector<desktop::OpenItem>& open_items,
                int item_arguments) {
  // A peer that closes a connection must not end the player.
  std::signal(SIGPIPE, SIG_IGN);
  // The arguments are files and addresses for the player, never options for Qt.
  int qt_argc = std::min(argc, 1);
  qt::UiSession session(qt_argc, argv);
  if (std::optional<int> code = desktop::HandOverToRunningProgram(open_items, item_arguments)) {
    std::fflush(nullptr);
    _exit(*code);
  }
  // Kept until the program ends: RunProgram returns only through ExitProgram.
  Features features;
  runtime::SetRoutineTable(BuildRoutineTable(features));
  runtime::InitRuntime(WindowTemplateBytes());
  download::RemoveLeftoverParts();
  runtime::SetTemplateCaption(ids::kMainWindow, ids::kAddressBox, SampleAddress());
  (void)StartRoutine();
  runtime::LoadStartWindow(ids::kMainWindow);
  features.media_service().StartDesktop(open_items, item_arguments);
  runtime::RunEventLoop();
  runtime::ExitProgram(0);
}

}  // namespace vorel::app
