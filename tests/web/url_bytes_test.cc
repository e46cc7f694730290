#include "web/url_bytes.h"

#include <gtest/gtest.h>

#include "platform/http/testing.h"
#include "tests/testing/loopback_server.h"

namespace vorel::web {
namespace {

using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(ReadUrlBytesTest, RequestsThePathWithoutFragmentOverHttp10) {
  LoopbackServer server(
      [](const Request&) { return LoopbackServer::Simple(std::string("\x89PNG\0data", 9)); });
  Bytes b = ReadUrlBytes(server.Url("/cover.png?s=1#frag"));
  EXPECT_EQ(S(b), std::string("\x89PNG\0data", 9));
  const Request r = server.Requests().at(0);
  EXPECT_EQ(r.request_line, "GET /cover.png?s=1 HTTP/1.0");
  EXPECT_EQ(r.header_lines,
            (std::vector<std::string>{
                "Host: 127.0.0.1:" + std::to_string(server.port()),
                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*"}));
}

TEST(ReadUrlBytesTest, BodiesWithAndWithoutLengthAreReadWhole) {
  std::string big(300000, 'z');
  LoopbackServer server([&](const Request& r) {
    if (r.request_line.find("/nolength") != std::string::npos) {
      return Reply{"HTTP/1.0 200 OK\r\n\r\n" + big};
    }
    return LoopbackServer::Simple(big);
  });
  EXPECT_EQ(S(ReadUrlBytes(server.Url("/nolength"))), big);
  EXPECT_EQ(S(ReadUrlBytes(server.Url("/length"))), big);
}

TEST(ReadUrlBytesTest, BadAddressesAndServersGiveEmptyOrPartialBytes) {
  EXPECT_TRUE(ReadUrlBytes("").empty());
  EXPECT_TRUE(ReadUrlBytes("ftp://127.0.0.1/x").empty());
  EXPECT_TRUE(ReadUrlBytes("no scheme").empty());
  EXPECT_TRUE(ReadUrlBytes("http://127.0.0.1:99999/").empty());
  EXPECT_TRUE(ReadUrlBytes("http://127.0.0.1:1/").empty());
  LoopbackServer server([](const Request&) {
    return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst part"};
  });
  EXPECT_EQ(S(ReadUrlBytes(server.Url("/cut"))), "first part");
}

TEST(ReadUrlBytesTest, StalledServerEndsWithinTheTimeOut) {
  platform::http::SetTransferTimeouts({2000, 1});
  LoopbackServer server([](const Request&) {
    return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome", 0, true};
  });
  EXPECT_EQ(S(ReadUrlBytes(server.Url("/"))), "some");
  platform::http::SetTransferTimeouts({});
}

}  // namespace
}  // namespace vorel::web
