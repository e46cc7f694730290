#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_BYTE_SOURCE_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_BYTE_SOURCE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace vorel::platform::audio {

// Bytes that FFmpeg reads through a custom AVIOContext instead of a protocol of its own.
// Thread-compatible: used by one decoder at a time.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes read into buf, AVERROR_EOF at the end, or another negative AVERROR.
  virtual int Read(uint8_t* buf, int size) = 0;
  // As AVIOContext's seek callback (whence may be AVSEEK_SIZE).
  virtual int64_t Seek(int64_t offset, int whence) = 0;
  // Whether Seek can move at all.
  virtual bool seekable() const { return true; }

  // A block of memory that the caller keeps alive.
  static std::unique_ptr<ByteSource> Memory(const uint8_t* data, uint64_t size);
  // `size` bytes of the open file `fd` from `offset`; takes ownership of fd.
  static std::unique_ptr<ByteSource> FileRegion(int fd, uint64_t offset, uint64_t size);
  // `length` bytes (0: all) from `offset` of the regular file at `path`. Null with *error set
  // (BASS_ERROR_FILEOPEN, or BASS_ERROR_FILEFORM for an offset at or past the end) otherwise.
  static std::unique_ptr<ByteSource> OpenFile(const std::string& path, uint64_t offset,
                                              uint64_t length, int* error);
  // Reads `inner` strictly in order and hands every byte to `on_bytes` (then nullptr, 0 when
  // destroyed); takes ownership of inner.
  static std::unique_ptr<ByteSource> Tee(AVIOContext* inner,
                                         std::function<void(const void*, uint32_t)> on_bytes);
};

// An AVIOContext reading from `source` (which must outlive it), or null when out of memory.
// Free it with FreeCustomIo.
AVIOContext* MakeCustomIo(ByteSource* source);
void FreeCustomIo(AVIOContext** io);

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_BYTE_SOURCE_H_
