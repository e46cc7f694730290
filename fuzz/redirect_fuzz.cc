// libFuzzer target: a transfer address as a person or a page gives it, and a Location as a
// server sends it, through address parsing and the redirect's resolution.
//   - A parsed address with a host has a port from 1 to 65535, a path starting with "/", no
//     space, control byte, "?", "#" or user name in its host part, and parses again to itself.
//   - Dot-segment removal is idempotent, never lengthens a path, and leaves no "." or ".."
//     segment in a path that starts with "/".
//   - A followed redirect never leaves https for http, and without a proxy gives a host free
//     of spaces and control bytes and a target that starts with "/", holds no byte a request
//     line cannot carry, no fragment and no dot segment in its path; the request built from
//     it has exactly its own header lines.
//   - A Location "http://name" with a plain host name is followed to that host, whatever
//     follows the name (a path, a query, a fragment or nothing).

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/internal/http_request.h"
#include "download/internal/response_header.h"
#include "download/transfer_address.h"
#include "fuzz/fuzz_check.h"

using namespace vorel::download;
using namespace vorel::download::internal;
using vorel::fuzz::NoControlBytes;

namespace {

bool HasDotSegment(std::string_view path) {
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    std::string_view segment = path.substr(at, end - at);
    if (segment == "." || segment == "..") return true;
    at = end + 1;
  }
  return false;
}

void CheckAddress(const std::string& text) {
  const TransferAddress a = ParseTransferAddress(text);
  if (a.host.empty()) return;
  VOREL_FUZZ_CHECK(a.kind != kNoKind && a.port >= 1 && a.port <= 65535);
  VOREL_FUZZ_CHECK(!a.path.empty() && a.path.front() == '/');
  VOREL_FUZZ_CHECK(a.host.find_first_of("/?#") == std::string::npos);
  for (char c : a.host) VOREL_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
  if (a.kind != kHttp) return;
  VOREL_FUZZ_CHECK(a.host.find('@') == std::string::npos);
  const TransferAddress again =
      ParseTransferAddress((a.secure ? "https://" : "http://") + a.host + a.path);
  VOREL_FUZZ_CHECK(again.kind == kHttp && again.secure == a.secure && again.port == a.port &&
                   again.host == a.host && again.path == a.path);
}

void CheckDotSegments(const std::string& path) {
  const std::string once = RemoveDotSegments(path);
  VOREL_FUZZ_CHECK(once.size() <= path.size());
  VOREL_FUZZ_CHECK(RemoveDotSegments(once) == once);
  if (!path.empty() && path.front() == '/') VOREL_FUZZ_CHECK(!HasDotSegment(once));
}

// "http://" or "https://" (any case) and a plain host name, then nothing or "/", "?" or "#".
bool PlainHostLocation(std::string_view location, std::string* host) {
  std::size_t start = location.find("://");
  if (start == std::string_view::npos) return false;
  std::string scheme(location.substr(0, start));
  for (char& c : scheme) c = static_cast<char>(c | 0x20);
  if (scheme != "http" && scheme != "https") return false;
  std::string_view rest = location.substr(start + 3);
  std::size_t end = rest.find_first_of("/?#");
  std::string_view name = rest.substr(0, end);
  if (name.empty()) return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!plain) return false;
  }
  if (end != std::string_view::npos && !NoControlBytes(rest.substr(end))) return false;
  host->assign(name);
  return true;
}

void CheckRedirect(const std::string& url, const std::string& location, bool proxy,
                   const std::string& cookie) {
  const TransferAddress address = ParseTransferAddress(url);
  if (address.kind != kHttp || address.host.empty()) return;
  RequestParts parts = MakeRequestParts(url, address, proxy ? "proxy:3128" : "", "");
  const bool was_tls = parts.tls;
  ResponseHeader reply;
  reply.location = location;
  reply.set_cookie = cookie;
  const bool followed = RebuildForRedirect(parts, reply);
  std::string plain_host;
  if (!proxy && !was_tls && cookie.empty() && PlainHostLocation(location, &plain_host)) {
    VOREL_FUZZ_CHECK(followed && parts.host == plain_host);
  }
  if (!followed) return;
  VOREL_FUZZ_CHECK(!was_tls || parts.tls);
  VOREL_FUZZ_CHECK(!parts.host.empty());
  for (char c : parts.host) VOREL_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
  for (char c : parts.target) VOREL_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
  if (proxy) {
    // Through a proxy the target is a whole address of the scheme in use.
    std::string scheme = parts.target.substr(0, 8);
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    VOREL_FUZZ_CHECK(scheme.rfind(parts.tls ? "https://" : "http://", 0) == 0);
  } else {
    VOREL_FUZZ_CHECK(!parts.target.empty() && parts.target.front() == '/');
    VOREL_FUZZ_CHECK(parts.target.find('#') == std::string::npos);
    VOREL_FUZZ_CHECK(
        !HasDotSegment(std::string_view(parts.target).substr(0, parts.target.find('?'))));
  }
  const std::string request = BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer,
                                               parts.user_agent, parts.extra_line);
  std::size_t lines = 0;
  for (std::size_t i = 0; i < request.size(); ++i) {
    if (request[i] == '\r') VOREL_FUZZ_CHECK(i + 1 < request.size() && request[i + 1] == '\n');
    if (request[i] == '\n') VOREL_FUZZ_CHECK(i > 0 && request[i - 1] == '\r');
    if (request[i] == '\n') ++lines;
  }
  VOREL_FUZZ_CHECK(lines == (proxy ? 6u : parts.extra_line.empty() ? 9u : 10u));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool proxy = in.ConsumeBool();
  const std::string url = in.ConsumeRandomLengthString(400);
  const std::string location = in.ConsumeRandomLengthString(800);
  const std::string cookie = in.ConsumeRemainingBytesAsString();
  CheckAddress(url);
  CheckAddress(location);
  CheckDotSegments(location);
  CheckRedirect(url, location, proxy, cookie);
  return 0;
}
