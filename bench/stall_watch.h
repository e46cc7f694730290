#ifndef VOREL_BENCH_STALL_WATCH_H_
#define VOREL_BENCH_STALL_WATCH_H_

// How long the user-interface thread's event loop was kept from running: a 10 ms timer measures
// its own lateness, since each tick should come 10 ms after the last. Made, run and read on the
// user-interface thread, while the event loop is being turned.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace vorel::bench {

class StallWatch {
 public:
  StallWatch() {
    ticker_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      stall_ = std::max(stall_, LateMs());
      since_tick_.restart();
    });
    since_tick_.start();
    ticker_.start(10);
  }

  // The longest delay so far, in milliseconds; the tick in progress counts too.
  double LongestMs() const { return std::max(0.0, std::max(stall_, LateMs())); }

 private:
  double LateMs() const { return since_tick_.nsecsElapsed() / 1e6 - 10.0; }

  QElapsedTimer since_tick_;
  QTimer ticker_;
  double stall_ = 0;
};

}  // namespace vorel::bench

#endif  // VOREL_BENCH_STALL_WATCH_H_
