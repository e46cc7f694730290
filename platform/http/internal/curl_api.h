#ifndef VOREL_PLATFORM_HTTP_INTERNAL_CURL_API_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_CURL_API_H_

// Calls go through the table below, which gcc's type-checking wrappers around curl_easy_setopt
// and curl_easy_getinfo cannot wrap.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "platform/late_library.h"

namespace vorel::platform::http::internal {

// Every libcurl function the HTTP client calls. libcurl, and the TLS, Kerberos, LDAP, SSH and
// other libraries it depends on, load with the first network use rather than at start: a
// player that only plays local files never maps them.
// clang-format off
#define VOREL_CURL_FUNCTIONS(X)                                                              \
  X(curl_easy_cleanup) X(curl_easy_getinfo) X(curl_easy_init) X(curl_easy_perform)          \
  X(curl_easy_reset) X(curl_easy_setopt) X(curl_free) X(curl_getdate) X(curl_global_init)   \
  X(curl_slist_append) X(curl_slist_free_all) X(curl_url) X(curl_url_cleanup)               \
  X(curl_url_get) X(curl_url_set)
// clang-format on

// The functions under their own names, so that a call reads `curl.curl_easy_perform(...)`.
struct CurlApi {
  VOREL_CURL_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads libcurl and runs its global initialisation, once per process (thread-safe). Null when
// the library or a function is missing; that is reported once on standard error.
const CurlApi* LoadCurl();

// The loaded table. Only valid once LoadCurl() has returned non-null (InternetOpenA checks it,
// so every handle that can reach the network comes after).
const CurlApi& Curl();

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_CURL_API_H_
