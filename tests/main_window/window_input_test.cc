// The main window and its confirmations in a person's hands: moved by a drag, driven from the
// keyboard, fed by files dropped on it. Real mouse and key events on the widgets.

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <fstream>

#include "app/window_keys.h"
#include "runtime/files.h"
#include "tests/main_window/download_fixture.h"
#include "ui/qt/desktop.h"
#include "ui/qt/testing.h"
#include "ui/qt/window_input.h"

namespace vorel::flow {
namespace {

class WindowInputTest : public FlowTest {
 protected:
  QWidget* Window() { return ControlWidget(ids::kMainWindowSelf); }

  // Presses the left button at `from` of the control, moves the pointer in steps by `by` (on
  // the screen: the window moving below it does not carry it along), releases.
  void Drag(runtime::ControlId control, QPoint from, QPoint by) {
    QWidget* w = ControlWidget(control);
    const QPoint global = w->mapToGlobal(from);
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(w, w->mapFromGlobal(global + by * i / 4));
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, w->mapFromGlobal(global + by));
    runtime::ProcessEvents();
  }

  void Key(runtime::ControlId focus, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ControlWidget(focus), key, mods);
    runtime::ProcessEvents();
  }

  int Volume() {
    return runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition);
  }
  int Rows() { return runtime::RowCount(ids::kMainWindow, ids::kPlayList); }
  double PlayedSeconds() {
    const auto h = player().State().current_stream;
    return player::audio::ChannelBytes2Seconds(h, player::audio::ChannelGetPosition(h));
  }
};

TEST_F(WindowInputTest, DraggingTheCoverTitleOrSpectrumMovesTheWindowAndAClickDoesNot) {
  const QPoint start = Window()->pos();
  Drag(ids::kCoverPicture, QPoint(100, 100), QPoint(40, 24));
  EXPECT_EQ(Window()->pos(), start + QPoint(40, 24));
  Drag(ids::kTitleCaption, QPoint(20, 8), QPoint(-30, 10));
  EXPECT_EQ(Window()->pos(), start + QPoint(10, 34));
  Drag(ids::kSpectrumCanvas, QPoint(50, 20), QPoint(0, -34));
  EXPECT_EQ(Window()->pos(), start + QPoint(10, 0));

  // A press and release without moving stays a click: the window stays, and the cover still
  // takes the window's right-click menu.
  QTest::mouseClick(ControlWidget(ids::kCoverPicture), Qt::LeftButton, Qt::NoModifier,
                    QPoint(100, 100));
  EXPECT_EQ(Window()->pos(), start + QPoint(10, 0));
  QTest::mouseClick(ControlWidget(ids::kCoverPicture)->window()->windowHandle(), Qt::RightButton,
                    Qt::NoModifier, QPoint(100, 100));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return !qt::OpenMenuLabels().empty(); }, 5000));

  // A drag that starts on a control a person operates is that control's: the volume bar
  // follows the pointer and the window stays.
  if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
  Drag(ids::kVolumeBar, QPoint(100, 4), QPoint(-50, 30));
  EXPECT_EQ(Window()->pos(), start + QPoint(10, 0));
  EXPECT_EQ(Volume(), 32);  // round(50 / 154 * 100)
}

// As desktop toolkits do, a control shows the focus mark only once the keyboard has moved the
// focus: the focus the window gives a control when it opens or is activated shows nothing.
TEST_F(WindowInputTest, NoFocusMarkShowsBeforeTheKeyboardMovesTheFocus) {
  QApplication::setActiveWindow(Window());
  runtime::ProcessEvents();
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr);
  ASSERT_NE(qobject_cast<QAbstractButton*>(focused), nullptr)
      << focused->objectName().toStdString();
  const QImage at_start = focused->grab().toImage();
  ControlWidget(ids::kAddressBox)->setFocus();
  EXPECT_EQ(focused->grab().toImage(), at_start);
}

TEST_F(WindowInputTest, TabWalksTheShownControlsInReadingOrderAndClicksLeaveTheFocus) {
  const std::vector<std::string> compact = {
      "超级按钮19",        "超级按钮7",       "地址框",
      "超级按钮_解析",     "图形按钮down",    "超级按钮_全部播放",
      "超级按钮_打开列表", "多功能条2",       "选择框1",
      "超级按钮_打开",     "超级按钮_上一曲", "超级按钮_播放_暂停",
      "超级按钮_下一曲",   "超级按钮_音量",   "滑块条_播放位置"};
  std::vector<std::string> walked = TabWalk(ids::kPositionSlider);
  EXPECT_EQ(walked, compact);
  std::vector<std::string> back = TabWalk(ids::kPositionSlider, false);
  std::reverse(back.begin(), back.end() - 1);
  EXPECT_EQ(back, compact);

  // The focus mark shows on a button reached by Tab.
  QApplication::setActiveWindow(Window());
  ControlWidget(ids::kAddressBox)->setFocus();
  QImage plain = ControlWidget(ids::kResolveButton)->grab().toImage();
  QTest::keyClick(ControlWidget(ids::kAddressBox), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), ControlWidget(ids::kResolveButton));
  EXPECT_NE(ControlWidget(ids::kResolveButton)->grab().toImage(), plain);
  ControlWidget(ids::kAddressBox)->setFocus();

  // A click on a button runs it and leaves the focus in the box.
  QTest::mouseClick(ControlWidget(ids::kVolumeButton), Qt::LeftButton);
  EXPECT_EQ(Window()->focusWidget(), ControlWidget(ids::kAddressBox));
  // Every control a person reaches keeps a name for assistive technology.
  for (const std::string& name : compact) {
    auto* w = Window()->findChild<QWidget*>(QString::fromStdString(name));
    ASSERT_NE(w, nullptr) << name;
    EXPECT_FALSE(w->accessibleName().isEmpty()) << name;
  }
}

TEST_F(WindowInputTest, SpaceArrowsEnterAndDeleteDriveThePlayer) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  AddLocalRow(songs_ / "long.mp3", "b"_t);
  AddLocalRow(songs_ / "long.mp3", "c"_t);
  HoldTimers();
  ControlWidget(ids::kPlayPauseButton)->setFocus(Qt::TabFocusReason);
  Key(ids::kPlayPauseButton, Qt::Key_Space);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  Key(ids::kPlayPauseButton, Qt::Key_Right);
  Key(ids::kPlayPauseButton, Qt::Key_Right);
  EXPECT_NEAR(PlayedSeconds(), 10.0, 1.0);
  Key(ids::kPlayPauseButton, Qt::Key_Left);
  EXPECT_NEAR(PlayedSeconds(), 5.0, 1.0);
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kPositionSlider, ids::kPropPosition),
            5);
  Key(ids::kPlayPauseButton, Qt::Key_Down);
  Key(ids::kPlayPauseButton, Qt::Key_Down);
  EXPECT_EQ(Volume(), 90);
  Key(ids::kPlayPauseButton, Qt::Key_Up);
  EXPECT_EQ(Volume(), 95);
  Key(ids::kPlayPauseButton, Qt::Key_Space);
  EXPECT_EQ(StreamState(), player::audio::kPaused);

  // In a text box the keys are the box's: Space is typed.
  ControlWidget(ids::kAddressBox)->setFocus();
  Key(ids::kAddressBox, Qt::Key_Space);
  EXPECT_EQ(StreamState(), player::audio::kPaused);

  // On the play list Enter plays the selected row and Delete removes it.
  Select(2);
  ControlWidget(ids::kPlayList)->setFocus();
  Key(ids::kPlayList, Qt::Key_Return);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(player().State().current_entry_index, 2);
  Select(0);
  Key(ids::kPlayList, Qt::Key_Delete);
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "b"_t);
  EXPECT_EQ(player().State().current_entry_index, 1);  // still "c"
}

TEST_F(WindowInputTest, CtrlOAddsAFolderAsOpenDoes) {
  fs::create_directories(work_ / "in" / "sub");
  fs::copy_file(songs_ / "short1.mp3", work_ / "in" / "a.mp3");
  fs::copy_file(songs_ / "short2.mp3", work_ / "in" / "sub" / "B.MP3");
  qt::SetFolderAnswer(PathText(work_ / "in"));
  Key(ids::kAddressBox, Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return Rows() == 2; }, 5000));
  qt::SetFolderAnswer(std::nullopt);
  EXPECT_EQ(Caption(), "添加完毕！"_t);
}

TEST_F(WindowInputTest, CtrlQSavesTheListAndClosesAsTheSystemCloseDoes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("VOREL_FLOW_WORK", work_.c_str(), 1);
  // In the program the event loop ends once the window is gone; here the child says whether
  // it went.
  EXPECT_EXIT(
      {
        AddLocalRow(songs_ / "long.mp3", "留下"_t);
        Key(ids::kAddressBox, Qt::Key_Q, Qt::ControlModifier);
        const bool closed = runtime::WaitProcessingEvents(
            [] { return !runtime::IsWindowLoaded(ids::kMainWindow); }, 5000);
        std::_Exit(closed ? 0 : 7);
      },
      ::testing::ExitedWithCode(0), "");
  ::unsetenv("VOREL_FLOW_WORK");
  runtime::Bytes saved = runtime::ReadWholeFile(PathText(work_ / "播放列表.txt"));
  EXPECT_NE(Text(saved.begin(), saved.end()).find("留下"_t), Text::npos);
}

// Opens a confirmation with `open`, and once it shows presses `key` on whatever has the focus
// there; the name of that control.
std::string AnswerWithKey(runtime::WindowId dialog, runtime::ControlId self, Qt::Key key,
                          const std::function<void()>& open) {
  std::string focused = "(none)";
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!runtime::IsWindowLoaded(dialog)) return;
    QWidget* window = ControlWidget(self, dialog);
    if (window == nullptr || !window->isVisible()) return;
    poll.stop();
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    focused = target->objectName().toStdString();
    QTest::keyClick(target, key);
  });
  poll.start(20);
  open();
  return focused;
}

TEST_F(WindowInputTest, ConfirmationsTakeEnterAndEscapeWithTheConfirmButtonFocused) {
  AddLocalRow(songs_ / "long.mp3", "a"_t);
  // Escape cancels the clear, Enter confirms it.
  EXPECT_EQ(AnswerWithKey(ids::kClearDialog, ids::kClearDialogSelf, Qt::Key_Escape,
                          [&] { Click(ids::kClearButton); }),
            "超级按钮3");
  EXPECT_EQ(Rows(), 1);
  EXPECT_EQ(AnswerWithKey(ids::kClearDialog, ids::kClearDialogSelf, Qt::Key_Return,
                          [&] { Click(ids::kClearButton); }),
            "超级按钮3");
  EXPECT_EQ(Rows(), 0);
  // Escape cancels the exit: the program goes on and nothing was saved.
  EXPECT_EQ(AnswerWithKey(ids::kExitDialog, ids::kExitDialogSelf, Qt::Key_Escape,
                          [&] { Click(ids::kCloseButton); }),
            "超级按钮3");
  EXPECT_TRUE(runtime::IsWindowLoaded(ids::kMainWindow));
  EXPECT_FALSE(fs::exists(work_ / "播放列表.txt"));
}

TEST_F(WindowInputTest, EnterConfirmsTheExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("VOREL_FLOW_WORK", work_.c_str(), 1);
  EXPECT_EXIT(
      {
        AddLocalRow(songs_ / "long.mp3", "留下"_t);
        AnswerWithKey(ids::kExitDialog, ids::kExitDialogSelf, Qt::Key_Return,
                      [&] { Click(ids::kCloseButton); });
        runtime::WaitProcessingEvents([] { return false; }, 10000);
        std::_Exit(7);
      },
      ::testing::ExitedWithCode(0), "");
  ::unsetenv("VOREL_FLOW_WORK");
  EXPECT_TRUE(fs::exists(work_ / "播放列表.txt"));
}

// Drops the paths on the main window at `at` as a file manager's drag would end.
bool DropOn(QWidget* window, const std::vector<fs::path>& paths, QPoint at) {
  QMimeData data;
  QList<QUrl> urls;
  for (const fs::path& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p.string()));
  data.setUrls(urls);
  QWidget* target = window->childAt(at) ? window->childAt(at) : window;
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

TEST_F(WindowInputTest, DroppedFilesAndFoldersAreAddedAsOpenAddsThem) {
  fs::create_directories(work_ / "album" / "cd2");
  fs::copy_file(songs_ / "short1.mp3", work_ / "one.mp3");
  fs::copy_file(songs_ / "short2.mp3", work_ / "Two.Mp3");
  std::ofstream(work_ / "notes.txt") << "not a song";
  fs::copy_file(songs_ / "short1.mp3", work_ / "album" / "x.mp3");
  fs::copy_file(songs_ / "short2.mp3", work_ / "album" / "cd2" / "y.mp3");
  std::ofstream(work_ / "album" / "cover.jpg") << "picture";

  ASSERT_TRUE(DropOn(Window(),
                     {work_ / "one.mp3", work_ / "notes.txt", work_ / "Two.Mp3", work_ / "album"},
                     QPoint(100, 100)));
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return Rows() == 4; }, 5000));
  runtime::Delay(100);
  ASSERT_EQ(Rows(), 4);
  std::vector<Text> names;
  for (int r = 0; r < 4; ++r)
    names.push_back(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, r, 2));
  EXPECT_EQ(names, (std::vector<Text>{"one.mp3"_t, "Two.Mp3"_t, "x.mp3"_t, "y.mp3"_t}));
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 3, 1),
            PathText(work_ / "album" / "cd2" / "y.mp3"));
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 0), "本地文件"_t);
  EXPECT_EQ(Caption(), "添加完毕！"_t);

  // A drop on a box is the window's too, and what is no song adds nothing.
  EXPECT_TRUE(DropOn(Window(), {work_ / "one.mp3"}, QPoint(300, 30)));
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return Rows() == 5; }, 5000));
  EXPECT_TRUE(DropOn(Window(), {work_ / "notes.txt"}, QPoint(100, 100)));
  runtime::Delay(100);
  EXPECT_EQ(Rows(), 5);
}

TEST_F(WindowInputTest, AddFilesFromTheRightClickMenu) {
  fs::copy_file(songs_ / "short1.mp3", work_ / "one.mp3");
  fs::copy_file(songs_ / "short2.mp3", work_ / "two.mp3");
  qt::SetFilesAnswer({PathText(work_ / "two.mp3"), PathText(work_ / "one.mp3")});
  OpenMainWindowMenu();
  ASSERT_TRUE(qt::ChooseMenuItem("添加文件…"_t));
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return Rows() == 2; }, 5000));
  qt::SetFilesAnswer({});
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "two.mp3"_t);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 1, 1),
            PathText(work_ / "one.mp3"));
}

}  // namespace
}  // namespace vorel::flow
