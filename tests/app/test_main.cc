// Tests of the window framework run with a real Qt application on the offscreen platform.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/window_set.h"
#include "runtime/bridge.h"
#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  return RUN_ALL_TESTS();
}
