#include "download/internal/message_queue.h"

#include <chrono>
#include <utility>

namespace vorel::download::internal {

void MessageQueue::Push(TaskMessage message, bool wake) {
  {
    platform::MutexLock lock(mu_);
    messages_.push_back(std::move(message));
  }
  if (wake) cv_.NotifyOne();
}

std::optional<TaskMessage> MessageQueue::Pop(int wait_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  platform::MutexLock lock(mu_);
  while (messages_.empty()) {
    if (!cv_.WaitUntil(mu_, deadline) && messages_.empty()) return std::nullopt;
  }
  TaskMessage message = std::move(messages_.front());
  messages_.pop_front();
  return message;
}

void MessageQueue::Clear() {
  platform::MutexLock lock(mu_);
  messages_.clear();
}

}  // namespace vorel::download::internal
