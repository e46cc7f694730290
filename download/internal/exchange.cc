#include "download/internal/exchange.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "download/internal/file_names.h"
#include "download/internal/response_header.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {

constexpr int kHeaderChunk = 4096;

std::string Endpoint(const std::string& host, int port) {
  return host + ":" + std::to_string(port);
}

// Host and port of a host part ("name", "name:port") or a proxy ("[http://]name[:port][/]").
void SplitHostPort(std::string_view text, int default_port, std::string* host, int* port) {
  if (text.size() >= 7 && (text.substr(0, 7) == "http://" || text.substr(0, 7) == "HTTP://")) {
    text.remove_prefix(7);
  }
  text = text.substr(0, text.find('/'));
  text = text.substr(text.find('@') == std::string_view::npos ? 0 : text.find('@') + 1);
  std::size_t colon = text.find(':');
  *port = default_port;
  if (colon != std::string_view::npos) {
    int value = 0;
    for (char c : text.substr(colon + 1)) {
      if (c < '0' || c > '9' || value > 65535) break;
      value = value * 10 + (c - '0');
    }
    if (value > 0 && value <= 65535) *port = value;
  }
  host->assign(text.substr(0, colon));
}

// Connects the channel to dotted:port with the task's time-out and, for https, shakes hands
// for `host`. Status lines as the caller's kind asks: the probe's "[...]成功" has a space before
// the bracket, a range connection's has none.
int Connect(DownloadTask& task, Connection& c, const std::string& dotted, int port,
            const RequestParts& parts, bool probe) {
  const bool proxy = !parts.proxy.empty();
  std::string endpoint = Endpoint(dotted, port);
  task.Status((proxy ? "正在连接代理服务器 ["_t : "正在连接 ["_t) + endpoint + "]", kInformation);
  CloseChannel(c.channel);
  c.channel.fd = OpenTcpSocket();
  int r = c.channel.fd < 0
              ? kWaitFailed
              : ConnectWithTimeout(c.channel.fd, dotted, port, task.param().ConnectTimeout,
                                   task.stop_signal(c), task.clock());
  if (r == kStopped) return -1;
  if (r == kConnectTimeout) {
    task.Status("连接 ["_t + endpoint + "]超时"_t, kError);
    return -1;
  }
  if (r != 0) {
    if (r == kConnectRefused) c.failure.kind = FailureKind::kRefused;
    task.Status("连接 ["_t + endpoint + "]失败"_t, kError);
    return -1;
  }
  task.Status((probe ? "连接 ["_t : "连接["_t) + endpoint + "]成功"_t, kInformation);
  if (!parts.tls) return 1;

  std::string host;
  int ignored_port;
  SplitHostPort(parts.host, 443, &host, &ignored_port);
  std::string why;
  r = task.tls().Handshake(c.channel, host, task.param().ConnectTimeout, task.stop_signal(c),
                           task.clock(), &why);
  if (r == 0) return 1;
  if (r == kStopped) return -1;
  if (r == kTlsNotTrusted) {
    // Another attempt would meet the same certificate.
    task.Status("服务器证书验证失败 ["_t + host + "]: " + why, kError);
    return 0;
  }
  if (r == kTlsNotSpoken) {
    // A server that answers a handshake with plain text answers every attempt the same way.
    task.Status("服务器 ["_t + endpoint + "]不支持安全连接(https)"_t, kError);
    return 0;
  }
  if (r == kTlsUnavailable) {
    // Nothing in this process can speak TLS: every further attempt would fail the same way.
    task.Status("无法加载安全连接库 "_t + why, kError);
    return 0;
  }
  if (r == kConnectTimeout) c.failure.kind = FailureKind::kNoHandshake;
  task.Status(r == kConnectTimeout ? "安全连接 ["_t + endpoint + "]超时"_t
                                   : "安全连接 ["_t + endpoint + "]失败"_t,
              kError);
  return -1;
}

int Send(DownloadTask& task, Connection& c, const runtime::Text& request) {
  task.Status(request, kRequestSent);
  // A send that cannot even start within the time-out fails the attempt at once rather than
  // waiting a further receive time-out for a reply that cannot come.
  if (SendWithTimeout(c.channel, request, task.param().SendTimeout) < 0) {
    task.Status("发送请求失败"_t, kError);
    return -1;
  }
  return 1;
}

// Reads until a whole header is in. The bytes after it go to the start of c.buffer.
int ReadHeader(DownloadTask& task, Connection& c, ResponseHeader* header, int* body_bytes) {
  const int limit = task.settings().header_limit;
  std::string received;
  char chunk[kHeaderChunk];
  for (;;) {
    int n = ReceiveWithTimeout(c.channel, chunk, kHeaderChunk, kHeaderChunk,
                               task.param().ReceiveTimeout, task.stop_signal(c), task.clock(), 1,
                               nullptr);
    if (n == 0 || task.stop_requested()) return -1;
    if (n < 0 && !received.empty() && received.find("HTTP/1.") == std::string::npos) {
      // The server said something and then closed or fell silent, and none of it was an HTTP
      // status line: another protocol, which no later attempt turns into a reply.
      task.Status("服务器的回应不是HTTP"_t, kError);
      return 0;
    }
    if (n < 0) {
      task.Status(SocketErrorText(n), kError);
      return -1;
    }
    received.append(chunk, static_cast<std::size_t>(n));
    std::optional<HeaderSpan> span = FindHeader(received);
    if (span && static_cast<int>(span->end - span->begin) <= limit) {
      std::string_view text =
          std::string_view(received).substr(span->begin, span->end - span->begin);
      task.Status(runtime::Text(text), kReplyHeader);
      *header = ParseResponseHeader(text);
      std::size_t body = std::min(received.size() - span->end, c.buffer.size());
      std::memcpy(c.buffer.data(), received.data() + span->end, body);
      *body_bytes = static_cast<int>(body);
      return 1;
    }
    if (span || static_cast<int>(received.size()) > limit) {
      task.Status("HTTP返回头部信息过长"_t, kError);
      return 0;
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
int AskForRange(DownloadTask& task, Connection& c, std::int64_t offset, ResponseHeader* header,
                int* body_bytes) {
  RequestParts parts = task.request();
  if (int r = Connect(task, c, task.dotted(), task.server_port(), parts, false); r != 1) return r;
  runtime::Text range = "Range: bytes=" + std::to_string(offset) + "-\r\n";
  if (Send(task, c,
           BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer, parts.user_agent,
                            range)) != 1) {
    return -1;
  }
  return ReadHeader(task, c, header, body_bytes);
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void SetFraming(Connection& c, const ResponseHeader& header) {
  c.body = BodyReader::ForReply(header);
}

// A "not now" reply: a failed attempt, made again after the wait the retry rules give it.
int NotNow(DownloadTask& task, Connection& c, const ResponseHeader& header) {
  c.failure = c.retry.NotNow(header.retry_after, std::time(nullptr));
  task.Status("服务器暂时无法提供文件, 返回号["_t + std::to_string(header.status) + "]", kError);
  return -1;
}

int RejectStatus(DownloadTask& task, int status) {
  if (status == 400 || status == 403 || status == 404) {
    task.Status("出现错误"_t, kError);
  } else {
    task.Status("暂时不支持的返回, 返回号["_t + std::to_string(status) + "]", kError);
  }
  return 0;
}

}  // namespace

int ProbeExchange(DownloadTask& task, Connection& c, int* body_bytes) {
  int redirects = 0;
  for (;;) {
    RequestParts parts = task.request();
    bool proxy = !parts.proxy.empty();
    if (proxy && parts.tls) {
      task.Status("COOKIE过长或获得重定向信息错误或不支持的协议"_t, kError);
      return 0;
    }
    std::string host;
    int port = 80;
    SplitHostPort(proxy ? parts.proxy : parts.host, parts.tls ? 443 : 80, &host, &port);
    std::string dotted = host;
    if (!IsDottedIpv4(host)) {
      task.Status((proxy ? "正在代理服务器解析域名 ["_t : "正在解析域名 ["_t) + host + "]",
                  kInformation);
      std::optional<std::string> resolved = ResolveIpv4(host);
      if (!resolved) {
        c.failure.kind = FailureKind::kUnresolved;
        task.Status((proxy ? "解析代理服务器域名 ["_t : "解析域名 ["_t) + host + "]出错"_t, kError);
        return -1;
      }
      dotted = *resolved;
    }
    task.set_server(dotted, port);
    if (int r = Connect(task, c, dotted, port, parts, true); r != 1) return r;
    if (Send(task, c,
             BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer,
                              parts.user_agent, parts.extra_line)) != 1) {
      return -1;
    }
    ResponseHeader header;
    int r = ReadHeader(task, c, &header, body_bytes);
    if (r != 1) return r;
    if (RetryDecider::IsNotNow(header.status)) return NotNow(task, c, header);
    TakeDispositionName(task, header);

    if (IsRedirect(header.status)) {
      if (header.location.empty() || ++redirects > task.settings().max_redirects) {
        task.Status("获得重定向信息错误"_t, kError);
        return 0;
      }
      task.Status("重定向到 ["_t + header.location + "]", kError);
      if (!RebuildForRedirect(parts, header)) {
        task.Status("COOKIE过长或获得重定向信息错误或不支持的协议"_t, kError);
        return 0;
      }
      task.set_request(parts);
      CloseChannel(c.channel);
      continue;
    }
    if (header.status != 200 && header.status != 206) return RejectStatus(task, header.status);
    if (header.status == 200 && !header.length_given) {
      // No size: the body ends with its last chunk or with the server's close.
      task.set_streaming();
      task.set_total(-1);
      SetFraming(c, header);
      return 1;
    }
    std::int64_t length = (header.status == 200 && !header.chunked) ? header.content_length : -1;
    if (length < 0) {
      task.Status("无法获得文件大小"_t, kError);
      return 0;
    }
    task.set_total(length);
    return 1;
  }
}

int StreamExchange(DownloadTask& task, Connection& c, std::int64_t offset, int* body_bytes,
                   ResponseHeader* header) {
  int r = AskForRange(task, c, offset, header, body_bytes);
  if (r != 1) return r;
  if (RetryDecider::IsNotNow(header->status)) return NotNow(task, c, *header);
  if (header->status == 200 || header->status == 206 || header->status == 416) {
    SetFraming(c, *header);
    return 1;
  }
  return RejectStatus(task, header->status);
}

int RangeExchange(DownloadTask& task, Connection& c, int* body_bytes) {
  std::int64_t offset;
  if (c.whole_body) {
    offset = task.segments().FirstMissing();
    if (offset < 0) offset = 0;
  } else {
    Segment s = task.segments().Get(c.segment);
    offset = s.start + s.done;
  }
  ResponseHeader header;
  int r = AskForRange(task, c, offset, &header, body_bytes);
  if (r != 1) return r;
  if (RetryDecider::IsNotNow(header.status)) return NotNow(task, c, header);
  TakeDispositionName(task, header);

  if (header.status == 200) {
    // The whole file instead of a range. Only a reply of the same length can stand in for it.
    task.Status("出现错误"_t, kError);
    if (header.chunked || header.content_length != task.total()) return 0;
    if (!task.ClaimWholeBody(c)) return 0;
    c.body_offset = 0;
    return 1;
  }
  if (header.status == 206) {
    if (header.chunked) {
      task.Status("出现错误"_t, kError);  // a range must arrive as the bytes themselves
      return 0;
    }
    if (header.range_total >= 0 && header.range_total != task.total()) {
      task.Status("出现错误"_t, kError);  // the file changed on the server
      return 0;
    }
    if (header.range_start != offset) {
      // The server sends another range than the one asked for, and would send it again.
      task.Status("服务器返回的数据范围与请求不符"_t, kError);
      return 0;
    }
    c.body_offset = offset;
    return 1;
  }
  return RejectStatus(task, header.status);
}

}  // namespace vorel::download::internal
