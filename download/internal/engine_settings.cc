#include "download/internal/engine_settings.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "download/internal/download_task.h"

namespace vorel::download::internal {
namespace {

EngineSettings& MutableSettings() {
  static EngineSettings settings;
  return settings;
}

struct TaskList {
  std::mutex mu;
  std::condition_variable cv;
  std::set<const void*> tasks;  // guarded by mu
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
  std::lock_guard<std::mutex> lock(Tasks().mu);
  Tasks().tasks.insert(task);
}

void UnregisterTask(DownloadTask* task) {
  {
    std::lock_guard<std::mutex> lock(Tasks().mu);
    Tasks().tasks.erase(task);
  }
  Tasks().cv.notify_all();
}

bool WithLiveTask(const void* task, const std::function<void(DownloadTask&)>& action) {
  std::lock_guard<std::mutex> lock(Tasks().mu);
  if (Tasks().tasks.count(task) == 0) return false;
  action(*const_cast<DownloadTask*>(static_cast<const DownloadTask*>(task)));
  return true;
}

bool WaitForAllTasksForTesting(int timeout_ms) {
  std::unique_lock<std::mutex> lock(Tasks().mu);
  return Tasks().cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [] { return Tasks().tasks.empty(); });
}

}  // namespace vorel::download::internal
