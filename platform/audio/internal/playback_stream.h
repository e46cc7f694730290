#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_PLAYBACK_STREAM_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_PLAYBACK_STREAM_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/internal/channel.h"
#include "platform/audio/internal/decoder.h"
#include "platform/audio/internal/heard_clock.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {

// A stream played on the output device.
//
// Three kinds of thread meet here:
// - callers (any thread) use the Channel methods; they hold mu_ only briefly and never wait
//   for the decoder;
// - the stream's own decoding thread decodes ahead into a ring of device-format frames
//   (float stereo at the device rate), at most kAheadSeconds (kNetworkAheadSeconds for a
//   network stream) ahead of what is heard;
// - the output thread drains the ring in MixInto without locks: write_pos_ and read_pos_
//   are the only shared counters, each written by one side.
// Frames already played stay in the ring for kKeepBehind frames, plus what the output may hold
// unheard (the HeardClock's maximum): the spectrum reads what is heard now, and an output that
// flushes its buffer hands the unheard part back (TakeBack). A seek bumps the generation: data
// of an older one is never written, and what the ring still holds of it is skipped
// (discard_until_).
class PlaybackStream : public Channel {
 public:
  // A local file refills a full ring in well under a millisecond every quarter of a second,
  // so three quarters of a second ahead leave half a second to spare; a network stream keeps
  // more against a server that pauses.
  static constexpr double kAheadSeconds = 0.75;
  static constexpr double kNetworkAheadSeconds = 1.5;
  static constexpr int64_t kKeepBehind = 2 * 8192;

  // Takes a decoder whose output format is float stereo at device_rate and starts decoding.
  // `clock` tells how far what is heard lags behind what the output took.
  PlaybackStream(std::unique_ptr<Decoder> decoder, int device_rate,
                 std::shared_ptr<HeardClock> clock);
  ~PlaybackStream() override;  // stops decoding and joins the thread

  // Waits until the first samples are decoded or the stream turned out empty. False when the
  // stream ended without any sample.
  bool WaitForFirstData();

  bool Play(bool restart, int* error) override;
  bool Pause(int* error) override;
  bool Stop(int* error) override;
  uint32_t State() override;
  int64_t LengthFrames() override;
  int64_t PositionFrames() override;
  bool SeekFrames(int64_t frame, int* error) override;
  void SetVolume(float volume) override;
  float Volume() override;
  uint32_t GetData(void* buffer, uint32_t length, int* error) override;

  // Set from Play until a pause, a stop or the read of its state after the end. Any thread.
  bool playing() const { return playing_.load(std::memory_order_acquire); }

  // What the output may show as this stream's name (its title tag, else its file name).
  const std::string& title() const { return title_; }

  // Output side only (under the mixer's lock). MixInto adds this stream's next `frames` stereo
  // frames, scaled by the volume, to out, which the output will play from its frame `out_pos`
  // on; it takes no lock and allocates nothing. Readable says how many of the next `frames`
  // are decoded (0 when not playing). TakeBack: the output's frames from `out_pos` on were never
  // heard, so this stream's frames among them are read again.
  void MixInto(float* out, int frames, uint64_t out_pos);
  int Readable(int frames) const;
  // True when playing and every frame of the stream has been mixed (the output may drain).
  bool Exhausted();
  void TakeBack(uint64_t out_pos);

 private:
  void DecodeLoop();
  void SeekLocked(int64_t frame) VOREL_REQUIRES(mu_);
  uint64_t EffectiveReadPos() const;
  // The ring frame heard now, given the frame the output reads next; kept at least
  // `spectrum_frames` inside what the ring still holds behind it.
  uint64_t HeardPos(uint64_t read_pos, int64_t spectrum_frames = 0) const;

  const int device_rate_;
  const bool network_;
  const std::shared_ptr<HeardClock> clock_;
  const std::string title_;
  const int64_t keep_behind_;  // played frames kept in the ring
  const int64_t capacity_;     // ring size in frames
  // Stereo frames; the slot of frame f is f % capacity_. Relaxed atomics (plain moves on the
  // machines we build for): a reader of played frames may, in the rare case of a jump after a
  // seek, look at slots the decoder is refilling, and that must not be undefined behaviour.
  std::vector<std::atomic<float>> ring_;

  // Shared with the output thread.
  std::atomic<uint64_t> write_pos_{0};
  std::atomic<uint64_t> read_pos_{0};
  std::atomic<uint64_t> discard_until_{0};
  std::atomic<bool> playing_{false};
  std::atomic<float> volume_{1.0f};
  // Set by a seek so that a blocked network read gives up and the seek can run.
  std::atomic<bool> seek_pending_{false};
  std::atomic<bool> quit_{false};

  // Output side only: the output frames [run_end_ - run_len_, run_end_) hold this stream's
  // latest unbroken stretch of sound.
  uint64_t run_end_ = 0;
  uint64_t run_len_ = 0;

  Mutex mu_;
  CondVar cv_;  // wakes the decoding thread and WaitForFirstData
  bool paused_ VOREL_GUARDED_BY(mu_) = false;
  bool ended_ VOREL_GUARDED_BY(mu_) = false;  // played to the end
  bool done_ VOREL_GUARDED_BY(mu_) = false;   // all of this generation is in the ring
  uint64_t generation_ VOREL_GUARDED_BY(mu_) = 0;
  int64_t seek_target_ VOREL_GUARDED_BY(mu_) = 0;
  uint64_t base_device_ VOREL_GUARDED_BY(mu_) =
      0;                                           // ring frame where the current generation starts
  int64_t base_source_ VOREL_GUARDED_BY(mu_) = 0;  // source frame at base_device_
  int64_t length_frames_ VOREL_GUARDED_BY(mu_) = -1;
  bool seekable_ = true;

  // Decoding thread only.
  std::unique_ptr<Decoder> decoder_;
  std::thread thread_;
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_PLAYBACK_STREAM_H_
