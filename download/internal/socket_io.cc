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

}  // namespace

int OpenTcpSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

void CloseSocket(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
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
                       const StopSignal& stop) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return kWaitFailed;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, dotted.c_str(), &addr.sin_addr) != 1) return kWaitFailed;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return kWaitFailed;
  int steps = std::max(timeout_ms / kStepMs, 1);
  for (int i = 0; i < steps; ++i) {
    if (stop.Stopped()) return kStopped;
    short revents = 0;
    int r = PollStep(fd, POLLOUT, kStepMs, &revents);
    if (r < 0) return kWaitFailed;
    if (r == 0) continue;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return kWaitFailed;
    }
    return 0;
  }
  return stop.Stopped() ? kStopped : kConnectTimeout;
}

int SendWithTimeout(int fd, std::string_view text, int timeout_ms) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    short revents = 0;
    pollfd p{fd, POLLOUT, 0};
    int r = poll(&p, 1, timeout_ms > 0 ? timeout_ms : -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    if (r == 0) return kWaitTimeout;
    revents = p.revents;
    if (!(revents & POLLOUT)) return kNotReady;
    ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return kSendFailed;
    }
    sent += static_cast<std::size_t>(n);
  }
  return static_cast<int>(sent);
}

int ReceiveWithTimeout(int fd, char* buffer, int wanted, int per_call, int timeout_ms,
                       const StopSignal& stop, int max_calls,
                       const std::function<void(int)>& on_chunk) {
  if (buffer == nullptr) return kNoBuffer;
  int got = 0;
  int calls = 0;
  int silence = 0;
  while (got < wanted && !stop.Stopped()) {
    // Try the read first: on a busy connection data is usually waiting, and this saves the
    // poll call per block.
    ssize_t n = recv(fd, buffer + got, static_cast<std::size_t>(std::min(per_call, wanted - got)),
                     0);
    if (n > 0) {
      got += static_cast<int>(n);
      silence = 0;
      if (on_chunk) on_chunk(static_cast<int>(n));
      if (++calls >= max_calls) break;
      continue;
    }
    if (n == 0) return got > 0 ? got : kClosedByServer;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return got > 0 ? got : kReceiveFailed;
    short revents = 0;
    int r = PollStep(fd, POLLIN, kStepMs, &revents);
    if (r < 0) return kWaitFailed;
    if (r == 0) {
      silence += kStepMs;
      if (silence > timeout_ms) return got > 0 ? got : kReceiveTimeout;
      continue;
    }
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return kNotReady;
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
