// The life of one connection thread: the probe or a range exchange, the data loop into the
// mapped file, segment hand-over and retries.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

#include "download/internal/download_task.h"
#include "download/internal/exchange.h"
#include "download/internal/file_names.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {

constexpr int kStepMs = 10;
constexpr int kPositionError = -2;
constexpr int kMinTakeOver = 1 << 20;

}  // namespace

void DownloadTask::RunConnection(Connection& c) {
  bool ok = false;
  try {
    Notify(kConnectionStarted, &c, 0);
    ok = RunAttempts(c);
  } catch (...) {
    ok = false;
  }
  EndConnection(c, ok);
}

bool DownloadTask::RunAttempts(Connection& c) {
  for (;;) {
    int body = 0;
    int r;
    const std::int64_t received_before = c.received;
    c.failure = Failure();
    if (c.number == 1 && !probed_) {
      r = ProbeExchange(*this, c, &body);
      if (r == 1) r = PrepareFile(c);
      if (r == 1) {
        probed_ = true;
        r = streaming_ ? StreamLoop(c, body) : DataLoop(c, body);
      }
    } else if (streaming_) {
      r = StreamAttempt(c, &body);
    } else {
      r = RangeExchange(*this, c, &body);
      if (r == 1) r = c.whole_body ? WholeBodyLoop(c, body) : DataLoop(c, body);
    }
    CloseChannel(c.channel);

    if (r == kSegmentDone) {
      if (c.whole_body || streaming_ || stop_requested_) return true;
      int next = segments_.TakeNext(c.number);
      // Nothing left to take: the connection halves the largest part another one still lacks,
      // so the end of a download is not left to a single connection. Below kMinTakeOver the
      // new request costs more than it saves.
      if (next < 0) next = segments_.PickForNewConnection(c.number, kMinTakeOver / 2);
      if (next < 0) return true;
      segments_.Release(c.segment);
      c.segment = next;
      continue;
    }
    if (r == 0 || stop_requested_ || !c.running) return false;
    RetryVerdict verdict = c.retry.AfterFailure(c.failure, c.received > received_before);
    if (!verdict.retry()) {
      Status(GiveUpLine(verdict), kError);
      return false;
    }
    if (r == kPassAgain) continue;
    Status(WaitLine(verdict.wait_ms), kInformation);
    if (!WaitBeforeRetry(c, verdict.wait_ms)) return false;
  }
}

bool DownloadTask::WaitBeforeRetry(const Connection& c, int wait_ms) {
  long long deadline = clock_.NowMs() + wait_ms;
  while (clock_.NowMs() < deadline) {
    if (stop_requested_ || !c.running) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
  return !stop_requested_ && c.running;
}

int DownloadTask::CreateFailed(int error) {
  Status(CreateErrorText(), kError);
  // The documented line names every cause at once; the one that happened follows it.
  if (error == ENOSPC || error == EDQUOT) Status("磁盘空间不足"_t, kError);
  if (error == EFBIG) Status("文件太大，超出磁盘或系统允许的大小"_t, kError);
  if (error == EACCES || error == EROFS) Status("没有写入下载文件夹的权限"_t, kError);
  return 0;
}

int DownloadTask::PrepareFile(Connection& c) {
  int error = 0;
  if (streaming_) {
    // One connection reads the body to its end; the file grows as it arrives.
    if (!ChooseFileName(c)) return 0;
    file_ = OutputFile::Create(FileSystemPath(local_path()), 0, &error,
                               settings_.unnamed_files ? OutputFile::Naming::kUnnamedWherePossible
                                                       : OutputFile::Naming::kHiddenPartFile);
    if (!file_) return CreateFailed(error);
    return 1;
  }
  const std::int64_t total = total_;
  segments_.Split(total, param_.ConnectionCount, settings_.connection_buffer_size);
  segments_.Claim(0, c.number);
  c.segment = 0;
  if (!ChooseFileName(c)) return 0;
  file_ = OutputFile::Create(FileSystemPath(local_path()), total, &error,
                             settings_.unnamed_files ? OutputFile::Naming::kUnnamedWherePossible
                                                     : OutputFile::Naming::kHiddenPartFile);
  if (!file_) return CreateFailed(error);
  for (int i = 1; i < segments_.size(); ++i) queue_.Push({kStartConnection});
  return 1;
}

bool DownloadTask::ChooseFileName(Connection& c) {
  runtime::Text path = local_path();
  if (!path.empty() && path.back() == '/') {
    path += FileNameFromTarget(request().target);
    SetLocalPath(path);
  }
  std::optional<std::int64_t> existing = ExistingSize(path);
  if (!existing) return true;
  std::int32_t answer = 0;
  if (param_.NotifyCallback) {
    try {
      answer = param_.NotifyCallback(kSameNameExists, &c, *existing, 0, this);
    } catch (...) {
      answer = 1;
    }
  }
  if (answer == 0) {
    for (int i = 0; i < 99; ++i) {
      std::optional<runtime::Text> next = NextAutoName(path);
      if (!next) break;
      path = *next;
      if (!ExistingSize(path)) {
        SetLocalPath(path);
        Status("发现同名文件, 系统自动更名为"_t + path, kInformation);
        return true;
      }
    }
    Status("发现同名文件，超过系统自动更名次数"_t, kError);
    return false;
  }
  if (answer == 2) {
    Status("发现同名文件, 用户更名为"_t + local_path(), kInformation);
    return true;
  }
  Status("发现同名文件, 用户选择放弃下载"_t, kInformation);
  return false;
}

void DownloadTask::Announce(Connection& c, std::int64_t start, std::int64_t end) {
  int key = c.whole_body ? -2 : streaming_ ? -3 : c.segment;
  if (c.announced_segment != key) {
    Notify(c.announced_any ? kFurtherSegment : kFirstSegment, &c, start, end);
    c.announced_any = true;
    c.announced_segment = key;
  }
  if (c.number == 1 && !total_notified_.exchange(true)) Notify(kTotalSize, &c, total_);
}

int DownloadTask::BlockSize() const {
  std::int64_t share = speed_share_;
  if (share > 0) return static_cast<int>(std::min<std::int64_t>(share, INT32_MAX));
  return param_.ReceiveBlockSize > 0 ? param_.ReceiveBlockSize : settings_.connection_buffer_size;
}

void DownloadTask::PaceReceive(const Connection& c, long long started_ms) {
  if (speed_share_ <= 0) return;
  long long until = started_ms + 1000;
  while (runtime::TickCount() < until && !stop_requested_ && c.running) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

bool DownloadTask::Flush(Connection& c, int& buffered) {
  if (buffered <= 0) return true;
  SegmentTable::Span span = segments_.Reserve(c.segment, buffered);
  buffered = 0;
  const bool written = c.channel.tls != nullptr
                           ? file_->WriteThrough(span.offset, c.buffer.data(), span.count)
                           : file_->Write(c.window, span.offset, c.buffer.data(), span.count);
  if (!written) return false;
  segments_.Commit(c.segment, span.count);
  return true;
}

int DownloadTask::MappingFailed() {
  // The file exists at its full size, so this means the address space ran out.
  Status(SocketErrorText(kPositionError), kError);
  return 0;
}

int DownloadTask::DataLoop(Connection& c, int buffered) {
  Segment s = segments_.Get(c.segment);
  Announce(c, s.start + s.done, s.start + s.length);
  // Bytes that came with the header beyond what the segment lacks are dropped.
  buffered = static_cast<int>(std::min<std::int64_t>(buffered, s.lacking()));
  if (buffered > 0) {
    CountReceived(c, buffered);
    Notify(kBytesArrived, &c, buffered);
    if (!Flush(c, buffered)) return MappingFailed();
  }
  // From here on each receive lands straight in the mapped file, at the segment's first
  // missing byte and never beyond what the segment lacks, which saves a copy per block.
  StopSignal stop = stop_signal(c);
  const int per_call = std::min(static_cast<int>(c.buffer.size()), BlockSize());
  for (;;) {
    SegmentTable::Span span = segments_.Reserve(c.segment, per_call);
    if (span.count == 0) return kSegmentDone;
    if (stop.Stopped()) return -1;
    // TLS decrypts into a buffer of its own and copies out of it anyway: that copy goes to the
    // connection's small buffer, and from there the kernel copies into the file. Measured on a
    // 256 MiB download over five connections, this takes less CPU time than copying into
    // freshly mapped pages, and keeps no window of the file resident.
    const bool through_buffer = c.channel.tls != nullptr;
    if (through_buffer) span.count = std::min<std::int64_t>(span.count, c.buffer.size());
    char* destination =
        through_buffer ? c.buffer.data() : file_->Map(c.window, span.offset, span.count);
    if (destination == nullptr) return MappingFailed();
    long long started = runtime::TickCount();
    // Under a speed limit the whole share is read before the pause that makes up the second.
    const int calls = speed_share_ > 0 ? INT32_MAX : 1;
    int n = ReceiveWithTimeout(c.channel, destination, static_cast<int>(span.count), per_call,
                               param_.ReceiveTimeout, stop, clock_, calls,
                               [&](int k) { CountReceived(c, k); });
    if (n > 0) {
      if (through_buffer && !file_->WriteThrough(span.offset, destination, n)) {
        return MappingFailed();
      }
      segments_.Commit(c.segment, n);
      Notify(kBytesArrived, &c, n);
    }
    if (n < 0) {
      // A close in mid-segment is a failed attempt that resumes at the first missing byte.
      if (segments_.Get(c.segment).complete()) return kSegmentDone;
      Status(SocketErrorText(n), kError);
      return -1;
    }
    PaceReceive(c, started);
  }
}

bool DownloadTask::FlushBody(Connection& c, int& buffered) {
  if (buffered <= 0) return true;
  const char* data = c.buffer.data();
  bool written = true;
  std::int64_t accepted = segments_.FillFromBody(
      c.body_offset, buffered, c.number,
      [&](std::int64_t file_offset, std::int64_t run_offset, std::int64_t count) {
        written = file_->Write(c.window, file_offset, data + run_offset, count) && written;
      });
  c.body_offset += buffered;
  buffered = 0;
  if (accepted > 0) {
    CountReceived(c, accepted);
    Notify(kBytesArrived, &c, accepted);
  }
  return written;
}

int DownloadTask::WholeBodyLoop(Connection& c, int buffered) {
  const int buffer_size = static_cast<int>(c.buffer.size());
  const std::int64_t total = total_;
  Announce(c, c.body_offset, total);
  buffered = static_cast<int>(std::min<std::int64_t>(buffered, total - c.body_offset));
  StopSignal stop = stop_signal(c);
  for (;;) {
    std::int64_t remaining = total - c.body_offset - buffered;
    if (remaining <= 0) {
      if (!FlushBody(c, buffered)) return MappingFailed();
      return AfterWholeBody(c);
    }
    if (stop.Stopped()) {
      if (!FlushBody(c, buffered)) return MappingFailed();
      return -1;
    }
    const int per_call = std::min(buffer_size, BlockSize());
    const int block =
        static_cast<int>(std::min<std::int64_t>({per_call, buffer_size - buffered, remaining}));
    long long started = runtime::TickCount();
    int n = ReceiveWithTimeout(c.channel, c.buffer.data() + buffered, block, per_call,
                               param_.ReceiveTimeout, stop, clock_, 1, nullptr);
    if (n < 0) {
      if (!FlushBody(c, buffered)) return MappingFailed();
      if (segments_.AllComplete()) return kSegmentDone;
      Status(SocketErrorText(n), kError);
      return -1;
    }
    buffered += n;
    PaceReceive(c, started);
    if (buffered == buffer_size && !FlushBody(c, buffered)) return MappingFailed();
  }
}

int DownloadTask::AfterWholeBody(Connection& c) {
  // Segments still held by other connections are either finished by them or given up, which
  // leaves them to another pass over the whole body.
  CloseChannel(c.channel);
  StopSignal stop = stop_signal(c);
  for (;;) {
    if (segments_.AllComplete()) return kSegmentDone;
    if (segments_.HasUnownedGap(c.number)) return kPassAgain;
    if (stop.Stopped()) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

}  // namespace vorel::download::internal
