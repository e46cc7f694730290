#include "platform/audio/internal/decoder.h"

#include "platform/audio/bass.h"
#include "platform/audio/internal/ffmpeg_decoder.h"
#include "platform/audio/internal/mpg123_decoder.h"

namespace vorel::platform::audio {

std::unique_ptr<Decoder> Decoder::Open(const SourceSpec& spec, const OutputFormat& format,
                                       const std::atomic<bool>* abort, int* error) {
  if (std::unique_ptr<Decoder> mp3 = Mpg123Decoder::Open(spec, format)) {
    *error = BASS_OK;
    return mp3;
  }
  return FfmpegDecoder::Open(spec, format, abort, error);
}

std::string TitleFromLocation(const SourceSpec& spec) {
  if (spec.kind == SourceSpec::Kind::kMemory) return std::string();
  std::string name = spec.location.substr(0, spec.location.find_first_of("?#"));
  if (const size_t slash = name.find_last_of('/'); slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

}  // namespace vorel::platform::audio
