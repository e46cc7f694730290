#include "shell/full_view.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <fstream>

#include "player/audio.h"
#include "runtime/window_template.h"
#include "search/music_search.h"
#include "tests/main_window/download_fixture.h"
#include "ui/qt/lyric_sheet.h"
#include "ui/qt/testing.h"
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

  features().full_view().ShowFullView();
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

  features().full_view().HideFullView();
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);  // the play list stays open
  ExpectTemplateGeometry();
  features().full_view().ShowFullView();
  features().full_view().HideFullView();
  ExpectTemplateGeometry();
}

TEST_F(FullViewTest, SearchClickedAfterTypingSearchesForTheTypedText) {
  features().full_view().ShowFullView();
  QWidget* box = Widget(ids::kSearchBox);
  QApplication::setActiveWindow(Widget(ids::kMainWindowSelf));
  box->setFocus();
  runtime::ProcessEvents();
  QTest::keyClicks(box, "abc");
  QTest::mouseClick(Widget(ids::kSearchButton), Qt::LeftButton);
  runtime::ProcessEvents();
  EXPECT_EQ(features().music_search().SearchQueryText(), "abc"_t);
  EXPECT_EQ(QApplication::focusWidget(), box);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption),
            "abc"_t);
  EXPECT_TRUE(features().music_search().WaitForWorkers(20000));
}

TEST_F(FullViewTest, TabWalksTheBandAfterTheStripAndTheList) {
  features().full_view().ShowFullView();
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
  features().full_view().HideFullView();
  const std::vector<std::string> compact = TabWalk(ids::kPositionSlider);
  EXPECT_EQ(std::count(compact.begin(), compact.end(), "编辑框_搜索内容"), 0);
  EXPECT_EQ(std::count(compact.begin(), compact.end(), "列表框1"), 1);  // the list stays open
}

TEST_F(FullViewTest, CtrlFAndEscapeSwitchTheViewFromTheKeyboard) {
  Widget(ids::kMainWindowSelf)->activateWindow();
  PressCtrlF(ids::kAddressBox);
  EXPECT_EQ(MainWindow(ids::kPropHeight), 456);
  EXPECT_TRUE(features().main_window().PlayListOpen());
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
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [this] { return features().full_view().FullViewShown(); }, 5000));
  EXPECT_EQ(MainWindow(ids::kPropWidth), 690);

  OpenMainWindowMenu();
  ASSERT_EQ(qt::OpenMenuLabels(), (std::vector<Text>{"隐藏搜索与歌词"_t, "添加文件…"_t}));
  ASSERT_TRUE(qt::ChooseMenuItem("隐藏搜索与歌词"_t));
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [this] { return !features().full_view().FullViewShown(); }, 5000));
  EXPECT_EQ(MainWindow(ids::kPropHeight), 192);
}

std::vector<qt::LyricSheetRow> SheetRows() {
  return qt::LyricSheetRows(ids::kMainWindow, ids::kLyricsPanel);
}

// The text of the marked row of the lyrics sheet; empty when none is marked.
std::string MarkedLine() {
  for (const qt::LyricSheetRow& row : SheetRows())
    if (row.marked) return row.text;
  return {};
}

bool WaitForMarked(const std::function<bool(const std::string&)>& wanted, int timeout_ms = 5000) {
  return runtime::WaitProcessingEvents([&] { return wanted(MarkedLine()); }, timeout_ms);
}

// Opens the window's right-click menu and clicks `label` in it with the mouse.
void ChooseFromWindowMenu(const Text& label) {
  OpenMainWindowMenu();
  ASSERT_TRUE(qt::ChooseMenuItem(label));
  runtime::ProcessEvents();
}

bool LabelShown(runtime::ControlId label) { return Widget(label)->isVisible(); }

// A left click on the position slider's groove `fraction` of the way along.
void ClickSliderAt(double fraction) {
  QWidget* slider = Widget(ids::kPositionSlider);
  QTest::mouseClick(slider, Qt::LeftButton, {},
                    QPoint(static_cast<int>(slider->width() * fraction), slider->height() / 2));
}

// The rows show consecutive lines of `all` with the marked one in the middle, as far as the
// lines before and after it reach.
void ExpectLinesAroundTheMark(const std::vector<qt::LyricSheetRow>& rows,
                              const std::vector<std::string>& all) {
  int at = 0;
  while (at < static_cast<int>(rows.size()) && !rows[at].marked) ++at;
  ASSERT_LT(at, static_cast<int>(rows.size())) << "no row is marked";
  const int line = static_cast<int>(std::find(all.begin(), all.end(), rows[at].text) - all.begin());
  ASSERT_LT(line, static_cast<int>(all.size()));
  const int count = static_cast<int>(rows.size());
  const int first = std::clamp(line - (count - 1) / 2, 0, static_cast<int>(all.size()) - count);
  EXPECT_EQ(at, line - first);
  for (int i = 0; i < count; ++i) EXPECT_EQ(rows[i].text, all[first + i]) << "row " << i;
}

std::string Verse1(int n) { return "第" + std::to_string(n) + "句"; }

TEST_F(FullViewTest, TheLyricsPanelShowsTheSongsLinesAndFollowsItAsItPlaysAndAfterASeek) {
  fs::copy_file(songs_ / "long.mp3", work_ / "song.mp3");
  {
    // A line a second for the first twenty seconds, then a second verse from 02:30 on, every
    // 3 s; in UTF-8 with a title tag, as such files come.
    std::ofstream lrc(work_ / "song.lrc", std::ios::binary);
    lrc << "[ti:歌名]\n";
    for (int i = 0; i < 20; ++i)
      lrc << "[00:" << (i < 10 ? "0" : "") << i << ".00]" << Verse1(i + 1) << "\n";
    for (int i = 0; i < 10; ++i) lrc << "[02:" << 30 + 3 * i << ".00]二段" << i + 1 << "\n";
  }
  std::vector<std::string> all;
  for (int i = 1; i <= 20; ++i) all.push_back(Verse1(i));
  for (int i = 1; i <= 10; ++i) all.push_back("二段" + std::to_string(i));
  AddLocalRow(work_ / "song.mp3", "歌"_t);
  Click(ids::kPlayPauseButton);
  ASSERT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_TRUE(SheetRows().empty());  // the compact view has no sheet

  ChooseFromWindowMenu("显示搜索与歌词"_t);
  ASSERT_TRUE(features().full_view().FullViewShown());
  ASSERT_TRUE(WaitForMarked([](const std::string& m) { return !m.empty(); }));
  std::vector<qt::LyricSheetRow> rows = SheetRows();
  // As many lines as the panel holds, one after another from the first, the title tag left out.
  ASSERT_GE(rows.size(), 5u);
  QWidget* panel = Widget(ids::kLyricsPanel);
  EXPECT_GT(static_cast<int>(rows.size() + 1) * rows[0].height, panel->height() - 2);
  const QRect panel_area(panel->mapTo(Widget(ids::kMainWindowSelf), QPoint(0, 0)), panel->size());
  for (const qt::LyricSheetRow& row : rows) {
    EXPECT_TRUE(panel_area.contains(QRect(row.left, row.top, row.width, row.height))) << row.text;
  }
  ExpectLinesAroundTheMark(rows, all);
  // Presses on the lines reach the panel, as they did on the labels (a drag there moves the
  // window).
  QWidget* window = Widget(ids::kMainWindowSelf);
  EXPECT_EQ(
      window->childAt(QRect(rows[0].left, rows[0].top, rows[0].width, rows[0].height).center()),
      panel);
  // The labels make way for the sheet.
  EXPECT_FALSE(LabelShown(ids::kLyricUpper));
  EXPECT_FALSE(LabelShown(ids::kLyricLower));

  // The marked line is drawn on the window's green, the others on the panel's white.
  const QImage shot = Widget(ids::kMainWindowSelf)->grab().toImage();
  int marked = 0;
  for (const qt::LyricSheetRow& row : rows) {
    const QColor at = shot.pixelColor(row.left + 2, row.top + row.height / 2);
    EXPECT_EQ(at, row.marked ? QColor(0x80, 0xE0, 0x00) : QColor(Qt::white)) << row.text;
    marked += row.marked;
  }
  EXPECT_EQ(marked, 1);

  // As the song plays the mark moves down the lines.
  const std::string first = MarkedLine();
  const int first_n = std::stoi(first.substr(std::string("第").size()));
  EXPECT_TRUE(WaitForMarked([&](const std::string& m) { return m == Verse1(first_n + 2); }, 8000))
      << "still at " << MarkedLine();

  // A click three quarters along the slider (about 02:49): the second verse, its line in the
  // middle of the panel with the lines before and after it around.
  ClickSliderAt(0.75);
  ASSERT_TRUE(WaitForMarked([](const std::string& m) { return m.starts_with("二段"); }, 3000))
      << "still at " << MarkedLine();
  ExpectLinesAroundTheMark(SheetRows(), all);

  // Paused, a seek back still moves the mark: a quarter along is past the first verse's end.
  Click(ids::kPlayPauseButton);
  ASSERT_EQ(ButtonCaption(), "播放"_t);
  ClickSliderAt(0.25);
  EXPECT_TRUE(WaitForMarked([](const std::string& m) { return m == Verse1(20); }, 3000))
      << "still at " << MarkedLine();

  // Leaving puts the labels back and takes the sheet away.
  ChooseFromWindowMenu("隐藏搜索与歌词"_t);
  ASSERT_FALSE(features().full_view().FullViewShown());
  EXPECT_TRUE(SheetRows().empty());
  EXPECT_TRUE(LabelShown(ids::kLyricUpper));
  EXPECT_TRUE(LabelShown(ids::kLyricLower));
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kLyricUpper, ids::kPropVisible), 1);
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kLyricLower, ids::kPropVisible), 1);
  ExpectTemplateGeometry();
}

TEST_F(FullViewTest, ASongWithoutLyricsSaysSoAndTheNextSongsLinesReplaceIt) {
  fs::copy_file(songs_ / "long.mp3", work_ / "plain.mp3");
  fs::copy_file(songs_ / "long.mp3", work_ / "sung.mp3");
  std::ofstream(work_ / "sung.lrc", std::ios::binary) << "[00:00.00]la\n[00:30.00]li\n";
  AddLocalRow(work_ / "plain.mp3", "plain"_t);
  AddLocalRow(work_ / "sung.mp3", "sung"_t);
  features().full_view().ShowFullView();
  // Before anything plays the panel stays empty.
  ASSERT_EQ(SheetRows().size(), 1u);
  EXPECT_EQ(SheetRows()[0].text, "");

  Click(ids::kPlayPauseButton);
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [] {
        auto rows = SheetRows();
        return rows.size() == 1 && rows[0].text == "暂无歌词";
      },
      3000));
  EXPECT_FALSE(SheetRows()[0].marked);

  Click(ids::kNextButton);
  ASSERT_TRUE(WaitForMarked([](const std::string& m) { return m == "la"; }, 3000));
  ASSERT_EQ(SheetRows().size(), 2u);  // fewer lines than room: all of them
  EXPECT_EQ(SheetRows()[1].text, "li");
}

}  // namespace
}  // namespace vorel::flow
