#include "platform/audio/internal/decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/audio/bass.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace vorel::platform::audio {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIoBufferSize = 32 * 1024;

// Bytes behind a custom AVIOContext: a memory block, a part of a file, or a network stream
// whose bytes are also handed to the caller's download callback.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int Read(uint8_t* buf, int size) = 0;  // bytes read, AVERROR_EOF or an error
  virtual int64_t Seek(int64_t offset, int whence) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  int Read(uint8_t* buf, int size) override {
    if (pos_ >= size_) return AVERROR_EOF;
    int n = static_cast<int>(std::min<uint64_t>(size, size_ - pos_));
    std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  int64_t Seek(int64_t offset, int whence) override {
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(size_);
    int64_t base = (whence == SEEK_CUR) ? pos_ : (whence == SEEK_END) ? size_ : 0;
    int64_t target = base + offset;
    if (target < 0) return AVERROR(EINVAL);
    pos_ = static_cast<uint64_t>(target);
    return target;
  }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t pos_ = 0;
};

class FileRegionSource : public ByteSource {
 public:
  FileRegionSource(int fd, uint64_t offset, uint64_t size) : fd_(fd), offset_(offset), size_(size) {}
  ~FileRegionSource() override { close(fd_); }
  int Read(uint8_t* buf, int size) override {
    if (pos_ >= size_) return AVERROR_EOF;
    size_t want = static_cast<size_t>(std::min<uint64_t>(size, size_ - pos_));
    ssize_t n;
    do {
      n = pread(fd_, buf, want, static_cast<off_t>(offset_ + pos_));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    pos_ += n;
    return static_cast<int>(n);
  }
  int64_t Seek(int64_t offset, int whence) override {
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(size_);
    int64_t base = (whence == SEEK_CUR) ? pos_ : (whence == SEEK_END) ? size_ : 0;
    int64_t target = base + offset;
    if (target < 0) return AVERROR(EINVAL);
    pos_ = static_cast<uint64_t>(target);
    return target;
  }

 private:
  int fd_;
  uint64_t offset_, size_, pos_ = 0;
};

class TeeSource : public ByteSource {
 public:
  TeeSource(AVIOContext* inner, std::function<void(const void*, uint32_t)> cb)
      : inner_(inner), cb_(std::move(cb)) {}
  ~TeeSource() override {
    cb_(nullptr, 0);  // tells the receiver that the download is over
    avio_closep(&inner_);
  }
  int Read(uint8_t* buf, int size) override {
    int n = avio_read_partial(inner_, buf, size);
    if (n > 0) cb_(buf, static_cast<uint32_t>(n));
    if (n == 0) return AVERROR_EOF;
    return n;
  }
  int64_t Seek(int64_t offset, int whence) override {
    if (whence == AVSEEK_SIZE) return avio_size(inner_);
    return avio_seek(inner_, offset, whence);
  }

 private:
  AVIOContext* inner_;
  std::function<void(const void*, uint32_t)> cb_;
};

int ReadPacketCb(void* opaque, uint8_t* buf, int size) {
  return static_cast<ByteSource*>(opaque)->Read(buf, size);
}
int64_t SeekCb(void* opaque, int64_t offset, int whence) {
  return static_cast<ByteSource*>(opaque)->Seek(offset, whence);
}

bool HasPrefixNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

int ErrorFromAv(int av, bool network) {
  if (av == AVERROR_EXIT || av == AVERROR(ETIMEDOUT)) return BASS_ERROR_TIMEOUT;
  if (av == AVERROR(ENOMEM)) return BASS_ERROR_MEM;
  if (av == AVERROR_INVALIDDATA || av == AVERROR_EOF) return BASS_ERROR_FILEFORM;
  if (av == AVERROR_PROTOCOL_NOT_FOUND) return BASS_ERROR_PROTOCOL;
  return BASS_ERROR_FILEOPEN;
}

}  // namespace

struct Decoder::Impl {
  ~Impl() {
    swr_free(&swr);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&fmt);  // leaves a custom I/O context to its owner
    if (custom_pb) {
      av_freep(&custom_pb->buffer);
      avio_context_free(&custom_pb);
    }
    source.reset();
  }

  // Called by FFmpeg inside every blocking operation: a true result abandons it.
  static int Interrupt(void* opaque) {
    auto* m = static_cast<Impl*>(opaque);
    if (m->abort && m->abort->load(std::memory_order_relaxed)) return 1;
    if (m->interrupt && m->interrupt->load(std::memory_order_relaxed)) return 1;
    return m->network && Clock::now() > m->deadline;
  }
  void ArmDeadline() { deadline = Clock::now() + kNetworkTimeout; }

  AVFormatContext* fmt = nullptr;
  AVCodecContext* codec = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVStream* stream = nullptr;
  int stream_index = -1;
  int64_t start_pts = 0;
  std::unique_ptr<ByteSource> source;
  AVIOContext* custom_pb = nullptr;  // owned here, not by fmt

  // Resampler input as configured, to notice a format change mid-stream.
  int swr_in_format = -1;
  int swr_in_rate = 0;
  AVChannelLayout swr_in_layout{};

  bool network = false;
  const std::atomic<bool>* abort = nullptr;
  const std::atomic<bool>* interrupt = nullptr;
  Clock::time_point deadline{};
  bool draining = false;   // the end of the input was handed to the decoder
  bool finished = false;   // every sample was delivered
  bool after_seek = true;  // take the next frame's position from its timestamp
  int bad_packets = 0;
};

Decoder::~Decoder() = default;

int Decoder::output_frame_bytes() const {
  return out_channels_ * (out_sample_ == OutputFormat::Sample::kS16 ? 2 : 4);
}

std::unique_ptr<Decoder> Decoder::Open(const SourceSpec& spec, const OutputFormat& format,
                                       const std::atomic<bool>* abort, int* error) {
  // Sets up the TLS library once, before any thread may open an https stream.
  static std::once_flag network_ready;
  std::call_once(network_ready, [] { avformat_network_init(); });
  std::unique_ptr<Decoder> d(new Decoder);
  d->impl_ = std::make_unique<Impl>();
  Impl& m = *d->impl_;
  m.abort = abort;
  m.network = d->network_ = spec.kind == SourceSpec::Kind::kUrl;

  // Only the protocols a source needs: a network address must never make FFmpeg read local
  // files (file:, concat:, subfile:, or a playlist pointing at them), and a path is a path.
  std::string url;
  AVDictionary* opts = nullptr;
  if (m.network) {
    if (!HasPrefixNoCase(spec.location, "http://") && !HasPrefixNoCase(spec.location, "https://")) {
      *error = BASS_ERROR_PROTOCOL;
      return nullptr;
    }
    url = spec.location;
    av_dict_set(&opts, "protocol_whitelist", "http,https,tcp,tls,crypto", 0);
    // FFmpeg accepts any certificate unless told otherwise; check it against the system's
    // trusted authorities as every other https client of the program does.
    av_dict_set(&opts, "tls_verify", "1", 0);
    const std::string timeout_us =
        std::to_string(std::chrono::microseconds(kNetworkTimeout).count());
    av_dict_set(&opts, "rw_timeout", timeout_us.c_str(), 0);
    av_dict_set(&opts, "timeout", timeout_us.c_str(), 0);
    if (spec.offset > 0) av_dict_set_int(&opts, "offset", static_cast<int64_t>(spec.offset), 0);
  } else if (spec.kind == SourceSpec::Kind::kFile) {
    url = "file:" + spec.location;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
  }

  m.fmt = avformat_alloc_context();
  m.packet = av_packet_alloc();
  m.frame = av_frame_alloc();
  if (!m.fmt || !m.packet || !m.frame) {
    av_dict_free(&opts);
    *error = BASS_ERROR_MEM;
    return nullptr;
  }
  m.fmt->interrupt_callback = {&Impl::Interrupt, &m};
  m.ArmDeadline();

  bool custom_io = false;
  int tee_seekable = -1;
  if (spec.kind == SourceSpec::Kind::kMemory) {
    m.source = std::make_unique<MemorySource>(spec.memory + spec.offset, spec.length);
    custom_io = true;
  } else if (spec.kind == SourceSpec::Kind::kFile && (spec.offset > 0 || spec.length > 0)) {
    int fd = open(spec.location.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) close(fd);
      av_dict_free(&opts);
      *error = BASS_ERROR_FILEOPEN;
      return nullptr;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (spec.offset >= size) {
      close(fd);
      av_dict_free(&opts);
      *error = BASS_ERROR_FILEFORM;
      return nullptr;
    }
    uint64_t avail = size - spec.offset;
    m.source = std::make_unique<FileRegionSource>(
        fd, spec.offset, spec.length > 0 ? std::min(spec.length, avail) : avail);
    custom_io = true;
  } else if (m.network && spec.on_download) {
    AVIOContext* inner = nullptr;
    int r = avio_open2(&inner, url.c_str(), AVIO_FLAG_READ, &m.fmt->interrupt_callback, &opts);
    if (r < 0) {
      av_dict_free(&opts);
      *error = ErrorFromAv(r, true);
      return nullptr;
    }
    m.source = std::make_unique<TeeSource>(inner, spec.on_download);
    // Read strictly in order, so the callback sees each byte of the file exactly once.
    tee_seekable = 0;
    custom_io = true;
  }
  if (custom_io) {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    AVIOContext* pb = buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, m.source.get(),
                                                  &ReadPacketCb, nullptr, &SeekCb)
                             : nullptr;
    if (!pb) {
      av_free(buffer);
      av_dict_free(&opts);
      *error = BASS_ERROR_MEM;
      return nullptr;
    }
    if (tee_seekable >= 0) pb->seekable = tee_seekable;
    m.custom_pb = pb;
    m.fmt->pb = pb;
    m.fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  }

  // With custom I/O the name only hints the format by its extension.
  const char* name = custom_io ? spec.location.c_str() : url.c_str();
  int r = avformat_open_input(&m.fmt, name, nullptr, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    *error = ErrorFromAv(r, m.network);
    return nullptr;
  }
  m.ArmDeadline();
  // A live or slow stream must not be read far ahead just to learn what is already known
  // after its first frames (by default FFmpeg may wait for 5 s of sound).
  // The byte limit also ends FFmpeg's probing of the codec inside WAV data.
  if (m.network) {
    m.fmt->max_analyze_duration = 500000;
    m.fmt->probesize = 64 * 1024;
  }
  r = avformat_find_stream_info(m.fmt, nullptr);
  if (r < 0) {
    *error = ErrorFromAv(r, m.network);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  m.stream_index = av_find_best_stream(m.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (m.stream_index < 0 || !codec) {
    *error = m.stream_index == AVERROR_DECODER_NOT_FOUND ? BASS_ERROR_CODEC : BASS_ERROR_FILEFORM;
    return nullptr;
  }
  for (unsigned i = 0; i < m.fmt->nb_streams; ++i) {
    if (static_cast<int>(i) != m.stream_index) m.fmt->streams[i]->discard = AVDISCARD_ALL;
  }
  m.stream = m.fmt->streams[m.stream_index];
  m.codec = avcodec_alloc_context3(codec);
  if (!m.codec || avcodec_parameters_to_context(m.codec, m.stream->codecpar) < 0) {
    *error = BASS_ERROR_MEM;
    return nullptr;
  }
  m.codec->pkt_timebase = m.stream->time_base;
  m.codec->thread_count = 1;
  if (avcodec_open2(m.codec, codec, nullptr) < 0) {
    *error = BASS_ERROR_CODEC;
    return nullptr;
  }
  d->source_rate_ = m.codec->sample_rate;
  d->source_channels_ = m.codec->ch_layout.nb_channels;
  if (d->source_rate_ <= 0 || d->source_channels_ <= 0 || d->source_channels_ > 64) {
    *error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  d->out_sample_ = format.sample;
  d->out_rate_ = format.rate > 0 ? format.rate : d->source_rate_;
  d->out_channels_ = format.channels > 0 ? format.channels : d->source_channels_;

  m.start_pts = m.stream->start_time != AV_NOPTS_VALUE ? m.stream->start_time : 0;
  if (m.stream->duration != AV_NOPTS_VALUE && m.stream->duration > 0) {
    int64_t duration = m.stream->duration;
    // An MP3's duration counts the encoder delay that the decoder skips (and that shows as
    // the start time); what is heard is that much shorter.
    if (m.stream->codecpar->codec_id == AV_CODEC_ID_MP3 && m.start_pts > 0 &&
        m.start_pts < duration) {
      duration -= m.start_pts;
    }
    d->length_frames_ =
        av_rescale_q(duration, m.stream->time_base, AVRational{1, d->source_rate_});
  } else if (m.fmt->duration != AV_NOPTS_VALUE && m.fmt->duration > 0) {
    d->length_frames_ = av_rescale(m.fmt->duration, d->source_rate_, AV_TIME_BASE);
  }
  return d;
}

int Decoder::Read(std::vector<uint8_t>& out, const std::atomic<bool>* interrupt) {
  Impl& m = *impl_;
  if (m.finished) return 0;
  const int frame_bytes = output_frame_bytes();
  for (;;) {
    int r = avcodec_receive_frame(m.codec, m.frame);
    if (r == 0) {
      AVFrame* f = m.frame;
      const bool layout_changed = av_channel_layout_compare(&f->ch_layout, &m.swr_in_layout) != 0;
      if (!m.swr || f->format != m.swr_in_format || f->sample_rate != m.swr_in_rate ||
          layout_changed) {
        swr_free(&m.swr);
        AVChannelLayout out_layout;
        av_channel_layout_default(&out_layout, out_channels_);
        AVSampleFormat out_fmt =
            out_sample_ == OutputFormat::Sample::kS16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
        if (swr_alloc_set_opts2(&m.swr, &out_layout, out_fmt, out_rate_, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(m.swr) < 0) {
          swr_free(&m.swr);
          av_frame_unref(f);
          m.finished = true;
          return 0;
        }
        m.swr_in_format = f->format;
        m.swr_in_rate = f->sample_rate;
        av_channel_layout_uninit(&m.swr_in_layout);
        av_channel_layout_copy(&m.swr_in_layout, &f->ch_layout);
      }
      int64_t start = next_frame_;
      if (m.after_seek && f->best_effort_timestamp != AV_NOPTS_VALUE) {
        start = av_rescale_q(f->best_effort_timestamp - m.start_pts, m.stream->time_base,
                             AVRational{1, source_rate_});
      }
      m.after_seek = false;
      const int in_count = f->nb_samples;
      const int out_max = swr_get_out_samples(m.swr, in_count);
      const size_t old_size = out.size();
      out.resize(old_size + static_cast<size_t>(std::max(out_max, 0)) * frame_bytes);
      uint8_t* dst = out.data() + old_size;
      int got = out_max > 0 ? swr_convert(m.swr, &dst, out_max,
                                          const_cast<const uint8_t**>(f->extended_data), in_count)
                            : 0;
      av_frame_unref(f);
      got = std::max(got, 0);
      next_frame_ = std::max<int64_t>(start, 0) + in_count;
      int64_t drop = 0;
      if (skip_until_ >= 0) {
        int64_t drop_src = skip_until_ - start;
        drop = drop_src <= 0 ? 0 : av_rescale(drop_src, out_rate_, source_rate_);
        if (next_frame_ >= skip_until_) skip_until_ = -1;
      }
      drop = std::min<int64_t>(drop, got);
      if (drop > 0) {
        std::memmove(dst, dst + drop * frame_bytes, (got - drop) * frame_bytes);
      }
      out.resize(old_size + static_cast<size_t>(got - drop) * frame_bytes);
      if (got - drop > 0) return static_cast<int>(got - drop);
      continue;
    }
    if (r == AVERROR_EOF) {
      // The resampler may still hold the last few samples.
      int got = 0;
      if (m.swr) {
        const int out_max = std::max(swr_get_out_samples(m.swr, 0), 0);
        if (out_max > 0) {
          const size_t old_size = out.size();
          out.resize(old_size + static_cast<size_t>(out_max) * frame_bytes);
          uint8_t* dst = out.data() + old_size;
          got = std::max(swr_convert(m.swr, &dst, out_max, nullptr, 0), 0);
          out.resize(old_size + static_cast<size_t>(got) * frame_bytes);
        }
      }
      m.finished = true;
      return got;
    }
    if (r != AVERROR(EAGAIN)) {
      // A broken frame: skip it, but give up on a source that yields nothing else.
      if (++m.bad_packets > 1000) m.finished = true;
      if (m.finished) return 0;
      continue;
    }
    if (m.draining) {
      m.finished = true;
      return 0;
    }
    m.interrupt = interrupt;
    m.ArmDeadline();
    r = av_read_frame(m.fmt, m.packet);
    m.interrupt = nullptr;
    if (r < 0) {
      if (r == AVERROR_EXIT && interrupt && interrupt->load() &&
          !(m.abort && m.abort->load())) {
        return -1;
      }
      // The end, a broken connection or a time-out: play out what was decoded.
      avcodec_send_packet(m.codec, nullptr);
      m.draining = true;
      continue;
    }
    if (m.packet->stream_index == m.stream_index) {
      if (avcodec_send_packet(m.codec, m.packet) < 0 && ++m.bad_packets > 1000) {
        m.finished = true;
      }
    }
    av_packet_unref(m.packet);
    if (m.finished) return 0;
  }
}

void Decoder::set_abort_flag(const std::atomic<bool>* abort) { impl_->abort = abort; }

bool Decoder::seekable() const {
  const AVIOContext* pb = impl_->fmt->pb;
  return !pb || (pb->seekable & AVIO_SEEKABLE_NORMAL);
}

bool Decoder::Seek(int64_t frame) {
  Impl& m = *impl_;
  if (frame < 0 || !seekable()) return false;
  const int64_t ts =
      av_rescale_q(frame, AVRational{1, source_rate_}, m.stream->time_base) + m.start_pts;
  m.ArmDeadline();
  if (avformat_seek_file(m.fmt, m.stream_index, INT64_MIN, ts, ts, 0) < 0 &&
      av_seek_frame(m.fmt, m.stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
    return false;
  }
  avcodec_flush_buffers(m.codec);
  swr_free(&m.swr);
  m.draining = false;
  m.finished = false;
  m.after_seek = true;
  m.bad_packets = 0;
  skip_until_ = frame;
  next_frame_ = frame;
  return true;
}

}  // namespace vorel::platform::audio
