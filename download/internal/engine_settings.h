#ifndef VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_
#define VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_

// Engine-wide settings. They are fixed for the life of the program; only tests replace them,
// through ScopedEngineSettingsForTesting, to shorten the waits or to run the engine's clock
// faster than real time.

#include <functional>

namespace vorel::download::internal {

struct EngineSettings {
  int retry_limit = 999;          // failed attempts a connection may make in all
  int retry_wait_ms = 5000;       // wait before the first new attempt; doubled for each further one
  int retry_wait_cap_ms = 30000;  // the longest wait between attempts
  // Failures that a new attempt seldom mends (connection refused, a name that does not resolve)
  // end a connection after this many attempts.
  int hopeless_attempts = 3;
  // A server that takes the connection and stays silent through a whole TLS handshake (a TLS
  // server answers within milliseconds) speaks something else: it is given up sooner.
  int silent_handshake_attempts = 2;
  // A server that answers "not now" (5xx, 408, 429) to this many attempts in a row, with no byte
  // in between, is given up. Each wait is the server's Retry-After when it gives one (bounded by
  // retry_wait_cap_ms), else the growing wait: 5 attempts take at most 65 s, or 120 s (the
  // stall limit) when every reply asks for the longest wait.
  int not_now_attempts = 5;
  // A task during which no byte at all arrives for this long gives up.
  int stall_limit_ms = 120000;
  // A connection that brings less than 1/slow_ratio of the task's average rate for slow_window_ms
  // hands its unfinished part to another connection.
  int slow_ratio = 20;
  int slow_window_ms = 20000;
  int connection_buffer_size = 20480;  // per-connection buffer; smallest size that is split
  int max_redirects = 10;              // consecutive redirects the probe follows
  int header_limit = 65536;            // bytes of a reply header
  // Files are made unnamed (O_TMPFILE) where the file system allows; false takes the way of file
  // systems that do not, with a hidden part file, wherever the tests run.
  bool unnamed_files = true;
  // The engine's monotonic clock in milliseconds; empty means the system's steady clock. Every
  // time-out, wait and rate of the engine is measured with it, polled in 10 ms steps.
  std::function<long long()> clock;
};

// The settings in force. Thread-safe (read-only outside tests).
const EngineSettings& Settings();

// Milliseconds of the engine's clock. Thread-safe.
long long NowMs();

// The wait before attempt `failures` + 1, after `failures` failed ones (1, 2, ...).
int RetryWaitMs(int failures);

// Replaces the settings while it lives. Tests only; no task may run while it is made or undone.
class ScopedEngineSettingsForTesting {
 public:
  explicit ScopedEngineSettingsForTesting(const EngineSettings& settings);
  ~ScopedEngineSettingsForTesting();
  ScopedEngineSettingsForTesting(const ScopedEngineSettingsForTesting&) = delete;
  ScopedEngineSettingsForTesting& operator=(const ScopedEngineSettingsForTesting&) = delete;

 private:
  EngineSettings saved_;
};

// Waits until every task of the engine has ended (its threads gone); true when none is left.
bool WaitForAllTasksForTesting(int timeout_ms);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_
