#include "shell/full_view.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <fstream>

#include "runtime/window_template.h"
#include "search/music_search.h"
#include "tests/main_window/download_fixture.h"
#include "ui/qt/window_input.h"

namespace vorel::flow {
namespace {

using FullViewTest = FlowTest;

template <class Property>
int MainWindow(Property property) {
  return runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, property);
}

QWidget* Widget(runtime::ControlId control) { return ControlWidget(control); }

struct Placed {
  const runtime::ControlRecord* record;
  int left, top;  // in the window's client area
  bool shown;     // visible itself and every container visible
};

// Every control of the main window's template with its place in the window.
std::vector<Placed> TemplateControls() {
  static const runtime::WindowTemplate tmpl =
      *runtime::ParseWindowTemplate(app::WindowTemplateBytes());
  const runtime::WindowRecord* window = tmpl.Find(ids::kMainWindow);
  std::vector<Placed> placed;
  for (std::size_t i = 1; i < window->controls.size(); ++i) {
    const runtime::ControlRecord* c = &window->controls[i];
    Placed p{c, c->left, c->top, c->visible()};
    for (runtime::ControlId up = c->container; up != 0;) {
      const runtime::ControlRecord* parent = window->Find(up);
      p.left += parent->left;
      p.top += parent->top;
      p.shown = p.shown && parent->visible();
      up = parent->container;
    }
    placed.push_back(p);
  }
  return placed;
}

bool Visual(const runtime::ControlRecord& c) {
  return c.type != runtime::kTypeTimer && c.type != runtime::kTypeCommonDlg;
}

// Every control reads back its template geometry: neither view moves anything.
void ExpectTemplateGeometry() {
  for (const Placed& p : TemplateControls()) {
    const runtime::ControlRecord& c = *p.record;
    if (!Visual(c)) continue;
    SCOPED_TRACE(runtime::Utf8FromText(c.name));
    EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, c.id, ids::kPropLeft), c.left);
    EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, c.id, ids::kPropTop), c.top);
    EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, c.id, ids::kPropWidth), c.width);
    EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, c.id, ids::kPropHeight), c.height);
  }
}

void PressCtrlF(runtime::ControlId focus) {
  QTest::keyClick(Widget(focus), Qt::Key_F, Qt::ControlModifier);
}

// The shown controls of the window that hold no other control, each with the rectangle it
// shows in the window.
std::vector<std::pair<QWidget*, QRect>> ShownLeaves() {
  QWidget* window = Widget(ids::kMainWindowSelf);
  std::vector<std::pair<QWidget*, QRect>> leaves;
  for (const Placed& p : TemplateControls()) {
    if (!Visual(*p.record)) continue;
    QWidget* w = Widget(p.record->id);
    if (w == nullptr || !w->isVisible()) continue;
    bool holds_controls = false;
    for (const Placed& q : TemplateControls())
      holds_controls |= q.record->container == p.record->id;
    if (holds_controls) continue;
    leaves.emplace_back(w, QRect(w->mapTo(window, QPoint(0, 0)), w->size()) & window->rect());
  }
  return leaves;
}

TEST_F(FullViewTest, TheBandIsLaidOutWithNothingCoveredAndLeavingPutsTheTemplateBack) {
  EXPECT_EQ(MainWindow(ids::kPropWidth), 448);  // the program starts compact
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
  ExpectTemplateGeometry();

  shell::ShowFullView();
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 456);
  QWidget* window = Widget(ids::kMainWindowSelf);
  int checked = 0;
  for (const auto& [w, shown] : ShownLeaves()) {
    SCOPED_TRACE(w->objectName().toStdString());
    if (w == Widget(ids::kCoverPicture)) continue;  // overhangs the upper edge by design
    // Whole inside the window, and on top at its centre and near each corner.
    EXPECT_EQ(shown.size(), w->size());
    const QPoint probes[] = {shown.center(), shown.topLeft() + QPoint(2, 2),
                             shown.topRight() + QPoint(-2, 2), shown.bottomLeft() + QPoint(2, -2),
                             shown.bottomRight() + QPoint(-2, -2)};
    for (const QPoint& at : probes) {
      QWidget* top = window->childAt(at);
      EXPECT_TRUE(top == w || w->isAncestorOf(top))
          << "at " << at.x() << "," << at.y() << " lies "
          << (top ? top->objectName().toStdString() : "nothing");
    }
    ++checked;
  }
  EXPECT_GT(checked, 25);
  // The search box and its button lie above the results panel, the lyrics show five lines.
  QWidget* box = Widget(ids::kSearchBox);
  QWidget* button = Widget(ids::kSearchButton);
  QWidget* results = Widget(ids::kSearchPanel);
  const QRect results_area(results->mapTo(window, QPoint(0, 0)), results->size());
  EXPECT_FALSE(results_area.intersects(QRect(box->mapTo(window, QPoint(0, 0)), box->size())));
  EXPECT_FALSE(results_area.intersects(QRect(button->mapTo(window, QPoint(0, 0)), button->size())));
  EXPECT_GE(Widget(ids::kLyricsPanel)->height(),
            5 * QFontMetrics(Widget(ids::kLyricUpper)->font()).lineSpacing());

  shell::HideFullView();
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);  // the play list stays open
  ExpectTemplateGeometry();
  shell::ShowFullView();
  shell::HideFullView();
  ExpectTemplateGeometry();
}

TEST_F(FullViewTest, SearchClickedAfterTypingSearchesForTheTypedText) {
  shell::ShowFullView();
  QWidget* box = Widget(ids::kSearchBox);
  QApplication::setActiveWindow(Widget(ids::kMainWindowSelf));
  box->setFocus();
  runtime::ProcessEvents();
  QTest::keyClicks(box, "abc");
  QTest::mouseClick(Widget(ids::kSearchButton), Qt::LeftButton);
  runtime::ProcessEvents();
  EXPECT_EQ(search::SearchQueryText(), "abc"_t);
  EXPECT_EQ(QApplication::focusWidget(), box);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption),
            "abc"_t);
  EXPECT_TRUE(search::WaitForSearchForTesting(20000));
}

TEST_F(FullViewTest, TabWalksTheBandAfterTheStripAndTheList) {
  shell::ShowFullView();
  const std::vector<std::string> names = TabWalk(ids::kPositionSlider);
  // After the strip's last control (the position slider): the play list, then the band, then
  // round to the strip's first.
  const std::vector<std::string> after_strip = {"超级按钮1",  "超级按钮10",      "超级按钮8",
                                                "列表框1",    "编辑框_搜索内容", "超级按钮_搜索",
                                                "超级按钮18", "超级列表框1",     "超级按钮19"};
  ASSERT_GT(names.size(), after_strip.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + after_strip.size()),
            after_strip);
  EXPECT_EQ(names.back(), "滑块条_播放位置");
  // Back in the compact view the band's controls are out of the walk again.
  shell::HideFullView();
  const std::vector<std::string> compact = TabWalk(ids::kPositionSlider);
  EXPECT_EQ(std::count(compact.begin(), compact.end(), "编辑框_搜索内容"), 0);
  EXPECT_EQ(std::count(compact.begin(), compact.end(), "列表框1"), 1);  // the list stays open
}

TEST_F(FullViewTest, CtrlFAndEscapeSwitchTheViewFromTheKeyboard) {
  Widget(ids::kMainWindowSelf)->activateWindow();
  PressCtrlF(ids::kAddressBox);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 456);
  EXPECT_TRUE(shell::PlayListOpen());
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayListToggle, ids::kPropCaption),
            "收起列表"_t);
  runtime::ProcessEvents();
  EXPECT_EQ(QApplication::focusWidget(), Widget(ids::kSearchBox));

  PressCtrlF(ids::kSearchBox);  // again: back to compact, the play list stays open
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);

  // Escape leaves the full view only; in the compact view it is left to the controls.
  Click(ids::kPlayListToggle);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 448);
  QTest::keyClick(Widget(ids::kAddressBox), Qt::Key_Escape);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
  PressCtrlF(ids::kAddressBox);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);  // opened again as the toggle does
  QTest::keyClick(Widget(ids::kSearchBox), Qt::Key_Escape);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);

  // The list toggle keeps its behaviour in the full view.
  PressCtrlF(ids::kAddressBox);
  Click(ids::kPlayListToggle);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 448);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 456);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayListToggle, ids::kPropCaption),
            "打开列表"_t);
}

TEST_F(FullViewTest, TheRightClickMenuShowsAndHidesTheSearchAndLyrics) {
  OpenMainWindowMenu();
  ASSERT_EQ(qt::OpenMenuLabels(), (std::vector<Text>{"显示搜索与歌词"_t, "添加文件…"_t}));
  ASSERT_TRUE(qt::ChooseMenuItem("显示搜索与歌词"_t));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return shell::FullViewShown(); }, 5000));
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);

  OpenMainWindowMenu();
  ASSERT_EQ(qt::OpenMenuLabels(), (std::vector<Text>{"隐藏搜索与歌词"_t, "添加文件…"_t}));
  ASSERT_TRUE(qt::ChooseMenuItem("隐藏搜索与歌词"_t));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return !shell::FullViewShown(); }, 5000));
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
}

TEST_F(FullViewTest, LyricsOfThePlayingSongCanBeReadInTheFullView) {
  fs::copy_file(songs_ / "long.mp3", work_ / "song.mp3");
  std::ofstream(work_ / "song.lrc", std::ios::binary) << "[00:00.10]first line\n[00:05.00]next\n";
  AddLocalRow(work_ / "song.mp3", "歌"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  StatusTick();
  Click(ids::kLyricsTimer);
  ASSERT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kLyricUpper, ids::kPropCaption),
            "first line");

  shell::ShowFullView();
  QWidget* window = Widget(ids::kMainWindowSelf);
  QWidget* upper = Widget(ids::kLyricUpper);
  ASSERT_TRUE(upper->isVisible());
  const QRect in_window(upper->mapTo(window, QPoint(0, 0)), upper->size());
  EXPECT_TRUE(window->rect().contains(in_window));
  // What lies on top at the start of the line is the lyric label itself.
  QWidget* on_top = window->childAt(in_window.topLeft() + QPoint(10, in_window.height() / 2));
  EXPECT_EQ(on_top, upper);
}

}  // namespace
}  // namespace vorel::flow
