#include "platform/http/internal/endpoint.h"

#include "platform/http/internal/curl_api.h"

#include <memory>

#include "platform/http/internal/cookie_store.h"
#include "platform/http/internal/header_block.h"

namespace vorel::platform::http::internal {

// Bytes that may not appear raw in a request target are sent percent-encoded.
std::string EncodeTarget(std::string_view object) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  if (object.empty() || object.front() != '/') out += '/';
  for (unsigned char c : object) {
    if (c <= 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::uint16_t Endpoint::EffectivePort() const {
  return port ? port : (secure ? kDefaultHttpsPort : kDefaultHttpPort);
}

std::string Endpoint::Origin() const {
  std::string h =
      host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
  return std::string(secure ? "https://" : "http://") + h + ":" + std::to_string(EffectivePort());
}

std::string Endpoint::CookieHost() const { return CookieHostOfUrl("http://" + host); }

bool Endpoint::SameOrigin(const Endpoint& o) const {
  return secure == o.secure && EqualsIgnoringCase(host, o.host) &&
         EffectivePort() == o.EffectivePort();
}

std::string ProxyFor(const std::string& list, bool secure) {
  std::string found;
  size_t i = 0;
  while (i < list.size()) {
    size_t end = list.find_first_of(" ;", i);
    std::string entry = list.substr(i, end == std::string::npos ? std::string::npos : end - i);
    i = end == std::string::npos ? list.size() : end + 1;
    if (entry.empty()) continue;
    size_t eq = entry.find('=');
    if (eq == std::string::npos) {
      if (found.empty()) found = entry;
      continue;
    }
    std::string scheme = entry.substr(0, eq);
    if (EqualsIgnoringCase(scheme, secure ? "https" : "http")) return entry.substr(eq + 1);
  }
  return found;
}

std::optional<Endpoint> Resolve(const Endpoint& from, const std::string& location) {
  if (!LoadCurl()) return std::nullopt;
  const CurlApi& curl = Curl();
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl.curl_url(), curl.curl_url_cleanup);
  if (!u) return std::nullopt;
  std::string base = from.Origin() + from.target;
  if (curl.curl_url_set(u.get(), CURLUPART_URL, base.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return std::nullopt;
  }
  if (curl.curl_url_set(u.get(), CURLUPART_URL, location.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK) {
    return std::nullopt;
  }
  auto get = [&](CURLUPart part, unsigned flags) -> std::optional<std::string> {
    char* value = nullptr;
    if (curl.curl_url_get(u.get(), part, &value, flags) != CURLUE_OK || !value) {
      return std::nullopt;
    }
    std::string out = value;
    curl.curl_free(value);
    return out;
  };
  auto scheme = get(CURLUPART_SCHEME, 0);
  auto host = get(CURLUPART_HOST, 0);
  auto port = get(CURLUPART_PORT, CURLU_DEFAULT_PORT);
  auto path = get(CURLUPART_PATH, 0);
  auto query = get(CURLUPART_QUERY, 0);
  if (!scheme || !host || !port) return std::nullopt;
  Endpoint next;
  if (EqualsIgnoringCase(*scheme, "https")) {
    next.secure = true;
  } else if (!EqualsIgnoringCase(*scheme, "http")) {
    return std::nullopt;
  }
  next.host = *host;
  if (next.host.size() > 2 && next.host.front() == '[')
    next.host = next.host.substr(1, next.host.size() - 2);
  next.port = static_cast<std::uint16_t>(std::stoi(*port));
  next.target = EncodeTarget(path ? *path : "/");
  if (query) next.target += "?" + EncodeTarget(*query).substr(1);
  return next;
}

}  // namespace vorel::platform::http::internal
