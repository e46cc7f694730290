// https sources: the engine's own connections over TLS against loopback servers whose
// certificates the tests make.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include "download/download.h"
#include "tests/download/engine_fixture.h"
#include "tests/download/test_certificates.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;

class TlsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    signal(SIGPIPE, SIG_IGN);  // as the program does; OpenSSL writes with write()
    // Each task reads the trust store when it first needs it, so the variable is in force for
    // the tasks of this test.
    setenv("SSL_CERT_FILE", TestCertificates().authority.c_str(), 1);
  }
  void TearDown() override {
    EngineTest::TearDown();
    unsetenv("SSL_CERT_FILE");
  }
  static TlsOptions Trusted() {
    return {TestCertificates().trusted_certificate, TestCertificates().trusted_key};
  }
  bool HasStatusStartingWith(const runtime::Text& prefix) const {
    for (const auto& [line, level] : recorder_.statuses()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
};

TEST_F(TlsTest, TrustedCertificateGivesAByteExactFileOverFiveConnections) {
  const std::string body = MakeBody(1000003);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); }, Trusted());
  for (const char* host : {"127.0.0.1", "localhost"}) {
    Recorder recorder;
    RunWith(Param(server.Url("/s.mp3", host), std::string(host) + ".mp3"), recorder);
    EXPECT_EQ(recorder.end().value2, 1) << host << "\n" << recorder.StatusDump();
    EXPECT_TRUE(ReadFile(PathOf(std::string(host) + ".mp3")) == body) << host;
  }
  int ranges = 0;
  for (const Request& r : server.Requests()) ranges += r.range_start.has_value();
  EXPECT_GE(ranges, 8);  // the four further segments of each download came over TLS too
}

TEST_F(TlsTest, CertificatesThatDoNotVerifyFailAtOnceAndSaySo) {
  const CertificateFiles& files = TestCertificates();
  struct Case {
    TlsOptions options;
    const char* what;
  } cases[] = {
      {{files.self_signed_certificate, files.self_signed_key}, "self-signed"},
      {{files.other_name_certificate, files.other_name_key}, "another host's"},
  };
  for (const Case& c : cases) {
    LoopbackServer server([](const Request&) { return ServeBody({}, "abc"); }, c.options);
    Recorder recorder;
    RunWith(Param(server.Url("/x.mp3"), "x.mp3"), recorder);
    EXPECT_EQ(recorder.end().value2, 0) << c.what;
    bool said = false;
    for (const auto& [line, level] : recorder.statuses()) {
      said = said || line.rfind("服务器证书验证失败 [127.0.0.1]: "_t, 0) == 0;
    }
    EXPECT_TRUE(said) << c.what << "\n" << recorder.StatusDump();
    EXPECT_EQ(server.connections(), 1) << c.what;      // no retry: the certificate stays the same
    EXPECT_TRUE(server.Requests().empty()) << c.what;  // not a byte of the request went out
    EXPECT_FALSE(Exists(PathOf("x.mp3")));
  }
}

TEST_F(TlsTest, ServerHangingUpMidHandshakeIsRetriedThenGivenUp) {
  TlsOptions options = Trusted();
  options.hang_up_in_handshake = true;
  LoopbackServer server([](const Request&) { return Reply(); }, options);
  Event end = Run(Param(server.Url("/x.mp3"), "x.mp3"));
  EXPECT_EQ(end.value2, 0);
  EXPECT_TRUE(
      recorder_.HasStatus("安全连接 [127.0.0.1:"_t + std::to_string(server.port()) + "]失败"_t))
      << recorder_.StatusDump();
  EXPECT_EQ(server.connections(), 3);  // the shortened retry limit of the test seam
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(TlsTest, RedirectsGoFromHttpToHttpsButNeverBack) {
  const std::string body = MakeBody(200000);
  std::string secure_base, plain_base;
  LoopbackServer secure(
      [&](const Request& r) {
        if (r.target == "/down") {
          return Reply().Send(
              HeaderText("HTTP/1.1 302 Found", {"Location: " + plain_base + "/song.mp3"}));
        }
        return ServeBody(r, body);
      },
      Trusted());
  LoopbackServer plain([&](const Request& r) {
    if (r.target == "/up") {
      return Reply().Send(
          HeaderText("HTTP/1.1 301 Moved", {"Location: " + secure_base + "/song.mp3"}));
    }
    return ServeBody(r, body);
  });
  secure_base = secure.Url("");
  plain_base = plain.Url("");

  EXPECT_EQ(Run(Param(plain.Url("/up"), "up.mp3")).value2, 1) << recorder_.StatusDump();
  EXPECT_TRUE(ReadFile(PathOf("up.mp3")) == body);
  EXPECT_EQ(plain.Requests().size(), 1u);  // every range came from the https server

  Recorder recorder;
  TaskParam param = Param(secure.Url("/down"), "down.mp3");
  param.NotifyCallback = recorder.Notifier();
  param.StatusCallback = recorder.Statuser();
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder.WaitForEnd());
  EXPECT_EQ(recorder.end().value2, 0);
  EXPECT_TRUE(recorder.HasStatus("COOKIE过长或获得重定向信息错误或不支持的协议"_t));
  EXPECT_EQ(plain.Requests().size(), 1u);
  EXPECT_FALSE(Exists(PathOf("down.mp3")));
}

TEST_F(TlsTest, ReleaseDuringAnHttpsDownloadRemovesThePartialFile) {
  const std::string body = MakeBody(500000);
  LoopbackServer server(
      [&](const Request&) {
        return Reply()
            .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 500000"}))
            .Send(body.substr(0, 30000))
            .Stall();
      },
      Trusted());
  TaskParam param = Param(server.Url("/r.mp3"), "r.mp3");
  param.ConnectionCount = 1;
  Download download(settings_);
  ASSERT_TRUE(download.Start(param));
  ASSERT_TRUE(recorder_.WaitUntil([&] { return download.ReceivedBytes() == 30000; }));
  download.Release();
  ASSERT_TRUE(recorder_.WaitForEnd());
  EXPECT_EQ(recorder_.end().value, 30000);
  EXPECT_EQ(recorder_.end().value2, 0);
  EXPECT_TRUE(FolderEntries().empty());
}

}  // namespace
}  // namespace vorel::download::testing
