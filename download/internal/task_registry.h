#ifndef VOREL_DOWNLOAD_INTERNAL_TASK_REGISTRY_H_
#define VOREL_DOWNLOAD_INTERNAL_TASK_REGISTRY_H_

// The process's list of live tasks: a task is in it from its launch until its task thread has
// ended it. An owner's callback names its task by an opaque pointer; the list tells whether that
// pointer still names a live one. Thread-safe.

#include <functional>

namespace vorel::download::internal {

class DownloadTask;

void RegisterTask(DownloadTask* task);
void UnregisterTask(DownloadTask* task);

// Runs `action` on the task `task` names, holding the list's lock so the task cannot end
// meanwhile; false (and nothing run) when it names no live task.
bool WithLiveTask(const void* task, const std::function<void(DownloadTask&)>& action);

// Waits until the list is empty: every task has ended and its threads are gone, or are about to
// return. True when none is left within timeout_ms.
bool WaitUntilNoTaskLives(int timeout_ms);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_TASK_REGISTRY_H_
