#include "runtime/files.h"
#include "tests/player_flow/flow_fixture.h"

namespace vorel::flow {
namespace {

using ShellFlowTest = FlowTest;

int Top(runtime::ControlId c) {
  return runtime::ReadIntProperty(ids::kMainWindow, c, ids::kPropTop);
}
void SetTop(runtime::ControlId c, int top) {
  runtime::WriteProperty(ids::kMainWindow, c, ids::kPropTop, top);
}

TEST_F(ShellFlowTest, ListToggleWidensAndNarrowsTheWindow) {
  Click(ids::kPlayListToggle);
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth), 690);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayListToggle, ids::kPropCaption),
            "收起列表"_t);
  EXPECT_EQ(Top(ids::kPlayListPanel), 0);  // at neither slide position: it does not move
  Click(ids::kPlayListToggle);
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth), 448);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayListToggle, ids::kPropCaption),
            "打开列表"_t);
}

TEST_F(ShellFlowTest, PanelsSlideBetweenTheirTwoPositions) {
  EXPECT_EQ(Top(ids::kSearchPanel), 200);
  Click(ids::kSearchCollapse);
  EXPECT_EQ(Top(ids::kSearchPanel), 200);
  SetTop(ids::kSearchPanel, 17);
  Click(ids::kSearchCollapse);  // nothing plays: pixel by pixel, ending above the window
  EXPECT_EQ(Top(ids::kSearchPanel), -272);
  Click(ids::kSearchCollapse);
  EXPECT_EQ(Top(ids::kSearchPanel), 17);

  AddLocalRow(songs_ / "long.mp3", "a"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  SetTop(ids::kPlayListPanel, 17);
  Click(ids::kPlayListTitle);  // while a song plays the panel jumps at once
  EXPECT_EQ(Top(ids::kPlayListPanel), -272);
}

TEST_F(ShellFlowTest, TogglesAndTheSearchBoxPlaceholder) {
  Click(ids::kPlayModeButton);
  EXPECT_TRUE(runtime::ReadIntProperty(ids::kMainWindow, ids::kModeChooser, ids::kPropVisible));
  Click(ids::kPlayModeButton);
  EXPECT_FALSE(runtime::ReadIntProperty(ids::kMainWindow, ids::kModeChooser, ids::kPropVisible));
  Click(ids::kVolumeButton);
  EXPECT_FALSE(runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumePanel, ids::kPropVisible));
  Click(ids::kVolumeButton);
  EXPECT_TRUE(runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumePanel, ids::kPropVisible));

  runtime::RaiseEvent(ids::kMainWindow, ids::kSearchBox, runtime::kEventGotFocus);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption), "");
  runtime::WriteProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption, "周杰伦"_t);
  runtime::RaiseEvent(ids::kMainWindow, ids::kSearchBox, runtime::kEventLostFocus);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption),
            "提供一点点的搜索服务，功能不咋滴"_t);
}

TEST_F(ShellFlowTest, HidingWithoutATrayKeepsTheWindowReachable) {
  // The offscreen desktop has no tray: the window is minimised, never hidden for good.
  Click(ids::kHideButton);
  EXPECT_TRUE(runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropVisible));
  runtime::RaiseEvent(ids::kMainWindow, ids::kMainWindowSelf, runtime::kEventTrayIcon, {1});
  EXPECT_TRUE(runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropVisible));
}

TEST_F(ShellFlowTest, ExitDialogCloseSavesAndCancelDoesNot) {
  AddLocalRow("/a.mp3", "a"_t);
  AnswerExitDialog(ids::kExitCancel);
  EXPECT_FALSE(fs::exists(work_ / "播放列表.txt"));
  AnswerExitDialog(ids::kExitClose);
  EXPECT_TRUE(fs::exists(work_ / "播放列表.txt"));
  EXPECT_TRUE(runtime::IsWindowLoaded(ids::kMainWindow));
}

TEST_F(ShellFlowTest, ConfirmedExitSavesSlidesAwayAndEndsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("VOREL_FLOW_WORK", work_.c_str(), 1);
  EXPECT_EXIT(
      {
        AddLocalRow(songs_ / "long.mp3", "留下"_t);
        Click(ids::kPlayPauseButton);
        AnswerExitDialog(ids::kExitConfirm);
        runtime::WaitProcessingEvents([] { return false; }, 10000);
        std::_Exit(7);  // never reached when the program ends by itself
      },
      ::testing::ExitedWithCode(0), "");
  ::unsetenv("VOREL_FLOW_WORK");
  // The confirm button saved the list before the window slid away.
  runtime::Bytes saved = runtime::ReadWholeFile(PathText(work_ / "播放列表.txt"));
  Text text(saved.begin(), saved.end());
  EXPECT_NE(text.find("留下"_t), Text::npos);
}

}  // namespace
}  // namespace vorel::flow
