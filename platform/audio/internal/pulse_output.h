#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_OUTPUT_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_OUTPUT_H_

#include <memory>

#include "platform/audio/internal/output.h"

namespace vorel::platform::audio {

// The desktop's sound server (PulseAudio, or PipeWire serving its protocol) as the output.
// The server holds about half a second of mixed sound, so it and the player wake rarely; a
// pause corks the stream, a seek, stop or stream removal flushes it, and the stream carries
// the program's name, icon, the music role and the playing stream's title. When the server
// goes away the playing streams wait (state stalled) and the output reconnects; new streams
// fail with BASS_ERROR_DEVICE meanwhile. A stream corked or played out for `rest` is closed.
//
// Returns null and *error = BASS_ERROR_DRIVER when the client library is missing, or
// BASS_ERROR_DEVICE when no server answers within a few seconds.
std::unique_ptr<Output> OpenPulseOutput(int rate, Mixer* mixer, Output::Rest rest, int* error);

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_PULSE_OUTPUT_H_
