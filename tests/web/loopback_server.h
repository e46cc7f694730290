#ifndef VOREL_TESTS_WEB_LOOPBACK_SERVER_H_
#define VOREL_TESTS_WEB_LOOPBACK_SERVER_H_

// A scripted HTTP server on 127.0.0.1 for tests: it records every request exactly as received
// and answers with the raw bytes a test scripts, optionally trickled byte by byte or followed by
// a stall that holds the connection open until the server stops. Each connection carries one
// exchange and is closed after it.
//
//   LoopbackServer server([](const RecordedRequest& r) {
//     return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi"};
//   });
//   ... fetch server.Url("/x") ...
//   EXPECT_EQ(server.Requests()[0].head, "GET /x HTTP/1.1\r\nHost: ...\r\n\r\n");
//
// Thread-safe. The destructor stops every connection and joins its threads.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vorel::web::testing {

struct RecordedRequest {
  std::string head;          // request line and header lines, with the blank line after them
  std::string body;          // as many bytes as the first Content-Length says
  std::string request_line;  // without "\r\n"
  std::vector<std::string> header_lines;  // without "\r\n", in order
};

struct Reply {
  std::string bytes;       // sent as they are
  int byte_delay_ms = 0;   // > 0: one byte at a time with this pause between
  bool stall = false;      // after the bytes, keep the connection open until the server stops
  // Sent after `bytes`; lets a benchmark serve a large body without copying it per request.
  std::shared_ptr<const std::string> shared_tail = nullptr;
};

class LoopbackServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path = "/") const;
  std::vector<RecordedRequest> Requests() const;
  // Blocks until `n` requests have been recorded or `timeout_ms` passed; true when they were.
  bool WaitForRequests(size_t n, int timeout_ms) const;
  // Blocks until the clients have closed `n` stalled connections or `timeout_ms` passed.
  bool WaitForClientHangups(int n, int timeout_ms) const;

  // Replies every request with `status_line`, these header lines and the body; adds
  // Content-Length and Connection: close.
  static Reply Simple(const std::string& body, const std::vector<std::string>& headers = {},
                      const std::string& status_line = "HTTP/1.1 200 OK");

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool SendAll(int fd, const std::string& bytes, int byte_delay_ms);
  // Waits up to ms (forever when negative) for the stop signal; true when stopping.
  bool WaitStop(int ms, int also_fd = -1);

  Handler handler_;
  int listen_fd_ = -1;
  int stop_fd_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::vector<RecordedRequest> requests_;  // guarded by mu_
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;            // guarded by mu_
  int client_hangups_ = 0;                 // guarded by mu_
};

}  // namespace vorel::web::testing

#endif  // VOREL_TESTS_WEB_LOOPBACK_SERVER_H_
