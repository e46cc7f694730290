#ifndef VOREL_TESTS_PLAYER_FLOW_FLOW_FIXTURE_H_
#define VOREL_TESTS_PLAYER_FLOW_FLOW_FIXTURE_H_

// Loads the real main window with the real routine table in a fresh working folder, and offers
// the actions a person takes: clicking controls, letting timers tick, adding rows.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/features.h"
#include "app/window_set.h"
#include "player/audio.h"
#include "player/player.h"
#include "player/testing.h"
#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/testing.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"
#include "tests/testing/tone.h"
#include "windows/window_ids.h"

namespace vorel::flow {

namespace fs = std::filesystem;
using namespace runtime::literals;
using runtime::Text;

// A stereo sine tone of `seconds` as an MP3 file, made with ffmpeg once and kept for the next
// test process (each test runs in a process of its own); false when that failed.
inline bool MakeTone(const fs::path& path, int seconds, int hz = 440) {
  return vorel::testing::MakeAudioFile(
      path.string(),
      "sine=frequency=" + std::to_string(hz) + ":duration=" + std::to_string(seconds),
      "-ac 2 -ar 44100 -b:a 64k");
}

// Answers a modal window from another thread, as a person would click in it.
inline void ClickWhenLoaded(runtime::WindowId window, runtime::ControlId button) {
  runtime::StartThread([window, button] {
    for (int i = 0; i < 500 && !runtime::IsWindowLoaded(window); ++i) runtime::Delay(10);
    runtime::RaiseEvent(window, button, runtime::kEventClicked);
  });
}

class FlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    songs_ = fs::temp_directory_path() / "vorel-test-songs-1";
    fs::create_directories(songs_);
    ASSERT_TRUE(MakeTone(songs_ / "short1.mp3", 1, 440));
    ASSERT_TRUE(MakeTone(songs_ / "short2.mp3", 1, 660));
    ASSERT_TRUE(MakeTone(songs_ / "long.mp3", 225, 330));
  }

  void SetUp() override {
    // A death test's child works in the folder its parent names, so the parent can look at
    // what the child left behind.
    const char* inherited = std::getenv("VOREL_FLOW_WORK");
    work_ = inherited ? fs::path(inherited)
                      : fs::temp_directory_path() /
                            ("vorel_flow_" + std::to_string(::getpid()) + "_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_);
    runtime::ResetWindows();
    features_ = std::make_unique<app::Features>();
    runtime::SetRoutineTable(app::BuildRoutineTable(*features_));
    runtime::InitRuntime(app::WindowTemplateBytes());
    // The data folder of this test: the play list file is read and written here.
    ASSERT_EQ(::chdir(work_.c_str()), 0);
    runtime::LoadStartWindow(ids::kMainWindow);
  }

  void TearDown() override {
    player().StopPlayback();
    runtime::ResetWindows();
    // A song may still open on a worker (cancelled, but loading the decoding libraries or
    // waiting on a server that is gone). Ending the process beside it would run the exit
    // handlers, which unload libraries, beside that worker's own loading of them.
    player::WaitForOpenWorkers(player(), 15000);
    fs::remove_all(work_);
  }

  static Text PathText(const fs::path& p) { return runtime::TextFromUtf8(p.string()); }

  int AddLocalRow(const fs::path& song, const Text& title) {
    int row = runtime::InsertRow(ids::kMainWindow, ids::kPlayList, std::nullopt, "本地文件"_t);
    runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 1, PathText(song));
    runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 2, title);
    return row;
  }

  // Rows titled "0", "1", ... all playing the long song.
  void AddLongRows(int n) {
    for (int i = 0; i < n; ++i) AddLocalRow(songs_ / "long.mp3", std::to_string(i));
  }

  void Click(runtime::ControlId control, runtime::WindowId window = ids::kMainWindow) {
    runtime::RaiseEvent(window, control, runtime::kEventClicked);
  }
  void StatusTick() { Click(ids::kStatusTimer); }
  // Clicks the close button and, once the modal exit confirmation is open, its `button`.
  void AnswerExitDialog(runtime::ControlId button) {
    ClickWhenLoaded(ids::kExitDialog, button);
    Click(ids::kCloseButton);
  }

  Text Caption() {
    return runtime::ReadTextProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropCaption);
  }
  Text ButtonCaption() {
    return runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayPauseButton, ids::kPropCaption);
  }
  Text TimeLabel() {
    return runtime::ReadTextProperty(ids::kMainWindow, ids::kTimeLabel, ids::kPropCaption);
  }
  int Selected() {
    return runtime::ReadIntProperty(ids::kMainWindow, ids::kPlayList, ids::kPropSelectedRow);
  }
  void Select(int row) {
    runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropSelectedRow, row);
  }
  std::uint32_t StreamState() {
    return player::audio::ChannelIsActive(player().State().current_stream);
  }
  // Processes events until the current stream has stopped (a song ran to its end).
  bool WaitForSongEnd(int timeout_ms = 5000) {
    return runtime::WaitProcessingEvents([&] { return StreamState() == player::audio::kStopped; },
                                         timeout_ms);
  }
  // Stops the status timer ticking on its own, so a test decides when a tick happens.
  void HoldTimers() {
    runtime::WriteProperty(ids::kMainWindow, ids::kStatusTimer, ids::kPropInterval, 0);
    runtime::WriteProperty(ids::kMainWindow, ids::kLyricsTimer, ids::kPropInterval, 0);
    runtime::WriteProperty(ids::kMainWindow, ids::kSpectrumTimer, ids::kPropInterval, 0);
  }

  // This test's feature objects, made afresh for each test.
  app::Features& features() { return *features_; }
  player::Player& player() { return features_->player(); }
  playlist::Playlist& playlist() { return features_->playlist(); }

  static inline fs::path songs_;
  fs::path work_;
  std::unique_ptr<app::Features> features_;
};

}  // namespace vorel::flow

#endif  // VOREL_TESTS_PLAYER_FLOW_FLOW_FIXTURE_H_
