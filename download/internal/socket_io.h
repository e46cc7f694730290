#ifndef VOREL_DOWNLOAD_INTERNAL_SOCKET_IO_H_
#define VOREL_DOWNLOAD_INTERNAL_SOCKET_IO_H_

// TCP socket primitives of the engine: IPv4 only, non-blocking sockets, waits in 10 ms steps so
// that a stop request is taken within about 10 ms. A channel may carry a TLS session over its
// socket (https); sends and receives then go through it. Time-outs are measured with the
// engine's clock (the task's Clock). Thread-compatible: one channel per thread.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "download/internal/clock.h"
#include "runtime/text.h"

struct ssl_st;

namespace vorel::download::internal {

// Results below zero. The texts are those of SocketErrorText.
enum SocketError : int {
  kClosedByServer = -22,
  kStopped = -20,
  kConnectRefused = -12,
  kConnectTimeout = -11,
  kReceiveTimeout = -10,
  kNotReady = -9,
  kReceiveFailed = -8,
  kSendFailed = -7,
  kWaitTimeout = -6,
  kWaitFailed = -5,
  kNoBuffer = -4,
  kSocketState = -3,
};

// What ends a wait early: the task's stop request or the connection's running flag cleared.
struct StopSignal {
  const std::atomic<bool>* task_stop = nullptr;
  const std::atomic<bool>* running = nullptr;
  bool Stopped() const {
    return (task_stop != nullptr && task_stop->load(std::memory_order_relaxed)) ||
           (running != nullptr && !running->load(std::memory_order_relaxed));
  }
};

// A connection's byte stream: its TCP socket and, for https, the TLS session over it.
struct Channel {
  int fd = -1;
  ssl_st* tls = nullptr;  // owned; null for plain http
};

// A new TCP socket (close-on-exec), or -1.
int OpenTcpSocket();
void CloseSocket(int& fd);
// Frees the TLS session (without waiting for the peer) and closes the socket.
void CloseChannel(Channel& channel);

// True for a dotted IPv4 address ("127.0.0.1").
bool IsDottedIpv4(const std::string& host);

// The dotted IPv4 form of `host`: itself when already dotted, else the first IPv4 address of a
// name lookup. None when the lookup fails.
std::optional<std::string> ResolveIpv4(const std::string& host);

// 0 connected, kConnectTimeout, kStopped, kConnectRefused (nothing listens there), or
// kWaitFailed for any other failure. The socket stays non-blocking afterwards; the other
// primitives expect that.
int ConnectWithTimeout(int fd, const std::string& dotted, int port, int timeout_ms,
                       const StopSignal& stop, const Clock& clock);

// Sends the whole text (never raising SIGPIPE). Bytes sent, or kWaitFailed, kWaitTimeout (no
// room to send within timeout_ms; 0 = no limit), kNotReady, kSendFailed.
int SendWithTimeout(Channel& channel, std::string_view text, int timeout_ms);

// Reads up to `wanted` bytes into `buffer`, at most `per_call` per receive, ending after
// `max_calls` receives that brought data, when `wanted` is reached, or when `stop` says so.
// Each chunk is passed to `on_chunk` (may be empty). More than timeout_ms of silence gives
// kReceiveTimeout; a close by the server with nothing read in this call gives kClosedByServer;
// other failures kWaitFailed, kNotReady, kReceiveFailed. Otherwise the bytes read (0 only when
// stopped).
int ReceiveWithTimeout(Channel& channel, char* buffer, int wanted, int per_call, int timeout_ms,
                       const StopSignal& stop, const Clock& clock, int max_calls,
                       const std::function<void(int)>& on_chunk);

// The status text of a socket error code.
runtime::Text SocketErrorText(int code);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_SOCKET_IO_H_
