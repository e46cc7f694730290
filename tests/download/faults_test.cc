// Hostile and broken servers: every case ends with a byte-exact file reported complete, or
// with a clear failure (status lines, notification 4 with value2 = 0, no file left behind).

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "download/download.h"
#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;

// Every case runs twice: with the test seam's shortened waits (3 attempts, 20 ms apart) and
// with the production settings (999 attempts, waits from 5 s to 30 s, 2 minutes without a byte)
// on an engine clock running 20 times faster than real time.
class FaultTest : public EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (production()) UseProductionSettings(20);
  }
  static bool production() { return GetParam(); }
  void ExpectFailedWithoutFile(const Event& end, const std::string& name) {
    EXPECT_EQ(end.type, kTaskEnded);
    EXPECT_EQ(end.value2, 0);
    EXPECT_FALSE(Exists(PathOf(name))) << recorder_.StatusDump();
    bool saw_9 = false;
    for (const Event& e : recorder_.events()) saw_9 = saw_9 || e.type == kConnectionFailed;
    EXPECT_TRUE(saw_9);
  }
};

Reply FullBody(const std::string& body) {
  return Reply()
      .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(body.size())}))
      .Send(body);
}

TEST_P(FaultTest, ServerIgnoringRangeStillGivesTheWholeFile) {
  const std::string body = MakeBody(700001);
  LoopbackServer server([&](const Request&) { return FullBody(body); });
  Event end = Run(Param(server.Url("/f.mp3"), "f.mp3"));
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(ReadFile(PathOf("f.mp3")), body);
  EXPECT_TRUE(recorder_.HasStatus("出现错误"_t));  // the connections whose ranges were ignored
  EXPECT_LE(recorder_.bytes_arrived(), 700001);
}

TEST_P(FaultTest, ProxyRequestsWithoutRangeStillGiveTheWholeFile) {
  const std::string body = MakeBody(300000);
  LoopbackServer proxy([&](const Request&) { return FullBody(body); });
  TaskParam param = Param("http://music.invalid/dir/p.mp3", "p.mp3");
  param.HttpProxy = "127.0.0.1:" + std::to_string(proxy.port());
  Event end = Run(param);
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(ReadFile(PathOf("p.mp3")), body);
  std::vector<Request> requests = proxy.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].target, "http://music.invalid/dir/p.mp3");
  EXPECT_EQ(requests[0].Header("host"), "music.invalid");
  for (const Request& r : requests) EXPECT_FALSE(r.range_start.has_value());
}

TEST_P(FaultTest, BytesBeyondTheAnnouncedLengthAreDropped) {
  const std::string body = MakeBody(15000);
  LoopbackServer server([&](const Request&) {
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 15000"}) + body + MakeBody(40000, 9))
        .Stall();
  });
  Event end = Run(Param(server.Url("/more.mp3"), "more.mp3"));
  EXPECT_EQ(end.value2, 1);
  EXPECT_EQ(ReadFile(PathOf("more.mp3")), body);
  EXPECT_EQ(recorder_.bytes_arrived(), 15000);
}

TEST_P(FaultTest, RangeConnectionDroppedMidSegmentResumesWhereItStopped) {
  const std::string body = MakeBody(1000000);
  std::atomic<bool> dropped{false};
  LoopbackServer server([&](const Request& r) {
    if (r.range_start == 400000 && !dropped.exchange(true)) {
      return Reply()
          .Send(HeaderText("HTTP/1.1 206 Partial Content",
                           {"Content-Range: bytes 400000-999999/1000000"}))
          .Send(body.substr(400000, 50000));
    }
    return ServeBody(r, body);
  });
  Event end = Run(Param(server.Url("/r.mp3"), "r.mp3"));
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(ReadFile(PathOf("r.mp3")), body);
  bool resumed = false;
  for (const Request& r : server.Requests()) resumed = resumed || r.range_start == 450000;
  EXPECT_TRUE(resumed);
}

TEST_P(FaultTest, WrongContentRangeFailsAtOnceAndHonestly) {
  const std::string body = MakeBody(200000);
  LoopbackServer server([&](const Request& r) {
    if (!r.range_start) return FullBody(body);
    return Reply()
        .Send(HeaderText("HTTP/1.1 206 Partial Content",
                         {"Content-Range: bytes 0-199999/200000", "Content-Length: 200000"}))
        .Send(body);
  });
  TaskParam param = Param(server.Url("/w.mp3"), "w.mp3");
  param.ConnectionCount = 2;
  const double start = EngineSeconds();
  Event end = Run(param);
  // The probe writes its half; the other half never arrives, so no file may remain.
  ExpectFailedWithoutFile(end, "w.mp3");
  EXPECT_TRUE(recorder_.HasStatus("服务器返回的数据范围与请求不符"_t)) << recorder_.StatusDump();
  // The server would send the same wrong range to every new attempt.
  EXPECT_LT(EngineSeconds() - start, 30);
  EXPECT_FALSE(recorder_.HasStatus("等待5秒后重试"_t)) << recorder_.StatusDump();
}

// A server that is not an HTTP server: it answers every connection with `answer` and closes.
class RawServer {
 public:
  explicit RawServer(std::string answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback socket";
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections_;
      char request[4096];
      pollfd c{client, POLLIN, 0};
      if (::poll(&c, 1, 2000) > 0) (void)::recv(client, request, sizeof request, 0);
      (void)::send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      ::shutdown(client, SHUT_WR);
      ::close(client);
    }
  }
  std::string answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Replies no attempt can turn into a download end the task within 30 s, where retrying would
// take the two minutes without a byte.
TEST_P(FaultTest, RepliesThatCanNeverSucceedFailWithinHalfAMinute) {
  struct Case {
    const char* what;
    std::string scheme;
    std::string answer;
    runtime::Text said;
  } cases[] = {
      {"another protocol", "http", "SSH-2.0-OpenSSH_9.2p1\r\n", "服务器的回应不是HTTP"_t},
      {"a status line that is not HTTP", "http", "ICY 200 OK\r\nicy-name: radio\r\n\r\n",
       "服务器的回应不是HTTP"_t},
      // A plain http server answers a TLS handshake as it answers any bad request.
      {"https on a plain server", "https",
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
       "不支持安全连接(https)"_t},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawServer server(c.answer);
    Recorder recorder;
    const std::string url = c.scheme + "://127.0.0.1:" + std::to_string(server.port()) + "/x.mp3";
    const double start = EngineSeconds();
    Event end = RunWith(Param(url, "x.mp3"), recorder);
    EXPECT_LT(EngineSeconds() - start, 30);
    EXPECT_EQ(end.value2, 0);
    bool said = false;
    for (const auto& [line, level] : recorder.statuses()) {
      said = said || line.find(c.said) != runtime::Text::npos;
    }
    EXPECT_TRUE(said) << recorder.StatusDump();
    EXPECT_EQ(server.connections(), 1);
    EXPECT_FALSE(Exists(PathOf("x.mp3")));
  }
}

// A client error other than 408 and 429 is final, whatever Retry-After says.
TEST_P(FaultTest, ErrorStatusesEndWithoutRetry) {
  struct Case {
    const char* status_line;
    runtime::Text text;
  } cases[] = {
      {"HTTP/1.1 404 Not Found", "出现错误"_t},
      {"HTTP/1.1 403 Forbidden", "出现错误"_t},
      {"HTTP/1.1 401 Unauthorized", "暂时不支持的返回, 返回号[401]"_t},
      {"HTTP/1.1 410 Gone", "暂时不支持的返回, 返回号[410]"_t},
      {"HTTP/1.1 2", "暂时不支持的返回, 返回号[0]"_t},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    LoopbackServer server([&](const Request&) {
      return Reply().Send(HeaderText(c.status_line, {"Content-Length: 3", "Retry-After: 1"}) +
                          "abc");
    });
    TaskParam param = Param(server.Url("/e.mp3"), "e.mp3");
    param.NotifyCallback = recorder.Notifier();
    param.StatusCallback = recorder.Statuser();
    Download download(settings_);
    ASSERT_TRUE(download.Start(param));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.end().value2, 0) << c.status_line;
    EXPECT_TRUE(recorder.HasStatus(c.text)) << c.status_line << "\n" << recorder.StatusDump();
    EXPECT_EQ(server.Requests().size(), 1u) << c.status_line;
    EXPECT_FALSE(Exists(PathOf("e.mp3")));
  }
}

TEST_P(FaultTest, UnknowableSizeCannotBeDownloaded) {
  for (std::vector<std::string> lines :
       {std::vector<std::string>{"Transfer-Encoding: chunked", "Content-Length: 5"},
        {"Content-Length: 99999999999999999999999"},
        {"Content-Length: -1"}}) {
    Recorder recorder;
    LoopbackServer server([&](const Request&) {
      return Reply().Send(HeaderText("HTTP/1.1 200 OK", lines) + "hello");
    });
    TaskParam param = Param(server.Url("/u.mp3"), "u.mp3");
    param.NotifyCallback = recorder.Notifier();
    param.StatusCallback = recorder.Statuser();
    Download download(settings_);
    ASSERT_TRUE(download.Start(param));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_TRUE(recorder.HasStatus("无法获得文件大小"_t));
    EXPECT_EQ(recorder.end().value2, 0);
    EXPECT_FALSE(Exists(PathOf("u.mp3")));
  }
}

TEST_P(FaultTest, HeaderOfTwentyKibibytesIsTakenOnePastSixtyFourIsRefused) {
  LoopbackServer fine([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK",
                                   {"Content-Length: 3", "X-Big: " + std::string(20 << 10, 'x')}) +
                        "abc");
  });
  Recorder recorder;
  TaskParam param = Param(fine.Url("/fine.mp3"), "fine.mp3");
  param.NotifyCallback = recorder.Notifier();
  {
    Download download(settings_);
    ASSERT_TRUE(download.Start(param));
    ASSERT_TRUE(recorder.WaitForEnd());
  }
  EXPECT_EQ(recorder.end().value2, 1);
  EXPECT_EQ(ReadFile(PathOf("fine.mp3")), "abc");

  LoopbackServer server([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK",
                                   {"Content-Length: 3", "X-Big: " + std::string(64 << 10, 'x')}) +
                        "abc");
  });
  Event end = Run(Param(server.Url("/h.mp3"), "h.mp3"));
  ExpectFailedWithoutFile(end, "h.mp3");
  EXPECT_TRUE(recorder_.HasStatus("HTTP返回头部信息过长"_t));
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_P(FaultTest, LineFeedOnlyHeaderIsAccepted) {
  const std::string body = MakeBody(1000);
  LoopbackServer server([&](const Request&) {
    return Reply().Send("HTTP/1.0 200 OK\nContent-Length: 1000\n\n" + body);
  });
  EXPECT_EQ(Run(Param(server.Url("/lf.mp3"), "lf.mp3")).value2, 1);
  EXPECT_EQ(ReadFile(PathOf("lf.mp3")), body);
}

TEST_P(FaultTest, StallLongerThanTheReceiveTimeOutIsRetriedThenGivenUp) {
  LoopbackServer server([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 100000"}) + "abc").Stall();
  });
  TaskParam param = Param(server.Url("/s.mp3"), "s.mp3");
  param.ConnectionCount = 1;
  param.ReceiveTimeout = 100;
  Event end = Run(param);
  ExpectFailedWithoutFile(end, "s.mp3");
  EXPECT_TRUE(recorder_.HasStatus("接收数据超时"_t));
  if (production()) {
    // Retried until two minutes have passed without a byte.
    EXPECT_TRUE(recorder_.HasStatus("已有120秒没有收到任何数据, 放弃下载"_t));
    EXPECT_GE(server.Requests().size(), 3u);
  } else {
    EXPECT_EQ(server.Requests().size(), 3u);  // the shortened retry limit of the test seam
  }
}

TEST_P(FaultTest, RefusedConnectionIsReportedAndRetried) {
  int port;
  {
    LoopbackServer gone([](const Request&) { return Reply(); });
    port = gone.port();
  }
  TaskParam param = Param("http://127.0.0.1:" + std::to_string(port) + "/x.mp3", "x.mp3");
  Event end = Run(param);
  EXPECT_EQ(end.value2, 0);
  EXPECT_TRUE(recorder_.HasStatus("连接 [127.0.0.1:"_t + std::to_string(port) + "]失败"_t));
  EXPECT_TRUE(recorder_.HasStatus(production() ? "等待5秒后重试"_t : "等待0秒后重试"_t));
  EXPECT_TRUE(recorder_.HasStatus("服务器拒绝连接, 已尝试3次, 放弃下载"_t));
}

TEST_P(FaultTest, RedirectsAreFollowedWithTheirCookie) {
  const std::string body = MakeBody(50000);
  std::string base;
  auto server_url = [&](const std::string& path) { return base + path; };
  LoopbackServer server([&](const Request& r) {
    if (r.target == "/abs") {
      return Reply().Send(
          HeaderText("HTTP/1.1 302 Found", {"Location: " + server_url("/start/a.mp3")}));
    }
    if (r.target == "/start/a.mp3") {
      return Reply().Send(
          HeaderText("HTTP/1.1 302 Found", {"Location: ../mid/b.mp3", "Set-Cookie: k=v; Path=/"}));
    }
    if (r.target == "/mid/b.mp3") {
      return Reply().Send(HeaderText("HTTP/1.1 301 Moved", {"Location: /final/c.mp3"}));
    }
    if (r.target == "/final/c.mp3") return ServeBody(r, body);
    return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {}));
  });
  base = server.Url("");
  Event end = Run(Param(server.Url("/abs"), "red.mp3"));
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(ReadFile(PathOf("red.mp3")), body);
  std::vector<Request> requests = server.Requests();
  ASSERT_GE(requests.size(), 4u);
  EXPECT_EQ(requests[1].target, "/start/a.mp3");
  EXPECT_EQ(requests[2].Header("cookie"), "k=v");
  EXPECT_EQ(requests[2].target, "/mid/b.mp3");  // the ".." resolved
  EXPECT_EQ(requests[2].Header("referer"), base + "/mid");
  EXPECT_TRUE(recorder_.HasStatus("重定向到 [/final/c.mp3]"_t));
  for (std::size_t i = 4; i < requests.size(); ++i) EXPECT_EQ(requests[i].target, "/final/c.mp3");
}

TEST_P(FaultTest, RedirectLoopsAndUnsupportedTargetsEnd) {
  struct Case {
    const char* location;
    runtime::Text text;
    std::size_t requests;
  } cases[] = {
      {"/loop.mp3", "获得重定向信息错误"_t, 11},
      {"", "获得重定向信息错误"_t, 1},
      {"ftp://127.0.0.1/x.mp3", "COOKIE过长或获得重定向信息错误或不支持的协议"_t, 1},
      {"gopher://127.0.0.1/x.mp3", "COOKIE过长或获得重定向信息错误或不支持的协议"_t, 1},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    LoopbackServer server([&](const Request&) {
      std::vector<std::string> lines;
      if (*c.location) lines.push_back(std::string("Location: ") + c.location);
      return Reply().Send(HeaderText("HTTP/1.1 302 Found", lines));
    });
    TaskParam param = Param(server.Url("/loop.mp3"), "loop.mp3");
    param.NotifyCallback = recorder.Notifier();
    param.StatusCallback = recorder.Statuser();
    Download download(settings_);
    ASSERT_TRUE(download.Start(param));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_TRUE(recorder.HasStatus(c.text)) << c.location << "\n" << recorder.StatusDump();
    EXPECT_EQ(server.Requests().size(), c.requests) << c.location;
    EXPECT_EQ(recorder.end().value2, 0);
  }
}

TEST_P(FaultTest, ServerChosenNamesStayInTheTargetFolder) {
  const std::string body = MakeBody(2000);
  std::filesystem::create_directory(PathOf("inner"));
  LoopbackServer server([&](const Request& r) {
    Reply reply = ServeBody(r, body);
    if (r.target == "/cd") {
      return Reply()
          .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 2000",
                                               "Content-Disposition: attachment; "
                                               "filename=\"../evil.mp3\""}))
          .Send(body);
    }
    return reply;
  });
  TaskParam param = Param(server.Url("/cd"), "inner/");
  EXPECT_EQ(Run(param).value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(ReadFile(PathOf("inner/_evil.mp3")), body);
  EXPECT_FALSE(Exists(PathOf("evil.mp3")));

  Recorder second;
  param = Param(server.Url("/x/..%2F..%2Fname%20here.mp3"), "inner/");
  param.NotifyCallback = second.Notifier();
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(second.WaitForEnd());
  EXPECT_EQ(ReadFile(PathOf("inner/_.._name here.mp3")), body);
}

TEST_P(FaultTest, FileThatCannotBeSizedGivesTheCreationError) {
  const std::string body = MakeBody(300000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100000;  // a full disk as far as this file is concerned
  setrlimit(RLIMIT_FSIZE, &small);
  Event end = Run(Param(server.Url("/big.mp3"), "big.mp3"));
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &saved, nullptr);
  ExpectFailedWithoutFile(end, "big.mp3");
  EXPECT_TRUE(recorder_.HasStatus(
      "创建文件错误，超出最大支持下载长度或磁盘不可写或磁盘没有空间或同名文件已存在"_t));
}

TEST_P(FaultTest, SizesPastFourGibibytesKeepAllTheirBits) {
  const std::int64_t total = (std::int64_t{4} << 30) + 100;
  struct statvfs fs {};
  ASSERT_EQ(statvfs(dir_.c_str(), &fs), 0);
  if (static_cast<std::int64_t>(fs.f_bavail) * fs.f_frsize < 3 * total) {
    GTEST_SKIP() << "not enough free space for a 4 GiB file";
  }
  LoopbackServer server([&](const Request& r) {
    std::int64_t start = r.range_start.value_or(0);
    std::string status = r.range_start ? "HTTP/1.1 206 Partial Content" : "HTTP/1.1 200 OK";
    std::vector<std::string> lines = {"Content-Length: " + std::to_string(total - start)};
    if (r.range_start) {
      lines.push_back("Content-Range: bytes " + std::to_string(start) + "-" +
                      std::to_string(total - 1) + "/" + std::to_string(total));
    }
    return Reply().Send(HeaderText(status, lines) + MakeBody(1000)).Stall();
  });
  TaskParam param = Param(server.Url("/huge.bin"), "huge.bin");
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder_.WaitUntil([&] { return server.Requests().size() == 5; }));
  ASSERT_TRUE(recorder_.WaitUntil([&] { return recorder_.bytes_arrived() == 5000; }));
  download.Release();
  ASSERT_TRUE(recorder_.WaitForEnd());

  std::int64_t reported_total = -1, last_end = -1;
  for (const Event& e : recorder_.events()) {
    if (e.type == kTotalSize) reported_total = e.value;
    if (e.type == kFirstSegment) last_end = std::max(last_end, e.value2);
  }
  EXPECT_EQ(reported_total, total);
  EXPECT_EQ(last_end, total);
  std::set<std::int64_t> starts;
  for (const Request& r : server.Requests()) {
    if (r.range_start) starts.insert(*r.range_start);
  }
  EXPECT_TRUE(starts.count(total / 5 * 4));  // past 2^31
  EXPECT_EQ(recorder_.end().value, 5000);
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_FALSE(Exists(PathOf("huge.bin")));
}

// A server that takes the connection and never answers the TLS handshake speaks something else
// (a TLS server answers within milliseconds): two silent handshakes end the download.
TEST_P(FaultTest, AServerSilentInTheTlsHandshakeIsGivenUpWithinHalfAMinute) {
  LoopbackServer mute([](const Request&) { return Reply().Stall(); });
  const std::string url = "https://127.0.0.1:" + std::to_string(mute.port()) + "/x.mp3";
  TaskParam param = Param(url, "x.mp3");
  if (!production()) param.ConnectTimeout = 500;  // real seconds: keep the case short
  const double start = EngineSeconds();
  Event end = Run(param);
  EXPECT_LT(EngineSeconds() - start, 30);
  EXPECT_EQ(end.value2, 0);
  EXPECT_TRUE(recorder_.HasStatus("服务器不回应安全连接(https), 已尝试2次, 放弃下载"_t))
      << recorder_.StatusDump();
  EXPECT_EQ(mute.connections(), 2);
}

INSTANTIATE_TEST_SUITE_P(Settings, FaultTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Production" : "Shortened";
                         });

}  // namespace
}  // namespace vorel::download::testing
