#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_CHANNEL_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_CHANNEL_H_

#include <cstdint>

namespace vorel::platform::audio {

// What every kind of stream answers; each method is thread-safe. Methods that fail set
// *error to a BASS_ERROR_* code (when error is not null) and return false or a failure value.
class Channel {
 public:
  virtual ~Channel() = default;

  int source_rate() const { return source_rate_; }
  int source_channels() const { return source_channels_; }
  // Bytes of one frame at the stream's own rate and channel count (16-bit samples, 32-bit for
  // a float decoding channel): the unit of positions and lengths.
  int block_bytes() const { return source_channels_ * sample_bytes_; }

  virtual bool Play(bool restart, int* error) = 0;
  virtual bool Pause(int* error) = 0;
  virtual bool Stop(int* error) = 0;
  virtual uint32_t State() = 0;          // BASS_ACTIVE_*
  virtual int64_t LengthFrames() = 0;    // -1 when unknown
  virtual int64_t PositionFrames() = 0;  // of what is heard now
  virtual bool SeekFrames(int64_t frame, int* error) = 0;
  virtual void SetVolume(float volume) = 0;
  virtual float Volume() = 0;
  // BASS_ChannelGetData; returns (uint32_t)-1 on failure.
  virtual uint32_t GetData(void* buffer, uint32_t length, int* error) = 0;

 protected:
  Channel(int rate, int channels, int sample_bytes = 2)
      : source_rate_(rate), source_channels_(channels), sample_bytes_(sample_bytes) {}

 private:
  const int source_rate_;
  const int source_channels_;
  const int sample_bytes_;
};

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_CHANNEL_H_
