#ifndef VOREL_DOWNLOAD_INTERNAL_MESSAGE_QUEUE_H_
#define VOREL_DOWNLOAD_INTERNAL_MESSAGE_QUEUE_H_

// The task thread's queue: what the connections and the owner ask the task thread to do.
// Thread-safe.

#include <cstdint>
#include <deque>
#include <optional>

#include "platform/mutex.h"
#include "runtime/text.h"

namespace vorel::download::internal {

enum class MessageKind {
  kLeave,            // end the task loop
  kReset,            // every connection finished: end the task and report it
  kStartConnection,  // open one more connection on an unclaimed segment
  kStatusLine,       // pass `text` and `value` (its level) to the status callback
  kAllEnded,         // no connection is left running
  kNotify,           // pass type, pointer and values to the notify callback
};

struct TaskMessage {
  TaskMessage(MessageKind message_kind) : kind(message_kind) {}  // NOLINT: written {kind}
  MessageKind kind;
  std::int32_t type = 0;
  const void* pointer = nullptr;
  std::int64_t value = 0;
  std::int64_t value2 = 0;
  runtime::Text text;
};

class MessageQueue {
 public:
  // `wake` false leaves the message for the consumer's next round (at most its idle wait
  // later): progress notifications then cost no thread switch each.
  void Push(TaskMessage message, bool wake = true);
  // The oldest message, waiting up to wait_ms for one.
  std::optional<TaskMessage> Pop(int wait_ms);
  void Clear();

 private:
  platform::Mutex mu_;
  platform::CondVar cv_;
  std::deque<TaskMessage> messages_ VOREL_GUARDED_BY(mu_);
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_MESSAGE_QUEUE_H_
