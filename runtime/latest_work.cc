#include "runtime/latest_work.h"

#include <algorithm>

#include "runtime/bridge.h"

namespace vorel::runtime {
namespace {

// How many LatestWork objects have work pending, and who is told when that becomes or stops
// being zero. User-interface thread only.
struct Busy {
  int pending = 0;
  int applying = 0;       // results being applied; the observer hears after the last one
  bool reported = false;  // what the observer heard last
  std::function<void(bool)> observer;
};

Busy& BusyState() {
  static Busy busy;
  return busy;
}

void ReportBusy() {
  Busy& b = BusyState();
  const bool busy = b.pending > 0;
  if (b.applying > 0 || busy == b.reported) return;
  b.reported = busy;
  if (b.observer) b.observer(busy);
}

}  // namespace

LatestWork::LatestWork() : shared_(std::make_shared<Shared>()) {}

LatestWork::~LatestWork() { Cancel(); }

void LatestWork::SetPending(bool pending) {
  if (pending == pending_) return;
  pending_ = pending;
  BusyState().pending += pending ? 1 : -1;
  ReportBusy();
}

void LatestWork::Cancel() {
  ++shared_->generation;
  SetPending(false);
}

void LatestWork::StartErased(std::function<Outcome()> work) {
  const std::uint64_t generation = ++shared_->generation;
  std::erase_if(workers_, [](const ThreadHandle& w) { return w.finished(); });
  // The observer hears only after `apply`, which may start a second step of the same action:
  // a chain of steps is one busy stretch. The workers reach `this` only while their generation
  // is the latest, so a cancelled or destroyed object is never reached.
  auto finish = [this, shared = shared_, generation](Outcome& out) {
    bool applied = false;
    RunOnUiThread([&] {
      if (shared->generation.load() != generation) return;
      applied = true;
      ++BusyState().applying;
      SetPending(false);
      out.apply();
      --BusyState().applying;
      ReportBusy();
    });
    if (!applied) out.discard();
  };
  SetPending(true);
  ThreadHandle worker;
  const bool started = StartThread(
      [work = std::move(work), finish]() mutable {
        Outcome out = work();
        finish(out);
      },
      &worker);
  if (started) {
    workers_.push_back(worker);
  } else {
    // No thread could be made: the work runs here, as it did before it had a worker.
    Outcome out = work();
    finish(out);
  }
}

bool LatestWork::WaitForWorkers(int timeout_ms) {
  return WaitProcessingEvents(
      [this] {
        return std::all_of(workers_.begin(), workers_.end(),
                           [](const ThreadHandle& w) { return w.finished(); });
      },
      timeout_ms);
}

void SetBusyObserver(std::function<void(bool busy)> observer) {
  BusyState().observer = std::move(observer);
}

bool WorkPending() { return BusyState().pending > 0; }

bool WaitUntilNoWorkPending(int timeout_ms) {
  return WaitProcessingEvents([] { return !WorkPending(); }, timeout_ms);
}

}  // namespace vorel::runtime
