// The player, play list and main window handlers driven through the real windows on the
// offscreen platform, with the silent audio output and songs generated for the run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  return RUN_ALL_TESTS();
}
