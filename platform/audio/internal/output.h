#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/internal/heard_clock.h"
#include "platform/audio/internal/playback_stream.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {

// The set of streams the output plays. Thread-safe. The output side holds mu_ only while
// mixing one buffer or taking frames back; Add and Remove take it to change the set, so a
// stream is never freed while it is being mixed.
class Mixer {
 public:
  // `clock` is shared with every stream of the set (streams may outlive the mixer).
  explicit Mixer(std::shared_ptr<HeardClock> clock) : clock_(std::move(clock)) {}

  void Add(std::shared_ptr<PlaybackStream> stream);
  void Remove(const PlaybackStream* stream);
  // Output side: writes `frames` stereo float frames, the sum of every playing stream, clipped
  // to [-1, 1].
  void Mix(float* out, int frames);
  // Output side: how many of the next `frames` frames some playing stream has decoded (an
  // output that buffers far ahead writes only those, so that a seek or a stalled network
  // stream never puts silence ahead of the sound).
  int Readable(int frames);
  // Output side: the last `frames` mixed frames were never heard (a buffer was flushed or its
  // server went away). Each stream takes back its share, to be mixed again later.
  void TakeBack(int64_t frames);
  // True while a stream of the set is playing (an ended one counts until its state is read).
  bool AnyPlaying();
  // True when streams play and each has had all its frames mixed: only their end is to come.
  bool AllExhausted();
  // The title of the first playing stream; empty when none plays.
  std::string PlayingTitle();

  const std::shared_ptr<HeardClock>& clock() const { return clock_; }

 private:
  const std::shared_ptr<HeardClock> clock_;
  Mutex mu_;
  std::vector<std::shared_ptr<PlaybackStream>> streams_ VOREL_GUARDED_BY(mu_);
  uint64_t mixed_ VOREL_GUARDED_BY(mu_) = 0;  // frames mixed so far, less those taken back
};

// The sound output, pulling from a Mixer on a thread of its own.
class Output {
 public:
  virtual ~Output() = default;
  int rate() const { return rate_; }

  // Opens the output chosen by VOREL_AUDIO ("null", "wav:/path", "pulse", "sdl"; unset: the
  // sound server when one answers, else SDL) or the SDL device `device` (-1/1 default, 0 the
  // silent output, n >= 2 the (n-2)th SDL device). Returns null and a BASS_ERROR_* code when
  // nothing can be opened.
  static std::unique_ptr<Output> Open(int device, int rate, Mixer* mixer, int* error);

  // Called after a stream of the mixer started, paused, stopped, ended or went away. The output
  // pulls only while the mixer has a playing stream: a started one wakes it, and with nothing
  // left to play it rests (no thread wakes for it). Returns false when something should play
  // but nothing can be heard (a device closed while resting does not open again, the sound
  // server is gone). Any thread except the output's own.
  virtual bool PlayingChanged() = 0;

  // Called after a seek, a stop or the removal of a stream: what the output holds but has not
  // played yet must not be heard. Outputs that hold little do nothing. Any thread except the
  // output's own.
  virtual void Discard() {}

  // False while nothing can be heard and new streams should not open (the sound server went
  // away and has not come back). Any thread.
  virtual bool CanPlay() { return true; }

 protected:
  explicit Output(int rate) : rate_(rate) {}

 private:
  const int rate_;
};

// How long an output keeps a paused device or stream before it closes it: 10 s, unless
// VOREL_AUDIO_REST_SECONDS says otherwise. A pause and a resume within it cost nothing, and a
// player left in the tray stops costing anything after it.
double RestSeconds();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
