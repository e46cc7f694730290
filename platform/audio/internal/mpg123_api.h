#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_API_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_API_H_

#include <sys/types.h>

// The plain function names, with off_t as the system defines it (64 bits on every platform
// this library is built for), so that each name below is the symbol looked up.
#define MPG123_NO_LARGENAME
#include <mpg123.h>

#include "platform/late_library.h"

static_assert(sizeof(off_t) == 8, "libmpg123's plain names take a 64-bit off_t here");

namespace vorel::platform::audio {

// Every libmpg123 function the library calls. MP3 is what the player plays nearly always, and
// libmpg123 decodes it with a small fraction of the private memory FFmpeg's libraries cost
// once loaded, so it is loaded (by name, with the first MP3) instead of FFmpeg for that.
// clang-format off
#define VOREL_MPG123_FUNCTIONS(X)                                                            \
  X(mpg123_init) X(mpg123_new) X(mpg123_delete) X(mpg123_param) X(mpg123_format_none)       \
  X(mpg123_format) X(mpg123_rates) X(mpg123_replace_reader_handle) X(mpg123_open_handle)    \
  X(mpg123_close) X(mpg123_getformat) X(mpg123_read) X(mpg123_seek) X(mpg123_length)        \
  X(mpg123_meta_check) X(mpg123_id3)
// clang-format on

struct Mpg123Api {
  VOREL_MPG123_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads libmpg123 once per process (thread-safe). Null when it or a function is missing (one
// line on standard error says which); FFmpeg then decodes MP3 too.
const Mpg123Api* LoadMpg123();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_MPG123_API_H_
