#include "platform/durable_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/mutex.h"

namespace vorel::platform {
namespace {

struct Record {
  Mutex mu;
  bool on VOREL_GUARDED_BY(mu) = false;
  std::vector<std::string> steps VOREL_GUARDED_BY(mu);
};

Record& TheRecord() {
  static Record* record = new Record;  // never destroyed: writers may run at program end
  return *record;
}

void Note(std::string step) {
  Record& r = TheRecord();
  MutexLock lock(r.mu);
  if (r.on) r.steps.push_back(std::move(step));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool SyncFile(int fd, const std::string& path) {
  int r;
  do {
    r = ::fsync(fd);
  } while (r != 0 && errno == EINTR);
  Note("sync " + path);
  return r == 0;
}

bool SyncFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int r;
  do {
    r = ::fsync(fd);
  } while (r != 0 && errno == EINTR);
  // Some file systems cannot flush a folder (EINVAL) and keep names durable by other means.
  const bool ok = r == 0 || errno == EINVAL;
  ::close(fd);
  Note("sync-folder " + folder);
  return ok;
}

void NoteNamed(const std::string& from, const std::string& to) { Note("name " + from + " " + to); }

void internal::SetFileStepRecord(bool on) {
  Record& r = TheRecord();
  MutexLock lock(r.mu);
  r.on = on;
  r.steps.clear();
}

std::vector<std::string> internal::RecordedFileSteps() {
  Record& r = TheRecord();
  MutexLock lock(r.mu);
  return r.steps;
}

}  // namespace vorel::platform
