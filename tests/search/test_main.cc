// The search, the resolver and the settings, driven through the real windows on the offscreen
// platform against servers the tests start on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui/qt/qt_ui.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary without the test environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  // The settings of the person running the tests must not leak in: an empty config folder.
  std::filesystem::path config =
      std::filesystem::temp_directory_path() / ("vorel_search_config_" + std::to_string(getpid()));
  std::filesystem::create_directories(config);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  for (const char* v : {"VOREL_SEARCH_HOST", "VOREL_SOUND_WEB_HOST", "VOREL_SOUND_API_HOST"}) {
    unsetenv(v);
  }
  ::testing::InitGoogleTest(&argc, argv);
  int rc;
  {
    vorel::qt::UiSession session(argc, argv);
    rc = RUN_ALL_TESTS();
  }
  std::filesystem::remove_all(config);
  return rc;
}
