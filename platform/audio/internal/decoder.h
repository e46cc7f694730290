#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_DECODER_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_DECODER_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vorel::platform::audio {

// Where a stream's bytes come from.
struct SourceSpec {
  enum class Kind { kFile, kMemory, kUrl };
  Kind kind = Kind::kFile;
  std::string location;  // UTF-8 path or address
  const uint8_t* memory = nullptr;
  uint64_t offset = 0;  // first byte used (file, memory, url)
  uint64_t length = 0;  // bytes used from offset; 0 = to the end (file, memory)
  // Receives the raw bytes of a network stream as they are read; nullptr = none.
  std::function<void(const void*, uint32_t)> on_download;
};

// The sample format the decoder delivers.
struct OutputFormat {
  enum class Sample { kS16, kFloat };
  Sample sample = Sample::kFloat;
  int rate = 0;      // 0 = the source's own rate
  int channels = 0;  // 0 = the source's own channel count
};

// Decodes one audio stream of a file, memory block or http(s) address and converts it to an
// OutputFormat. MP3 from a file or memory is decoded with libmpg123, everything else (and an MP3
// whose rate the output would have to convert) with FFmpeg. Thread-compatible: one thread at a
// time (the stream's decoding thread), except abort flags, which any thread may set.
class Decoder {
 public:
  // Network reads give up after this long without progress.
  static constexpr std::chrono::seconds kNetworkTimeout{10};

  virtual ~Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Opens and probes the source; blocks for the network. `abort` (may be null) stops any
  // blocking read as soon as it becomes true. On failure returns null and sets *error.
  static std::unique_ptr<Decoder> Open(const SourceSpec& spec, const OutputFormat& format,
                                       const std::atomic<bool>* abort, int* error);

  // From now on `abort` becoming true ends any blocking read at once (the owner's quit flag).
  virtual void set_abort_flag(const std::atomic<bool>* abort) = 0;

  int source_rate() const { return source_rate_; }
  int source_channels() const { return source_channels_; }
  int output_rate() const { return out_rate_; }
  int output_channels() const { return out_channels_; }
  int output_frame_bytes() const {
    return out_channels_ * (out_sample_ == OutputFormat::Sample::kS16 ? 2 : 4);
  }
  bool is_network() const { return network_; }
  // Whether Seek can work at all (a network server must honour byte ranges).
  virtual bool seekable() const = 0;
  // The sound's title tag, else its file name without the extension (empty for memory).
  const std::string& title() const { return title_; }
  // Source frames in the whole stream, -1 when unknown.
  int64_t length_frames() const { return length_frames_; }
  // Source frame index of the next sample Read delivers.
  int64_t next_frame() const { return next_frame_; }

  // Appends the next decoded samples (whole output frames) to `out`. Returns the number of
  // output frames appended; 0 at the end of the stream or after a read error or time-out.
  // Returns -1 when the read was interrupted by `interrupt` (the caller may retry or seek).
  virtual int Read(std::vector<uint8_t>& out, const std::atomic<bool>* interrupt = nullptr) = 0;

  // Moves so that the next Read starts exactly at source frame `frame`. False when the source
  // cannot seek there.
  virtual bool Seek(int64_t frame) = 0;

 protected:
  Decoder() = default;

  int source_rate_ = 0;
  int source_channels_ = 0;
  int out_rate_ = 0;
  int out_channels_ = 0;
  OutputFormat::Sample out_sample_ = OutputFormat::Sample::kFloat;
  bool network_ = false;
  int64_t length_frames_ = -1;
  int64_t next_frame_ = 0;
  std::string title_;
};

// A name for a sound without a title tag: the last part of its path or address without the
// extension and any query ("/music/Song.mp3?x=1" gives "Song"); empty for memory.
std::string TitleFromLocation(const SourceSpec& spec);

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_DECODER_H_
