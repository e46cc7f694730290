// The player, play list and main window handlers driven through the real windows on the
// offscreen platform, with the silent audio output and songs generated for the run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "player/player.h"
#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  const int result = RUN_ALL_TESTS();
  // A test may end while a song still opens on a worker (cancelled, but loading the decoding
  // libraries or waiting on a server that is gone). Returning now would run the exit handlers,
  // which unload libraries, beside that worker's own loading of them.
  vorel::player::WaitForOpenWorkersForTesting(15000);
  return result;
}
