#ifndef VOREL_WEB_INTERNAL_HTTP_READING_H_
#define VOREL_WEB_INTERNAL_HTTP_READING_H_

// Reading a response through the HTTP layer, shared by the page fetches and the resource read.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/http/wininet.h"
#include "runtime/text.h"

namespace vorel::web::internal {

enum class BodyEnd {
  kComplete,  // the server's end of the body was reached
  kFailed,    // a read failed midway; the bytes before it are kept
  kTooLarge,  // the body passed the limit; nothing is kept
};

// Reads the whole body into `body`.
BodyEnd ReadBody(platform::http::HINTERNET request, runtime::Bytes& body);

// The response's whole raw header block (status line first, lines ended by "\r\n"); empty when
// the request has no response.
runtime::Text RawHeaders(platform::http::HINTERNET request);

// Closes the handles given, in the order given; null ones are skipped.
void CloseHandles(std::initializer_list<platform::http::HINTERNET> handles);

// The three handles of one request, closed together, the last opened first. Null handles are
// ones not opened (or already given up).
struct RequestHandles {
  platform::http::HINTERNET internet = nullptr;
  platform::http::HINTERNET connection = nullptr;
  platform::http::HINTERNET request = nullptr;

  void Close() const { CloseHandles({request, connection, internet}); }
};

// What the threaded fetch (web/fetch_page.cc) hands the request worker it runs.
struct RequestContext {
  // Set when the fetch gives up on the worker: its transfer stops and it records nothing more.
  std::shared_ptr<const std::atomic<bool>> cancel;
  // Where the worker leaves the body for the fetch, beside the pack instead of in it: a page of
  // megabytes would otherwise be copied into the pack and out again. Null: the body goes into
  // the pack.
  std::shared_ptr<runtime::Bytes> body_sink;
  // Written by the worker: the error number of its request when it got no response at all (0
  // when it got one).
  std::uint32_t send_error = 0;

  bool Cancelled() const { return cancel && cancel->load(); }
};

// RequestWorker (web/request_engine.h) for a fetch that passes its context.
std::int32_t RunRequest(std::int32_t pack, RequestContext& context);

}  // namespace vorel::web::internal

#endif  // VOREL_WEB_INTERNAL_HTTP_READING_H_
