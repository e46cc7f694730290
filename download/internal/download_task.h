#ifndef VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_
#define VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_

// One transfer: its task thread with the message loop, which plans the segments, starts the
// connections (ConnectionWorker), hands a slow connection's part to another, gives up a task
// that brings nothing, and ends the download once every connection has finished. Thread-safe
// where each member says so.
//
// Ownership: the task is shared by the owner's slot, its task thread and its connection
// threads; it is destroyed when the last of them lets go. The file is unmapped by the task
// thread only after every connection it started has finished.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/engine_settings.h"
#include "download/internal/clock.h"
#include "download/internal/http_request.h"
#include "download/internal/message_queue.h"
#include "download/internal/output_file.h"
#include "download/internal/segment_table.h"
#include "download/internal/tls_client.h"
#include "download/task_param.h"
#include "download/transfer_address.h"
#include "platform/mutex.h"

namespace vorel::download::internal {

class ConnectionWorker;
class DownloadTask;

// The owner's side of a Download object: at most one task, cleared by the task when it ends.
struct TaskSlot {
  platform::Mutex mu;
  std::shared_ptr<DownloadTask> task VOREL_GUARDED_BY(mu);
  EngineSettings settings VOREL_GUARDED_BY(mu);  // for the next task started
};

class DownloadTask : public std::enable_shared_from_this<DownloadTask> {
 public:
  // A task for `param`, run with `settings`, or null when its address is not an HTTP address
  // with a host.
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

  // What the connections use (their threads; thread-safe unless said otherwise).
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
  const std::atomic<bool>& stop_flag() const { return stop_requested_; }
  bool stop_requested() const { return stop_requested_.load(); }
  TlsClient& tls();
  // The size is unknown (a chunked or close-delimited reply): the probe reads the body to its
  // end over one connection.
  bool streaming() const { return streaming_.load(); }
  void set_streaming() { streaming_ = true; }
  // The probe has its reply and the file: the other connections may start.
  bool probed() const { return probed_.load(); }
  void set_probed() { probed_ = true; }
  // Bytes per second each connection may read under the task's speed limit; 0 = no limit.
  std::int64_t speed_share() const { return speed_share_.load(); }
  SegmentTable& segments() { return segments_; }
  // The file; made by PrepareFile before any other connection starts.
  OutputFile& file() { return *file_; }
  void Status(const runtime::Text& line, std::int32_t level);
  void Notify(std::int32_t type, const ConnectionWorker* c, std::int64_t value,
              std::int64_t value2 = 0);
  // Counts bytes received by any connection.
  void CountReceived(std::int64_t n);
  // True for the first caller only: that connection reads the whole reply.
  bool ClaimWholeBody() { return !whole_body_claimed_.exchange(true); }
  // True for the first caller only: that one announces the total size.
  bool TakeTotalNotice() { return !total_notified_.exchange(true); }

  // The probe's file (task_file.cc): names it, creates it at the total size (or empty, for a
  // body of unknown size), cuts the segments and asks for a connection per further segment.
  // False, after a status line that says why, when there is no file to write. Probe only.
  bool PrepareFile(ConnectionWorker& probe);
  // A connection's last word: it has released its segment and reported its end.
  void ConnectionEnded(ConnectionWorker& c);

 private:
  DownloadTask() = default;
  void RunTaskThread();
  void Handle(const TaskMessage& message);
  void StartConnection();
  bool AllConnectionsFinished();
  void Supervise();
  void HandOverSlowConnections(long long now);
  void Finish();
  // A status line straight from the task thread, once its queue is gone.
  void DeliverNow(const runtime::Text& line, std::int32_t level);
  // task_file.cc
  bool ChooseFileName(ConnectionWorker& probe);
  bool CreateFile(std::int64_t size);
  // Gives a complete file its final name; true when it has it. Whatever is left unnamed goes.
  bool PublishFile(const ConnectionWorker* probe);

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
  std::atomic<bool> stopping_{false};  // the owner asked for the stop
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> total_{-1};
  std::atomic<bool> total_notified_{false};
  std::atomic<bool> probed_{false};
  std::atomic<bool> whole_body_claimed_{false};
  std::atomic<std::int64_t> speed_share_{0};
  std::atomic<bool> streaming_{false};
  std::atomic<long long> last_byte_ms_{0};  // engine clock at the last byte received

  // Task thread only.
  long long first_byte_ms_ = -1;

  std::once_flag tls_once_;
  std::unique_ptr<TlsClient> tls_;

  SegmentTable segments_;
  std::unique_ptr<OutputFile> file_;  // set by the probe before any other connection starts

  platform::Mutex connections_mu_;
  std::vector<std::unique_ptr<ConnectionWorker>> connections_ VOREL_GUARDED_BY(connections_mu_);
  int active_ VOREL_GUARDED_BY(connections_mu_) = 0;

  MessageQueue queue_;
  std::thread task_thread_;
};

// The status line of a file that cannot be created, grown or given its name.
runtime::Text CreateErrorText();

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_DOWNLOAD_TASK_H_
