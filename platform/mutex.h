#ifndef VOREL_PLATFORM_MUTEX_H_
#define VOREL_PLATFORM_MUTEX_H_

// A mutex the compiler can check. Clang's thread-safety analysis (-Wthread-safety) reads the
// annotations below: a field marked VOREL_GUARDED_BY(mu_) may only be touched with mu_ held, a
// function marked VOREL_REQUIRES(mu_) may only be called with it held. Under other compilers the
// macros expand to nothing, and Mutex, MutexLock and CondVar compile to the std::mutex,
// lock and std::condition_variable calls they wrap, so the checks cost nothing at run time.
//
// Header only: libbass.so compiles it in without linking any Vorel library.
//
//   class Queue {  // Thread-safe.
//    public:
//     void Push(int v) VOREL_EXCLUDES(mu_) {
//       {
//         platform::MutexLock lock(mu_);
//         items_.push_back(v);
//       }
//       cv_.NotifyOne();
//     }
//     int Pop() VOREL_EXCLUDES(mu_) {
//       platform::MutexLock lock(mu_);
//       while (items_.empty()) cv_.Wait(mu_);
//       return PopLocked();
//     }
//    private:
//     int PopLocked() VOREL_REQUIRES(mu_);
//     platform::Mutex mu_;
//     platform::CondVar cv_;
//     std::deque<int> items_ VOREL_GUARDED_BY(mu_);
//   };

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define VOREL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VOREL_THREAD_ANNOTATION(x)
#endif

#define VOREL_CAPABILITY(name) VOREL_THREAD_ANNOTATION(capability(name))
#define VOREL_SCOPED_CAPABILITY VOREL_THREAD_ANNOTATION(scoped_lockable)
#define VOREL_GUARDED_BY(mu) VOREL_THREAD_ANNOTATION(guarded_by(mu))
#define VOREL_PT_GUARDED_BY(mu) VOREL_THREAD_ANNOTATION(pt_guarded_by(mu))
#define VOREL_REQUIRES(...) VOREL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VOREL_ACQUIRE(...) VOREL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VOREL_RELEASE(...) VOREL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VOREL_EXCLUDES(...) VOREL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VOREL_RETURN_CAPABILITY(mu) VOREL_THREAD_ANNOTATION(lock_returned(mu))
// On a function that returns only when the capability is held (a callback its holder runs).
#define VOREL_ASSERT_CAPABILITY(mu) VOREL_THREAD_ANNOTATION(assert_capability(mu))
// Turns the analysis off for one function whose locking it cannot follow. Every use says why.
#define VOREL_NO_THREAD_SAFETY_ANALYSIS VOREL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace vorel::platform {

class CondVar;

// A non-recursive mutex. Thread-safe.
class VOREL_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() VOREL_ACQUIRE() { mu_.lock(); }
  void Unlock() VOREL_RELEASE() { mu_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mu_;
};

// Holds a Mutex from construction to the end of the scope. Unlock() and Lock() let a scope give
// the mutex up for a while (to call out, or do I/O) and take it again; the destructor releases
// it only if held. Owner-thread only.
class VOREL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mu) VOREL_ACQUIRE(mu) : mu_(mu) { mu_.Lock(); }
  ~MutexLock() VOREL_RELEASE() {
    if (held_) mu_.Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() VOREL_RELEASE() {
    mu_.Unlock();
    held_ = false;
  }
  void Lock() VOREL_ACQUIRE() {
    mu_.Lock();
    held_ = true;
  }

 private:
  Mutex& mu_;
  bool held_ = true;
};

// A condition variable for Mutex. Each wait is called with the mutex held, releases it while
// blocked and holds it again on return; as with any condition variable a wait may return
// without a notification, so callers wait in a loop on their condition. Thread-safe.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  void Wait(Mutex& mu) VOREL_REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu.mu_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();
  }

  // False when `deadline` passed before a notification.
  template <typename Clock, typename Duration>
  bool WaitUntil(Mutex& mu, const std::chrono::time_point<Clock, Duration>& deadline)
      VOREL_REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu.mu_, std::adopt_lock);
    const std::cv_status status = cv_.wait_until(lock, deadline);
    lock.release();
    return status == std::cv_status::no_timeout;
  }

  // False when `timeout` passed before a notification.
  template <typename Rep, typename Period>
  bool WaitFor(Mutex& mu, const std::chrono::duration<Rep, Period>& timeout) VOREL_REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu.mu_, std::adopt_lock);
    const std::cv_status status = cv_.wait_for(lock, timeout);
    lock.release();
    return status == std::cv_status::no_timeout;
  }

  void NotifyOne() { cv_.notify_one(); }
  void NotifyAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_MUTEX_H_
