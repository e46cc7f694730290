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

// A path (with its query) as it is requested: without the fragment (the client's own, never
// sent), starting with "/", and with its "." and ".." segments removed as for a relative
// reference (RFC 3986 section 5.2.2).
runtime::Text NormalisePath(std::string_view path) {
  path = path.substr(0, path.find('#'));
  std::size_t query_at = path.find('?');
  runtime::Text out = RemoveDotSegments(path.substr(0, query_at));
  if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
  if (query_at != std::string_view::npos) out += path.substr(query_at);
  return out;
}

// An absolute http(s) address with its path as NormalisePath makes it.
runtime::Text NormaliseAbsolute(std::string_view address) {
  std::size_t scheme_end = address.find("://");
  if (scheme_end == std::string_view::npos)
    return runtime::Text(address.substr(0, address.find('#')));
  std::size_t path_at = address.find_first_of("/?#", scheme_end + 3);
  if (path_at == std::string_view::npos) path_at = address.size();
  return runtime::Text(address.substr(0, path_at)) + NormalisePath(address.substr(path_at));
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
  parts.tls = address.secure;
  parts.host = address.host;
  // Requested as a browser would: without the fragment and without "." and ".." segments.
  parts.target = EncodeTarget(proxy.empty() ? NormalisePath(address.path) : NormaliseAbsolute(url));
  if (!referer.empty()) {
    parts.referer = EncodeTarget(referer);
  } else {
    runtime::Text before_slash = UpToLastSlash(url);
    // A very long address would make an unwieldy Referer; the site's root says as much.
    parts.referer = EncodeTarget(before_slash.size() <= kMaxDefaultReferer
                                     ? before_slash
                                     : (address.secure ? "https://" : "http://") + address.host);
  }
  return parts;
}

runtime::Text RemoveDotSegments(std::string_view path) {
  runtime::Text out;
  out.reserve(path.size());
  auto drop_last_segment = [&out] {
    std::size_t slash = out.rfind('/');
    out.erase(slash == runtime::Text::npos ? 0 : slash);
  };
  while (!path.empty()) {
    if (path.substr(0, 3) == "../") {
      path.remove_prefix(3);
    } else if (path.substr(0, 2) == "./") {
      path.remove_prefix(2);
    } else if (path.substr(0, 3) == "/./") {
      path.remove_prefix(2);
    } else if (path == "/.") {
      path = "/";
    } else if (path.substr(0, 4) == "/../") {
      path.remove_prefix(3);
      drop_last_segment();
    } else if (path == "/..") {
      path = "/";
      drop_last_segment();
    } else if (path == "." || path == "..") {
      path = {};
    } else {
      std::size_t next = path.find('/', path.front() == '/' ? 1 : 0);
      if (next == std::string_view::npos) next = path.size();
      out.append(path.substr(0, next));
      path.remove_prefix(next);
    }
  }
  return out;
}

namespace {

// The path of a request target (without its query), for a proxy's whole address too.
std::string_view TargetPath(std::string_view target, bool proxy) {
  if (proxy) {
    std::size_t host_at = target.find("://");
    std::size_t path_at =
        host_at == std::string_view::npos ? std::string_view::npos : target.find('/', host_at + 3);
    target = path_at == std::string_view::npos ? std::string_view("/") : target.substr(path_at);
  }
  return target.substr(0, target.find('?'));
}

// RFC 3986 section 5.2.2 for a reference without scheme and authority.
runtime::Text ResolveRelative(std::string_view base_target, bool proxy,
                              std::string_view reference) {
  reference = reference.substr(0, reference.find('#'));
  std::string_view base_path = TargetPath(base_target, proxy);
  std::size_t query_at = reference.find('?');
  std::string_view ref_path = reference.substr(0, query_at);
  std::string_view ref_query =
      query_at == std::string_view::npos ? std::string_view() : reference.substr(query_at);
  if (ref_path.empty()) {
    if (!ref_query.empty()) return runtime::Text(base_path) + runtime::Text(ref_query);
    std::string_view whole = proxy ? TargetPath(base_target, true) : base_target;
    return runtime::Text(whole);
  }
  runtime::Text merged;
  if (ref_path.front() == '/') {
    merged = ref_path;
  } else {
    std::size_t slash = base_path.rfind('/');
    merged = slash == std::string_view::npos
                 ? "/" + runtime::Text(ref_path)
                 : runtime::Text(base_path.substr(0, slash + 1)) + runtime::Text(ref_path);
  }
  runtime::Text path = RemoveDotSegments(merged);
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  return path + runtime::Text(ref_query);
}

}  // namespace

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
  runtime::Text location = reply.location;
  const bool proxy = !parts.proxy.empty();
  // A network-path reference ("//host/path") keeps the current scheme.
  if (location.size() > 2 && location[0] == '/' && location[1] == '/') {
    location = (parts.tls ? "https:" : "http:") + location;
  }
  const bool to_https = StartsWithIgnoringCase(location, "https://");
  if (to_https || StartsWithIgnoringCase(location, "http://")) {
    // https to http would hand the download to anyone on the path; https through a proxy
    // would need a tunnel this client does not make.
    if ((parts.tls && !to_https) || (to_https && proxy)) return false;
    TransferAddress address = ParseTransferAddress(NormaliseAbsolute(location));
    if (address.kind != kHttp || address.host.empty()) return false;
    // The address again, as written up to its host, without a user name (which no request
    // line or Referer may carry).
    const runtime::Text origin = location.substr(0, location.find("://") + 3) + address.host;
    parts.tls = address.secure;
    parts.host = address.host;
    parts.target = EncodeTarget(proxy ? origin + address.path : address.path);
    parts.referer =
        EncodeTarget(UpToLastSlash(origin + address.path.substr(0, address.path.find('?'))));
    return true;
  }
  // ftp and any other scheme cannot be fetched by this client.
  if (HasScheme(location)) return false;

  runtime::Text path = EncodeTarget(ResolveRelative(parts.target, proxy, location));
  const runtime::Text origin = (parts.tls ? "https://" : "http://") + parts.host;
  parts.target = proxy ? origin + path : path;
  parts.referer = UpToLastSlash(origin + path.substr(0, path.find('?')));
  return true;
}

}  // namespace vorel::download::internal
