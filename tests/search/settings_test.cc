// The hosts of the network features: environment, settings file, built-in default, and what a
// bad file or value does.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace vorel::app {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vorel_settings_" + std::to_string(getpid()));
    fs::create_directories(dir_ / "vorel");
    env_["XDG_CONFIG_HOME"] = dir_.string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path File() const { return dir_ / "vorel" / "vorel.conf"; }
  void WriteFile(const std::string& bytes) { std::ofstream(File(), std::ios::binary) << bytes; }

  SettingsSources Sources() {
    SettingsSources s;
    s.env = [this](const char* name) -> std::optional<std::string> {
      auto it = env_.find(name);
      if (it == env_.end()) return std::nullopt;
      return it->second;
    };
    s.report = [this](const std::string& line) { reports_.push_back(line); };
    s.file_path = SettingsFilePath(s);
    return s;
  }
  HostSettings Read() { return ReadHostSettings(Sources()); }

  fs::path dir_;
  std::map<std::string, std::string> env_;
  std::vector<std::string> reports_;
};

TEST_F(SettingsTest, EnvironmentBeatsFileBeatsBuiltInDefault) {
  WriteFile("[hosts]\nsearch = music.example.org\nsound_api=127.0.0.1:8080\n");
  env_["VOREL_SOUND_API_HOST"] = "api.example.net:81";
  HostSettings h = Read();
  EXPECT_EQ(h.of(HostKey::kSearch).host, "music.example.org");
  EXPECT_FALSE(h.of(HostKey::kSearch).built_in_default);
  EXPECT_EQ(h.of(HostKey::kSoundApi).host, "api.example.net:81");
  EXPECT_EQ(h.of(HostKey::kSoundWeb).host, "sound.invalid");
  EXPECT_TRUE(h.of(HostKey::kSoundWeb).built_in_default);
  EXPECT_TRUE(reports_.empty());

  fs::remove(File());  // no file at all is not a complaint
  env_.clear();
  env_["XDG_CONFIG_HOME"] = dir_.string();
  h = Read();
  EXPECT_EQ(h.of(HostKey::kSearch).host, "search.invalid");
  EXPECT_EQ(h.of(HostKey::kSoundApi).host, "api.sound.invalid");
  EXPECT_TRUE(reports_.empty());
}

TEST_F(SettingsTest, FileLocation) {
  EXPECT_EQ(SettingsFilePath(Sources()), (dir_ / "vorel/vorel.conf").string());
  env_["XDG_CONFIG_HOME"] = "relative/dir";  // not absolute: ignored
  env_["HOME"] = "/home/someone";
  EXPECT_EQ(SettingsFilePath(Sources()), "/home/someone/.config/vorel/vorel.conf");
  env_["HOME"] = "someone";  // a relative HOME would name a file in the working folder
  EXPECT_EQ(SettingsFilePath(Sources()), "");
}

TEST_F(SettingsTest, BadFilesAreNamedAndSkipped) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"empty", "", "is empty"},
      {"blank", " \n\n", "is empty"},
      {"not INI", "search: a.example\nthis is prose\n", "not an INI file"},
      {"binary", std::string("[hosts]\nsearch=a\0b\n", 18), "not an INI file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reports_.clear();
    WriteFile(c.bytes);
    env_["VOREL_SEARCH_HOST"] = "from.env";
    HostSettings h = Read();
    EXPECT_EQ(h.of(HostKey::kSearch).host, "from.env");
    EXPECT_EQ(h.of(HostKey::kSoundApi).host, "api.sound.invalid");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].find(File().string()), std::string::npos) << reports_[0];
    EXPECT_NE(reports_[0].find(c.says), std::string::npos) << reports_[0];
  }
}

TEST_F(SettingsTest, UnreadableFileIsNamedAndSkipped) {
  // A folder where the file should be cannot be read by anyone (root included); a file without
  // read permission only by others than root.
  fs::create_directories(File());
  HostSettings h = Read();
  EXPECT_EQ(h.of(HostKey::kSearch).host, "search.invalid");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot read the settings file " + File().string()), std::string::npos)
      << reports_[0];
  fs::remove(File());
  if (geteuid() == 0) return;
  reports_.clear();
  WriteFile("[hosts]\nsearch=a.example\n");
  fs::permissions(File(), fs::perms::none);
  h = Read();
  EXPECT_EQ(h.of(HostKey::kSearch).host, "search.invalid");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot read"), std::string::npos) << reports_[0];
}

TEST_F(SettingsTest, BadValuesFallToTheNextSource) {
  WriteFile(
      "[hosts]\nsearch = has space.example\nsound_web = a\x01"
      "b\nsound_api = ok.example\n");
  env_["VOREL_SOUND_API_HOST"] = "bad host";
  HostSettings h = Read();
  EXPECT_EQ(h.of(HostKey::kSearch).host, "search.invalid");
  EXPECT_EQ(h.of(HostKey::kSoundWeb).host, "sound.invalid");
  EXPECT_EQ(h.of(HostKey::kSoundApi).host, "ok.example");  // the file's, under a bad variable
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_NE(reports_[0].find("search"), std::string::npos);
  EXPECT_NE(reports_[1].find("sound_web = \"a\\x01b\""), std::string::npos) << reports_[1];
  EXPECT_NE(reports_[2].find("VOREL_SOUND_API_HOST"), std::string::npos);
}

TEST(HostValueTest, Forms) {
  for (const char* good : {"a", "music.example.org", "127.0.0.1:8080", "host_1:1", "x-y.z:65535"}) {
    EXPECT_TRUE(IsHostValue(good)) << good;
  }
  for (const char* bad : {"", "a b", "a\tb", "a\r\nb", "a:", "a:0", "a:65536", "a:8o", ":80",
                          "http://a", "a/b", "a#b", "-a", ".a", "[::1]:80", "a:1:2", "ä.example"}) {
    EXPECT_FALSE(IsHostValue(bad)) << bad;
  }
}

}  // namespace
}  // namespace vorel::app
