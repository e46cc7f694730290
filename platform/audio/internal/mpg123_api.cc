#include "platform/audio/internal/mpg123_api.h"

namespace vorel::platform::audio {

const Mpg123Api* LoadMpg123() {
  static const Mpg123Api* const api = [] {
    const Mpg123Api* loaded = platform::LoadFunctionTable<Mpg123Api>(
        {"libmpg123.so.0"}, "libbass.so: no MP3 decoder of its own",
        [](platform::LateLibrary& library, Mpg123Api& table) {
          VOREL_MPG123_FUNCTIONS(VOREL_LATE_RESOLVE)
        });
    // Needed before libmpg123 1.27, harmless after.
    if (loaded) loaded->mpg123_init();
    return loaded;
  }();
  return api;
}

}  // namespace vorel::platform::audio
