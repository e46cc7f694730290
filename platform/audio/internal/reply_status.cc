#include "platform/audio/internal/reply_status.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/audio/bass.h"
#include "platform/audio/internal/ffmpeg_api.h"
#include "platform/retry_after.h"

namespace vorel::platform::audio {
namespace {

// A reply header longer than this is not waited for: the decoder's own open judges the server.
constexpr std::size_t kHeadLimit = 16 * 1024;

// A person waits for the song while the server is asked again, so the waits are short and few.
constexpr int kAttempts = 4;
constexpr std::chrono::milliseconds kFirstWait{1000};
constexpr std::chrono::milliseconds kLongestWait{30000};  // also all the waits together

// The open's error for an FFmpeg error met while asking.
int Failure(int av_error) {
  return av_error == AVERROR_EXIT || av_error == AVERROR(ETIMEDOUT) ? BASS_ERROR_TIMEOUT
                                                                    : BASS_ERROR_FILEOPEN;
}

// Sleeps `ms` in short steps; false when `abort` was set meanwhile.
bool SleepUnlessAborted(std::chrono::milliseconds ms, const std::atomic<bool>* abort) {
  const auto until = std::chrono::steady_clock::now() + ms;
  while (std::chrono::steady_clock::now() < until) {
    if (abort && abort->load(std::memory_order_relaxed)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return !(abort && abort->load(std::memory_order_relaxed));
}

struct Wait {
  const std::atomic<bool>* abort;
  std::chrono::steady_clock::time_point deadline;
};

int Interrupt(void* opaque) {
  const Wait* wait = static_cast<const Wait*>(opaque);
  if (wait->abort && wait->abort->load(std::memory_order_relaxed)) return 1;
  return std::chrono::steady_clock::now() > wait->deadline;
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// Where the header ends (after its blank line), or npos while it has not ended.
std::size_t HeadEnd(std::string_view received) {
  const std::size_t crlf = received.find("\r\n\r\n");
  const std::size_t lf = received.find("\n\n");
  if (crlf == std::string_view::npos && lf == std::string_view::npos) return std::string_view::npos;
  if (lf == std::string_view::npos || (crlf != std::string_view::npos && crlf + 4 < lf + 2)) {
    return crlf + 4;
  }
  return lf + 2;
}

}  // namespace

ReplyStatus ParseReplyHead(std::string_view head, std::int64_t now) {
  ReplyStatus result;
  std::size_t line_end = head.find('\n');
  const std::string_view status_line = head.substr(0, line_end);
  std::size_t code = 0;
  if (status_line.size() >= 12 && status_line.substr(0, 7) == "HTTP/1." && status_line[8] == ' ') {
    code = 9;
  } else if (status_line.size() >= 7 && status_line.substr(0, 4) == "ICY ") {
    code = 4;
  } else {
    return result;
  }
  for (char c : status_line.substr(code, 3)) {
    if (c < '0' || c > '9') return result;
    result.status = result.status * 10 + (c - '0');
  }
  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 1;
    line_end = head.find('\n', start);
    const std::string_view line = head.substr(
        start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = TrimSpaces(line.substr(0, colon));
    if (name.size() == 11 && strncasecmp(name.data(), "Retry-After", 11) == 0 &&
        !result.retry_after_s) {
      result.retry_after_s = RetryAfterSeconds(line.substr(colon + 1), now);
    }
  }
  return result;
}

ReplyStatus AskReplyStatus(const std::string& url, std::uint64_t offset,
                           const std::atomic<bool>* abort, std::chrono::milliseconds timeout) {
  // Control bytes or spaces in an address would end the request line early: such an address
  // is left to the decoder's open, which refuses it.
  for (unsigned char c : url) {
    if (c <= 0x20 || c == 0x7F) return {};
  }
  const FfmpegApi& av = Ffmpeg();
  char scheme[16], auth[256], host[1024], path[8192];
  int port = -1;
  av.av_url_split(scheme, sizeof scheme, auth, sizeof auth, host, sizeof host, &port, path,
                  sizeof path, url.c_str());
  const bool tls = strcasecmp(scheme, "https") == 0;
  if ((!tls && strcasecmp(scheme, "http") != 0) || host[0] == 0) return {};
  if (port <= 0) port = tls ? 443 : 80;
  // An IPv6 literal loses its brackets in the split and needs them again in an address.
  const bool v6 = std::string_view(host).find(':') != std::string_view::npos;
  const std::string host_part = v6 ? "[" + std::string(host) + "]" : std::string(host);
  const std::string endpoint =
      std::string(tls ? "tls://" : "tcp://") + host_part + ":" + std::to_string(port);
  const bool default_port = port == (tls ? 443 : 80);
  const std::string request =
      std::string("GET ") + (path[0] != 0 ? path : "/") + " HTTP/1.1\r\nHost: " + host_part +
      (default_port ? "" : ":" + std::to_string(port)) +
      "\r\nUser-Agent: " LIBAVFORMAT_IDENT "\r\nAccept: */*\r\nRange: bytes=" +
      std::to_string(offset) + "-\r\nConnection: close\r\n\r\n";

  Wait wait{abort, std::chrono::steady_clock::now() + timeout};
  const AVIOInterruptCB interrupt{&Interrupt, &wait};
  AVDictionary* opts = nullptr;
  av.av_dict_set(&opts, "protocol_whitelist", "tcp,tls", 0);
  if (tls) av.av_dict_set(&opts, "tls_verify", "1", 0);
  const std::string timeout_us =
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
  av.av_dict_set(&opts, "timeout", timeout_us.c_str(), 0);
  AVIOContext* io = nullptr;
  const int opened = av.avio_open2(&io, endpoint.c_str(), AVIO_FLAG_READ_WRITE, &interrupt, &opts);
  av.av_dict_free(&opts);
  if (opened < 0) return ReplyStatus{.failure = Failure(opened)};
  av.avio_write(io, reinterpret_cast<const unsigned char*>(request.data()),
                static_cast<int>(request.size()));
  av.avio_flush(io);
  std::string received;
  unsigned char chunk[4096];
  std::size_t end = std::string::npos;
  int n = 0;
  while (end == std::string::npos && received.size() < kHeadLimit) {
    wait.deadline = std::chrono::steady_clock::now() + timeout;
    n = av.avio_read_partial(io, chunk, sizeof chunk);
    if (n <= 0) break;
    received.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
    end = HeadEnd(received);
  }
  av.avio_closep(&io);
  if (received.empty()) return ReplyStatus{.failure = Failure(n < 0 ? n : AVERROR_EOF)};
  if (end == std::string::npos) return {};
  return ParseReplyHead(std::string_view(received).substr(0, end), std::time(nullptr));
}

int AwaitStreamServer(const std::string& url, std::uint64_t offset, const std::atomic<bool>* abort,
                      std::chrono::milliseconds timeout) {
  // FFmpeg sends http through a proxy named in the environment; asking the server directly
  // could fail or hang where only the proxy gets through.
  const char* proxy = std::getenv("http_proxy");
  if (proxy != nullptr && proxy[0] != 0) return BASS_OK;
  std::chrono::milliseconds waited{0};
  std::chrono::milliseconds backoff = kFirstWait;
  for (int attempt = 1;; ++attempt) {
    const ReplyStatus reply = AskReplyStatus(url, offset, abort, timeout);
    if (abort && abort->load(std::memory_order_relaxed)) return BASS_ERROR_TIMEOUT;
    // The open would meet the same dead or silent server, and wait as long again.
    if (reply.failure != 0) return reply.failure;
    if (!IsRetryableStatus(reply.status)) {
      // 401 and 407 are for the decoder's open, which sends the address's credentials.
      const bool final = reply.status >= 400 && reply.status != 401 && reply.status != 407;
      return final ? BASS_ERROR_FILEOPEN : BASS_OK;
    }
    std::chrono::milliseconds wait = backoff;
    if (reply.retry_after_s) {
      wait = std::min<std::chrono::milliseconds>(std::chrono::seconds(*reply.retry_after_s),
                                                 kLongestWait);
    } else {
      backoff *= 2;
    }
    if (attempt >= kAttempts || waited + wait > kLongestWait) return BASS_ERROR_FILEOPEN;
    if (!SleepUnlessAborted(wait, abort)) return BASS_ERROR_TIMEOUT;
    waited += wait;
  }
}

}  // namespace vorel::platform::audio
