#include "download/internal/download_task.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "download/internal/task_registry.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {
constexpr int kIdleWaitMs = 100;
constexpr int kStopStepMs = 20;
}  // namespace

runtime::Text CreateErrorText() {
  return "创建文件错误，超出最大支持下载长度或磁盘不可写或磁盘没有空间或同名文件已存在"_t;
}

void MessageQueue::Push(TaskMessage message, bool wake) {
  {
    platform::MutexLock lock(mu_);
    messages_.push_back(std::move(message));
  }
  if (wake) cv_.NotifyOne();
}

std::optional<TaskMessage> MessageQueue::Pop(int wait_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  platform::MutexLock lock(mu_);
  while (messages_.empty()) {
    if (!cv_.WaitUntil(mu_, deadline) && messages_.empty()) return std::nullopt;
  }
  TaskMessage message = std::move(messages_.front());
  messages_.pop_front();
  return message;
}

void MessageQueue::Clear() {
  platform::MutexLock lock(mu_);
  messages_.clear();
}

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
      if (c->state.load() != -1) c->running = false;
    }
  }
  long long deadline = runtime::TickCount() + std::max(0, param_.StopWait);
  while (!AllConnectionsFinished() && runtime::TickCount() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopStepMs));
  }
  queue_.Push({kAllEnded});
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
  TaskMessage message{kStatusLine};
  message.text = line;
  message.value = level;
  queue_.Push(std::move(message));
}

void DownloadTask::Notify(std::int32_t type, const Connection* c, std::int64_t value,
                          std::int64_t value2) {
  TaskMessage message{kNotify};
  message.type = type;
  message.pointer = c;
  message.value = value;
  message.value2 = value2;
  queue_.Push(std::move(message), type != kBytesArrived);
}

void DownloadTask::CountReceived(Connection& c, std::int64_t n) {
  last_byte_ms_.store(clock_.NowMs(), std::memory_order_relaxed);
  received_.fetch_add(n, std::memory_order_relaxed);
  c.received.fetch_add(n, std::memory_order_relaxed);
}

bool DownloadTask::ClaimWholeBody(Connection& c) {
  segments_.CloseHandingOut();
  if (c.whole_body) return true;
  if (whole_body_claimed_.exchange(true)) return false;
  c.whole_body = true;
  return true;
}

TlsClient& DownloadTask::tls() {
  std::call_once(tls_once_, [this] { tls_ = std::make_unique<TlsClient>(); });
  return *tls_;
}

void DownloadTask::RunTaskThread() {
  last_byte_ms_ = clock_.NowMs();
  queue_.Push({kStartConnection});
  for (;;) {
    std::optional<TaskMessage> message = queue_.Pop(kIdleWaitMs);
    Supervise();
    if (!message) continue;
    if (message->kind == kLeave) break;
    try {
      switch (message->kind) {
        case kReset:
          queue_.Clear();
          queue_.Push({kLeave});
          break;
        case kStartConnection:
          if (!stopping_) StartConnection();
          break;
        case kStatusLine:
          if (param_.StatusCallback) {
            param_.StatusCallback(message->text, static_cast<std::int32_t>(message->value));
          }
          break;
        case kAllEnded:
          // Connections started after this message was queued end with their own message 18.
          if (AllConnectionsFinished()) queue_.Push({kReset});
          break;
        case kNotify:
          if (param_.NotifyCallback) {
            param_.NotifyCallback(message->type, message->pointer, message->value, message->value2,
                                  this);
          }
          break;
        default: break;
      }
    } catch (...) {
      // An owner's callback must not take the task thread down with it.
    }
  }
  Finish();
}

void DownloadTask::StartConnection() {
  platform::MutexLock lock(connections_mu_);
  auto c = std::make_unique<Connection>(settings_);
  c->number = static_cast<int>(connections_.size()) + 1;
  if (c->number > 1) {
    c->segment = segments_.PickForNewConnection(c->number, settings_.connection_buffer_size);
    if (c->segment < 0) return;
  }
  if (param_.SpeedLimit > 0) speed_share_ = std::max(1, param_.SpeedLimit / (active_ + 1));
  c->buffer.resize(static_cast<std::size_t>(settings_.connection_buffer_size));
  Connection* raw = c.get();
  connections_.push_back(std::move(c));
  ++active_;
  try {
    raw->thread = std::thread([self = shared_from_this(), raw] { self->RunConnection(*raw); });
  } catch (const std::system_error&) {
    --active_;
    raw->state = -1;
    segments_.Release(raw->segment);
    if (active_ == 0) queue_.Push({kAllEnded});
  }
}

bool DownloadTask::AllConnectionsFinished() {
  platform::MutexLock lock(connections_mu_);
  return active_ == 0;
}

void DownloadTask::EndConnection(Connection& c, bool ok) {
  CloseChannel(c.channel);
  OutputFile::Unmap(c.window);
  std::int64_t reached = 0;
  if (streaming_ && c.number == 1) {
    reached = stream_written_;
  } else if (c.segment >= 0) {
    Segment s = segments_.Get(c.segment);
    reached = c.whole_body ? c.body_offset : s.start + s.done;
    segments_.Release(c.segment);
  }
  Notify(ok ? kConnectionDone : kConnectionFailed, &c, reached);
  // The part a slow connection gave up goes to a new connection (or to one whose own segment
  // ends first).
  if (c.handed_over && !stop_requested_) queue_.Push({kStartConnection});
  std::vector<char>().swap(c.buffer);
  bool last;
  {
    platform::MutexLock lock(connections_mu_);
    last = --active_ == 0;
    c.state = -1;
  }
  if (last) queue_.Push({kAllEnded});
}

void DownloadTask::Supervise() {
  if (stop_requested_) return;
  const long long now = clock_.NowMs();
  const EngineSettings& settings = settings_;
  if (now - last_byte_ms_.load() >= settings.stall_limit_ms) {
    // However the connections fail, a task that brings nothing for this long has to end.
    Status("已有"_t + std::to_string(settings.stall_limit_ms / 1000) +
               "秒没有收到任何数据, 放弃下载"_t,
           kError);
    stop_requested_ = true;
    platform::MutexLock lock(connections_mu_);
    for (auto& c : connections_) c->running = false;
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
  const EngineSettings& settings = settings_;
  const long long elapsed = now - first_byte_ms_;
  if (elapsed < settings.slow_window_ms) return;
  const double average = static_cast<double>(received) / static_cast<double>(elapsed);
  platform::MutexLock lock(connections_mu_);
  for (auto& c : connections_) {
    if (c->state.load() == -1 || c->handed_over) continue;
    const std::int64_t count = c->received.load();
    if (c->window_start_ms < 0) {
      c->window_start_ms = now;
      c->window_start_bytes = count;
      continue;
    }
    const long long span = now - c->window_start_ms;
    if (span < settings.slow_window_ms) continue;
    const double rate = static_cast<double>(count - c->window_start_bytes) / span;
    if (rate * settings.slow_ratio < average) {
      Status("连接"_t + std::to_string(c->number) + "速度过慢, 其余部分交给其他连接"_t,
             kInformation);
      c->handed_over = true;
      c->running = false;
    } else {
      c->window_start_ms = now;
      c->window_start_bytes = count;
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
  std::vector<Connection*> started;
  {
    platform::MutexLock lock(connections_mu_);
    for (auto& c : connections_) started.push_back(c.get());
  }
  for (Connection* c : started) {
    if (c->thread.joinable()) c->thread.join();
  }
  bool complete = false;
  if (file_) {
    // A stop asked for by the owner abandons the file even when its last byte has come.
    complete = !stopping_ && (streaming_ ? stream_complete_ : segments_.AllComplete());
    if (complete && streaming_) {
      complete = file_->Truncate(stream_written_);
      total_ = stream_written_;
    }
    int error = 0;
    if (complete && !file_->Publish(&error)) {
      complete = false;
      DeliverNow(CreateErrorText(), kError);
    }
    // An unfinished file must not pass for the finished song.
    file_->Discard();
  }
  std::int64_t done = streaming_ ? stream_written_ : segments_.SumDone();
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
