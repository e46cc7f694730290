#ifndef VOREL_DOWNLOAD_ENGINE_SETTINGS_H_
#define VOREL_DOWNLOAD_ENGINE_SETTINGS_H_

// How the download engine paces itself: attempts, waits, time limits and the clock it measures
// them with. A Download hands a copy to every task it starts, and the task keeps that copy for
// its whole life. The program uses the defaults; tests pass shorter waits or a faster clock.
// Plain value type (thread-compatible).

#include <functional>

namespace vorel::download {

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

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_ENGINE_SETTINGS_H_
