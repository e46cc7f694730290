#ifndef VOREL_PLATFORM_HTTP_INTERNAL_COOKIE_STORE_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_COOKIE_STORE_H_

// The process-wide cookie store behind InternetSetCookieA and the requests without the
// no-cookies flag. Cookies are kept per host (lower case, no port), in the order they were
// first set; setting a cookie again replaces its value in place. Thread-safe.

#include <ctime>
#include <string>
#include <string_view>

namespace vorel::platform::http::internal {

// The host part of "http://host:port/path" (or of a bare "host/path"), lower case, no port and
// no user-info. Empty when there is none.
std::string CookieHostOfUrl(std::string_view url);

// Records the cookie "name" with `data` ("value; attributes"). With an empty name, `data` is a
// whole Set-Cookie value ("name=value; attributes"). An Expires or Max-Age in the past removes
// the cookie. False when the host is empty.
bool StoreCookie(std::string_view host, std::string_view name, std::string_view data,
                 std::time_t now);

// The live cookies of `host` as "name=value; name2=value2"; only `name` when it is not empty.
std::string CookieHeaderValue(std::string_view host, std::string_view name, std::time_t now);

void ClearCookies();

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_COOKIE_STORE_H_
