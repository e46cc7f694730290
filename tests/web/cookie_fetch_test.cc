// The page fetch with a cookie jar against a scripted loopback server.

#include "web/cookie_fetch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/http/testing.h"
#include "platform/http/wininet.h"
#include "tests/testing/loopback_server.h"

namespace vorel::web {
namespace {

using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;
using namespace runtime::literals;

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

constexpr char kAgent[] =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 73MQA; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

class CookieFetchTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::http::ClearCookieStore(); }
};

TEST_F(CookieFetchTest, GetSendsTheDefaultLinesInOrder) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple("hello"); });
  const std::string url = server.Url("/sound/info?sound_id=7");
  Text headers;
  EXPECT_EQ(S(FetchPageWithCookies(url, 0, {}, nullptr, nullptr, &headers)), "hello");
  EXPECT_EQ(headers, "Referer: " + url +
                         "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: "
                         "application/x-www-form-urlencoded");
  EXPECT_EQ(server.Requests().at(0).head,
            "GET /sound/info?sound_id=7 HTTP/1.1\r\nHost: 127.0.0.1:" +
                std::to_string(server.port()) + "\r\n" + kAgent + "\r\nReferer: " + url +
                "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
}

TEST_F(CookieFetchTest, PostFillsThePostBytesAndTakesTheCallersAgent) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple(""); });
  Text headers = "User-Agent: MyAgent\r\nReferer: http://r/";
  Bytes post;
  FetchPageWithCookies(server.Url("/p"), 1, "k=v", nullptr, nullptr, &headers, nullptr, false,
                       &post);
  EXPECT_EQ(S(post), "k=v");
  const Request r = server.Requests().at(0);
  EXPECT_EQ(r.request_line, "POST /p HTTP/1.1");
  EXPECT_EQ(r.body, "k=v");
  EXPECT_EQ(r.header_lines[1], "User-Agent: MyAgent");
  EXPECT_EQ(r.header_lines.back(), "Content-Length: 3");
}

TEST_F(CookieFetchTest, CookiesVariableIsSentMergedAndKeepsTheStoreOut) {
  LoopbackServer server([](const Request&) {
    return LoopbackServer::Simple(
        "", {"Set-Cookie: a=9; path=/", "Set-Cookie: b=deleted; path=/", "set-cookie: lower=1;",
             "Set-Cookie: nosemicolon=1", "location: /ignored"});
  });
  platform::http::SetTransferTimeouts({});
  Text jar = "a=1; b=2; c=3";
  Text returned, location;
  FetchPageWithCookies(server.Url("/"), 0, {}, &jar, &returned, nullptr, &location);
  EXPECT_EQ(server.Requests().at(0).header_lines.back(), "Cookie: a=1; b=2; c=3");
  // "set-cookie" in lower case is not recognised; a line without ";" gives an empty item.
  EXPECT_EQ(returned, "a=9;b=deleted;");
  EXPECT_EQ(jar, "a=9; c=3");
  // Without a Location line the location receives the header text.
  EXPECT_EQ(location.substr(0, 15), "HTTP/1.1 200 OK");
  // The request carried the no-cookies flag, so the store recorded nothing.
  char value[64];
  std::uint32_t size = sizeof value;
  EXPECT_FALSE(platform::http::InternetGetCookieA(server.Url("/").c_str(), nullptr, value, &size));
}

TEST_F(CookieFetchTest, MovedIsFollowedOnceWithThePathAppended) {
  LoopbackServer target([](const Request&) { return LoopbackServer::Simple("arrived"); });
  const std::string target_origin = "http://127.0.0.1:" + std::to_string(target.port());
  LoopbackServer origin([&](const Request&) {
    return LoopbackServer::Simple("", {"Location: " + target_origin},
                                  "HTTP/1.1 301 Moved Permanently");
  });
  Text location = "stale";
  EXPECT_EQ(S(FetchPageWithCookies(origin.Url("/a/b?c=1"), 0, {}, nullptr, nullptr, nullptr,
                                   &location, true)),
            "arrived");
  EXPECT_EQ(origin.Requests().size(), 1u);
  ASSERT_EQ(target.Requests().size(), 1u);
  EXPECT_EQ(target.Requests()[0].request_line, "GET /a/b?c=1 HTTP/1.1");
}

TEST_F(CookieFetchTest, MovedWithAPathOrRelativeLocationIsUsedAsItIs) {
  LoopbackServer server([](const Request& r) {
    if (r.request_line.rfind("GET /old/x", 0) == 0) {
      return LoopbackServer::Simple("", {"Location: new/place"}, "HTTP/1.1 301 Moved Permanently");
    }
    return LoopbackServer::Simple("new");
  });
  EXPECT_EQ(S(FetchPageWithCookies(server.Url("/old/x"), 0, {}, nullptr, nullptr, nullptr, nullptr,
                                   true)),
            "new");
  EXPECT_EQ(server.Requests().at(1).request_line, "GET /old/new/place HTTP/1.1");
}

TEST_F(CookieFetchTest, MovedWithAbsolutePathIsUsedAsItIsAndWithoutLocationNotFollowed) {
  LoopbackServer server([&](const Request& r) {
    if (r.request_line.rfind("GET /from", 0) == 0) {
      return LoopbackServer::Simple(
          "", {"Location: http://127.0.0.1:" + std::to_string(server.port()) + "/to?x=1"},
          "HTTP/1.1 301 Moved Permanently");
    }
    if (r.request_line.rfind("GET /nowhere", 0) == 0) {
      return LoopbackServer::Simple("stay", {}, "HTTP/1.1 301 Moved Permanently");
    }
    return LoopbackServer::Simple("to");
  });
  EXPECT_EQ(S(FetchPageWithCookies(server.Url("/from/a"), 0, {}, nullptr, nullptr, nullptr, nullptr,
                                   true)),
            "to");
  EXPECT_EQ(server.Requests().at(1).request_line, "GET /to?x=1 HTTP/1.1");
  EXPECT_EQ(S(FetchPageWithCookies(server.Url("/nowhere"), 0, {}, nullptr, nullptr, nullptr,
                                   nullptr, true)),
            "stay");
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(CookieFetchTest, MovedLoopEndsWithTheLastAnswer) {
  LoopbackServer server([&](const Request&) {
    return LoopbackServer::Simple("loop body", {"Location: /again"},
                                  "HTTP/1.1 301 Moved Permanently");
  });
  Text headers;
  Bytes body = FetchPageWithCookies(server.Url("/again"), 0, {}, nullptr, nullptr, nullptr, nullptr,
                                    true, nullptr, nullptr, &headers);
  EXPECT_EQ(S(body), "loop body");
  EXPECT_EQ(server.Requests().size(), 11u);
  EXPECT_EQ(headers.substr(0, 31), "HTTP/1.1 301 Moved Permanently\r");
}

TEST_F(CookieFetchTest, Utf8IsDetectedInTheFirst499BytesOrTheHeaders) {
  const std::string chinese = "\xE4\xB8\xAD";  // one character in UTF-8
  const std::string converted = "中"_t;
  LoopbackServer server([&](const Request& r) {
    std::string pad = r.request_line.find("/at499") != std::string::npos ? std::string(498, ' ')
                                                                         : std::string(499, ' ');
    std::vector<std::string> headers;
    if (r.request_line.find("/header") != std::string::npos) {
      headers.push_back("Content-Type: text/html; charset=UTF-8");
    }
    return LoopbackServer::Simple(pad + "utf-8" + chinese, headers);
  });
  auto fetch = [&](const std::string& path) { return S(FetchPageWithCookies(server.Url(path))); };
  EXPECT_EQ(fetch("/at499"), std::string(498, ' ') + "utf-8" + converted);
  EXPECT_EQ(fetch("/at500"), std::string(499, ' ') + "utf-8" + chinese);
  EXPECT_EQ(fetch("/at500/header"), std::string(499, ' ') + "utf-8" + converted);
}

TEST_F(CookieFetchTest, GbkBodyWithoutMarkerStaysAsItIs) {
  const std::string gbk = "中文"_t;
  LoopbackServer server([&](const Request&) { return LoopbackServer::Simple(gbk); });
  EXPECT_EQ(S(FetchPageWithCookies(server.Url("/"))), gbk);
}

// JSON is UTF-8 by its standard: a JSON reply whose header names no charset is read as UTF-8
// when its bytes are UTF-8; a charset the header names is kept.
TEST_F(CookieFetchTest, JsonWithoutACharsetIsReadAsUtf8) {
  const std::string utf8 =
      "{\"name\":\"\xE6\xB5\x8B\xE8\xAF\x95\xE6\xAD\x8C\xE6\x9B\xB2\"}";  // 测试歌曲
  const std::string converted = "{\"name\":\""_t + "测试歌曲"_t + "\"}";
  const std::string gbk_json = "{\"name\":\""_t + "测试歌曲"_t + "\"}";
  struct Case {
    const char* type;
    std::string body;
    std::string expected;
  } cases[] = {
      {"application/json", utf8, converted},
      {"Application/JSON ", utf8, converted},
      {"application/vnd.api+json", utf8, converted},
      {"application/json; charset=GBK", gbk_json, gbk_json},  // named: kept
      {"application/json", gbk_json, gbk_json},               // not UTF-8: kept
      {"text/plain", utf8, utf8},                             // not JSON: as before
  };
  for (const Case& c : cases) {
    LoopbackServer server([&](const Request&) {
      return LoopbackServer::Simple(c.body, {std::string("Content-Type: ") + c.type});
    });
    EXPECT_EQ(S(FetchPageWithCookies(server.Url("/api"))), c.expected) << c.type;
  }
}

TEST_F(CookieFetchTest, HeadersLongerThanAnyBufferStillGiveTheirCookies) {
  const std::string filler(6000, 'f');
  LoopbackServer server([&](const Request&) {
    return LoopbackServer::Simple("", {"X-Filler: " + filler, "Set-Cookie: late=1; path=/"});
  });
  Text returned;
  Text jar;
  FetchPageWithCookies(server.Url("/"), 0, {}, &jar, &returned);
  EXPECT_EQ(returned, "late=1");
  EXPECT_EQ(jar, "late=1");
}

TEST_F(CookieFetchTest, UnreachableServerGivesEmptyAndLeavesVariables) {
  Text headers = "X: 1", location = "keep";
  EXPECT_TRUE(
      FetchPageWithCookies("http://127.0.0.1:1/", 0, {}, nullptr, nullptr, &headers, &location)
          .empty());
  EXPECT_EQ(location, "keep");
}

// Resets the process's peak resident size to the current one; false where the kernel does not
// allow it.
bool ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return out.good();
}

// A "Vm...:" figure of /proc/self/status in bytes.
std::int64_t StatusBytes(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stoll(line.substr(field.size() + 1)) * 1024;
  }
  return -1;
}

TEST_F(CookieFetchTest, BodiesAreHeldOnceAndCappedAsTheyArrive) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer keeps freed blocks and adds guard bytes, so the peak "
                  "resident size says nothing about copies; the ordinary build measures it";
#endif
  constexpr std::int64_t kMiB = 1 << 20;
  // 100 MiB served from one shared string, so the server adds nothing per request.
  auto large = std::make_shared<const std::string>(100 * kMiB, 'x');
  auto medium = std::make_shared<const std::string>(40 * kMiB, 'y');
  LoopbackServer server([&](const Request& r) {
    const bool announced = r.request_line.find("/announced") != std::string::npos;
    const auto& body = r.request_line.find("/medium") != std::string::npos ? medium : large;
    return Reply()
        .Send("HTTP/1.1 200 OK\r\nConnection: close\r\n" +
              (announced ? "Content-Length: " + std::to_string(body->size()) + "\r\n"
                         : std::string()) +
              "\r\n")
        .SendShared(body);
  });
  struct Case {
    const char* path;
    std::size_t size;         // of the result
    std::int64_t peak_limit;  // growth of the peak resident size
  } cases[] = {
      {"/large", 0, 72 * kMiB},  // past the 64 MiB cap as it arrives
      {"/large/announced", 0, 72 * kMiB},
      {"/medium", 40 * kMiB, 48 * kMiB},  // one copy of a body under the cap
      {"/medium/announced", 40 * kMiB, 48 * kMiB},
  };
  // A first small fetch, so that what the HTTP library sets up once is not counted.
  ASSERT_EQ(FetchPageWithCookies(server.Url("/medium/announced")).size(), 40 * kMiB);
  for (const Case& c : cases) {
    if (!ResetPeakMemory()) GTEST_SKIP() << "the peak resident size cannot be reset here";
    const std::int64_t before = StatusBytes("VmRSS");
    const std::size_t size = FetchPageWithCookies(server.Url(c.path)).size();
    const std::int64_t growth = StatusBytes("VmHWM") - before;
    EXPECT_EQ(size, c.size) << c.path;
    EXPECT_LT(growth, c.peak_limit) << c.path << ": " << growth / kMiB << " MiB";
  }
}

}  // namespace
}  // namespace vorel::web
