#include "platform/audio/internal/decode_channel.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/bass.h"
#include "platform/audio/internal/spectrum.h"

namespace vorel::platform::audio {
namespace {
constexpr uint32_t kFailed = static_cast<uint32_t>(-1);
}

DecodeChannel::DecodeChannel(std::unique_ptr<Decoder> decoder)
    : Channel(decoder->source_rate(), decoder->source_channels(),
              decoder->output_frame_bytes() / decoder->source_channels()),
      decoder_(std::move(decoder)),
      length_frames_(decoder_->length_frames()) {}

bool DecodeChannel::Play(bool, int* error) {
  *error = BASS_ERROR_DECODE;
  return false;
}
bool DecodeChannel::Pause(int* error) {
  *error = BASS_ERROR_DECODE;
  return false;
}
bool DecodeChannel::Stop(int* error) {
  *error = BASS_ERROR_DECODE;
  return false;
}

uint32_t DecodeChannel::State() {
  MutexLock lock(mu_);
  const bool drained = ended_ && pending_offset_ >= pending_.size();
  return drained ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
}

int64_t DecodeChannel::LengthFrames() {
  MutexLock lock(mu_);
  return length_frames_;
}

int64_t DecodeChannel::PositionFrames() {
  MutexLock lock(mu_);
  return position_;
}

bool DecodeChannel::SeekFrames(int64_t frame, int* error) {
  MutexLock lock(mu_);
  if (frame < 0 || (length_frames_ >= 0 && frame > length_frames_)) {
    *error = BASS_ERROR_POSITION;
    return false;
  }
  if (!decoder_->Seek(frame)) {
    *error = BASS_ERROR_NOTAVAIL;
    return false;
  }
  pending_.clear();
  pending_offset_ = 0;
  position_ = frame;
  ended_ = false;
  return true;
}

void DecodeChannel::SetVolume(float volume) {
  MutexLock lock(mu_);
  volume_ = volume;
}

float DecodeChannel::Volume() {
  MutexLock lock(mu_);
  return volume_;
}

int64_t DecodeChannel::FillLocked(int64_t frames) {
  const int frame_bytes = decoder_->output_frame_bytes();
  if (pending_offset_ > 0 && pending_offset_ * 2 >= pending_.size()) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(pending_offset_));
    pending_offset_ = 0;
  }
  int64_t have = static_cast<int64_t>(pending_.size() - pending_offset_) / frame_bytes;
  while (have < frames && !ended_) {
    const int got = decoder_->Read(pending_);
    if (got <= 0) {
      ended_ = true;
      length_frames_ = position_ + have;  // the true end is known now
      break;
    }
    have += got;
  }
  return have;
}

uint32_t DecodeChannel::GetData(void* buffer, uint32_t length, int* error) {
  MutexLock lock(mu_);
  const int frame_bytes = decoder_->output_frame_bytes();
  if (length == BASS_DATA_AVAILABLE) {
    return static_cast<uint32_t>(pending_.size() - pending_offset_);
  }
  if (!buffer) {
    *error = BASS_ERROR_ILLPARAM;
    return kFailed;
  }
  if (length & BASS_DATA_FFT256) {
    const uint32_t size_code = length & 7;
    if (size_code > 5 || (length & ~7u) != BASS_DATA_FFT256) {  // no FFT modifier flags
      *error = BASS_ERROR_ILLPARAM;
      return kFailed;
    }
    if (!SpectrumAvailable()) {
      *error = BASS_ERROR_NOTAVAIL;
      return kFailed;
    }
    return SpectrumLocked(static_cast<float*>(buffer), kMinFftSize << size_code, error);
  }
  const bool wants_float = (length & BASS_DATA_FLOAT) != 0;
  if (wants_float != (frame_bytes == source_channels() * 4)) {
    *error = BASS_ERROR_ILLPARAM;  // the channel's sample format was fixed when it was made
    return kFailed;
  }
  const int64_t frames = (length & 0x0fffffffu) / frame_bytes;
  const int64_t n = std::min(FillLocked(frames), frames);
  if (n == 0 && ended_) {
    *error = BASS_ERROR_ENDED;
    return kFailed;
  }
  std::memcpy(buffer, pending_.data() + pending_offset_, static_cast<size_t>(n) * frame_bytes);
  pending_offset_ += static_cast<size_t>(n) * frame_bytes;
  position_ += n;
  return static_cast<uint32_t>(n * frame_bytes);
}

uint32_t DecodeChannel::SpectrumLocked(float* out, int n, int* error) {
  const int frame_bytes = decoder_->output_frame_bytes();
  const int channels = source_channels();
  const int64_t got = std::min<int64_t>(FillLocked(n), n);
  if (got == 0) {
    *error = BASS_ERROR_ENDED;
    return kFailed;
  }
  std::vector<float> mono(static_cast<size_t>(n), 0.0f);
  const uint8_t* data = pending_.data() + pending_offset_;
  const bool is_float = frame_bytes == channels * 4;
  for (int64_t i = 0; i < got; ++i) {
    float sum = 0;
    for (int c = 0; c < channels; ++c) {
      if (is_float) {
        float v;
        std::memcpy(&v, data + (i * channels + c) * 4, 4);
        sum += v;
      } else {
        int16_t v;
        std::memcpy(&v, data + (i * channels + c) * 2, 2);
        sum += v / 32768.0f;
      }
    }
    mono[i] = sum / channels;
  }
  pending_offset_ += static_cast<size_t>(got) * frame_bytes;
  position_ += got;
  ComputeSpectrum(mono.data(), n, out);
  return static_cast<uint32_t>(got * block_bytes());
}

}  // namespace vorel::platform::audio
