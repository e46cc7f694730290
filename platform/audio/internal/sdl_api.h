#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_SDL_API_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_SDL_API_H_

#include <SDL.h>

#include "platform/late_library.h"

namespace vorel::platform::audio {

// The SDL functions the sound output calls. SDL (and the display and sound-server client
// libraries it depends on) is loaded only when a real sound device is opened, never for the
// silent output.
// clang-format off
#define VOREL_SDL_FUNCTIONS(X)                                                             \
  X(SDL_CloseAudioDevice) X(SDL_GetAudioDeviceName) X(SDL_GetError) X(SDL_InitSubSystem) \
  X(SDL_OpenAudioDevice) X(SDL_PauseAudioDevice) X(SDL_QuitSubSystem) X(SDL_SetHint)
// clang-format on

struct SdlApi {
  VOREL_SDL_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads SDL 2 once per process (thread-safe). Null when the library or a function is
// missing; the failure is reported once on standard error.
const SdlApi* LoadSdl();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_SDL_API_H_
