// libFuzzer target: reply bodies taken out of the received bytes in slices of any size.
//   - Bytes read as a chunked body in random slices give the same data and the same end as the
//     same bytes read at once, and never more data than bytes.
//   - A body chunk-encoded in any valid way (sizes in either case with leading zeros, chunk
//     extensions, trailers, CR LF or bare LF, bytes after the end) decodes to itself, whole.
//   - A Content-Length body is exactly its first bytes and ends when they are there; chunked
//     encoding wins over a length given beside it.
//   - A close-delimited body is every byte, and never ends by itself.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/internal/body_reader.h"
#include "fuzz/fuzz_check.h"

using namespace vorel::download::internal;

namespace {

// A small generator for the choices an input implies (slice sizes, chunk sizes), so each input
// always gives the same run.
class Choices {
 public:
  explicit Choices(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next(std::uint32_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  std::uint32_t state_;
};

struct Read {
  std::string data;
  BodyReader::State state = BodyReader::State::kMore;
};

// Reads `bytes` with a fresh copy of `reader`, in slices whose sizes `choices` picks (one
// slice when `max_slice` is 0).
Read ReadInSlices(BodyReader reader, std::string_view bytes, Choices choices,
                  std::uint32_t max_slice) {
  Read r;
  auto sink = [&r](const char* run, std::size_t n) {
    VOREL_FUZZ_CHECK(n > 0);
    r.data.append(run, n);
  };
  std::size_t at = 0;
  do {
    std::size_t n = max_slice == 0 ? bytes.size() - at : choices.Next(max_slice + 1);
    n = std::min(n, bytes.size() - at);
    reader.Feed(bytes.data() + at, n, sink);
    at += n;
  } while (at < bytes.size());
  r.state = reader.state();
  return r;
}

BodyReader Chunked() {
  ResponseHeader header;
  header.chunked = true;
  return BodyReader::ForReply(header);
}

std::string Hex(std::size_t n, bool upper, int zeros) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), (upper ? kUpper : kLower)[n % 16]);
    n /= 16;
  } while (n > 0);
  return std::string(static_cast<std::size_t>(zeros), '0') + digits;
}

// `body` in chunked encoding, every choice of form taken from `choices`.
std::string ChunkEncode(std::string_view body, Choices& choices) {
  auto line_end = [&choices] { return choices.Next(4) == 0 ? "\n" : "\r\n"; };
  auto size_line = [&](std::size_t n) {
    std::string line = Hex(n, choices.Next(2) == 0, static_cast<int>(choices.Next(3)));
    if (choices.Next(5) == 0) line += choices.Next(2) == 0 ? ";name=value" : " ;x";
    return line + line_end();
  };
  std::string out;
  while (!body.empty()) {
    std::size_t n = std::min<std::size_t>(body.size(), 1 + choices.Next(300));
    out += size_line(n);
    out.append(body.substr(0, n));
    out += line_end();
    body.remove_prefix(n);
  }
  out += size_line(0);
  for (std::uint32_t t = choices.Next(3); t > 0; --t)
    out += "X-Trailer: 1" + std::string(line_end());
  out += line_end();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int mode = in.ConsumeIntegralInRange(0, 3);
  const auto seed = in.ConsumeIntegral<std::uint32_t>();
  const std::uint32_t max_slice = in.ConsumeIntegralInRange<std::uint32_t>(1, 64);
  const auto length = in.ConsumeIntegralInRange<std::int64_t>(0, 4096);
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  switch (mode) {
    case 0: {
      const Read whole = ReadInSlices(Chunked(), bytes, Choices(seed), 0);
      const Read sliced = ReadInSlices(Chunked(), bytes, Choices(seed), max_slice);
      VOREL_FUZZ_CHECK(whole.data == sliced.data && whole.state == sliced.state);
      VOREL_FUZZ_CHECK(whole.data.size() <= bytes.size());
      break;
    }
    case 1: {
      Choices choices(seed);
      const std::string encoded = ChunkEncode(bytes, choices) + "HTTP/1.1 200 OK\r\n\r\nnext";
      const Read r = ReadInSlices(Chunked(), encoded, Choices(seed ^ 0x5A5A5A5Au), max_slice);
      VOREL_FUZZ_CHECK(r.data == bytes && r.state == BodyReader::State::kDone);
      break;
    }
    case 2: {
      ResponseHeader header;
      header.length_given = true;
      header.content_length = length;
      BodyReader reader = BodyReader::ForReply(header);
      VOREL_FUZZ_CHECK(reader.framing() == BodyFraming::kLength);
      const Read r = ReadInSlices(reader, bytes, Choices(seed), max_slice);
      VOREL_FUZZ_CHECK(r.data == bytes.substr(0, static_cast<std::size_t>(length)));
      VOREL_FUZZ_CHECK((r.state == BodyReader::State::kDone) ==
                       (bytes.size() >= static_cast<std::size_t>(length)));
      header.chunked = true;
      VOREL_FUZZ_CHECK(BodyReader::ForReply(header).framing() == BodyFraming::kChunked);
      break;
    }
    default: {
      ResponseHeader header;
      header.length_given = (seed & 1) != 0;  // a length given but not valid counts as none
      BodyReader reader = BodyReader::ForReply(header);
      VOREL_FUZZ_CHECK(reader.framing() == BodyFraming::kUntilClose);
      const Read r = ReadInSlices(reader, bytes, Choices(seed), max_slice);
      VOREL_FUZZ_CHECK(r.data == bytes && r.state == BodyReader::State::kMore);
      break;
    }
  }
  return 0;
}
