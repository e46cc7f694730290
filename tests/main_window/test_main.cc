// The main window's download task and views, on the offscreen platform with the silent audio
// output; every server is a loopback server of the test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  return RUN_ALL_TESTS();
}
