#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_DECODER_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_DECODER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/internal/byte_source.h"
#include "platform/audio/internal/decoder.h"
#include "platform/audio/internal/soxr_resampler.h"

struct mpg123_handle_struct;

namespace vorel::platform::audio {

struct Mpg123Api;

// An MP3 from a file (or part of one) or a memory block, decoded with libmpg123 and, when the
// output wants another rate, resampled with libsoxr: sample-exact lengths and seeks (the
// encoder's delay and padding left out, as FFmpeg does). Local reads never block, so there is
// nothing for an abort flag to end.
class Mpg123Decoder : public Decoder {
 public:
  ~Mpg123Decoder() override;

  // Null when the source is not an MP3 this decoder takes, or the output wants a conversion it
  // does not make: FFmpeg then opens the source and reports any error.
  static std::unique_ptr<Decoder> Open(const SourceSpec& spec, const OutputFormat& format);

  void set_abort_flag(const std::atomic<bool>*) override {}
  bool seekable() const override { return true; }
  int Read(std::vector<uint8_t>& out, const std::atomic<bool>* interrupt) override;
  bool Seek(int64_t frame) override;

 private:
  Mpg123Decoder() = default;
  // Sets up the handle on source_; false when libmpg123 refuses the stream.
  bool Start(const OutputFormat& format);
  // The title tag, converted to UTF-8; empty when there is none.
  std::string TitleTag();
  // Decodes the next frames into decoded_ in the output's channel layout; 0 at the end.
  int DecodeSome();

  const Mpg123Api* api_ = nullptr;
  std::unique_ptr<ByteSource> source_;
  mpg123_handle_struct* handle_ = nullptr;
  int encoding_ = 0;
  bool finished_ = false;
  std::unique_ptr<SoxrResampler> resampler_;  // only when the rates differ
  std::vector<uint8_t> decoded_;
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_DECODER_H_
