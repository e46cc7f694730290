#ifndef VOREL_DOWNLOAD_INTERNAL_CHUNKED_BODY_H_
#define VOREL_DOWNLOAD_INTERNAL_CHUNKED_BODY_H_

// Decoding a "Transfer-Encoding: chunked" body as it arrives, in pieces of any size. The data
// is handed on in place (pointers into the received bytes), so it is copied only once, into
// the file. Thread-compatible: one decoder per reply.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vorel::download::internal {

class ChunkedDecoder {
 public:
  enum class State {
    kMore,    // the body goes on
    kDone,    // the last chunk and its trailers have ended: the body is whole
    kBroken,  // the framing is not valid chunked encoding
  };

  // Takes the next `count` received bytes and passes every run of body data in them to `data`.
  // Bytes after the end of the body are ignored.
  State Feed(const char* bytes, std::size_t count,
             const std::function<void(const char*, std::size_t)>& data);
  State state() const { return state_; }

 private:
  enum class Phase { kSizeLine, kData, kDataEnd, kTrailers };
  State EndSizeLine();

  State state_ = State::kMore;
  Phase phase_ = Phase::kSizeLine;
  std::string line_;        // the size line or trailer line being read
  std::uint64_t left_ = 0;  // data bytes left in the current chunk
  bool saw_cr_ = false;     // kDataEnd: the CR before the LF has come
  std::size_t trailer_bytes_ = 0;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_CHUNKED_BODY_H_
