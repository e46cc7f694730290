#ifndef VOREL_RUNTIME_THREADS_H_
#define VOREL_RUNTIME_THREADS_H_

// Worker threads, waiting, and event processing on the calling thread.
//
// The user-interface thread's events belong to the window framework, which installs its hooks at
// start-up. Every other thread has a queue of its own into which callers may post work; on such a
// thread ProcessEvents and Delay service that queue (normally empty).
//
// Worker threads are never killed. A caller that stops waiting for one abandons it; the worker
// must then make sure nothing it does afterwards reaches the caller.

#include <functional>
#include <memory>

namespace vorel::runtime {

// Refers to a started thread after it was detached. Copyable; thread-safe.
class ThreadHandle {
 public:
  ThreadHandle() = default;
  bool valid() const { return state_ != nullptr; }
  bool finished() const;
  // Waits up to timeout_ms (forever when negative) for the thread to end; true when it ended.
  bool Wait(int timeout_ms) const;

  struct State;

 private:
  friend bool StartThread(std::function<void()> routine, ThreadHandle* handle);
  std::shared_ptr<State> state_;
};

// Starts a detached thread with the default stack size running `routine`. When `handle` is given
// it receives the thread's handle. True when the thread was created.
bool StartThread(std::function<void()> routine, ThreadHandle* handle = nullptr);

// Dispatches the calling thread's pending events until none is left (or a quit is pending).
void ProcessEvents();

// Returns at once for ms <= 0; otherwise keeps processing the calling thread's events until
// ms milliseconds have passed.
void Delay(int ms);

// Waits until `done` returns true or `timeout_ms` passes, processing the calling thread's events
// meanwhile. When `restart_on_input` is true, each event that arrives restarts the time-out.
// True when `done` became true.
bool WaitProcessingEvents(const std::function<bool()>& done, int timeout_ms,
                          bool restart_on_input = false);

// Posts work to the queue of the calling thread: `ThreadQueue::Current()` taken on a thread is
// the way others post to it later. Thread-safe.
class ThreadQueue {
 public:
  static std::shared_ptr<ThreadQueue> Current();
  virtual ~ThreadQueue() = default;
  virtual void Post(std::function<void()> task) = 0;
};

// How the user-interface thread's events are processed; installed by the window framework.
struct EventLoopHooks {
  std::function<bool()> is_ui_thread;       // true on the user-interface thread
  std::function<void()> process_pending;    // dispatch what is pending, never block
  std::function<bool(int)> wait_for_event;  // block up to ms for an event; true if one came
};
void InstallEventLoopHooks(EventLoopHooks hooks);

// Milliseconds of a monotonic clock, like the system tick count.
long long TickCount();

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_THREADS_H_
