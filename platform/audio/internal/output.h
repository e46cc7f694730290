#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/internal/heard_clock.h"
#include "platform/audio/internal/playback_stream.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {

// The set of streams the output plays. Thread-safe.
//
// The output side (the device's callback, or the output's own thread) never waits here: the
// stream list is an immutable vector published through an atomic pointer, and a reader counts
// itself in while it walks the list. Add and Remove (one at a time, under edit_mu_) publish a
// new list, then wait the few microseconds until no reader can still see the old one and free
// it on their own thread, so a removed stream is let go before Remove returns and never while
// it is being mixed. Mix, Readable, TakeBack and AllExhausted belong to the output side and run
// one at a time (on the output's thread, or under the output's own lock).
class Mixer {
 public:
  // `clock` is shared with every stream of the set (streams may outlive the mixer).
  explicit Mixer(std::shared_ptr<HeardClock> clock);
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  void Add(std::shared_ptr<PlaybackStream> stream) VOREL_EXCLUDES(edit_mu_);
  void Remove(const PlaybackStream* stream) VOREL_EXCLUDES(edit_mu_);
  // Output side: writes `frames` stereo float frames, the sum of every playing stream, clipped
  // to [-1, 1]. Takes no lock and allocates nothing.
  void Mix(float* out, int frames);
  // Output side: how many of the next `frames` frames some playing stream has decoded (an
  // output that buffers far ahead writes only those, so that a seek or a stalled network
  // stream never puts silence ahead of the sound).
  int Readable(int frames);
  // Output side: the last `frames` mixed frames were never heard (a buffer was flushed or its
  // server went away). Each stream takes back its share, to be mixed again later.
  void TakeBack(int64_t frames);
  // True while a stream of the set is playing (an ended one counts until its state is read).
  // Any thread.
  bool AnyPlaying();
  // True when streams play and each has had all its frames mixed: only their end is to come.
  bool AllExhausted();
  // The title of the first playing stream; empty when none plays.
  std::string PlayingTitle();

  const std::shared_ptr<HeardClock>& clock() const { return clock_; }

 private:
  using StreamList = std::vector<std::shared_ptr<PlaybackStream>>;
  class Reading;

  // Makes `next` the list readers see; the old one is freed once no reader holds it.
  void Publish(std::unique_ptr<StreamList> next) VOREL_REQUIRES(edit_mu_);

  const std::shared_ptr<HeardClock> clock_;
  Mutex edit_mu_;
  // The published list, owned here; list_ points to it.
  std::unique_ptr<StreamList> owned_ VOREL_GUARDED_BY(edit_mu_);
  std::atomic<const StreamList*> list_;
  // Readers between loading list_ and leaving it.
  std::atomic<int> readers_{0};
  // Frames mixed so far, less those taken back. Output side.
  std::atomic<uint64_t> mixed_{0};
};

// The sound output, pulling from a Mixer on a thread of its own.
class Output {
 public:
  using Rest = std::chrono::duration<double>;
  // How long an output keeps a paused device or stream before it closes it. A pause and a
  // resume within it cost nothing, and a player left in the tray stops costing anything after.
  static constexpr Rest kDefaultRest{10.0};

  virtual ~Output() = default;
  int rate() const { return rate_; }

  // Opens the output chosen by VOREL_AUDIO ("null", "wav:/path", "pulse", "sdl"; unset: the
  // sound server when one answers, else SDL) or the SDL device `device` (-1/1 default, 0 the
  // silent output, n >= 2 the (n-2)th SDL device). A paused device or stream is closed after
  // `rest`. Returns null and a BASS_ERROR_* code when nothing can be opened.
  static std::unique_ptr<Output> Open(int device, int rate, Mixer* mixer, Rest rest, int* error);

  // Called after a stream of the mixer started, paused, stopped, ended or went away. The output
  // pulls only while the mixer has a playing stream: a started one wakes it, and with nothing
  // left to play it rests (no thread wakes for it). Returns false when something should play
  // but nothing can be heard (a device closed while resting does not open again, the sound
  // server is gone). Any thread except the output's own; the caller holds no lock the output's
  // threads may wait on, since opening or pausing a device may wait for its callback.
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

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_OUTPUT_H_
