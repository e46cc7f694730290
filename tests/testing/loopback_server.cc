#include "tests/testing/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace vorel::testing {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r");
  std::size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// Fills every field but the body and the index from the head (which ends with the blank line).
Request ParseHead(const std::string& head) {
  Request r;
  r.head = head;
  const std::size_t head_end = head.size() - 2;  // the blank line's CRLF
  std::size_t pos = 0;
  while (pos < head_end) {
    std::size_t eol = head.find("\r\n", pos);
    std::string line = head.substr(pos, eol - pos);
    const bool first = pos == 0;
    pos = eol + 2;
    if (first) {
      r.request_line = line;
      continue;
    }
    r.header_lines.push_back(line);
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    // The first of repeated headers wins, as a careful server would read a duplicate length.
    r.headers.emplace(Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)));
  }
  std::size_t sp1 = r.request_line.find(' ');
  std::size_t sp2 = r.request_line.rfind(' ');
  if (sp1 != std::string::npos && sp2 > sp1) {
    r.method = r.request_line.substr(0, sp1);
    r.target = r.request_line.substr(sp1 + 1, sp2 - sp1 - 1);
  }
  std::string range = r.Header("range");
  if (range.rfind("bytes=", 0) == 0) r.range_start = std::strtoll(range.c_str() + 6, nullptr, 10);
  return r;
}

}  // namespace

// One accepted connection, plain or TLS, read and written with short waits so that the caller
// notices when the server stops.
class LoopbackServer::Peer {
 public:
  Peer(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~Peer() {
    if (ssl_ != nullptr) SSL_free(ssl_);
    shutdown(fd_, SHUT_WR);
    close(fd_);
  }
  // Bytes read, 0 for nothing within 10 ms, -1 when the peer closed or failed.
  int Read(char* buffer, int size) {
    if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) return 0;
    }
    if (ssl_ != nullptr) {
      int n = SSL_read(ssl_, buffer, size);
      if (n > 0) return n;
      int error = SSL_get_error(ssl_, n);
      return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
    }
    ssize_t n = recv(fd_, buffer, static_cast<std::size_t>(size), 0);
    return n > 0 ? static_cast<int>(n) : -1;
  }
  // Bytes written, 0 when the socket has no room within 10 ms, -1 on failure.
  int Write(const char* data, std::size_t size) {
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 10) <= 0) return 0;
    if (ssl_ != nullptr) {
      int n = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 14)));
      if (n > 0) return n;
      int error = SSL_get_error(ssl_, n);
      return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
    }
    ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
    return n > 0 ? static_cast<int>(n) : -1;
  }

 private:
  int fd_;
  SSL* ssl_;
};

struct LoopbackServer::Tls {
  SSL_CTX* context = nullptr;
  ~Tls() { SSL_CTX_free(context); }
};

std::string Request::Header(const std::string& lower_name) const {
  auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

Reply::Reply(std::string bytes, int byte_delay_ms, bool stall_after) {
  Trickle(std::move(bytes), byte_delay_ms);
  if (stall_after) Stall();
}

Reply& Reply::Send(std::string bytes) { return Trickle(std::move(bytes), 0); }

Reply& Reply::SendShared(std::shared_ptr<const std::string> bytes) {
  steps_.push_back({Step::kSend, std::move(bytes), 0});
  return *this;
}

Reply& Reply::Trickle(std::string bytes, int byte_delay_ms) {
  steps_.push_back(
      {Step::kSend, std::make_shared<const std::string>(std::move(bytes)), byte_delay_ms});
  return *this;
}

Reply& Reply::Pause(int ms) {
  steps_.push_back({Step::kPause, nullptr, ms});
  return *this;
}

Reply& Reply::Hold() {
  steps_.push_back({Step::kHold, nullptr, 0});
  return *this;
}

Reply& Reply::Stall() {
  steps_.push_back({Step::kStall, nullptr, 0});
  return *this;
}

LoopbackServer::LoopbackServer(Handler handler, TlsOptions tls)
    : handler_(std::move(handler)), tls_options_(std::move(tls)) {
  if (!tls_options_.certificate.empty()) {
    tls_ = std::make_unique<Tls>();
    tls_->context = SSL_CTX_new(TLS_server_method());
    if (tls_->context == nullptr ||
        SSL_CTX_use_certificate_chain_file(tls_->context, tls_options_.certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_->context, tls_options_.key.c_str(), SSL_FILETYPE_PEM) !=
            1) {
      throw std::runtime_error("loopback server: cannot load the certificate");
    }
    SSL_CTX_set_mode(tls_->context,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  }
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t length = sizeof addr;
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 64) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    if (listen_fd_ >= 0) close(listen_fd_);
    throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  accept_thread_.join();
  close(listen_fd_);
  std::vector<Worker> workers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.thread.join();
}

std::string LoopbackServer::Url(const std::string& path, const std::string& host) const {
  return (tls_ ? "https://" : "http://") + host + ":" + std::to_string(port_) + path;
}

std::vector<Request> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

bool LoopbackServer::WaitForRequests(std::size_t n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return requests_.size() >= n; });
}

bool LoopbackServer::WaitForClientHangups(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return client_hangups_ >= n; });
}

bool LoopbackServer::WaitForConnections(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return connections_.load() >= n; });
}

void LoopbackServer::Release() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    released_ = true;
  }
  cv_.notify_all();
}

Reply LoopbackServer::Simple(const std::string& body, const std::vector<std::string>& headers,
                             const std::string& status_line) {
  std::vector<std::string> lines = headers;
  lines.push_back("Content-Length: " + std::to_string(body.size()));
  lines.push_back("Connection: close");
  return Reply(HeaderText(status_line, lines) + body);
}

bool LoopbackServer::WaitMs(int ms) {
  std::unique_lock<std::mutex> lock(mu_);
  return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(mu_);
    // Join the connections that have ended, so a long benchmark does not pile up threads.
    std::erase_if(workers_, [](Worker& w) {
      if (!w.done->load()) return false;
      w.thread.join();
      return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(Worker{std::thread([this, fd, done] {
                                Serve(fd);
                                done->store(true);
                              }),
                              done});
  }
}

void LoopbackServer::Serve(int fd) {
  // OpenSSL writes with plain write(): a client that hangs up mid-handshake must give this
  // thread an error, not end the test program with SIGPIPE.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  {
    // Counted under the lock, so a waiter cannot miss the notification.
    std::lock_guard<std::mutex> lock(mu_);
    ++connections_;
  }
  cv_.notify_all();
  char chunk[8192];
  SSL* ssl = nullptr;
  if (tls_) {
    if (tls_options_.hang_up_in_handshake) {
      pollfd p{fd, POLLIN, 0};
      while (!stopping_ && poll(&p, 1, 10) == 0) {
      }
      (void)!recv(fd, chunk, sizeof chunk, 0);
      close(fd);
      return;
    }
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    ssl = SSL_new(tls_->context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      close(fd);
      return;
    }
  }
  Peer peer(fd, ssl);
  std::string in;
  std::size_t head_end = std::string::npos;
  while (!stopping_ && head_end == std::string::npos) {
    int n = peer.Read(chunk, sizeof chunk);
    if (n < 0) return;
    in.append(chunk, static_cast<std::size_t>(n));
    head_end = in.find("\r\n\r\n");
  }
  if (head_end == std::string::npos) return;
  Request request = ParseHead(in.substr(0, head_end + 4));
  request.body = in.substr(head_end + 4);
  // Only the first Content-Length counts, so a request with conflicting ones still arrives.
  long long content_length = -1;
  for (const std::string& line : request.header_lines) {
    if (Lower(line).rfind("content-length:", 0) == 0) {
      content_length = std::strtoll(line.c_str() + 15, nullptr, 10);
      break;
    }
  }
  while (!stopping_ && content_length > 0 &&
         request.body.size() < static_cast<std::size_t>(content_length)) {
    int n = peer.Read(chunk, sizeof chunk);
    if (n < 0) break;
    request.body.append(chunk, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    request.index = static_cast<int>(requests_.size());
    requests_.push_back(request);
  }
  cv_.notify_all();
  Play(peer, handler_(request));
}

void LoopbackServer::Play(Peer& peer, const Reply& reply) {
  char chunk[4096];
  for (const Reply::Step& step : reply.steps()) {
    if (stopping_) return;
    if (step.kind == Reply::Step::kSend) {
      const std::string& bytes = *step.bytes;
      std::size_t sent = 0;
      while (sent < bytes.size() && !stopping_) {
        std::size_t size = step.ms > 0 ? 1 : bytes.size() - sent;
        int n = peer.Write(bytes.data() + sent, size);
        if (n < 0) return;  // the client went away
        sent += static_cast<std::size_t>(n);
        if (n > 0 && step.ms > 0 && sent < bytes.size() && !WaitMs(step.ms)) return;
      }
      if (sent < bytes.size()) return;
    } else if (step.kind == Reply::Step::kPause) {
      if (!WaitMs(step.ms)) return;
    } else if (step.kind == Reply::Step::kHold) {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [this] { return released_ || stopping_.load(); });
    } else {
      while (!stopping_) {
        if (peer.Read(chunk, sizeof chunk) < 0) {
          {
            std::lock_guard<std::mutex> lock(mu_);
            ++client_hangups_;
          }
          cv_.notify_all();
          return;
        }
      }
    }
  }
}

std::string MakeBody(std::size_t size, std::uint32_t seed) {
  std::string body(size, '\0');
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    body[i] = static_cast<char>(x & 0xFF);
  }
  return body;
}

std::string HeaderText(const std::string& status_line, const std::vector<std::string>& lines) {
  std::string text = status_line + "\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  return text + "\r\n";
}

Reply ServeBody(const Request& request, const std::string& body, const BodyOptions& options) {
  const std::size_t total = body.size();
  std::vector<std::string> lines = options.headers;
  std::size_t start = 0;
  std::string status = "HTTP/1.1 200 OK";
  if (options.ranges && request.range_start && *request.range_start >= 0 &&
      static_cast<std::size_t>(*request.range_start) < total) {
    start = static_cast<std::size_t>(*request.range_start);
    status = "HTTP/1.1 206 Partial Content";
    lines.push_back("Content-Range: bytes " + std::to_string(start) + "-" +
                    std::to_string(total - 1) + "/" + std::to_string(total));
  } else if (options.ranges) {
    lines.push_back("Accept-Ranges: bytes");
  }
  if (options.content_length) lines.push_back("Content-Length: " + std::to_string(total - start));
  Reply reply;
  reply.Send(HeaderText(status, lines));
  std::size_t end = std::min(total, options.close_at);
  if (options.hold_at != std::string::npos && options.hold_at < end) {
    const std::size_t hold = std::max(start, options.hold_at);
    reply.Send(body.substr(start, hold - start)).Hold();
    start = hold;
  }
  if (start < end) reply.Send(body.substr(start, end - start));
  return reply;
}

}  // namespace vorel::testing
