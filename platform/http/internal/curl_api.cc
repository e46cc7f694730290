#include "platform/http/internal/curl_api.h"

#include "platform/late_library.h"

namespace vorel::platform::http::internal {

const CurlApi* LoadCurl() {
  static const CurlApi* const api = [] {
    const CurlApi* loaded = LoadFunctionTable<CurlApi>(
        {"libcurl.so.4"}, "vorel: no network",
        [](LateLibrary& library, CurlApi& table) { VOREL_CURL_FUNCTIONS(VOREL_LATE_RESOLVE) });
    if (loaded) loaded->curl_global_init(CURL_GLOBAL_DEFAULT);
    return loaded;
  }();
  return api;
}

const CurlApi& Curl() { return *LoadCurl(); }

}  // namespace vorel::platform::http::internal
