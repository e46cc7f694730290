#ifndef VOREL_TESTS_SEARCH_SEARCH_FIXTURE_H_
#define VOREL_TESTS_SEARCH_SEARCH_FIXTURE_H_

// The real main window with the real routine table (tests/player_flow's fixture), plus what the
// search and resolver tests look at: the result list, its label, the play list's cells.

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/http/testing.h"
#include "search/music_search.h"
#include "search/sound_link.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/loopback_server.h"
#include "ui/qt/testing.h"

namespace vorel::search_test {

using runtime::Text;
using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

class SearchFlowTest : public flow::FlowTest {
 protected:
  void SetUp() override {
    FlowTest::SetUp();
    platform::http::ClearCookieStore();
  }
  void TearDown() override {
    EXPECT_TRUE(features().music_search().WaitForWorkers(20000));
    for (const char* v : {"VOREL_SEARCH_HOST", "VOREL_SOUND_API_HOST"}) unsetenv(v);
    FlowTest::TearDown();
  }

  static void UseHost(const char* variable, const LoopbackServer& server) {
    setenv(variable, ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
  }

  // The widget of a control, to watch what a person would see on it.
  template <typename W>
  static W* Widget(runtime::ControlId control) {
    const QString name = QString::fromStdString(qt::ObjectNameOf(ids::kMainWindow, control));
    for (QWidget* w : QApplication::allWidgets()) {
      // Windows of earlier tests may linger until deleted; only the shown one counts.
      if (w->objectName() == name && w->window()->isVisible()) return qobject_cast<W*>(w);
    }
    return nullptr;
  }

  template <class Type>
  void TypeInto(runtime::Control<Type> box, const Text& text) {
    runtime::WriteProperty(ids::kMainWindow, box, ids::kPropCaption, text);
  }
  template <class Type>
  Text ReadCaption(runtime::Control<Type> control) {
    return runtime::ReadTextProperty(ids::kMainWindow, control, ids::kPropCaption);
  }
  Text CountLabel() { return ReadCaption(ids::kSearchCountLabel); }

  std::vector<Text> ResultRows() {
    std::vector<Text> rows;
    int n = runtime::RowCount(ids::kMainWindow, ids::kSearchResults);
    for (int i = 0; i < n; ++i)
      rows.push_back(runtime::GetCellText(ids::kMainWindow, ids::kSearchResults, i));
    return rows;
  }
  std::vector<Text> PlayListRow(int row) {
    std::vector<Text> cells;
    for (int c = 0; c < 4; ++c)
      cells.push_back(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, row, c));
    return cells;
  }
  int PlayListRows() { return runtime::RowCount(ids::kMainWindow, ids::kPlayList); }
};

}  // namespace vorel::search_test

#endif  // VOREL_TESTS_SEARCH_SEARCH_FIXTURE_H_
