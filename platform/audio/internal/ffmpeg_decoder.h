#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_DECODER_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_DECODER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/internal/decoder.h"

struct AVFrame;

namespace vorel::platform::audio {

// Any format FFmpeg reads, from a file, memory or an http(s) address, resampled to the rate
// asked for. FFmpeg and everything it depends on load with the first such stream.
class FfmpegDecoder : public Decoder {
 public:
  ~FfmpegDecoder() override;

  // As Decoder::Open.
  static std::unique_ptr<Decoder> Open(const SourceSpec& spec, const OutputFormat& format,
                                       const std::atomic<bool>* abort, int* error);

  void set_abort_flag(const std::atomic<bool>* abort) override;
  bool seekable() const override;
  int Read(std::vector<uint8_t>& out, const std::atomic<bool>* interrupt) override;
  bool Seek(int64_t frame) override;

 private:
  FfmpegDecoder() = default;
  // Converts the decoded frame in impl_ into `out`; returns the output frames appended.
  int ConvertFrame(std::vector<uint8_t>& out);
  // Appends what the resampler still holds at the end of the stream.
  int FlushResampler(std::vector<uint8_t>& out);
  bool NeedsOnlyInterleaving(const AVFrame* f) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int64_t skip_until_ = -1;  // after a seek: drop output before this source frame
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_DECODER_H_
