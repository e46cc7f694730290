#include "platform/audio/internal/mpg123_decoder.h"

#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

#include "platform/audio/internal/mp3_frames.h"
#include "platform/audio/internal/mpg123_api.h"

namespace vorel::platform::audio {
namespace {

// Samples asked of libmpg123 per Read: four MPEG-1 frames.
constexpr int kReadFrames = 4 * 1152;
// Reads that deliver nothing although the stream goes on; past this many in a row it is broken.
constexpr int kMaxEmptyReads = 1000;

mpg123_ssize_t ReadBytes(void* handle, void* buf, size_t size) {
  const int n = static_cast<ByteSource*>(handle)->Read(
      static_cast<uint8_t*>(buf), static_cast<int>(std::min<size_t>(size, INT_MAX)));
  if (n == AVERROR_EOF) return 0;
  return n < 0 ? -1 : n;
}

off_t SeekBytes(void* handle, off_t offset, int whence) {
  const int64_t at = static_cast<ByteSource*>(handle)->Seek(offset, whence);
  return at < 0 ? -1 : static_cast<off_t>(at);
}

// ID3v1 texts are Latin-1, padded with spaces or zeros.
std::string Latin1ToUtf8(const char* text, size_t size) {
  size = strnlen(text, size);
  while (size > 0 && text[size - 1] == ' ') --size;
  std::string utf8;
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

// Widens `frames` mono frames at the start of `data` to stereo, in place (the buffer holds room
// for both).
void MonoToStereo(uint8_t* data, int frames, int sample_bytes) {
  for (int i = frames - 1; i >= 0; --i) {
    std::memmove(data + (2 * i + 1) * sample_bytes, data + i * sample_bytes, sample_bytes);
    std::memmove(data + 2 * i * sample_bytes, data + i * sample_bytes, sample_bytes);
  }
}

}  // namespace

Mpg123Decoder::~Mpg123Decoder() {
  if (handle_) {
    api_->mpg123_close(handle_);
    api_->mpg123_delete(handle_);
  }
}

std::unique_ptr<Decoder> Mpg123Decoder::Open(const SourceSpec& spec, const OutputFormat& format) {
  if (spec.kind == SourceSpec::Kind::kUrl) return nullptr;
  if (format.channels < 0 || format.channels > 2) return nullptr;
  int error = 0;
  std::unique_ptr<ByteSource> source =
      spec.kind == SourceSpec::Kind::kMemory
          ? (spec.memory ? ByteSource::Memory(spec.memory + spec.offset, spec.length) : nullptr)
          : ByteSource::OpenFile(spec.location, spec.offset, spec.length, &error);
  if (!source || !StartsAsMp3(*source)) return nullptr;
  const Mpg123Api* api = LoadMpg123();
  if (!api) return nullptr;
  std::unique_ptr<Mpg123Decoder> d(new Mpg123Decoder);
  d->api_ = api;
  d->source_ = std::move(source);
  if (!d->Start(format)) return nullptr;
  const std::string tag = d->TitleTag();
  d->title_ = tag.empty() ? TitleFromLocation(spec) : tag;
  return d;
}

bool Mpg123Decoder::Start(const OutputFormat& format) {
  int error = MPG123_OK;
  handle_ = api_->mpg123_new(nullptr, &error);
  if (!handle_) return false;
  // Gapless: the encoder's delay and padding are not part of the song.
  api_->mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
  encoding_ =
      format.sample == OutputFormat::Sample::kS16 ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32;
  // Every rate at its own value first, to learn the source's.
  const long* rates = nullptr;
  size_t rate_count = 0;
  api_->mpg123_rates(&rates, &rate_count);
  api_->mpg123_format_none(handle_);
  for (size_t i = 0; i < rate_count; ++i) {
    api_->mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, encoding_);
  }
  if (api_->mpg123_replace_reader_handle(handle_, &ReadBytes, &SeekBytes, nullptr) != MPG123_OK ||
      api_->mpg123_open_handle(handle_, source_.get()) != MPG123_OK) {
    return false;
  }
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (api_->mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK ||
      encoding != encoding_ || channels < 1 || channels > 2) {
    return false;
  }
  if (format.channels == 1 && channels == 2) return false;
  out_channels_ = format.channels > 0 ? format.channels : channels;
  if (format.rate > 0 && rate != format.rate) {
    // Resampled here only in the float the mixer takes.
    if (format.sample != OutputFormat::Sample::kFloat) return false;
    resampler_ = SoxrResampler::Create(static_cast<int>(rate), format.rate, out_channels_);
    if (!resampler_) return false;
  }
  // A later part of the file at another rate or channel count is converted to this one.
  api_->mpg123_format_none(handle_);
  api_->mpg123_format(handle_, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, encoding_);
  source_rate_ = static_cast<int>(rate);
  out_rate_ = resampler_ ? format.rate : source_rate_;
  source_channels_ = channels;
  out_sample_ = format.sample;
  const off_t length = api_->mpg123_length(handle_);
  length_frames_ = length > 0 ? static_cast<int64_t>(length) : -1;
  return true;
}

std::string Mpg123Decoder::TitleTag() {
  if (!(api_->mpg123_meta_check(handle_) & MPG123_ID3)) return std::string();
  mpg123_id3v1* v1 = nullptr;
  mpg123_id3v2* v2 = nullptr;
  if (api_->mpg123_id3(handle_, &v1, &v2) != MPG123_OK) return std::string();
  // libmpg123 gives ID3v2 texts in UTF-8, whatever their encoding in the tag.
  if (v2 && v2->title && v2->title->p && v2->title->fill > 1) {
    return std::string(v2->title->p, strnlen(v2->title->p, v2->title->fill));
  }
  return v1 ? Latin1ToUtf8(v1->title, sizeof v1->title) : std::string();
}

int Mpg123Decoder::DecodeSome() {
  const int sample_bytes = encoding_ == MPG123_ENC_SIGNED_16 ? 2 : 4;
  const int in_frame_bytes = source_channels_ * sample_bytes;
  decoded_.resize(static_cast<size_t>(kReadFrames) * out_channels_ * sample_bytes);
  for (int empty = 0; empty < kMaxEmptyReads; ++empty) {
    size_t done = 0;
    const int r = api_->mpg123_read(handle_, decoded_.data(),
                                    static_cast<size_t>(kReadFrames) * in_frame_bytes, &done);
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0;
      int encoding = 0;
      api_->mpg123_getformat(handle_, &rate, &channels, &encoding);
      // Nothing can be converted to the format the output was promised.
      if (rate != source_rate_ || channels != source_channels_ || encoding != encoding_) return 0;
    }
    const int frames = static_cast<int>(done / in_frame_bytes);
    if (frames > 0) {
      if (out_channels_ == 2 && source_channels_ == 1) {
        MonoToStereo(decoded_.data(), frames, sample_bytes);
      }
      decoded_.resize(static_cast<size_t>(frames) * output_frame_bytes());
      return frames;
    }
    // The end, or a file that breaks off: what was decoded has been delivered.
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) return 0;
  }
  return 0;
}

int Mpg123Decoder::Read(std::vector<uint8_t>& out, const std::atomic<bool>*) {
  while (!finished_) {
    const int frames = DecodeSome();
    if (frames == 0) {
      finished_ = true;
      // The resampler still holds the last few milliseconds.
      return resampler_ ? resampler_->Process(nullptr, 0, out) : 0;
    }
    next_frame_ += frames;
    if (!resampler_) {
      out.insert(out.end(), decoded_.begin(), decoded_.end());
      return frames;
    }
    const int made =
        resampler_->Process(reinterpret_cast<const float*>(decoded_.data()), frames, out);
    if (made > 0) return made;
  }
  return 0;
}

bool Mpg123Decoder::Seek(int64_t frame) {
  if (frame < 0) return false;
  const off_t at = api_->mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
  if (at < 0) return false;
  next_frame_ = at;
  finished_ = false;
  if (resampler_) resampler_->Clear();
  return true;
}

}  // namespace vorel::platform::audio
