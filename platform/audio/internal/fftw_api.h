#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_FFTW_API_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_FFTW_API_H_

#include <fftw3.h>

#include "platform/late_library.h"

namespace vorel::platform::audio {

// The FFTW functions the spectrum calls, loaded with the first spectrum asked for.
// clang-format off
#define VOREL_FFTW_FUNCTIONS(X)                                                          \
  X(fftwf_alloc_complex) X(fftwf_alloc_real) X(fftwf_execute_dft_r2c) X(fftwf_free) \
  X(fftwf_plan_dft_r2c_1d)
// clang-format on

struct FftwApi {
  VOREL_FFTW_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads single-precision FFTW 3 once per process (thread-safe). Null when the library or a
// function is missing; the failure is reported once on standard error.
const FftwApi* LoadFftw();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_FFTW_API_H_
