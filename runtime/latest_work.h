#ifndef VOREL_RUNTIME_LATEST_WORK_H_
#define VOREL_RUNTIME_LATEST_WORK_H_

// Slow work a handler starts (a network request, opening a stream) run on a worker thread, so
// the window keeps painting and answering meanwhile, with its result applied on the
// user-interface thread only while it is still wanted.
//
// One LatestWork object stands for one kind of action. Starting it again supersedes the work
// started before: that work's result is never applied, however late it arrives, and its
// `discard` step frees what the result holds. Cancel() does the same without starting anything.
//
//   LatestWork& opening = ...;
//   opening.Start<Handle>([address] { return OpenStream(address); },     // worker thread
//                         [](Handle h) { Play(h); },                      // UI thread, if latest
//                         [](Handle& h) { FreeStream(h); });              // worker, if superseded
//
// Workers are never killed (a request ends by its own time-out); an abandoned one only ends
// unseen. While any LatestWork has work pending, the busy observer is told so (the application
// shows a busy pointer).
//
// Destroying the object cancels its pending work: workers still running then end unseen, since
// they reach the object only while their work is the latest. Owner-thread only: every member is
// called on the user-interface thread. `work` and `discard` run on the worker, `apply` on the
// user-interface thread; once the program is ending nothing is applied.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/threads.h"

namespace vorel::runtime {

class LatestWork {
 public:
  LatestWork();
  // Cancels the pending work.
  ~LatestWork();
  LatestWork(const LatestWork&) = delete;
  LatestWork& operator=(const LatestWork&) = delete;

  // Supersedes the pending work, if any, and starts `work` on a new worker thread. When it
  // returns, `apply(result)` runs on the user-interface thread unless Start or Cancel was called
  // again meanwhile; otherwise `discard(result)` (when given) runs on the worker. `apply` may
  // start this object again (a second step of the same action).
  template <typename T>
  void Start(std::function<T()> work, std::function<void(T)> apply,
             std::function<void(T&)> discard = nullptr) {
    StartErased([work = std::move(work), apply = std::move(apply),
                 discard = std::move(discard)]() -> Outcome {
      auto result = std::make_shared<T>(work());
      return {[apply, result] { apply(std::move(*result)); },
              [discard, result] {
                if (discard) discard(*result);
              }};
    });
  }

  // Drops the pending work's result; nothing when none is pending.
  void Cancel();
  // True from Start until the result is applied or dropped by Cancel or a newer Start.
  bool pending() const { return pending_; }
  // Processes events until every worker started so far has ended (superseded ones too) or
  // `timeout_ms` passed; true when they have. For tests and orderly ends.
  bool WaitForWorkers(int timeout_ms);

 private:
  struct Outcome {
    std::function<void()> apply;
    std::function<void()> discard;
  };
  // Shared with the workers, which may outlive the start that made them.
  struct Shared {
    std::atomic<std::uint64_t> generation{0};
  };
  void StartErased(std::function<Outcome()> work);
  void SetPending(bool pending);

  std::shared_ptr<Shared> shared_;
  bool pending_ = false;
  std::vector<ThreadHandle> workers_;  // those that may still run
};

// Called with true when the first LatestWork becomes pending and with false when none is left.
// A later call replaces the observer. User-interface thread only.
void SetBusyObserver(std::function<void(bool busy)> observer);

// True while any LatestWork has work pending. User-interface thread only.
bool WorkPending();

// Processes events until no LatestWork has work pending or `timeout_ms` passed; true when none
// is. User-interface thread only; for tests and benchmarks.
bool WaitUntilNoWorkPending(int timeout_ms);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_LATEST_WORK_H_
