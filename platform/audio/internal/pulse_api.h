#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_API_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_API_H_

#include <pulse/pulseaudio.h>

#include "platform/late_library.h"

namespace vorel::platform::audio {

// The PulseAudio client functions the sound-server output calls. The client library is loaded
// when the library opens its output, never for the silent output.
// clang-format off
#define VOREL_PULSE_FUNCTIONS(X)                                                               \
  X(pa_context_connect) X(pa_context_disconnect) X(pa_context_get_state)                       \
  X(pa_context_new_with_proplist) X(pa_context_set_state_callback) X(pa_context_unref)         \
  X(pa_operation_unref) X(pa_proplist_free) X(pa_proplist_new) X(pa_proplist_sets)             \
  X(pa_stream_begin_write) X(pa_stream_cancel_write) X(pa_stream_connect_playback)             \
  X(pa_stream_cork) X(pa_stream_disconnect) X(pa_stream_drain) X(pa_stream_flush)              \
  X(pa_stream_get_timing_info) X(pa_stream_get_latency) X(pa_stream_get_state)                 \
  X(pa_stream_new_with_proplist) X(pa_stream_proplist_update) X(pa_stream_set_state_callback)  \
  X(pa_stream_set_write_callback) X(pa_stream_unref) X(pa_stream_writable_size)                \
  X(pa_stream_write) X(pa_threaded_mainloop_free) X(pa_threaded_mainloop_get_api)              \
  X(pa_threaded_mainloop_lock) X(pa_threaded_mainloop_new) X(pa_threaded_mainloop_set_name)    \
  X(pa_threaded_mainloop_start) X(pa_threaded_mainloop_stop) X(pa_threaded_mainloop_unlock)
// clang-format on

struct PulseApi {
  VOREL_PULSE_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads the PulseAudio client library once per process (thread-safe). Null when the library
// or a function is missing; the failure is reported once on standard error.
const PulseApi* LoadPulse();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_API_H_
