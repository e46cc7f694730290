// How long a download that cannot finish takes to end, at the engine's production settings
// (999 attempts, waits of 5, 10, 20 and 30 s, 2 minutes without a byte), with the engine's
// clock running faster than real time. Each bound is on that clock. The clock runs only as fast
// as keeps the bounds meaningful on a loaded machine: every millisecond of real scheduling delay
// counts as `speed` milliseconds on it.

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <functional>
#include <mutex>
#include <set>

#include "download/download.h"
#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;

class RetryTest : public EngineTest {
 protected:
  // Runs the download to its end; returns how long it took on the engine's clock, in seconds.
  double Timed(TaskParam param) {
    param.ConnectTimeout = param.SendTimeout = param.ReceiveTimeout = 20000;
    Download download(settings_);
    const double start = EngineSeconds();
    EXPECT_TRUE(download.Start(param));
    EXPECT_TRUE(recorder_.WaitForEnd());
    return EngineSeconds() - start;
  }
  std::vector<runtime::Text> Waits() const {
    std::vector<runtime::Text> waits;
    for (const auto& [line, level] : recorder_.statuses()) {
      if (line.rfind("等待"_t, 0) == 0) waits.push_back(line);
    }
    return waits;
  }
};

TEST_F(RetryTest, DeadPortEndsAfterThreeAttemptsWithinTwentySeconds) {
  UseProductionSettings(20);
  int port;
  {
    LoopbackServer gone([](const Request&) { return Reply(); });
    port = gone.port();
  }
  double took = Timed(Param("http://127.0.0.1:" + std::to_string(port) + "/x.mp3", "x.mp3"));
  EXPECT_EQ(recorder_.end().value2, 0);
  // Attempts at 0 s, 5 s and 15 s.
  EXPECT_GE(took, 14.0);
  EXPECT_LE(took, 20.0);
  EXPECT_EQ(Waits(), (std::vector<runtime::Text>{"等待5秒后重试"_t, "等待10秒后重试"_t}));
  EXPECT_TRUE(recorder_.HasStatus("服务器拒绝连接, 已尝试3次, 放弃下载"_t))
      << recorder_.StatusDump();
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(RetryTest, NameThatDoesNotResolveEndsAfterThreeAttemptsWithinTwentySeconds) {
  UseProductionSettings(20);
  double took = Timed(Param("http://no-such-host.invalid/x.mp3", "x.mp3"));
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_LE(took, 20.0);
  EXPECT_TRUE(recorder_.HasStatus("解析域名 [no-such-host.invalid]出错"_t));
  EXPECT_TRUE(recorder_.HasStatus("无法解析域名, 已尝试3次, 放弃下载"_t)) << recorder_.StatusDump();
  EXPECT_EQ(Waits().size(), 2u);
}

TEST_F(RetryTest, ClientErrorEndsAtTheFirstAttempt) {
  UseProductionSettings(20);
  LoopbackServer server([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 410 Gone", {"Content-Length: 0"}));
  });
  double took = Timed(Param(server.Url("/x.mp3"), "x.mp3"));
  EXPECT_LE(took, 5.0);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(recorder_.HasStatus("暂时不支持的返回, 返回号[410]"_t));
}

TEST_F(RetryTest, ServerThatNeverAnswersIsAbandonedAfterTwoMinutes) {
  UseProductionSettings(50);
  LoopbackServer server([](const Request&) { return Reply().Stall(); });
  double took = Timed(Param(server.Url("/x.mp3"), "x.mp3"));
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_GE(took, 119.0);
  EXPECT_LE(took, 135.0);
  EXPECT_TRUE(recorder_.HasStatus("已有120秒没有收到任何数据, 放弃下载"_t))
      << recorder_.StatusDump();
  // Time-outs at 20 s, 45 s, 75 s and 115 s, each followed by a longer wait.
  std::vector<runtime::Text> waits = Waits();
  ASSERT_GE(waits.size(), 3u);
  EXPECT_EQ(waits[0], "等待5秒后重试"_t);
  EXPECT_EQ(waits[1], "等待10秒后重试"_t);
  EXPECT_EQ(waits[2], "等待20秒后重试"_t);
  EXPECT_LE(server.Requests().size(), 5u);
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(RetryTest, WaitsGrowToThirtySecondsAndNoLonger) {
  UseProductionSettings(50);
  // Every reply breaks off after its header, the kind of failure that is retried.
  LoopbackServer server([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 100000"}));
  });
  TaskParam param = Param(server.Url("/x.mp3"), "x.mp3");
  param.ConnectionCount = 1;
  double took = Timed(param);
  EXPECT_LE(took, 135.0);
  std::vector<runtime::Text> waits = Waits();
  ASSERT_GE(waits.size(), 5u) << recorder_.StatusDump();
  EXPECT_EQ(waits[3], "等待30秒后重试"_t);
  EXPECT_EQ(waits[4], "等待30秒后重试"_t);
  EXPECT_TRUE(recorder_.HasStatus("已有120秒没有收到任何数据, 放弃下载"_t));
}

TEST_F(RetryTest, TricklingConnectionHandsItsPartToAnotherWithinAMinute) {
  UseProductionSettings(10);
  const std::string body = MakeBody(1000000);
  std::atomic<bool> trickled{false};
  LoopbackServer server([&](const Request& r) {
    if (r.range_start == 400000 && !trickled.exchange(true)) {
      // One byte every 3 s of the engine's clock: alive, far below the receive time-out, and
      // at that pace its 200,000 bytes would take a week.
      Reply reply;
      reply.Send(HeaderText("HTTP/1.1 206 Partial Content",
                            {"Content-Range: bytes 400000-999999/1000000"}));
      for (int i = 0; i < 1000; ++i) reply.Send(body.substr(400000 + i, 1)).Pause(300);
      return reply;
    }
    return ServeBody(r, body);
  });
  double took = Timed(Param(server.Url("/t.mp3"), "t.mp3"));
  EXPECT_EQ(recorder_.end().value2, 1) << recorder_.StatusDump();
  EXPECT_TRUE(ReadFile(PathOf("t.mp3")) == body);
  EXPECT_LE(took, 60.0);
  bool handed_over = false;
  for (const auto& [line, level] : recorder_.statuses()) {
    handed_over = handed_over || line.find("速度过慢"_t) != runtime::Text::npos;
  }
  EXPECT_TRUE(handed_over) << recorder_.StatusDump();
  int resumed = 0;
  for (const Request& r : server.Requests()) {
    resumed += r.range_start > 400000 && r.range_start < 400100;
  }
  EXPECT_EQ(resumed, 1);  // the new connection took over from the first byte missing
}

// "Not now" replies (5xx, 408, 429): the probe and the segment connections ask again, and
// the file still ends byte for byte complete.
TEST_F(RetryTest, ServerErrorsAndRequestTimeoutsAreAskedAgain) {
  const std::string body = MakeBody(500000);
  std::mutex mu;
  std::set<std::int64_t> refused_once;
  const char* const kRefusals[] = {"HTTP/1.1 503 Service Unavailable",
                                   "HTTP/1.1 408 Request Timeout", "HTTP/1.1 502 Bad Gateway"};
  LoopbackServer server([&](const Request& r) {
    std::lock_guard<std::mutex> lock(mu);
    const std::int64_t start = r.range_start.value_or(-1);
    if (refused_once.insert(start).second) {
      return Reply().Send(HeaderText(kRefusals[refused_once.size() % 3], {"Content-Length: 5"}) +
                          "busy!");
    }
    return ServeBody(r, body);
  });
  Event end = Run(Param(server.Url("/b.mp3"), "b.mp3"));
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_TRUE(ReadFile(PathOf("b.mp3")) == body);
  std::vector<Request> requests = server.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_FALSE(requests[0].range_start.has_value());
  EXPECT_FALSE(requests[1].range_start.has_value());  // the probe asked again
  EXPECT_GT(refused_once.size(), 2u);                 // and so did segment connections
  EXPECT_TRUE(recorder_.HasStatus("服务器暂时无法提供文件, 返回号[503]"_t));
}

// The waits a server names, in seconds or as a date, on the engine's clock (20 times faster
// than real time), each bounded by the longest wait of 30 s.
TEST_F(RetryTest, RetryAfterIsWaitedAsAskedUpToThirtySeconds) {
  UseProductionSettings(20);
  const std::string body = MakeBody(20000);
  struct Case {
    const char* what;
    std::function<std::string()> retry_after;
    double least;  // engine seconds between the refusal and the next request
    double most;
    std::vector<runtime::Text> waits;
  } cases[] = {
      {"seconds", [] { return std::string("2"); }, 2.0, 4.0, {"等待2秒后重试"_t}},
      {"an hour", [] { return std::string("3600"); }, 30.0, 33.0, {"等待30秒后重试"_t}},
      {"a date 3 s ahead",
       [] {
         char text[64];
         const std::time_t at = std::time(nullptr) + 3;
         std::tm tm{};
         gmtime_r(&at, &tm);
         std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
         return std::string(text);
       },
       2.0,
       5.0,
       {}},
      {"a date in the past",
       [] { return std::string("Sun, 06 Nov 1994 08:49:37 GMT"); },
       0.0,
       2.0,
       {"等待0秒后重试"_t}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recorder recorder;
    std::mutex mu;
    std::vector<double> asked;  // engine seconds of each request without a Range line
    LoopbackServer server([&](const Request& r) {
      std::lock_guard<std::mutex> lock(mu);
      if (r.range_start) return ServeBody(r, body);
      asked.push_back(EngineSeconds());
      if (asked.size() > 1) return ServeBody(r, body);
      return Reply().Send(HeaderText("HTTP/1.1 503 Service Unavailable",
                                     {"Retry-After: " + c.retry_after(), "Content-Length: 0"}));
    });
    TaskParam param = Param(server.Url("/a.mp3"), std::string("a") + c.what + ".mp3");
    Event end = RunWith(param, recorder);
    EXPECT_EQ(end.value2, 1) << recorder.StatusDump();
    std::lock_guard<std::mutex> lock(mu);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_GE(asked[1] - asked[0], c.least);
    EXPECT_LE(asked[1] - asked[0], c.most);
    std::vector<runtime::Text> waits;
    for (const auto& [line, level] : recorder.statuses()) {
      if (line.rfind("等待"_t, 0) == 0) waits.push_back(line);
    }
    if (c.waits.empty()) {
      // A date counts from the second the reply was read.
      ASSERT_EQ(waits.size(), 1u);
      EXPECT_TRUE(waits[0] == "等待3秒后重试"_t || waits[0] == "等待2秒后重试"_t);
    } else {
      EXPECT_EQ(waits, c.waits);
    }
  }
}

TEST_F(RetryTest, TooManyRequestsWaitsAsAskedElseBacksOff) {
  UseProductionSettings(20);
  const std::string body = MakeBody(20000);
  std::atomic<int> probes{0};
  LoopbackServer server([&](const Request& r) {
    if (r.range_start) return ServeBody(r, body);
    const int n = probes++;
    if (n == 0) {
      return Reply().Send(HeaderText("HTTP/1.1 429 Too Many Requests", {"Retry-After: 1"}));
    }
    if (n == 1) return Reply().Send(HeaderText("HTTP/1.1 429 Too Many Requests", {}));
    return ServeBody(r, body);
  });
  Timed(Param(server.Url("/r.mp3"), "r.mp3"));
  EXPECT_EQ(recorder_.end().value2, 1) << recorder_.StatusDump();
  EXPECT_TRUE(ReadFile(PathOf("r.mp3")) == body);
  // The second refusal names no wait: the growing wait goes on from where it stood.
  EXPECT_EQ(Waits(), (std::vector<runtime::Text>{"等待1秒后重试"_t, "等待10秒后重试"_t}));
  EXPECT_EQ(probes.load(), 3);
}

// A server that never stops saying "not now" is given up after five attempts: within 65 s
// with the growing waits, and within the two minutes without a byte when every reply asks for
// the longest wait.
TEST_F(RetryTest, ServerThatStaysUnavailableIsGivenUp) {
  UseProductionSettings(50);
  for (const char* retry_after : {"", "30"}) {
    SCOPED_TRACE(retry_after);
    Recorder recorder;
    LoopbackServer server([&](const Request&) {
      std::vector<std::string> lines = {"Content-Length: 0"};
      if (*retry_after != 0) lines.push_back(std::string("Retry-After: ") + retry_after);
      return Reply().Send(HeaderText("HTTP/1.1 500 Internal Server Error", lines));
    });
    TaskParam param = Param(server.Url("/n.mp3"), "n.mp3");
    param.ConnectTimeout = param.SendTimeout = param.ReceiveTimeout = 20000;
    const double start = EngineSeconds();
    Event end = RunWith(param, recorder);
    const double took = EngineSeconds() - start;
    EXPECT_EQ(end.value2, 0);
    if (*retry_after == 0) {
      EXPECT_GE(took, 64.0);
      EXPECT_LE(took, 75.0);
      EXPECT_EQ(server.Requests().size(), 5u);
      EXPECT_TRUE(recorder.HasStatus("服务器一直无法提供文件, 已尝试5次, 放弃下载"_t))
          << recorder.StatusDump();
    } else {
      EXPECT_GE(took, 119.0);
      EXPECT_LE(took, 135.0);
      // Asked at 0, 30, 60 and 90 s; a fifth time only if the attempt beats the stall limit.
      EXPECT_GE(server.Requests().size(), 4u);
      EXPECT_LE(server.Requests().size(), 5u);
    }
    EXPECT_TRUE(FolderEntries().empty());
  }
}

}  // namespace
}  // namespace vorel::download::testing
