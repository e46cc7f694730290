#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_

#include <memory>
#include <vector>

#include "platform/audio/internal/channel.h"
#include "platform/audio/internal/decoder.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {

// A stream that is not played but read: GetData decodes on the caller's thread, as fast as the
// caller reads, in the source's own rate and channel count. Thread-safe (one caller at a time
// decodes; the others wait for it).
class DecodeChannel : public Channel {
 public:
  explicit DecodeChannel(std::unique_ptr<Decoder> decoder);

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

 private:
  // Decodes until `frames` frames wait in pending_ or the stream ends. Returns frames waiting.
  int64_t FillLocked(int64_t frames) VOREL_REQUIRES(mu_);
  uint32_t SpectrumLocked(float* out, int n, int* error) VOREL_REQUIRES(mu_);

  Mutex mu_;
  std::unique_ptr<Decoder> decoder_ VOREL_GUARDED_BY(mu_);
  std::vector<uint8_t> pending_ VOREL_GUARDED_BY(mu_);  // decoded, not yet read
  size_t pending_offset_ VOREL_GUARDED_BY(mu_) = 0;
  int64_t position_ VOREL_GUARDED_BY(mu_) = 0;  // frames handed out
  int64_t length_frames_ VOREL_GUARDED_BY(mu_);
  bool ended_ VOREL_GUARDED_BY(mu_) = false;
  float volume_ VOREL_GUARDED_BY(mu_) = 1.0f;  // kept, but decoded data is never scaled
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_
