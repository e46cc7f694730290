#include "download/download.h"

#include <climits>
#include <utility>

#include "download/internal/download_task.h"
#include "download/internal/file_names.h"
#include "download/internal/output_file.h"
#include "download/internal/task_registry.h"
#include "platform/mutex.h"

namespace vorel::download {

Download::Download(EngineSettings settings) : slot_(std::make_shared<internal::TaskSlot>()) {
  set_engine_settings(std::move(settings));
}

Download::~Download() { Release(); }

bool Download::Start(const TaskParam& param) {
  platform::MutexLock lock(slot_->mu);
  if (slot_->task) return false;
  std::shared_ptr<internal::DownloadTask> task =
      internal::DownloadTask::Create(param, slot_->settings, slot_);
  if (!task) return false;
  slot_->task = task;
  if (!task->Launch()) {
    slot_->task.reset();
    return false;
  }
  return true;
}

std::int64_t Download::ReceivedBytes64() const {
  platform::MutexLock lock(slot_->mu);
  return slot_->task ? slot_->task->received() : 0;
}

std::int32_t Download::ReceivedBytes() const {
  std::int64_t received = ReceivedBytes64();
  return received > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(received);
}

bool Download::HasTask() const {
  platform::MutexLock lock(slot_->mu);
  return slot_->task != nullptr;
}

void Download::set_engine_settings(EngineSettings settings) {
  platform::MutexLock lock(slot_->mu);
  slot_->settings = std::move(settings);
}

void Download::Release() {
  std::shared_ptr<internal::DownloadTask> task;
  {
    platform::MutexLock lock(slot_->mu);
    task = std::move(slot_->task);
  }
  if (task) task->Stop();
}

bool SetTaskLocalPath(const void* task, const runtime::Text& local_path) {
  return internal::WithLiveTask(task,
                                [&](internal::DownloadTask& t) { t.SetLocalPath(local_path); });
}

int RemoveStalePartFiles(const runtime::Text& folder) {
  return internal::OutputFile::RemoveStaleParts(internal::FileSystemPath(folder));
}

}  // namespace vorel::download
