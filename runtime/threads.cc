#include "runtime/threads.h"

#include <chrono>
#include <deque>
#include <system_error>
#include <thread>

#include "platform/mutex.h"

namespace vorel::runtime {

struct ThreadHandle::State {
  platform::Mutex mu;
  platform::CondVar cv;
  bool done VOREL_GUARDED_BY(mu) = false;
};

namespace {

class QueueImpl : public ThreadQueue {
 public:
  void Post(std::function<void()> task) override {
    {
      platform::MutexLock lock(mu_);
      tasks_.push_back(std::move(task));
    }
    cv_.NotifyAll();
  }
  void RunPending() {
    while (true) {
      std::function<void()> task;
      {
        platform::MutexLock lock(mu_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }
  bool WaitFor(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    platform::MutexLock lock(mu_);
    while (tasks_.empty()) {
      if (!cv_.WaitUntil(mu_, deadline)) return !tasks_.empty();
    }
    return true;
  }

 private:
  platform::Mutex mu_;
  platform::CondVar cv_;
  std::deque<std::function<void()>> tasks_ VOREL_GUARDED_BY(mu_);
};

std::shared_ptr<QueueImpl>& LocalQueue() {
  thread_local std::shared_ptr<QueueImpl> queue = std::make_shared<QueueImpl>();
  return queue;
}

EventLoopHooks& Hooks() {
  static EventLoopHooks hooks;
  return hooks;
}

bool OnUiThread() {
  const auto& h = Hooks();
  return h.is_ui_thread && h.is_ui_thread();
}

// Blocks up to ms for an event on the calling thread; true when one arrived.
bool WaitForEvent(int ms) {
  if (OnUiThread()) return Hooks().wait_for_event(ms);
  return LocalQueue()->WaitFor(ms);
}

}  // namespace

bool ThreadHandle::finished() const {
  if (!state_) return true;
  platform::MutexLock lock(state_->mu);
  return state_->done;
}

bool ThreadHandle::Wait(int timeout_ms) const {
  if (!state_) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  platform::MutexLock lock(state_->mu);
  while (!state_->done) {
    if (timeout_ms < 0) {
      state_->cv.Wait(state_->mu);
    } else if (!state_->cv.WaitUntil(state_->mu, deadline)) {
      return state_->done;
    }
  }
  return true;
}

bool StartThread(std::function<void()> routine, ThreadHandle* handle) {
  auto state = std::make_shared<ThreadHandle::State>();
  try {
    std::thread t([state, routine = std::move(routine)] {
      routine();
      {
        platform::MutexLock lock(state->mu);
        state->done = true;
      }
      state->cv.NotifyAll();
    });
    t.detach();
  } catch (const std::system_error&) {
    return false;
  }
  if (handle) handle->state_ = std::move(state);
  return true;
}

namespace {

// Handlers such as the play list's save and the folder scan call ProcessEvents once per row, a
// hundred thousand times in a row. Dispatching each time costs more than the work itself (a poll
// of the display connection, and a list view that lays itself out again after every insert), so
// within a burst of rapid calls events are dispatched at most once a millisecond. Isolated calls
// always dispatch, and in a burst no event waits longer than a millisecond.
bool ShouldDispatchNow() {
  constexpr long long kBurstGapUs = 1000;
  constexpr int kBurstLength = 16;
  thread_local long long last_call_us = 0, last_dispatch_us = 0;
  thread_local int rapid_calls = 0;
  long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  rapid_calls = now - last_call_us < kBurstGapUs ? rapid_calls + 1 : 0;
  last_call_us = now;
  if (rapid_calls >= kBurstLength && now - last_dispatch_us < kBurstGapUs) return false;
  last_dispatch_us = now;
  return true;
}

}  // namespace

void ProcessEvents() {
  if (OnUiThread() && ShouldDispatchNow()) Hooks().process_pending();
  // Work posted to this thread's own queue runs on every thread, the user-interface one too.
  LocalQueue()->RunPending();
}

void Delay(int ms) {
  if (ms <= 0) return;
  const long long deadline = TickCount() + ms;
  while (true) {
    ProcessEvents();
    long long remaining = deadline - TickCount();
    if (remaining <= 0) return;
    WaitForEvent(static_cast<int>(remaining));
  }
}

bool WaitProcessingEvents(const std::function<bool()>& done, int timeout_ms,
                          bool restart_on_input) {
  long long deadline = TickCount() + timeout_ms;
  while (true) {
    if (done()) return true;
    ProcessEvents();
    if (done()) return true;
    long long remaining = deadline - TickCount();
    if (remaining <= 0) return false;
    // Short slices: `done` is a plain predicate that nobody signals.
    bool got = WaitForEvent(static_cast<int>(remaining < 10 ? remaining : 10));
    if (got && restart_on_input) deadline = TickCount() + timeout_ms;
  }
}

std::shared_ptr<ThreadQueue> ThreadQueue::Current() { return LocalQueue(); }

void InstallEventLoopHooks(EventLoopHooks hooks) { Hooks() = std::move(hooks); }

long long TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vorel::runtime
