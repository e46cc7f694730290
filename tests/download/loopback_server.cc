#include "tests/download/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

}  // namespace

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

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
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

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
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
  std::string raw;
  char chunk[4096];
  while (!stopping_ && raw.find("\r\n\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      close(fd);
      return;
    }
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
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        ssize_t n = send(fd, step.bytes.data() + sent, step.bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      if (sent < step.bytes.size()) break;  // the client went away
    } else if (step.kind == Reply::Step::kPause) {
      if (!WaitMs(step.ms)) break;
    } else {
      while (!stopping_) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && recv(fd, chunk, sizeof chunk, 0) <= 0) break;
      }
    }
  }
  close(fd);
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
