#include "web/url_bytes.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/http/wininet.h"
#include "runtime/text_ops.h"
#include "web/internal/http_reading.h"

namespace vorel::web {
namespace {

using namespace runtime;
namespace http = platform::http;

constexpr char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr std::uint64_t kMaxBytes = 16ull << 20;

struct UrlParts {
  bool secure = false;
  std::string host;
  std::uint16_t port = 0;
  std::string user, password;
  std::string path;
};

// Splits "scheme://[user[:password]@]host[:port][/path]" without decoding anything.
std::optional<UrlParts> SplitUrl(const std::string& address) {
  UrlParts parts;
  size_t scheme_end = address.find("://");
  if (scheme_end == std::string::npos) return std::nullopt;
  std::string scheme = ToLower(address.substr(0, scheme_end));
  if (scheme == "https") {
    parts.secure = true;
  } else if (scheme != "http") {
    return std::nullopt;
  }
  std::string rest = address.substr(scheme_end + 3);
  size_t authority_end = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, authority_end);
  parts.path = authority_end == std::string::npos ? "/" : rest.substr(authority_end);
  parts.path = parts.path.substr(0, parts.path.find('#'));
  if (parts.path.empty() || parts.path.front() != '/') parts.path = "/" + parts.path;

  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string info = authority.substr(0, at);
    size_t colon = info.find(':');
    parts.user = info.substr(0, colon);
    if (colon != std::string::npos) parts.password = info.substr(colon + 1);
    authority.erase(0, at + 1);
  }
  std::string port_text;
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return std::nullopt;
    parts.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return std::nullopt;
      port_text = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.find(':');
    parts.host = authority.substr(0, colon);
    if (colon != std::string::npos) port_text = authority.substr(colon + 1);
  }
  if (parts.host.empty()) return std::nullopt;
  if (port_text.empty()) {
    parts.port = parts.secure ? http::kDefaultHttpsPort : http::kDefaultHttpPort;
  } else {
    char* end = nullptr;
    long port = std::strtol(port_text.c_str(), &end, 10);
    if (*end != '\0' || port <= 0 || port > 65535) return std::nullopt;
    parts.port = static_cast<std::uint16_t>(port);
  }
  return parts;
}

// The process-wide internet handle, opened on first use and kept until the program ends.
http::HINTERNET SharedInternetHandle() {
  static std::once_flag once;
  static http::HINTERNET handle = nullptr;
  std::call_once(once, [] {
    handle = http::InternetOpenA(kAgent, http::kOpenTypeDirect, nullptr, nullptr, 0);
  });
  return handle;
}

}  // namespace

Bytes ReadUrlBytes(const Text& address) {
  if (address.empty()) return {};
  std::optional<UrlParts> parts = SplitUrl(address);
  if (!parts) return {};
  http::HINTERNET internet = SharedInternetHandle();
  if (!internet) return {};
  http::HINTERNET connection = http::InternetConnectA(
      internet, parts->host.c_str(), parts->port,
      parts->user.empty() ? nullptr : parts->user.c_str(),
      parts->password.empty() ? nullptr : parts->password.c_str(), http::kServiceHttp, 0, 0);
  if (!connection) return {};

  std::uint32_t flags = http::kFlagReload | http::kFlagNoCacheWrite;
  if (parts->secure) flags |= http::kFlagSecure;
  const char* accept[] = {"*/*", nullptr};
  http::HINTERNET request = http::HttpOpenRequestA(connection, "GET", parts->path.c_str(),
                                                   "HTTP/1.0", nullptr, accept, flags, 0);
  if (!request) {
    internal::CloseHandles({connection});
    return {};
  }
  const std::uint64_t limit = kMaxBytes;
  http::InternetSetOptionA(request, http::kOptionMaxResponseBytes, &limit, sizeof limit);
  static const char kHeaders[] = "Accept: */*\r\n\r\n";
  Bytes body;
  if (http::HttpSendRequestA(request, kHeaders, sizeof kHeaders - 1, nullptr, 0)) {
    internal::ReadBody(request, body);  // kTooLarge leaves it empty
  }
  internal::CloseHandles({request, connection});
  return body;
}

}  // namespace vorel::web
