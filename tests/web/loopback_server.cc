#include "tests/web/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vorel::web::testing {
namespace {

bool IStartsWith(const std::string& line, const std::string& prefix) {
  if (line.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  if (listen_fd_ < 0 || stop_fd_ < 0) throw std::runtime_error("loopback server: no socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("loopback server: cannot listen");
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  std::uint64_t one = 1;
  (void)!::write(stop_fd_, &one, sizeof one);
  acceptor_.join();
  std::vector<Worker> workers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.thread.join();
  ::close(listen_fd_);
  ::close(stop_fd_);
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

bool LoopbackServer::WaitForClientHangups(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return client_hangups_ >= n; });
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

bool LoopbackServer::WaitForRequests(size_t n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return requests_.size() >= n; });
}

Reply LoopbackServer::Simple(const std::string& body, const std::vector<std::string>& headers,
                             const std::string& status_line) {
  std::string out = status_line + "\r\n";
  for (const auto& h : headers) out += h + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  out += body;
  return Reply{out};
}

bool LoopbackServer::WaitStop(int ms, int also_fd) {
  pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {also_fd, POLLIN, 0}};
  int r = ::poll(fds, also_fd >= 0 ? 2 : 1, ms);
  if (r > 0 && (fds[0].revents & POLLIN)) return true;
  return stopping_.load();
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents & POLLIN) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mu_);
    // Join the connections that have ended, so a long run does not pile up threads.
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

bool LoopbackServer::SendAll(int fd, const std::string& bytes, int byte_delay_ms) {
  size_t done = 0;
  while (done < bytes.size()) {
    size_t n = byte_delay_ms > 0 ? 1 : bytes.size() - done;
    ssize_t w = ::send(fd, bytes.data() + done, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
    if (byte_delay_ms > 0 && done < bytes.size() && WaitStop(byte_delay_ms)) return false;
  }
  return true;
}

void LoopbackServer::Serve(int fd) {
  std::string in;
  char buf[8192];
  size_t head_end = std::string::npos;
  while (head_end == std::string::npos) {
    if (WaitStop(-1, fd)) break;
    ssize_t r = ::recv(fd, buf, sizeof buf, 0);
    if (r <= 0) break;
    in.append(buf, static_cast<size_t>(r));
    head_end = in.find("\r\n\r\n");
  }
  if (head_end == std::string::npos) {
    ::close(fd);
    return;
  }
  RecordedRequest req;
  req.head = in.substr(0, head_end + 4);
  size_t pos = 0;
  long content_length = -1;
  while (pos < head_end) {
    size_t eol = in.find("\r\n", pos);
    std::string line = in.substr(pos, eol - pos);
    if (pos == 0) {
      req.request_line = line;
    } else {
      req.header_lines.push_back(line);
      if (content_length < 0 && IStartsWith(line, "content-length:")) {
        content_length = std::strtol(line.c_str() + 15, nullptr, 10);
      }
    }
    pos = eol + 2;
  }
  req.body = in.substr(head_end + 4);
  while (content_length > 0 && req.body.size() < static_cast<size_t>(content_length)) {
    if (WaitStop(-1, fd)) break;
    ssize_t r = ::recv(fd, buf, sizeof buf, 0);
    if (r <= 0) break;
    req.body.append(buf, static_cast<size_t>(r));
  }
  Reply reply = handler_(req);
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(req);
  }
  cv_.notify_all();
  bool sent = SendAll(fd, reply.bytes, reply.byte_delay_ms);
  if (sent && reply.shared_tail) sent = SendAll(fd, *reply.shared_tail, reply.byte_delay_ms);
  if (sent && reply.stall) {
    // Hold the connection until the server stops or the client goes away.
    while (!WaitStop(-1, fd)) {
      ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
        {
          std::lock_guard<std::mutex> lock(mu_);
          ++client_hangups_;
        }
        cv_.notify_all();
        break;
      }
    }
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace vorel::web::testing
