#include "platform/audio/internal/ffmpeg_api.h"

#include "platform/late_library.h"

namespace vorel::platform::audio {
namespace {

#define VOREL_STR2(x) #x
#define VOREL_STR(x) VOREL_STR2(x)
// The file names carry the ABI (major) versions of the headers built against.
constexpr const char* kAvUtil = "libavutil.so." VOREL_STR(LIBAVUTIL_VERSION_MAJOR);
constexpr const char* kSwResample = "libswresample.so." VOREL_STR(LIBSWRESAMPLE_VERSION_MAJOR);
constexpr const char* kAvCodec = "libavcodec.so." VOREL_STR(LIBAVCODEC_VERSION_MAJOR);
constexpr const char* kAvFormat = "libavformat.so." VOREL_STR(LIBAVFORMAT_VERSION_MAJOR);
#undef VOREL_STR
#undef VOREL_STR2

}  // namespace

const FfmpegApi* LoadFfmpeg() {
  static const FfmpegApi* const api = [] {
    const FfmpegApi* loaded = platform::LoadFunctionTable<FfmpegApi>(
        {kAvUtil, kSwResample, kAvCodec, kAvFormat}, "libbass.so: no decoder",
        [](platform::LateLibrary& library, FfmpegApi& table) {
          VOREL_FFMPEG_FUNCTIONS(VOREL_LATE_RESOLVE)
        });
    // Failures reach the caller as error codes; FFmpeg's own messages would only clutter the
    // host program's standard error.
    if (loaded) loaded->av_log_set_level(AV_LOG_QUIET);
    return loaded;
  }();
  return api;
}

const FfmpegApi& Ffmpeg() { return *LoadFfmpeg(); }

}  // namespace vorel::platform::audio
