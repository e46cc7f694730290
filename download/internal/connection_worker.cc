// The life of one connection thread: its attempts, the segment it takes next, the waits
// between attempts and its end.

#include "download/internal/connection_worker.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <string>
#include <system_error>
#include <utility>

#include "download/internal/download_task.h"
#include "download/internal/exchange.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

namespace {

constexpr int kStepMs = 10;
constexpr int kPositionError = -2;
constexpr int kMinTakeOver = 1 << 20;

// What the segment announcements compare beside a segment's index: one key for the whole
// reply, one for a body of unknown size.
constexpr int kWholeBodyKey = -2;
constexpr int kStreamKey = -3;

}  // namespace

ConnectionWorker::ConnectionWorker(DownloadTask& task, int number, int segment, int buffer_size)
    : task_(task), number_(number), retry_(task.settings()), segment_(segment) {
  buffer_.resize(static_cast<std::size_t>(buffer_size));
}

bool ConnectionWorker::Start(std::shared_ptr<DownloadTask> owner) {
  try {
    thread_ = std::thread([owner = std::move(owner), this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ConnectionWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void ConnectionWorker::HandOver() {
  handed_over_ = true;
  running_ = false;
}

StopSignal ConnectionWorker::stop_signal() const { return {&task_.stop_flag(), &running_}; }

bool ConnectionWorker::ClaimWholeBody() {
  task_.segments().CloseHandingOut();
  if (whole_body_) return true;
  if (!task_.ClaimWholeBody()) return false;
  whole_body_ = true;
  return true;
}

void ConnectionWorker::Run() {
  bool ok = false;
  try {
    task_.Notify(kConnectionStarted, this, 0);
    ok = RunAttempts();
  } catch (...) {
    ok = false;
  }
  End(ok);
}

bool ConnectionWorker::RunAttempts() {
  for (;;) {
    int body = 0;
    const std::int64_t received_before = received();
    failure_ = Failure();
    const AttemptResult result = Attempt(&body);
    CloseChannel(channel_);

    if (result == AttemptResult::kSegmentDone) {
      if (whole_body_ || task_.streaming() || task_.stop_requested()) return true;
      if (!TakeNextSegment()) return true;
      continue;
    }
    if (task_.stop_requested() || !running_) return false;
    const RetryVerdict verdict = retry_.AfterFailure(failure_, received() > received_before);
    if (!verdict.retry()) {
      // A final failure said why where it happened.
      if (verdict.give_up != GiveUpReason::kFinal) task_.Status(GiveUpLine(verdict), kError);
      return false;
    }
    if (result == AttemptResult::kGoAgainNow) continue;
    task_.Status(WaitLine(verdict.wait_ms), kInformation);
    if (!WaitBeforeRetry(verdict.wait_ms)) return false;
  }
}

AttemptResult ConnectionWorker::Attempt(int* body) {
  if (number_ == 1 && !task_.probed()) {
    const ExchangeResult reply = ProbeExchange(*this, body);
    if (reply != ExchangeResult::kOk) return AttemptResult::kFailed;
    if (!task_.PrepareFile(*this)) return Failed(FailureKind::kFileFailed);
    task_.set_probed();
    return task_.streaming() ? StreamLoop(*body) : DataLoop(*body);
  }
  if (task_.streaming()) return StreamAttempt(body);
  const ExchangeResult reply = RangeExchange(*this, body);
  if (reply != ExchangeResult::kOk) return AttemptResult::kFailed;
  return whole_body_ ? WholeBodyLoop(*body) : DataLoop(*body);
}

bool ConnectionWorker::TakeNextSegment() {
  SegmentTable& segments = task_.segments();
  int next = segments.TakeNext(number_);
  // Nothing left to take: the connection halves the largest part another one still lacks, so
  // the end of a download is not left to a single connection. Below kMinTakeOver the new
  // request costs more than it saves.
  if (next < 0) next = segments.PickForNewConnection(number_, kMinTakeOver / 2);
  if (next < 0) return false;
  segments.Release(segment_);
  segment_ = next;
  return true;
}

bool ConnectionWorker::WaitBeforeRetry(int wait_ms) {
  const Clock& clock = task_.clock();
  long long deadline = clock.NowMs() + wait_ms;
  while (clock.NowMs() < deadline) {
    if (task_.stop_requested() || !running_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
  return !task_.stop_requested() && running_;
}

void ConnectionWorker::End(bool ok) {
  CloseChannel(channel_);
  OutputFile::Unmap(window_);
  std::int64_t reached = 0;
  if (task_.streaming() && number_ == 1) {
    reached = stream_written_;
  } else if (segment_ >= 0) {
    Segment s = task_.segments().Get(segment_);
    reached = whole_body_ ? body_offset_ : s.start + s.done;
    task_.segments().Release(segment_);
  }
  task_.Notify(ok ? kConnectionDone : kConnectionFailed, this, reached);
  std::vector<char>().swap(buffer_);
  task_.ConnectionEnded(*this);
}

void ConnectionWorker::CountReceived(std::int64_t n) {
  task_.CountReceived(n);
  received_.fetch_add(n, std::memory_order_relaxed);
}

void ConnectionWorker::Announce(std::int64_t start, std::int64_t end) {
  const int key = whole_body_ ? kWholeBodyKey : task_.streaming() ? kStreamKey : segment_;
  if (announced_segment_ != key) {
    task_.Notify(announced_any_ ? kFurtherSegment : kFirstSegment, this, start, end);
    announced_any_ = true;
    announced_segment_ = key;
  }
  if (number_ == 1 && task_.TakeTotalNotice()) task_.Notify(kTotalSize, this, task_.total());
}

int ConnectionWorker::BlockSize() const {
  const std::int64_t share = task_.speed_share();
  if (share > 0) return static_cast<int>(std::min<std::int64_t>(share, INT32_MAX));
  const int block = task_.param().ReceiveBlockSize;
  return block > 0 ? block : task_.settings().connection_buffer_size;
}

void ConnectionWorker::PaceReceive(long long started_ms) {
  if (task_.speed_share() <= 0) return;
  long long until = started_ms + 1000;
  while (runtime::TickCount() < until && !task_.stop_requested() && running_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

AttemptResult ConnectionWorker::MappingFailed() {
  // The file exists at its full size, so this means the address space ran out.
  task_.Status(SocketErrorText(kPositionError), kError);
  return Failed(FailureKind::kFileFailed);
}

AttemptResult ConnectionWorker::Failed(FailureKind kind) {
  failure_.kind = kind;
  return AttemptResult::kFailed;
}

}  // namespace vorel::download::internal
