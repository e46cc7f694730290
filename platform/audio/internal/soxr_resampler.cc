#include "platform/audio/internal/soxr_resampler.h"

#include <soxr.h>

#include <cmath>

#include "platform/late_library.h"

namespace vorel::platform::audio {

// clang-format off
#define VOREL_SOXR_FUNCTIONS(X) X(soxr_create) X(soxr_process) X(soxr_clear) X(soxr_delete)
// clang-format on

struct SoxrApi {
  VOREL_SOXR_FUNCTIONS(VOREL_LATE_SLOT)
};

namespace {

const SoxrApi* LoadSoxr() {
  static const SoxrApi* const api =
      platform::LoadFunctionTable<SoxrApi>({"libsoxr.so.0"}, "libbass.so: no resampler of its own",
                                           [](platform::LateLibrary& library, SoxrApi& table) {
                                             VOREL_SOXR_FUNCTIONS(VOREL_LATE_RESOLVE)
                                           });
  return api;
}

}  // namespace

std::unique_ptr<SoxrResampler> SoxrResampler::Create(int in_rate, int out_rate, int channels) {
  const SoxrApi* api = LoadSoxr();
  if (!api || in_rate <= 0 || out_rate <= 0 || channels <= 0) return nullptr;
  soxr_error_t error = nullptr;
  // Interleaved float in and out, high quality (20 bits), on the caller's thread.
  soxr_t s = api->soxr_create(in_rate, out_rate, static_cast<unsigned>(channels), &error, nullptr,
                              nullptr, nullptr);
  if (!s || error) {
    if (s) api->soxr_delete(s);
    return nullptr;
  }
  std::unique_ptr<SoxrResampler> r(new SoxrResampler);
  r->api_ = api;
  r->soxr_ = s;
  r->ratio_ = static_cast<double>(out_rate) / in_rate;
  r->channels_ = channels;
  return r;
}

SoxrResampler::~SoxrResampler() { api_->soxr_delete(soxr_); }

int SoxrResampler::Process(const float* in, int frames, std::vector<uint8_t>& out) {
  const size_t frame_bytes = static_cast<size_t>(channels_) * sizeof(float);
  const size_t old_size = out.size();
  size_t total = 0;
  size_t left = in ? static_cast<size_t>(frames) : 0;
  for (;;) {
    // Room for every frame the input can give, plus some of what the filter holds.
    const size_t room = static_cast<size_t>(std::ceil(left * ratio_)) + 1024;
    out.resize(old_size + (total + room) * frame_bytes);
    size_t used = 0;
    size_t made = 0;
    if (api_->soxr_process(soxr_, in, left, &used, out.data() + old_size + total * frame_bytes,
                           room, &made)) {
      made = used = 0;
    }
    total += made;
    if (in) {
      in += used * channels_;
      left -= used;
      if (left == 0 || used == 0) break;
    } else if (made < room) {
      break;  // the filter is empty
    }
  }
  out.resize(old_size + total * frame_bytes);
  return static_cast<int>(total);
}

void SoxrResampler::Clear() { api_->soxr_clear(soxr_); }

}  // namespace vorel::platform::audio
