#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_SOXR_RESAMPLER_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_SOXR_RESAMPLER_H_

#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

namespace vorel::platform::audio {

struct SoxrApi;

// Converts interleaved float frames from one rate to another with libsoxr (loaded by name with
// the first one made), for the MP3 decoder: a few dozen KiB where FFmpeg's resampler would bring
// FFmpeg's libraries along. Thread-compatible.
class SoxrResampler {
 public:
  // Null when libsoxr is missing or refuses the rates.
  static std::unique_ptr<SoxrResampler> Create(int in_rate, int out_rate, int channels);
  ~SoxrResampler();
  SoxrResampler(const SoxrResampler&) = delete;
  SoxrResampler& operator=(const SoxrResampler&) = delete;

  // Takes `frames` frames of `in` and appends what is ready of the output to `out`; returns the
  // frames appended (0 while the filter fills). Null `in`: the input has ended, and what the
  // filter still holds is appended.
  int Process(const float* in, int frames, std::vector<uint8_t>& out);
  // Forgets the input so far (after a seek).
  void Clear();

 private:
  SoxrResampler() = default;

  const SoxrApi* api_ = nullptr;
  soxr* soxr_ = nullptr;
  double ratio_ = 1;
  int channels_ = 0;
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_SOXR_RESAMPLER_H_
