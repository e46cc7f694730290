#ifndef VOREL_PLATFORM_HTTP_INTERNAL_ENDPOINT_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_ENDPOINT_H_

// Where one hop of a request goes: scheme, host, port and request target, how a Location moves
// it, and which proxy it takes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http/wininet.h"

namespace vorel::platform::http::internal {

// The request target for an object: a leading "/" added when missing, bytes <= 0x20 and 0x7F
// percent-encoded, everything else (code page 936 bytes included) as it is.
std::string EncodeTarget(std::string_view object);

struct Endpoint {
  bool secure = false;
  std::string host;
  std::uint16_t port = 0;  // 0: the scheme's default
  std::string target;      // path and query, encoded

  std::uint16_t EffectivePort() const;
  // "http://host:port" (IPv6 hosts in brackets).
  std::string Origin() const;
  // The cookie store's key for this host.
  std::string CookieHost() const;
  bool SameOrigin(const Endpoint& other) const;
};

// The endpoint a Location leads to from `from`, or none when it cannot be parsed or leaves
// http and https.
std::optional<Endpoint> Resolve(const Endpoint& from, const std::string& location);

// The proxy for one scheme from a WinINet proxy list ("http=h:p https=h2:p2" or "h:p"); empty
// when none applies.
std::string ProxyFor(const std::string& list, bool secure);

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_ENDPOINT_H_
