#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <variant>

#include "platform/code_page.h"
#include "platform/durable_file.h"
#include "platform/mutex.h"
#include "runtime/internal/read_only_folder.h"

namespace vorel::runtime {
namespace {

constexpr int kAccessRead = 1, kAccessWrite = 2;

// One open data file. Its own lock guards its position and contents.
struct FileObject {
  platform::Mutex mu;
  bool memory = false;
  int fd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  int access = 0;                   // kAccessRead | kAccessWrite
  int share_allow = 0;              // what later opens of the same file may do
  Bytes data VOREL_GUARDED_BY(mu);  // memory files only
  std::int64_t pos VOREL_GUARDED_BY(mu) = 0;

  ~FileObject() {
    if (fd >= 0) ::close(fd);
  }

  std::int64_t Length() VOREL_REQUIRES(mu) {
    if (memory) return static_cast<std::int64_t>(data.size());
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
  }

  // Up to n bytes at `at`; fewer at the end of the file.
  Bytes ReadAt(std::int64_t at, std::size_t n) VOREL_REQUIRES(mu) {
    if (memory) {
      if (at >= static_cast<std::int64_t>(data.size())) return {};
      std::size_t k = std::min(n, data.size() - static_cast<std::size_t>(at));
      return Bytes(data.begin() + at, data.begin() + at + static_cast<std::ptrdiff_t>(k));
    }
    if (!(access & kAccessRead)) return {};
    Bytes out(n);
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd, out.data() + got, n - got, at + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return out;
  }

  bool WriteAt(std::int64_t at, const std::uint8_t* p, std::size_t n) VOREL_REQUIRES(mu) {
    if (memory) {
      std::size_t end = static_cast<std::size_t>(at) + n;
      if (end > data.size()) {
        // Capacity grows in whole kilobytes, and geometrically so large bodies stay linear.
        if (end > data.capacity()) {
          std::size_t cap = std::max<std::size_t>(end, data.capacity() * 2);
          data.reserve((cap + 1023) / 1024 * 1024);
        }
        data.resize(end);
      }
      std::memcpy(data.data() + at, p, n);
      return true;
    }
    if (!(access & kAccessWrite)) return false;
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd, p + done, n - done, at + static_cast<off_t>(done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      done += static_cast<std::size_t>(r);
    }
    return true;
  }

  bool Truncate(std::int64_t length) VOREL_REQUIRES(mu) {
    if (memory) {
      data.resize(static_cast<std::size_t>(length));
      return true;
    }
    return ::ftruncate(fd, length) == 0;
  }
};

class FileTable {
 public:
  int Add(std::shared_ptr<FileObject> f) {
    platform::MutexLock lock(mu_);
    if (next_ == INT_MAX) return 0;
    int number = next_++;
    files_.emplace(number, std::move(f));
    return number;
  }
  std::shared_ptr<FileObject> Get(int number) {
    platform::MutexLock lock(mu_);
    auto it = files_.find(number);
    return it == files_.end() ? nullptr : it->second;
  }
  std::shared_ptr<FileObject> Remove(int number) {
    platform::MutexLock lock(mu_);
    auto it = files_.find(number);
    if (it == files_.end()) return nullptr;
    auto f = std::move(it->second);
    files_.erase(it);
    return f;
  }
  // Windows sharing rules between this process's opens: each side's access must be allowed by
  // the other side's share mode.
  bool ShareAllows(dev_t dev, ino_t ino, int access, int share_allow) {
    platform::MutexLock lock(mu_);
    for (auto& [n, f] : files_) {
      if (f->memory || f->dev != dev || f->ino != ino) continue;
      if ((access & ~f->share_allow) != 0) return false;
      if ((f->access & ~share_allow) != 0) return false;
    }
    return true;
  }
  platform::Mutex& open_mu() { return open_mu_; }

 private:
  platform::Mutex mu_;
  platform::Mutex open_mu_;  // makes check-then-register atomic for concurrent opens
  std::map<int, std::shared_ptr<FileObject>> files_ VOREL_GUARDED_BY(mu_);
  int next_ VOREL_GUARDED_BY(mu_) = 1;
};

FileTable& Files() {
  static FileTable* table = new FileTable;  // never destroyed: workers may outlive main()
  return *table;
}

std::optional<std::string> PathFromText(const Text& path) {
  if (path.empty()) return std::nullopt;
  auto utf8 = platform::Gb18030ToUtf8(path);
  if (!utf8 || utf8->find('\0') != std::string::npos) return std::nullopt;
  return *utf8;
}

bool ReadAll(int fd, Bytes* out) {
  std::uint8_t buf[65536];
  while (true) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) return true;
    out->insert(out->end(), buf, buf + r);
  }
}

// How a value goes into a file: a few bytes of its own before and after, and a view of the
// value's text or bytes in between, so a large text or buffer is copied once, into the file.
struct Written {
  Bytes head;
  std::span<const std::uint8_t> body;
  Bytes tail;
};

std::span<const std::uint8_t> ViewOf(const Value& v) {
  if (auto* t = std::get_if<Text>(&v)) {
    return {reinterpret_cast<const std::uint8_t*>(t->data()), t->size()};
  }
  if (auto* b = std::get_if<Bytes>(&v)) return {b->data(), b->size()};
  return {};
}

// As ToBytes: texts without their NUL, buffers as they are, numbers little-endian.
Written PlainForm(const Value& v) {
  if (std::holds_alternative<Text>(v) || std::holds_alternative<Bytes>(v)) {
    return {{}, ViewOf(v), {}};
  }
  return {ToBytes(v), {}, {}};
}

// As WriteData: texts with their NUL, buffers after their 32-bit length.
Written BinaryForm(const Value& v) {
  if (std::holds_alternative<Text>(v)) return {{}, ViewOf(v), Bytes{0}};
  if (auto* bytes = std::get_if<Bytes>(&v)) {
    return {ToBytes(static_cast<std::int32_t>(bytes->size())), ViewOf(v), {}};
  }
  return {ToBytes(v), {}, {}};
}

// Appends values at the file's position; on failure the position is restored.
bool WriteValues(int file, std::initializer_list<Value> values, Written (*form)(const Value&)) {
  auto f = Files().Get(file);
  if (!f) return false;
  platform::MutexLock lock(f->mu);
  const std::int64_t start = f->pos;
  for (const Value& v : values) {
    Written w = form(v);
    for (std::span<const std::uint8_t> piece :
         {std::span<const std::uint8_t>(w.head), w.body, std::span<const std::uint8_t>(w.tail)}) {
      if (piece.empty()) continue;
      if (!f->WriteAt(f->pos, piece.data(), piece.size())) {
        f->pos = start;
        return false;
      }
      f->pos += static_cast<std::int64_t>(piece.size());
    }
  }
  return true;
}

template <typename T>
bool ReadFixed(FileObject& f, T* out) VOREL_REQUIRES(f.mu) {
  Bytes b = f.ReadAt(f.pos, sizeof(T));
  if (b.size() != sizeof(T)) return false;
  std::memcpy(out, b.data(), sizeof(T));
  f.pos += sizeof(T);
  return true;
}

bool ReadOne(FileObject& f, const ValueRef& ref) VOREL_REQUIRES(f.mu) {
  if (auto* t = std::get_if<Text*>(&ref)) {
    Text s;
    while (true) {
      Bytes chunk = f.ReadAt(f.pos, 512);
      if (chunk.empty()) return false;  // no terminating NUL
      auto nul = std::find(chunk.begin(), chunk.end(), std::uint8_t{0});
      s.append(chunk.begin(), nul);
      f.pos += nul - chunk.begin();
      if (nul != chunk.end()) {
        f.pos += 1;
        **t = std::move(s);
        return true;
      }
    }
  }
  if (auto* b = std::get_if<Bytes*>(&ref)) {
    std::int32_t n;
    std::int64_t start = f.pos;
    if (!ReadFixed(f, &n) || n < 0) return false;
    Bytes data = f.ReadAt(f.pos, static_cast<std::size_t>(n));
    if (data.size() != static_cast<std::size_t>(n)) {
      f.pos = start;
      return false;
    }
    f.pos += n;
    **b = std::move(data);
    return true;
  }
  if (auto* p = std::get_if<bool*>(&ref)) {
    std::int32_t v;
    if (!ReadFixed(f, &v)) return false;
    **p = v != 0;
    return true;
  }
  if (auto* p = std::get_if<DateTime*>(&ref)) return ReadFixed(f, &(*p)->days);
  return std::visit(
      // Runs inside std::visit, which the analysis does not follow, still under f.mu.
      [&](auto* p) VOREL_NO_THREAD_SAFETY_ANALYSIS -> bool {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_arithmetic_v<T>) {
          return ReadFixed(f, p);
        } else {
          return false;
        }
      },
      ref);
}

}  // namespace

Text RunDirectory() {
  std::string exe(PATH_MAX, '\0');
  ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
  if (n <= 0) return {};
  exe.resize(static_cast<std::size_t>(n));
  exe.resize(exe.rfind('/') == std::string::npos ? 0 : exe.rfind('/'));
  return TextFromUtf8(exe);
}

namespace {

struct DataFolderChoice {
  Text passed_over_program_folder;
  Text problem;                // the data folder when it cannot be written, else empty
  Text not_entered;            // the data folder when start-up could not make it the working folder
  Text read_only_for_testing;  // see runtime/testing.h
};

DataFolderChoice& DataFolderState() {
  static DataFolderChoice choice;
  return choice;
}

// An installed program sits in <prefix>/bin with its audio library in <prefix>/lib/vorel/.
bool IsInstalledLayout(const std::string& program_folder) {
  constexpr std::string_view kBin = "/bin";
  if (program_folder.size() < kBin.size() || !program_folder.ends_with(kBin)) return false;
  const std::string library = program_folder + "/../lib/vorel/libbass.so";
  struct stat st {};
  return ::stat(library.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// $XDG_DATA_HOME/vorel, or ~/.local/share/vorel; empty when neither variable names a folder.
std::string XdgDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    return std::string(xdg) + "/vorel";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.local/share/vorel";
  }
  return {};
}

}  // namespace

bool IsWritableFolder(const Text& folder) {
  const Text& read_only = DataFolderState().read_only_for_testing;
  if (!read_only.empty() && folder == read_only) return false;
  return !folder.empty() && ::access(Utf8FromText(folder).c_str(), W_OK) == 0;
}

void internal::TreatFolderAsReadOnly(const Text& folder) {
  DataFolderState().read_only_for_testing = folder;
}

Text PassedOverProgramFolder() { return DataFolderState().passed_over_program_folder; }

Text DataFolderProblem() { return DataFolderState().problem; }

Text DataFolderPath() {
  const Text& not_entered = DataFolderState().not_entered;
  return not_entered.empty() ? CurrentDirectory() : not_entered;
}

void EnterDataFolder(const Text& program_folder) {
  DataFolderChoice& state = DataFolderState();
  state.passed_over_program_folder.clear();
  state.problem.clear();
  state.not_entered.clear();
  const std::string run = Utf8FromText(program_folder);
  // A copy run from its own folder (the build, an unpacked folder) keeps its data beside itself;
  // an installed program never does, even under a prefix its user may write (~/.local).
  if (!IsInstalledLayout(run) && IsWritableFolder(program_folder) && ::chdir(run.c_str()) == 0) {
    return;
  }
  if (!program_folder.empty()) state.passed_over_program_folder = program_folder;
  const std::string dir = XdgDataFolder();
  if (dir.empty()) {
    state.problem = TextFromUtf8("$XDG_DATA_HOME/vorel");
    state.not_entered = state.problem;
    return;
  }
  for (std::size_t p = 1; p <= dir.size(); ++p) {
    if (p == dir.size() || dir[p] == '/') ::mkdir(dir.substr(0, p).c_str(), 0755);
  }
  const Text folder = TextFromUtf8(dir);
  if (::chdir(dir.c_str()) != 0) {
    // Staying in whatever folder the program was started from would scatter the list there.
    state.not_entered = folder;
    state.problem = folder;
  } else if (!IsWritableFolder(folder)) {
    state.problem = folder;
  }
}

Text CurrentDirectory() {
  char* cwd = ::getcwd(nullptr, 0);  // no fixed buffer: long paths must not be cut
  if (!cwd) return {};
  std::string dir(cwd);
  ::free(cwd);
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  return TextFromUtf8(dir);
}

bool FileExists(const Text& path) {
  auto p = PathFromText(path);
  struct stat st;
  return p && ::stat(p->c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<FileStamp> StampOf(const Text& path) {
  auto p = PathFromText(path);
  struct stat st;
  if (!p || ::stat(p->c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

Bytes ReadWholeFile(const Text& path) {
  auto p = PathFromText(path);
  if (!p) return {};
  int fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  Bytes out;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return {};
  }
  if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  bool ok = ReadAll(fd, &out);
  ::close(fd);
  return ok ? out : Bytes();
}

bool WriteWholeFile(const Text& path, std::initializer_list<Value> values) {
  auto p = PathFromText(path);
  if (!p) return false;
  int fd = ::open(p->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (const Value& v : values) {
    Bytes b = ToBytes(v);
    std::size_t done = 0;
    while (ok && done < b.size()) {
      ssize_t r = ::write(fd, b.data() + done, b.size() - done);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) ok = false;
      else done += static_cast<std::size_t>(r);
    }
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool ReplaceFileAtomically(const Text& temp_path, const Text& final_path) {
  auto from = PathFromText(temp_path);
  auto to = PathFromText(final_path);
  if (!from || !to) return false;
  int fd = ::open(from->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The new contents reach the disk before the name moves to them: after a power cut the name
  // then holds the old file or the whole new one, never an empty or partly written one.
  bool synced = platform::SyncFile(fd, *from);
  ::close(fd);
  if (!synced || ::rename(from->c_str(), to->c_str()) != 0) return false;
  platform::NoteNamed(*from, *to);
  // The rename itself is durable only once the folder is flushed. The new file is in place
  // either way, so a folder that cannot be flushed does not undo the replace.
  platform::SyncFolderOf(*to);
  return true;
}

bool RenameFileKeeping(const Text& from, const Text& to) {
  auto a = PathFromText(from);
  auto b = PathFromText(to);
  return a && b && ::renameat2(AT_FDCWD, a->c_str(), AT_FDCWD, b->c_str(), RENAME_NOREPLACE) == 0;
}

bool RemoveFile(const Text& path) {
  auto p = PathFromText(path);
  return p && (::unlink(p->c_str()) == 0 || errno == ENOENT);
}

int OpenDataFile(const Text& path, FileMode file_mode, ShareMode share_mode) {
  const int mode = static_cast<int>(file_mode);
  const int share = static_cast<int>(share_mode);
  if (mode < 1 || mode > 6 || share < 1 || share > 4) return 0;
  auto p = PathFromText(path);
  if (!p) return 0;
  static constexpr int kFlags[] = {
      0, O_RDONLY, O_WRONLY, O_RDWR, O_WRONLY | O_CREAT, O_WRONLY | O_CREAT, O_RDWR | O_CREAT};
  static constexpr int kAccess[] = {0,
                                    kAccessRead,
                                    kAccessWrite,
                                    kAccessRead | kAccessWrite,
                                    kAccessWrite,
                                    kAccessWrite,
                                    kAccessRead | kAccessWrite};
  static constexpr int kShareAllow[] = {0, kAccessRead | kAccessWrite, kAccessWrite, kAccessRead,
                                        0};
  auto f = std::make_shared<FileObject>();
  f->access = kAccess[mode];
  f->share_allow = kShareAllow[share];

  platform::MutexLock open_lock(Files().open_mu());
  bool created = false;
  int fd = -1;
  if (kFlags[mode] & O_CREAT) {
    fd = ::open(p->c_str(), kFlags[mode] | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    created = fd >= 0;
  }
  if (fd < 0) fd = ::open(p->c_str(), (kFlags[mode] & ~O_CREAT) | O_CLOEXEC);
  if (fd < 0) return 0;
  f->fd = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  f->dev = st.st_dev;
  f->ino = st.st_ino;
  if (!Files().ShareAllows(f->dev, f->ino, f->access, f->share_allow)) {
    if (created) ::unlink(p->c_str());
    return 0;
  }
  // Truncation waits until the sharing check passed, so a denied open changes nothing.
  if (mode == 4 && ::ftruncate(fd, 0) != 0) return 0;
  return Files().Add(std::move(f));
}

int OpenMemoryFile() {
  auto f = std::make_shared<FileObject>();
  f->memory = true;
  f->access = kAccessRead | kAccessWrite;
  {
    platform::MutexLock lock(f->mu);  // not shared yet; its contents are only touched under it
    f->data.reserve(1024);
  }
  return Files().Add(std::move(f));
}

void CloseFile(int file) {
  auto f = Files().Remove(file);
  if (f) platform::MutexLock lock(f->mu);  // let a running operation finish first
}

std::int64_t FileLength(int file) {
  auto f = Files().Get(file);
  if (!f) return -1;
  platform::MutexLock lock(f->mu);
  return f->Length();
}

bool MoveToFileStart(int file) {
  auto f = Files().Get(file);
  if (!f) return false;
  platform::MutexLock lock(f->mu);
  f->pos = 0;
  return true;
}

bool AtFileEnd(int file, bool stop_at_nul) {
  auto f = Files().Get(file);
  if (!f) return false;
  platform::MutexLock lock(f->mu);
  if (f->pos >= f->Length()) return true;
  if (!stop_at_nul) return false;
  Bytes b = f->ReadAt(f->pos, 1);
  return b.empty() || b[0] == 0 || b[0] == 0x1A;
}

Bytes ReadBytes(int file, int n) {
  if (n <= 0) return {};
  auto f = Files().Get(file);
  if (!f) return {};
  platform::MutexLock lock(f->mu);
  Bytes b = f->ReadAt(f->pos, static_cast<std::size_t>(n));
  f->pos += static_cast<std::int64_t>(b.size());
  return b;
}

Text ReadText(int file, std::optional<int> n) {
  if (n && *n <= 0) return {};
  auto f = Files().Get(file);
  if (!f) return {};
  platform::MutexLock lock(f->mu);
  std::int64_t available = f->Length() - f->pos;
  if (available <= 0) return {};
  std::size_t want =
      static_cast<std::size_t>(n ? std::min<std::int64_t>(*n, available) : available);
  Bytes b = f->ReadAt(f->pos, want);
  auto stop = std::find_if(b.begin(), b.end(), [](std::uint8_t c) { return c == 0 || c == 0x1A; });
  f->pos += stop - b.begin();
  return Text(b.begin(), stop);
}

Text ReadLine(int file) {
  auto f = Files().Get(file);
  if (!f) return {};
  platform::MutexLock lock(f->mu);
  Text line;
  while (true) {
    Bytes block = f->ReadAt(f->pos, 512);
    if (block.empty()) break;
    auto end = std::find_if(block.begin(), block.end(),
                            [](std::uint8_t c) { return c == '\n' || c == 0 || c == 0x1A; });
    line.append(block.begin(), end);
    f->pos += end - block.begin();
    if (end == block.end()) continue;
    if (*end == '\n') {
      f->pos += 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    break;  // NUL and 0x1A end the line and stay unread
  }
  return line;
}

bool WriteBytes(int file, std::initializer_list<Value> values) {
  return WriteValues(file, values, &PlainForm);
}

bool WriteText(int file, std::initializer_list<Value> values) {
  return WriteValues(file, values, [](const Value& v) {
    if (std::holds_alternative<Text>(v)) return PlainForm(v);
    return Written{BytesFromText(ToText(v)), {}, {}};
  });
}

bool WriteData(int file, std::initializer_list<Value> values) {
  return WriteValues(file, values, &BinaryForm);
}

bool ReadData(int file, std::initializer_list<ValueRef> targets) {
  auto f = Files().Get(file);
  if (!f) return false;
  platform::MutexLock lock(f->mu);
  const std::int64_t start = f->pos;
  for (const ValueRef& ref : targets) {
    if (!ReadOne(*f, ref)) {
      f->pos = start;
      return false;
    }
  }
  return true;
}

bool DeleteData(int file, std::int64_t n) {
  if (n <= 0) return false;
  auto f = Files().Get(file);
  if (!f) return false;
  platform::MutexLock lock(f->mu);
  const std::int64_t length = f->Length();
  if (length < 0 || f->pos >= length) return false;
  n = std::min(n, length - f->pos);
  // Move the rest back block by block so a large file never sits in memory whole.
  for (std::int64_t from = f->pos + n; from < length; from += 4096) {
    Bytes block = f->ReadAt(from, 4096);
    if (block.empty() || !f->WriteAt(from - n, block.data(), block.size())) return false;
  }
  return f->Truncate(length - n);
}

}  // namespace vorel::runtime
