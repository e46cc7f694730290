// Addresses, requests, redirects and reply headers: the pure protocol pieces.

#include <gtest/gtest.h>

#include <string>

#include "download/internal/http_request.h"
#include "download/internal/response_header.h"
#include "download/transfer_address.h"

namespace vorel::download::internal {
namespace {

TEST(ParseTransferAddressTest, RecognisesKindsPortsAndHostParts) {
  struct Case {
    const char* address;
    AddressKind kind;
    int port;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://example.org/a/b.mp3", kHttp, 80, "example.org", "/a/b.mp3"},
      {"HTTP://Example.org/X", kHttp, 80, "Example.org", "/X"},
      {"hTtP://h:8080/", kHttp, 8080, "h:8080", "/"},
      {"ftp://user@h:2121/f", kFtp, 2121, "user@h:2121", "/f"},
      {"ftp://user:pw@h/f", kFtp, 21, "user:pw@h", "/f"},
      {"mms://h/s", kMms, 1755, "h", "/s"},
      {"mmst://h/s", kMms, 1755, "h", "/s"},
      {"rtsp://h/s", kRtsp, 554, "h", "/s"},
      {"http://example.org", kHttp, 80, "", ""},  // no "/" after the host
      {"http:///path", kHttp, 80, "", ""},
      {"http://h:0/x", kHttp, 80, "", ""},
      {"http://h:99999/x", kHttp, 80, "", ""},
      {"http://h:8a/x", kHttp, 80, "", ""},
      {"http://bad\r\nhost/x", kHttp, 80, "", ""},
      {"https://h/x", kHttp, 443, "h", "/x"},
      {"HTTPS://h:8443/x", kHttp, 8443, "h:8443", "/x"},
      {"https:/h/x", kNoKind, 0, "", ""},
      // A user name never reaches the Host line; a "?" or "#" cannot be part of a host.
      {"http://user:pw@h:8080/x", kHttp, 8080, "h:8080", "/x"},
      {"https://a@b@h/x", kHttp, 443, "h", "/x"},
      {"http://user@/x", kHttp, 80, "", ""},
      {"http://h?q=1/x", kHttp, 80, "", ""},
      {"http://h#top/x", kHttp, 80, "", ""},
      {"", kNoKind, 0, "", ""},
      {"h", kNoKind, 0, "", ""},
  };
  for (const Case& c : cases) {
    TransferAddress a = ParseTransferAddress(c.address);
    EXPECT_EQ(a.kind, c.kind) << c.address;
    EXPECT_EQ(a.host, c.host) << c.address;
    EXPECT_EQ(a.path, c.path) << c.address;
    EXPECT_EQ(a.secure, c.port == 443 || c.port == 8443) << c.address;
    if (!a.host.empty()) {
      EXPECT_EQ(a.port, c.port) << c.address;
    }
  }
}

TEST(BuildHttpRequestTest, DirectRequestHasItsLinesInOrder) {
  EXPECT_EQ(
      BuildHttpRequest("", "/a%20b.mp3", "h:81", "http://h:81", kUserAgent, "Range: bytes=5-\r\n"),
      "GET /a%20b.mp3 HTTP/1.1\r\n"
      "Host: h:81\r\n"
      "Accept: */*\r\n"
      "Referer: http://h:81\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
      "Range: bytes=5-\r\n"
      "Pragma: no-cache\r\n"
      "Cache-Control: no-cache\r\n"
      "Connection: close\r\n\r\n");
}

TEST(BuildHttpRequestTest, ProxyRequestDropsTheExtraLine) {
  EXPECT_EQ(
      BuildHttpRequest("p:3128", "http://h/x", "h", "http://h", "agent", "Range: bytes=5-\r\n"),
      "GET http://h/x HTTP/1.1\r\n"
      "Host: h\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
      "Proxy-Connection: Keep-Alive\r\n\r\n\r\n");
}

TEST(BuildHttpRequestTest, LongPartsAreNeitherCutNorOverflowing) {
  std::string target = "/" + std::string(5000, 'a');
  std::string cookie = "Cookie: " + std::string(4000, 'c') + "\r\n";
  std::string referer = "http://h/" + std::string(2000, 'r');
  std::string request = BuildHttpRequest("", target, "h", referer, kUserAgent, cookie);
  EXPECT_NE(request.find("GET " + target + " HTTP/1.1\r\n"), std::string::npos);
  EXPECT_NE(request.find(cookie), std::string::npos);
  EXPECT_NE(request.find("Referer: " + referer + "\r\n"), std::string::npos);
}

TEST(EncodeTargetTest, SpacesAndControlBytesCannotReachTheRequestLine) {
  EXPECT_EQ(EncodeTarget("/a b/c d.mp3"), "/a%20b/c%20d.mp3");
  EXPECT_EQ(EncodeTarget("/x\r\nHost: evil"), "/x%0D%0AHost:%20evil");
  EXPECT_EQ(EncodeTarget("/\x7f\xb8\xe8"), "/%7F\xb8\xe8");  // code page 936 bytes stay
}

TEST(MakeRequestPartsTest, DefaultRefererIsTheAddressUpToItsLastSlash) {
  std::string url = "http://h/dir/song.mp3";
  RequestParts parts = MakeRequestParts(url, ParseTransferAddress(url), "", "");
  EXPECT_EQ(parts.target, "/dir/song.mp3");
  EXPECT_EQ(parts.referer, "http://h/dir");
  std::string long_url = "http://h/" + std::string(2000, 'd') + "/x";
  EXPECT_EQ(MakeRequestParts(long_url, ParseTransferAddress(long_url), "", "").referer, "http://h");
  RequestParts proxied = MakeRequestParts(url, ParseTransferAddress(url), "p:8080", "given");
  EXPECT_EQ(proxied.target, url);
  EXPECT_EQ(proxied.referer, "given");
}

TEST(MakeRequestPartsTest, TheTargetLosesFragmentAndDotSegments) {
  const std::string url = "http://h/a/./b/../song.mp3?x=/../y#t=10";
  EXPECT_EQ(MakeRequestParts(url, ParseTransferAddress(url), "", "").target, "/a/song.mp3?x=/../y");
  EXPECT_EQ(MakeRequestParts(url, ParseTransferAddress(url), "p:1", "").target,
            "http://h/a/song.mp3?x=/../y");
}

TEST(RebuildForRedirectTest, FollowsAbsoluteAndRelativeLocations) {
  auto start = [] {
    std::string url = "http://h/dir/old.mp3";
    return MakeRequestParts(url, ParseTransferAddress(url), "", "");
  };
  struct Case {
    const char* location;
    const char* host;
    const char* target;
    const char* referer;
  } cases[] = {
      {"http://other:81/new/x.mp3", "other:81", "/new/x.mp3", "http://other:81/new"},
      {"HTTP://other/x.mp3", "other", "/x.mp3", "HTTP://other"},
      {"x.mp3", "h", "/dir/x.mp3", "http://h/dir"},
      {"/top/x.mp3", "h", "/top/x.mp3", "http://h/top"},
      {"sub/x y.mp3", "h", "/dir/sub/x%20y.mp3", "http://h/dir/sub"},
      {"../up/x.mp3", "h", "/up/x.mp3", "http://h/up"},
      {"./a/../b/./c.mp3?q=1/2#part", "h", "/dir/b/c.mp3?q=1/2", "http://h/dir/b"},
      {"../../../x.mp3", "h", "/x.mp3", "http://h"},
      {"/a/./b/../c.mp3", "h", "/a/c.mp3", "http://h/a"},
      {"?v=2", "h", "/dir/old.mp3?v=2", "http://h/dir"},
      {"//cdn:8080/x.mp3", "cdn:8080", "/x.mp3", "http://cdn:8080"},
      {"HTTPS://s/m/x.mp3", "s", "/m/x.mp3", "HTTPS://s/m"},
      // Absolute ones too lose dot segments and fragments; an empty path is the root.
      {"http://other/a/./b/../c.mp3#t=3", "other", "/a/c.mp3", "http://other/a"},
      {"http://other/../x.mp3?p=/../q", "other", "/x.mp3?p=/../q", "http://other"},
      {"http://other", "other", "/", "http://other"},
      {"http://other?v=1", "other", "/?v=1", "http://other"},
      {"http://u:pw@other:81/x.mp3", "other:81", "/x.mp3", "http://other:81"},
  };
  for (const Case& c : cases) {
    RequestParts parts = start();
    ResponseHeader reply;
    reply.location = c.location;
    ASSERT_TRUE(RebuildForRedirect(parts, reply)) << c.location;
    EXPECT_EQ(parts.host, c.host) << c.location;
    EXPECT_EQ(parts.target, c.target) << c.location;
    EXPECT_EQ(parts.referer, c.referer) << c.location;
    EXPECT_EQ(parts.extra_line, "");
    EXPECT_EQ(parts.tls, c.location[0] == 'H' && c.location[4] == 'S') << c.location;
  }
}

TEST(RebuildForRedirectTest, HttpsIsNeverDowngradedAndKeepsItsScheme) {
  std::string url = "https://s/dir/old.mp3";
  auto start = [&] { return MakeRequestParts(url, ParseTransferAddress(url), "", ""); };
  ResponseHeader reply;
  for (const char* location : {"http://s/x.mp3", "HTTP://other/x.mp3"}) {
    RequestParts parts = start();
    reply.location = location;
    EXPECT_FALSE(RebuildForRedirect(parts, reply)) << location;
  }
  RequestParts parts = start();
  EXPECT_TRUE(parts.tls);
  reply.location = "../x.mp3";
  ASSERT_TRUE(RebuildForRedirect(parts, reply));
  EXPECT_TRUE(parts.tls);
  EXPECT_EQ(parts.target, "/x.mp3");
  EXPECT_EQ(parts.referer, "https://s");
  reply.location = "//cdn/y.mp3";
  ASSERT_TRUE(RebuildForRedirect(parts, reply));
  EXPECT_TRUE(parts.tls);
  EXPECT_EQ(parts.host, "cdn");
  // A tunnel through a proxy is not made, so https cannot go that way.
  std::string plain = "http://h/a.mp3";
  RequestParts proxied = MakeRequestParts(plain, ParseTransferAddress(plain), "p:1", "");
  reply.location = "https://s/x.mp3";
  EXPECT_FALSE(RebuildForRedirect(proxied, reply));
}

TEST(RemoveDotSegmentsTest, FollowsTheExamplesOfRfc3986) {
  EXPECT_EQ(RemoveDotSegments("/a/b/c/./../../g"), "/a/g");
  EXPECT_EQ(RemoveDotSegments("mid/content=5/../6"), "mid/6");
  EXPECT_EQ(RemoveDotSegments("/b/c/.."), "/b/");
  EXPECT_EQ(RemoveDotSegments("/b/c/."), "/b/c/");
  EXPECT_EQ(RemoveDotSegments("/../../g"), "/g");
  EXPECT_EQ(RemoveDotSegments("/g.."), "/g..");
  EXPECT_EQ(RemoveDotSegments("/..g/./h"), "/..g/h");
}

TEST(RebuildForRedirectTest, RefusesOtherSchemesAndOversizedCookies) {
  std::string url = "http://h/dir/old.mp3";
  for (const char* location : {"ftp://h/x", "FTP://h/x", "mailto:a@b", "http://", "https://"}) {
    RequestParts parts = MakeRequestParts(url, ParseTransferAddress(url), "", "");
    ResponseHeader reply;
    reply.location = location;
    EXPECT_FALSE(RebuildForRedirect(parts, reply)) << location;
  }
  RequestParts parts = MakeRequestParts(url, ParseTransferAddress(url), "", "");
  ResponseHeader reply;
  reply.location = "/x";
  reply.set_cookie = "sid=abc; Path=/; HttpOnly";
  ASSERT_TRUE(RebuildForRedirect(parts, reply));
  EXPECT_EQ(parts.extra_line, "Cookie: sid=abc\r\n");
  reply.set_cookie = "sid=" + std::string(4083, 'v');
  EXPECT_FALSE(RebuildForRedirect(parts, reply));
}

TEST(RebuildForRedirectTest, ProxyTargetsStayWholeAddresses) {
  std::string url = "http://h/dir/old.mp3";
  RequestParts parts = MakeRequestParts(url, ParseTransferAddress(url), "p:1", "");
  ResponseHeader reply;
  reply.location = "new.mp3";
  ASSERT_TRUE(RebuildForRedirect(parts, reply));
  EXPECT_EQ(parts.target, "http://h/dir/new.mp3");
}

TEST(FindHeaderTest, DelimitsFromTheStatusLineThroughTheBlankLine) {
  std::string received = "junk HTTP/1.0 200 OK\r\nA: b\r\n\r\nBODY";
  auto span = FindHeader(received);
  ASSERT_TRUE(span.has_value());
  EXPECT_EQ(received.substr(span->begin, span->end - span->begin),
            "HTTP/1.0 200 OK\r\nA: b\r\n\r\n");
  EXPECT_EQ(received.substr(span->end), "BODY");
  std::string lf_only = "HTTP/1.1 200 OK\nContent-Length: 3\n\nabc";
  ASSERT_TRUE(FindHeader(lf_only).has_value());
  EXPECT_EQ(lf_only.substr(FindHeader(lf_only)->end), "abc");
  EXPECT_FALSE(FindHeader("HTTP/1.1 200 OK\r\nA: b\r\n").has_value());
  EXPECT_FALSE(FindHeader("\r\n\r\n").has_value());
}

TEST(ParseResponseHeaderTest, ReadsFieldsWhateverTheirCase) {
  ResponseHeader h = ParseResponseHeader(
      "HTTP/1.1 206 Partial\r\ncontent-length:  500\r\nCONTENT-RANGE: bytes 100-599/1000\r\n"
      "Location: /x\r\nset-cookie: a=b\r\nContent-Disposition: attachment; "
      "filename=\"s.mp3\"\r\nVia: 1.1 p\r\nAccept-Ranges: bytes\r\n\r\n");
  EXPECT_EQ(h.status, 206);
  EXPECT_EQ(h.content_length, 500);
  EXPECT_EQ(h.range_start, 100);
  EXPECT_EQ(h.range_end, 599);
  EXPECT_EQ(h.range_total, 1000);
  EXPECT_EQ(h.location, "/x");
  EXPECT_EQ(h.set_cookie, "a=b");
  EXPECT_EQ(h.via, "1.1 p");
  EXPECT_EQ(DispositionFileName(h.content_disposition), "s.mp3");
  EXPECT_EQ(DispositionFileName("attachment; filename=plain.mp3 "), "plain.mp3");
  EXPECT_EQ(DispositionFileName("inline"), "");
}

TEST(ParseResponseHeaderTest, HostileValuesGiveUnknownSizes) {
  struct Case {
    const char* header;
    int status;
    std::int64_t length;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", 200, -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", 200, -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", 200, -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 11\r\n\r\n", 200, -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 10\r\n\r\n", 200, 10},
      {"HTTP/1.1 200 OK\r\nContent-Length: 6000000000\r\n\r\n", 200, 6000000000},
      // Nineteen digits: the largest size taken, the first refused, and one past the signed range.
      {"HTTP/1.1 200 OK\r\nContent-Length: 4611686018427387903\r\n\r\n", 200, 4611686018427387903},
      {"HTTP/1.1 200 OK\r\nContent-Length: 4611686018427387904\r\n\r\n", 200, -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 9988888888888888888\r\n\r\n", 200, -1},
      {"HTTP/1.1 2\r\n\r\n", 0, -1},
      {"HTTP/1.1 abc OK\r\n\r\n", 0, -1},
      {"HTTP/1.1", 0, -1},
      {"", 0, -1},
  };
  for (const Case& c : cases) {
    ResponseHeader h = ParseResponseHeader(c.header);
    EXPECT_EQ(h.status, c.status) << c.header;
    EXPECT_EQ(h.content_length, c.length) << c.header;
  }
  for (const char* range : {"bytes -5-10/20", "bytes 10-5/20", "bytes 5-25/20", "bytes x",
                            "bytes 1-2", "bytes 99999999999999999999-1/2"}) {
    ResponseHeader h =
        ParseResponseHeader(std::string("HTTP/1.1 206 P\r\nContent-Range: ") + range + "\r\n\r\n");
    EXPECT_EQ(h.range_start, -1) << range;
  }
  // A second Content-Range that disagrees leaves no range a caller could trust, and never a
  // total that the range reaches past.
  for (const char* second : {"bytes */5", "bytes 0-3/100", "bytes 0-10/200", "bytes junk"}) {
    ResponseHeader h = ParseResponseHeader(
        std::string("HTTP/1.1 206 P\r\nContent-Range: bytes 0-10/100\r\nContent-Range: ") + second +
        "\r\n\r\n");
    EXPECT_EQ(h.range_start, -1) << second;
    EXPECT_EQ(h.range_total, -1) << second;
  }
  ResponseHeader same = ParseResponseHeader(
      "HTTP/1.1 206 P\r\nContent-Range: bytes 0-10/100\r\nContent-Range: bytes 0-10/100\r\n\r\n");
  EXPECT_EQ(same.range_start, 0);
  EXPECT_EQ(same.range_end, 10);
  EXPECT_EQ(same.range_total, 100);
  EXPECT_TRUE(
      ParseResponseHeader("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n").chunked);
}

}  // namespace
}  // namespace vorel::download::internal
