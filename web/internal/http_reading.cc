#include "web/internal/http_reading.h"

#include <string>

#include "platform/http/wininet.h"

namespace vorel::web::internal {

namespace http = platform::http;

BodyEnd ReadBody(http::HINTERNET request, runtime::Bytes& body) {
  if (http::InternetReadFileAll(request, &body)) return BodyEnd::kComplete;
  if (http::InternetLastError() == http::kErrorResponseTooLarge) {
    body.clear();
    return BodyEnd::kTooLarge;
  }
  return BodyEnd::kFailed;
}

runtime::Text RawHeaders(http::HINTERNET request) {
  // Start with a buffer that holds most header blocks; a larger block is asked for again with
  // the size the layer names, so no header is ever cut off.
  std::string buffer(1024, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
    if (http::HttpQueryInfoA(request, http::kQueryRawHeadersCrlf, buffer.data(), &length,
                             nullptr)) {
      buffer.resize(length);
      return buffer;
    }
    if (http::InternetLastError() != http::kErrorInsufficientBuffer) return {};
    buffer.assign(length, '\0');
  }
  return {};
}

void CloseHandles(std::initializer_list<http::HINTERNET> handles) {
  for (http::HINTERNET h : handles) {
    if (h) http::InternetCloseHandle(h);
  }
}

}  // namespace vorel::web::internal
