#include "download/internal/http_request.h"

namespace vorel::download::internal {
namespace {

constexpr std::size_t kMaxCookie = 4086;
constexpr std::size_t kMaxDefaultReferer = 1024;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

runtime::Text UpToLastSlash(std::string_view text) {
  std::size_t slash = text.rfind('/');
  return runtime::Text(slash == std::string_view::npos ? text : text.substr(0, slash));
}

// A scheme ("xyz:") before the first "/" or "?" marks an absolute address.
bool HasScheme(std::string_view location) {
  std::size_t colon = location.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::size_t stop = location.find_first_of("/?#");
  return stop == std::string_view::npos || colon < stop;
}

}  // namespace

runtime::Text BuildHttpRequest(std::string_view proxy, std::string_view target,
                               std::string_view host, std::string_view referer,
                               std::string_view user_agent, std::string_view extra_line) {
  runtime::Text request;
  request.reserve(256 + target.size() + host.size() + referer.size() + extra_line.size());
  auto line = [&request](std::string_view name, std::string_view value) {
    request.append(name).append(value).append("\r\n");
  };
  line("GET ", runtime::Text(target) + " HTTP/1.1");
  line("Host: ", host);
  if (!proxy.empty()) {
    line("User-Agent: ", kUserAgent);
    request.append("Proxy-Connection: Keep-Alive\r\n");
    request.append("\r\n\r\n");
    return request;
  }
  request.append("Accept: */*\r\n");
  line("Referer: ", referer);
  line("User-Agent: ", user_agent);
  request.append(extra_line);
  request.append("Pragma: no-cache\r\n");
  request.append("Cache-Control: no-cache\r\n");
  request.append("Connection: close");
  request.append("\r\n\r\n");
  return request;
}

runtime::Text EncodeTarget(std::string_view target) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  runtime::Text out;
  out.reserve(target.size());
  for (char c : target) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

RequestParts MakeRequestParts(const runtime::Text& url, const TransferAddress& address,
                              const runtime::Text& proxy, const runtime::Text& referer) {
  RequestParts parts;
  parts.proxy = proxy;
  parts.host = address.host;
  parts.target = EncodeTarget(proxy.empty() ? address.path : url);
  if (!referer.empty()) {
    parts.referer = EncodeTarget(referer);
  } else {
    runtime::Text before_slash = UpToLastSlash(url);
    // A very long address would make an unwieldy Referer; the site's root says as much.
    parts.referer = EncodeTarget(before_slash.size() <= kMaxDefaultReferer
                                     ? before_slash
                                     : "http://" + address.host);
  }
  return parts;
}

bool RebuildForRedirect(RequestParts& parts, const ResponseHeader& reply) {
  parts.extra_line.clear();
  if (!reply.set_cookie.empty()) {
    std::string_view cookie = reply.set_cookie;
    cookie = cookie.substr(0, cookie.find(';'));
    if (cookie.size() > kMaxCookie) return false;
    // A bare CR inside the value would end the header line for some servers.
    for (char c : cookie) {
      auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\t') || byte == 0x7F) return false;
    }
    parts.extra_line = "Cookie: " + runtime::Text(cookie) + "\r\n";
  }
  const runtime::Text& location = reply.location;
  if (StartsWithIgnoringCase(location, "http://")) {
    TransferAddress address = ParseTransferAddress(location);
    if (address.kind != kHttp || address.host.empty()) return false;
    parts.host = address.host;
    parts.target = EncodeTarget(parts.proxy.empty() ? address.path : location);
    parts.referer = EncodeTarget(UpToLastSlash(location));
    return true;
  }
  // https, ftp and any other scheme cannot be fetched by this client.
  if (HasScheme(location)) return false;

  // A relative Location: an absolute path replaces the path, anything else replaces the last
  // segment of the current path.
  std::string_view current = parts.target;
  if (!parts.proxy.empty()) {
    std::size_t host_at = current.find("://");
    std::size_t path_at =
        host_at == std::string_view::npos ? std::string_view::npos : current.find('/', host_at + 3);
    current = path_at == std::string_view::npos ? std::string_view("/") : current.substr(path_at);
  }
  runtime::Text path;
  if (!location.empty() && location.front() == '/') {
    path = location;
  } else {
    std::size_t slash = current.rfind('/');
    path = slash == std::string_view::npos ? location
                                           : runtime::Text(current.substr(0, slash + 1)) + location;
  }
  path = EncodeTarget(path);
  parts.target = parts.proxy.empty() ? path : "http://" + parts.host + path;
  parts.referer = UpToLastSlash("http://" + parts.host + path);
  return true;
}

}  // namespace vorel::download::internal
