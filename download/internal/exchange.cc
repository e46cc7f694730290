#include "download/internal/exchange.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "download/internal/connect.h"
#include "download/internal/download_task.h"
#include "download/internal/file_names.h"
#include "download/internal/response_header.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {

constexpr int kHeaderChunk = 4096;

// A failed step: `kind` tells the retry rules what happened.
ExchangeResult Fail(ConnectionWorker& c, FailureKind kind) {
  c.set_failure(kind);
  return ExchangeResult::kFailed;
}

bool Send(ConnectionWorker& c, const runtime::Text& request) {
  DownloadTask& task = c.task();
  task.Status(request, kRequestSent);
  // A send that cannot even start within the time-out fails the attempt at once rather than
  // waiting a further receive time-out for a reply that cannot come.
  if (SendWithTimeout(c.channel(), request, task.param().SendTimeout) < 0) {
    task.Status("发送请求失败"_t, kError);
    return false;
  }
  return true;
}

// Reads until a whole header is in. The bytes after it go to the start of the buffer.
ExchangeResult ReadHeader(ConnectionWorker& c, ResponseHeader* header, int* body_bytes) {
  DownloadTask& task = c.task();
  const int limit = task.settings().header_limit;
  std::string received;
  char chunk[kHeaderChunk];
  for (;;) {
    int n =
        ReceiveWithTimeout(c.channel(), chunk, kHeaderChunk, kHeaderChunk,
                           task.param().ReceiveTimeout, c.stop_signal(), task.clock(), 1, nullptr);
    if (n == 0 || task.stop_requested()) return ExchangeResult::kFailed;
    if (n < 0 && !received.empty() && received.find("HTTP/1.") == std::string::npos) {
      // The server said something and then closed or fell silent, and none of it was an HTTP
      // status line: another protocol, which no later attempt turns into a reply.
      task.Status("服务器的回应不是HTTP"_t, kError);
      return Fail(c, FailureKind::kNotHttp);
    }
    if (n < 0) {
      task.Status(SocketErrorText(n), kError);
      return ExchangeResult::kFailed;
    }
    received.append(chunk, static_cast<std::size_t>(n));
    std::optional<HeaderSpan> span = FindHeader(received);
    if (span && static_cast<int>(span->end - span->begin) <= limit) {
      std::string_view text =
          std::string_view(received).substr(span->begin, span->end - span->begin);
      task.Status(runtime::Text(text), kReplyHeader);
      *header = ParseResponseHeader(text);
      std::vector<char>& buffer = c.buffer();
      std::size_t body = std::min(received.size() - span->end, buffer.size());
      std::memcpy(buffer.data(), received.data() + span->end, body);
      *body_bytes = static_cast<int>(body);
      return ExchangeResult::kOk;
    }
    if (span || static_cast<int>(received.size()) > limit) {
      task.Status("HTTP返回头部信息过长"_t, kError);
      return Fail(c, FailureKind::kHeaderTooLong);
    }
  }
}

// Gives a local path that ends in "/" the Content-Disposition name, if the reply has one.
void TakeDispositionName(DownloadTask& task, const ResponseHeader& header) {
  runtime::Text path = task.local_path();
  if (path.empty() || path.back() != '/') return;
  runtime::Text name = DispositionFileName(header.content_disposition);
  if (!name.empty()) task.SetLocalPath(path + SafeFileName(name));
}

// Connects to the server the probe found, asks for the bytes from `offset` on and reads the
// reply header.
ExchangeResult AskForRange(ConnectionWorker& c, std::int64_t offset, ResponseHeader* header,
                           int* body_bytes) {
  DownloadTask& task = c.task();
  RequestParts parts = task.request();
  ExchangeResult r = Connect(c, task.dotted(), task.server_port(), parts, false);
  if (r != ExchangeResult::kOk) return r;
  runtime::Text range = "Range: bytes=" + std::to_string(offset) + "-\r\n";
  if (!Send(c, BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer,
                                parts.user_agent, range))) {
    return ExchangeResult::kFailed;
  }
  return ReadHeader(c, header, body_bytes);
}

// A "not now" reply: a failed attempt, made again after the wait the retry rules give it.
ExchangeResult NotNow(ConnectionWorker& c, const ResponseHeader& header) {
  c.set_failure(c.retry().NotNow(header.retry_after, std::time(nullptr)));
  c.task().Status("服务器暂时无法提供文件, 返回号["_t + std::to_string(header.status) + "]",
                  kError);
  return ExchangeResult::kFailed;
}

ExchangeResult RejectStatus(ConnectionWorker& c, int status) {
  DownloadTask& task = c.task();
  if (status == 400 || status == 403 || status == 404) {
    task.Status("出现错误"_t, kError);
  } else {
    task.Status("暂时不支持的返回, 返回号["_t + std::to_string(status) + "]", kError);
  }
  return Fail(c, FailureKind::kErrorStatus);
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The probe's server: the host (or the proxy) as a dotted address, stored in the task. False
// when the name does not resolve.
bool FindServer(ConnectionWorker& c, const RequestParts& parts, std::string* dotted, int* port) {
  DownloadTask& task = c.task();
  const bool proxy = !parts.proxy.empty();
  std::string host;
  SplitHostPort(proxy ? parts.proxy : parts.host, parts.tls ? 443 : 80, &host, port);
  *dotted = host;
  if (!IsDottedIpv4(host)) {
    task.Status((proxy ? "正在代理服务器解析域名 ["_t : "正在解析域名 ["_t) + host + "]",
                kInformation);
    std::optional<std::string> resolved = ResolveIpv4(host);
    if (!resolved) {
      c.set_failure(FailureKind::kUnresolved);
      task.Status((proxy ? "解析代理服务器域名 ["_t : "解析域名 ["_t) + host + "]出错"_t, kError);
      return false;
    }
    *dotted = *resolved;
  }
  task.set_server(*dotted, *port);
  return true;
}

// Takes the redirect's target as the task's request; kOk when the probe asks there next.
ExchangeResult FollowRedirect(ConnectionWorker& c, RequestParts& parts,
                              const ResponseHeader& header, int* redirects) {
  DownloadTask& task = c.task();
  if (header.location.empty() || ++*redirects > task.settings().max_redirects) {
    task.Status("获得重定向信息错误"_t, kError);
    return Fail(c, FailureKind::kBadRedirect);
  }
  task.Status("重定向到 ["_t + header.location + "]", kError);
  if (!RebuildForRedirect(parts, header)) {
    task.Status("COOKIE过长或获得重定向信息错误或不支持的协议"_t, kError);
    return Fail(c, FailureKind::kBadRedirect);
  }
  task.set_request(parts);
  CloseChannel(c.channel());
  return ExchangeResult::kOk;
}

// The size the probe's final reply gives, or a body of unknown size to read to its end.
ExchangeResult TakeSize(ConnectionWorker& c, const ResponseHeader& header) {
  DownloadTask& task = c.task();
  if (header.status != 200 && header.status != 206) return RejectStatus(c, header.status);
  if (header.status == 200 && !header.length_given) {
    // No size: the body ends with its last chunk or with the server's close.
    task.set_streaming();
    task.set_total(-1);
    c.set_body_reader(BodyReader::ForReply(header));
    return ExchangeResult::kOk;
  }
  std::int64_t length = (header.status == 200 && !header.chunked) ? header.content_length : -1;
  if (length < 0) {
    task.Status("无法获得文件大小"_t, kError);
    return Fail(c, FailureKind::kUnknownSize);
  }
  task.set_total(length);
  return ExchangeResult::kOk;
}

}  // namespace

ExchangeResult ProbeExchange(ConnectionWorker& c, int* body_bytes) {
  DownloadTask& task = c.task();
  int redirects = 0;
  for (;;) {
    RequestParts parts = task.request();
    if (!parts.proxy.empty() && parts.tls) {
      task.Status("COOKIE过长或获得重定向信息错误或不支持的协议"_t, kError);
      return Fail(c, FailureKind::kUnsupportedRequest);
    }
    std::string dotted;
    int port = 80;
    if (!FindServer(c, parts, &dotted, &port)) return ExchangeResult::kFailed;
    ExchangeResult r = Connect(c, dotted, port, parts, true);
    if (r != ExchangeResult::kOk) return r;
    if (!Send(c, BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer,
                                  parts.user_agent, parts.extra_line))) {
      return ExchangeResult::kFailed;
    }
    ResponseHeader header;
    r = ReadHeader(c, &header, body_bytes);
    if (r != ExchangeResult::kOk) return r;
    if (RetryDecider::IsNotNow(header.status)) return NotNow(c, header);
    TakeDispositionName(task, header);
    if (!IsRedirect(header.status)) return TakeSize(c, header);
    r = FollowRedirect(c, parts, header, &redirects);
    if (r != ExchangeResult::kOk) return r;
  }
}

ExchangeResult StreamExchange(ConnectionWorker& c, std::int64_t offset, int* body_bytes,
                              ResponseHeader* header) {
  ExchangeResult r = AskForRange(c, offset, header, body_bytes);
  if (r != ExchangeResult::kOk) return r;
  if (RetryDecider::IsNotNow(header->status)) return NotNow(c, *header);
  if (header->status == 200 || header->status == 206 || header->status == 416) {
    c.set_body_reader(BodyReader::ForReply(*header));
    return ExchangeResult::kOk;
  }
  return RejectStatus(c, header->status);
}

ExchangeResult RangeExchange(ConnectionWorker& c, int* body_bytes) {
  DownloadTask& task = c.task();
  std::int64_t offset;
  if (c.whole_body()) {
    offset = task.segments().FirstMissing();
    if (offset < 0) offset = 0;
  } else {
    Segment s = task.segments().Get(c.segment());
    offset = s.start + s.done;
  }
  ResponseHeader header;
  ExchangeResult r = AskForRange(c, offset, &header, body_bytes);
  if (r != ExchangeResult::kOk) return r;
  if (RetryDecider::IsNotNow(header.status)) return NotNow(c, header);
  TakeDispositionName(task, header);

  if (header.status == 200) {
    // The whole file instead of a range. Only a reply of the same length can stand in for it.
    task.Status("出现错误"_t, kError);
    if (header.chunked || header.content_length != task.total()) {
      return Fail(c, FailureKind::kMismatchedReply);
    }
    if (!c.ClaimWholeBody()) return Fail(c, FailureKind::kBodyTakenElsewhere);
    c.set_body_offset(0);
    return ExchangeResult::kOk;
  }
  if (header.status == 206) {
    if (header.chunked) {
      task.Status("出现错误"_t, kError);  // a range must arrive as the bytes themselves
      return Fail(c, FailureKind::kMismatchedReply);
    }
    if (header.range_total >= 0 && header.range_total != task.total()) {
      task.Status("出现错误"_t, kError);  // the file changed on the server
      return Fail(c, FailureKind::kMismatchedReply);
    }
    if (header.range_start != offset) {
      // The server sends another range than the one asked for, and would send it again.
      task.Status("服务器返回的数据范围与请求不符"_t, kError);
      return Fail(c, FailureKind::kMismatchedReply);
    }
    c.set_body_offset(offset);
    return ExchangeResult::kOk;
  }
  return RejectStatus(c, header.status);
}

}  // namespace vorel::download::internal
