// How long the window cannot react while network work waits on servers that never answer: the
// main window shown (offscreen, or on a display under Xvfb, see run.sh), then three actions a
// person takes, each against a loopback server that accepts the connection and sends nothing:
//
//   resolve      "解析" clicked, the sound service never sends the record
//   stream open  a network row double-clicked, its server never sends the stream
//   cover fetch  a network row double-clicked, its stream plays, its cover never comes
//
// and, for comparison, a local file's open, which stays on the user-interface thread:
//
//   local open   a local row double-clicked (a 30 s MP3 file)
//
//   wait_bench [seconds]      (default 3 seconds watched per action)
//
// Per action: how long the click's handler took to return, and the longest lateness of a 10 ms
// timer on the user-interface thread over the seconds watched (how long the window could not
// paint or take input). Each action is cancelled afterwards, as "取消" does.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/features.h"
#include "app/window_set.h"
#include "bench/stall_watch.h"
#include "player/audio.h"
#include "player/player.h"
#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/latest_work.h"
#include "runtime/testing.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "search/sound_link.h"
#include "tests/testing/loopback_server.h"
#include "tests/testing/process.h"
#include "tests/testing/tone.h"
#include "ui/qt/qt_ui.h"
#include "windows/window_ids.h"

namespace fs = std::filesystem;
using namespace vorel;
using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

namespace {

struct Result {
  double handler_ms = 0;
  double stall_ms = 0;
};

// Runs `action` (a click) with a 10 ms timer measuring its own lateness, then keeps the event
// loop running for `seconds` more.
Result Watch(const std::function<void()>& action, int seconds) {
  bench::StallWatch watch;
  Result r;
  QElapsedTimer clock;
  clock.start();
  action();
  r.handler_ms = clock.nsecsElapsed() / 1e6;
  while (clock.elapsed() < seconds * 1000) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  r.stall_ms = watch.LongestMs();
  return r;
}

int AddNetworkRow(const std::string& address, const std::string& cover) {
  return playlist::AppendEntry({.kind = playlist::EntryKind::kNetworkFile,
                                .location = runtime::TextFromUtf8(address),
                                .title = "bench",
                                .cover = runtime::TextFromUtf8(cover)});
}

void DoubleClickRow(int row) {
  runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropSelectedRow, row);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayList, runtime::kEventLeftDoubleClick);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);

  fs::path work = fs::temp_directory_path() / ("vorel_wait_bench_" + std::to_string(::getpid()));
  fs::create_directories(work);
  const std::string tone = (work / "tone.mp3").string();
  if (!vorel::testing::MakeAudioFile(tone, "sine=frequency=440:duration=30",
                                     "-ac 2 -ar 44100 -b:a 64k")) {
    std::fprintf(stderr, "wait_bench: ffmpeg could not make the tone\n");
    return 1;
  }
  const std::string song = vorel::testing::ReadWholeFile(tone);
  // Every request stalls, except the stream of the cover action, which is served.
  LoopbackServer server([&](const Request& r) {
    if (r.target == "/served.mp3") {
      return LoopbackServer::Simple(song, {"Content-Type: audio/mpeg"});
    }
    return Reply().Stall();
  });
  setenv("VOREL_SOUND_API_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);

  qt::UiSession session(argc, argv);
  app::Features features;
  runtime::SetRoutineTable(app::BuildRoutineTable(features));
  runtime::InitRuntime(app::WindowTemplateBytes());
  if (::chdir(work.c_str()) != 0) return 1;
  runtime::LoadStartWindow(ids::kMainWindow);
  runtime::Delay(300);

  Result resolve = Watch(
      [] {
        runtime::WriteProperty(ids::kMainWindow, ids::kAddressBox, ids::kPropCaption,
                               "http://sound.example/sound/1");
        runtime::RaiseEvent(ids::kMainWindow, ids::kResolveButton, runtime::kEventClicked);
      },
      seconds);
  features.sound_link().CancelResolve();

  const int silent = AddNetworkRow(server.Url("/never.mp3"), "");
  Result open = Watch([&] { DoubleClickRow(silent); }, seconds);
  features.player().CancelOpen();

  const int covered = AddNetworkRow(server.Url("/served.mp3"), server.Url("/never.png"));
  Result cover = Watch([&] { DoubleClickRow(covered); }, seconds);
  // The cover action measures only if its stream did open and the cover is what still waits.
  const bool cover_waited =
      features.player().OpenPending() &&
      player::audio::ChannelIsActive(features.player().State().current_stream) ==
          player::audio::kPlaying;
  features.player().StopPlayback();

  const int local = playlist::AppendEntry({.kind = playlist::EntryKind::kLocalFile,
                                           .location = runtime::TextFromUtf8(tone),
                                           .title = {},
                                           .cover = {}});
  Result file = Watch([&] { DoubleClickRow(local); }, 1);
  features.player().StopPlayback();

  std::printf("servers that never answer; %d s watched per action; platform %s\n", seconds,
              QApplication::platformName().toUtf8().constData());
  std::printf("%-12s %16s %14s\n", "action", "handler returned", "longest stall");
  auto row = [](const char* name, const Result& r) {
    std::printf("%-12s %13.1f ms %11.1f ms\n", name, r.handler_ms, r.stall_ms);
  };
  row("resolve", resolve);
  row("stream open", open);
  row("cover fetch", cover);
  row("local open", file);
  if (!cover_waited) std::printf("(the cover action's stream did not play: its row is void)\n");
  std::fflush(stdout);
  runtime::ResetWindows();
  fs::remove_all(work);
  // The abandoned workers end by their own time-outs; nothing waits for them.
  _exit(0);
}
