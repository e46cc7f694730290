// The desktop's sound server as the output: a private PulseAudio on a null sink, started by each
// test, with what reaches the sink recorded from its monitor. A test that cannot start the
// server fails: the CI machine has it installed.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"
#include "tests/testing/process.h"
#include "tests/testing/tone.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// Starts `argv` with its standard output and error going to `out` and the variables `env` set
// (in the child only: the library's threads may be reading the environment); returns its id.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& out,
            const std::vector<std::pair<std::string, std::string>>& env = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t& pid, int sig) {
  if (pid <= 0) return;
  kill(pid, sig);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

// A PulseAudio of the test's own: a null sink and sockets in a private folder, so that nothing
// collides with another test or a desktop's server. The player connects through socket(); the
// test's own recorder and pactl through a second socket, which lets a test hold the player off
// while it prepares. Runs as root, as CI does.
class PrivateSoundServer {
 public:
  PrivateSoundServer() {
    static int serial = 0;
    dir_ = TempDir() + "/pulse" + std::to_string(serial++);
    std::filesystem::create_directories(dir_ + "/runtime");
    std::filesystem::permissions(dir_ + "/runtime", std::filesystem::perms::owner_all);
  }
  ~PrivateSoundServer() { Stop(pid_, SIGKILL); }

  std::string socket() const { return dir_ + "/native"; }
  std::string address() const { return "unix:" + socket(); }
  std::string control_address() const { return "unix:" + control_socket(); }

  // Starts the server and waits until it takes connections; without `player_socket` the player's
  // socket opens only with OpenPlayerSocket. False (with its log) on failure.
  bool Start(bool player_socket = true) {
    std::filesystem::remove(socket());
    std::filesystem::remove(control_socket());
    std::ofstream(dir_ + "/server.pa")
        << "load-module module-null-sink sink_name=heard rate=44100\n"
        << "load-module " << Protocol(control_socket()) << "\n"
        << (player_socket ? "load-module " + Protocol(socket()) + "\n" : "")
        << "set-default-sink heard\n";
    // The server takes its runtime and configuration folders from XDG_RUNTIME_DIR and HOME.
    pid_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                  "--disallow-module-loading=no", "--log-target=stderr", "-F", dir_ + "/server.pa"},
                 dir_ + "/server.log", {{"XDG_RUNTIME_DIR", dir_ + "/runtime"}, {"HOME", dir_}});
    return WaitUntil(
        [&] { return Answers(control_socket()) && (!player_socket || Answers(socket())); }, 10);
  }

  bool OpenPlayerSocket() const {
    Pactl("load-module " + Protocol(socket()));
    return Answers(socket());
  }

  void Kill() { Stop(pid_, SIGKILL); }
  std::string Log() const { return vorel::testing::ReadWholeFile(dir_ + "/server.log"); }

  // `pactl <args>` against this server.
  std::string Pactl(const std::string& args) const {
    return vorel::testing::RunCommand("PULSE_SERVER=" + control_address() + " pactl " + args)
        .output;
  }

 private:
  std::string control_socket() const { return dir_ + "/control"; }
  static std::string Protocol(const std::string& socket) {
    return "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
  }

  static bool Answers(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return ok;
  }

  std::string dir_;
  pid_t pid_ = -1;
};

// Records the sink's monitor (mono, 16 bit, 44.1 kHz) into a file while it lives. A sound card's
// sink takes back what it rendered ahead when a stream corks or flushes; the null sink does too,
// but its monitor has already passed on what it rendered ahead. So the recorder asks for 20 ms
// of latency, which keeps the sink rendering little ahead: the monitor then gives what a card
// would play, while the player's stream keeps its own half-second buffer in the server.
class MonitorRecording {
 public:
  explicit MonitorRecording(const PrivateSoundServer& server) {
    static int serial = 0;
    path_ = TempDir() + "/monitor" + std::to_string(serial++) + ".raw";
    pid_ = Spawn(
        {"sh", "-c",
         "exec parec --raw -s " + server.control_address() +
             " -d heard.monitor --format=s16le --rate=44100 --channels=1 --latency-msec=20 > " +
             path_},
        path_ + ".log");
    // Sound played before the recorder is connected would be missed.
    std::error_code ec;
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::file_size(path_, ec) > 0 && !ec; }, 5))
        << "the recorder did not start";
    started_ = Clock::now();
  }
  ~MonitorRecording() { Stop(pid_, SIGKILL); }

  // When the first recorded data arrived.
  Clock::time_point started() const { return started_; }

  // How many samples have come through so far.
  size_t Recorded() const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path_, ec);
    return ec ? 0 : static_cast<size_t>(bytes / 2);
  }

  // Ends the recording (after what the server still holds has come through) and returns it.
  Pcm Finish() {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Stop(pid_, SIGINT);
    Pcm pcm;
    pcm.rate = 44100;
    pcm.channels = 1;
    const std::string bytes = ReadBytes(path_);
    pcm.samples.resize(bytes.size() / 2);
    std::memcpy(pcm.samples.data(), bytes.data(), pcm.samples.size() * 2);
    return pcm;
  }

 private:
  std::string path_;
  pid_t pid_ = -1;
  Clock::time_point started_;
};

constexpr size_t kWindow = 441;  // 10 ms

// Where, from `from` on, the recording first turns loud, or first turns quiet for at least
// 150 ms (a seek may leave a few milliseconds of silence before the new sound); npos if never.
size_t FindWindow(const Pcm& pcm, size_t from, bool loud) {
  const size_t quiet_span = 44100 * 150 / 1000;
  size_t quiet_since = std::string::npos;
  for (size_t w = from; w + kWindow <= pcm.samples.size(); w += kWindow / 4) {
    int peak = 0;
    for (size_t i = w; i < w + kWindow; ++i) peak = std::max(peak, std::abs(pcm.samples[i]));
    if (loud) {
      if (peak > 8000) return w;
    } else if (peak >= 300) {
      quiet_since = std::string::npos;
    } else {
      if (quiet_since == std::string::npos) quiet_since = w;
      if (w + kWindow - quiet_since >= quiet_span) return quiet_since;
    }
  }
  return std::string::npos;
}

// The first 10 ms window from `from` on whose tone is above `hz`.
size_t FindPitchAbove(const Pcm& pcm, size_t from, double hz) {
  for (size_t w = from; w + kWindow <= pcm.samples.size(); w += kWindow / 4) {
    if (ToneFrequency(pcm, w, w + kWindow) > hz) return w;
  }
  return std::string::npos;
}

double RootMeanSquare(const Pcm& pcm, size_t begin, size_t end) {
  double sum = 0;
  for (size_t i = begin; i < end; ++i) sum += static_cast<double>(pcm.samples[i]) * pcm.samples[i];
  return std::sqrt(sum / static_cast<double>(end - begin)) / 32768.0;
}

class PulseOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start()) << "could not start a private PulseAudio:\n" << server_.Log();
    env_.Set("VOREL_AUDIO", nullptr);  // the library chooses: the server answers
    env_.Set("PULSE_SERVER", server_.address().c_str());
    ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  }
  void TearDown() override { B().Free(); }

  PrivateSoundServer server_;
  ScopedEnv env_;
};

std::string TaggedToneMp3() {
  return MakeAudio("tagged.mp3", vorel::testing::SineSource(440, 2.0),
                   "-c:a libmp3lame -b:a 128k -metadata title=Morning_Tone");
}

// 440 Hz up to 4 s, then 1000 Hz to 8 s: the pitch tells which part of the file is heard.
std::string TwoPartMp3() {
#define VOREL_PART "0.9*sin(2*PI*if(lt(t\\,4)\\,440\\,1000)*t)"
  return MakeAudio("two_part.mp3", "aevalsrc=exprs=" VOREL_PART "|" VOREL_PART ":s=44100:d=8",
                   "-c:a libmp3lame -b:a 128k");
#undef VOREL_PART
}

TEST_F(PulseOutputTest, ASongIsHeardThroughTheServerUnderItsOwnName) {
  MonitorRecording recording(server_);
  HSTREAM h = B().StreamCreateFile(FALSE, TaggedToneMp3().c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string listed = server_.Pactl("list sink-inputs");
  EXPECT_NE(listed.find("media.name = \"Morning_Tone\""), std::string::npos) << listed;
  EXPECT_NE(listed.find("media.role = \"music\""), std::string::npos) << listed;
  EXPECT_NE(listed.find("application.name = \"Vorel\""), std::string::npos) << listed;
  EXPECT_NE(listed.find("application.icon_name = \"vorel\""), std::string::npos) << listed;
  // Played to its end, not cut short by what the server still held when the player took the
  // last frame.
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  const Pcm heard = recording.Finish();
  const size_t begin = FindWindow(heard, 0, true);
  ASSERT_NE(begin, std::string::npos) << "nothing heard";
  const size_t end = FindWindow(heard, begin, false);
  ASSERT_NE(end, std::string::npos);
  EXPECT_NEAR((end - begin) / 44100.0, 2.0, 0.05);
  EXPECT_NEAR(ToneFrequency(heard, begin, end), 440.0, 2.0);
  EXPECT_NEAR(RootMeanSquare(heard, begin + 4410, end - 4410), 0.45 / std::sqrt(2.0), 0.02);

  // The next song renames the stream; without a title tag it is named after its file.
  ASSERT_TRUE(B().StreamFree(h));
  h = B().StreamCreateFile(FALSE, ToneMp3(660, 2).c_str(), 0, 0, 0);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return server_.Pactl("list sink-inputs").find("media.name = \"tone660_2\"") !=
               std::string::npos;
      },
      2));
}

// Play, seek into the second part a second later, pause a second after that. The recording
// shows when each was heard; every figure is measured from the moment the sound started, which
// the server mixes in at once.
TEST_F(PulseOutputTest, APauseIsSilentAndASeekHeardAtOnce) {
  MonitorRecording recording(server_);
  HSTREAM h = B().StreamCreateFile(FALSE, TwoPartMp3().c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto played = Clock::now();
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 5.0), BASS_POS_BYTE));
  const double seeked = SecondsSince(played);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(B().ChannelPause(h));
  const double paused = SecondsSince(played);
  const double position = B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PAUSED);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Pcm heard = recording.Finish();

  const size_t start = FindWindow(heard, 0, true);
  ASSERT_NE(start, std::string::npos) << "nothing heard";
  const size_t jump = FindPitchAbove(heard, start, 700);
  ASSERT_NE(jump, std::string::npos) << "the seek was never heard";
  const size_t silence = FindWindow(heard, jump, false);
  ASSERT_NE(silence, std::string::npos) << "the pause was never heard";
  EXPECT_LE((jump - start) / 44100.0 - seeked, 0.1) << "seek heard late";
  EXPECT_LE((silence - start) / 44100.0 - paused, 0.05) << "pause heard late";
  // Nothing the server held comes through later, and the position is what was heard last.
  EXPECT_EQ(FindWindow(heard, silence, true), std::string::npos);
  EXPECT_NEAR(position, 5.0 + (silence - jump) / 44100.0, 0.05);
}

TEST_F(PulseOutputTest, TheSongGoesOnWhenTheServerComesBack) {
  HSTREAM h = B().StreamCreateFile(FALSE, ToneMp3(440, 10).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  server_.Kill();

  // Nothing can be heard: the song does not claim to play, and no new one opens.
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 1));
  const QWORD stalled_at = B().ChannelGetPosition(h, BASS_POS_BYTE);
  EXPECT_EQ(B().StreamCreateFile(FALSE, ToneMp3(440, 1).c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_DEVICE);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), stalled_at);

  // The server comes back first for the recorder alone: a null sink that has just started
  // renders its first two seconds in one block, and only once it plays in step does the
  // recording tell when the song is heard. Then the player's socket opens.
  ASSERT_TRUE(server_.Start(false)) << server_.Log();
  MonitorRecording recording(server_);
  ASSERT_TRUE(WaitUntil([&] { return recording.Recorded() >= 44100 * 5 / 2; }, 6));
  const size_t back_at = recording.Recorded();
  ASSERT_TRUE(server_.OpenPlayerSocket()) << server_.Log();
  const auto back = Clock::now();
  // Within 2 s the song plays on: its position moves again, and it is heard.
  EXPECT_TRUE(WaitUntil(
      [&] {
        return B().ChannelIsActive(h) == BASS_ACTIVE_PLAYING &&
               B().ChannelGetPosition(h, BASS_POS_BYTE) >
                   stalled_at + B().ChannelSeconds2Bytes(h, 0.2);
      },
      2.0))
      << "after " << SecondsSince(back) << " s";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Pcm heard = recording.Finish();
  const size_t start = FindWindow(heard, back_at, true);
  ASSERT_NE(start, std::string::npos) << "the song never went on";
  EXPECT_LE((start - back_at) / 44100.0, 2.0) << "heard again late";
  EXPECT_NEAR(ToneFrequency(heard, start, start + 44100), 440.0, 2.0);
  // Only the song's own sound, from where it stood: no burst of what the old server held.
  EXPECT_NEAR(B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE)),
              B().ChannelBytes2Seconds(h, stalled_at) + (heard.samples.size() - start) / 44100.0,
              0.3);
  EXPECT_NE(B().StreamCreateFile(FALSE, ToneMp3(440, 1).c_str(), 0, 0, 0), 0u);
}

TEST(PulseOutputChoiceTest, WithoutAServerSdlPlays) {
  const std::string raw = TempDir() + "/no_server.raw";
  ScopedEnv env;
  env.UseSdlDiskDriver(raw, nullptr);
  env.Set("PULSE_SERVER", ("unix:" + TempDir() + "/no-sound-server").c_str());
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  HSTREAM h = B().StreamCreateFile(FALSE, ToneWav(440, 0.5).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  B().Free();
  EXPECT_GT(ReadBytes(raw).size(), 44100u * 8 / 4) << "SDL's disk driver heard nothing";

  // Asked for the server alone, with none there: no device.
  env.Set("VOREL_AUDIO", "pulse");
  EXPECT_FALSE(B().Init(-1, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_DEVICE);
}

}  // namespace
}  // namespace vorel::audio_test
