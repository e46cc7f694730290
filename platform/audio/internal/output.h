#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_

#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/internal/playback_stream.h"

namespace vorel::platform::audio {

// The set of streams the output plays. Thread-safe. The output thread holds mu_ only while
// mixing one buffer; Add and Remove take it to change the set, so a stream is never freed while
// it is being mixed.
class Mixer {
 public:
  void Add(std::shared_ptr<PlaybackStream> stream);
  void Remove(const PlaybackStream* stream);
  // Output thread: writes `frames` stereo float frames, the sum of every playing stream, clipped
  // to [-1, 1].
  void Mix(float* out, int frames);
  // True while a stream of the set is playing (an ended one counts until its state is read).
  bool AnyPlaying();

 private:
  std::mutex mu_;
  std::vector<std::shared_ptr<PlaybackStream>> streams_;
};

// The sound output, pulling from a Mixer on a thread of its own.
class Output {
 public:
  virtual ~Output() = default;
  int rate() const { return rate_; }

  // Opens the output chosen by VOREL_AUDIO ("null", "wav:/path") or the SDL device `device`
  // (-1/1 default, 0 the silent output, n >= 2 the (n-2)th device). Returns null and a
  // BASS_ERROR_* code when nothing can be opened.
  static std::unique_ptr<Output> Open(int device, int rate, Mixer* mixer, int* error);

  // Called after a stream of the mixer started, paused, stopped, ended or went away. The output
  // pulls only while the mixer has a playing stream: a started one wakes it, and with nothing
  // left to play it rests (no thread wakes for it). Returns false when something should play
  // but the device, closed while resting, cannot be opened again. Any thread except the
  // output's own.
  virtual bool PlayingChanged() = 0;

 protected:
  explicit Output(int rate) : rate_(rate) {}

 private:
  const int rate_;
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
