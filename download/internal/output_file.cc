#include "download/internal/output_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorel::download::internal {

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, std::int64_t size,
                                               int* error) {
  *error = 0;
  if (size < 0) {
    *error = EINVAL;
    return nullptr;
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  auto fail = [&](int code) {
    *error = code;
    close(fd);
    unlink(path.c_str());
    return nullptr;
  };
  if (size > 0) {
    if (ftruncate(fd, size) != 0) return fail(errno);
    int r = posix_fallocate(fd, 0, size);
    if (r != 0) return fail(r);
  }
  char* view = nullptr;
  if (size > 0) {
    void* p = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED,
                   fd, 0);
    if (p == MAP_FAILED) return fail(errno);
    view = static_cast<char*>(p);
  }
  close(fd);
  return std::unique_ptr<OutputFile>(new OutputFile(path, size, view));
}

OutputFile::OutputFile(std::string path, std::int64_t size, char* view)
    : path_(std::move(path)), size_(size), view_(view) {}

OutputFile::~OutputFile() { Close(); }

void OutputFile::Write(std::int64_t offset, const char* data, std::int64_t count) {
  if (view_ == nullptr || count <= 0 || offset < 0 || offset + count > size_) return;
  std::memcpy(view_ + offset, data, static_cast<std::size_t>(count));
}

void OutputFile::Release(std::int64_t offset, std::int64_t count) {
  if (view_ == nullptr || count <= 0) return;
  static const std::int64_t page = sysconf(_SC_PAGESIZE);
  std::int64_t first = (offset + page - 1) / page * page;
  std::int64_t last = (offset + count) / page * page;
  if (last <= first) return;
  // On a shared file mapping this only unmaps the pages: dirty ones stay in the page cache.
  madvise(view_ + first, static_cast<std::size_t>(last - first), MADV_DONTNEED);
}

void OutputFile::Close() {
  if (view_ != nullptr) munmap(view_, static_cast<std::size_t>(size_));
  view_ = nullptr;
}

}  // namespace vorel::download::internal
