#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_SPECTRUM_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_SPECTRUM_H_

namespace vorel::platform::audio {

// Sizes the spectrum accepts: 256 << k for k = 0..5.
constexpr int kMinFftSize = 256;
constexpr int kMaxFftSize = 8192;

// Writes n/2 magnitudes of a Hann-windowed n-point FFT of the mono samples in[0..n) to out,
// scaled so a full-scale sine centred on a band gives 1.0 in that band. n must be a power of
// two from kMinFftSize to kMaxFftSize, and SpectrumAvailable() must have been true. Thread-safe.
void ComputeSpectrum(const float* in, int n, float* out);

// Loads the FFT library on first use; false when it cannot be loaded. Thread-safe.
bool SpectrumAvailable();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_SPECTRUM_H_
