#ifndef VOREL_PLATFORM_AUDIO_TESTING_H_
#define VOREL_PLATFORM_AUDIO_TESTING_H_

// The audio library's seam for its own tests. They load libbass.so by name and resolve this
// function as they resolve the BASS_* ones; the player never does.

// Only the audio tests define this; a file of the program that includes the seam is refused.
#ifndef VOREL_BASS_TESTING
#error "platform/audio/testing.h is for the audio library's tests only"
#endif

extern "C" {

// How long an output opened by a later BASS_Init keeps a paused device or stream before it
// closes it, in seconds; a negative value restores the default of 10 s. Any thread.
void vorel_bass_set_rest_seconds(double seconds);

}  // extern "C"

#endif  // VOREL_PLATFORM_AUDIO_TESTING_H_
