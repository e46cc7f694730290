// How long a download that cannot finish takes to end, at the engine's production settings
// (999 attempts, waits of 5, 10, 20 and 30 s, 2 minutes without a byte), with the engine's
// clock running faster than real time. Each bound is on that clock. The clock runs only as fast
// as keeps the bounds meaningful on a loaded machine: every millisecond of real scheduling delay
// counts as `speed` milliseconds on it.

#include <gtest/gtest.h>

#include <atomic>

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
    Download download;
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

}  // namespace
}  // namespace vorel::download::testing
