#include "platform/audio/internal/mp3_frames.h"

#include <cstdio>
#include <cstring>

#include "platform/audio/internal/byte_source.h"

namespace vorel::platform::audio {
namespace {

// Bit rates in kbit/s by index (0 is free format, 15 is invalid).
constexpr int kMpeg1Layer3Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                      112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kMpeg2Layer3Kbps[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                      64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kMpeg1Rates[3] = {44100, 48000, 32000};

// Reads exactly `size` bytes at `offset`; false at the end or on an error.
bool ReadAt(ByteSource& source, uint64_t offset, uint8_t* buf, int size) {
  if (source.Seek(static_cast<int64_t>(offset), SEEK_SET) < 0) return false;
  while (size > 0) {
    const int n = source.Read(buf, size);
    if (n <= 0) return false;
    buf += n;
    size -= n;
  }
  return true;
}

// The bytes an ID3v2 tag at the start takes (0 when there is none).
uint64_t Id3v2Size(ByteSource& source) {
  uint8_t tag[10];
  if (!ReadAt(source, 0, tag, sizeof tag) || std::memcmp(tag, "ID3", 3) != 0) return 0;
  if (tag[3] == 0xFF || tag[4] == 0xFF || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80)) return 0;
  const uint64_t body = (uint64_t{tag[6]} << 21) | (uint64_t{tag[7]} << 14) |
                        (uint64_t{tag[8]} << 7) | uint64_t{tag[9]};
  const bool footer = (tag[5] & 0x10) != 0;
  return 10 + body + (footer ? 10 : 0);
}

}  // namespace

std::optional<Layer3Frame> ParseLayer3Header(const uint8_t header[4]) {
  if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) return std::nullopt;
  const int version_bits = (header[1] >> 3) & 3;  // 0 = 2.5, 1 = reserved, 2 = 2, 3 = 1
  const int layer_bits = (header[1] >> 1) & 3;    // 1 = Layer III
  if (version_bits == 1 || layer_bits != 1) return std::nullopt;
  const int bitrate_index = header[2] >> 4;
  const int rate_index = (header[2] >> 2) & 3;
  if (bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) return std::nullopt;
  Layer3Frame frame;
  frame.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
  frame.rate = kMpeg1Rates[rate_index] / (frame.version == 1 ? 1 : frame.version == 2 ? 2 : 4);
  const int kbps = (frame.version == 1 ? kMpeg1Layer3Kbps : kMpeg2Layer3Kbps)[bitrate_index];
  const int padding = (header[2] >> 1) & 1;
  // 1152 samples a frame for MPEG-1, 576 for the others: bytes = samples / 8 * bit rate / rate.
  const int per_kbit = frame.version == 1 ? 144000 : 72000;
  frame.bytes = per_kbit * kbps / frame.rate + padding;
  return frame;
}

bool StartsAsMp3(ByteSource& source) {
  const int64_t size = source.Seek(0, AVSEEK_SIZE);
  const uint64_t first = Id3v2Size(source);
  uint8_t header[4];
  bool ok = ReadAt(source, first, header, sizeof header);
  std::optional<Layer3Frame> frame = ok ? ParseLayer3Header(header) : std::nullopt;
  if (frame) {
    const uint64_t second = first + static_cast<uint64_t>(frame->bytes);
    if (size >= 0 && second == static_cast<uint64_t>(size)) {
      ok = true;  // a single frame and nothing else
    } else if (ReadAt(source, second, header, sizeof header)) {
      std::optional<Layer3Frame> next = ParseLayer3Header(header);
      ok = next && next->version == frame->version && next->rate == frame->rate;
    } else {
      ok = false;
    }
  } else {
    ok = false;
  }
  source.Seek(0, SEEK_SET);
  return ok;
}

}  // namespace vorel::platform::audio
