// The real program, copied into a temporary folder as its run directory, started offscreen
// with nobody to answer message boxes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/testing/process.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) { return vorel::testing::ReadWholeFile(path); }

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorel-startup-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::copy_file(VOREL_PROGRAM_PATH, dir_ / "vorel");
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }

  // Starts the copied program (or `program`) with `args`; its standard output and error go to a
  // file. `xdg_data` replaces the data home (dir_/home/data).
  void Start(const fs::path& program = {}, const std::vector<std::string>& args = {},
             const std::string& xdg_data = {}) {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      const std::string home = (dir_ / "home").string();
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
      setenv("XDG_DATA_HOME", (xdg_data.empty() ? home + "/data" : xdg_data).c_str(), 1);
      setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("VOREL_NONINTERACTIVE", "1", 1);
      setenv("VOREL_AUDIO", "null", 1);
      unsetenv("LD_LIBRARY_PATH");
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      const std::string out = (dir_ / "output").string();
      if (!freopen(out.c_str(), "w", stdout) || !freopen(out.c_str(), "a", stderr)) _exit(100);
      const std::string path = (program.empty() ? dir_ / "vorel" : program).string();
      std::vector<char*> argv{const_cast<char*>(path.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(101);
    }
  }

  // Waits for the program to end by itself; its exit code, or -1 after 20 s.
  int WaitForEnd() {
    for (int i = 0; i < 2000; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  std::string Maps() const { return ReadAll("/proc/" + std::to_string(pid_) + "/maps"); }
  std::string Output() const { return ReadAll(dir_ / "output"); }

  fs::path dir_;
  pid_t pid_ = -1;
};

constexpr char kMissingInit[] =
    "运行时出错!\n\n错误信息：无法找到指定DLL库文件“bass.dll”中的输出命令“BASS_Init”\n";

TEST_F(StartupTest, WithoutTheAudioLibraryTheProgramEndsWithTheFatalReport) {
  Start();
  EXPECT_EQ(WaitForEnd(), 255);
  EXPECT_NE(Output().find(kMissingInit), std::string::npos) << Output();
}

TEST_F(StartupTest, AnAudioLibraryWithoutBassInitEndsTheProgramNamingTheFunction) {
  fs::copy_file(VOREL_STUB_LIBRARY_PATH, dir_ / "libbass.so");
  Start();
  EXPECT_EQ(WaitForEnd(), 255);
  EXPECT_NE(Output().find(kMissingInit), std::string::npos) << Output();
}

// The audio library is loaded and initialised at start, but what only playing, the network or
// the spectrum needs is not, and the bold CJK face is not mapped for the bold captions.
TEST_F(StartupTest, IdleProgramMapsOnlyWhatItUses) {
  fs::copy_file(VOREL_LIBBASS_PATH, dir_ / "libbass.so");
  Start();
  std::string maps;
  for (int i = 0; i < 2000 && maps.find("libbass.so") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    maps = Maps();
  }
  ASSERT_NE(maps.find("libbass.so"), std::string::npos) << Output();
  // The main window is up once the font is in use; give the event loop a moment past that.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  maps = Maps();
  EXPECT_NE(maps.find("NotoSansCJK-Regular"), std::string::npos) << "the captions' face";
  for (const char* late :
       {"libavcodec", "libavformat", "libSDL2", "libfftw3f", "libcurl", "NotoSansCJK-Bold"}) {
    EXPECT_EQ(maps.find(late), std::string::npos) << late << " mapped while idle";
  }
}

// Waits up to `ms` for `done`, looking every 20 ms.
bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (int i = 0; i < ms / 20; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

// A play list record as the list view writes it: kind, image -1, state image -1, indent 0,
// item data 0 (kind 0 starts a row), the cell text and an empty second text.
std::string Record(char kind, const std::string& text) {
  return std::string(1, kind) + std::string(8, '\xFF') + std::string(8, '\0') + text +
         std::string(2, '\0');
}

bool ListHolds(const std::string& bytes, const std::string& path) {
  return bytes.find(Record(1, path)) != std::string::npos;
}

// The layout `cmake --install` makes under a prefix: the program in bin/, its audio library in
// lib/vorel/. The prefix is writable, as ~/.local is.
class InstalledLayoutTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    prefix_ = dir_ / "prefix";
    fs::create_directories(prefix_ / "bin");
    fs::create_directories(prefix_ / "lib/vorel");
    fs::copy_file(VOREL_PROGRAM_PATH, prefix_ / "bin/vorel");
    fs::copy_file(VOREL_LIBBASS_PATH, prefix_ / "lib/vorel/libbass.so");
    data_ = dir_ / "home/data/vorel";
  }
  // Ends the program as the desktop does when the session ends; its exit code.
  int Terminate() {
    kill(pid_, SIGTERM);
    return WaitForEnd();
  }
  fs::path prefix_;
  fs::path data_;
};

TEST_F(InstalledLayoutTest, TheListAndDownloadsLiveInTheXdgDataFolderNeverBesideTheProgram) {
  const std::string song = (dir_ / "song.mp3").string();
  std::ofstream(song) << "not really a song";
  Start(prefix_ / "bin/vorel", {song});
  // Saved soon after the command line added the row, long before the program ends.
  EXPECT_TRUE(WaitFor([&] { return ListHolds(ReadAll(data_ / "播放列表.txt"), song); }))
      << Output();
  EXPECT_EQ(Terminate(), 0) << Output();
  EXPECT_TRUE(ListHolds(ReadAll(data_ / "播放列表.txt"), song));
  std::vector<std::string> beside;
  for (const auto& e : fs::directory_iterator(prefix_ / "bin")) {
    beside.push_back(e.path().filename().string());
  }
  EXPECT_EQ(beside, std::vector<std::string>{"vorel"});
}

TEST_F(InstalledLayoutTest, AListLeftBesideTheProgramMovesToTheDataFolderAndStays) {
  // Written by an earlier version, which kept its data in bin/ when it could write there.
  const std::string record = Record(0, "\xB1\xBE\xB5\xD8\xCE\xC4\xBC\xFE") +  // 本地文件
                             Record(1, "/old/song.mp3") + Record(1, "old") + Record(1, "");
  std::ofstream(prefix_ / "bin/播放列表.txt", std::ios::binary) << record;
  Start(prefix_ / "bin/vorel");
  EXPECT_TRUE(WaitFor([&] { return ReadAll(data_ / "播放列表.txt") == record; })) << Output();
  EXPECT_EQ(Terminate(), 0) << Output();
  EXPECT_EQ(ReadAll(data_ / "播放列表.txt"), record);
  EXPECT_EQ(ReadAll(prefix_ / "bin/播放列表.txt"), record);  // never lost
}

TEST_F(InstalledLayoutTest, ADataFolderThatCannotBeMadeIsSaidInTheWindowAtStart) {
  // A data home that is a file: nobody, root included, can make a folder inside it.
  std::ofstream(dir_ / "not-a-folder") << "x";
  const std::string folder = (dir_ / "not-a-folder/vorel").string();
  Start(prefix_ / "bin/vorel", {}, (dir_ / "not-a-folder").string());
  EXPECT_TRUE(WaitFor([&] {
    return Output().find("信息：\n无法写入数据文件夹“" + folder + "”") != std::string::npos;
  })) << Output();
  EXPECT_EQ(Terminate(), 0) << Output();
  EXPECT_FALSE(fs::exists(prefix_ / "bin/播放列表.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "播放列表.txt"));
}

TEST_F(StartupTest, AnUnreadableListFileIsKeptByteForByteAndSaidOnce) {
  fs::copy_file(VOREL_LIBBASS_PATH, dir_ / "libbass.so");
  const std::string garbage = "this is no play list\nbut a person's notes\n";
  std::ofstream(dir_ / "播放列表.txt", std::ios::binary) << garbage;
  Start();
  const std::string said = "信息：\n播放列表文件已损坏，原文件已改名为“播放列表.txt.unreadable-";
  EXPECT_TRUE(WaitFor([&] { return Output().find(said) != std::string::npos; })) << Output();
  kill(pid_, SIGTERM);
  EXPECT_EQ(WaitForEnd(), 0) << Output();
  EXPECT_EQ(Output().find(said), Output().rfind(said)) << "said more than once";
  std::vector<fs::path> aside;
  for (const auto& e : fs::directory_iterator(dir_)) {
    if (e.path().filename().string().starts_with("播放列表.txt.unreadable-")) {
      aside.push_back(e.path());
    }
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadAll(aside[0]), garbage);
  EXPECT_EQ(ReadAll(dir_ / "播放列表.txt"), "");  // the empty list the run had
}

}  // namespace
