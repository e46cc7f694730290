#include "tests/audio/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vorel::audio_test {

LoopbackServer::LoopbackServer(Script script) : script_(std::move(script)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 16) != 0) {
    std::abort();
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  quit_ = true;
  Release();
  acceptor_.join();
  for (auto& t : workers_) t.join();
  close(listen_fd_);
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Release() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    released_ = true;
  }
  cv_.notify_all();
}

void LoopbackServer::AcceptLoop() {
  while (!quit_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    workers_.emplace_back([this, fd] {
      Serve(fd);
      close(fd);
    });
  }
}

bool LoopbackServer::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    pollfd p{fd, POLLOUT, 0};
    if (quit_) return false;
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void LoopbackServer::Serve(int fd) {
  std::string request;
  char buf[2048];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (quit_) return;
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    request.append(buf, static_cast<size_t>(n));
  }
  ++requests_;
  if (script_.never_answer) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return quit_.load(); });
    return;
  }
  if (script_.raw) {
    SendAll(fd, script_.body.data(), script_.body.size());
    return;
  }
  size_t start = 0;
  std::string lower = request;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  const size_t range = lower.find("\r\nrange: bytes=");
  const bool partial = script_.ranges && range != std::string::npos;
  if (partial) start = std::strtoull(lower.c_str() + range + 15, nullptr, 10);
  const size_t total = script_.body.size();
  start = std::min(start, total);
  std::string head = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
  head += "Content-Type: application/octet-stream\r\nConnection: close\r\n";
  if (script_.ranges) head += "Accept-Ranges: bytes\r\n";
  if (partial) {
    head += "Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(total - 1) +
            "/" + std::to_string(total) + "\r\n";
  }
  if (script_.content_length) head += "Content-Length: " + std::to_string(total - start) + "\r\n";
  head += "\r\n";
  if (!SendAll(fd, head.data(), head.size())) return;
  size_t at = start;
  while (at < total && !quit_) {
    size_t end = std::min(total, at + 4096);
    if (script_.close_at != std::string::npos) {
      if (at >= script_.close_at) return;
      end = std::min(end, script_.close_at);
    }
    if (script_.stall_at != std::string::npos && at >= script_.stall_at) {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [&] { return released_ || quit_.load(); });
    } else if (script_.stall_at != std::string::npos && end > script_.stall_at) {
      end = script_.stall_at;
    }
    if (!SendAll(fd, script_.body.data() + at, end - at)) return;
    at = end;
  }
}

}  // namespace vorel::audio_test
