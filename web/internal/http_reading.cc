#include "web/internal/http_reading.h"

#include <string>

#include "platform/http/transfer_control.h"

namespace vorel::web::internal {

namespace http = platform::http;

namespace {
thread_local std::shared_ptr<std::atomic<bool>> current_cancel;
thread_local std::shared_ptr<runtime::Bytes> current_body_sink;
thread_local std::uint32_t send_error = 0;
}  // namespace

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

const std::shared_ptr<std::atomic<bool>>& CurrentCancelFlag() { return current_cancel; }

void SetCurrentCancelFlag(std::shared_ptr<std::atomic<bool>> flag) {
  http::SetThreadCancelFlag(flag);
  current_cancel = std::move(flag);
}

bool CancelRequested() { return current_cancel && current_cancel->load(); }

const std::shared_ptr<runtime::Bytes>& CurrentBodySink() { return current_body_sink; }

std::uint32_t SendError() { return send_error; }

void SetSendError(std::uint32_t error) { send_error = error; }

void SetCurrentBodySink(std::shared_ptr<runtime::Bytes> sink) {
  current_body_sink = std::move(sink);
}

}  // namespace vorel::web::internal
