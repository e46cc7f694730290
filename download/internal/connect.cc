#include "download/internal/connect.h"

#include <string>

#include "download/internal/download_task.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {

std::string Endpoint(const std::string& host, int port) {
  return host + ":" + std::to_string(port);
}

}  // namespace

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

namespace {

// Shakes hands for `host` on the connected channel (https).
ExchangeResult Handshake(ConnectionWorker& c, const RequestParts& parts,
                         const std::string& endpoint) {
  DownloadTask& task = c.task();
  std::string host;
  int ignored_port;
  SplitHostPort(parts.host, 443, &host, &ignored_port);
  std::string why;
  int r = task.tls().Handshake(c.channel(), host, task.param().ConnectTimeout, c.stop_signal(),
                               task.clock(), &why);
  if (r == 0) return ExchangeResult::kOk;
  if (r == kStopped) return ExchangeResult::kFailed;
  if (r == kTlsNotTrusted) {
    task.Status("服务器证书验证失败 ["_t + host + "]: " + why, kError);
    c.set_failure(FailureKind::kUntrustedCertificate);
    return ExchangeResult::kFailed;
  }
  if (r == kTlsNotSpoken) {
    task.Status("服务器 ["_t + endpoint + "]不支持安全连接(https)"_t, kError);
    c.set_failure(FailureKind::kPlainServer);
    return ExchangeResult::kFailed;
  }
  if (r == kTlsUnavailable) {
    task.Status("无法加载安全连接库 "_t + why, kError);
    c.set_failure(FailureKind::kNoTlsLibrary);
    return ExchangeResult::kFailed;
  }
  if (r == kConnectTimeout) c.set_failure(FailureKind::kNoHandshake);
  task.Status(r == kConnectTimeout ? "安全连接 ["_t + endpoint + "]超时"_t
                                   : "安全连接 ["_t + endpoint + "]失败"_t,
              kError);
  return ExchangeResult::kFailed;
}

}  // namespace

ExchangeResult Connect(ConnectionWorker& c, const std::string& dotted, int port,
                       const RequestParts& parts, bool probe) {
  DownloadTask& task = c.task();
  const bool proxy = !parts.proxy.empty();
  std::string endpoint = Endpoint(dotted, port);
  task.Status((proxy ? "正在连接代理服务器 ["_t : "正在连接 ["_t) + endpoint + "]", kInformation);
  Channel& channel = c.channel();
  CloseChannel(channel);
  channel.fd = OpenTcpSocket();
  int r = channel.fd < 0 ? kWaitFailed
                         : ConnectWithTimeout(channel.fd, dotted, port, task.param().ConnectTimeout,
                                              c.stop_signal(), task.clock());
  if (r == kStopped) return ExchangeResult::kFailed;
  if (r == kConnectTimeout) {
    task.Status("连接 ["_t + endpoint + "]超时"_t, kError);
    return ExchangeResult::kFailed;
  }
  if (r != 0) {
    if (r == kConnectRefused) c.set_failure(FailureKind::kRefused);
    task.Status("连接 ["_t + endpoint + "]失败"_t, kError);
    return ExchangeResult::kFailed;
  }
  task.Status((probe ? "连接 ["_t : "连接["_t) + endpoint + "]成功"_t, kInformation);
  if (!parts.tls) return ExchangeResult::kOk;
  return Handshake(c, parts, endpoint);
}

}  // namespace vorel::download::internal
