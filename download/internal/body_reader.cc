#include "download/internal/body_reader.h"

#include <algorithm>

namespace vorel::download::internal {

BodyReader BodyReader::ForReply(const ResponseHeader& header) {
  BodyReader reader;
  if (header.chunked) {
    // A Content-Length beside chunked encoding is to be ignored (RFC 9112 section 6.3).
    reader.framing_ = BodyFraming::kChunked;
  } else if (header.length_given && header.content_length >= 0) {
    reader.framing_ = BodyFraming::kLength;
    reader.left_ = header.content_length;
  }
  return reader;
}

BodyReader::State BodyReader::Feed(const char* bytes, std::size_t count,
                                   const std::function<void(const char*, std::size_t)>& data) {
  switch (framing_) {
    case BodyFraming::kChunked: return chunked_.Feed(bytes, count, data);
    case BodyFraming::kLength: {
      const auto n =
          static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), left_));
      if (n > 0) data(bytes, n);
      left_ -= static_cast<std::int64_t>(n);
      break;
    }
    case BodyFraming::kUntilClose:
      if (count > 0) data(bytes, count);
      break;
  }
  return state();
}

BodyReader::State BodyReader::state() const {
  switch (framing_) {
    case BodyFraming::kChunked: return chunked_.state();
    case BodyFraming::kLength: return left_ == 0 ? State::kDone : State::kMore;
    case BodyFraming::kUntilClose: break;
  }
  return State::kMore;
}

}  // namespace vorel::download::internal
