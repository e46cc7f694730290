#include "platform/audio/internal/pulse_output.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/audio/bass.h"
#include "platform/audio/internal/pulse_api.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {
namespace {

// The server-side buffer. The server asks for more each time kRequestMs of it has played, and
// asks its sink for kBufferMs - 2 * kRequestMs of latency (300 ms): a sink on a timer then
// wakes a few times a second, not every 7 ms as it did for the small periods SDL asks for, and
// the player writes ten times a second. A pause (cork) and a flush make the server rewind what
// its sink already holds, so neither waits for this buffer to play out.
constexpr int kBufferMs = 500;
constexpr int kRequestMs = 100;
// Playing starts (and starts again after a flush or an underrun) once this much is there.
constexpr int kPrebufMs = 40;
// Most sound ever mixed and not yet heard: the buffer, the sink's latency and some slack.
constexpr int kMaxUnheardMs = kBufferMs + (kBufferMs - 2 * kRequestMs) + 100;
// While a playing stream has no decoded sound to give (just after a seek, a network stall),
// the output looks again this often instead of writing silence ahead of the sound.
constexpr double kRetrySeconds = 0.02;
// How long a server may take to answer at start, and how often a lost server is called again
// (a connection attempt to a local socket costs next to nothing; more slowly once it stayed
// away for five seconds).
constexpr double kConnectSeconds = 3.0;
constexpr double kReconnectSeconds = 0.1;
constexpr double kSlowReconnectSeconds = 1.0;
constexpr int kFastReconnects = 50;
constexpr int kBytesPerFrame = 2 * static_cast<int>(sizeof(float));

class PulseOutput : public Output {
 public:
  PulseOutput(int rate, Mixer* mixer, Rest rest, const PulseApi* pa)
      : Output(rate), mixer_(mixer), clock_(mixer->clock()), pa_(pa), rest_for_(rest) {}

  ~PulseOutput() override {
    if (!loop_) return;
    LockLoop();
    CloseStreamLocked();
    DropContextLocked();
    for (pa_time_event* e : {retry_, rest_, reconnect_}) {
      if (e) api_->time_free(e);
    }
    UnlockLoop();
    pa_->pa_threaded_mainloop_stop(loop_);
    pa_->pa_threaded_mainloop_free(loop_);
  }

  int Start() {
    clock_->set_max_unheard(static_cast<int64_t>(rate()) * kMaxUnheardMs / 1000);
    loop_ = pa_->pa_threaded_mainloop_new();
    if (!loop_) return BASS_ERROR_DRIVER;
    pa_->pa_threaded_mainloop_set_name(loop_, "bass-output");  // for profilers and /proc
    api_ = pa_->pa_threaded_mainloop_get_api(loop_);
    if (pa_->pa_threaded_mainloop_start(loop_) < 0) return BASS_ERROR_DRIVER;
    LockLoop();
    retry_ = api_->time_new(api_, nullptr, &PulseOutput::OnRetry, this);
    rest_ = api_->time_new(api_, nullptr, &PulseOutput::OnRest, this);
    reconnect_ = api_->time_new(api_, nullptr, &PulseOutput::OnReconnect, this);
    ConnectLocked();
    UnlockLoop();
    // The state callback runs on the loop's thread; a local server answers in a millisecond.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kConnectSeconds);
    for (;;) {
      LockLoop();
      const pa_context_state_t state =
          context_ ? pa_->pa_context_get_state(context_) : PA_CONTEXT_FAILED;
      const bool settled = state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
      if (state == PA_CONTEXT_READY) started_ = true;
      UnlockLoop();
      if (state == PA_CONTEXT_READY) return BASS_OK;
      if (settled || std::chrono::steady_clock::now() > deadline) return BASS_ERROR_DEVICE;
      usleep(2000);
    }
  }

  bool PlayingChanged() override {
    LockLoop();
    const bool play = mixer_->AnyPlaying();
    bool heard = true;
    if (clock_->lost()) {
      heard = !play;
    } else if (play) {
      Disarm(rest_);
      if (!stream_) {
        OpenStreamLocked();
      } else if (pa_->pa_stream_get_state(stream_) == PA_STREAM_READY) {
        if (corked_) {
          Unref(pa_->pa_stream_cork(stream_, 0, nullptr, nullptr));
          corked_ = false;
          clock_->Set(clock_->Unheard(), true);
        }
        UpdateTitleLocked();
        FillLocked(pa_->pa_stream_writable_size(stream_));
      }
    } else if (stream_) {
      if (pa_->pa_stream_get_state(stream_) != PA_STREAM_READY) {
        CloseStreamLocked();  // still connecting: nothing of it was heard
      } else if (drained_) {
        // Played to the end: a cork would cut off what the sink still holds.
        Arm(rest_, rest_for_.count());
      } else if (!corked_) {
        Unref(pa_->pa_stream_cork(stream_, 1, nullptr, nullptr));
        corked_ = true;
        clock_->Set(clock_->Unheard(), false);
        Arm(rest_, rest_for_.count());
      }
    }
    UnlockLoop();
    return heard;
  }

  void Discard() override {
    LockLoop();
    if (stream_ && pa_->pa_stream_get_state(stream_) == PA_STREAM_READY && !drained_) {
      // The streams take back what the server will now drop, so a stopped stream resumes
      // where it was heard; then whatever still plays is written anew.
      mixer_->TakeBack(clock_->Unheard());
      Unref(pa_->pa_stream_flush(stream_, nullptr, nullptr));
      draining_ = false;
      // The server asks for more only as its buffer drains: until the buffer is full again the
      // output fills it by itself, or the sound after a seek would stop short.
      refill_ = FramesIn(kBufferMs);
      clock_->Set(0, !corked_);
      if (!corked_) Arm(retry_, 0.0);
    }
    UnlockLoop();
  }

  bool CanPlay() override { return !clock_->lost(); }

 private:
  // The analysis cannot see that the library's calls take and release the lock.
  void LockLoop() VOREL_ACQUIRE(loop_lock_) VOREL_NO_THREAD_SAFETY_ANALYSIS {
    pa_->pa_threaded_mainloop_lock(loop_);
  }
  void UnlockLoop() VOREL_RELEASE(loop_lock_) VOREL_NO_THREAD_SAFETY_ANALYSIS {
    pa_->pa_threaded_mainloop_unlock(loop_);
  }
  // Called first in each callback: the loop's thread runs them holding the loop lock.
  void InLoopThread() VOREL_ASSERT_CAPABILITY(loop_lock_) {}

  void Unref(pa_operation* op) {
    if (op) pa_->pa_operation_unref(op);
  }

  int FramesIn(int ms) const { return static_cast<int>(static_cast<int64_t>(rate()) * ms / 1000); }

  void Arm(pa_time_event* e, double seconds) {
    if (!e) return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    const auto usec = static_cast<long long>(tv.tv_usec) + static_cast<long long>(seconds * 1e6);
    tv.tv_sec += static_cast<time_t>(usec / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(usec % 1000000);
    api_->time_restart(e, &tv);
  }
  void Disarm(pa_time_event* e) {
    if (e) api_->time_restart(e, nullptr);
  }

  pa_proplist* NewProplist() {
    pa_proplist* p = pa_->pa_proplist_new();
    pa_->pa_proplist_sets(p, PA_PROP_APPLICATION_NAME, "Vorel");
    pa_->pa_proplist_sets(p, PA_PROP_APPLICATION_ID, "vorel");
    // The name of the desktop icon the install rule puts under share/icons/hicolor.
    pa_->pa_proplist_sets(p, PA_PROP_APPLICATION_ICON_NAME, "vorel");
    return p;
  }

  // Loop lock held. Starts connecting a new context; the state callback follows it.
  void ConnectLocked() VOREL_REQUIRES(loop_lock_) {
    pa_proplist* props = NewProplist();
    context_ = pa_->pa_context_new_with_proplist(api_, "Vorel", props);
    pa_->pa_proplist_free(props);
    if (!context_) return;
    context_ready_ = false;
    pa_->pa_context_set_state_callback(context_, &PulseOutput::OnContextState, this);
    // Never start a server of our own: a desktop without one plays through SDL.
    if (pa_->pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
        started_) {
      Arm(reconnect_, NextReconnectDelay());
    }
  }

  void DropContextLocked() VOREL_REQUIRES(loop_lock_) {
    if (!context_) return;
    pa_->pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_->pa_context_disconnect(context_);
    pa_->pa_context_unref(context_);
    context_ = nullptr;
    context_ready_ = false;
  }

  double NextReconnectDelay() VOREL_REQUIRES(loop_lock_) {
    return ++reconnects_ > kFastReconnects ? kSlowReconnectSeconds : kReconnectSeconds;
  }

  // Loop lock held, the server answering. The stream opens uncorked: it exists only while
  // something plays or rests paused.
  void OpenStreamLocked() VOREL_REQUIRES(loop_lock_) {
    title_ = mixer_->PlayingTitle();
    pa_proplist* props = NewProplist();
    pa_->pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    pa_->pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title_.empty() ? "Vorel" : title_.c_str());
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate()), 2};
    stream_ = pa_->pa_stream_new_with_proplist(context_, nullptr, &spec, nullptr, props);
    pa_->pa_proplist_free(props);
    if (!stream_) return;
    pa_->pa_stream_set_state_callback(stream_, &PulseOutput::OnStreamState, this);
    pa_->pa_stream_set_write_callback(stream_, &PulseOutput::OnWrite, this);
    const auto bytes = [&](int ms) { return static_cast<uint32_t>(FramesIn(ms) * kBytesPerFrame); };
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = bytes(kBufferMs);
    attr.prebuf = bytes(kPrebufMs);
    attr.minreq = bytes(kRequestMs);
    attr.fragsize = static_cast<uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    corked_ = false;
    refill_ = 0;
    clock_->Set(0, true);
    if (pa_->pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
      CloseStreamLocked();
    }
  }

  // Loop lock held. What the stream held unheard goes back to the streams that gave it.
  void CloseStreamLocked() VOREL_REQUIRES(loop_lock_) {
    Disarm(retry_);
    Disarm(rest_);
    draining_ = false;
    drained_ = false;
    if (!stream_) return;
    mixer_->TakeBack(clock_->Unheard());
    clock_->Set(0, false);
    pa_->pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_->pa_stream_set_write_callback(stream_, nullptr, nullptr);
    if (pa_->pa_stream_get_state(stream_) == PA_STREAM_READY) pa_->pa_stream_disconnect(stream_);
    pa_->pa_stream_unref(stream_);
    stream_ = nullptr;
  }

  void UpdateTitleLocked() VOREL_REQUIRES(loop_lock_) {
    std::string title = mixer_->PlayingTitle();
    if (title.empty() || title == title_) return;
    title_ = std::move(title);
    pa_proplist* props = pa_->pa_proplist_new();
    pa_->pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title_.c_str());
    Unref(pa_->pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, props, nullptr, nullptr));
    pa_->pa_proplist_free(props);
  }

  // Loop lock held, stream ready: writes up to `bytes` of what the streams have decoded.
  void FillLocked(size_t bytes) VOREL_REQUIRES(loop_lock_) {
    if (corked_ || bytes == static_cast<size_t>(-1)) return;
    const int wanted = std::max(static_cast<int>(bytes / kBytesPerFrame), refill_);
    const int frames = mixer_->Readable(wanted);
    refill_ = std::max(0, refill_ - frames);
    if (frames > 0) {
      draining_ = false;
      drained_ = false;
      WriteMixedLocked(frames);
    }
    if (frames == 0 && mixer_->AllExhausted()) {
      // Only the end is left: the server says when it has played it. The timing the server
      // reports stands still once its buffer runs dry, so it cannot tell.
      if (!draining_) {
        draining_ = true;
        clock_->Set(std::max<int64_t>(clock_->Unheard(), 1), false);
        Unref(pa_->pa_stream_drain(stream_, &PulseOutput::OnDrained, this));
      }
      return;
    }
    UpdateClockLocked(frames);
    if (frames < wanted && mixer_->AnyPlaying()) Arm(retry_, kRetrySeconds);
  }

  // Loop lock held: mixes `frames` frames straight into blocks of the memory the server shares
  // with us and hands them over, so the sound is neither held in a buffer of our own between
  // writes nor copied once more. A block holds at most the pool's block size (64 KiB, 0.19 s),
  // so a longer write takes several.
  void WriteMixedLocked(int frames) VOREL_REQUIRES(loop_lock_) {
    while (frames > 0) {
      void* block = nullptr;
      size_t size = static_cast<size_t>(frames) * kBytesPerFrame;
      if (pa_->pa_stream_begin_write(stream_, &block, &size) < 0 || !block) return;
      const int n = std::min(frames, static_cast<int>(size / kBytesPerFrame));
      if (n <= 0) {
        pa_->pa_stream_cancel_write(stream_);
        return;
      }
      mixer_->Mix(static_cast<float*>(block), n);
      pa_->pa_stream_write(stream_, block, static_cast<size_t>(n) * kBytesPerFrame, nullptr, 0,
                           PA_SEEK_RELATIVE);
      frames -= n;
    }
  }

  static void OnDrained(pa_stream* s, int success, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    if (s != self->stream_ || !self->draining_) return;
    self->draining_ = false;
    self->drained_ = true;
    // The server's buffer is played out; its sink still holds the last of it for its latency.
    const pa_timing_info* timing = self->pa_->pa_stream_get_timing_info(s);
    const int64_t sink = timing ? static_cast<int64_t>(timing->sink_usec) : 0;
    self->clock_->Set(sink * self->rate() / 1000000, true);
  }

  // Loop lock held: the server's own account of how long until the last frame written is heard.
  void UpdateClockLocked(int written) VOREL_REQUIRES(loop_lock_) {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_->pa_stream_get_latency(stream_, &latency, &negative) == 0) {
      clock_->Set(negative ? 0 : static_cast<int64_t>(latency * rate() / 1000000), true);
    } else if (written > 0) {  // no timing yet (just connected or flushed): count what was written
      clock_->Set(clock_->Unheard() + written, true);
    }
  }

  // The loop's callbacks; each runs on the loop's thread with the loop lock held.
  static void OnContextState(pa_context* c, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    if (c != self->context_) return;
    const pa_context_state_t state = self->pa_->pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) {
      self->context_ready_ = true;
      self->reconnects_ = 0;
      self->clock_->set_lost(false);
      if (self->mixer_->AnyPlaying()) self->OpenStreamLocked();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
      if (self->context_ready_) self->ServerLostLocked();
      self->context_ready_ = false;
      // The dead context is let go from the timer, not from inside its own callback.
      if (self->started_) self->Arm(self->reconnect_, self->NextReconnectDelay());
    }
  }

  // The server went away: nothing it held will be heard, and nothing plays until it is back.
  void ServerLostLocked() VOREL_REQUIRES(loop_lock_) {
    clock_->set_lost(true);
    CloseStreamLocked();
  }

  static void OnStreamState(pa_stream* s, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    if (s != self->stream_ || PA_STREAM_IS_GOOD(self->pa_->pa_stream_get_state(s))) return;
    // The server dropped the stream (its sink went away, say): a new one opens shortly.
    self->CloseStreamLocked();
    self->Arm(self->retry_, kReconnectSeconds);
  }

  static void OnWrite(pa_stream* s, size_t bytes, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    if (s == self->stream_) self->FillLocked(bytes);
  }

  static void OnRetry(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    self->Disarm(self->retry_);
    if (!self->context_ready_) return;
    if (!self->stream_) {
      if (self->mixer_->AnyPlaying()) self->OpenStreamLocked();
    } else if (self->pa_->pa_stream_get_state(self->stream_) == PA_STREAM_READY) {
      self->FillLocked(self->pa_->pa_stream_writable_size(self->stream_));
    }
  }

  // A stream corked (or played out) for a while is closed, so that neither the server nor its
  // timing updates wake anything for a player that rests.
  static void OnRest(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    self->Disarm(self->rest_);
    if (self->corked_ || self->drained_) self->CloseStreamLocked();
  }

  static void OnReconnect(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->InLoopThread();
    self->Disarm(self->reconnect_);
    self->DropContextLocked();
    self->ConnectLocked();
  }

  Mixer* const mixer_;
  const std::shared_ptr<HeardClock> clock_;
  const PulseApi* const pa_;
  // How long a corked or played-out stream is kept before it closes.
  const Rest rest_for_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_mainloop_api* api_ = nullptr;

  // PulseAudio's loop lock, as the analysis knows it: other threads take it through
  // LockLoop, and the loop's thread holds it while it runs a callback.
  struct VOREL_CAPABILITY("mutex") LoopLock {};
  LoopLock loop_lock_;

  pa_context* context_ VOREL_GUARDED_BY(loop_lock_) = nullptr;
  bool context_ready_ VOREL_GUARDED_BY(loop_lock_) = false;
  // Start succeeded: a lost server is called again.
  bool started_ VOREL_GUARDED_BY(loop_lock_) = false;
  int reconnects_ VOREL_GUARDED_BY(loop_lock_) = 0;
  pa_stream* stream_ VOREL_GUARDED_BY(loop_lock_) = nullptr;
  bool corked_ VOREL_GUARDED_BY(loop_lock_) = false;
  // The end of every playing stream is written; the server plays it out.
  bool draining_ VOREL_GUARDED_BY(loop_lock_) = false;
  // And the server's buffer is empty: nothing to cork or flush.
  bool drained_ VOREL_GUARDED_BY(loop_lock_) = false;
  std::string title_ VOREL_GUARDED_BY(loop_lock_);
  // Frames to write after a flush even though the server has not asked yet.
  int refill_ VOREL_GUARDED_BY(loop_lock_) = 0;
  // Write again, or open the stream again, soon.
  pa_time_event* retry_ VOREL_GUARDED_BY(loop_lock_) = nullptr;
  // Close a stream corked for a while.
  pa_time_event* rest_ VOREL_GUARDED_BY(loop_lock_) = nullptr;
  // Call a lost server again.
  pa_time_event* reconnect_ VOREL_GUARDED_BY(loop_lock_) = nullptr;
};

}  // namespace

const PulseApi* LoadPulse() {
  static const PulseApi* const api =
      platform::LoadFunctionTable<PulseApi>({"libpulse.so.0"}, "libbass.so: no sound-server client",
                                            [](platform::LateLibrary& library, PulseApi& table) {
                                              VOREL_PULSE_FUNCTIONS(VOREL_LATE_RESOLVE)
                                            });
  return api;
}

std::unique_ptr<Output> OpenPulseOutput(int rate, Mixer* mixer, Output::Rest rest, int* error) {
  const PulseApi* pa = LoadPulse();
  if (!pa) {
    *error = BASS_ERROR_DRIVER;
    return nullptr;
  }
  auto out = std::make_unique<PulseOutput>(rate, mixer, rest, pa);
  *error = out->Start();
  return *error == BASS_OK ? std::move(out) : nullptr;
}

}  // namespace vorel::platform::audio
