#include "download/internal/download_task.h"

#include <algorithm>
#include <chrono>

#include "download/internal/connection_worker.h"
#include "download/internal/task_registry.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {
constexpr int kIdleWaitMs = 100;
constexpr int kStopStepMs = 20;
}  // namespace

std::shared_ptr<DownloadTask> DownloadTask::Create(const TaskParam& param,
                                                   const EngineSettings& settings,
                                                   std::shared_ptr<TaskSlot> slot) {
  TransferAddress address = ParseTransferAddress(param.Url);
  if (address.kind != kHttp || address.host.empty()) return nullptr;
  std::shared_ptr<DownloadTask> task(new DownloadTask());
  task->param_ = param;
  task->param_.TaskFlags |= 0x1000;
  task->param_.ConnectionCount = std::max(1, param.ConnectionCount);
  task->settings_ = settings;
  task->clock_ = Clock(settings.clock);
  task->address_ = address;
  task->slot_ = slot;
  {
    platform::MutexLock lock(task->request_mu_);  // not shared yet; see request_mu_
    task->request_ = MakeRequestParts(param.Url, address, param.HttpProxy, param.Referer);
    task->port_ = address.port;
    task->local_path_ = param.LocalPath;
  }
  return task;
}

DownloadTask::~DownloadTask() = default;

bool DownloadTask::Launch() {
  RegisterTask(this);
  try {
    task_thread_ = std::thread([self = shared_from_this()] { self->RunTaskThread(); });
    task_thread_.detach();
  } catch (const std::system_error&) {
    UnregisterTask(this);
    return false;
  }
  return true;
}

void DownloadTask::Stop() {
  stopping_ = true;
  stop_requested_ = true;
  {
    platform::MutexLock lock(connections_mu_);
    for (auto& c : connections_) {
      if (!c->finished()) c->Stop();
    }
  }
  long long deadline = runtime::TickCount() + std::max(0, param_.StopWait);
  while (!AllConnectionsFinished() && runtime::TickCount() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopStepMs));
  }
  queue_.Push({MessageKind::kAllEnded});
}

void DownloadTask::SetLocalPath(const runtime::Text& path) {
  platform::MutexLock lock(request_mu_);
  local_path_ = path;
}

RequestParts DownloadTask::request() const {
  platform::MutexLock lock(request_mu_);
  return request_;
}

void DownloadTask::set_request(const RequestParts& parts) {
  platform::MutexLock lock(request_mu_);
  request_ = parts;
}

void DownloadTask::set_server(const std::string& dotted, int port) {
  platform::MutexLock lock(request_mu_);
  dotted_ = dotted;
  port_ = port;
}

std::string DownloadTask::dotted() const {
  platform::MutexLock lock(request_mu_);
  return dotted_;
}

int DownloadTask::server_port() const {
  platform::MutexLock lock(request_mu_);
  return port_;
}

runtime::Text DownloadTask::local_path() const {
  platform::MutexLock lock(request_mu_);
  return local_path_;
}

void DownloadTask::Status(const runtime::Text& line, std::int32_t level) {
  TaskMessage message{MessageKind::kStatusLine};
  message.text = line;
  message.value = level;
  queue_.Push(std::move(message));
}

void DownloadTask::Notify(std::int32_t type, const ConnectionWorker* c, std::int64_t value,
                          std::int64_t value2) {
  TaskMessage message{MessageKind::kNotify};
  message.type = type;
  message.pointer = c;
  message.value = value;
  message.value2 = value2;
  queue_.Push(std::move(message), type != kBytesArrived);
}

void DownloadTask::CountReceived(std::int64_t n) {
  last_byte_ms_.store(clock_.NowMs(), std::memory_order_relaxed);
  received_.fetch_add(n, std::memory_order_relaxed);
}

TlsClient& DownloadTask::tls() {
  std::call_once(tls_once_, [this] { tls_ = std::make_unique<TlsClient>(); });
  return *tls_;
}

void DownloadTask::RunTaskThread() {
  last_byte_ms_ = clock_.NowMs();
  queue_.Push({MessageKind::kStartConnection});
  for (;;) {
    std::optional<TaskMessage> message = queue_.Pop(kIdleWaitMs);
    Supervise();
    if (!message) continue;
    if (message->kind == MessageKind::kLeave) break;
    try {
      Handle(*message);
    } catch (...) {
      // An owner's callback must not take the task thread down with it.
    }
  }
  Finish();
}

void DownloadTask::Handle(const TaskMessage& message) {
  switch (message.kind) {
    case MessageKind::kReset:
      queue_.Clear();
      queue_.Push({MessageKind::kLeave});
      break;
    case MessageKind::kStartConnection:
      if (!stopping_) StartConnection();
      break;
    case MessageKind::kStatusLine:
      if (param_.StatusCallback) {
        param_.StatusCallback(message.text, static_cast<std::int32_t>(message.value));
      }
      break;
    case MessageKind::kAllEnded:
      // Connections started after this message was queued end with a kAllEnded of their own.
      if (AllConnectionsFinished()) queue_.Push({MessageKind::kReset});
      break;
    case MessageKind::kNotify:
      if (param_.NotifyCallback) {
        param_.NotifyCallback(message.type, message.pointer, message.value, message.value2, this);
      }
      break;
    case MessageKind::kLeave: break;
  }
}

void DownloadTask::StartConnection() {
  platform::MutexLock lock(connections_mu_);
  const int number = static_cast<int>(connections_.size()) + 1;
  int segment = -1;
  if (number > 1) {
    segment = segments_.PickForNewConnection(number, settings_.connection_buffer_size);
    if (segment < 0) return;
  }
  if (param_.SpeedLimit > 0) speed_share_ = std::max(1, param_.SpeedLimit / (active_ + 1));
  connections_.push_back(
      std::make_unique<ConnectionWorker>(*this, number, segment, settings_.connection_buffer_size));
  ConnectionWorker& c = *connections_.back();
  ++active_;
  if (!c.Start(shared_from_this())) {
    --active_;
    c.set_finished();
    segments_.Release(segment);
    if (active_ == 0) queue_.Push({MessageKind::kAllEnded});
  }
}

bool DownloadTask::AllConnectionsFinished() {
  platform::MutexLock lock(connections_mu_);
  return active_ == 0;
}

void DownloadTask::ConnectionEnded(ConnectionWorker& c) {
  // The part a slow connection gave up goes to a new connection (or to one whose own segment
  // ends first).
  if (c.handed_over() && !stop_requested_) queue_.Push({MessageKind::kStartConnection});
  bool last;
  {
    platform::MutexLock lock(connections_mu_);
    last = --active_ == 0;
    c.set_finished();
  }
  if (last) queue_.Push({MessageKind::kAllEnded});
}

void DownloadTask::Supervise() {
  if (stop_requested_) return;
  const long long now = clock_.NowMs();
  if (now - last_byte_ms_.load() >= settings_.stall_limit_ms) {
    // However the connections fail, a task that brings nothing for this long has to end.
    Status("已有"_t + std::to_string(settings_.stall_limit_ms / 1000) +
               "秒没有收到任何数据, 放弃下载"_t,
           kError);
    stop_requested_ = true;
    platform::MutexLock lock(connections_mu_);
    for (auto& c : connections_) c->Stop();
    return;
  }
  HandOverSlowConnections(now);
}

void DownloadTask::HandOverSlowConnections(long long now) {
  if (!probed_ || streaming_ || whole_body_claimed_) return;
  const std::int64_t received = received_.load();
  if (first_byte_ms_ < 0) {
    if (received > 0) first_byte_ms_ = now;
    return;
  }
  const long long elapsed = now - first_byte_ms_;
  if (elapsed < settings_.slow_window_ms) return;
  const double average = static_cast<double>(received) / static_cast<double>(elapsed);
  platform::MutexLock lock(connections_mu_);
  for (auto& c : connections_) {
    if (c->finished() || c->handed_over()) continue;
    const std::int64_t count = c->received();
    RateWindow& window = c->rate_window();
    if (window.start_ms < 0) {
      window = {now, count};
      continue;
    }
    const long long span = now - window.start_ms;
    if (span < settings_.slow_window_ms) continue;
    const double rate = static_cast<double>(count - window.start_bytes) / span;
    if (rate * settings_.slow_ratio < average) {
      Status("连接"_t + std::to_string(c->number()) + "速度过慢, 其余部分交给其他连接"_t,
             kInformation);
      c->HandOver();
    } else {
      window = {now, count};
    }
  }
}

void DownloadTask::DeliverNow(const runtime::Text& line, std::int32_t level) {
  if (!param_.StatusCallback) return;
  try {
    param_.StatusCallback(line, level);
  } catch (...) {
  }
}

void DownloadTask::Finish() {
  std::vector<ConnectionWorker*> started;
  {
    platform::MutexLock lock(connections_mu_);
    for (auto& c : connections_) started.push_back(c.get());
  }
  for (ConnectionWorker* c : started) c->Join();
  // The probe's count of a body of unknown size, read after its thread is gone.
  const ConnectionWorker* probe = started.empty() ? nullptr : started.front();
  const std::int64_t stream_written = probe != nullptr ? probe->stream_written() : 0;
  const bool complete = PublishFile(probe);
  std::int64_t done = streaming_ ? stream_written : segments_.SumDone();
  std::int64_t value = stop_requested_ ? done : std::max<std::int64_t>(total_, 0);
  if (std::shared_ptr<TaskSlot> slot = slot_.lock()) {
    platform::MutexLock lock(slot->mu);
    if (slot->task.get() == this) slot->task.reset();
  }
  if (param_.NotifyCallback) {
    try {
      param_.NotifyCallback(kTaskEnded, nullptr, value, complete ? 1 : 0, this);
    } catch (...) {
    }
  }
  UnregisterTask(this);
}

}  // namespace vorel::download::internal
