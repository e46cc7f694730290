#ifndef VOREL_DOWNLOAD_INTERNAL_CLOCK_H_
#define VOREL_DOWNLOAD_INTERNAL_CLOCK_H_

// The engine's monotonic clock in milliseconds: the system's steady clock, or the source the
// task's EngineSettings name (tests run one faster than real time). Immutable after
// construction, so thread-safe as long as its source is.

#include <functional>
#include <utility>

namespace vorel::download::internal {

class Clock {
 public:
  explicit Clock(std::function<long long()> source = {}) : source_(std::move(source)) {}
  long long NowMs() const;

 private:
  std::function<long long()> source_;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_CLOCK_H_
