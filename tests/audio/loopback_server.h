#ifndef VOREL_TESTS_AUDIO_LOOPBACK_SERVER_H_
#define VOREL_TESTS_AUDIO_LOOPBACK_SERVER_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vorel::audio_test {

// An HTTP/1.1 server on 127.0.0.1 (a free port) that answers every GET with one scripted body,
// one thread per connection. Thread-safe.
class LoopbackServer {
 public:
  struct Script {
    std::string body;
    bool content_length = true;  // send Content-Length (else the body ends with the connection)
    bool ranges = true;          // honour "Range: bytes=N-" with 206
    // Hold the body after this byte (of the whole body) until Release(); npos = never.
    size_t stall_at = std::string::npos;
    // Close the connection after this byte of the body; npos = send it all.
    size_t close_at = std::string::npos;
    bool never_answer = false;   // read the request and send nothing until the server stops
    bool raw = false;            // send `body` as the whole response, no status line
  };

  explicit LoopbackServer(Script script);
  ~LoopbackServer();

  std::string Url(const std::string& path = "/stream") const;
  // Lets connections held at stall_at go on.
  void Release();
  int requests() const { return requests_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool SendAll(int fd, const char* data, size_t size);

  const Script script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> quit_{false};
  std::atomic<int> requests_{0};
  std::mutex mu_;
  std::condition_variable cv_;
  bool released_ = false;  // guarded by mu_
  std::thread acceptor_;
  std::vector<std::thread> workers_;  // acceptor thread only, then the destructor
};

}  // namespace vorel::audio_test

#endif  // VOREL_TESTS_AUDIO_LOOPBACK_SERVER_H_
