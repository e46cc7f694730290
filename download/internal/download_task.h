#ifndef VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_
#define VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_

// One transfer: its task thread with the message loop, its connection threads, the segment
// table and the output file. Thread-safe where each member says so.
//
// Ownership: the task is shared by the owner's slot, its task thread and its connection
// threads; it is destroyed when the last of them lets go. The file is unmapped by the task
// thread only after every connection it started has finished.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "download/engine_settings.h"
#include "download/internal/body_reader.h"
#include "download/internal/clock.h"
#include "download/internal/http_request.h"
#include "download/internal/output_file.h"
#include "download/internal/retry_decider.h"
#include "download/internal/segment_table.h"
#include "download/internal/socket_io.h"
#include "download/internal/tls_client.h"
#include "download/task_param.h"
#include "download/transfer_address.h"
#include "platform/mutex.h"

namespace vorel::download::internal {

class DownloadTask;

// The owner's side of a Download object: at most one task, cleared by the task when it ends.
struct TaskSlot {
  platform::Mutex mu;
  std::shared_ptr<DownloadTask> task VOREL_GUARDED_BY(mu);
  EngineSettings settings VOREL_GUARDED_BY(mu);  // for the next task started
};

struct Connection {
  explicit Connection(const EngineSettings& settings) : retry(settings) {}
  int number = 0;  // 1 is the probe
  std::atomic<bool> running{true};
  std::atomic<int> state{1};  // 1 while working, -1 once finished
  std::atomic<std::int64_t> received{0};
  std::atomic<bool> handed_over{false};  // stopped for being slow; its part goes to another
  std::thread thread;

  // Task thread only: the window over which the connection's rate is judged.
  long long window_start_ms = -1;
  std::int64_t window_start_bytes = 0;

  // Connection thread only.
  Channel channel;
  Failure failure;  // of the current attempt
  RetryDecider retry;
  BodyReader body;  // the body of the reply read by a download of unknown size
  int segment = -1;
  int announced_segment = -1;  // segment for which 6 or 7 was sent
  bool announced_any = false;
  bool whole_body = false;  // reads a full reply (the server ignores Range) from body_offset
  std::int64_t body_offset = 0;
  MappedWindow window;  // this connection's view of the file
  std::vector<char> buffer;
};

// What a message on the task's queue asks the task thread to do.
enum MessageKind : int {
  kNoMessage = 0,
  kLeave = 1,            // end the task loop
  kReset = 2,            // every connection finished: end the task and report it
  kStartConnection = 4,  // open one more connection on an unclaimed segment
  kStatusLine = 9,       // pass `text` to the status callback
  kAllEnded = 18,        // no connection is left running
  kNotify = 21,          // pass type, pointer and values to the notify callback
};

struct TaskMessage {
  TaskMessage(MessageKind message_kind = kNoMessage) : kind(message_kind) {}  // NOLINT: {kind}
  MessageKind kind;
  std::int32_t type = 0;
  const void* pointer = nullptr;
  std::int64_t value = 0;
  std::int64_t value2 = 0;
  runtime::Text text;
};

// Thread-safe FIFO of task messages.
class MessageQueue {
 public:
  // `wake` false leaves the message for the consumer's next round (at most its idle wait
  // later): progress notifications then cost no thread switch each.
  void Push(TaskMessage message, bool wake = true);
  // The oldest message, waiting up to wait_ms for one.
  std::optional<TaskMessage> Pop(int wait_ms);
  void Clear();

 private:
  platform::Mutex mu_;
  platform::CondVar cv_;
  std::deque<TaskMessage> messages_ VOREL_GUARDED_BY(mu_);
};

class DownloadTask : public std::enable_shared_from_this<DownloadTask> {
 public:
  // A task for `param`, or null when its address is not an HTTP address with a host.
  static std::shared_ptr<DownloadTask> Create(const TaskParam& param,
                                              const EngineSettings& settings,
                                              std::shared_ptr<TaskSlot> slot);
  ~DownloadTask();

  // Starts the task thread; false when it cannot be had.
  bool Launch();
  // Asks every connection to stop, waits up to StopWait for them and lets the task end.
  void Stop();
  std::int64_t received() const { return received_.load(std::memory_order_relaxed); }
  void SetLocalPath(const runtime::Text& path);

  // Used by the exchanges and the connections (connection threads).
  const TaskParam& param() const { return param_; }
  const EngineSettings& settings() const { return settings_; }
  const Clock& clock() const { return clock_; }
  RequestParts request() const;
  void set_request(const RequestParts& parts);
  void set_server(const std::string& dotted, int port);
  std::string dotted() const;
  int server_port() const;
  runtime::Text local_path() const;
  std::int64_t total() const { return total_.load(); }
  void set_total(std::int64_t total) { total_.store(total); }
  StopSignal stop_signal(const Connection& c) const { return {&stop_requested_, &c.running}; }
  bool stop_requested() const { return stop_requested_.load(); }
  TlsClient& tls();
  // The size is unknown (a chunked or close-delimited reply): the probe reads the body to its
  // end over one connection.
  bool streaming() const { return streaming_.load(); }
  void set_streaming() { streaming_ = true; }
  SegmentTable& segments() { return segments_; }
  void Status(const runtime::Text& line, std::int32_t level);
  void Notify(std::int32_t type, const Connection* c, std::int64_t value, std::int64_t value2 = 0);
  void CountReceived(Connection& c, std::int64_t n);

  // The server ignores Range: the first connection to see it reads the whole reply instead.
  // True when the caller becomes that connection.
  bool ClaimWholeBody(Connection& c);

 private:
  DownloadTask() = default;
  void RunTaskThread();
  void StartConnection();
  void RunConnection(Connection& c);
  bool RunAttempts(Connection& c);
  int PrepareFile(Connection& c);
  // Reports a file that could not be created (errno `error`); 0, ending the connection.
  int CreateFailed(int error);
  bool ChooseFileName(Connection& c);
  void Announce(Connection& c, std::int64_t start, std::int64_t end);
  int DataLoop(Connection& c, int buffered);
  int WholeBodyLoop(Connection& c, int buffered);
  int StreamAttempt(Connection& c, int* body);
  int StreamLoop(Connection& c, int buffered);
  bool StreamWrite(Connection& c, const char* data, std::int64_t count);
  void Supervise();
  void HandOverSlowConnections(long long now);
  int AfterWholeBody(Connection& c);
  int MappingFailed();
  bool Flush(Connection& c, int& buffered);
  bool FlushBody(Connection& c, int& buffered);
  void PaceReceive(const Connection& c, long long started_ms);
  int BlockSize() const;
  bool WaitBeforeRetry(const Connection& c, int wait_ms);
  void EndConnection(Connection& c, bool ok);
  bool AllConnectionsFinished();
  void Finish();
  // A status line straight from the task thread, once its queue is gone.
  void DeliverNow(const runtime::Text& line, std::int32_t level);

  // Immutable after Create.
  TaskParam param_;
  EngineSettings settings_;
  Clock clock_;
  TransferAddress address_;
  std::weak_ptr<TaskSlot> slot_;

  mutable platform::Mutex request_mu_;
  RequestParts request_ VOREL_GUARDED_BY(request_mu_);
  std::string dotted_ VOREL_GUARDED_BY(request_mu_);
  int port_ VOREL_GUARDED_BY(request_mu_) = 0;
  runtime::Text local_path_ VOREL_GUARDED_BY(request_mu_);

  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> total_{-1};
  std::atomic<bool> total_notified_{false};
  std::atomic<bool> probed_{false};
  std::atomic<bool> whole_body_claimed_{false};
  std::atomic<std::int64_t> speed_share_{0};  // bytes per second and connection; 0 = no limit
  std::atomic<bool> streaming_{false};
  std::atomic<long long> last_byte_ms_{0};  // engine clock at the last byte received
  long long first_byte_ms_ = -1;            // task thread only
  long long last_supervised_ms_ = 0;        // task thread only

  // The probe's body of unknown size (connection 1 only, read by Finish after the join).
  std::int64_t stream_written_ = 0;
  bool stream_complete_ = false;
  bool stream_check_ = false;  // the body ended with a close: the next exchange checks its size

  std::once_flag tls_once_;
  std::unique_ptr<TlsClient> tls_;

  SegmentTable segments_;
  std::unique_ptr<OutputFile> file_;  // set by the probe before any other connection starts

  platform::Mutex connections_mu_;
  std::vector<std::unique_ptr<Connection>> connections_ VOREL_GUARDED_BY(connections_mu_);
  int active_ VOREL_GUARDED_BY(connections_mu_) = 0;

  MessageQueue queue_;
  std::thread task_thread_;
};

// Results of a connection's data loops beside those of the exchanges (1, 0, -1).
inline constexpr int kSegmentDone = 2;  // the segment (or the whole body) is complete
inline constexpr int kPassAgain = 3;    // go again at once, without a wait

// The status line of a file that cannot be created, grown or given its name.
runtime::Text CreateErrorText();

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_
