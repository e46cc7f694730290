#include "download/internal/chunked_body.h"

#include <algorithm>

#include "platform/hex_digit.h"

namespace vorel::download::internal {
namespace {

// Size lines are a hexadecimal number with optional extensions; trailers are header lines.
// Neither has a reason to be long, and a bound keeps a hostile server from growing them.
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxTrailers = 65536;

}  // namespace

ChunkedDecoder::State ChunkedDecoder::EndSizeLine() {
  std::size_t i = 0;
  std::uint64_t size = 0;
  int digits = 0;
  for (; i < line_.size() && platform::HexDigitValue(line_[i]) >= 0; ++i) {
    if (++digits > 15) return State::kBroken;  // past any file this engine can hold
    size = size * 16 + static_cast<std::uint64_t>(platform::HexDigitValue(line_[i]));
  }
  if (digits == 0) return State::kBroken;
  for (; i < line_.size(); ++i) {
    char c = line_[i];
    if (c == ';') break;  // chunk extensions are ignored
    if (c != ' ' && c != '\t' && c != '\r') return State::kBroken;
  }
  line_.clear();
  left_ = size;
  phase_ = size == 0 ? Phase::kTrailers : Phase::kData;
  return State::kMore;
}

ChunkedDecoder::State ChunkedDecoder::Feed(
    const char* bytes, std::size_t count,
    const std::function<void(const char*, std::size_t)>& data) {
  std::size_t at = 0;
  while (at < count && state_ == State::kMore) {
    switch (phase_) {
      case Phase::kSizeLine: {
        char c = bytes[at++];
        if (c == '\n') {
          state_ = EndSizeLine();
        } else if (line_.size() >= kMaxLine) {
          state_ = State::kBroken;
        } else {
          line_.push_back(c);
        }
        break;
      }
      case Phase::kData: {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, count - at));
        data(bytes + at, n);
        at += n;
        left_ -= n;
        if (left_ == 0) {
          phase_ = Phase::kDataEnd;
          saw_cr_ = false;
        }
        break;
      }
      case Phase::kDataEnd: {
        char c = bytes[at++];
        if (c == '\r' && !saw_cr_) {
          saw_cr_ = true;
        } else if (c == '\n') {
          phase_ = Phase::kSizeLine;
        } else {
          state_ = State::kBroken;
        }
        break;
      }
      case Phase::kTrailers: {
        char c = bytes[at++];
        if (++trailer_bytes_ > kMaxTrailers) {
          state_ = State::kBroken;
        } else if (c == '\n') {
          bool blank = line_.empty() || line_ == "\r";
          line_.clear();
          if (blank) state_ = State::kDone;
        } else if (line_.size() < kMaxLine) {
          line_.push_back(c);
        }
        break;
      }
    }
  }
  return state_;
}

}  // namespace vorel::download::internal
