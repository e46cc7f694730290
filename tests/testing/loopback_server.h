#ifndef VOREL_TESTS_TESTING_LOOPBACK_SERVER_H_
#define VOREL_TESTS_TESTING_LOOPBACK_SERVER_H_

// A scripted HTTP server on 127.0.0.1 (a free port) for the tests and benchmarks. Each connection
// carries one exchange: the server reads one request (head, and a body as long as its
// Content-Length), records it exactly as received, asks the handler for a reply script and plays
// it (bytes, trickled bytes, pauses, a hold until Release(), a stall), then closes.
//
//   LoopbackServer server([](const Request& r) { return ServeBody(r, "hello"); });
//   ... fetch server.Url("/x") ...
//   EXPECT_EQ(server.Requests()[0].request_line, "GET /x HTTP/1.1");
//
// With TlsOptions it speaks https instead. Thread-safe; the destructor ends every connection
// and joins its thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vorel::testing {

struct Request {
  int index = 0;             // 0 for the first request the server took
  std::string head;          // request line and header lines, with the blank line after them
  std::string body;          // as many bytes as the first Content-Length says
  std::string request_line;  // without "\r\n"
  std::vector<std::string> header_lines;  // without "\r\n", in order
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // lower-case names, trimmed values
  std::optional<std::int64_t> range_start;     // from "Range: bytes=N-"
  std::string Header(const std::string& lower_name) const;
};

// What the server does on one connection, step by step.
class Reply {
 public:
  Reply() = default;
  // Sends `bytes` (one byte at a time with `byte_delay_ms` between when > 0), then stalls when
  // `stall_after` is set.
  Reply(std::string bytes, int byte_delay_ms = 0, bool stall_after = false);

  Reply& Send(std::string bytes);
  // Sends a body shared between replies without copying it per request.
  Reply& SendShared(std::shared_ptr<const std::string> bytes);
  // One byte at a time with a pause of `byte_delay_ms` between them.
  Reply& Trickle(std::string bytes, int byte_delay_ms);
  Reply& Pause(int ms);
  // Waits, sending nothing, until the server's Release() or its end.
  Reply& Hold();
  // Holds the connection open, sending nothing, until the client closes it (counted as a
  // hangup) or the server ends.
  Reply& Stall();

  struct Step {
    enum Kind { kSend, kPause, kHold, kStall } kind;
    std::shared_ptr<const std::string> bytes;
    int ms = 0;  // kSend: pause between single bytes (0 sends at once); kPause: its length
  };
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

using Handler = std::function<Reply(const Request&)>;

// Makes the server speak https with the given PEM files.
struct TlsOptions {
  std::string certificate;
  std::string key;
  bool hang_up_in_handshake = false;  // reads the client's first flight, then closes
};

class LoopbackServer {
 public:
  explicit LoopbackServer(Handler handler, TlsOptions tls = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path ("https://" with TLS); `host` replaces 127.0.0.1.
  std::string Url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;
  std::vector<Request> Requests() const;
  // Blocks until `n` requests have been recorded or `timeout_ms` passed; true when they were.
  bool WaitForRequests(std::size_t n, int timeout_ms) const;
  // Blocks until the clients have closed `n` stalled connections or `timeout_ms` passed.
  bool WaitForClientHangups(int n, int timeout_ms) const;
  // Blocks until `n` connections were accepted or `timeout_ms` passed; true when they were.
  bool WaitForConnections(int n, int timeout_ms) const;
  // Connections accepted so far.
  int connections() const { return connections_.load(); }
  // Lets every connection waiting in a Hold step, now or later, go on.
  void Release();

  // A reply with `status_line`, these header lines and the body; adds Content-Length and
  // Connection: close.
  static Reply Simple(const std::string& body, const std::vector<std::string>& headers = {},
                      const std::string& status_line = "HTTP/1.1 200 OK");

 private:
  class Peer;
  void AcceptLoop();
  void Serve(int fd);
  void Play(Peer& peer, const Reply& reply);
  // Waits up to `ms`; false when the server began to stop meanwhile.
  bool WaitMs(int ms);

  struct Tls;
  Handler handler_;
  TlsOptions tls_options_;
  std::unique_ptr<Tls> tls_;
  std::atomic<int> connections_{0};
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::vector<Request> requests_;  // guarded by mu_
  int client_hangups_ = 0;         // guarded by mu_
  bool released_ = false;          // guarded by mu_
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;  // guarded by mu_
  std::thread accept_thread_;
};

// Deterministic pseudo-random bytes, so a misplaced range shows.
std::string MakeBody(std::size_t size, std::uint32_t seed = 1);

// A status line plus header lines (each without its CRLF) and the blank line.
std::string HeaderText(const std::string& status_line, const std::vector<std::string>& lines);

struct BodyOptions {
  bool content_length = true;  // announce the length (else the body ends with the connection)
  bool ranges = true;          // honour "Range: bytes=N-" with 206 and say Accept-Ranges
  // Hold the body after this byte (of the whole body) until Release(); npos = never.
  std::size_t hold_at = std::string::npos;
  // End the connection after this byte of the body; npos = send it all.
  std::size_t close_at = std::string::npos;
  std::vector<std::string> headers;  // more header lines, after the status line
};

// A reply serving `body` the way a well-behaved server does: 200 with Content-Length, or 206
// with Content-Range for "Range: bytes=N-" inside the body; `options` bend it.
Reply ServeBody(const Request& request, const std::string& body, const BodyOptions& options = {});

}  // namespace vorel::testing

#endif  // VOREL_TESTS_TESTING_LOOPBACK_SERVER_H_
