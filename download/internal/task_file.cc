// The task's output file: the name it gets (a folder's name from the address, a same-name
// file's answer), its creation with the segments planned over it, and its publication.

#include <cerrno>
#include <optional>

#include "download/internal/connection_worker.h"
#include "download/internal/download_task.h"
#include "download/internal/file_names.h"

namespace vorel::download::internal {

using namespace runtime::literals;

runtime::Text CreateErrorText() {
  return "创建文件错误，超出最大支持下载长度或磁盘不可写或磁盘没有空间或同名文件已存在"_t;
}

bool DownloadTask::PrepareFile(ConnectionWorker& probe) {
  if (streaming_) {
    // One connection reads the body to its end; the file grows as it arrives.
    return ChooseFileName(probe) && CreateFile(0);
  }
  const std::int64_t total = total_;
  segments_.Split(total, param_.ConnectionCount, settings_.connection_buffer_size);
  segments_.Claim(0, probe.number());
  probe.set_segment(0);
  if (!ChooseFileName(probe) || !CreateFile(total)) return false;
  for (int i = 1; i < segments_.size(); ++i) queue_.Push({MessageKind::kStartConnection});
  return true;
}

bool DownloadTask::CreateFile(std::int64_t size) {
  int error = 0;
  file_ = OutputFile::Create(FileSystemPath(local_path()), size, &error,
                             settings_.unnamed_files ? OutputFile::Naming::kUnnamedWherePossible
                                                     : OutputFile::Naming::kHiddenPartFile);
  if (file_) return true;
  Status(CreateErrorText(), kError);
  // The documented line names every cause at once; the one that happened follows it.
  if (error == ENOSPC || error == EDQUOT) Status("磁盘空间不足"_t, kError);
  if (error == EFBIG) Status("文件太大，超出磁盘或系统允许的大小"_t, kError);
  if (error == EACCES || error == EROFS) Status("没有写入下载文件夹的权限"_t, kError);
  return false;
}

bool DownloadTask::ChooseFileName(ConnectionWorker& probe) {
  runtime::Text path = local_path();
  if (!path.empty() && path.back() == '/') {
    path += FileNameFromTarget(request().target);
    SetLocalPath(path);
  }
  std::optional<std::int64_t> existing = ExistingSize(path);
  if (!existing) return true;
  std::int32_t answer = 0;
  if (param_.NotifyCallback) {
    try {
      answer = param_.NotifyCallback(kSameNameExists, &probe, *existing, 0, this);
    } catch (...) {
      answer = 1;
    }
  }
  if (answer == 0) {
    for (int i = 0; i < 99; ++i) {
      std::optional<runtime::Text> next = NextAutoName(path);
      if (!next) break;
      path = *next;
      if (!ExistingSize(path)) {
        SetLocalPath(path);
        Status("发现同名文件, 系统自动更名为"_t + path, kInformation);
        return true;
      }
    }
    Status("发现同名文件，超过系统自动更名次数"_t, kError);
    return false;
  }
  if (answer == 2) {
    Status("发现同名文件, 用户更名为"_t + local_path(), kInformation);
    return true;
  }
  Status("发现同名文件, 用户选择放弃下载"_t, kInformation);
  return false;
}

bool DownloadTask::PublishFile(const ConnectionWorker* probe) {
  if (!file_) return false;
  // A stop asked for by the owner abandons the file even when its last byte has come.
  bool complete = !stopping_ && (streaming_ ? probe != nullptr && probe->stream_complete()
                                            : segments_.AllComplete());
  if (complete && streaming_) {
    complete = file_->Truncate(probe->stream_written());
    total_ = probe->stream_written();
  }
  int error = 0;
  if (complete && !file_->Publish(&error)) {
    complete = false;
    DeliverNow(CreateErrorText(), kError);
  }
  // An unfinished file must not pass for the finished song.
  file_->Discard();
  return complete;
}

}  // namespace vorel::download::internal
