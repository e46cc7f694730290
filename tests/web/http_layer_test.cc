// The HTTP layer against a scripted loopback server: request bytes, cookies, redirects, limits.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/http/testing.h"
#include "platform/http/transfer_control.h"
#include "platform/http/wininet.h"
#include "tests/testing/loopback_server.h"
#include "tests/testing/process.h"

namespace vorel::platform::http {
namespace {

using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

// One request through the layer; the handles are closed at the end.
struct Exchange {
  bool sent = false;
  std::uint32_t error = 0;
  std::string headers;
  std::string body;
  bool read_ok = true;
  std::uint32_t read_error = 0;
};

struct RequestSpec {
  const char* verb = nullptr;
  std::string object = "/";
  std::uint32_t flags = 0;
  std::string added;
  std::string headers;
  std::string body;
  const char* user = nullptr;
  const char* password = nullptr;
  const char* const* accept = nullptr;
  std::uint32_t access = kOpenTypeDirect;
  const char* proxy = nullptr;
  std::uint64_t limit = 0;
  std::shared_ptr<const std::atomic<bool>> cancel;
};

Exchange Perform(int port, const RequestSpec& spec) {
  Exchange ex;
  HINTERNET internet = InternetOpenA("TestAgent/1", spec.access, spec.proxy, nullptr, 0);
  HINTERNET connection = InternetConnectA(internet, "127.0.0.1", static_cast<std::uint16_t>(port),
                                          spec.user, spec.password, kServiceHttp, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, spec.verb, spec.object.c_str(), "HTTP/1.1",
                                       nullptr, spec.accept, spec.flags, 0);
  EXPECT_NE(request, nullptr);
  if (spec.limit) InternetSetOptionA(request, kOptionMaxResponseBytes, &spec.limit, 8);
  if (spec.cancel) {
    EXPECT_TRUE(SetRequestCancelFlag(request, spec.cancel));
  }
  if (!spec.added.empty()) {
    HttpAddRequestHeadersA(request, spec.added.c_str(), 0xFFFFFFFFu, 0);
  }
  ex.sent = HttpSendRequestA(
      request, spec.headers.c_str(), static_cast<std::uint32_t>(spec.headers.size()),
      spec.body.empty() ? nullptr : spec.body.data(), static_cast<std::uint32_t>(spec.body.size()));
  if (!ex.sent) ex.error = InternetLastError();
  if (ex.sent) {
    std::uint32_t length = 0;
    EXPECT_FALSE(HttpQueryInfoA(request, kQueryRawHeadersCrlf, nullptr, &length, nullptr));
    EXPECT_EQ(InternetLastError(), kErrorInsufficientBuffer);
    ex.headers.assign(length, '\0');
    EXPECT_TRUE(HttpQueryInfoA(request, kQueryRawHeadersCrlf, ex.headers.data(), &length, nullptr));
    ex.headers.resize(length);
    char buf[1000];
    while (true) {
      std::uint32_t n = 0;
      if (!InternetReadFile(request, buf, sizeof buf, &n)) {
        ex.read_ok = false;
        ex.read_error = InternetLastError();
        break;
      }
      if (n == 0) break;
      ex.body.append(buf, n);
    }
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return ex;
}

std::string HostLine(int port) { return "Host: 127.0.0.1:" + std::to_string(port); }

class HttpLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearCookieStore(); }
  void TearDown() override { SetTransferTimeouts({}); }
};

TEST_F(HttpLayerTest, SendsTheCallersLinesInOrderAndNothingOfItsOwn) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple("ok"); });
  RequestSpec spec;
  spec.object = "/a b\x7F?q=\xD6\xD0";  // unsafe bytes are encoded, code page 936 bytes are not
  spec.added = "X-Added: 1\r\n";
  spec.headers = "Referer: http://r/\r\nX-Empty:\r\nAccept-Language: zh-cn\r\n";
  Exchange ex = Perform(server.port(), spec);
  ASSERT_TRUE(ex.sent);
  EXPECT_EQ(ex.body, "ok");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].head,
            "GET /a%20b%7F?q=\xD6\xD0 HTTP/1.1\r\n" + HostLine(server.port()) +
                "\r\nUser-Agent: TestAgent/1\r\nX-Added: 1\r\nReferer: http://r/\r\nX-Empty:\r\n"
                "Accept-Language: zh-cn\r\n\r\n");
}

TEST_F(HttpLayerTest, RawHeaderBlockIsTheWholeFinalResponseHead) {
  std::string big(6000, 'x');
  LoopbackServer server([&](const Request&) {
    return Reply{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\nX-Big: " + big +
                 "\r\nSet-Cookie: a=1\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "3\r\nabc\r\n2\r\nde\r\n0\r\nX-Trailer: t\r\n\r\n"};
  });
  Exchange ex = Perform(server.port(), {});
  ASSERT_TRUE(ex.sent);
  EXPECT_EQ(ex.headers, "HTTP/1.1 200 OK\r\nX-Big: " + big +
                            "\r\nSet-Cookie: a=1\r\nTransfer-Encoding: chunked\r\n\r\n");
  EXPECT_EQ(ex.body, "abcde");
}

TEST_F(HttpLayerTest, PostBodyGetsContentLengthButNoContentTypeOrExpect) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple(""); });
  RequestSpec spec;
  spec.verb = "post";
  spec.body = std::string(3000, 'd');
  ASSERT_TRUE(Perform(server.port(), spec).sent);
  const Request r = server.Requests().at(0);
  EXPECT_EQ(r.request_line, "post / HTTP/1.1");
  EXPECT_EQ(r.header_lines,
            (std::vector<std::string>{HostLine(server.port()), "User-Agent: TestAgent/1",
                                      "Content-Length: 3000"}));
  EXPECT_EQ(r.body, spec.body);
}

TEST_F(HttpLayerTest, CookiesAreRecordedPerHostAndSentWithoutTheNoCookiesFlag) {
  LoopbackServer server([](const Request& r) {
    if (r.request_line.find("/set") != std::string::npos) {
      return LoopbackServer::Simple("", {"Set-Cookie: sid=abc; Path=/x; Domain=other.example",
                                         "set-cookie: gone=1; Max-Age=0"});
    }
    return LoopbackServer::Simple("");
  });
  RequestSpec set;
  set.object = "/set";
  ASSERT_TRUE(Perform(server.port(), set).sent);
  ASSERT_TRUE(InternetSetCookieA("http://127.0.0.1/any", "manual", "m1; path=/"));

  RequestSpec plain;
  ASSERT_TRUE(Perform(server.port(), plain).sent);
  RequestSpec with_own;
  with_own.headers = "Cookie: mine=1; sid=own\r\n";
  ASSERT_TRUE(Perform(server.port(), with_own).sent);
  RequestSpec none;
  none.flags = kFlagNoCookies;
  ASSERT_TRUE(Perform(server.port(), none).sent);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].header_lines.back(), "Cookie: sid=abc; manual=m1");
  EXPECT_EQ(requests[2].header_lines.back(), "Cookie: mine=1; sid=own; manual=m1");
  EXPECT_EQ(requests[3].head.find("Cookie"), std::string::npos);

  char value[64];
  std::uint32_t size = sizeof value;
  ASSERT_TRUE(InternetGetCookieA("http://127.0.0.1", "sid", value, &size));
  EXPECT_EQ(std::string(value), "sid=abc");
  EXPECT_FALSE(InternetGetCookieA("http://other.example", nullptr, value, &size));
}

TEST_F(HttpLayerTest, NoCookiesFlagAlsoKeepsResponsesOutOfTheStore) {
  LoopbackServer server(
      [](const Request&) { return LoopbackServer::Simple("", {"Set-Cookie: sid=abc"}); });
  RequestSpec spec;
  spec.flags = kFlagNoCookies;
  ASSERT_TRUE(Perform(server.port(), spec).sent);
  char value[64];
  std::uint32_t size = sizeof value;
  EXPECT_FALSE(InternetGetCookieA("http://127.0.0.1/", nullptr, value, &size));
}

TEST_F(HttpLayerTest, FollowsRedirectsWithRelativeLocationsAndTurnsPostIntoGet) {
  LoopbackServer server([](const Request& r) {
    if (r.request_line.rfind("POST /dir/start", 0) == 0) {
      return LoopbackServer::Simple("moved", {"Location: next?x=1"}, "HTTP/1.1 302 Found");
    }
    return LoopbackServer::Simple("final");
  });
  RequestSpec spec;
  spec.verb = "POST";
  spec.object = "/dir/start";
  spec.body = "a=1";
  spec.headers = "Content-Length: 3\r\n";
  Exchange ex = Perform(server.port(), spec);
  ASSERT_TRUE(ex.sent);
  EXPECT_EQ(ex.body, "final");
  EXPECT_EQ(ex.headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].request_line, "GET /dir/next?x=1 HTTP/1.1");
  EXPECT_EQ(requests[1].head.find("Content-Length"), std::string::npos);
}

TEST_F(HttpLayerTest, StopsAfterTenRedirectsAndWithTheNoRedirectFlag) {
  LoopbackServer server([](const Request&) {
    return LoopbackServer::Simple("loop", {"Location: /again"}, "HTTP/1.1 301 Moved Permanently");
  });
  Exchange ex = Perform(server.port(), {});
  ASSERT_TRUE(ex.sent);
  EXPECT_EQ(server.Requests().size(), 11u);
  EXPECT_EQ(ex.body, "loop");

  RequestSpec once;
  once.flags = kFlagNoAutoRedirect;
  ex = Perform(server.port(), once);
  EXPECT_EQ(server.Requests().size(), 12u);
  EXPECT_EQ(ex.headers.substr(0, 31), "HTTP/1.1 301 Moved Permanently\r");
}

TEST_F(HttpLayerTest, RedirectToAnotherSchemeIsNotFollowed) {
  LoopbackServer server([](const Request&) {
    return LoopbackServer::Simple("here", {"Location: file:///etc/passwd"}, "HTTP/1.1 302 Found");
  });
  Exchange ex = Perform(server.port(), {});
  ASSERT_TRUE(ex.sent);
  EXPECT_EQ(ex.body, "here");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(HttpLayerTest, CredentialsAreOfferedWhenTheServerAsks) {
  LoopbackServer server([](const Request& r) {
    for (const auto& line : r.header_lines) {
      if (line == "Authorization: Basic dTpwdw==") return LoopbackServer::Simple("welcome");
    }
    return LoopbackServer::Simple("", {"WWW-Authenticate: Basic realm=\"x\""},
                                  "HTTP/1.1 401 Unauthorized");
  });
  RequestSpec spec;
  spec.user = "u";
  spec.password = "pw";
  Exchange ex = Perform(server.port(), spec);
  EXPECT_EQ(ex.body, "welcome");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head.find("Authorization"), std::string::npos);
}

TEST_F(HttpLayerTest, ProxyCarriesAbsoluteTargetForHttpOnly) {
  LoopbackServer proxy([](const Request&) { return LoopbackServer::Simple("via proxy"); });
  RequestSpec spec;
  spec.access = kOpenTypeProxy;
  std::string list = "http=127.0.0.1:" + std::to_string(proxy.port());
  spec.proxy = list.c_str();
  spec.object = "/p";
  Exchange ex = Perform(1, spec);  // nothing listens on port 1: only the proxy can answer
  EXPECT_EQ(ex.body, "via proxy");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].request_line, "GET http://127.0.0.1:1/p HTTP/1.1");
}

TEST_F(HttpLayerTest, BodyOverTheLimitFailsTheRead) {
  LoopbackServer server(
      [](const Request&) { return LoopbackServer::Simple(std::string(5000, 'b')); });
  RequestSpec spec;
  spec.limit = 4096;
  Exchange ex = Perform(server.port(), spec);
  ASSERT_TRUE(ex.sent);
  EXPECT_FALSE(ex.read_ok);
  EXPECT_EQ(ex.read_error, kErrorResponseTooLarge);
  EXPECT_EQ(ex.body.size(), 4096u);
}

TEST_F(HttpLayerTest, BadServersGiveFailuresNotHangs) {
  SetTransferTimeouts({2000, 1});
  struct BadCase {
    const char* name;
    Reply reply;
    bool sent;
    std::string body;
  };
  const BadCase cases[] = {
      {"closes at once", Reply{""}, false, ""},
      {"malformed status line", Reply{"HTP/1.1 200 OK\r\n\r\nx"}, false, ""},
      {"closes inside the head", Reply{"HTTP/1.1 200 OK\r\nContent-Le"}, false, ""},
      {"never answers", Reply{"", 0, true}, false, ""},
      {"stalls in the body", Reply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", 0, true},
       true, "abc"},
      {"closes early in the body", Reply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}, true,
       "abc"},
      {"body without length, ended by close", Reply{"HTTP/1.1 200 OK\r\n\r\nuntil close"}, true,
       "until close"},
      {"header lines without a colon or with control bytes",
       Reply{"HTTP/1.1 200 OK\r\nno colon\r\n\x01\x7f: \xff\r\nContent-Length: 2\r\n\r\nok"}, false,
       ""},
      {"slow but steady", Reply{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nslow", 20}, true,
       "slow"},
  };
  for (const BadCase& c : cases) {
    LoopbackServer server([&](const Request&) { return c.reply; });
    Exchange ex = Perform(server.port(), {});
    EXPECT_EQ(ex.sent, c.sent) << c.name;
    EXPECT_EQ(ex.body, c.body) << c.name;
  }
}

TEST_F(HttpLayerTest, CancelFlagStopsAStalledTransfer) {
  LoopbackServer server([](const Request&) { return Reply{"", 0, true}; });
  auto flag = std::make_shared<std::atomic<bool>>(false);
  Exchange ex;
  RequestSpec spec;
  spec.cancel = flag;
  std::thread worker([&] { ex = Perform(server.port(), spec); });
  ASSERT_TRUE(server.WaitForRequests(1, 10000));
  flag->store(true);
  worker.join();
  EXPECT_FALSE(ex.sent);
  EXPECT_EQ(ex.error, kErrorOperationCancelled);
}

// A TLS server with a certificate made for the test, run by the openssl tool.
class SelfSignedTlsServer {
 public:
  SelfSignedTlsServer() {
    char dir_template[] = "/tmp/vorel-tls-XXXXXX";
    dir_ = mkdtemp(dir_template);
    const std::string make_cert =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
        "/CN=127.0.0.1 -keyout " +
        dir_ + "/key.pem -out " + dir_ + "/cert.pem >/dev/null 2>&1";
    if (std::system(make_cert.c_str()) != 0) return;
    port_ = FreePort();
    const std::string port = std::to_string(port_), cert = dir_ + "/cert.pem",
                      key = dir_ + "/key.pem";
    const char* argv[] = {"openssl", "s_server",   "-quiet", "-www",      "-accept", port.c_str(),
                          "-cert",   cert.c_str(), "-key",   key.c_str(), nullptr};
    if (posix_spawnp(&pid_, "openssl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = 0;
      return;
    }
    // The tool takes a moment to listen; wait for it, bounded.
    for (int i = 0; i < 100 && !Listening(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~SelfSignedTlsServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::system(("rm -rf " + dir_).c_str());
  }
  bool running() const { return pid_ > 0 && Listening(); }
  int port() const { return port_; }

 private:
  static int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
  }
  bool Listening() const {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port_));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
  }
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = 0;
};

TEST_F(HttpLayerTest, HttpsRefusesACertificateNobodyVouchesFor) {
  SelfSignedTlsServer tls;
  if (!tls.running()) GTEST_SKIP() << "the openssl tool could not start a TLS server";
  RequestSpec spec;
  spec.flags = kFlagSecure;
  Exchange ex = Perform(tls.port(), spec);
  EXPECT_FALSE(ex.sent);
  EXPECT_EQ(ex.error, kErrorSecureFailure);
}

TEST_F(HttpLayerTest, LineBreaksCannotStartHeaderLinesOfTheirOwn) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple(""); });
  HINTERNET internet = InternetOpenA("A\r\nX-Injected: 1", kOpenTypeDirect, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", static_cast<std::uint16_t>(server.port()), nullptr,
                       nullptr, kServiceHttp, 0, 0);
  EXPECT_EQ(HttpOpenRequestA(connection, "GET / HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET", "/", nullptr,
                             nullptr, nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(InternetLastError(), kErrorInvalidParameter);
  HINTERNET request = HttpOpenRequestA(connection, nullptr, "/", nullptr, nullptr, nullptr, 0, 0);
  ASSERT_TRUE(HttpSendRequestA(request, "X-A: 1\nX-B: 2", 0xFFFFFFFFu, nullptr, 0));
  const Request r = server.Requests().at(0);
  EXPECT_EQ(r.header_lines[1], "User-Agent: A  X-Injected: 1");
  EXPECT_EQ(r.header_lines[2], "X-A: 1");
  EXPECT_EQ(r.header_lines[3], "X-B: 2");
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

TEST_F(HttpLayerTest, StaleAndWrongHandlesAreRejected) {
  HINTERNET internet = InternetOpenA("a", kOpenTypeDirect, nullptr, nullptr, 0);
  EXPECT_EQ(HttpOpenRequestA(internet, "GET", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(InternetLastError(), kErrorIncorrectHandleType);
  EXPECT_TRUE(InternetCloseHandle(internet));
  EXPECT_FALSE(InternetCloseHandle(internet));
  EXPECT_EQ(InternetConnectA(internet, "h", 80, nullptr, nullptr, kServiceHttp, 0, 0), nullptr);
  EXPECT_EQ(InternetLastError(), kErrorInvalidHandle);
}

TEST_F(HttpLayerTest, NumberAnswersSaturateInsteadOfWrapping) {
  // 2^32 + 100: wrapped into 32 bits it would read as a 100-byte body.
  LoopbackServer server([](const Request&) {
    return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 4294967396\r\n\r\nabc"};
  });
  HINTERNET internet = InternetOpenA("TestAgent/1", kOpenTypeDirect, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", static_cast<std::uint16_t>(server.port()), nullptr,
                       nullptr, kServiceHttp, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connection, nullptr, "/", "HTTP/1.1", nullptr, nullptr, 0, 0);
  ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
  constexpr std::uint32_t kFlagNumber = 0x20000000;
  std::uint32_t number = 0;
  std::uint32_t length = sizeof number;
  EXPECT_TRUE(
      HttpQueryInfoA(request, kQueryContentLength | kFlagNumber, &number, &length, nullptr));
  EXPECT_EQ(number, 0xFFFFFFFFu);
  length = sizeof number;
  EXPECT_TRUE(HttpQueryInfoA(request, kQueryStatusCode | kFlagNumber, &number, &length, nullptr));
  EXPECT_EQ(number, 200u);
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

}  // namespace
}  // namespace vorel::platform::http
