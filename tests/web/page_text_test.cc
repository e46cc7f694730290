#include "web/page_text.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "web/request_engine.h"

namespace vorel::web {
namespace {

using namespace runtime::literals;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(TextBetweenTest, CutsBetweenMarkers) {
  EXPECT_EQ(TextBetween("a=[x] b=[y]", "[", "]"), "x");
  EXPECT_EQ(TextBetween("a=[x] b=[y]", "[", "]", 5), "y");
  EXPECT_EQ(TextBetween("Name: Value;", "name:", ";"), " Value");
  EXPECT_EQ(TextBetween("Name: Value;", "name:", ";", 0, true), "");
  EXPECT_EQ(TextBetween("no start here", "[", "]"), "");
  EXPECT_EQ(TextBetween("] before [", "[", "]"), "");
  EXPECT_EQ(TextBetween("{\"pic\":\"p.jpg\",", "#引号pic#引号:#引号"_t, "#引号"_t), "p.jpg");
}

TEST(TextAfterColonTest, TakesTheRestAfterTheFirstColon) {
  EXPECT_EQ(TextAfterColon("Location:  http://h:81/x "), "http://h:81/x");
  EXPECT_EQ(TextAfterColon("no colon"), "");
}

TEST(UrlPartsTest, SplitsAddresses) {
  EXPECT_EQ(UrlHost("HTTP://WWW.Example.COM:8080/a"), "www.example.com");
  EXPECT_EQ(UrlHost("http://www.example.com:8080/a", false, true), "www.example.com:8080");
  EXPECT_EQ(UrlHost("http://a.b.example.com/x", true), "example.com");
  EXPECT_EQ(UrlHost("example.com/x"), "example.com");
  EXPECT_EQ(UrlHost("https://secure.example.com"), "secure.example.com");
  EXPECT_EQ(UrlPort("https://a.com"), 443);
  EXPECT_EQ(UrlPort("http://a.com"), 80);
  EXPECT_EQ(UrlPort("HTTPS://a.com:8443/x"), 8443);
  EXPECT_EQ(UrlPath("https://a.com"), "/");
  EXPECT_EQ(UrlPath("http://A.com/x/y?q=1"), "/x/y?q=1");
  // A host that also occurs inside the scheme is still found after it.
  EXPECT_EQ(UrlPath("http://p/x"), "/x");
}

TEST(RequestAddressTest, SplitsAddresses) {
  const Text address = "http://WWW.Example.COM:8080/path/x?q=1&r=2";
  EXPECT_EQ(RequestHost(address, false), "www.example.com");
  EXPECT_EQ(RequestHost(address, true), "www.example.com:8080");
  EXPECT_EQ(RequestPath(address), "/path/x?q=1&r=2");
  EXPECT_EQ(RequestPort(address), 8080);
  EXPECT_EQ(RequestPath("http://example.com"), "/");
  EXPECT_EQ(RequestPort("http://example.com"), 80);
  EXPECT_EQ(RequestHost("Example.com/a/b", false), "example.com");
  EXPECT_EQ(RequestPath("Example.com/a/b"), "/a/b");
  EXPECT_EQ(RequestPath("http://tt/x"), "/x");
  EXPECT_EQ(RequestHost("http://user:pw@h.com:81/x", false), "h.com");
  EXPECT_EQ(RequestPort("http://user:pw@h.com:81/x"), 81);
  EXPECT_EQ(RequestPort("http://h.com:abc/"), 0);
}

TEST(Utf8ConversionTest, ConvertsToUtf16AndCodePage936) {
  EXPECT_EQ(Utf8ToUtf16(B("A\xE4\xB8\xAD")), (Bytes{0x41, 0, 0x2D, 0x4E}));
  EXPECT_EQ(Utf8ToUtf16(B("\xF0\x9F\x98\x80")), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(Utf8ToAnsi(B("\xE4\xB8\xAD\xE6\x96\x87")), B("中文"_t));
  // Ill-formed input: each bad sequence becomes one replacement character, nothing is lost
  // around it.
  EXPECT_EQ(Utf8ToUtf16(B("a\xC3(b\xE4\xB8")),
            (Bytes{'a', 0, 0xFD, 0xFF, '(', 0, 'b', 0, 0xFD, 0xFF}));
  EXPECT_EQ(Utf8ToAnsi(B("a\xFFz")), B("a" + platform::Utf8ToGb18030Lossy("\uFFFD") + "z"));
  EXPECT_TRUE(Utf8ToAnsi({}).empty());
}

}  // namespace
}  // namespace vorel::web
