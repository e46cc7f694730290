#include "download/internal/task_registry.h"

#include <chrono>
#include <set>

#include "platform/mutex.h"

namespace vorel::download::internal {
namespace {

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

bool WaitUntilNoTaskLives(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  platform::MutexLock lock(Tasks().mu);
  while (!Tasks().tasks.empty()) {
    if (!Tasks().cv.WaitUntil(Tasks().mu, deadline)) return Tasks().tasks.empty();
  }
  return true;
}

}  // namespace vorel::download::internal
