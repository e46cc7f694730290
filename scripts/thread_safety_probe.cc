// Compiled by check_thread_safety.sh, never built into anything: a field written without the
// lock that guards it. Clang's analysis must refuse it, and GCC, where the annotations are
// empty, must take it without a warning.
#include "platform/mutex.h"

namespace {

struct Shared {
  vorel::platform::Mutex mu;
  int value VOREL_GUARDED_BY(mu) = 0;
};

void WriteWithoutTheLock(Shared& shared) { shared.value = 1; }

}  // namespace

int main() {
  Shared shared;
  WriteWithoutTheLock(shared);
  vorel::platform::MutexLock lock(shared.mu);
  return shared.value == 1 ? 0 : 1;
}
