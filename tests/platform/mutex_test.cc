// The annotated mutex, its scoped lock and its condition variable.
#include "platform/mutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vorel::platform {
namespace {

using std::chrono::milliseconds;

struct Counter {
  Mutex mu;
  CondVar cv;
  int value VOREL_GUARDED_BY(mu) = 0;
  bool ready VOREL_GUARDED_BY(mu) = false;
};

TEST(MutexTest, LockedIncrementsFromManyThreadsAreNotLost) {
  Counter c;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&c] {
      for (int i = 0; i < 20000; ++i) {
        MutexLock lock(c.mu);
        ++c.value;
      }
    });
  }
  for (auto& t : threads) t.join();
  MutexLock lock(c.mu);
  EXPECT_EQ(c.value, 80000);
}

// A scope that gives its mutex up lets another thread in, takes it back, and releases it at
// the end only once: the mutex is free afterwards (a double release would be undefined).
TEST(MutexTest, ScopedLockGivesUpAndRetakesTheMutex) {
  Counter c;
  {
    MutexLock lock(c.mu);
    c.value = 1;
    lock.Unlock();
    std::thread other([&c] {
      MutexLock inner(c.mu);
      c.value = 2;
    });
    other.join();
    lock.Lock();
    EXPECT_EQ(c.value, 2);
  }
  {
    MutexLock lock(c.mu);
    lock.Unlock();
  }
  std::thread after([&c] {
    MutexLock lock(c.mu);
    c.value = 3;
  });
  after.join();
  MutexLock lock(c.mu);
  EXPECT_EQ(c.value, 3);
}

TEST(CondVarTest, WaitReturnsWithTheMutexHeldOnceNotified) {
  Counter c;
  std::thread producer([&c] {
    {
      MutexLock lock(c.mu);
      c.ready = true;
      c.value = 7;
    }
    c.cv.NotifyAll();
  });
  {
    MutexLock lock(c.mu);
    while (!c.ready) c.cv.Wait(c.mu);
    EXPECT_EQ(c.value, 7);
    // Still held: a second thread cannot get in until this scope ends.
    c.value = 8;
  }
  producer.join();
  MutexLock lock(c.mu);
  EXPECT_EQ(c.value, 8);
}

TEST(CondVarTest, TimedWaitsSayWhetherTheyTimedOut) {
  Counter c;
  {
    MutexLock lock(c.mu);
    EXPECT_FALSE(c.cv.WaitFor(c.mu, milliseconds(5)));
    EXPECT_FALSE(c.cv.WaitUntil(c.mu, std::chrono::steady_clock::now() + milliseconds(5)));
  }
  // Notified well before the deadline: the wait reports a wake, not a timeout (a spurious
  // wake reports one too, so the loop waits on the condition).
  std::thread notifier([&c] {
    {
      MutexLock lock(c.mu);
      c.ready = true;
    }
    c.cv.NotifyOne();
  });
  bool woke = true;
  {
    MutexLock lock(c.mu);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!c.ready && woke) woke = c.cv.WaitUntil(c.mu, deadline);
    EXPECT_TRUE(c.ready);
  }
  notifier.join();
  EXPECT_TRUE(woke);
}

}  // namespace
}  // namespace vorel::platform
