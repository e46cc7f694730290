#ifndef VOREL_DOWNLOAD_INTERNAL_BODY_READER_H_
#define VOREL_DOWNLOAD_INTERNAL_BODY_READER_H_

// The body of one reply taken out of the bytes received after its header, in pieces of any
// size, however the reply delimits it: by Content-Length, by chunked encoding, or by the
// server's close. The data is handed on in place, so it is copied only once, into the file.
// Thread-compatible: one reader per reply.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "download/internal/chunked_body.h"
#include "download/internal/response_header.h"

namespace vorel::download::internal {

// How the body of a reply is delimited.
enum class BodyFraming {
  kLength,      // Content-Length says where it ends
  kChunked,     // Transfer-Encoding: chunked
  kUntilClose,  // neither: the server's close ends it
};

class BodyReader {
 public:
  using State = ChunkedDecoder::State;

  // A reader of a body that only the server's close ends.
  BodyReader() = default;
  // The reader for the body of `header`: chunked when Transfer-Encoding names it (whatever
  // the length says), else by a valid Content-Length, else until the close.
  static BodyReader ForReply(const ResponseHeader& header);

  // Passes every run of body data among the next `count` received bytes to `data`. Bytes
  // after the end of the body are ignored. A close-delimited body is never kDone here: only
  // the close (and a range request after it) can say it is whole.
  State Feed(const char* bytes, std::size_t count,
             const std::function<void(const char*, std::size_t)>& data);

  BodyFraming framing() const { return framing_; }
  State state() const;

 private:
  BodyFraming framing_ = BodyFraming::kUntilClose;
  std::int64_t left_ = -1;  // kLength: body bytes still to come
  ChunkedDecoder chunked_;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_BODY_READER_H_
