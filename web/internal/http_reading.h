#ifndef VOREL_WEB_INTERNAL_HTTP_READING_H_
#define VOREL_WEB_INTERNAL_HTTP_READING_H_

// Reading a response through the HTTP layer, shared by the page fetches and the resource read.

#include <atomic>
#include <cstddef>
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

// The cancel flag of the fetch the calling thread works for, if any (set by the threaded fetch
// on its worker). Thread-local.
const std::shared_ptr<std::atomic<bool>>& CurrentCancelFlag();
void SetCurrentCancelFlag(std::shared_ptr<std::atomic<bool>> flag);
bool CancelRequested();

// Where the request worker leaves the body for the threaded fetch that runs it, beside the pack
// instead of in it: a page of megabytes would otherwise be copied into the pack and out again.
// Null (the worker's caller reads the body from the pack) unless the fetch sets one. Thread-local.
const std::shared_ptr<runtime::Bytes>& CurrentBodySink();
void SetCurrentBodySink(std::shared_ptr<runtime::Bytes> sink);

// The error number of the calling thread's latest request that got no response at all (0 when
// it got one), recorded by the request worker for the threaded fetch. Thread-local.
std::uint32_t SendError();
void SetSendError(std::uint32_t error);

}  // namespace vorel::web::internal

#endif  // VOREL_WEB_INTERNAL_HTTP_READING_H_
