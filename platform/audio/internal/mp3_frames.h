#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_MP3_FRAMES_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_MP3_FRAMES_H_

#include <cstdint>
#include <optional>

namespace vorel::platform::audio {

class ByteSource;

// What one MPEG audio Layer III frame header says.
struct Layer3Frame {
  int version = 0;  // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
  int rate = 0;     // samples per second
  int bytes = 0;    // the whole frame, header included
};

// The frame whose header is `header[0..3]`, or nothing when those bytes are not a Layer III
// header with a usable bit rate and sample rate (free-format frames are not).
std::optional<Layer3Frame> ParseLayer3Header(const uint8_t header[4]);

// Whether `source` is an MP3 as encoders write them: after an optional ID3v2 tag, a Layer III
// frame followed by another of the same version and rate (or by the end). Anything else (other
// containers, Layer I or II, junk before the first frame, noise) is left to FFmpeg, which
// probes more thoroughly. Leaves the source at its first byte.
bool StartsAsMp3(ByteSource& source);

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_MP3_FRAMES_H_
