#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_HEARD_CLOCK_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_HEARD_CLOCK_H_

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/mutex.h"

namespace vorel::platform::audio {

// How far what is heard lags behind what the output took from the streams. An output that
// hands a sound server half a second ahead says so here, and the streams subtract it from their
// position, their spectrum and their end. Thread-safe; the output writes, streams read.
class HeardClock {
 public:
  // `rate`: device frames per second.
  explicit HeardClock(int rate) : rate_(rate) {}

  // The most frames the output ever holds unheard: streams keep that much already-mixed sound
  // for their spectrum. Set by the output when it opens, before any stream exists.
  void set_max_unheard(int64_t frames) { max_unheard_.store(frames); }
  int64_t max_unheard() const { return max_unheard_.load(); }

  // Output side: `frames` are mixed but not heard now; while `running` they drain in real time.
  void Set(int64_t frames, bool running) {
    MutexLock lock(mu_);
    frames_ = frames < 0 ? 0 : frames;
    running_ = running;
    stamp_ = std::chrono::steady_clock::now();
  }

  // Mixed frames not heard yet.
  int64_t Unheard() const {
    MutexLock lock(mu_);
    if (!running_ || frames_ == 0) return frames_;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stamp_).count();
    const int64_t left = frames_ - static_cast<int64_t>(elapsed * rate_);
    return left > 0 ? left : 0;
  }

  // Set by the output while nothing can be heard at all (its sound server is gone).
  void set_lost(bool lost) { lost_.store(lost, std::memory_order_release); }
  bool lost() const { return lost_.load(std::memory_order_acquire); }

 private:
  const int rate_;
  std::atomic<int64_t> max_unheard_{0};
  mutable Mutex mu_;
  int64_t frames_ VOREL_GUARDED_BY(mu_) = 0;
  bool running_ VOREL_GUARDED_BY(mu_) = false;
  std::chrono::steady_clock::time_point stamp_ VOREL_GUARDED_BY(mu_);
  std::atomic<bool> lost_{false};
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_HEARD_CLOCK_H_
