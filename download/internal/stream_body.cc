// Bodies of unknown size (chunked, or ended by the server's close): the probe reads them to
// their end over one connection, resuming with a range request after a failure, and checks
// with one after a close that nothing follows.

#include <algorithm>

#include "download/internal/connection_worker.h"
#include "download/internal/download_task.h"
#include "download/internal/exchange.h"
#include "download/internal/response_header.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

using namespace runtime::literals;

AttemptResult ConnectionWorker::StreamAttempt(int* body) {
  ResponseHeader header;
  const ExchangeResult reply = StreamExchange(*this, stream_written_, body, &header);
  if (reply != ExchangeResult::kOk) return AttemptResult::kFailed;
  const bool checking = stream_check_;
  stream_check_ = false;
  if (header.status == 416) {
    // Nothing lies past the bytes written: the close did end the body, unless the size the
    // server names says otherwise.
    if (header.range_total < 0 || header.range_total == stream_written_) {
      stream_complete_ = true;
      return AttemptResult::kSegmentDone;
    }
    task_.Status("出现错误"_t, kError);
    return Failed(FailureKind::kMismatchedReply);
  }
  if (header.status == 206) {
    if (header.range_start != stream_written_) {
      task_.Status("服务器返回的数据范围与请求不符"_t, kError);
      return Failed(FailureKind::kMismatchedReply);
    }
    return StreamLoop(*body);
  }
  // 200: the server sends the whole body again. After a close, a size that matches (or none)
  // leaves the body as it was; otherwise the body is read anew from its first byte.
  if (checking) {
    std::int64_t length = header.length_given && !header.chunked ? header.content_length : -1;
    if (length < 0 || length == stream_written_) {
      stream_complete_ = true;
      return AttemptResult::kSegmentDone;
    }
  }
  stream_written_ = 0;
  return StreamLoop(*body);
}

bool ConnectionWorker::StreamWrite(const char* data, std::int64_t count) {
  if (count <= 0) return true;
  OutputFile& file = task_.file();
  if (!file.Reserve(stream_written_ + count) ||
      !file.Write(window_, stream_written_, data, count)) {
    return false;
  }
  stream_written_ += count;
  CountReceived(count);
  task_.Notify(kBytesArrived, this, count);
  return true;
}

AttemptResult ConnectionWorker::StreamLoop(int buffered) {
  Announce(stream_written_, -1);
  StopSignal stop = stop_signal();
  const int per_call = std::min(static_cast<int>(buffer_.size()), BlockSize());
  for (;;) {
    if (buffered > 0) {
      bool written = true;
      body_.Feed(buffer_.data(), static_cast<std::size_t>(buffered),
                 [&](const char* run, std::size_t n) {
                   written = StreamWrite(run, static_cast<std::int64_t>(n)) && written;
                 });
      buffered = 0;
      if (!written) {
        task_.Status(CreateErrorText(), kError);
        return Failed(FailureKind::kFileFailed);
      }
    }
    if (body_.state() == BodyReader::State::kDone) {
      stream_complete_ = true;
      return AttemptResult::kSegmentDone;
    }
    if (body_.state() == BodyReader::State::kBroken) {
      task_.Status("出现错误"_t, kError);
      return Failed(FailureKind::kMismatchedReply);
    }
    if (stop.Stopped()) return AttemptResult::kFailed;
    long long started = runtime::TickCount();
    int n = ReceiveWithTimeout(channel_, buffer_.data(), per_call, per_call,
                               task_.param().ReceiveTimeout, stop, task_.clock(), 1, nullptr);
    if (n < 0) {
      if (n == kClosedByServer && body_.framing() == BodyFraming::kUntilClose) {
        // The close may have ended the body or cut it short; a range request from here on
        // tells which.
        stream_check_ = true;
        return AttemptResult::kGoAgainNow;
      }
      task_.Status(SocketErrorText(n), kError);
      return AttemptResult::kFailed;
    }
    buffered = n;
    PaceReceive(started);
  }
}

}  // namespace vorel::download::internal
