#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_

#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/internal/channel.h"
#include "platform/audio/internal/decoder.h"

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
  int64_t FillLocked(int64_t frames);
  uint32_t SpectrumLocked(float* out, int n, int* error);

  std::mutex mu_;
  std::unique_ptr<Decoder> decoder_;  // guarded by mu_
  std::vector<uint8_t> pending_;      // guarded by mu_: decoded, not yet read
  size_t pending_offset_ = 0;         // guarded by mu_
  int64_t position_ = 0;              // guarded by mu_: frames handed out
  int64_t length_frames_;             // guarded by mu_
  bool ended_ = false;                // guarded by mu_
  float volume_ = 1.0f;               // guarded by mu_; kept, but decoded data is never scaled
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_DECODE_CHANNEL_H_
