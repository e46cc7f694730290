#include "download/testing.h"

#include "download/internal/task_registry.h"

namespace vorel::download {

bool WaitForAllTasks(int timeout_ms) { return internal::WaitUntilNoTaskLives(timeout_ms); }

}  // namespace vorel::download
