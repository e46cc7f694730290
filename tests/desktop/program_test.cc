// The program itself, run as a person runs it: from a terminal without a display, twice with
// files on the command line, installed into a prefix it cannot write. Each run is a real
// process on a private session bus; the test watches it as the desktop would.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusVariant>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop/command_line.h"
#include "app/desktop/desktop_bus.h"
#include "runtime/text.h"
#include "tests/desktop/session_bus.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/process.h"

namespace vorel::desktop {
namespace {

namespace fs = std::filesystem;

using Outcome = vorel::testing::CommandOutcome;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Outcome Shell(const std::string& command) { return vorel::testing::RunCommand(command); }

std::string ReadFile(const fs::path& p) { return vorel::testing::ReadWholeFile(p); }

std::size_t Count(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    songs_ = fs::temp_directory_path() / "vorel-test-songs-1";
    fs::create_directories(songs_);
    ASSERT_TRUE(flow::MakeTone(songs_ / "long.mp3", 225, 330));
    ASSERT_TRUE(flow::MakeTone(songs_ / "short1.mp3", 1, 440));
    // Programs that drop root in the install test reach this bus too.
    bus_ = new testing::PrivateSessionBus;
    ASSERT_TRUE(bus_->Start(/*any_user=*/true));
  }
  static void TearDownTestSuite() {
    delete bus_;
    bus_ = nullptr;
  }

  void SetUp() override {
    work_ = fs::temp_directory_path() /
            ("vorel_program_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_ / "runtime");
    fs::permissions(work_ / "runtime", fs::perms::owner_all);
    fs::permissions(work_, fs::perms::all);
  }

  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    Shell("chmod -R u+w " + Quote(work_.string()));
    fs::remove_all(work_);
  }

  // The program copied into a folder of the test's own (with its audio library beside it), so
  // its play list lands in that folder.
  fs::path CopyProgram() {
    fs::create_directories(work_ / "app");
    fs::copy_file(VOREL_PROGRAM, work_ / "app" / "vorel");
    fs::create_symlink(fs::path(VOREL_PROGRAM).parent_path() / "libbass.so",
                       work_ / "app" / "libbass.so");
    return work_ / "app" / "vorel";
  }

  std::string Environment() {
    return "env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen "
           "VOREL_AUDIO=null VOREL_NONINTERACTIVE=1 DBUS_SESSION_BUS_ADDRESS=" +
           Quote(bus_->address()) + " XDG_RUNTIME_DIR=" + Quote((work_ / "runtime").string()) +
           " XDG_DATA_HOME=" + Quote((work_ / "data").string()) + " HOME=" + Quote(work_.string()) +
           " ";
  }

  // Starts the program in the background; its output goes to work_/first.log.
  void Start(const std::string& command) {
    log_ = work_ / "first.log";
    pid_ = ::fork();
    if (pid_ == 0) {
      int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }

  // Waits for the program to own its bus name; false when it ended or took too long.
  bool WaitUntilOnTheBus(int seconds = 60) {
    QDBusConnection bus = Bus();
    for (int i = 0; i < seconds * 20; ++i) {
      if (bus.interface()->isServiceRegistered(kBusName).value()) return true;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Waits for the program to end; its exit code, or -1.
  int WaitForExit(int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }

  static QDBusConnection Bus() {
    return QDBusConnection::connectToBus(QString::fromStdString(bus_->address()), "program-test");
  }
  static QVariant Get(const char* iface, const char* property) {
    QDBusInterface props(kBusName, kObjectPath, "org.freedesktop.DBus.Properties", Bus());
    QDBusMessage reply = props.call("Get", QString(iface), QString(property));
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
  }
  static QString Title() {
    QVariantMap m = qdbus_cast<QVariantMap>(
        Get("org.mpris.MediaPlayer2.Player", "Metadata").value<QDBusArgument>());
    return m.value("xesam:title").toString();
  }
  static QDBusMessage Quit() {
    QDBusInterface root(kBusName, kObjectPath, "org.mpris.MediaPlayer2", Bus());
    return root.call("Quit");
  }

  static inline fs::path songs_;
  static inline testing::PrivateSessionBus* bus_ = nullptr;
  fs::path work_;
  fs::path log_;
  pid_t pid_ = -1;
};

TEST_F(ProgramTest, WithoutADisplayItSaysSoOnOneLineAndEndsWith1) {
  for (const std::string& args : {std::string(), " " + Quote((songs_ / "long.mp3").string())}) {
    Outcome o = Shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                      std::string(VOREL_PROGRAM) + args);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.output, NoDisplayMessage());
  }
}

TEST_F(ProgramTest, ADisplayThatCannotBeOpenedIsSaidOnOneLineAndEndsWith1) {
  // A display number with no X server behind it (no socket for it in /tmp/.X11-unix).
  int number = 379;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  const std::string display = ":" + std::to_string(number);
  Outcome o = Shell("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=" + display + " " +
                    std::string(VOREL_PROGRAM));
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.output, "vorel: no display to show the player on (DISPLAY=" + display +
                          " cannot be opened); start it from a desktop session\n");
}

TEST_F(ProgramTest, AnUnreadableFileIsNamedOnTheTerminal) {
  const fs::path locked = work_ / "locked.mp3";
  fs::copy_file(songs_ / "short1.mp3", locked);
  fs::permissions(locked, fs::perms::none);
  // Root reads every file, so as root the program runs as an ordinary user (nobody's id).
  const std::string as_user =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  Outcome o = Shell(as_user + "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                    std::string(VOREL_PROGRAM) + " " + Quote(locked.string()));
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.output, "vorel: " + locked.string() + ": cannot be read (permission denied)\n" +
                          NoDisplayMessage());
}

TEST_F(ProgramTest, HelpVersionAndUnknownOptions) {
  Outcome help = Shell(std::string(VOREL_PROGRAM) + " --help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.output, HelpText());
  Outcome version = Shell(std::string(VOREL_PROGRAM) + " --version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.output.rfind("Vorel ", 0), 0u);
  Outcome bad = Shell(std::string(VOREL_PROGRAM) + " --shuffle-all");
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.output, "vorel: unknown option --shuffle-all (see vorel --help)\n");
}

TEST_F(ProgramTest, ASecondStartHandsItsFilesToTheRunningProgramAndQuitSavesTheList) {
  const fs::path program = CopyProgram();
  const std::string env = Environment();
  Start(env + Quote(program.string()) + " " + Quote((songs_ / "long.mp3").string()) + " " +
        Quote(songs_.string()));
  ASSERT_TRUE(WaitUntilOnTheBus()) << ReadFile(log_);
  EXPECT_EQ(Title(), "long.mp3");
  EXPECT_EQ(Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus").toString(), "Playing");

  // The second start, from another folder, with a relative name.
  Outcome second = Shell("cd " + Quote(songs_.string()) + " && " + env +
                         Quote(std::string(VOREL_PROGRAM)) + " short1.mp3 nothing.mp3");
  EXPECT_EQ(second.code, 0) << second.output;
  EXPECT_NE(second.output.find(": no such file"), std::string::npos) << second.output;
  EXPECT_EQ(Title(), "short1.mp3");
  // Only unusable arguments: nothing is handed over, and the start says it failed.
  Outcome useless = Shell(env + Quote(std::string(VOREL_PROGRAM)) + " " + Quote(songs_.string()));
  EXPECT_EQ(useless.code, 1);
  // No arguments: the running window is raised.
  EXPECT_EQ(Shell(env + Quote(std::string(VOREL_PROGRAM))).code, 0);

  EXPECT_EQ(Quit().type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(WaitForExit(), 0);
  const std::string log = ReadFile(log_);
  EXPECT_NE(log.find("vorel: " + songs_.string() + ": is a folder"), std::string::npos) << log;
  // The list was saved beside the program (its folder is writable): both songs, once each.
  const std::string list = ReadFile(work_ / "app" / "播放列表.txt");
  EXPECT_EQ(Count(list, (songs_ / "long.mp3").string()), 1u);
  EXPECT_EQ(Count(list, (songs_ / "short1.mp3").string()), 1u);
}

TEST_F(ProgramTest, TenThousandArgumentsAndANameThatIsNotUtf8) {
  const fs::path program = CopyProgram();
  const fs::path odd = work_ / "\xe9t\xe9.mp3";  // Latin-1, not UTF-8
  fs::copy_file(songs_ / "short1.mp3", odd);
  std::string args = Quote(odd.string());
  for (int i = 0; i < 10000; ++i) args += " " + Quote((songs_ / "short1.mp3").string());
  const std::string script = (work_ / "start.sh").string();
  std::ofstream(script) << "exec " << Environment() << Quote(program.string()) << " " << args
                        << "\n";
  Start("sh " + Quote(script));
  ASSERT_TRUE(WaitUntilOnTheBus(120)) << ReadFile(log_);
  EXPECT_EQ(Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus").toString(), "Playing");
  Quit();
  EXPECT_EQ(WaitForExit(120), 0);
  EXPECT_NE(ReadFile(log_).find("vorel: " + (work_ / "\\xE9t\\xE9.mp3").string() +
                                ": the name is not valid UTF-8"),
            std::string::npos)
      << ReadFile(log_);
  const std::string list = ReadFile(work_ / "app" / "播放列表.txt");
  EXPECT_EQ(Count(list, (songs_ / "short1.mp3").string()), 10000u);
}

TEST_F(ProgramTest, InstalledIntoAReadOnlyPrefixItFindsItsLibraryAndKeepsItsListUnderXdg) {
  const fs::path prefix = work_ / "prefix";
  Outcome install =
      Shell("cmake --install " + Quote(VOREL_BUILD_DIR) + " --prefix " + Quote(prefix.string()));
  ASSERT_EQ(install.code, 0) << install.output;
  for (const char* f :
       {"bin/vorel", "lib/vorel/libbass.so", "share/applications/vorel.desktop",
        "share/metainfo/org.vorel.vorel.metainfo.xml",
        "share/icons/hicolor/scalable/apps/vorel.svg", "share/icons/hicolor/16x16/apps/vorel.png",
        "share/icons/hicolor/48x48/apps/vorel.png", "share/icons/hicolor/256x256/apps/vorel.png",
        "share/icons/hicolor/512x512/apps/vorel.png"}) {
    EXPECT_TRUE(fs::is_regular_file(prefix / f)) << f;
  }
  Outcome desktop_file = Shell("desktop-file-validate " +
                               Quote((prefix / "share/applications/vorel.desktop").string()));
  EXPECT_EQ(desktop_file, (Outcome{0, ""}));
  Outcome metainfo =
      Shell("appstreamcli validate --no-net " +
            Quote((prefix / "share/metainfo/org.vorel.vorel.metainfo.xml").string()));
  EXPECT_EQ(metainfo.code, 0) << metainfo.output;

  // The prefix is read-only to the program. Root may write anywhere, so as root the program
  // runs as an ordinary user (nobody's id), as an installed program does.
  Shell("chmod -R a-w " + Quote(prefix.string()));
  std::string as_user;
  if (::geteuid() == 0) {
    fs::create_directories(work_ / "data");
    Shell("chown -R 65534:65534 " + Quote((work_ / "data").string()) + " " +
          Quote((work_ / "runtime").string()));
    as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  Start("sh -c " +
        Quote("cd / && exec " + as_user + Environment() + Quote((prefix / "bin/vorel").string()) +
              " " + Quote((songs_ / "long.mp3").string())));
  ASSERT_TRUE(WaitUntilOnTheBus()) << ReadFile(log_);
  // Playing means libbass.so was found and loaded from lib/vorel/.
  EXPECT_EQ(Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus").toString(), "Playing");
  Quit();
  EXPECT_EQ(WaitForExit(), 0) << ReadFile(log_);
  const std::string list = ReadFile(work_ / "data" / "vorel" / "播放列表.txt");
  EXPECT_EQ(Count(list, (songs_ / "long.mp3").string()), 1u) << ReadFile(log_);
  EXPECT_FALSE(fs::exists(prefix / "bin" / "播放列表.txt"));
}

}  // namespace
}  // namespace vorel::desktop
