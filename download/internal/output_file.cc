#include "download/internal/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/durable_file.h"

namespace vorel::download::internal {
namespace {

// Size and alignment of a writer's window: the resident size stays near one window per writer
// however large the file. Windows are aligned to 2 MiB, the largest page-cache folio, because
// a window edge inside a large folio makes the kernel split that folio when the window is
// unmapped, which costs more than all the copying (measured: 1 MiB windows tripled the CPU
// time of a 256 MiB download).
constexpr std::int64_t kWindowSize = 2 << 20;

// A file of unknown size grows by this much at a time, so that its blocks are reserved ahead of
// the bytes and a full disk shows as an error rather than as a fault in a mapping.
constexpr std::int64_t kGrowStep = 8 << 20;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

constexpr int kRandomLength = 8;
constexpr char kPartEnding[] = ".part";

bool IsRandomCharacter(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); }

// ".<name>.<random>.part": hidden, and never taken for a song.
std::string TemporaryName(const std::string& name) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  std::string suffix;
  for (int i = 0; i < kRandomLength; ++i) suffix.push_back(kDigits[random() % 36]);
  // Leave room for the additions within the 255 bytes a name may have.
  return "." + name.substr(0, 230) + "." + suffix + kPartEnding;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Takes the lock that marks a part file as in use for as long as `fd` stays open (the kernel
// lets it go when the process ends, however it ends), and checks that the name still leads to
// this file: a start-up clean-up in another instance may have removed it between its creation
// and the lock. False when it did; the caller makes another.
bool HoldPartFile(int fd, const std::string& path) {
  int r;
  do {
    r = flock(fd, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  // Without locks (some network file systems) nobody else can take the lock either, so no
  // clean-up ever removes the file.
  struct stat by_fd {
  }, by_name{};
  return fstat(fd, &by_fd) == 0 && lstat(path.c_str(), &by_name) == 0 && SameFile(by_fd, by_name);
}

// Gives `from` the name `to` unless `to` exists; errno in *error otherwise.
bool RenameWithoutReplacing(const std::string& from, const std::string& to, int* error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    *error = errno;
    return false;
  }
  // A file system without the no-replace flag: a hard link fails on an existing name too.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) {
    *error = EEXIST;
    return false;
  }
  // Nor hard links (vfat): check, then rename. Only another writer racing for the same new
  // name in the same instant could slip between the two.
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) {
    *error = EEXIST;
    return false;
  }
  if (rename(from.c_str(), to.c_str()) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, std::int64_t size,
                                               int* error, Naming naming) {
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
  std::string temporary;
  int fd = -1;
  errno = EOPNOTSUPP;
  if (naming == Naming::kUnnamedWherePossible)
    fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No unnamed files on this file system (vfat, exFAT, FUSE, CIFS, NFSv3): a hidden name of
    // its own holds the file until it is complete, so a crash never leaves a file under the
    // final name, and its ".part" ending keeps it out of every song list.
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temporary = folder + TemporaryName(name);
      fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0 && errno != EEXIST) break;
      if (fd >= 0 && !HoldPartFile(fd, temporary)) {
        close(fd);
        fd = -1;
        errno = EEXIST;
      }
    }
  }
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  std::unique_ptr<OutputFile> file(new OutputFile(path, size, fd, std::move(temporary)));
  if (size > 0 && !file->Allocate(size, error)) {
    file->Discard();
    return nullptr;
  }
  return file;
}

OutputFile::OutputFile(std::string path, std::int64_t size, int fd, std::string temporary)
    : path_(std::move(path)), size_(size), fd_(fd), temporary_(std::move(temporary)) {}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Allocate(std::int64_t size, int* error) {
  int r = ftruncate(fd_, size) == 0 ? posix_fallocate(fd_, 0, size) : errno;
  if (r != 0) {
    *error = r;
    return false;
  }
  size_ = size;
  return true;
}

bool OutputFile::Reserve(std::int64_t size) {
  if (fd_ < 0) return false;
  if (size <= size_) return true;
  int error = 0;
  return Allocate(std::max(size, size_ + kGrowStep), &error);
}

bool OutputFile::Truncate(std::int64_t size) {
  if (fd_ < 0 || size < 0 || size > size_) return false;
  if (ftruncate(fd_, size) != 0) return false;
  size_ = size;
  return true;
}

bool OutputFile::Publish(int* error) {
  *error = 0;
  if (fd_ < 0) {
    *error = EBADF;
    return false;
  }
  // Every byte reaches the disk before the file takes its name, and the folder after it: after
  // a power cut the song is either complete under its name or not there at all.
  const std::string unnamed = temporary_.empty() ? "unnamed:" + path_ : temporary_;
  if (!platform::SyncFile(fd_, unnamed)) {
    *error = EIO;
    return false;
  }
  if (!temporary_.empty()) {
    if (!RenameWithoutReplacing(temporary_, path_, error)) return false;
    temporary_.clear();
  } else {
    // linkat with AT_EMPTY_PATH needs a capability; the /proc link of the descriptor does not.
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      *error = errno;
      // Without /proc, the descriptor itself (allowed to privileged processes).
      if (*error == EEXIST || linkat(fd_, "", AT_FDCWD, path_.c_str(), AT_EMPTY_PATH) != 0) {
        return false;
      }
      *error = 0;
    }
  }
  platform::NoteNamed(unnamed, path_);
  platform::SyncFolderOf(path_);
  published_ = true;
  Close();
  return true;
}

bool OutputFile::IsPartFileName(std::string_view name) {
  constexpr std::size_t kEnding = sizeof(kPartEnding) - 1;
  constexpr std::size_t kTail = 1 + kRandomLength + kEnding;  // ".<random>.part"
  if (name.size() < 2 + kTail || name.front() != '.') return false;
  if (name.substr(name.size() - kEnding) != kPartEnding) return false;
  std::string_view random = name.substr(name.size() - kEnding - kRandomLength, kRandomLength);
  return name[name.size() - kTail] == '.' &&
         std::all_of(random.begin(), random.end(), IsRandomCharacter);
}

int OutputFile::RemoveStaleParts(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (IsPartFileName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  const int dfd = dirfd(dir);
  int removed = 0;
  for (const std::string& name : names) {
    // Not through a link, and without waiting on a pipe that happens to bear such a name.
    const int fd = openat(dfd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat by_fd {
    }, by_name{};
    // A running download, here or in another instance, holds the lock on its part file.
    if (fstat(fd, &by_fd) == 0 && S_ISREG(by_fd.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(dfd, name.c_str(), &by_name, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(by_fd, by_name) && unlinkat(dfd, name.c_str(), 0) == 0) {
      ++removed;
    }
    close(fd);
  }
  closedir(dir);
  return removed;
}

void OutputFile::Discard() {
  if (fd_ < 0) return;
  if (!published_ && !temporary_.empty()) unlink(temporary_.c_str());
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
  void* p = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                 start);
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

bool OutputFile::WriteThrough(std::int64_t offset, const char* data, std::int64_t count) {
  if (fd_ < 0 || offset < 0 || count < 0 || offset + count > size_) return false;
  while (count > 0) {
    ssize_t n = pwrite(fd_, data, static_cast<std::size_t>(count), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    offset += n;
    count -= n;
  }
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
