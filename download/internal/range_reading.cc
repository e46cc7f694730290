// A connection's reading of a known-size body into the mapped file: its own range from the
// first byte the segment lacks, or, from a server that ignores Range, the whole reply with
// only the bytes no other connection holds taken from it.

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

#include "download/internal/connection_worker.h"
#include "download/internal/download_task.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

namespace {
constexpr int kStepMs = 10;
}  // namespace

bool ConnectionWorker::Flush(int& buffered) {
  if (buffered <= 0) return true;
  SegmentTable::Span span = task_.segments().Reserve(segment_, buffered);
  buffered = 0;
  const bool written = channel_.tls != nullptr
                           ? task_.file().WriteThrough(span.offset, buffer_.data(), span.count)
                           : task_.file().Write(window_, span.offset, buffer_.data(), span.count);
  if (!written) return false;
  task_.segments().Commit(segment_, span.count);
  return true;
}

AttemptResult ConnectionWorker::DataLoop(int buffered) {
  SegmentTable& segments = task_.segments();
  OutputFile& file = task_.file();
  Segment s = segments.Get(segment_);
  Announce(s.start + s.done, s.start + s.length);
  // Bytes that came with the header beyond what the segment lacks are dropped.
  buffered = static_cast<int>(std::min<std::int64_t>(buffered, s.lacking()));
  if (buffered > 0) {
    CountReceived(buffered);
    task_.Notify(kBytesArrived, this, buffered);
    if (!Flush(buffered)) return MappingFailed();
  }
  // From here on each receive lands straight in the mapped file, at the segment's first
  // missing byte and never beyond what the segment lacks, which saves a copy per block.
  StopSignal stop = stop_signal();
  const int per_call = std::min(static_cast<int>(buffer_.size()), BlockSize());
  for (;;) {
    SegmentTable::Span span = segments.Reserve(segment_, per_call);
    if (span.count == 0) return AttemptResult::kSegmentDone;
    if (stop.Stopped()) return AttemptResult::kFailed;
    // TLS decrypts into a buffer of its own and copies out of it anyway: that copy goes to the
    // connection's small buffer, and from there the kernel copies into the file. Measured on a
    // 256 MiB download over five connections, this takes less CPU time than copying into
    // freshly mapped pages, and keeps no window of the file resident.
    const bool through_buffer = channel_.tls != nullptr;
    if (through_buffer) span.count = std::min<std::int64_t>(span.count, buffer_.size());
    char* destination =
        through_buffer ? buffer_.data() : file.Map(window_, span.offset, span.count);
    if (destination == nullptr) return MappingFailed();
    long long started = runtime::TickCount();
    // Under a speed limit the whole share is read before the pause that makes up the second.
    const int calls = task_.speed_share() > 0 ? INT32_MAX : 1;
    int n = ReceiveWithTimeout(channel_, destination, static_cast<int>(span.count), per_call,
                               task_.param().ReceiveTimeout, stop, task_.clock(), calls,
                               [&](int k) { CountReceived(k); });
    if (n > 0) {
      if (through_buffer && !file.WriteThrough(span.offset, destination, n)) {
        return MappingFailed();
      }
      segments.Commit(segment_, n);
      task_.Notify(kBytesArrived, this, n);
    }
    if (n < 0) {
      // A close in mid-segment is a failed attempt that resumes at the first missing byte.
      if (segments.Get(segment_).complete()) return AttemptResult::kSegmentDone;
      task_.Status(SocketErrorText(n), kError);
      return AttemptResult::kFailed;
    }
    PaceReceive(started);
  }
}

bool ConnectionWorker::FlushBody(int& buffered) {
  if (buffered <= 0) return true;
  const char* data = buffer_.data();
  bool written = true;
  std::int64_t accepted = task_.segments().FillFromBody(
      body_offset_, buffered, number_,
      [&](std::int64_t file_offset, std::int64_t run_offset, std::int64_t count) {
        written = task_.file().Write(window_, file_offset, data + run_offset, count) && written;
      });
  body_offset_ += buffered;
  buffered = 0;
  if (accepted > 0) {
    CountReceived(accepted);
    task_.Notify(kBytesArrived, this, accepted);
  }
  return written;
}

AttemptResult ConnectionWorker::WholeBodyLoop(int buffered) {
  const int buffer_size = static_cast<int>(buffer_.size());
  const std::int64_t total = task_.total();
  Announce(body_offset_, total);
  buffered = static_cast<int>(std::min<std::int64_t>(buffered, total - body_offset_));
  StopSignal stop = stop_signal();
  for (;;) {
    std::int64_t remaining = total - body_offset_ - buffered;
    if (remaining <= 0) {
      if (!FlushBody(buffered)) return MappingFailed();
      return AfterWholeBody();
    }
    if (stop.Stopped()) {
      if (!FlushBody(buffered)) return MappingFailed();
      return AttemptResult::kFailed;
    }
    const int per_call = std::min(buffer_size, BlockSize());
    const int block =
        static_cast<int>(std::min<std::int64_t>({per_call, buffer_size - buffered, remaining}));
    long long started = runtime::TickCount();
    int n = ReceiveWithTimeout(channel_, buffer_.data() + buffered, block, per_call,
                               task_.param().ReceiveTimeout, stop, task_.clock(), 1, nullptr);
    if (n < 0) {
      if (!FlushBody(buffered)) return MappingFailed();
      if (task_.segments().AllComplete()) return AttemptResult::kSegmentDone;
      task_.Status(SocketErrorText(n), kError);
      return AttemptResult::kFailed;
    }
    buffered += n;
    PaceReceive(started);
    if (buffered == buffer_size && !FlushBody(buffered)) return MappingFailed();
  }
}

AttemptResult ConnectionWorker::AfterWholeBody() {
  // Segments still held by other connections are either finished by them or given up, which
  // leaves them to another pass over the whole body.
  CloseChannel(channel_);
  StopSignal stop = stop_signal();
  for (;;) {
    if (task_.segments().AllComplete()) return AttemptResult::kSegmentDone;
    if (task_.segments().HasUnownedGap(number_)) return AttemptResult::kGoAgainNow;
    if (stop.Stopped()) return AttemptResult::kFailed;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

}  // namespace vorel::download::internal
