#include "platform/audio/internal/playback_stream.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/bass.h"
#include "platform/audio/internal/spectrum.h"

namespace vorel::platform::audio {
namespace {
// A full ring is topped up this often: the decoder then decodes a quarter of a second in one
// go instead of waking a hundred times a second for a few frames (the output takes no locks,
// so it cannot wake the decoder itself). A third of kAheadSeconds, so the ring never runs
// dry; a seek, a stop or the end of the stream wakes the decoder at once.
constexpr auto kRefillInterval = std::chrono::milliseconds(250);
}  // namespace

PlaybackStream::PlaybackStream(std::unique_ptr<Decoder> decoder, int device_rate,
                               std::shared_ptr<HeardClock> clock)
    : Channel(decoder->source_rate(), decoder->source_channels()),
      device_rate_(device_rate),
      network_(decoder->is_network()),
      clock_(std::move(clock)),
      title_(decoder->title()),
      keep_behind_(kKeepBehind + clock_->max_unheard()),
      capacity_(
          static_cast<int64_t>(device_rate * (network_ ? kNetworkAheadSeconds : kAheadSeconds)) +
          keep_behind_),
      ring_(static_cast<size_t>(capacity_) * 2),
      length_frames_(decoder->length_frames()),
      seekable_(decoder->seekable()),
      decoder_(std::move(decoder)) {
  decoder_->set_abort_flag(&quit_);
  thread_ = std::thread([this] { DecodeLoop(); });
}

PlaybackStream::~PlaybackStream() {
  {
    MutexLock lock(mu_);
    quit_ = true;
  }
  cv_.NotifyAll();
  thread_.join();
}

bool PlaybackStream::WaitForFirstData() {
  MutexLock lock(mu_);
  while (!done_ && write_pos_.load() == 0) cv_.Wait(mu_);
  return write_pos_.load() > 0;
}

void PlaybackStream::DecodeLoop() {
  pthread_setname_np(pthread_self(), "bass-decode");  // for profilers and /proc
  std::vector<uint8_t> chunk;
  uint64_t generation = 0;
  for (;;) {
    {
      MutexLock lock(mu_);
      while (!quit_ && generation_ == generation && done_) cv_.Wait(mu_);
      if (quit_) return;
      if (generation_ != generation) {
        generation = generation_;
        const int64_t target = seek_target_;
        seek_pending_ = false;
        lock.Unlock();
        const bool moved = decoder_->Seek(target);
        lock.Lock();
        if (!moved && generation_ == generation) base_source_ = decoder_->next_frame();
        continue;
      }
    }
    chunk.clear();
    const int frames = decoder_->Read(chunk, &seek_pending_);
    if (frames < 0) continue;  // a seek interrupted the read
    if (frames == 0) {
      MutexLock lock(mu_);
      if (generation_ == generation) {
        done_ = true;
        // The true end is known now, whatever the container claimed.
        if (decoder_->next_frame() > 0) length_frames_ = decoder_->next_frame();
      }
      cv_.NotifyAll();
      continue;
    }
    const float* src = reinterpret_cast<const float*>(chunk.data());
    int64_t written = 0;
    MutexLock lock(mu_);
    while (written < frames && !quit_ && generation_ == generation) {
      const uint64_t w = write_pos_.load(std::memory_order_relaxed);
      // After a seek the sound before it is never read: the ring has room for the new sound at
      // once, not only after the output has taken some of it (which a full ring would wait
      // a refill interval for, leaving a gap).
      const uint64_t r = EffectiveReadPos();
      const int64_t space = capacity_ - keep_behind_ - static_cast<int64_t>(w - r);
      if (space <= 0) {
        cv_.WaitFor(mu_, kRefillInterval);
        continue;
      }
      const int64_t n = std::min<int64_t>(space, frames - written);
      for (int64_t i = 0; i < n; ++i) {
        const size_t slot = static_cast<size_t>((w + i) % capacity_) * 2;
        ring_[slot].store(src[(written + i) * 2], std::memory_order_relaxed);
        ring_[slot + 1].store(src[(written + i) * 2 + 1], std::memory_order_relaxed);
      }
      write_pos_.store(w + n, std::memory_order_release);
      written += n;
      if (w == 0) cv_.NotifyAll();
    }
  }
}

void PlaybackStream::SeekLocked(int64_t frame) {
  ++generation_;
  seek_target_ = frame;
  seek_pending_ = true;
  done_ = false;
  ended_ = false;
  base_device_ = write_pos_.load();
  discard_until_.store(base_device_, std::memory_order_release);
  base_source_ = frame;
  cv_.NotifyAll();
}

uint64_t PlaybackStream::EffectiveReadPos() const {
  return std::max(read_pos_.load(std::memory_order_acquire),
                  discard_until_.load(std::memory_order_acquire));
}

bool PlaybackStream::Play(bool restart, int* error) {
  MutexLock lock(mu_);
  if (restart || ended_) SeekLocked(0);
  paused_ = false;
  ended_ = false;
  playing_ = true;
  return true;
}

bool PlaybackStream::Pause(int* error) {
  MutexLock lock(mu_);
  if (!playing_) {
    *error = BASS_ERROR_NOPLAY;
    return false;
  }
  playing_ = false;
  paused_ = true;
  return true;
}

bool PlaybackStream::Stop(int* error) {
  MutexLock lock(mu_);
  playing_ = false;
  paused_ = false;
  return true;
}

uint32_t PlaybackStream::State() {
  MutexLock lock(mu_);
  if (!playing_) return paused_ ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_STOPPED;
  // Nothing can be heard: the stream waits for its output as it would for data.
  if (clock_->lost()) return BASS_ACTIVE_STALLED;
  const bool empty = EffectiveReadPos() >= write_pos_.load(std::memory_order_acquire);
  // The end is reached when the output has played the last frame, not when it took it.
  if (done_ && empty && clock_->Unheard() == 0) {
    playing_ = false;
    ended_ = true;
    return BASS_ACTIVE_STOPPED;
  }
  return empty && network_ ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
}

int64_t PlaybackStream::LengthFrames() {
  MutexLock lock(mu_);
  return length_frames_;
}

int64_t PlaybackStream::PositionFrames() {
  MutexLock lock(mu_);
  const uint64_t r = HeardPos(read_pos_.load(std::memory_order_acquire));
  const uint64_t played = r > base_device_ ? r - base_device_ : 0;
  int64_t pos = base_source_ +
                static_cast<int64_t>(static_cast<double>(played) * source_rate() / device_rate_);
  if (length_frames_ >= 0) pos = std::min(pos, length_frames_);
  return pos;
}

bool PlaybackStream::SeekFrames(int64_t frame, int* error) {
  MutexLock lock(mu_);
  if (!seekable_) {
    *error = BASS_ERROR_NOTAVAIL;
    return false;
  }
  if (frame < 0 || (length_frames_ >= 0 && frame > length_frames_)) {
    *error = BASS_ERROR_POSITION;
    return false;
  }
  SeekLocked(frame);
  return true;
}

void PlaybackStream::SetVolume(float volume) { volume_.store(volume); }
float PlaybackStream::Volume() { return volume_.load(); }

uint32_t PlaybackStream::GetData(void* buffer, uint32_t length, int* error) {
  if (length == BASS_DATA_AVAILABLE) {
    MutexLock lock(mu_);
    const uint64_t w = write_pos_.load();
    const uint64_t r = EffectiveReadPos();
    const double frames = w > r ? static_cast<double>(w - r) * source_rate() / device_rate_ : 0;
    return static_cast<uint32_t>(frames) * block_bytes();
  }
  if (!(length & BASS_DATA_FFT256)) {
    *error = BASS_ERROR_NOTAVAIL;  // raw sample data is read from decoding channels only
    return static_cast<uint32_t>(-1);
  }
  const uint32_t size_code = length & 7;
  if (size_code > 5 || (length & ~7u) != BASS_DATA_FFT256) {  // no FFT modifier flags
    *error = BASS_ERROR_ILLPARAM;
    return static_cast<uint32_t>(-1);
  }
  if (State() == BASS_ACTIVE_STOPPED) {
    *error = BASS_ERROR_NOPLAY;
    return static_cast<uint32_t>(-1);
  }
  if (!SpectrumAvailable()) {
    *error = BASS_ERROR_NOTAVAIL;
    return static_cast<uint32_t>(-1);
  }
  const int n = kMinFftSize << size_code;
  std::vector<float> mono(static_cast<size_t>(n), 0.0f);
  // The frames the output plays now; the decoder never writes within keep_behind_ frames behind
  // the read position, so they are stable while copied.
  const uint64_t r = HeardPos(read_pos_.load(std::memory_order_acquire), n);
  for (int i = 0; i < n; ++i) {
    const int64_t f = static_cast<int64_t>(r) - n + i;
    if (f < 0) continue;
    const size_t slot = static_cast<size_t>(f % capacity_) * 2;
    mono[i] = 0.5f * (ring_[slot].load(std::memory_order_relaxed) +
                      ring_[slot + 1].load(std::memory_order_relaxed));
  }
  ComputeSpectrum(mono.data(), n, static_cast<float*>(buffer));
  return static_cast<uint32_t>(n * block_bytes());
}

uint64_t PlaybackStream::HeardPos(uint64_t read_pos, int64_t spectrum_frames) const {
  const int64_t lag = std::min(clock_->Unheard(), keep_behind_ - spectrum_frames);
  return read_pos > static_cast<uint64_t>(lag) ? read_pos - lag : 0;
}

int PlaybackStream::Readable(int frames) const {
  if (!playing_.load(std::memory_order_acquire)) return 0;
  const uint64_t r = EffectiveReadPos();
  const uint64_t w = write_pos_.load(std::memory_order_acquire);
  return static_cast<int>(std::min<int64_t>(frames, w > r ? static_cast<int64_t>(w - r) : 0));
}

bool PlaybackStream::Exhausted() {
  MutexLock lock(mu_);
  return playing_ && done_ && EffectiveReadPos() >= write_pos_.load(std::memory_order_acquire);
}

void PlaybackStream::TakeBack(uint64_t out_pos) {
  if (run_end_ <= out_pos || run_len_ == 0) return;
  const uint64_t back = std::min(run_end_ - out_pos, run_len_);
  const uint64_t r = read_pos_.load(std::memory_order_acquire);
  const uint64_t discard = discard_until_.load(std::memory_order_acquire);
  // Sound of a generation a seek left behind never comes back.
  if (r > discard)
    read_pos_.store(std::max(discard, r - std::min(r, back)), std::memory_order_release);
  run_end_ = out_pos;
  run_len_ = 0;
}

void PlaybackStream::MixInto(float* out, int frames, uint64_t out_pos) {
  if (!playing_.load(std::memory_order_acquire)) return;
  const uint64_t r = EffectiveReadPos();
  const uint64_t w = write_pos_.load(std::memory_order_acquire);
  const int64_t n = std::min<int64_t>(frames, w > r ? static_cast<int64_t>(w - r) : 0);
  if (n > 0) {
    if (out_pos != run_end_) run_len_ = 0;
    run_len_ += static_cast<uint64_t>(n);
    run_end_ = out_pos + static_cast<uint64_t>(n);
  }
  const float volume = volume_.load(std::memory_order_relaxed);
  for (int64_t i = 0; i < n; ++i) {
    const size_t slot = static_cast<size_t>((r + i) % capacity_) * 2;
    out[i * 2] += ring_[slot].load(std::memory_order_relaxed) * volume;
    out[i * 2 + 1] += ring_[slot + 1].load(std::memory_order_relaxed) * volume;
  }
  read_pos_.store(r + n, std::memory_order_release);
}

}  // namespace vorel::platform::audio
