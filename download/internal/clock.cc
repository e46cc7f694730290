#include "download/internal/clock.h"

#include <chrono>

namespace vorel::download::internal {

long long Clock::NowMs() const {
  if (source_) return source_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace vorel::download::internal
