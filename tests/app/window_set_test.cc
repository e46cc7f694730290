// The real window set loaded offscreen: control counts, property rules, events and windows.

#include <gtest/gtest.h>

#include <atomic>

#include "runtime/bridge.h"
#include "runtime/testing.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"
#include "tests/app/window_test_util.h"
#include "ui/qt/testing.h"
#include "windows/window_ids.h"

namespace vorel {
namespace {

using namespace runtime::literals;
using runtime::ReadIntProperty;
using runtime::WriteProperty;
using testing_util::Counter;
using testing_util::UseRoutines;

class WindowSetTest : public ::testing::Test {
 protected:
  void TearDown() override { runtime::ResetWindows(); }
};

TEST_F(WindowSetTest, EachWindowLoadsAllItsControls) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  EXPECT_EQ(runtime::LoadedControlCount(ids::kMainWindow), 56);
  ASSERT_TRUE(runtime::LoadWindow(ids::kExitDialog));
  EXPECT_EQ(runtime::LoadedControlCount(ids::kExitDialog), 7);
  ASSERT_TRUE(runtime::LoadWindow(ids::kClearDialog));
  EXPECT_EQ(runtime::LoadedControlCount(ids::kClearDialog), 7);
  EXPECT_FALSE(runtime::LoadWindow(0x52019999));
}

TEST_F(WindowSetTest, CreatedEventRunsOnceAfterTheControlsExist) {
  int controls_at_created = -1;
  int created = 0;
  UseRoutines({{"OnMainWindowCreated", [&](const runtime::EventArgs&) -> runtime::EventResult {
                  ++created;
                  controls_at_created = runtime::LoadedControlCount(ids::kMainWindow);
                  // Part of what the created handler does in the program: narrow the window.
                  WriteProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth, 448);
                  return std::nullopt;
                }}});
  runtime::LoadStartWindow(ids::kMainWindow);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(controls_at_created, 56);
  EXPECT_EQ(ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth), 448);
}

TEST_F(WindowSetTest, WidthAndHeightAreClampedWhenWritten) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  WriteProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropWidth, 40000);
  EXPECT_EQ(ReadIntProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropWidth), 32627);
  WriteProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropWidth, -5);
  EXPECT_EQ(ReadIntProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropWidth), 0);
  WriteProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropHeight, 99999);
  EXPECT_EQ(ReadIntProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropHeight), 32627);
}

TEST_F(WindowSetTest, MainWindowOwnIdServesGeometryAndVisibility) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  const auto self = ids::kMainWindowSelf;
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropWidth), 680);
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropHeight), 192);
  EXPECT_TRUE(runtime::ToInteger(runtime::ReadProperty(w, self, ids::kPropVisible)));
  WriteProperty(w, self, ids::kPropLeft, 40);
  WriteProperty(w, self, ids::kPropTop, 30);
  WriteProperty(w, self, ids::kPropWidth, 448);
  WriteProperty(w, self, ids::kPropHeight, 150);
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropLeft), 40);
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropTop), 30);
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropWidth), 448);
  EXPECT_EQ(ReadIntProperty(w, self, ids::kPropHeight), 150);
  WriteProperty(w, self, ids::kPropVisible, false);
  EXPECT_FALSE(runtime::ToInteger(runtime::ReadProperty(w, self, ids::kPropVisible)));
  // A hidden window still counts as open.
  EXPECT_TRUE(runtime::IsWindowLoaded(w));
}

TEST_F(WindowSetTest, ControlsStartAsTheTemplateSays) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  EXPECT_EQ(runtime::ReadTextProperty(w, ids::kStatusCaption, ids::kPropCaption), "Loging..."_t);
  EXPECT_EQ(runtime::ReadTextProperty(w, ids::kPlayPauseButton, ids::kPropCaption), "播放"_t);
  EXPECT_EQ(runtime::ReadTextProperty(w, ids::kPlayListTitle, ids::kPropTooltip),
            "点击收起播放列表"_t);
  EXPECT_EQ(ReadIntProperty(w, ids::kAddressFrame, ids::kPropOutline), 0xC0C0C0);
  EXPECT_EQ(ReadIntProperty(w, ids::kSearchPanel, ids::kPropFill), 0xFFCD06);
  EXPECT_FALSE(runtime::ToInteger(runtime::ReadProperty(w, ids::kModeChooser, ids::kPropVisible)));
  EXPECT_EQ(ReadIntProperty(w, ids::kStatusTimer, ids::kPropInterval), 0);
  EXPECT_EQ(runtime::ColumnCount(w, ids::kPlayList), 4);
  EXPECT_EQ(runtime::ColumnCount(w, ids::kSearchResults), 1);
  EXPECT_EQ(ReadIntProperty(w, ids::kPlayList, ids::kPropSelectedRow), -1);
}

TEST_F(WindowSetTest, ControlsCarryTheirNamesForAssistiveTechnology) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  EXPECT_EQ(qt::ObjectNameOf(ids::kMainWindow, ids::kSearchButton), "超级按钮_搜索");
  EXPECT_EQ(qt::AccessibleNameOf(ids::kMainWindow, ids::kSearchButton), "搜索");
  EXPECT_EQ(qt::AccessibleNameOf(ids::kMainWindow, ids::kCoverPicture), "封面图片");
  EXPECT_EQ(qt::AccessibleNameOf(ids::kMainWindow, ids::kPlayList), "播放列表");
}

TEST_F(WindowSetTest, CheckBoxStateIsReadFromTheWidgetRightAfterAClick) {
  std::vector<int> seen;
  UseRoutines({{"ToggleMute", [&](const runtime::EventArgs&) -> runtime::EventResult {
                  seen.push_back(
                      ReadIntProperty(ids::kMainWindow, ids::kMuteBox, ids::kPropChecked));
                  return std::nullopt;
                }}});
  runtime::LoadStartWindow(ids::kMainWindow);
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kMuteBox));
  EXPECT_EQ(ReadIntProperty(ids::kMainWindow, ids::kMuteBox, ids::kPropChecked), 1);
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kMuteBox));
  EXPECT_EQ(seen, (std::vector<int>{1, 0}));
}

TEST_F(WindowSetTest, ButtonClickRunsItsRoutineAndLeavesTheFocusAlone) {
  int searches = 0, blurs = 0;
  UseRoutines({{"StartSearch", Counter(&searches)}, {"OnSearchBoxBlur", Counter(&blurs)}});
  runtime::LoadStartWindow(ids::kMainWindow);
  runtime::FocusControl(ids::kMainWindow, ids::kSearchBox);
  runtime::ProcessEvents();
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kSearchButton));
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(blurs, 0);
}

TEST_F(WindowSetTest, SharedMouseAndKeyEventsCarryTheirArguments) {
  std::vector<runtime::EventArgs> keys;
  int presses = 0, double_clicks = 0;
  UseRoutines({{"OnSearchBoxKey",
                [&](const runtime::EventArgs& a) -> runtime::EventResult {
                  keys.push_back(a);
                  return std::nullopt;
                }},
               {"OnAddressBoxPress", Counter(&presses)},
               {"OnAddressBoxDoubleClick", Counter(&double_clicks)}});
  runtime::LoadStartWindow(ids::kMainWindow);
  ASSERT_TRUE(qt::PressKey(ids::kMainWindow, ids::kSearchBox, 0x01000004 /* Qt::Key_Return */));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0][0], 13);
  EXPECT_EQ(keys[0][1], 0);
  ASSERT_TRUE(qt::DoubleClickControl(ids::kMainWindow, ids::kAddressBox));
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(double_clicks, 1);
}

TEST_F(WindowSetTest, KeyHandlerReturningFalseKeepsTheKeyFromTheControl) {
  bool swallow = true;
  UseRoutines({{"OnSearchBoxKey", [&](const runtime::EventArgs&) -> runtime::EventResult {
                  return swallow ? runtime::EventResult(0) : std::nullopt;
                }}});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  WriteProperty(w, ids::kSearchBox, ids::kPropCaption, runtime::Text());
  ASSERT_TRUE(qt::PressKey(w, ids::kSearchBox, 'A'));
  EXPECT_EQ(runtime::ReadTextProperty(w, ids::kSearchBox, ids::kPropCaption), "");
  swallow = false;
  ASSERT_TRUE(qt::PressKey(w, ids::kSearchBox, 'A'));
  EXPECT_EQ(runtime::ReadTextProperty(w, ids::kSearchBox, ids::kPropCaption), "a");
}

TEST_F(WindowSetTest, TimerWrittenZeroStopsAndRestartsWithAFullPeriod) {
  int ticks = 0;
  long long tick_at = 0;
  UseRoutines({{"PlayerStatusTick", [&](const runtime::EventArgs&) -> runtime::EventResult {
                  ++ticks;
                  tick_at = runtime::TickCount();
                  return std::nullopt;
                }}});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  WriteProperty(w, ids::kStatusTimer, ids::kPropInterval, 300);
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return ticks >= 1; }, 5000));
  WriteProperty(w, ids::kStatusTimer, ids::kPropInterval, 0);
  const int stopped_at = ticks;
  runtime::Delay(400);
  EXPECT_EQ(ticks, stopped_at);
  const long long written = runtime::TickCount();
  WriteProperty(w, ids::kStatusTimer, ids::kPropInterval, 300);
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return ticks > stopped_at; }, 5000));
  EXPECT_GE(tick_at - written, 299);
  WriteProperty(w, ids::kStatusTimer, ids::kPropInterval, -7);
  EXPECT_EQ(ReadIntProperty(w, ids::kStatusTimer, ids::kPropInterval), 0);
}

TEST_F(WindowSetTest, SliderKeepsPositionWithinItsLimits) {
  int moves = 0;
  UseRoutines({{"SeekToSlider", Counter(&moves)}});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  WriteProperty(w, ids::kPositionSlider, ids::kPropMaximum, 100000);
  EXPECT_EQ(ReadIntProperty(w, ids::kPositionSlider, ids::kPropMaximum), 32767);
  WriteProperty(w, ids::kPositionSlider, ids::kPropMaximum, 200);
  WriteProperty(w, ids::kPositionSlider, ids::kPropPosition, 500);
  EXPECT_EQ(ReadIntProperty(w, ids::kPositionSlider, ids::kPropPosition), 200);
  // Positions written by the program raise nothing; only the user's do.
  EXPECT_EQ(moves, 0);
}

TEST_F(WindowSetTest, UserActionsOnBarsRaiseTheirEvent) {
  int seeks = 0, volumes = 0;
  UseRoutines({{"SeekToSlider", Counter(&seeks)}, {"ApplyVolume", Counter(&volumes)}});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  WriteProperty(w, ids::kPositionSlider, ids::kPropMaximum, 1000);
  ASSERT_TRUE(qt::ClickControl(w, ids::kPositionSlider));
  EXPECT_GE(seeks, 1);
  EXPECT_GT(ReadIntProperty(w, ids::kPositionSlider, ids::kPropPosition), 0);
  // A click on the bar sets position = round(x / width * maximum): the middle of 154 pixels.
  WriteProperty(w, ids::kVolumeBar, ids::kPropMaximum, 100);
  WriteProperty(w, ids::kVolumeBar, ids::kPropPosition, 0);
  ASSERT_TRUE(qt::ClickControl(w, ids::kVolumeBar));
  EXPECT_EQ(ReadIntProperty(w, ids::kVolumeBar, ids::kPropPosition), 50);
  EXPECT_EQ(volumes, 1);
  ASSERT_TRUE(qt::ClickControl(w, ids::kVolumeBar));  // same position: no event
  EXPECT_EQ(volumes, 1);
}

TEST_F(WindowSetTest, WorkerThreadWritesCaptionWhileTheUiThreadRuns) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  std::atomic<bool> done{false};
  ASSERT_TRUE(runtime::StartThread([&] {
    for (int i = 0; i < 50; ++i) {
      WriteProperty(ids::kMainWindow, ids::kSearchCountLabel, ids::kPropCaption,
                    "第"_t + std::to_string(i) + "条"_t);
    }
    done = true;
  }));
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return done.load(); }, 10000));
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchCountLabel, ids::kPropCaption),
            "第49条"_t);
}

TEST_F(WindowSetTest, UnloadIsPostedAndRunsTheBeingDestroyedHandler) {
  int destroyed = 0;
  UseRoutines({{"OnMainWindowDestroyed", Counter(&destroyed)}});
  runtime::LoadStartWindow(ids::kMainWindow);
  runtime::UnloadWindow(ids::kMainWindow);
  EXPECT_TRUE(runtime::IsWindowLoaded(ids::kMainWindow));
  // The loop ends by itself once the last window of the set is gone.
  runtime::RunEventLoop();
  EXPECT_FALSE(runtime::IsWindowLoaded(ids::kMainWindow));
  EXPECT_EQ(destroyed, 1);
}

TEST_F(WindowSetTest, LoadingAWindowWhoseCloseIsPendingMakesItAnew) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  ASSERT_TRUE(runtime::LoadWindow(ids::kExitDialog));
  WriteProperty(ids::kExitDialog, ids::kExitConfirm, ids::kPropCaption, "改过"_t);
  runtime::UnloadWindow(ids::kExitDialog);
  ASSERT_TRUE(runtime::LoadWindow(ids::kExitDialog));
  runtime::ProcessEvents();
  runtime::ProcessEvents();
  // The stale close request did not reach the new window.
  EXPECT_TRUE(runtime::IsWindowLoaded(ids::kExitDialog));
  EXPECT_EQ(runtime::ReadTextProperty(ids::kExitDialog, ids::kExitConfirm, ids::kPropCaption),
            "确认"_t);
}

TEST_F(WindowSetTest, ModalWindowDisablesTheOthersUntilClosed) {
  std::atomic<int> main_disabled{-1};
  int confirmed = 0;
  UseRoutines({{"ConfirmClear", [&](const runtime::EventArgs&) -> runtime::EventResult {
                  ++confirmed;
                  runtime::UnloadWindow(ids::kClearDialog);
                  return std::nullopt;
                }}});
  runtime::LoadStartWindow(ids::kMainWindow);
  ASSERT_TRUE(runtime::StartThread([&] {
    while (!runtime::IsWindowLoaded(ids::kClearDialog)) runtime::Delay(5);
    main_disabled = runtime::ToInteger(
        runtime::ReadProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropDisabled));
    runtime::RaiseEvent(ids::kClearDialog, ids::kClearConfirm, runtime::kEventClicked);
  }));
  ASSERT_TRUE(runtime::LoadWindow(ids::kClearDialog, std::nullopt, true));
  EXPECT_EQ(confirmed, 1);
  EXPECT_EQ(main_disabled.load(), 1);
  EXPECT_FALSE(runtime::IsWindowLoaded(ids::kClearDialog));
  EXPECT_FALSE(runtime::ToInteger(
      runtime::ReadProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropDisabled)));
}

TEST_F(WindowSetTest, ListViewRowsRoundTripThroughAllRowsProperty) {
  UseRoutines({});
  runtime::LoadStartWindow(ids::kMainWindow);
  const auto w = ids::kMainWindow;
  const auto list = ids::kPlayList;
  for (const char* title : {"第一首", "Second"}) {
    int row = runtime::InsertRow(w, list, std::nullopt, "网络文件"_t);
    runtime::SetCellText(w, list, row, 1, "http://127.0.0.1/a.mp3");
    runtime::SetCellText(w, list, row, 2, runtime::TextFromUtf8(title));
  }
  runtime::Bytes all = runtime::ReadBytesProperty(w, list, ids::kPropAllRows);
  runtime::DeleteAllRows(w, list);
  EXPECT_EQ(runtime::RowCount(w, list), 0);
  WriteProperty(w, list, ids::kPropAllRows, all);
  ASSERT_EQ(runtime::RowCount(w, list), 2);
  EXPECT_EQ(runtime::GetCellText(w, list, 0, 2), "第一首"_t);
  EXPECT_EQ(runtime::GetCellText(w, list, 1, 0), "网络文件"_t);
  EXPECT_EQ(runtime::GetRowStateImage(w, list, 0), -1);
  EXPECT_EQ(runtime::GetCellText(w, list, 5, 0), "");
  WriteProperty(w, list, ids::kPropSelectedRow, 1);
  EXPECT_EQ(ReadIntProperty(w, list, ids::kPropSelectedRow), 1);
  WriteProperty(w, list, ids::kPropSelectedRow, 2);  // past the end clears the selection
  EXPECT_EQ(ReadIntProperty(w, list, ids::kPropSelectedRow), -1);
  runtime::DeleteRow(w, list, -1);
  runtime::DeleteRow(w, list, 0);
  EXPECT_EQ(runtime::RowCount(w, list), 1);
}

TEST_F(WindowSetTest, MessageBoxAnswersOkWithNobodyToAnswer) {
  EXPECT_EQ(runtime::ShowMessageBox("下载完成"_t, 0x24, {}), runtime::kMessageBoxOk);
}

}  // namespace
}  // namespace vorel

namespace vorel {
namespace {

using namespace runtime::literals;

class WindowOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_util::UseRoutines({});
    runtime::LoadStartWindow(ids::kMainWindow);
  }
  void TearDown() override { runtime::ResetWindows(); }
};

TEST_F(WindowOpsTest, GradientAndClearDrawOnThePanel) {
  const auto w = ids::kMainWindow;
  const auto panel = ids::kSpectrumCanvas;
  runtime::DrawGradientRectangle(w, panel, 10, 10, 20, 20, 2, {0x0000FF, 0x0000FF});
  EXPECT_EQ(qt::PixelOf(w, panel, 15, 15), 0x0000FF);  // equal colours fill solidly
  runtime::DrawGradientRectangle(w, panel, 40, 0, 30, 50, 1, {0x000000, 0xFFFFFF});
  const long left = qt::PixelOf(w, panel, 41, 5), right = qt::PixelOf(w, panel, 68, 5);
  EXPECT_LT(left & 0xFF, right & 0xFF);  // mode 1 runs from left to right
  runtime::DrawGradientRectangle(w, panel, 100, 0, 0, 20, 2, {0x0000FF});   // no width
  runtime::DrawGradientRectangle(w, panel, 500, 0, 20, 20, 2, {0x0000FF});  // outside
  EXPECT_EQ(qt::PixelOf(w, panel, 100, 5), 0xFFFFFF);
  runtime::ClearDrawing(w, panel, 0, 0, 20, 20);
  EXPECT_EQ(qt::PixelOf(w, panel, 15, 15), 0xFFFFFF);
  EXPECT_EQ(qt::PixelOf(w, panel, 25, 25), 0x0000FF);  // outside the cleared area
  runtime::ClearDrawing(w, panel);
  EXPECT_EQ(qt::PixelOf(w, panel, 25, 25), 0xFFFFFF);
}

TEST_F(WindowOpsTest, ToolTipAttachesToTheHandleOfAControl) {
  std::int64_t handle = runtime::WindowHandle(ids::kMainWindow, ids::kStatusCaption);
  ASSERT_NE(handle, 0);
  runtime::AddToolTip(handle, "歌曲名"_t, false, true);
  EXPECT_EQ(qt::ToolTipOf(ids::kMainWindow, ids::kStatusCaption), "歌曲名");
  runtime::AddToolTip(0, "x", false, false);  // a zero handle does nothing
}

TEST_F(WindowOpsTest, ShapeBoxColoursAreDrawn) {
  const auto w = ids::kMainWindow;
  EXPECT_EQ(qt::PixelOf(w, ids::kAddressFrame, 0, 0), 0xC0C0C0);
  WriteProperty(w, ids::kAddressFrame, ids::kPropOutline, 0x00E080);
  EXPECT_EQ(qt::PixelOf(w, ids::kAddressFrame, 0, 0), 0x00E080);
  EXPECT_EQ(qt::PixelOf(w, ids::kPlayModeButton, 1, 1), 0x00E080);  // a SuperBtn's background
}

TEST_F(WindowOpsTest, EarlierTemplateEntriesLieAboveLaterSiblings) {
  const auto w = ids::kMainWindow;
  // (203, 117) lies on the play-mode button and, once shown, on the chooser panel's white fill
  // left of its mode buttons; the panel comes first in the template, so it covers.
  EXPECT_EQ(qt::PixelOf(w, ids::kMainWindowSelf, 203, 117), 0x00E080);
  WriteProperty(w, ids::kModeChooser, ids::kPropVisible, true);
  EXPECT_EQ(qt::PixelOf(w, ids::kMainWindowSelf, 203, 117), 0xFFFFFF);
  EXPECT_EQ(qt::PixelOf(w, ids::kMainWindowSelf, 206, 139), 0x00E080);  // 超级按钮13
}

TEST_F(WindowOpsTest, PictureBoxShowsAPictureAndClampsItsMode) {
  const auto w = ids::kMainWindow;
  WriteProperty(w, ids::kCoverPicture, ids::kPropPictureMode, 9);
  EXPECT_EQ(ReadIntProperty(w, ids::kCoverPicture, ids::kPropPictureMode), 2);
  runtime::Bytes empty;
  WriteProperty(w, ids::kCoverPicture, ids::kPropPicture, empty);
  EXPECT_TRUE(runtime::ReadBytesProperty(w, ids::kCoverPicture, ids::kPropPicture).empty());
}

}  // namespace
}  // namespace vorel
