// The entry tests append to and read from the real play list of the main window, loaded offscreen
// with a real Qt application.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  return RUN_ALL_TESTS();
}
