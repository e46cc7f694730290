#include "platform/audio/internal/ffmpeg_decoder.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/audio/bass.h"
#include "platform/audio/internal/byte_source.h"
#include "platform/audio/internal/ffmpeg_api.h"
#include "platform/audio/internal/reply_status.h"

namespace vorel::platform::audio {
namespace {

using Clock = std::chrono::steady_clock;

// A broken source may yield nothing but errors; give up after this many in a row.
constexpr int kMaxBadPackets = 1000;
constexpr unsigned kMaxIndexBytes = 64 * 1024;

bool HasPrefixNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

int ErrorFromAv(int av) {
  if (av == AVERROR_EXIT || av == AVERROR(ETIMEDOUT)) return BASS_ERROR_TIMEOUT;
  if (av == AVERROR(ENOMEM)) return BASS_ERROR_MEM;
  if (av == AVERROR_INVALIDDATA || av == AVERROR_EOF) return BASS_ERROR_FILEFORM;
  if (av == AVERROR_PROTOCOL_NOT_FOUND) return BASS_ERROR_PROTOCOL;
  return BASS_ERROR_FILEOPEN;
}

// The sound's title tag, else a name from its location.
std::string TitleOf(const FfmpegApi& av, const AVFormatContext* fmt, const AVStream* stream,
                    const SourceSpec& spec) {
  for (AVDictionary* dict : {fmt->metadata, stream->metadata}) {
    const AVDictionaryEntry* tag = av.av_dict_get(dict, "title", nullptr, 0);
    if (tag && tag->value && tag->value[0] != 0) return tag->value;
  }
  return TitleFromLocation(spec);
}

}  // namespace

struct FfmpegDecoder::Impl {
  ~Impl() {
    const FfmpegApi& av = Ffmpeg();
    av.swr_free(&swr);
    av.av_channel_layout_uninit(&swr_in_layout);
    av.av_frame_free(&frame);
    av.av_packet_free(&packet);
    av.avcodec_free_context(&codec);
    av.avformat_close_input(&fmt);  // leaves a custom I/O context to its owner
    FreeCustomIo(&custom_io);
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

  int OpenInput(const SourceSpec& spec);
  int LimitProtocols(const SourceSpec& spec, std::string& url, AVDictionary** opts) const;
  int AllocateContext();
  int AttachByteSource(const SourceSpec& spec, const std::string& url, AVDictionary** opts);
  int OpenCodec();
  bool ConfigureResampler(AVFrame* f, const FfmpegDecoder& d);

  AVFormatContext* fmt = nullptr;
  AVCodecContext* codec = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVStream* stream = nullptr;
  int stream_index = -1;
  int64_t start_pts = 0;
  std::unique_ptr<ByteSource> source;
  AVIOContext* custom_io = nullptr;  // owned here, not by fmt

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

// Opens the container: a path or address through FFmpeg's own protocols, or a memory block,
// part of a file or a teed download through a ByteSource.
int FfmpegDecoder::Impl::OpenInput(const SourceSpec& spec) {
  const FfmpegApi& av = Ffmpeg();
  std::string url;
  AVDictionary* opts = nullptr;
  int error = LimitProtocols(spec, url, &opts);
  if (error == BASS_OK) error = AllocateContext();
  if (error == BASS_OK) error = AttachByteSource(spec, url, &opts);
  if (error != BASS_OK) {
    av.av_dict_free(&opts);
    return error;
  }
  // With custom I/O the name only hints the format by its extension.
  const int r =
      av.avformat_open_input(&fmt, source ? spec.location.c_str() : url.c_str(), nullptr, &opts);
  av.av_dict_free(&opts);
  return r < 0 ? ErrorFromAv(r) : BASS_OK;
}

// Sets the address FFmpeg opens and the protocols it may use for it. Only the protocols a
// source needs: a network address must never make FFmpeg read local files (file:, concat:,
// subfile:, or a playlist pointing at them), and a path is a path.
int FfmpegDecoder::Impl::LimitProtocols(const SourceSpec& spec, std::string& url,
                                        AVDictionary** opts) const {
  const FfmpegApi& av = Ffmpeg();
  if (network) {
    if (!HasPrefixNoCase(spec.location, "http://") && !HasPrefixNoCase(spec.location, "https://")) {
      return BASS_ERROR_PROTOCOL;
    }
    url = spec.location;
    av.av_dict_set(opts, "protocol_whitelist", "http,https,tcp,tls,crypto", 0);
    // FFmpeg accepts any certificate unless told otherwise; check it against the system's
    // trusted authorities as every other https client of the program does.
    av.av_dict_set(opts, "tls_verify", "1", 0);
    const std::string timeout_us =
        std::to_string(std::chrono::microseconds(kNetworkTimeout).count());
    av.av_dict_set(opts, "rw_timeout", timeout_us.c_str(), 0);
    av.av_dict_set(opts, "timeout", timeout_us.c_str(), 0);
    if (spec.offset > 0) av.av_dict_set_int(opts, "offset", static_cast<int64_t>(spec.offset), 0);
  } else if (spec.kind == SourceSpec::Kind::kFile) {
    // Only regular files: opening a FIFO would block until someone writes to it, and a
    // device such as /dev/zero never ends.
    struct stat st {};
    if (stat(spec.location.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return BASS_ERROR_FILEOPEN;
    url = "file:" + spec.location;
    av.av_dict_set(opts, "protocol_whitelist", "file", 0);
  }
  return BASS_OK;
}

// Makes the container context, interruptible by Interrupt, and starts its deadline.
int FfmpegDecoder::Impl::AllocateContext() {
  fmt = Ffmpeg().avformat_alloc_context();
  if (!fmt) return BASS_ERROR_MEM;
  fmt->interrupt_callback = {&Impl::Interrupt, this};
  // FFmpeg indexes every MP3 frame it reads, to seek back by (24 bytes a frame: about 1 KiB per
  // second played, up to its default of 1 MiB after a quarter of an hour). Past this size it
  // keeps every other entry, so a seek back starts a few frames earlier; the seek decodes
  // forward to its exact frame anyway.
  fmt->max_index_size = kMaxIndexBytes;
  // Without this an MP3 seek decodes its way from the last frame read to the target, which over
  // the network means fetching every byte up to it. With it, a constant bit rate file jumps to
  // the target's byte (exactly, by its frame count) and a variable one by its table of contents,
  // each with a single range request.
  if (network) fmt->flags |= AVFMT_FLAG_FAST_SEEK;
  ArmDeadline();
  return BASS_OK;
}

// For a memory block, part of a file or a teed download: makes the ByteSource and reads the
// container through it. Other sources are left to FFmpeg's protocols.
int FfmpegDecoder::Impl::AttachByteSource(const SourceSpec& spec, const std::string& url,
                                          AVDictionary** opts) {
  int error = BASS_OK;
  if (spec.kind == SourceSpec::Kind::kMemory) {
    source = ByteSource::Memory(spec.memory + spec.offset, spec.length);
  } else if (spec.kind == SourceSpec::Kind::kFile && (spec.offset > 0 || spec.length > 0)) {
    source = ByteSource::OpenFile(spec.location, spec.offset, spec.length, &error);
  } else if (network && spec.on_download) {
    AVIOContext* inner = nullptr;
    const int r =
        Ffmpeg().avio_open2(&inner, url.c_str(), AVIO_FLAG_READ, &fmt->interrupt_callback, opts);
    if (r < 0) return ErrorFromAv(r);
    source = ByteSource::Tee(inner, spec.on_download);
  }
  if (error != BASS_OK || !source) return error;
  custom_io = MakeCustomIo(source.get());
  fmt->pb = custom_io;
  fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  return custom_io ? BASS_OK : BASS_ERROR_MEM;
}

// Finds the audio stream and opens its decoder.
int FfmpegDecoder::Impl::OpenCodec() {
  const FfmpegApi& av = Ffmpeg();
  ArmDeadline();
  // A live or slow stream must not be read far ahead just to learn what is already known
  // after its first frames (by default FFmpeg may wait for 5 s of sound). The byte limit also
  // ends FFmpeg's probing of the codec inside WAV data.
  if (network) {
    fmt->max_analyze_duration = 500000;
    fmt->probesize = 64 * 1024;
  }
  const int r = av.avformat_find_stream_info(fmt, nullptr);
  if (r < 0) return ErrorFromAv(r);
  const AVCodec* decoder = nullptr;
  stream_index = av.av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (stream_index < 0 || !decoder) {
    return stream_index == AVERROR_DECODER_NOT_FOUND ? BASS_ERROR_CODEC : BASS_ERROR_FILEFORM;
  }
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    if (static_cast<int>(i) != stream_index) fmt->streams[i]->discard = AVDISCARD_ALL;
  }
  stream = fmt->streams[stream_index];
  codec = av.avcodec_alloc_context3(decoder);
  if (!codec || av.avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
    return BASS_ERROR_MEM;
  }
  codec->pkt_timebase = stream->time_base;
  codec->thread_count = 1;
  if (av.avcodec_open2(codec, decoder, nullptr) < 0) return BASS_ERROR_CODEC;
  const int channels = codec->ch_layout.nb_channels;
  if (codec->sample_rate <= 0 || channels <= 0 || channels > 64) return BASS_ERROR_FILEFORM;
  start_pts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  packet = av.av_packet_alloc();
  frame = av.av_frame_alloc();
  return packet && frame ? BASS_OK : BASS_ERROR_MEM;
}

// (Re)creates the resampler when a frame's format differs from what it was made for.
bool FfmpegDecoder::Impl::ConfigureResampler(AVFrame* f, const FfmpegDecoder& d) {
  const FfmpegApi& av = Ffmpeg();
  if (swr && f->format == swr_in_format && f->sample_rate == swr_in_rate &&
      av.av_channel_layout_compare(&f->ch_layout, &swr_in_layout) == 0) {
    return true;
  }
  av.swr_free(&swr);
  AVChannelLayout out_layout;
  av.av_channel_layout_default(&out_layout, d.out_channels_);
  const AVSampleFormat out_fmt =
      d.out_sample_ == OutputFormat::Sample::kS16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
  if (av.swr_alloc_set_opts2(&swr, &out_layout, out_fmt, d.out_rate_, &f->ch_layout,
                             static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                             nullptr) < 0 ||
      av.swr_init(swr) < 0) {
    av.swr_free(&swr);
    return false;
  }
  swr_in_format = f->format;
  swr_in_rate = f->sample_rate;
  av.av_channel_layout_uninit(&swr_in_layout);
  av.av_channel_layout_copy(&swr_in_layout, &f->ch_layout);
  return true;
}

FfmpegDecoder::~FfmpegDecoder() = default;

std::unique_ptr<Decoder> FfmpegDecoder::Open(const SourceSpec& spec, const OutputFormat& format,
                                             const std::atomic<bool>* abort, int* error) {
  // The decoding libraries load with the first stream; without them nothing can be decoded.
  const FfmpegApi* loaded = LoadFfmpeg();
  if (!loaded) {
    *error = BASS_ERROR_NOTAVAIL;
    return nullptr;
  }
  const FfmpegApi& av = *loaded;
  // Sets up the TLS library once, before any thread may open an https stream (only then: it
  // costs memory that local files do not need).
  if (spec.kind == SourceSpec::Kind::kUrl) {
    static std::once_flag network_ready;
    std::call_once(network_ready, [&av] { av.avformat_network_init(); });
  }
  std::unique_ptr<FfmpegDecoder> d(new FfmpegDecoder);
  d->impl_ = std::make_unique<Impl>();
  Impl& m = *d->impl_;
  m.abort = abort;
  m.network = d->network_ = spec.kind == SourceSpec::Kind::kUrl;
  // A server that answers "not now" is asked again before the stream opens, as it asks.
  *error =
      m.network ? AwaitStreamServer(spec.location, spec.offset, abort, kNetworkTimeout) : BASS_OK;
  if (*error == BASS_OK) *error = m.OpenInput(spec);
  if (*error == BASS_OK) *error = m.OpenCodec();
  if (*error != BASS_OK) return nullptr;

  d->source_rate_ = m.codec->sample_rate;
  d->source_channels_ = m.codec->ch_layout.nb_channels;
  d->out_sample_ = format.sample;
  d->out_rate_ = format.rate > 0 ? format.rate : d->source_rate_;
  d->out_channels_ = format.channels > 0 ? format.channels : d->source_channels_;
  d->title_ = TitleOf(av, m.fmt, m.stream, spec);
  if (m.stream->duration != AV_NOPTS_VALUE && m.stream->duration > 0) {
    int64_t duration = m.stream->duration;
    // An MP3's duration counts the encoder delay that the decoder skips (and that shows as
    // the start time); what is heard is that much shorter.
    if (m.stream->codecpar->codec_id == AV_CODEC_ID_MP3 && m.start_pts > 0 &&
        m.start_pts < duration) {
      duration -= m.start_pts;
    }
    d->length_frames_ =
        av.av_rescale_q(duration, m.stream->time_base, AVRational{1, d->source_rate_});
  } else if (m.fmt->duration != AV_NOPTS_VALUE && m.fmt->duration > 0) {
    d->length_frames_ = av.av_rescale(m.fmt->duration, d->source_rate_, AV_TIME_BASE);
  }
  return d;
}

// Whether `f` only needs its two planes interleaved: planar float stereo at the rate and in
// the sample type asked for, which is what MP3 decodes to for a 44.1 kHz device. Interleaving
// here costs a fraction of the resampler's general path. Not once the resampler is in use, so
// that nothing it still holds is skipped.
bool FfmpegDecoder::NeedsOnlyInterleaving(const AVFrame* f) const {
  return !impl_->swr && f->format == AV_SAMPLE_FMT_FLTP && f->sample_rate == out_rate_ &&
         f->ch_layout.nb_channels == 2 && f->ch_layout.order == AV_CHANNEL_ORDER_NATIVE &&
         f->ch_layout.u.mask == AV_CH_LAYOUT_STEREO && out_channels_ == 2 &&
         out_sample_ == OutputFormat::Sample::kFloat;
}

int FfmpegDecoder::ConvertFrame(std::vector<uint8_t>& out) {
  const FfmpegApi& av = Ffmpeg();
  Impl& m = *impl_;
  AVFrame* f = m.frame;
  const bool interleave_only = NeedsOnlyInterleaving(f);
  if (!interleave_only && !m.ConfigureResampler(f, *this)) {
    av.av_frame_unref(f);
    m.finished = true;
    return 0;
  }
  int64_t start = next_frame_;
  if (m.after_seek && f->best_effort_timestamp != AV_NOPTS_VALUE) {
    start = av.av_rescale_q(f->best_effort_timestamp - m.start_pts, m.stream->time_base,
                            AVRational{1, source_rate_});
  }
  m.after_seek = false;
  const int frame_bytes = output_frame_bytes();
  const int in_count = f->nb_samples;
  const int out_max =
      interleave_only ? in_count : std::max(av.swr_get_out_samples(m.swr, in_count), 0);
  const size_t old_size = out.size();
  out.resize(old_size + static_cast<size_t>(out_max) * frame_bytes);
  uint8_t* dst = out.data() + old_size;
  int got = 0;
  if (interleave_only) {
    const float* left = reinterpret_cast<const float*>(f->extended_data[0]);
    const float* right = reinterpret_cast<const float*>(f->extended_data[1]);
    float* stereo = reinterpret_cast<float*>(dst);
    for (int i = 0; i < in_count; ++i) {
      stereo[2 * i] = left[i];
      stereo[2 * i + 1] = right[i];
    }
    got = in_count;
  } else if (out_max > 0) {
    got = av.swr_convert(m.swr, &dst, out_max, const_cast<const uint8_t**>(f->extended_data),
                         in_count);
  }
  av.av_frame_unref(f);
  got = std::max(got, 0);
  next_frame_ = std::max<int64_t>(start, 0) + in_count;
  // After a seek, drop what comes before the target so that reading starts exactly there.
  int64_t drop = 0;
  if (skip_until_ >= 0) {
    const int64_t drop_source = skip_until_ - start;
    drop = drop_source <= 0 ? 0 : av.av_rescale(drop_source, out_rate_, source_rate_);
    if (next_frame_ >= skip_until_) skip_until_ = -1;
  }
  drop = std::min<int64_t>(drop, got);
  if (drop > 0) std::memmove(dst, dst + drop * frame_bytes, (got - drop) * frame_bytes);
  out.resize(old_size + static_cast<size_t>(got - drop) * frame_bytes);
  return static_cast<int>(got - drop);
}

int FfmpegDecoder::FlushResampler(std::vector<uint8_t>& out) {
  const FfmpegApi& av = Ffmpeg();
  Impl& m = *impl_;
  if (!m.swr) return 0;
  const int frame_bytes = output_frame_bytes();
  const int out_max = std::max(av.swr_get_out_samples(m.swr, 0), 0);
  if (out_max == 0) return 0;
  const size_t old_size = out.size();
  out.resize(old_size + static_cast<size_t>(out_max) * frame_bytes);
  uint8_t* dst = out.data() + old_size;
  const int got = std::max(av.swr_convert(m.swr, &dst, out_max, nullptr, 0), 0);
  out.resize(old_size + static_cast<size_t>(got) * frame_bytes);
  return got;
}

int FfmpegDecoder::Read(std::vector<uint8_t>& out, const std::atomic<bool>* interrupt) {
  const FfmpegApi& av = Ffmpeg();
  Impl& m = *impl_;
  while (!m.finished) {
    int r = av.avcodec_receive_frame(m.codec, m.frame);
    if (r == 0) {
      const int got = ConvertFrame(out);
      if (got > 0) return got;
      continue;
    }
    if (r == AVERROR_EOF) {
      m.finished = true;
      return FlushResampler(out);  // the resampler may still hold the last few samples
    }
    if (r != AVERROR(EAGAIN)) {
      if (++m.bad_packets > kMaxBadPackets) m.finished = true;  // a frame that cannot decode
      continue;
    }
    if (m.draining) {
      m.finished = true;
      break;
    }
    m.interrupt = interrupt;
    m.ArmDeadline();
    r = av.av_read_frame(m.fmt, m.packet);
    m.interrupt = nullptr;
    if (r < 0) {
      if (r == AVERROR_EXIT && interrupt && interrupt->load() && !(m.abort && m.abort->load())) {
        return -1;
      }
      // The end, a broken connection or a time-out: play out what was decoded.
      av.avcodec_send_packet(m.codec, nullptr);
      m.draining = true;
      continue;
    }
    if (m.packet->stream_index == m.stream_index) {
      if (av.avcodec_send_packet(m.codec, m.packet) < 0) {
        if (++m.bad_packets > kMaxBadPackets) m.finished = true;
      } else {
        m.bad_packets = 0;
      }
    }
    av.av_packet_unref(m.packet);
  }
  return 0;
}

void FfmpegDecoder::set_abort_flag(const std::atomic<bool>* abort) { impl_->abort = abort; }

bool FfmpegDecoder::seekable() const {
  const AVIOContext* pb = impl_->fmt->pb;
  return !pb || (pb->seekable & AVIO_SEEKABLE_NORMAL);
}

bool FfmpegDecoder::Seek(int64_t frame) {
  const FfmpegApi& av = Ffmpeg();
  Impl& m = *impl_;
  if (frame < 0 || !seekable()) return false;
  const int64_t ts =
      av.av_rescale_q(frame, AVRational{1, source_rate_}, m.stream->time_base) + m.start_pts;
  m.ArmDeadline();
  if (av.avformat_seek_file(m.fmt, m.stream_index, INT64_MIN, ts, ts, 0) < 0 &&
      av.av_seek_frame(m.fmt, m.stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
    return false;
  }
  av.avcodec_flush_buffers(m.codec);
  av.swr_free(&m.swr);
  m.draining = false;
  m.finished = false;
  m.after_seek = true;
  m.bad_packets = 0;
  skip_until_ = frame;
  next_frame_ = frame;
  return true;
}

}  // namespace vorel::platform::audio
