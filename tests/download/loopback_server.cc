#include "tests/download/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vorel::download::testing {
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

HttpRequest ParseRequest(const std::string& raw) {
  HttpRequest r;
  r.raw = raw;
  std::size_t line_end = raw.find("\r\n");
  std::string first = raw.substr(0, line_end);
  std::size_t sp1 = first.find(' ');
  std::size_t sp2 = first.rfind(' ');
  if (sp1 != std::string::npos && sp2 > sp1) {
    r.method = first.substr(0, sp1);
    r.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
  }
  while (line_end != std::string::npos) {
    std::size_t start = line_end + 2;
    line_end = raw.find("\r\n", start);
    std::string line = raw.substr(start, line_end == std::string::npos ? std::string::npos
                                                                      : line_end - start);
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    r.headers[Lower(Trim(line.substr(0, colon)))] = Trim(line.substr(colon + 1));
  }
  std::string range = r.Header("range");
  if (range.rfind("bytes=", 0) == 0) r.range_start = std::stoll(range.substr(6));
  return r;
}

// One accepted connection, plain or TLS, read and written with waits that end when the
// server stops.
class Peer {
 public:
  Peer(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~Peer() {
    if (ssl_ != nullptr) SSL_free(ssl_);
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

}  // namespace

struct LoopbackServer::Tls {
  SSL_CTX* context = nullptr;
  ~Tls() { SSL_CTX_free(context); }
};

std::string HttpRequest::Header(const std::string& lower_name) const {
  auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

Reply& Reply::Send(std::string bytes) {
  steps_.push_back({Step::kSend, std::move(bytes), 0});
  return *this;
}

Reply& Reply::Pause(int ms) {
  steps_.push_back({Step::kPause, {}, ms});
  return *this;
}

Reply& Reply::Stall() {
  steps_.push_back({Step::kStall, {}, 0});
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
    SSL_CTX_set_mode(tls_->context, SSL_MODE_ENABLE_PARTIAL_WRITE |
                                        SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
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
    throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  cv_.notify_all();
  accept_thread_.join();
  close(listen_fd_);
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mu_);
    threads.swap(threads_);
  }
  for (auto& t : threads) t.join();
}

std::string LoopbackServer::Url(const std::string& path, const std::string& host) const {
  return (tls_ ? "https://" : "http://") + host + ":" + std::to_string(port_) + path;
}

std::vector<HttpRequest> LoopbackServer::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
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
    threads_.emplace_back([this, fd] { Serve(fd); });
  }
}

void LoopbackServer::Serve(int fd) {
  ++connections_;
  char chunk[4096];
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
  std::string raw;
  while (!stopping_ && raw.find("\r\n\r\n") == std::string::npos) {
    int n = peer.Read(chunk, sizeof chunk);
    if (n < 0) return;
    raw.append(chunk, static_cast<std::size_t>(n));
  }
  HttpRequest request = ParseRequest(raw.substr(0, raw.find("\r\n\r\n") + 4));
  {
    std::lock_guard<std::mutex> lock(mu_);
    request.index = static_cast<int>(requests_.size());
    requests_.push_back(request);
  }
  Reply reply = handler_(request);
  for (const Reply::Step& step : reply.steps()) {
    if (stopping_) break;
    if (step.kind == Reply::Step::kSend) {
      std::size_t sent = 0;
      while (sent < step.bytes.size() && !stopping_) {
        int n = peer.Write(step.bytes.data() + sent, step.bytes.size() - sent);
        if (n < 0) break;
        sent += static_cast<std::size_t>(n);
      }
      if (sent < step.bytes.size()) break;  // the client went away
    } else if (step.kind == Reply::Step::kPause) {
      if (!WaitMs(step.ms)) break;
    } else {
      while (!stopping_ && peer.Read(chunk, sizeof chunk) >= 0) {
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

Reply ServeBody(const HttpRequest& request, const std::string& body) {
  std::int64_t total = static_cast<std::int64_t>(body.size());
  if (request.range_start && *request.range_start < total) {
    std::int64_t start = *request.range_start;
    return Reply()
        .Send(HeaderText("HTTP/1.1 206 Partial Content",
                         {"Content-Length: " + std::to_string(total - start),
                          "Content-Range: bytes " + std::to_string(start) + "-" +
                              std::to_string(total - 1) + "/" + std::to_string(total)}))
        .Send(body.substr(static_cast<std::size_t>(start)));
  }
  return Reply()
      .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(total),
                                           "Accept-Ranges: bytes"}))
      .Send(body);
}

}  // namespace vorel::download::testing
