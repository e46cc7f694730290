#include "download/song_download.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include "download/file_name.h"
#include "platform/mutex.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::download {
namespace internal {

// One click's download. Shared by the UI thread, the start worker and the engine's callbacks,
// which may outlive the object that started them (a cancelled task still ends on its own thread).
struct Job {
  platform::Mutex mu;
  runtime::Text last_error VOREL_GUARDED_BY(mu);  // the engine's last error status line
  int reply_status VOREL_GUARDED_BY(mu) = 0;      // the status code of the last reply header
};

// What a SongDownload shares with its start workers and its tasks' callbacks.
struct SongShared {
  Download downloader;  // thread-safe
  std::atomic<double> total_bytes{0};
  std::atomic<int> start_workers{0};

  // Serialises the start of a task against a cancel, so a task is never started for a job
  // that was already cancelled. Taken before `mu`.
  platform::Mutex start_mu;

  platform::Mutex mu;
  TaskParam param VOREL_GUARDED_BY(mu);
  std::shared_ptr<Job> job VOREL_GUARDED_BY(mu);  // the download the controls show, or none

  std::shared_ptr<Job> CurrentJob() {
    platform::MutexLock lock(mu);
    return job;
  }

  // Makes `ended` no longer the job the controls show; false when it already was not
  // (cancelled, ended, or replaced by a newer download).
  bool TakeJob(const std::shared_ptr<Job>& ended) {
    platform::MutexLock lock(mu);
    if (job != ended) return false;
    job.reset();
    return true;
  }

  // Forgets the job shown, after any start under way, so no task starts for it.
  void ForgetJob() {
    platform::MutexLock start_lock(start_mu);
    platform::MutexLock lock(mu);
    job.reset();
  }

  // The engine's notification callback while `job` is shown.
  std::int32_t OnDownloadNotify(std::int32_t type, const void*, std::int64_t value, std::int64_t,
                                const void*) {
    if (type == kTotalSize) total_bytes = static_cast<double>(value);
    return 0;
  }
};

}  // namespace internal

namespace {

using namespace runtime::literals;
using namespace ids;
using internal::Job;
using internal::SongShared;
using runtime::Text;
using runtime::WriteProperty;

// What the start worker needs, copied on the user-interface thread.
struct SongRequest {
  Text url;
  Text name;
  std::shared_ptr<Job> job;
};

void ShowRunningControls() {
  WriteProperty(kMainWindow, kDownloadButton, kPropVisible, false);
  WriteProperty(kMainWindow, kDownloadProgress, kPropVisible, true);
  WriteProperty(kMainWindow, kDownloadLabel, kPropVisible, true);
  WriteProperty(kMainWindow, kDownloadTimer, kPropInterval, 100);
}

// Back to idle in the order the end of a task has always used, with the message box between
// the bar's reset and the label's; the label and bar hide only when no download was started
// while the box was open.
void ShowIdleControls(SongShared& s, const Text& message) {
  WriteProperty(kMainWindow, kDownloadButton, kPropVisible, true);
  WriteProperty(kMainWindow, kDownloadTimer, kPropInterval, 0);
  WriteProperty(kMainWindow, kDownloadProgress, kPropPosition, 0);
  runtime::ShowMessageBox(message, runtime::kMessageBoxOk);
  if (s.CurrentJob() != nullptr) return;
  WriteProperty(kMainWindow, kDownloadLabel, kPropCaption, "下载"_t);
  WriteProperty(kMainWindow, kDownloadLabel, kPropVisible, false);
  WriteProperty(kMainWindow, kDownloadProgress, kPropVisible, false);
}

// Ends `job` with `message` unless it was already ended or cancelled. Any thread.
void FinishJob(SongShared& s, const std::shared_ptr<Job>& job, const Text& message) {
  if (!s.TakeJob(job)) return;
  ShowIdleControls(s, message);
}
// Status lines may carry a line break or trailing blanks; the message shows the words only.
Text Trimmed(Text line) {
  while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
  return line;
}

bool StartsWith(const Text& text, const Text& prefix) { return text.rfind(prefix, 0) == 0; }

// The reason of a failed download in a few words a person understands: from the server's
// status when it answered with an error, else from the engine's last error line, which is
// shown as it is when nothing plainer fits.
Text FailureReason(int reply_status, const Text& last_error) {
  if (reply_status == 404 || reply_status == 410) return "服务器上找不到这个文件（404）"_t;
  if (reply_status == 401 || reply_status == 403) {
    return "服务器拒绝提供这个文件（"_t + std::to_string(reply_status) + "）"_t;
  }
  if (reply_status == 429) return "服务器限制了请求次数（429）"_t;
  if (reply_status >= 400) return "服务器出错（"_t + std::to_string(reply_status) + "）"_t;
  if (StartsWith(last_error, "服务器拒绝连接"_t)) return "服务器拒绝连接"_t;
  if (StartsWith(last_error, "无法解析域名"_t)) return "找不到服务器"_t;
  if (StartsWith(last_error, "服务器证书验证失败"_t)) return "服务器的证书无法验证"_t;
  if (last_error.find("不支持安全连接"_t) != Text::npos) return "服务器不支持安全连接（https）"_t;
  if (StartsWith(last_error, "服务器不回应安全连接"_t)) return "服务器不回应安全连接（https）"_t;
  if (StartsWith(last_error, "已有"_t) && last_error.find("秒没有收到任何数据"_t) != Text::npos) {
    // "已有120秒没有收到任何数据, 放弃下载": the seconds are the engine's own.
    const std::size_t digits = std::string("已有"_t).size();
    const std::size_t end = last_error.find_first_not_of("0123456789", digits);
    return last_error.substr(digits, end - digits) + "秒没有收到数据"_t;
  }
  return last_error;
}

Text FailureText(const Text& reason) {
  if (reason.empty()) return "下载失败：文件没有完整下载，已删除。"_t;
  return "下载失败："_t + reason + "。"_t;
}

// The message at the end of a complete download: the folder the file is in. The program's own
// folder keeps the words it always had.
Text CompletionText(const Text& musics) {
  const Text folder = musics.substr(0, musics.rfind('/'));
  if (folder == runtime::RunDirectory()) return "下载完成，路径为当前目录下的\\Musics文件夹。"_t;
  return "下载完成，路径为"_t + musics + "文件夹。"_t;
}

// "HTTP/1.1 404 Not Found\r\n...": the status code, or 0.
int StatusOfHeader(const Text& header) {
  const std::size_t space = header.find(' ');
  if (space == Text::npos || header.size() < space + 4) return 0;
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (header[i] < '0' || header[i] > '9') return 0;
    code = code * 10 + (header[i] - '0');
  }
  return code;
}

// The folder downloads go to, inside the data folder.
Text MusicsIn(const Text& folder) { return folder + (folder.back() == '/' ? "" : "/") + "Musics"; }

// Creates the folder when it is missing; true when it is a folder afterwards.
bool MakeFolder(const Text& path) {
  const std::string fs_path = runtime::Utf8FromText(path);
  if (::mkdir(fs_path.c_str(), 0755) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::stat(fs_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
  return s;
}

// The callbacks of `job`'s task. They hold the shared record weakly: once its SongDownload is
// gone and its workers have returned, a late report reaches nothing.
void SetCallbacks(TaskParam& param, const std::shared_ptr<SongShared>& shared,
                  const std::shared_ptr<Job>& job, const Text& musics) {
  std::weak_ptr<SongShared> weak = shared;
  param.NotifyCallback = [weak, job, musics](std::int32_t type, const void* pointer,
                                             std::int64_t value, std::int64_t value2,
                                             const void* task) -> std::int32_t {
    const std::shared_ptr<SongShared> s = weak.lock();
    if (!s) return 0;
    if (type == kTaskEnded) {
      Text reason;
      {
        platform::MutexLock lock(job->mu);
        reason = FailureReason(job->reply_status, job->last_error);
      }
      FinishJob(*s, job, value2 == 1 ? CompletionText(musics) : FailureText(reason));
      return 0;
    }
    if (s->CurrentJob() != job) return 0;
    return s->OnDownloadNotify(type, pointer, value, value2, task);
  };
  param.StatusCallback = [job](const Text& line, std::int32_t level) {
    if (level == kReplyHeader) {
      platform::MutexLock lock(job->mu);
      job->reply_status = StatusOfHeader(line);
    }
    if (level != kError) return;
    platform::MutexLock lock(job->mu);
    job->last_error = Trimmed(line);
  };
}

void StartDownload(const std::shared_ptr<SongShared>& shared, const SongRequest& request) {
  SongShared& s = *shared;
  const std::shared_ptr<Job>& job = request.job;
  if (s.CurrentJob() != job) return;  // cancelled before the worker ran
  const Text folder = runtime::DataFolderPath();
  if (folder.empty()) {
    FinishJob(s, job, "下载失败：无法确定当前目录。"_t);
    return;
  }
  const Text musics = MusicsIn(folder);
  if (!MakeFolder(musics)) {
    FinishJob(s, job, "下载失败：无法创建Musics文件夹。"_t);
    return;
  }

  TaskParam param;
  {
    platform::MutexLock lock(s.mu);
    s.param.TaskFlags = 4096;
    s.param.Url = request.url;
    s.param.LocalPath = musics + "/" + SongFileName(request.name) + ".mp3";
    s.param.ConnectionCount = 5;
    s.param.ConnectTimeout = 5000;
    s.param.SendTimeout = 5000;
    s.param.ReceiveTimeout = 10000;
    s.param.StopWait = 1000;
    s.param.ReceiveBlockSize = 10240;
    SetCallbacks(s.param, shared, job, musics);
    param = s.param;
  }

  bool started = false;
  {
    platform::MutexLock lock(s.start_mu);
    if (s.CurrentJob() != job) return;  // cancelled meanwhile
    started = s.downloader.Start(param);
  }
  if (!started) FinishJob(s, job, "下载失败：无法开始下载，下载地址无效或暂不支持。"_t);
}

}  // namespace

void RemoveLeftoverParts() {
  const Text folder = runtime::DataFolderPath();
  if (folder.empty()) return;
  const Text musics = MusicsIn(folder);
  // Reading the folder may take a while on a network mount; the window does not wait for it.
  runtime::StartThread([musics] { RemoveStalePartFiles(musics); });
}

Text SongFileName(const Text& sound_name) {
  constexpr std::size_t kNameMax = 255 - 4 /* ".mp3" */ - 4 /* "(99)" */;
  Text name = SafeFileName(sound_name);
  std::string utf8 = runtime::Utf8FromText(name);
  if (utf8.size() > kNameMax) name = runtime::TextFromUtf8(CutUtf8(std::move(utf8), kNameMax));
  return name;
}

SongDownload::SongDownload(SongDownloadServices services)
    : services_(std::move(services)), shared_(std::make_shared<SongShared>()) {}

SongDownload::~SongDownload() {
  runtime::WithdrawExitRoutine(this);
  ReleaseDownloader();
}

void SongDownload::OnDownloadClicked() {
  SongShared& s = *shared_;
  SongRequest request;
  if (services_.sound_source_url) request.url = services_.sound_source_url();
  if (runtime::CompareTexts(request.url, Text()) == 0) return;
  if (services_.sound_name) request.name = services_.sound_name();
  request.job = std::make_shared<Job>();
  const std::shared_ptr<Job> job = request.job;
  {
    platform::MutexLock lock(s.mu);
    if (s.job) return;  // one download at a time
    s.job = job;
  }
  runtime::RegisterExitRoutine(this, [this](int) { ReleaseDownloader(); });
  // The bar starts from nothing, not from the previous download's total.
  s.total_bytes = 0;
  WriteProperty(kMainWindow, kDownloadProgress, kPropPosition, 0);
  ShowRunningControls();
  ++s.start_workers;
  if (!runtime::StartThread([shared = shared_, request = std::move(request)] {
        StartDownload(shared, request);
        --shared->start_workers;
      })) {
    --s.start_workers;
    FinishJob(s, job, "下载失败：无法启动下载线程。"_t);
  }
}

void SongDownload::DownloadTimerTick() {
  SongShared& s = *shared_;
  if (!s.CurrentJob()) return;  // a tick queued before the end must not undo the idle label
  const std::int32_t shown =
      runtime::ReadIntProperty(kMainWindow, kDownloadProgress, kPropPosition);
  WriteProperty(kMainWindow, kDownloadLabel, kPropCaption, runtime::ToText(shown) + "%");
  const double received = static_cast<double>(s.downloader.ReceivedBytes64());
  const double total = s.total_bytes;
  int position = 0;
  if (total > 0) {
    const double percent = runtime::RoundNumber(received / total * 100, 0);
    position = static_cast<int>(std::clamp(percent, 0.0, 100.0));
  }
  WriteProperty(kMainWindow, kDownloadProgress, kPropPosition, position);
}

bool SongDownload::DownloadRunning() const { return shared_->CurrentJob() != nullptr; }

void SongDownload::CancelDownload() {
  SongShared& s = *shared_;
  std::shared_ptr<Job> job = s.CurrentJob();
  if (!job) return;
  {
    platform::MutexLock lock(s.start_mu);
    if (!s.TakeJob(job)) return;  // it ended meanwhile
  }
  s.downloader.Release();
  ShowIdleControls(s, "下载已取消。"_t);
}

void SongDownload::ReleaseDownloader() {
  shared_->ForgetJob();  // nothing may reach the windows once they are gone
  shared_->downloader.Release();
}

bool SongDownload::WaitForWorkers(int timeout_ms) {
  return runtime::WaitProcessingEvents([&] { return shared_->start_workers == 0; }, timeout_ms);
}

TaskParam SongDownload::DownloadTaskParam() const {
  platform::MutexLock lock(shared_->mu);
  return shared_->param;
}

Download& SongDownload::Downloader() { return shared_->downloader; }

double SongDownload::DownloadTotalBytes() const { return shared_->total_bytes; }

}  // namespace vorel::download
