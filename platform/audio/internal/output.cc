#include "platform/audio/internal/output.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "platform/audio/bass.h"
#include "platform/audio/internal/pulse_output.h"
#include "platform/audio/internal/sdl_api.h"
#include "platform/late_library.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {

// A reader's pass over the published list: while it lives, the list it saw is not freed.
class Mixer::Reading {
 public:
  explicit Reading(Mixer& mixer) : mixer_(mixer) {
    // The count goes up before the list is loaded: a writer that swaps the list and then sees
    // no reader knows that nobody can still hold the old one.
    mixer_.readers_.fetch_add(1);
    list_ = mixer_.list_.load();
  }
  ~Reading() { mixer_.readers_.fetch_sub(1); }
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;

  const StreamList& streams() const { return *list_; }

 private:
  Mixer& mixer_;
  const StreamList* list_;
};

Mixer::Mixer(std::shared_ptr<HeardClock> clock)
    : clock_(std::move(clock)), owned_(std::make_unique<StreamList>()), list_(owned_.get()) {}

// Every reader has left: the output that mixed is gone before its mixer.
Mixer::~Mixer() = default;

void Mixer::Publish(std::unique_ptr<StreamList> next) {
  list_.store(next.get());
  std::unique_ptr<StreamList> old = std::exchange(owned_, std::move(next));
  // A pass over the list lasts one mix of at most a few thousand frames.
  while (readers_.load() != 0) std::this_thread::yield();
  old.reset();  // may let the last reference to a removed stream go: here, not on the output
}

void Mixer::Add(std::shared_ptr<PlaybackStream> stream) {
  MutexLock lock(edit_mu_);
  auto next = std::make_unique<StreamList>(*owned_);
  next->push_back(std::move(stream));
  Publish(std::move(next));
}

void Mixer::Remove(const PlaybackStream* stream) {
  MutexLock lock(edit_mu_);
  auto next = std::make_unique<StreamList>(*owned_);
  std::erase_if(*next, [&](const auto& s) { return s.get() == stream; });
  Publish(std::move(next));
}

void Mixer::Mix(float* out, int frames) {
  std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
  {
    Reading reading(*this);
    const uint64_t at = mixed_.load(std::memory_order_relaxed);
    for (const auto& s : reading.streams()) s->MixInto(out, frames, at);
    mixed_.store(at + static_cast<uint64_t>(frames), std::memory_order_relaxed);
  }
  for (int i = 0; i < frames * 2; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

int Mixer::Readable(int frames) {
  Reading reading(*this);
  int most = 0;
  for (const auto& s : reading.streams()) most = std::max(most, s->Readable(frames));
  return most;
}

void Mixer::TakeBack(int64_t frames) {
  Reading reading(*this);
  uint64_t mixed = mixed_.load(std::memory_order_relaxed);
  mixed -= std::min<uint64_t>(mixed, static_cast<uint64_t>(std::max<int64_t>(frames, 0)));
  mixed_.store(mixed, std::memory_order_relaxed);
  for (const auto& s : reading.streams()) s->TakeBack(mixed);
}

bool Mixer::AnyPlaying() {
  Reading reading(*this);
  const StreamList& streams = reading.streams();
  return std::any_of(streams.begin(), streams.end(), [](const auto& s) { return s->playing(); });
}

bool Mixer::AllExhausted() {
  Reading reading(*this);
  bool any = false;
  for (const auto& s : reading.streams()) {
    if (!s->playing()) continue;
    if (!s->Exhausted()) return false;
    any = true;
  }
  return any;
}

std::string Mixer::PlayingTitle() {
  Reading reading(*this);
  for (const auto& s : reading.streams()) {
    if (s->playing()) return s->title();
  }
  return std::string();
}

namespace {

// Frames the output takes from the mixer at a time: 46 ms at 44.1 kHz. Often enough for the
// spectrum (read every 50 ms) to show new sound at each look and for a pause to be heard at
// once; rarely enough that the thread that pulls wakes only 22 times a second, which is most
// of what playing costs when decoding runs at a thousand times real time.
constexpr int kPullFrames = 2048;

// The system's sound output through SDL2, on machines without a sound server: ALSA.
class SdlOutput : public Output {
 public:
  SdlOutput(int rate, Mixer* mixer, Rest rest) : Output(rate), mixer_(mixer), rest_(rest) {}
  ~SdlOutput() override {
    {
      MutexLock lock(pause_mu_);
      quit_ = true;
    }
    cv_.NotifyAll();
    if (closer_.joinable()) closer_.join();
    if (device_ != 0) sdl_->SDL_CloseAudioDevice(device_);
    if (subsystem_up_) sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  int Start(int device) {
    // SDL would otherwise take over SIGINT and SIGTERM, which belong to the host program.
    sdl_ = LoadSdl();
    if (!sdl_) return BASS_ERROR_DRIVER;
    sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (sdl_->SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return BASS_ERROR_DRIVER;
    subsystem_up_ = true;
    if (device >= 2) {
      const char* name = sdl_->SDL_GetAudioDeviceName(device - 2, 0);
      if (!name) return BASS_ERROR_DEVICE;
      device_name_ = name;
    }
    // Opened now, so that a device that cannot be opened fails here and not at the first song.
    const SDL_AudioDeviceID opened = OpenDevice();
    if (opened == 0) return BASS_ERROR_DEVICE;
    {
      MutexLock lock(pause_mu_);
      device_ = opened;
      paused_since_ = std::chrono::steady_clock::now();
    }
    closer_ = std::thread([this] { CloseWhileResting(); });
    return BASS_OK;
  }

  bool PlayingChanged() override {
    MutexLock lock(pause_mu_);
    // One device change at a time: one under way (this call's or the closer's) ends first, and
    // the state it left is the one compared with.
    while (changing_) cv_.Wait(pause_mu_);
    const bool pause = !mixer_->AnyPlaying();
    if (pause == paused_) return true;
    SDL_AudioDeviceID device = device_;
    changing_ = true;
    // Opening a device can take a while, and pausing one waits for a running callback: neither
    // holds the lock, so no thread that only looks at the output waits for the device.
    lock.Unlock();
    if (!pause && device == 0) device = OpenDevice();
    if (device != 0) sdl_->SDL_PauseAudioDevice(device, pause ? 1 : 0);
    lock.Lock();
    changing_ = false;
    cv_.NotifyAll();
    if (device == 0) {
      std::fprintf(stderr, "libbass.so: the sound device did not open again: %s\n",
                   sdl_->SDL_GetError());
      return false;
    }
    device_ = device;
    paused_ = pause;
    paused_since_ = std::chrono::steady_clock::now();
    return true;
  }

 private:
  // The device opens paused and runs only while something plays (PlayingChanged).
  SDL_AudioDeviceID OpenDevice() {
    SDL_AudioSpec want{};
    want.freq = rate();
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kPullFrames;
    want.callback = &SdlOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // SDL converts to whatever the device takes, so the mixer always sees this format.
    return sdl_->SDL_OpenAudioDevice(device_name_.empty() ? nullptr : device_name_.c_str(), 0,
                                     &want, &have, 0);
  }

  // A paused SDL device still has its thread feed the system silence, about a hundred times a
  // second. Once the device has rested for rest_, it is closed; a stream that starts opens it
  // again.
  void CloseWhileResting() {
    pthread_setname_np(pthread_self(), "bass-rest");
    MutexLock lock(pause_mu_);
    while (!quit_) {
      if (changing_ || !paused_ || device_ == 0) {
        cv_.Wait(pause_mu_);
        continue;
      }
      const auto since = paused_since_;
      const auto deadline =
          since + std::chrono::duration_cast<std::chrono::steady_clock::duration>(rest_);
      while (!quit_ && !changing_ && paused_ && paused_since_ == since) {
        if (!cv_.WaitUntil(pause_mu_, deadline)) break;
      }
      if (quit_ || changing_ || !paused_ || paused_since_ != since) continue;
      // A stream starting meanwhile waits for the close (changing_), then opens anew.
      const SDL_AudioDeviceID device = device_;
      changing_ = true;
      lock.Unlock();
      sdl_->SDL_CloseAudioDevice(device);
      lock.Lock();
      device_ = 0;
      changing_ = false;
      cv_.NotifyAll();
    }
  }

  static void Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlOutput*>(user);
    self->mixer_->Mix(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
  }

  Mixer* mixer_;
  const Rest rest_;
  const SdlApi* sdl_ = nullptr;
  bool subsystem_up_ = false;
  std::string device_name_;  // empty: the system's default device
  std::thread closer_;
  Mutex pause_mu_;
  CondVar cv_;                                                // a change of the fields below
  SDL_AudioDeviceID device_ VOREL_GUARDED_BY(pause_mu_) = 0;  // 0 while closed
  // A thread opens, pauses, resumes or closes the device without the lock; the others wait.
  bool changing_ VOREL_GUARDED_BY(pause_mu_) = false;
  bool paused_ VOREL_GUARDED_BY(pause_mu_) = true;
  bool quit_ VOREL_GUARDED_BY(pause_mu_) = false;
  std::chrono::steady_clock::time_point paused_since_ VOREL_GUARDED_BY(pause_mu_);
};

// An output without a device, clocked in real time so that streams advance and end exactly as
// they would with sound. With a file it writes what would be heard as 16-bit stereo WAV.
class ClockedOutput : public Output {
 public:
  ClockedOutput(int rate, Mixer* mixer) : Output(rate), mixer_(mixer) {}
  ~ClockedOutput() override {
    {
      MutexLock lock(mu_);
      quit_ = true;
    }
    cv_.NotifyAll();
    if (thread_.joinable()) thread_.join();
    if (file_) {
      WriteWavHeader();
      std::fclose(file_);
    }
  }

  bool PlayingChanged() override {
    // A pause or a stop needs no wake: the thread finds nothing playing at its next pull.
    if (!mixer_->AnyPlaying()) return true;
    {
      MutexLock lock(mu_);
      wake_ = true;
    }
    cv_.NotifyAll();
    return true;
  }

  int Start(const std::string& wav_path) {
    if (!wav_path.empty()) {
      file_ = std::fopen(wav_path.c_str(), "wb");
      if (!file_) return BASS_ERROR_FILEOPEN;
      WriteWavHeader();
    }
    thread_ = std::thread([this] { Run(); });
    return BASS_OK;
  }

 private:
  static constexpr int kMaxChunk = 4096;
  // Pulls as often as the sound device does (kPullFrames at 44.1 kHz).
  static constexpr auto kPeriod = std::chrono::milliseconds(46);

  void Run() {
    pthread_setname_np(pthread_self(), "bass-output");  // for profilers and /proc
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    int64_t done = 0;
    std::vector<float> buffer(kMaxChunk * 2);
    std::vector<int16_t> pcm(kMaxChunk * 2);
    MutexLock lock(mu_);
    while (!quit_) {
      wake_ = false;
      if (!mixer_->AnyPlaying()) {
        // Nothing to pull: rest until a stream starts. Nothing is heard meanwhile, so the
        // clock starts again when it does (and a WAV file holds only what was played).
        while (!quit_ && !wake_) cv_.Wait(mu_);
        start = Clock::now();
        done = 0;
        continue;
      }
      cv_.WaitFor(mu_, kPeriod);
      if (quit_) break;
      lock.Unlock();
      const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      int64_t due = static_cast<int64_t>(elapsed * rate()) - done;
      while (due > 0) {
        const int n = static_cast<int>(std::min<int64_t>(due, kMaxChunk));
        mixer_->Mix(buffer.data(), n);
        if (file_) {
          for (int i = 0; i < n * 2; ++i) {
            pcm[i] = static_cast<int16_t>(std::lrint(buffer[i] * 32767.0f));
          }
          std::fwrite(pcm.data(), sizeof(int16_t), static_cast<size_t>(n) * 2, file_);
          data_bytes_ += static_cast<uint32_t>(n) * 4;
        }
        done += n;
        due -= n;
      }
      lock.Lock();
    }
  }

  void WriteWavHeader() {
    auto put32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, file_); };
    auto put16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, file_); };
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, file_);
    put32(36 + data_bytes_);
    std::fwrite("WAVEfmt ", 1, 8, file_);
    put32(16);
    put16(1);  // PCM
    put16(2);
    put32(static_cast<uint32_t>(rate()));
    put32(static_cast<uint32_t>(rate()) * 4);
    put16(4);
    put16(16);
    std::fwrite("data", 1, 4, file_);
    put32(data_bytes_);
    std::fseek(file_, 0, SEEK_END);
  }

  Mixer* mixer_;
  Mutex mu_;
  CondVar cv_;
  bool quit_ VOREL_GUARDED_BY(mu_) = false;
  bool wake_ VOREL_GUARDED_BY(mu_) = false;  // PlayingChanged was called
  std::thread thread_;
  FILE* file_ = nullptr;     // output thread, then the destructor
  uint32_t data_bytes_ = 0;  // output thread, then the destructor
};

}  // namespace

const SdlApi* LoadSdl() {
  static const SdlApi* const api =
      platform::LoadFunctionTable<SdlApi>({"libSDL2-2.0.so.0"}, "libbass.so: no sound output",
                                          [](platform::LateLibrary& library, SdlApi& table) {
                                            VOREL_SDL_FUNCTIONS(VOREL_LATE_RESOLVE)
                                          });
  return api;
}

std::unique_ptr<Output> Output::Open(int device, int rate, Mixer* mixer, Rest rest, int* error) {
  const char* env = std::getenv("VOREL_AUDIO");
  const std::string choice = env ? env : "";
  if (choice == "null" || choice.rfind("wav:", 0) == 0 || device == 0) {
    auto out = std::make_unique<ClockedOutput>(rate, mixer);
    const std::string path = choice.rfind("wav:", 0) == 0 ? choice.substr(4) : "";
    *error = out->Start(device == 0 ? "" : path);
    return *error == BASS_OK ? std::move(out) : nullptr;
  }
  // The desktop's sound server when one answers (a numbered device is one of SDL's list).
  if (choice != "sdl" && device < 2) {
    std::unique_ptr<Output> out = OpenPulseOutput(rate, mixer, rest, error);
    if (out || choice == "pulse") return out;
  }
  auto out = std::make_unique<SdlOutput>(rate, mixer, rest);
  *error = out->Start(device);
  return *error == BASS_OK ? std::move(out) : nullptr;
}

}  // namespace vorel::platform::audio
