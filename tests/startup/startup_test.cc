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
#include <string>
#include <thread>

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

  // Starts the copied program; its standard output and error go to a file.
  void Start() {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      const std::string home = (dir_ / "home").string();
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
      setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("VOREL_NONINTERACTIVE", "1", 1);
      setenv("VOREL_AUDIO", "null", 1);
      unsetenv("LD_LIBRARY_PATH");
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      const std::string out = (dir_ / "output").string();
      if (!freopen(out.c_str(), "w", stdout) || !freopen(out.c_str(), "a", stderr)) _exit(100);
      const std::string program = (dir_ / "vorel").string();
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
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

}  // namespace
