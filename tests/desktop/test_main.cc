// The desktop side of the program: command line, media control over a private session bus,
// the installed program. Windows offscreen, silent audio output.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  // Nothing here may reach a desktop's own bus; the tests that need one start their own.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  ::testing::InitGoogleTest(&argc, argv);
  vorel::qt::UiSession session(argc, argv);
  return RUN_ALL_TESTS();
}
