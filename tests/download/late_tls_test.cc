// OpenSSL is loaded by the first https download, not with the engine: each case runs a
// download in a process of its own (download_child, which links the engine but not OpenSSL,
// and ends with code 3 when OpenSSL was mapped before its download started).

#include <gtest/gtest.h>
#include <signal.h>

#include "tests/download/engine_fixture.h"
#include "tests/download/test_certificates.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;

class LateTlsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    signal(SIGPIPE, SIG_IGN);
    setenv("SSL_CERT_FILE", TestCertificates().authority.c_str(), 1);  // for the child
  }
  void TearDown() override {
    EngineTest::TearDown();
    unsetenv("SSL_CERT_FILE");
  }
};

TEST_F(LateTlsTest, FirstHttpsDownloadLoadsOpenSslAndCompletes) {
  const std::string body = MakeBody(300007);
  LoopbackServer server(
      [&](const Request& r) { return ServeBody(r, body); },
      TlsOptions{TestCertificates().trusted_certificate, TestCertificates().trusted_key});
  const std::string errors = PathOf("errors.txt");
  pid_t child = SpawnChild({server.Url("/t.mp3"), PathOf("t.mp3")}, "", errors);
  EXPECT_EQ(ExitCode(child), 0) << ReadFile(errors);
  EXPECT_TRUE(ReadFile(PathOf("t.mp3")) == body);
  EXPECT_GE(server.Requests().size(), 2u);  // the range connections came over TLS too
}

TEST_F(LateTlsTest, WithoutOpenSslAnHttpsDownloadFailsOnceAndSaysWhy) {
  LoopbackServer server(
      [](const Request& r) { return ServeBody(r, "abc"); },
      TlsOptions{TestCertificates().trusted_certificate, TestCertificates().trusted_key});
  const std::string errors = PathOf("errors.txt");
  pid_t child = SpawnChild({server.Url("/n.mp3"), PathOf("n.mp3")}, VOREL_NO_OPENSSL_SHIM, errors);
  EXPECT_EQ(ExitCode(child), 1);
  const std::string said = ReadFile(errors);
  EXPECT_NE(said.find("无法加载安全连接库 libssl.so."_t), std::string::npos) << said;
  // The child has ended, but the server may not have accepted its connection yet.
  EXPECT_TRUE(server.WaitForConnections(1, 10000));
  EXPECT_EQ(server.connections(), 1);  // no retry: the library will not appear
  EXPECT_FALSE(Exists(PathOf("n.mp3")));

  // Plain http needs no TLS and still works in that process.
  LoopbackServer plain([](const Request& r) { return ServeBody(r, "abc"); });
  child = SpawnChild({plain.Url("/p.mp3"), PathOf("p.mp3")}, VOREL_NO_OPENSSL_SHIM, errors);
  EXPECT_EQ(ExitCode(child), 0) << ReadFile(errors);
  EXPECT_EQ(ReadFile(PathOf("p.mp3")), "abc");
}

}  // namespace
}  // namespace vorel::download::testing
