#ifndef VOREL_DOWNLOAD_INTERNAL_CONNECTION_WORKER_H_
#define VOREL_DOWNLOAD_INTERNAL_CONNECTION_WORKER_H_

// What one connection of a task does, on a thread of its own: the probe's exchange or the
// exchange for its range, the bytes read into the file, the next segment once its own is done,
// and a new attempt when the retry rules allow one. It reports through its task (status lines,
// notifications, byte counts) and ends by telling the task so.
//
// Thread ownership, member by member: "any thread" members are atomics the task thread reads
// and sets; "task thread only" is the rate window the task judges the connection by; the rest
// belongs to the connection's thread (and to the task thread after Join).

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "download/internal/body_reader.h"
#include "download/internal/output_file.h"
#include "download/internal/retry_decider.h"
#include "download/internal/socket_io.h"

namespace vorel::download::internal {

class DownloadTask;

// How one attempt of a connection ended.
enum class AttemptResult {
  kSegmentDone,  // the segment (or the whole body) is complete
  kGoAgainNow,   // a failed attempt to make again at once, without a wait
  kFailed,       // a failed attempt: the retry rules judge the failure it set
};

// The task thread's measure of a connection's rate: bytes received since start_ms.
struct RateWindow {
  long long start_ms = -1;  // -1: not opened yet
  std::int64_t start_bytes = 0;
};

class ConnectionWorker {
 public:
  // Connection `number` (1 is the probe) of `task`, starting on `segment` (-1: the probe plans
  // the segments), with a buffer of `buffer_size` bytes.
  ConnectionWorker(DownloadTask& task, int number, int segment, int buffer_size);
  ConnectionWorker(const ConnectionWorker&) = delete;
  ConnectionWorker& operator=(const ConnectionWorker&) = delete;

  // Starts the thread, which holds `owner` (the task) until it returns. False when no thread
  // can be had; the worker then never runs.
  bool Start(std::shared_ptr<DownloadTask> owner);
  // Waits for the thread, when one was started.
  void Join();

  // Any thread.
  int number() const { return number_; }
  void Stop() { running_ = false; }
  // Stops the connection for being slow: its unfinished part goes to another connection.
  void HandOver();
  bool handed_over() const { return handed_over_; }
  std::int64_t received() const { return received_.load(std::memory_order_relaxed); }
  // Set by the task once the connection has reported its end.
  bool finished() const { return finished_; }
  void set_finished() { finished_ = true; }

  // Task thread only.
  RateWindow& rate_window() { return rate_window_; }

  // The connection's thread only (the exchanges and the task's file plan run on it).
  DownloadTask& task() { return task_; }
  Channel& channel() { return channel_; }
  std::vector<char>& buffer() { return buffer_; }
  StopSignal stop_signal() const;
  int segment() const { return segment_; }
  void set_segment(int segment) { segment_ = segment; }
  bool whole_body() const { return whole_body_; }
  // The server ignores Range: the first connection to see it reads the whole reply instead
  // from `body_offset`. True when this connection is (or becomes) that one.
  bool ClaimWholeBody();
  void set_body_offset(std::int64_t offset) { body_offset_ = offset; }
  // The reply's body framing, for a body of unknown size.
  void set_body_reader(BodyReader reader) { body_ = reader; }
  // Why the current attempt failed, for the retry rules.
  void set_failure(FailureKind kind) { failure_.kind = kind; }
  void set_failure(const Failure& failure) { failure_ = failure; }
  const RetryDecider& retry() const { return retry_; }

  // A body of unknown size (connection 1 only): the bytes written and whether its end came.
  std::int64_t stream_written() const { return stream_written_; }
  bool stream_complete() const { return stream_complete_; }

 private:
  void Run();
  bool RunAttempts();
  AttemptResult Attempt(int* body);
  // After a complete segment: false when nothing is left for this connection to take.
  bool TakeNextSegment();
  bool WaitBeforeRetry(int wait_ms);
  void End(bool ok);
  void CountReceived(std::int64_t n);
  void Announce(std::int64_t start, std::int64_t end);
  int BlockSize() const;
  void PaceReceive(long long started_ms);
  AttemptResult MappingFailed();
  // A failed attempt for the reason `kind`.
  AttemptResult Failed(FailureKind kind);

  // range_reading.cc: a range or the whole reply, written at its place in the file.
  AttemptResult DataLoop(int buffered);
  bool Flush(int& buffered);
  AttemptResult WholeBodyLoop(int buffered);
  bool FlushBody(int& buffered);
  AttemptResult AfterWholeBody();

  // stream_body.cc: a body of unknown size, read to its end by connection 1.
  AttemptResult StreamAttempt(int* body);
  AttemptResult StreamLoop(int buffered);
  bool StreamWrite(const char* data, std::int64_t count);

  DownloadTask& task_;
  const int number_;

  std::atomic<bool> running_{true};
  std::atomic<bool> finished_{false};
  std::atomic<bool> handed_over_{false};
  std::atomic<std::int64_t> received_{0};
  std::thread thread_;  // started and joined by the task thread

  RateWindow rate_window_;

  Channel channel_;
  Failure failure_;
  RetryDecider retry_;
  BodyReader body_;  // the body of the reply read by a download of unknown size
  int segment_;
  int announced_segment_ = -1;  // what the last kFirstSegment/kFurtherSegment announced
  bool announced_any_ = false;
  bool whole_body_ = false;  // reads a full reply (the server ignores Range) from body_offset_
  std::int64_t body_offset_ = 0;
  MappedWindow window_;  // this connection's view of the file
  std::vector<char> buffer_;
  std::int64_t stream_written_ = 0;
  bool stream_complete_ = false;
  bool stream_check_ = false;  // the body ended with a close: the next exchange checks its size
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_CONNECTION_WORKER_H_
