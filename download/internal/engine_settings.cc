#include "download/internal/engine_settings.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "download/internal/download_task.h"
#include "platform/mutex.h"

namespace vorel::download::internal {
namespace {

EngineSettings& MutableSettings() {
  static EngineSettings settings;
  return settings;
}

struct TaskList {
  platform::Mutex mu;
  platform::CondVar cv;
  std::set<const void*> tasks VOREL_GUARDED_BY(mu);
};

TaskList& Tasks() {
  static TaskList* list = new TaskList;  // never destroyed: task threads may outlive main()
  return *list;
}

}  // namespace

const EngineSettings& Settings() { return MutableSettings(); }

long long NowMs() {
  const EngineSettings& settings = Settings();
  if (settings.clock) return settings.clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int RetryWaitMs(int failures) {
  const EngineSettings& settings = Settings();
  long long wait = settings.retry_wait_ms;
  for (int i = 1; i < failures && wait < settings.retry_wait_cap_ms; ++i) wait *= 2;
  return static_cast<int>(std::min<long long>(wait, settings.retry_wait_cap_ms));
}

ScopedEngineSettingsForTesting::ScopedEngineSettingsForTesting(const EngineSettings& settings)
    : saved_(MutableSettings()) {
  MutableSettings() = settings;
}

ScopedEngineSettingsForTesting::~ScopedEngineSettingsForTesting() { MutableSettings() = saved_; }

void RegisterTask(DownloadTask* task) {
  platform::MutexLock lock(Tasks().mu);
  Tasks().tasks.insert(task);
}

void UnregisterTask(DownloadTask* task) {
  {
    platform::MutexLock lock(Tasks().mu);
    Tasks().tasks.erase(task);
  }
  Tasks().cv.NotifyAll();
}

bool WithLiveTask(const void* task, const std::function<void(DownloadTask&)>& action) {
  platform::MutexLock lock(Tasks().mu);
  if (Tasks().tasks.count(task) == 0) return false;
  action(*const_cast<DownloadTask*>(static_cast<const DownloadTask*>(task)));
  return true;
}

bool WaitForAllTasksForTesting(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  platform::MutexLock lock(Tasks().mu);
  while (!Tasks().tasks.empty()) {
    if (!Tasks().cv.WaitUntil(Tasks().mu, deadline)) return Tasks().tasks.empty();
  }
  return true;
}

}  // namespace vorel::download::internal
