#include "platform/audio/internal/spectrum.h"

#include <array>
#include <cmath>
#include <vector>

#include "platform/audio/internal/fftw_api.h"
#include "platform/late_library.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {
namespace {

struct Plan {
  fftwf_plan plan = nullptr;
  std::vector<float> window;
};

// FFTW's planner is not thread-safe, executing a finished plan is: plans are made once per
// size under this lock and kept for the life of the process.
Mutex g_plan_mu;
std::array<Plan, 6> g_plans VOREL_GUARDED_BY(g_plan_mu);

const Plan& PlanFor(const FftwApi& fftw, int n) {
  int k = 0;
  while ((kMinFftSize << k) < n) ++k;
  MutexLock lock(g_plan_mu);
  Plan& p = g_plans[k];
  if (!p.plan) {
    float* in = fftw.fftwf_alloc_real(n);
    fftwf_complex* out = fftw.fftwf_alloc_complex(n / 2 + 1);
    p.plan = fftw.fftwf_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    fftw.fftwf_free(in);
    fftw.fftwf_free(out);
    p.window.resize(n);
    for (int i = 0; i < n; ++i) {
      p.window[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * M_PI * i / n)));
    }
  }
  return p;
}

}  // namespace

const FftwApi* LoadFftw() {
  static const FftwApi* const api =
      platform::LoadFunctionTable<FftwApi>({"libfftw3f.so.3"}, "libbass.so: no spectrum",
                                           [](platform::LateLibrary& library, FftwApi& table) {
                                             VOREL_FFTW_FUNCTIONS(VOREL_LATE_RESOLVE)
                                           });
  return api;
}

bool SpectrumAvailable() { return LoadFftw() != nullptr; }

void ComputeSpectrum(const float* in, int n, float* out) {
  const FftwApi* fftw = LoadFftw();
  const Plan& p = PlanFor(*fftw, n);
  float* buf = fftw->fftwf_alloc_real(n);
  fftwf_complex* freq = fftw->fftwf_alloc_complex(n / 2 + 1);
  for (int i = 0; i < n; ++i) buf[i] = in[i] * p.window[i];
  fftw->fftwf_execute_dft_r2c(p.plan, buf, freq);
  // A sine of amplitude A puts A * n / 2 into its band; the Hann window halves that.
  const float scale = 4.0f / static_cast<float>(n);
  for (int k = 0; k < n / 2; ++k) {
    out[k] = std::hypot(freq[k][0], freq[k][1]) * scale;
  }
  fftw->fftwf_free(buf);
  fftw->fftwf_free(freq);
}

}  // namespace vorel::platform::audio
