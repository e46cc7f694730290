#include "platform/audio/internal/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/audio/bass.h"
#include "platform/audio/internal/ffmpeg_api.h"

namespace vorel::platform::audio {
namespace {

constexpr int kIoBufferSize = 32 * 1024;

// Where a seek of (offset, whence) ends in a source of `size` bytes read up to `pos`.
int64_t SeekTarget(int64_t offset, int whence, uint64_t pos, uint64_t size) {
  const int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(pos)
                       : whence == SEEK_END ? static_cast<int64_t>(size)
                                            : 0;
  const int64_t target = base + offset;
  return target < 0 ? AVERROR(EINVAL) : target;
}

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  int Read(uint8_t* buf, int size) override {
    if (pos_ >= size_) return AVERROR_EOF;
    const int n = static_cast<int>(std::min<uint64_t>(size, size_ - pos_));
    std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  int64_t Seek(int64_t offset, int whence) override {
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(size_);
    const int64_t target = SeekTarget(offset, whence & ~AVSEEK_FORCE, pos_, size_);
    if (target >= 0) pos_ = static_cast<uint64_t>(target);
    return target;
  }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t pos_ = 0;
};

class FileRegionSource : public ByteSource {
 public:
  FileRegionSource(int fd, uint64_t offset, uint64_t size)
      : fd_(fd), offset_(offset), size_(size) {}
  ~FileRegionSource() override { close(fd_); }
  int Read(uint8_t* buf, int size) override {
    if (pos_ >= size_) return AVERROR_EOF;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, size_ - pos_));
    ssize_t n;
    do {
      n = pread(fd_, buf, want, static_cast<off_t>(offset_ + pos_));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    pos_ += static_cast<uint64_t>(n);
    return static_cast<int>(n);
  }
  int64_t Seek(int64_t offset, int whence) override {
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(size_);
    const int64_t target = SeekTarget(offset, whence & ~AVSEEK_FORCE, pos_, size_);
    if (target >= 0) pos_ = static_cast<uint64_t>(target);
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
    const FfmpegApi& av = Ffmpeg();
    cb_(nullptr, 0);  // tells the receiver that the download is over
    av.avio_closep(&inner_);
  }
  int Read(uint8_t* buf, int size) override {
    const FfmpegApi& av = Ffmpeg();
    const int n = av.avio_read_partial(inner_, buf, size);
    if (n > 0) cb_(buf, static_cast<uint32_t>(n));
    return n == 0 ? AVERROR_EOF : n;
  }
  int64_t Seek(int64_t offset, int whence) override {
    const FfmpegApi& av = Ffmpeg();
    return whence == AVSEEK_SIZE ? av.avio_size(inner_) : AVERROR(ESPIPE);
  }
  bool seekable() const override { return false; }

 private:
  AVIOContext* inner_;
  std::function<void(const void*, uint32_t)> cb_;
};

int ReadCallback(void* opaque, uint8_t* buf, int size) {
  return static_cast<ByteSource*>(opaque)->Read(buf, size);
}
int64_t SeekCallback(void* opaque, int64_t offset, int whence) {
  return static_cast<ByteSource*>(opaque)->Seek(offset, whence);
}

}  // namespace

std::unique_ptr<ByteSource> ByteSource::Memory(const uint8_t* data, uint64_t size) {
  return std::make_unique<MemorySource>(data, size);
}

std::unique_ptr<ByteSource> ByteSource::FileRegion(int fd, uint64_t offset, uint64_t size) {
  return std::make_unique<FileRegionSource>(fd, offset, size);
}

std::unique_ptr<ByteSource> ByteSource::OpenFile(const std::string& path, uint64_t offset,
                                                 uint64_t length, int* error) {
  // Only regular files: opening a FIFO would block until someone writes to it, and a device such
  // as /dev/zero never ends.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = BASS_ERROR_FILEOPEN;
    return nullptr;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = BASS_ERROR_FILEOPEN;
  } else if (offset >= static_cast<uint64_t>(st.st_size)) {
    *error = BASS_ERROR_FILEFORM;
  } else {
    const uint64_t avail = static_cast<uint64_t>(st.st_size) - offset;
    return FileRegion(fd, offset, length > 0 ? std::min(length, avail) : avail);
  }
  if (fd >= 0) close(fd);
  return nullptr;
}

std::unique_ptr<ByteSource> ByteSource::Tee(AVIOContext* inner,
                                            std::function<void(const void*, uint32_t)> on_bytes) {
  return std::make_unique<TeeSource>(inner, std::move(on_bytes));
}

AVIOContext* MakeCustomIo(ByteSource* source) {
  const FfmpegApi& av = Ffmpeg();
  auto* buffer = static_cast<uint8_t*>(av.av_malloc(kIoBufferSize));
  if (!buffer) return nullptr;
  AVIOContext* io = av.avio_alloc_context(buffer, kIoBufferSize, 0, source, &ReadCallback, nullptr,
                                          &SeekCallback);
  if (!io) {
    av.av_free(buffer);
    return nullptr;
  }
  io->seekable = source->seekable() ? AVIO_SEEKABLE_NORMAL : 0;
  return io;
}

void FreeCustomIo(AVIOContext** io) {
  const FfmpegApi& av = Ffmpeg();
  if (!*io) return;
  av.av_freep(&(*io)->buffer);  // FFmpeg may have replaced the buffer it was given
  av.avio_context_free(io);
}

}  // namespace vorel::platform::audio
