#ifndef VOREL_TESTS_DOWNLOAD_LOOPBACK_SERVER_H_
#define VOREL_TESTS_DOWNLOAD_LOOPBACK_SERVER_H_

// A scripted HTTP server on 127.0.0.1:0 for tests. Each connection reads one request, asks the
// handler for a reply script and plays it: bytes to send, pauses, stalls, then a close.
// Thread-safe. Destruction ends every connection and joins its thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vorel::download::testing {

struct HttpRequest {
  int index = 0;  // 0 for the first request the server took
  std::string raw;
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // lower-case names
  std::optional<std::int64_t> range_start;     // from "Range: bytes=N-"
  std::string Header(const std::string& lower_name) const;
};

class Reply {
 public:
  Reply& Send(std::string bytes);
  Reply& Pause(int ms);
  // Holds the connection open, sending nothing, until the client closes it or the server ends.
  Reply& Stall();

  struct Step {
    enum Kind { kSend, kPause, kStall } kind;
    std::string bytes;
    int ms = 0;
  };
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

using Handler = std::function<Reply(const HttpRequest&)>;

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
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
  std::vector<HttpRequest> requests() const;
  int connections() const { return connections_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);
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
  std::condition_variable cv_;
  std::vector<HttpRequest> requests_;  // guarded by mu_
  std::vector<std::thread> threads_;   // guarded by mu_
  std::thread accept_thread_;
};

// Deterministic pseudo-random bytes, so a misplaced range shows.
std::string MakeBody(std::size_t size, std::uint32_t seed = 1);

// A status line plus header lines (each without its CRLF) and the blank line.
std::string HeaderText(const std::string& status_line, const std::vector<std::string>& lines);

// A reply serving `body` the way a well-behaved server does: 200 with Content-Length, or 206
// with Content-Range for "Range: bytes=N-".
Reply ServeBody(const HttpRequest& request, const std::string& body);

}  // namespace vorel::download::testing

#endif  // VOREL_TESTS_DOWNLOAD_LOOPBACK_SERVER_H_
