// Sending a request and reading its response: one libcurl transfer per hop, redirects followed
// here (not by libcurl) so that cookies, credentials and the https-to-http rule are decided per
// hop.

#include "platform/http/internal/curl_api.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/internal/cookie_store.h"
#include "platform/http/internal/endpoint.h"
#include "platform/http/internal/handles.h"
#include "platform/http/internal/header_block.h"
#include "platform/http/internal/transfer_timeouts.h"
#include "platform/http/transfer_control.h"
#include "platform/http/wininet.h"
#include "platform/mutex.h"

namespace vorel::platform::http {
namespace {

using namespace internal;

constexpr int kMaxRedirects = 10;

std::atomic<long> connect_timeout_ms{30000};
std::atomic<long> low_speed_seconds{30};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The name of a header line ("Name: value"), or empty when it has no colon.
std::string_view HeaderName(std::string_view line) {
  size_t colon = line.find(':');
  return colon == std::string_view::npos ? std::string_view() : Trim(line.substr(0, colon));
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const auto& l : lines) {
    if (EqualsIgnoringCase(HeaderName(l), name)) return true;
  }
  return false;
}

std::vector<std::string> SplitLines(const char* text, std::uint32_t length) {
  std::vector<std::string> lines;
  if (!text) return lines;
  std::string_view all =
      length == 0xFFFFFFFFu ? std::string_view(text) : std::string_view(text, length);
  while (!all.empty()) {
    size_t nl = all.find('\n');
    std::string_view line = all.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    if (nl == std::string_view::npos) break;
    all.remove_prefix(nl + 1);
  }
  return lines;
}

struct HopState {
  HeaderBlock headers;
  std::vector<std::uint8_t> body;
  std::uint64_t max_body = kDefaultMaxResponseBytes;
  bool too_large = false;
  const std::atomic<bool>* cancel = nullptr;
  CURL* easy = nullptr;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  static_cast<HopState*>(user)->headers.AddLine(std::string_view(data, size * count));
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* s = static_cast<HopState*>(user);
  size_t n = size * count;
  if (s->body.capacity() == 0 && s->easy) {
    // The body lives in one buffer that never moves, so it is held once however it grows: the
    // announced length, or the whole allowance when none is announced or the announced length
    // passes it. Memory the body does not reach stays untouched address space.
    curl_off_t announced = -1;
    Curl().curl_easy_getinfo(s->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    constexpr std::uint64_t kLargestReservation = 256ull << 20;
    const std::uint64_t allowance = std::min(s->max_body, kLargestReservation);
    const std::uint64_t room =
        announced > 0 ? std::min(static_cast<std::uint64_t>(announced), allowance) : allowance;
    try {
      s->body.reserve(static_cast<size_t>(room));
    } catch (const std::exception&) {
      s->too_large = true;  // no exception may cross curl's callback
      return 0;
    }
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  if (s->body.size() + n > s->max_body) {
    s->body.insert(s->body.end(), bytes, bytes + (s->max_body - s->body.size()));
    s->too_large = true;
    return 0;  // aborts the transfer
  }
  s->body.insert(s->body.end(), bytes, bytes + n);
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* s = static_cast<HopState*>(user);
  return s->cancel && s->cancel->load() ? 1 : 0;
}

std::uint32_t ErrorOf(CURLcode rc, const HopState& s) {
  if (s.too_large) return kErrorResponseTooLarge;
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kErrorCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kErrorTimeout;
    case CURLE_ABORTED_BY_CALLBACK: return kErrorOperationCancelled;
    case CURLE_URL_MALFORMAT: return kErrorInvalidUrl;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: return kErrorSecureFailure;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL: return kErrorInvalidServerResponse;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return kErrorConnectionAborted;
    default: return kErrorInternal;
  }
}

// The header list for one hop: the caller's lines in order, the stored cookies merged in, and
// the entries that keep libcurl from adding lines of its own.
curl_slist* BuildHeaderList(const Request& req, const std::vector<std::string>& lines,
                            const std::string& stored_cookies, bool has_body) {
  curl_slist* list = nullptr;
  auto add = [&list](const std::string& line) {
    curl_slist* next = Curl().curl_slist_append(list, line.c_str());
    if (next) list = next;
  };
  if (!req.accept_types.empty() && !HasHeader(lines, "Accept")) {
    std::string accept = "Accept: ";
    for (size_t i = 0; i < req.accept_types.size(); ++i) {
      if (i) accept += ", ";
      accept += req.accept_types[i];
    }
    add(accept);
  }
  bool cookies_placed = stored_cookies.empty();
  for (std::string line : lines) {
    std::string_view name = HeaderName(line);
    if (!cookies_placed && EqualsIgnoringCase(name, "Cookie")) {
      // Add the stored cookies the caller's line does not name already.
      std::string_view own = line;
      own.remove_prefix(line.find(':') + 1);
      std::string extra;
      std::string_view stored = stored_cookies;
      while (!stored.empty()) {
        size_t semi = stored.find("; ");
        std::string_view item = stored.substr(0, semi);
        stored = semi == std::string_view::npos ? std::string_view() : stored.substr(semi + 2);
        std::string_view item_name = item.substr(0, item.find('='));
        bool named = false;
        std::string_view rest = own;
        while (!rest.empty()) {
          size_t s = rest.find(';');
          std::string_view piece = Trim(rest.substr(0, s));
          rest = s == std::string_view::npos ? std::string_view() : rest.substr(s + 1);
          if (piece.substr(0, piece.find('=')) == item_name) named = true;
        }
        if (!named) extra += "; " + std::string(item);
      }
      line += extra;
      cookies_placed = true;
    }
    // libcurl reads "Name:" without a value as "remove Name"; "Name;" sends it empty.
    if (!name.empty() && Trim(std::string_view(line).substr(line.find(':') + 1)).empty()) {
      line = std::string(name) + ";";
    }
    add(line);
  }
  if (!cookies_placed) add("Cookie: " + stored_cookies);
  if (!HasHeader(lines, "Accept") && req.accept_types.empty()) add("Accept:");
  if (!HasHeader(lines, "Expect")) add("Expect:");
  if (has_body && !HasHeader(lines, "Content-Type")) add("Content-Type:");
  return list;
}

struct HopResult {
  bool answered = false;
  std::uint32_t error = 0;       // when not answered
  std::uint32_t body_error = 0;  // when answered but the body failed
  long status = 0;
  HopState state;
};

// The proxy of one hop, with the credentials for it.
struct HopProxy {
  std::string address;  // "scheme://host:port"; empty: no proxy
  std::string user, password;
};

// The session's proxy for the hop's scheme, with the session's credentials unless the
// connection names its own.
HopProxy ProxyForHop(const Connection& conn, const Endpoint& at) {
  HopProxy proxy;
  std::string proxy_list;
  bool via_proxy_setting;
  {
    MutexLock lock(conn.session->mu);
    via_proxy_setting = conn.session->access_type == kOpenTypeProxy;
    proxy_list = conn.session->proxy;
    proxy.user = conn.session->proxy_user;
    proxy.password = conn.session->proxy_password;
  }
  {
    MutexLock lock(conn.mu);
    if (!conn.proxy_user.empty()) proxy.user = conn.proxy_user;
    if (!conn.proxy_password.empty()) proxy.password = conn.proxy_password;
  }
  if (via_proxy_setting) proxy.address = ProxyFor(proxy_list, at.secure);
  if (!proxy.address.empty() && proxy.address.find("://") == std::string::npos) {
    proxy.address = "http://" + proxy.address;
  }
  return proxy;
}

// Where the hop goes and how: the address and request target, the protocol rules, the proxy
// and the user agent. libcurl keeps its own copies of these strings.
void SetDestination(CURL* easy, const Request& req, const Endpoint& at, const HopProxy& proxy) {
  const CurlApi& curl = Curl();
  const std::string origin = at.Origin();
  const std::string url = origin + "/";
  // Through a plain http proxy the request target is the absolute address.
  const std::string target = !proxy.address.empty() && !at.secure ? origin + at.target : at.target;
  curl.curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl.curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
  curl.curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl.curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl.curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl.curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                        req.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl.curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl.curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl.curl_easy_setopt(easy, CURLOPT_PROXY, proxy.address.c_str());
  // The proxy decision is ours alone: no_proxy in the environment does not change it.
  if (!proxy.address.empty()) curl.curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  if (!proxy.address.empty() && (!proxy.user.empty() || !proxy.password.empty())) {
    curl.curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy.user.c_str());
    curl.curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy.password.c_str());
  }
  const std::string& agent = req.connection->session->agent;
  if (!agent.empty()) curl.curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
}

// The time-outs, and the callbacks that collect the response into `s` and stop on its cancel
// flag.
void SetTransferCallbacks(CURL* easy, HopState& s) {
  const CurlApi& curl = Curl();
  curl.curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms.load());
  curl.curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl.curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, low_speed_seconds.load());
  curl.curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl.curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl.curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &s);
  curl.curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl.curl_easy_setopt(easy, CURLOPT_HEADERDATA, &s);
  curl.curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl.curl_easy_setopt(easy, CURLOPT_WRITEDATA, &s);
}

// The connection's credentials (when they may go to this hop), the verb and the body, which
// libcurl does not copy: `body` must outlive the transfer.
void SetCredentialsAndBody(CURL* easy, const Connection& conn, bool send_credentials,
                           const std::string& verb, const std::string& body) {
  const CurlApi& curl = Curl();
  if (send_credentials && (!conn.user.empty() || !conn.password.empty())) {
    curl.curl_easy_setopt(easy, CURLOPT_USERNAME, conn.user.c_str());
    curl.curl_easy_setopt(easy, CURLOPT_PASSWORD, conn.password.c_str());
    // Two methods: libcurl then waits for the server's challenge, as WinINet does.
    curl.curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
  }
  curl.curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
  if (!body.empty()) {
    curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  }
}

HopResult PerformHop(CURL* easy, const Request& req, const Endpoint& at, const std::string& verb,
                     const std::vector<std::string>& lines, const std::string& body,
                     bool send_credentials,
                     const std::shared_ptr<const std::atomic<bool>>& cancel) {
  HopResult result;
  HopState& s = result.state;
  s.max_body = req.max_response_bytes;
  s.cancel = cancel.get();
  s.easy = easy;

  const std::string cookies = req.flags & kFlagNoCookies
                                  ? std::string()
                                  : CookieHeaderValue(at.CookieHost(), "", std::time(nullptr));
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      BuildHeaderList(req, lines, cookies, !body.empty()), Curl().curl_slist_free_all);

  const CurlApi& curl = Curl();
  curl.curl_easy_reset(easy);
  SetDestination(easy, req, at, ProxyForHop(*req.connection, at));
  SetTransferCallbacks(easy, s);
  SetCredentialsAndBody(easy, *req.connection, send_credentials, verb, body);
  curl.curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());

  const CURLcode rc = curl.curl_easy_perform(easy);
  curl.curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
  if (s.headers.complete()) {
    result.answered = true;
    if (rc != CURLE_OK) result.body_error = ErrorOf(rc, s);
  } else {
    result.error = ErrorOf(rc == CURLE_OK ? CURLE_WEIRD_SERVER_REPLY : rc, s);
  }
  return result;
}

void RecordCookies(const std::string& block, const Endpoint& at) {
  const std::string host = at.CookieHost();
  const std::time_t now = std::time(nullptr);
  ForEachHeader(block, [&](std::string_view name, std::string_view value) {
    if (EqualsIgnoringCase(name, "Set-Cookie")) StoreCookie(host, "", value, now);
  });
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void RemoveHeaders(std::vector<std::string>& lines, std::string_view name) {
  std::erase_if(lines,
                [&](const std::string& l) { return EqualsIgnoringCase(HeaderName(l), name); });
}

}  // namespace

namespace internal {

void SetTimeouts(TransferTimeouts timeouts) {
  connect_timeout_ms = timeouts.connect_ms;
  low_speed_seconds = timeouts.low_speed_seconds;
}

TransferTimeouts Timeouts() {
  return TransferTimeouts{connect_timeout_ms.load(), low_speed_seconds.load()};
}

}  // namespace internal

bool SetRequestCancelFlag(HINTERNET request, std::shared_ptr<const std::atomic<bool>> flag) {
  auto req = FindAs<Request>(request, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(request) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  req->cancel = std::move(flag);
  return true;
}

bool HttpAddRequestHeadersA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                            std::uint32_t modifiers) {
  auto req = FindAs<Request>(request, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(request) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (!headers) return Fail(kErrorInvalidParameter);
  if (req->sent) return Fail(kErrorIncorrectHandleState);
  for (auto& line : SplitLines(headers, headers_length)) req->added_lines.push_back(line);
  return true;
}

bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                      const void* optional, std::uint32_t optional_length) {
  auto req = FindAs<Request>(request, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(request) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (req->sent) return Fail(kErrorIncorrectHandleState);
  req->sent = true;

  std::vector<std::string> lines = req->added_lines;
  for (auto& line : SplitLines(headers, headers_length)) lines.push_back(std::move(line));
  std::string body;
  if (optional && optional_length) body.assign(static_cast<const char*>(optional), optional_length);

  if (!LoadCurl()) return Fail(kErrorInternal);
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(Curl().curl_easy_init(),
                                                           Curl().curl_easy_cleanup);
  if (!easy) return Fail(kErrorOutOfHandles);

  Endpoint first;
  first.secure = (req->flags & kFlagSecure) != 0;
  first.host = req->connection->host;
  first.port = req->connection->port;
  first.target = EncodeTarget(req->object);
  Endpoint at = first;
  std::string verb = req->verb;
  auto cancel = req->cancel;

  for (int hop = 0;; ++hop) {
    HopResult r = PerformHop(easy.get(), *req, at, verb, lines, body, at.SameOrigin(first), cancel);
    if (!r.answered) {
      if (hop == 0) return Fail(r.error);
      // A redirect that leads nowhere: the response that pointed there stays the result.
      break;
    }
    req->answered = true;
    req->raw_headers = r.state.headers.Block();
    if (!(req->flags & kFlagNoCookies)) RecordCookies(req->raw_headers, at);
    req->body = std::move(r.state.body);
    req->body_error = r.body_error;
    req->read_pos = 0;

    if ((req->flags & kFlagNoAutoRedirect) || !IsRedirect(r.status) || hop == kMaxRedirects) break;
    if (r.body_error == kErrorOperationCancelled) break;
    auto location = HeaderValue(req->raw_headers, "Location");
    if (!location || location->empty()) break;
    auto next = Resolve(at, *location);
    if (!next) break;
    if (at.secure && !next->secure && !(req->flags & kFlagIgnoreRedirectToHttp)) break;
    if (((r.status == 301 || r.status == 302) && EqualsIgnoringCase(verb, "POST")) ||
        (r.status == 303 && !EqualsIgnoringCase(verb, "HEAD"))) {
      verb = "GET";
      body.clear();
      RemoveHeaders(lines, "Content-Length");
    }
    // A Cookie line of the caller belongs to the host it was written for.
    if (!next->SameOrigin(at)) RemoveHeaders(lines, "Cookie");
    at = *next;
  }
  return true;
}

bool InternetReadFile(HINTERNET file, void* buffer, std::uint32_t bytes_to_read,
                      std::uint32_t* bytes_read) {
  if (!bytes_read) return Fail(kErrorInvalidParameter);
  *bytes_read = 0;
  auto req = FindAs<Request>(file, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(file) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (!req->answered) return Fail(kErrorIncorrectHandleState);
  if (bytes_to_read && !buffer) return Fail(kErrorInvalidParameter);
  size_t left = req->body.size() - req->read_pos;
  if (left == 0) return req->body_error ? Fail(req->body_error) : true;
  size_t n = std::min<size_t>(left, bytes_to_read);
  if (n) std::memcpy(buffer, req->body.data() + req->read_pos, n);
  req->read_pos += n;
  *bytes_read = static_cast<std::uint32_t>(n);
  return true;
}

bool InternetReadFileAll(HINTERNET file, std::vector<std::uint8_t>* out) {
  if (!out) return Fail(kErrorInvalidParameter);
  auto req = FindAs<Request>(file, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(file) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (!req->answered) return Fail(kErrorIncorrectHandleState);
  if (out->empty() && req->read_pos == 0) {
    *out = std::move(req->body);
  } else {
    out->insert(out->end(), req->body.begin() + static_cast<std::ptrdiff_t>(req->read_pos),
                req->body.end());
  }
  req->body.clear();
  req->read_pos = 0;
  return req->body_error ? Fail(req->body_error) : true;
}

bool InternetQueryDataAvailable(HINTERNET file, std::uint32_t* bytes_available, std::uint32_t flags,
                                std::uintptr_t context) {
  if (!bytes_available) return Fail(kErrorInvalidParameter);
  auto req = FindAs<Request>(file, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(file) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (!req->answered) return Fail(kErrorIncorrectHandleState);
  size_t left = req->body.size() - req->read_pos;
  if (left == 0 && req->body_error) return Fail(req->body_error);
  *bytes_available = static_cast<std::uint32_t>(std::min<size_t>(left, 0xFFFFFFFFu));
  return true;
}

bool HttpQueryInfoA(HINTERNET request, std::uint32_t info_level, void* buffer,
                    std::uint32_t* buffer_length, std::uint32_t* index) {
  auto req = FindAs<Request>(request, HandleKind::kRequest);
  if (!req) return Fail(FindHandle(request) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
  if (!req->answered) return Fail(kErrorIncorrectHandleState);
  constexpr std::uint32_t kFlagNumber = 0x20000000;  // HTTP_QUERY_FLAG_NUMBER
  std::uint32_t level = info_level & 0xFFFF;
  std::optional<std::string> value;
  switch (level) {
    case kQueryRawHeadersCrlf: value = req->raw_headers; break;
    case kQueryContentLength: value = HeaderValue(req->raw_headers, "Content-Length"); break;
    case kQueryStatusCode: {
      std::string_view status_line(req->raw_headers);
      status_line = status_line.substr(0, status_line.find("\r\n"));
      size_t sp = status_line.find(' ');
      if (sp != std::string_view::npos) {
        std::string_view code = status_line.substr(sp + 1, 3);
        value = std::string(code);
      }
      break;
    }
    default: return Fail(kErrorInvalidParameter);
  }
  if (!value) return Fail(kErrorHeaderNotFound);
  if (info_level & kFlagNumber) {
    if (!buffer_length || *buffer_length < 4 || !buffer) return Fail(kErrorInsufficientBuffer);
    // A number too large for the 32-bit answer reads as the largest one, never as a wrapped
    // small size.
    std::uint64_t number = 0;
    for (char c : *value) {
      if (c < '0' || c > '9') break;
      number =
          std::min<std::uint64_t>(number * 10 + static_cast<std::uint64_t>(c - '0'), 0xFFFFFFFFu);
    }
    const auto answer = static_cast<std::uint32_t>(number);
    std::memcpy(buffer, &answer, 4);
    *buffer_length = 4;
    return true;
  }
  return CopyOut(*value, buffer, buffer_length);
}

}  // namespace vorel::platform::http
