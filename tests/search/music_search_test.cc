// The music search through the search box and button of the real window, against a result
// page served on 127.0.0.1.

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <functional>

#include "tests/search/search_fixture.h"

namespace vorel::search_test {
namespace {

using namespace runtime::literals;

constexpr char kAccept[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

// Calls `look` before each queued call reaches the application object.
class BeforeQueuedCalls : public QObject {
 public:
  explicit BeforeQueuedCalls(std::function<void()> look) : look_(std::move(look)) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~BeforeQueuedCalls() override { QCoreApplication::instance()->removeEventFilter(this); }
  bool eventFilter(QObject* target, QEvent* event) override {
    if (target == QCoreApplication::instance() && event->type() == QEvent::MetaCall) look_();
    return false;
  }

 private:
  std::function<void()> look_;
};

class MusicSearchTest : public SearchFlowTest {
 protected:
  void Search(const Text& query) {
    TypeInto(ids::kSearchBox, query);
    Click(ids::kSearchButton);
    ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  }
};

TEST_F(MusicSearchTest, RowsFollowThePageAndTheLabelCountsOneStepBehind) {
  const char raw[] =
      "<li>;http://a.example/1;</li> other text ;http://b.example/2;"  // two, in page order
      ";http://s1.example;http://s2.example;"                          // shared ";": s2 is lost
      " ;HTTP://caps.example; "                                        // capitals: not found
      ";http://line\nbreak;"                                           // runs across the line
      ";http://a.example/1;"                                           // the same address again
      "\0;http://after.nul;";                                          // past the page's end
  const std::string page(raw, sizeof raw - 1);
  LoopbackServer server([&](const Request&) { return LoopbackServer::Simple(page); });
  UseHost("VOREL_SEARCH_HOST", server);
  const Text query = "周杰伦 a#b\r\n"_t;
  TypeInto(ids::kSearchBox, query);
  // What a person watching sees between the worker's writes: the label counts the rows one
  // step behind while they come in, and shows the total only at the end. The worker's writes
  // reach the window as calls queued to the application object; the state is taken before
  // each one is delivered, and once more at the end.
  std::vector<std::pair<int, Text>> seen;  // (rows, label), each change once
  auto look = [&] {
    std::pair<int, Text> now{static_cast<int>(ResultRows().size()), CountLabel()};
    if (seen.empty() || seen.back() != now) seen.push_back(now);
  };
  BeforeQueuedCalls watch(look);
  Click(ids::kSearchButton);
  ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  look();
  int behind = 0;
  for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
    auto [rows, label] = seen[i];
    if (rows == 0) continue;
    EXPECT_EQ(label, runtime::ToText(rows - 1) + "个"_t) << "with " << rows << " rows";
    ++behind;
  }
  EXPECT_GT(behind, 0);
  EXPECT_EQ(ResultRows(),
            (std::vector<Text>{"http://a.example/1", "http://b.example/2", "http://s1.example",
                               "http://line\nbreak", "http://a.example/1"}));
  EXPECT_EQ(CountLabel(), "5个"_t);

  // Spaces, "#" and control bytes are escaped; code page 936 bytes go out as typed.
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string url = server.Url("/music.so?query=" + "周杰伦"_t + "%20a%23b%0D%0A");
  EXPECT_EQ(server.Requests()[0].head,
            "GET /music.so?query=" + "周杰伦"_t +
                "%20a%23b%0D%0A HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n" + kAccept +
                "\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n\r\n");

  // A double-click on a result adds it to the play list titled with the query.
  runtime::WriteProperty(ids::kMainWindow, ids::kSearchResults, ids::kPropSelectedRow, 1);
  runtime::RaiseEvent(ids::kMainWindow, ids::kSearchResults, runtime::kEventLeftDoubleClick);
  ASSERT_EQ(PlayListRows(), 1);
  EXPECT_EQ(PlayListRow(0)[1], "http://b.example/2");
  EXPECT_EQ(PlayListRow(0)[2], query);
}

TEST_F(MusicSearchTest, EnterSearchesAndOtherKeysDoNot) {
  LoopbackServer server(
      [](const Request&) { return LoopbackServer::Simple(";http://x.example/song;"); });
  UseHost("VOREL_SEARCH_HOST", server);
  TypeInto(ids::kSearchBox, "ab");

  // Keys through the dispatch a key takes: only virtual key 13 starts a search.
  for (int key : {65, 32, 27, 9}) {
    runtime::RaiseEvent(ids::kMainWindow, ids::kSearchBox, runtime::kEventKeyDown, {key, 0});
  }
  ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  EXPECT_TRUE(server.Requests().empty());

  // Real key presses on the widget: a letter types, Enter searches what was typed.
  ASSERT_TRUE(qt::PressKey(ids::kMainWindow, ids::kSearchBox, Qt::Key_C));
  ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  EXPECT_TRUE(server.Requests().empty());
  ASSERT_TRUE(qt::PressKey(ids::kMainWindow, ids::kSearchBox, Qt::Key_Return));
  ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].request_line, "GET /music.so?query=abc HTTP/1.1");
  EXPECT_EQ(ResultRows(), (std::vector<Text>{"http://x.example/song"}));
  EXPECT_EQ(CountLabel(), "1个"_t);
}

TEST_F(MusicSearchTest, NewestSearchWins) {
  // The first search's page arrives slowly and holds many rows; the second's comes at once.
  std::string slow_page;
  for (int i = 0; i < 40; ++i) slow_page += ";http://old.example/" + std::to_string(i) + ";";
  LoopbackServer server([&](const Request& r) {
    if (r.request_line.find("query=old") != std::string::npos) {
      return Reply().Trickle(
          vorel::testing::HeaderText(
              "HTTP/1.1 200 OK",
              {"Content-Length: " + std::to_string(slow_page.size()), "Connection: close"}) +
              slow_page,
          1);
    }
    return LoopbackServer::Simple(";http://new.example/1;x;http://new.example/2;");
  });
  UseHost("VOREL_SEARCH_HOST", server);

  TypeInto(ids::kSearchBox, "old");
  Click(ids::kSearchButton);
  ASSERT_TRUE(server.WaitForRequests(1, 10000));
  TypeInto(ids::kSearchBox, "new");
  Click(ids::kSearchButton);
  ASSERT_TRUE(features().music_search().WaitForWorkers(30000));  // both workers have ended

  EXPECT_EQ(ResultRows(), (std::vector<Text>{"http://new.example/1", "http://new.example/2"}));
  EXPECT_EQ(CountLabel(), "2个"_t);
  EXPECT_EQ(features().music_search().SearchQueryText(), "new");
}

TEST_F(MusicSearchTest, NothingFoundSaysSo) {
  LoopbackServer server([](const Request&) {
    return LoopbackServer::Simple("no addresses ;http:/half; http://bare.example");
  });
  UseHost("VOREL_SEARCH_HOST", server);
  Search("plain");
  EXPECT_TRUE(ResultRows().empty());
  EXPECT_EQ(CountLabel(), "无搜索结果"_t);

  // An empty query is still sent, with nothing after "query=".
  TypeInto(ids::kSearchCountLabel, "");
  Search("");
  EXPECT_EQ(server.Requests().back().request_line, "GET /music.so?query= HTTP/1.1");
  EXPECT_EQ(CountLabel(), "无搜索结果"_t);
}

TEST_F(MusicSearchTest, WithoutAConfiguredHostNothingIsSentAndTheHintNamesTheSetting) {
  unsetenv("VOREL_SEARCH_HOST");
  ::testing::internal::CaptureStderr();
  Search("anything");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("VOREL_SEARCH_HOST"), std::string::npos) << err;
  EXPECT_NE(err.find("search"), std::string::npos) << err;
  EXPECT_NE(err.find("vorel.conf"), std::string::npos) << err;
  EXPECT_EQ(CountLabel(), "搜索失败：未设置搜索服务器"_t);
}

// A search that brought no page says why, never that nothing was found; while it runs, the
// label keeps no count of the search before.
TEST_F(MusicSearchTest, ASearchThatFailedSaysSoAndTheOldCountGoesAtOnce) {
  LoopbackServer server([](const Request& r) {
    if (r.request_line.find("query=500") != std::string::npos) {
      return LoopbackServer::Simple("", {}, "HTTP/1.1 500 Internal Server Error");
    }
    if (r.request_line.find("query=404") != std::string::npos) {
      return LoopbackServer::Simple("", {}, "HTTP/1.1 404 Not Found");
    }
    if (r.request_line.find("query=silent") != std::string::npos) return Reply().Stall();
    return LoopbackServer::Simple(";http://a.example/1;");
  });
  UseHost("VOREL_SEARCH_HOST", server);
  Search("found");
  EXPECT_EQ(CountLabel(), "1个"_t);

  Search("500");
  EXPECT_EQ(CountLabel(), "搜索失败：服务器返回500"_t);
  Search("404");
  EXPECT_EQ(CountLabel(), "搜索失败：服务器返回404"_t);

  Search("found");
  const platform::http::TransferTimeouts saved = platform::http::CurrentTransferTimeouts();
  platform::http::SetTransferTimeouts({.connect_ms = 1000, .low_speed_seconds = 1});
  TypeInto(ids::kSearchBox, "silent");
  Click(ids::kSearchButton);
  EXPECT_EQ(CountLabel(), ""_t);
  EXPECT_TRUE(ResultRows().empty());
  ASSERT_TRUE(features().music_search().WaitForWorkers(20000));
  platform::http::SetTransferTimeouts(saved);
  EXPECT_EQ(CountLabel(), "搜索超时：服务器没有回应"_t);

  int port;
  {
    LoopbackServer gone([](const Request&) { return Reply(); });
    port = gone.port();
  }
  setenv("VOREL_SEARCH_HOST", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
  Search("refused");
  EXPECT_EQ(CountLabel(), "搜索失败：无法连接服务器"_t);
}

TEST_F(MusicSearchTest, LargePagesAndManyMatches) {
  // 5 MiB with three addresses spread over it.
  std::string big = ";http://first.example;" + std::string(2 << 20, 'x') +
                    ";http://middle.example;" + std::string(3 << 20, 'y') + ";http://last.example;";
  std::string many;
  for (int i = 0; i < 100000; ++i) many += ";http://m/" + std::to_string(i) + ";";
  LoopbackServer server([&](const Request& r) {
    return LoopbackServer::Simple(r.request_line.find("query=big") != std::string::npos ? big
                                                                                        : many);
  });
  UseHost("VOREL_SEARCH_HOST", server);

  Search("big");
  EXPECT_EQ(ResultRows(), (std::vector<Text>{"http://first.example", "http://middle.example",
                                             "http://last.example"}));
  EXPECT_EQ(CountLabel(), "3个"_t);

  Search("many");
  std::vector<Text> rows = ResultRows();
  ASSERT_EQ(rows.size(), 100000u);
  EXPECT_EQ(rows.front(), "http://m/0");
  EXPECT_EQ(rows.back(), "http://m/99999");
  EXPECT_EQ(CountLabel(), "100000个"_t);
}

}  // namespace
}  // namespace vorel::search_test
