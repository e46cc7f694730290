// Bodies of unknown size (chunked, or ended by the server's close): the probe reads them to
// their end over one connection, resuming with a range request after a failure, and checks
// with one after a close that nothing follows.

#include <algorithm>

#include "download/internal/download_task.h"
#include "download/internal/exchange.h"
#include "download/internal/response_header.h"
#include "runtime/threads.h"

namespace vorel::download::internal {

using namespace runtime::literals;

int DownloadTask::StreamAttempt(Connection& c, int* body) {
  ResponseHeader header;
  int r = StreamExchange(*this, c, stream_written_, body, &header);
  if (r != 1) return r;
  const bool checking = stream_check_;
  stream_check_ = false;
  if (header.status == 416) {
    // Nothing lies past the bytes written: the close did end the body, unless the size the
    // server names says otherwise.
    if (header.range_total < 0 || header.range_total == stream_written_) {
      stream_complete_ = true;
      return kSegmentDone;
    }
    Status("出现错误"_t, kError);
    return 0;
  }
  if (header.status == 206) {
    if (header.range_start != stream_written_) {
      Status("服务器返回的数据范围与请求不符"_t, kError);
      return 0;
    }
    return StreamLoop(c, *body);
  }
  // 200: the server sends the whole body again. After a close, a size that matches (or none)
  // leaves the body as it was; otherwise the body is read anew from its first byte.
  if (checking) {
    std::int64_t length = header.length_given && !header.chunked ? header.content_length : -1;
    if (length < 0 || length == stream_written_) {
      stream_complete_ = true;
      return kSegmentDone;
    }
  }
  stream_written_ = 0;
  return StreamLoop(c, *body);
}

bool DownloadTask::StreamWrite(Connection& c, const char* data, std::int64_t count) {
  if (count <= 0) return true;
  if (!file_->Reserve(stream_written_ + count) ||
      !file_->Write(c.window, stream_written_, data, count)) {
    return false;
  }
  stream_written_ += count;
  CountReceived(c, count);
  Notify(kBytesArrived, &c, count);
  return true;
}

int DownloadTask::StreamLoop(Connection& c, int buffered) {
  Announce(c, stream_written_, -1);
  StopSignal stop = stop_signal(c);
  const int per_call = std::min(static_cast<int>(c.buffer.size()), BlockSize());
  for (;;) {
    if (buffered > 0) {
      bool written = true;
      c.body.Feed(c.buffer.data(), static_cast<std::size_t>(buffered),
                  [&](const char* run, std::size_t n) {
                    written = StreamWrite(c, run, static_cast<std::int64_t>(n)) && written;
                  });
      buffered = 0;
      if (!written) {
        Status(CreateErrorText(), kError);
        return 0;
      }
    }
    if (c.body.state() == BodyReader::State::kDone) {
      stream_complete_ = true;
      return kSegmentDone;
    }
    if (c.body.state() == BodyReader::State::kBroken) {
      Status("出现错误"_t, kError);
      return 0;
    }
    if (stop.Stopped()) return -1;
    long long started = runtime::TickCount();
    int n = ReceiveWithTimeout(c.channel, c.buffer.data(), per_call, per_call,
                               param_.ReceiveTimeout, stop, clock_, 1, nullptr);
    if (n < 0) {
      if (n == kClosedByServer && c.body.framing() == BodyFraming::kUntilClose) {
        // The close may have ended the body or cut it short; a range request from here on
        // tells which.
        stream_check_ = true;
        return kPassAgain;
      }
      Status(SocketErrorText(n), kError);
      return -1;
    }
    buffered = n;
    PaceReceive(c, started);
  }
}

}  // namespace vorel::download::internal
