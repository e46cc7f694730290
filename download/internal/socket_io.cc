#include "download/internal/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "download/internal/openssl_api.h"

namespace vorel::download::internal {

using namespace runtime::literals;

namespace {

constexpr int kStepMs = 10;

// poll() for `events` for one step; >0 ready, 0 nothing, <0 failure. EINTR counts as nothing.
int PollStep(int fd, short events, int ms, short* revents) {
  pollfd p{fd, events, 0};
  int r = poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  *revents = p.revents;
  return r;
}

// Results of one read or write beside byte counts: the channel would block until the socket
// is readable or writable (TLS may need either for both directions).
constexpr int kWantRead = -100;
constexpr int kWantWrite = -101;

int TlsResult(ssl_st* tls, int r, int failure) {
  switch (OpenSsl().SSL_get_error(tls, r)) {
    case SSL_ERROR_WANT_READ: return kWantRead;
    case SSL_ERROR_WANT_WRITE: return kWantWrite;
    case SSL_ERROR_ZERO_RETURN: return 0;
    case SSL_ERROR_SYSCALL:
      if (errno == EINTR) return kWantRead;
      return failure;
    default: return failure;
  }
}

// Bytes read (> 0), 0 when the peer closed, kWantRead / kWantWrite, or kReceiveFailed.
int ReadSome(Channel& channel, char* buffer, int count) {
  if (channel.tls != nullptr) {
    OpenSsl().ERR_clear_error();
    int r = OpenSsl().SSL_read(channel.tls, buffer, count);
    return r > 0 ? r : TlsResult(channel.tls, r, kReceiveFailed);
  }
  ssize_t n = recv(channel.fd, buffer, static_cast<std::size_t>(count), 0);
  if (n >= 0) return static_cast<int>(n);
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return kWantRead;
  return kReceiveFailed;
}

// Bytes written (> 0), kWantRead / kWantWrite, or kSendFailed. Never raises SIGPIPE.
int WriteSome(Channel& channel, const char* data, std::size_t count) {
  const int chunk = static_cast<int>(std::min<std::size_t>(count, 1 << 20));
  if (channel.tls != nullptr) {
    OpenSsl().ERR_clear_error();
    int r = OpenSsl().SSL_write(channel.tls, data, chunk);
    return r > 0 ? r : TlsResult(channel.tls, r, kSendFailed);
  }
  ssize_t n = send(channel.fd, data, static_cast<std::size_t>(chunk), MSG_NOSIGNAL);
  if (n > 0) return static_cast<int>(n);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return kWantWrite;
  return kSendFailed;
}

}  // namespace

int OpenTcpSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

void CloseSocket(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

void CloseChannel(Channel& channel) {
  if (channel.tls != nullptr) {
    // No close_notify: the engine closes only to abandon an exchange or after a finished body,
    // and waiting for the peer would delay a stop.
    OpenSsl().SSL_free(channel.tls);
    channel.tls = nullptr;
  }
  CloseSocket(channel.fd);
}

bool IsDottedIpv4(const std::string& host) {
  in_addr addr{};
  return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

std::optional<std::string> ResolveIpv4(const std::string& host) {
  in_addr addr{};
  if (inet_pton(AF_INET, host.c_str(), &addr) == 1) return host;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) {
    return std::nullopt;
  }
  char dotted[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  const char* ok = inet_ntop(AF_INET, &in->sin_addr, dotted, sizeof dotted);
  freeaddrinfo(list);
  if (ok == nullptr) return std::nullopt;
  return std::string(dotted);
}

int ConnectWithTimeout(int fd, const std::string& dotted, int port, int timeout_ms,
                       const StopSignal& stop, const Clock& clock) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return kWaitFailed;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, dotted.c_str(), &addr.sin_addr) != 1) return kWaitFailed;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
  if (errno == ECONNREFUSED) return kConnectRefused;
  if (errno != EINPROGRESS && errno != EINTR) return kWaitFailed;
  const long long deadline = clock.NowMs() + std::max(timeout_ms, kStepMs);
  while (clock.NowMs() < deadline) {
    if (stop.Stopped()) return kStopped;
    short revents = 0;
    int r = PollStep(fd, POLLOUT, kStepMs, &revents);
    if (r < 0) return kWaitFailed;
    if (r == 0) continue;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return kWaitFailed;
    if (error == ECONNREFUSED) return kConnectRefused;
    return error == 0 ? 0 : kWaitFailed;
  }
  return stop.Stopped() ? kStopped : kConnectTimeout;
}

int SendWithTimeout(Channel& channel, std::string_view text, int timeout_ms) {
  std::size_t sent = 0;
  short wait_for = POLLOUT;
  while (sent < text.size()) {
    int n = WriteSome(channel, text.data() + sent, text.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n != kWantRead && n != kWantWrite) return kSendFailed;
    wait_for = n == kWantRead ? POLLIN : POLLOUT;
    pollfd p{channel.fd, wait_for, 0};
    int r = poll(&p, 1, timeout_ms > 0 ? timeout_ms : -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    if (r == 0) return kWaitTimeout;
    if (!(p.revents & (wait_for | POLLHUP | POLLERR))) return kNotReady;
  }
  return static_cast<int>(sent);
}

int ReceiveWithTimeout(Channel& channel, char* buffer, int wanted, int per_call, int timeout_ms,
                       const StopSignal& stop, const Clock& clock, int max_calls,
                       const std::function<void(int)>& on_chunk) {
  if (buffer == nullptr) return kNoBuffer;
  int got = 0;
  int calls = 0;
  long long last_data = clock.NowMs();
  while (got < wanted && !stop.Stopped()) {
    // Try the read first: on a busy connection data is usually waiting, and this saves the
    // poll call per block (and TLS may hold decrypted bytes that no poll would announce).
    int n = ReadSome(channel, buffer + got, std::min(per_call, wanted - got));
    if (n > 0) {
      got += n;
      last_data = clock.NowMs();
      if (on_chunk) on_chunk(n);
      if (++calls >= max_calls) break;
      continue;
    }
    if (n == 0) return got > 0 ? got : kClosedByServer;
    if (n != kWantRead && n != kWantWrite) return got > 0 ? got : n;
    short revents = 0;
    int r = PollStep(channel.fd, n == kWantRead ? POLLIN : POLLOUT, kStepMs, &revents);
    if (r < 0) return kWaitFailed;
    if (r == 0) {
      if (clock.NowMs() - last_data > timeout_ms) return got > 0 ? got : kReceiveTimeout;
      continue;
    }
    if (!(revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))) return kNotReady;
  }
  return got;
}

runtime::Text SocketErrorText(int code) {
  switch (code) {
    case kClosedByServer: return "有错误发生"_t;
    case -21: return "读MMS数据错误"_t;
    case kReceiveTimeout: return "接收数据超时"_t;
    case kNotReady: return "FD_ISSET 找不到需要的SOCK"_t;
    case kReceiveFailed: return "接收数据错误"_t;
    case kSendFailed: return "发送数据错误"_t;
    case kWaitTimeout: return "等待接收或发送数据超时"_t;
    case kWaitFailed: return "等待接收或发送数据错误"_t;
    case kNoBuffer: return "空指针错误"_t;
    case kSocketState: return "设置或获得SOCK状态出错"_t;
    case -2: return "位置错误"_t;
    default: return "未知错误"_t;
  }
}

}  // namespace vorel::download::internal
