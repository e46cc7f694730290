// The engine over real sockets against scripted servers on 127.0.0.1.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "download/download.h"
#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::string Endpoint(const LoopbackServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

TEST_F(EngineTest, FiveConnectionsWriteTheFileByteExact) {
  const std::string body = MakeBody(1000003);
  LoopbackServer server([&](const Request& r) {
    if (r.range_start) return ServeBody(r, body);
    // The probe's own body comes slowly at first, so the other four connections take their
    // segments before the probe could finish its own and take one of theirs.
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 1000003"}))
        .Send(body.substr(0, 1000))
        .Pause(100)
        .Send(body.substr(1000));
  });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/song.mp3"), "song.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());

  EXPECT_EQ(ReadFile(PathOf("song.mp3")), body) << recorder_.StatusDump();
  EXPECT_EQ(recorder_.end().value, 1000003);
  EXPECT_EQ(recorder_.end().value2, 1);
  EXPECT_EQ(recorder_.bytes_arrived(), 1000003);
  EXPECT_FALSE(download.HasTask());

  // The probe asks for the whole file; the others for their segments' starts.
  std::vector<Request> requests = server.Requests();
  ASSERT_GE(requests.size(), 5u);
  EXPECT_FALSE(requests[0].range_start.has_value());
  std::set<std::int64_t> starts;
  for (std::size_t i = 1; i < requests.size(); ++i) starts.insert(requests[i].range_start.value());
  EXPECT_THAT(starts, ::testing::IsSupersetOf({200000, 400000, 600000, 800000}));

  // Segments as notifications 6 and 7 report them: the last one takes the remainder.
  std::set<std::int64_t> segment_starts, segment_ends;
  for (const Event& e : recorder_.events()) {
    if (e.type == kFirstSegment || e.type == kFurtherSegment) {
      segment_starts.insert(e.value);
      segment_ends.insert(e.value2);
    }
  }
  EXPECT_THAT(segment_starts, ::testing::IsSupersetOf({0, 200000, 400000, 600000, 800000}));
  EXPECT_TRUE(segment_ends.count(1000003));
  EXPECT_TRUE(recorder_.HasStatus("正在连接 ["_t + Endpoint(server) + "]"));
  EXPECT_TRUE(recorder_.HasStatus("连接 ["_t + Endpoint(server) + "]成功"_t));
  EXPECT_TRUE(recorder_.HasStatus("连接["_t + Endpoint(server) + "]成功"_t));
}

TEST_F(EngineTest, SmallFileIsFetchedByTheProbeAloneWithNotificationsInQueueOrder) {
  const std::string body = MakeBody(15000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/small.mp3"), "small.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());

  EXPECT_EQ(ReadFile(PathOf("small.mp3")), body);
  EXPECT_EQ(server.Requests().size(), 1u);
  std::vector<std::int32_t> types;
  for (const Event& e : recorder_.events()) {
    if (types.empty() || types.back() != e.type || e.type != kBytesArrived) types.push_back(e.type);
  }
  EXPECT_THAT(types, ElementsAre(kConnectionStarted, kFirstSegment, kTotalSize, kBytesArrived,
                                 kConnectionDone, kTaskEnded));
  std::vector<Event> events = recorder_.events();
  EXPECT_EQ(events[1].value, 0);
  EXPECT_EQ(events[1].value2, 15000);
  EXPECT_EQ(events[2].value, 15000);
  EXPECT_EQ(events[events.size() - 2].value, 15000);  // offset reached
  EXPECT_EQ(events.back().pointer, nullptr);
}

TEST_F(EngineTest, DroppedConnectionRetriesFromTheFirstMissingByte) {
  const std::string body = MakeBody(100000);
  std::atomic<int> calls{0};
  LoopbackServer server([&](const Request& r) {
    if (calls++ == 0) {
      return Reply()
          .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 100000"}))
          .Send(body.substr(0, 40000));
    }
    return ServeBody(r, body);
  });
  TaskParam param = Param(server.Url("/drop.mp3"), "drop.mp3");
  param.ConnectionCount = 1;
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder_.WaitForEnd());

  EXPECT_EQ(ReadFile(PathOf("drop.mp3")), body) << recorder_.StatusDump();
  std::vector<Request> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].range_start, 40000);
  EXPECT_TRUE(recorder_.HasStatus("有错误发生"_t));
  EXPECT_TRUE(recorder_.HasStatus("等待0秒后重试"_t));  // the test seam waits 20 ms
  EXPECT_EQ(recorder_.end().value2, 1);
}

TEST_F(EngineTest, ConnectionWithNothingLeftTakesHalfOfTheLargestRemainingPart) {
  const std::string body = MakeBody(10000000);
  std::atomic<bool> slow_served{false};
  LoopbackServer server([&](const Request& r) {
    if (r.range_start == 4000000 && !slow_served.exchange(true)) {
      // The third segment comes at 100 KB per 200 ms; the others at once.
      Reply reply;
      reply.Send(HeaderText("HTTP/1.1 206 Partial Content",
                            {"Content-Range: bytes 4000000-9999999/10000000"}));
      for (std::size_t at = 4000000; at < 10000000; at += 100000) {
        reply.Send(body.substr(at, 100000)).Pause(200);
      }
      return reply;
    }
    return ServeBody(r, body);
  });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/big.mp3"), "big.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(recorder_.end().value2, 1) << recorder_.StatusDump();
  EXPECT_TRUE(ReadFile(PathOf("big.mp3")) == body);
  bool halved = false;
  for (const Request& r : server.Requests()) {
    halved = halved || (r.range_start > 4000000 && r.range_start < 6000000);
  }
  EXPECT_TRUE(halved);  // a finished connection took over the later half of the slow part
}

TEST_F(EngineTest, ReleaseStopsPromptlyAndReportsTheReceivedCount) {
  const std::string body = MakeBody(1000000);
  LoopbackServer server([&](const Request&) {
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 1000000"}))
        .Send(body.substr(0, 50000))
        .Stall();
  });
  TaskParam param = Param(server.Url("/stall.mp3"), "stall.mp3");
  param.ConnectionCount = 1;
  param.StopWait = 10000;
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder_.WaitUntil([&] { return download.ReceivedBytes() == 50000; }));
  EXPECT_TRUE(FolderEntries().empty());  // nothing under the final name while unfinished

  auto before = std::chrono::steady_clock::now();
  download.Release();
  auto took = std::chrono::steady_clock::now() - before;
  // Release waits for the connections; they leave at their next 10 ms step, far within the
  // 10 s StopWait (a loose bound, so a loaded machine does not fail it).
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  RecordProperty(
      "release_ms",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  EXPECT_FALSE(download.HasTask());
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(recorder_.end().value, 50000);
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_FALSE(Exists(PathOf("stall.mp3")));  // no partial file under the final name
}

TEST_F(EngineTest, ExistingFilesGetNumberedNamesBeside) {
  const std::string body = MakeBody(30000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  {
    std::FILE* f = std::fopen(PathOf("tune.mp3").c_str(), "wb");
    std::fputs("older", f);
    std::fclose(f);
  }
  for (const char* expected : {"tune(1).mp3", "tune(2).mp3"}) {
    Recorder recorder;
    TaskParam param = Param(server.Url("/tune.mp3"), "tune.mp3");
    param.NotifyCallback = recorder.Notifier();
    param.StatusCallback = recorder.Statuser();
    Download download(settings_);
    ASSERT_TRUE(download.Start(param));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(ReadFile(PathOf(expected)), body);
    EXPECT_TRUE(recorder.HasStatus("发现同名文件, 系统自动更名为"_t + PathOf(expected)));
    bool saw_18 = false;
    for (const Event& e : recorder.events()) saw_18 = saw_18 || (e.type == kSameNameExists);
    EXPECT_TRUE(saw_18);
  }
  EXPECT_EQ(ReadFile(PathOf("tune.mp3")), "older");
}

TEST_F(EngineTest, SameNameAnswersGiveUpOrTakeTheCallersPath) {
  const std::string body = MakeBody(5000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  std::fclose(std::fopen(PathOf("a.mp3").c_str(), "wb"));

  recorder_.set_same_name_answer([](const void*) { return 1; });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/a.mp3"), "a.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_TRUE(recorder_.HasStatus("发现同名文件, 用户选择放弃下载"_t));
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_THAT(FolderEntries(), ElementsAre("a.mp3"));

  Recorder second;
  const std::string chosen = PathOf("mine.mp3");
  second.set_same_name_answer([&](const void* task) {
    EXPECT_TRUE(SetTaskLocalPath(task, chosen));
    return 2;
  });
  TaskParam param = Param(server.Url("/a.mp3"), "a.mp3");
  param.NotifyCallback = second.Notifier();
  param.StatusCallback = second.Statuser();
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(second.WaitForEnd());
  EXPECT_EQ(ReadFile(chosen), body);
  EXPECT_TRUE(second.HasStatus("发现同名文件, 用户更名为"_t + chosen));
}

TEST_F(EngineTest, ReplyHeaderSplitOverThreeReceivesIsAssembled) {
  const std::string body = MakeBody(9000);
  const std::string header =
      HeaderText("HTTP/1.1 200 OK", {"Server: test", "Content-Length: 9000", "X-Pad: abc"});
  LoopbackServer server([&](const Request&) {
    return Reply()
        .Send(header.substr(0, 10))
        .Pause(30)
        .Send(header.substr(10, 25))
        .Pause(30)
        .Send(header.substr(35))
        .Send(body);
  });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/split.mp3"), "split.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(ReadFile(PathOf("split.mp3")), body) << recorder_.StatusDump();
}

TEST_F(EngineTest, RequestCarriesEncodedTargetAndAddressRulesHold) {
  const std::string body = MakeBody(3000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  std::string url = server.Url("/my song.mp3");
  url.replace(0, 4, "HTTP");  // the scheme in capitals
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(url, "x.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(ReadFile(PathOf("x.mp3")), body);
  ASSERT_EQ(server.Requests().size(), 1u);
  const Request request = server.Requests()[0];
  EXPECT_EQ(request.target, "/my%20song.mp3");
  EXPECT_EQ(request.Header("host"), Endpoint(server));
  EXPECT_EQ(request.Header("user-agent"), "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)");
  EXPECT_EQ(request.Header("referer"), "HTTP://" + Endpoint(server));

  // Without a "/" after the host nothing starts and nothing is reported.
  Download other(settings_);
  Recorder silent;
  TaskParam param = Param("http://" + Endpoint(server), "y.mp3");
  param.NotifyCallback = silent.Notifier();
  EXPECT_FALSE(other.Start(param));
  EXPECT_FALSE(other.Start(Param("gopher://" + Endpoint(server) + "/y.mp3", "y.mp3")));
  EXPECT_FALSE(other.HasTask());
  EXPECT_TRUE(silent.events().empty());
}

TEST_F(EngineTest, HostNamesAreLookedUpAsIpv4AndConnectedByAddress) {
  const std::string body = MakeBody(30000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  std::string port = std::to_string(server.port());
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param("http://localhost:" + port + "/n.mp3", "n.mp3")));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(ReadFile(PathOf("n.mp3")), body) << recorder_.StatusDump();
  EXPECT_TRUE(recorder_.HasStatus("正在解析域名 [localhost]"_t));
  EXPECT_TRUE(recorder_.HasStatus("正在连接 [127.0.0.1:"_t + port + "]"));
  EXPECT_EQ(server.Requests()[0].Header("host"), "localhost:" + port);
}

TEST_F(EngineTest, SpeedLimitedDownloadIsStillByteExact) {
  const std::string body = MakeBody(25000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  TaskParam param = Param(server.Url("/slow.mp3"), "slow.mp3");
  param.ConnectionCount = 1;
  param.SpeedLimit = 40000;  // 20480-byte reads, each followed by the rest of its second
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(ReadFile(PathOf("slow.mp3")), body);
  EXPECT_EQ(recorder_.end().value2, 1);
}

TEST_F(EngineTest, SecondStartOnABusyObjectIsRefused) {
  LoopbackServer server([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 100"})).Stall();
  });
  Download download(settings_);
  ASSERT_TRUE(download.Start(Param(server.Url("/a.mp3"), "a.mp3")));
  EXPECT_FALSE(download.Start(Param(server.Url("/b.mp3"), "b.mp3")));
  download.Release();
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(recorder_.end().value2, 0);
}

}  // namespace
}  // namespace vorel::download::testing
