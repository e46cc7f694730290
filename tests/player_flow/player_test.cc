#include <cstdio>
#include <fstream>
#include <memory>

#include "ui/qt/testing.h"

#include "runtime/latest_work.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/loopback_server.h"
#include "tests/testing/process.h"

namespace vorel::flow {
namespace {

using PlayerFlowTest = FlowTest;

// A server that holds `song`'s bytes back until the test releases it.
std::unique_ptr<vorel::testing::LoopbackServer> HeldSongServer(const fs::path& song) {
  const std::string bytes = vorel::testing::ReadWholeFile(song.string());
  return std::make_unique<vorel::testing::LoopbackServer>([bytes](const vorel::testing::Request&) {
    return vorel::testing::Reply().Hold().Send(
        vorel::testing::HeaderText("HTTP/1.1 200 OK",
                                   {"Content-Length: " + std::to_string(bytes.size())}) +
        bytes);
  });
}

// A network row playing `address`, titled `title`; its index.
int AddNetworkRow(const std::string& address, const runtime::Text& title) {
  int row = runtime::InsertRow(ids::kMainWindow, ids::kPlayList, std::nullopt, "网络文件"_t);
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 1, runtime::TextFromUtf8(address));
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 2, title);
  return row;
}

TEST_F(PlayerFlowTest, StartUpNarrowsTheWindowAndShowsTheDefaultCover) {
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth), 448);
  EXPECT_FALSE(
      runtime::ReadBytesProperty(ids::kMainWindow, ids::kCoverPicture, ids::kPropPicture).empty());
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayModeButton, ids::kPropCaption),
            "全部播放"_t);
}

TEST_F(PlayerFlowTest, PlayOnAnEmptyListOnlyChangesTheCaption) {
  Click(ids::kPlayPauseButton);
  EXPECT_EQ(Caption(), "播放列表里没有文件，请添加。"_t);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayPauseButton, ids::kPropCaption),
            "播放"_t);
  EXPECT_EQ(player().State().current_stream, 0u);
}

TEST_F(PlayerFlowTest, TimeLabelHoldsTheVolumeForFourTicksThenShowsTotalAndElapsed) {
  AddLocalRow(songs_ / "long.mp3", "长歌"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(player().State().total_seconds, 225);
  EXPECT_EQ(Caption(), "长歌"_t);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayPauseButton, ids::kPropCaption),
            "暂停"_t);
  runtime::WriteProperty(ids::kMainWindow, ids::kPositionSlider, ids::kPropPosition, 62);
  Click(ids::kPositionSlider);  // the user let go of the slider at 62 s
  for (int i = 0; i < 4; ++i) {
    StatusTick();
    EXPECT_EQ(TimeLabel(), "当前音量：100%"_t) << "tick " << i + 1;
  }
  StatusTick();
  EXPECT_EQ(TimeLabel(), "03:45/01:02"_t);
  EXPECT_EQ(Caption(), "歌曲名："_t + "长歌"_t);
}

TEST_F(PlayerFlowTest, PauseAndResumeKeepThePosition) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::WriteProperty(ids::kMainWindow, ids::kPositionSlider, ids::kPropPosition, 100);
  Click(ids::kPositionSlider);
  Click(ids::kPlayPauseButton);  // pause
  EXPECT_EQ(StreamState(), player::audio::kPaused);
  StatusTick();
  EXPECT_EQ(Caption(), "状态：暂停"_t);
  double at = player::audio::ChannelBytes2Seconds(
      player().State().current_stream,
      player::audio::ChannelGetPosition(player().State().current_stream));
  EXPECT_NEAR(at, 100, 0.3);
  Click(ids::kPlayPauseButton);  // resume: the same stream goes on
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_FALSE(player().State().needs_open);
}

TEST_F(PlayerFlowTest, MuteKeepsTheVolumeAndRestoresIt) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::WriteProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition, 40);
  Click(ids::kVolumeBar);
  EXPECT_EQ(TimeLabel(), "当前音量：40%"_t);
  runtime::WriteProperty(ids::kMainWindow, ids::kMuteBox, ids::kPropChecked, true);
  Click(ids::kMuteBox);
  EXPECT_EQ(Caption(), "静音：开启"_t);
  float volume = -1;
  player::audio::ChannelGetVolume(player().State().current_stream, &volume);
  EXPECT_FLOAT_EQ(volume, 0.0f);
  runtime::WriteProperty(ids::kMainWindow, ids::kMuteBox, ids::kPropChecked, false);
  Click(ids::kMuteBox);
  EXPECT_EQ(Caption(), "静音：关闭"_t);
  player::audio::ChannelGetVolume(player().State().current_stream, &volume);
  EXPECT_NEAR(volume, 0.4f, 1e-6);
}

TEST_F(PlayerFlowTest, SongThatWillNotOpenIsReportedAndSkipped) {
  std::ofstream(work_ / "broken.mp3") << "not a song";
  AddLocalRow(work_ / "broken.mp3", "坏"_t);
  AddLocalRow(songs_ / "long.mp3", "好"_t);
  Select(0);
  ::testing::internal::CaptureStderr();
  Click(ids::kPlayPauseButton);
  std::string said = ::testing::internal::GetCapturedStderr();
  HoldTimers();
  EXPECT_NE(said.find("打开失败！"), std::string::npos) << said;
  EXPECT_EQ(player().State().current_stream, 0u);
  StatusTick();  // stopped: the play mode goes on to the next row
  EXPECT_EQ(player().State().current_entry_index, 1);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
}

TEST_F(PlayerFlowTest, NextAndPreviousWrapAround) {
  AddLongRows(3);
  Select(2);
  Click(ids::kPlayPauseButton);
  Click(ids::kNextButton);
  HoldTimers();
  EXPECT_EQ(player().State().current_entry_index, 0);
  EXPECT_EQ(Caption(), "0"_t);
  // Started by next, the button still reads "播放".
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayPauseButton, ids::kPropCaption),
            "播放"_t);
  Click(ids::kPreviousButton);
  HoldTimers();
  EXPECT_EQ(player().State().current_entry_index, 2);
  Click(ids::kNextButton);
  Click(ids::kNextButton);
  HoldTimers();
  EXPECT_EQ(player().State().current_entry_index, 1);
}

TEST_F(PlayerFlowTest, PlayAllStopsAfterTheLastRowAndLoopAllWraps) {
  AddLocalRow(songs_ / "short1.mp3", "一"_t);
  AddLocalRow(songs_ / "short2.mp3", "二"_t);
  Select(1);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_TRUE(WaitForSongEnd());
  StatusTick();
  EXPECT_EQ(Caption(), "状态：停止"_t);
  EXPECT_EQ(StreamState(), player::audio::kStopped);

  Click(ids::kModeLoopAll);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayModeButton, ids::kPropCaption),
            "全部循环"_t);
  EXPECT_FALSE(runtime::ReadIntProperty(ids::kMainWindow, ids::kModeChooser, ids::kPropVisible));
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_TRUE(WaitForSongEnd());
  StatusTick();
  HoldTimers();
  EXPECT_EQ(player().State().current_entry_index, 0);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
}

TEST_F(PlayerFlowTest, SinglePlayStopsAndSingleLoopPlaysTheSelectedRowAgain) {
  AddLocalRow(songs_ / "short1.mp3", "一"_t);
  AddLocalRow(songs_ / "short2.mp3", "二"_t);
  Click(ids::kModeSinglePlay);
  Select(0);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_TRUE(WaitForSongEnd());
  StatusTick();
  EXPECT_EQ(StreamState(), player::audio::kStopped);

  Click(ids::kModeSingleLoop);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  Select(1);  // chosen while the song plays: the loop takes the selected row
  ASSERT_TRUE(WaitForSongEnd());
  StatusTick();
  HoldTimers();
  EXPECT_EQ(player().State().current_entry_index, 1);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
}

TEST_F(PlayerFlowTest, DeleteWhilePlayingRemovesTheSelectedRowAndKeepsTheTitleRight) {
  AddLongRows(3);
  Select(0);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  Click(ids::kDeleteButton);
  HoldTimers();
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 2);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "1"_t);
  // Row "1" plays, now at index 0.
  EXPECT_EQ(player().State().current_entry_index, 0);
  EXPECT_EQ(Caption(), "歌曲已删除！"_t);
}

TEST_F(PlayerFlowTest, SpectrumDrawsWhilePlaying) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::Delay(300);  // let the silent output clock some sound through
  float bands[128] = {};
  ASSERT_TRUE(player::audio::ChannelGetSpectrum(player().State().current_stream, bands));
  Click(ids::kSpectrumTimer);  // draws without failing; the picture is checked by eye
  float peak = 0;
  int at = 0;
  for (int i = 0; i < 128; ++i) {
    if (bands[i] > peak) peak = bands[i], at = i;
  }
  // 330 Hz at 44.1 kHz in a 256-point transform lies in band 1 or 2.
  EXPECT_GT(peak, 0.05f);
  EXPECT_LE(at, 3);
}

TEST_F(PlayerFlowTest, UnmutingAfterMutingWithNothingPlayingPlaysAtTheBarsVolume) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  runtime::WriteProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition, 60);
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kMuteBox));  // nothing plays yet
  EXPECT_EQ(Caption(), "静音：开启"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kMuteBox));
  EXPECT_EQ(Caption(), "静音：关闭"_t);
  float volume = -1;
  ASSERT_TRUE(player::audio::ChannelGetVolume(player().State().current_stream, &volume));
  EXPECT_NEAR(volume, 0.6f, 1e-6);
}

TEST_F(PlayerFlowTest, DeletingAnotherRowLeavesThePlayingSongAndTheButtonAlone) {
  AddLongRows(4);
  Select(2);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  const auto stream = player().State().current_stream;
  ASSERT_EQ(ButtonCaption(), "暂停"_t);

  Select(3);  // below the playing row
  Click(ids::kDeleteButton);
  Select(0);  // above it: the playing row moves up
  Click(ids::kDeleteButton);
  HoldTimers();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 2);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "1"_t);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 1, 2), "2"_t);
  EXPECT_EQ(player().State().current_entry_index, 1);
  EXPECT_EQ(Selected(), 1);
  EXPECT_EQ(player().State().current_stream, stream);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(ButtonCaption(), "暂停"_t);
  StatusTick();
  EXPECT_EQ(Caption(), "歌曲名：2"_t);

  // Deleting the playing row itself moves on to the next song, which plays on likewise.
  Click(ids::kDeleteButton);
  HoldTimers();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "1"_t);
  EXPECT_EQ(player().State().current_entry_index, 0);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(ButtonCaption(), "暂停"_t);

  Click(ids::kDeleteButton);  // the last row: playback stops with it
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 0);
  EXPECT_EQ(StreamState(), player::audio::kStopped);
  EXPECT_EQ(ButtonCaption(), "播放"_t);
}

TEST_F(PlayerFlowTest, AFailedOpenLeavesTheButtonReadyToPlay) {
  std::ofstream(work_ / "broken.mp3") << "not a song";
  AddLocalRow(work_ / "broken.mp3", "坏"_t);
  ::testing::internal::CaptureStderr();  // the message box of the failed open
  Click(ids::kPlayPauseButton);
  ::testing::internal::GetCapturedStderr();
  HoldTimers();
  EXPECT_EQ(player().State().current_stream, 0u);
  EXPECT_EQ(ButtonCaption(), "播放"_t);
}

TEST_F(PlayerFlowTest, SpectrumRestsWhileTheWindowIsInTheTray) {
  const int h = runtime::ReadIntProperty(ids::kMainWindow, ids::kSpectrumCanvas, ids::kPropHeight);
  auto bar_shown = [&] {
    return qt::PixelOf(ids::kMainWindow, ids::kSpectrumCanvas, 2, h - 1) == 0x00E080;
  };
  AddLocalRow(songs_ / "long.mp3", "长"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::Delay(200);
  Click(ids::kSpectrumTimer);
  ASSERT_TRUE(bar_shown());

  // Hidden to the tray (what the hide button does on a desktop with a tray): the ticks go on,
  // the panel is left alone.
  runtime::WriteProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropVisible, false);
  runtime::ClearDrawing(ids::kMainWindow, ids::kSpectrumCanvas);
  Click(ids::kSpectrumTimer);
  EXPECT_FALSE(bar_shown());

  // Shown again from the tray icon: the next tick draws.
  runtime::RaiseEvent(ids::kMainWindow, ids::kMainWindowSelf, runtime::kEventTrayIcon, {1});
  Click(ids::kSpectrumTimer);
  EXPECT_TRUE(bar_shown());
}

TEST_F(PlayerFlowTest, SpectrumIsEmptyAfterTheSongEndsAndAfterAClear) {
  const int h = runtime::ReadIntProperty(ids::kMainWindow, ids::kSpectrumCanvas, ids::kPropHeight);
  // The first bar stands on the panel's bottom row from x = 1 to 4 whenever it is drawn.
  auto bar_shown = [&] {
    return qt::PixelOf(ids::kMainWindow, ids::kSpectrumCanvas, 2, h - 1) == 0x00E080;
  };
  AddLocalRow(songs_ / "short1.mp3", "一"_t);
  AddLocalRow(songs_ / "long.mp3", "长"_t);
  Click(ids::kModeSinglePlay);
  Select(0);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::Delay(200);
  Click(ids::kSpectrumTimer);
  ASSERT_TRUE(bar_shown());
  ASSERT_TRUE(WaitForSongEnd());
  StatusTick();  // the song ended: the player stops
  EXPECT_FALSE(bar_shown());

  Select(1);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  runtime::Delay(200);
  Click(ids::kSpectrumTimer);
  ASSERT_TRUE(bar_shown());
  ClickWhenLoaded(ids::kClearDialog, ids::kClearConfirm);
  Click(ids::kClearButton);
  EXPECT_FALSE(bar_shown());
}

TEST_F(PlayerFlowTest, AMissingFileIsNamedAndItsRowStays) {
  const fs::path gone = work_ / "已删除的歌.mp3";
  AddLocalRow(gone, "走了"_t);
  ::testing::internal::CaptureStderr();  // the message box
  Click(ids::kPlayPauseButton);
  const std::string said = ::testing::internal::GetCapturedStderr();
  HoldTimers();
  EXPECT_NE(said.find("找不到文件：" + gone.string()), std::string::npos) << said;
  EXPECT_EQ(said.find("打开失败！"), std::string::npos) << said;
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(player().State().current_stream, 0u);
}

// The audio library finds no output at start-up: an SDL driver that does not exist, and no
// sound server to reach.
class NoSoundDeviceTest : public FlowTest {
 protected:
  void SetUp() override {
    unsetenv("VOREL_AUDIO");
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/vorel-test", 1);
    FlowTest::SetUp();
  }
  void TearDown() override {
    FlowTest::TearDown();
    setenv("VOREL_AUDIO", "null", 1);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("PULSE_SERVER");
  }
};

TEST_F(NoSoundDeviceTest, PlayingSaysThatThereIsNoSoundDevice) {
  // A child of its own starts the program afresh, so the library is initialised in it for the
  // first time, without a device.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Once said, playback stays stopped: the play mode does not go through every row saying it.
  EXPECT_EXIT(
      {
        AddLocalRow(songs_ / "short1.mp3", "好"_t);
        AddLocalRow(songs_ / "short2.mp3", "也好"_t);
        Click(ids::kPlayPauseButton);
        std::fflush(stderr);
        const bool stopped = player().State().current_stream == 0 &&
                             runtime::ReadIntProperty(ids::kMainWindow, ids::kStatusTimer,
                                                      ids::kPropInterval) == 0 &&
                             Caption() == "无法播放：没有声音设备"_t && ButtonCaption() == "播放"_t;
        _exit(stopped ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "没有可用的声音设备");
}

TEST_F(PlayerFlowTest, ANetworkSongOpensWhileTheWindowGoesOnAndANewerChoiceWins) {
  // The server holds the stream back until the test lets it go.
  auto held = HeldSongServer(songs_ / "long.mp3");
  vorel::testing::LoopbackServer& server = *held;
  AddNetworkRow(server.Url("/held.mp3"), "网"_t);
  AddLocalRow(songs_ / "long.mp3", "本地"_t);

  Select(0);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayList, runtime::kEventLeftDoubleClick);
  // The double-click has returned while the server still holds the stream.
  EXPECT_EQ(Caption(), "正在打开：网"_t);
  EXPECT_TRUE(player().OpenPending());
  ASSERT_TRUE(server.WaitForConnections(1, 5000));

  // The person picks another song meanwhile: it plays, and the held stream never does.
  Select(1);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayList, runtime::kEventLeftDoubleClick);
  HoldTimers();
  EXPECT_FALSE(player().OpenPending());
  server.Release();
  ASSERT_TRUE(player::WaitForOpenWorkers(player(), 20000));
  EXPECT_EQ(player().State().current_entry_index, 1);
  EXPECT_EQ(Caption(), "本地"_t);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
}

TEST_F(PlayerFlowTest, AfterAFailedSongTheNextOneStillOpeningIsNotCalledInvalid) {
  std::ofstream(work_ / "broken.mp3") << "not a song";
  AddLocalRow(work_ / "broken.mp3", "坏"_t);
  auto held = HeldSongServer(songs_ / "short1.mp3");
  vorel::testing::LoopbackServer& server = *held;
  AddNetworkRow(server.Url("/next.mp3"), "二"_t);
  Select(0);
  ::testing::internal::CaptureStderr();  // the failed open's message box
  Click(ids::kPlayPauseButton);
  ::testing::internal::GetCapturedStderr();
  HoldTimers();
  StatusTick();  // the broken song "ended": "全部播放" goes on to the network row
  EXPECT_EQ(player().State().current_entry_index, 1);
  EXPECT_EQ(Caption(), "正在打开：二"_t);
  server.Release();
  ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(Caption(), "二"_t);
  EXPECT_EQ(ButtonCaption(), "暂停"_t);
}

}  // namespace
}  // namespace vorel::flow
