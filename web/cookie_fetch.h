#ifndef VOREL_WEB_COOKIE_FETCH_H_
#define VOREL_WEB_COOKIE_FETCH_H_

// The page fetch with a cookie jar: one HTTP or HTTPS request on the calling thread.

#include <cstdint>

#include "runtime/text.h"

namespace vorel::web {

using runtime::Bytes;
using runtime::Text;

// Fetches `address` and returns the response body (converted from UTF-8 when the body's first
// 499 bytes or the response headers say "utf-8", or when IsUnlabelledUtf8Json); empty when the
// connection or request cannot be opened or the body passes 64 MiB. Blocks the calling thread; the
// HTTP layer's time-outs (30 s to connect, 30 s without data) bound it. Pointer arguments are
// optional variables: null means absent.
//
//  - mode 1 sends "POST", any other "GET"; mode 0 sends no body, any other mode the post bytes
//    (filled from `post_data` into `post_bytes` when empty).
//  - `cookies`: when given, sent in a "Cookie:" line when not empty, and the request neither
//    sends nor records stored cookies; afterwards the response's cookies are merged into it
//    (web/cookie_jar.h).
//  - `returned_cookies`: the name=value items this response set, joined by "; ".
//  - `extra_headers`: completed in place, by case-sensitive tests, with "Referer: " and the
//    address, "Accept: */*", "Accept-Language: zh-cn",
//    "Content-Type: application/x-www-form-urlencoded" and the Cookie line, joined by "\r\n".
//    A "User-Agent:" line in it replaces the default user agent.
//  - `location`: the value of the last "Location:" line, or the whole header text without one.
//  - `no_redirect`: the HTTP layer does not follow redirects itself.
//  - `proxy`: when given, "http=" and this text is the proxy.
//  - `returned_headers`: the whole raw response header block.
// A "HTTP/1.1 301 Moved" answer with a Location is followed here, at most 10 times; after that
// the last answer is returned. A Location that names only a scheme and host gets the old path
// appended; one with a path is used as it is; a relative one is resolved against the address.
Bytes FetchPageWithCookies(const Text& address, std::int32_t mode = 0, const Text& post_data = {},
                           Text* cookies = nullptr, Text* returned_cookies = nullptr,
                           Text* extra_headers = nullptr, Text* location = nullptr,
                           bool no_redirect = false, Bytes* post_bytes = nullptr,
                           const Text* proxy = nullptr, Text* returned_headers = nullptr);

// True for a JSON reply (Content-Type application/json, text/json or */*+json) whose header
// names no charset and whose body is valid UTF-8: JSON is UTF-8 by its standard, and such a
// body read as code page 936 garbles every name. A reply that names a charset keeps it.
bool IsUnlabelledUtf8Json(const Text& headers, const Bytes& body);

}  // namespace vorel::web

#endif  // VOREL_WEB_COOKIE_FETCH_H_
