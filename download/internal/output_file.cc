#include "download/internal/output_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace vorel::download::internal {
namespace {

// Size and alignment of a writer's window: the resident size stays near one window per writer
// however large the file. Windows are aligned to 2 MiB, the largest page-cache folio, because
// a window edge inside a large folio makes the kernel split that folio when the window is
// unmapped, which costs more than all the copying (measured: 1 MiB windows tripled the CPU
// time of a 256 MiB download).
constexpr std::int64_t kWindowSize = 2 << 20;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

}  // namespace

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, std::int64_t size,
                                               int* error) {
  *error = 0;
  if (size < 0) {
    *error = EINVAL;
    return nullptr;
  }
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    *error = EEXIST;
    return nullptr;
  }
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  bool named = false;
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No unnamed files on this file system: the final name holds the file from the start and
    // Discard removes it again.
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    named = true;
  }
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  std::unique_ptr<OutputFile> file(new OutputFile(path, size, fd, named));
  if (size > 0) {
    int r = ftruncate(fd, size) == 0 ? posix_fallocate(fd, 0, size) : errno;
    if (r != 0) {
      *error = r;
      file->Discard();
      return nullptr;
    }
  }
  return file;
}

OutputFile::OutputFile(std::string path, std::int64_t size, int fd, bool named)
    : path_(std::move(path)), size_(size), fd_(fd), named_(named) {}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Publish(int* error) {
  *error = 0;
  if (fd_ < 0) {
    *error = EBADF;
    return false;
  }
  if (!named_) {
    // linkat with AT_EMPTY_PATH needs a capability; the /proc link of the descriptor does not.
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      *error = errno;
      // Without /proc, the descriptor itself (allowed to privileged processes).
      if (*error == EEXIST ||
          linkat(fd_, "", AT_FDCWD, path_.c_str(), AT_EMPTY_PATH) != 0) {
        return false;
      }
      *error = 0;
    }
    named_ = true;
  }
  published_ = true;
  Close();
  return true;
}

void OutputFile::Discard() {
  if (fd_ < 0) return;
  if (named_ && !published_) unlink(path_.c_str());
  Close();
}

char* OutputFile::Map(MappedWindow& window, std::int64_t offset, std::int64_t count) {
  if (fd_ < 0 || offset < 0 || count < 0 || offset + count > size_) return nullptr;
  if (window.base != nullptr && offset >= window.start &&
      offset + count <= window.start + window.length) {
    return window.base + (offset - window.start);
  }
  Unmap(window);
  std::int64_t start = offset / kWindowSize * kWindowSize;
  std::int64_t length = std::min(size_ - start, std::max(kWindowSize, offset + count - start));
  if (length <= 0) return nullptr;
  void* p = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED,
                 fd_, start);
  if (p == MAP_FAILED) return nullptr;
  // Fault the window in with one call rather than page by page as the bytes arrive.
  madvise(p, static_cast<std::size_t>(length), MADV_POPULATE_WRITE);
  window.base = static_cast<char*>(p);
  window.start = start;
  window.length = length;
  return window.base + (offset - start);
}

bool OutputFile::Write(MappedWindow& window, std::int64_t offset, const char* data,
                       std::int64_t count) {
  if (count <= 0) return true;
  char* at = Map(window, offset, count);
  if (at == nullptr) return false;
  std::memcpy(at, data, static_cast<std::size_t>(count));
  return true;
}

void OutputFile::Unmap(MappedWindow& window) {
  if (window.base != nullptr) munmap(window.base, static_cast<std::size_t>(window.length));
  window = MappedWindow{};
}

void OutputFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace vorel::download::internal
