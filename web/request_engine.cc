#include "web/request_engine.h"

#include <cmath>
#include <optional>

#include "platform/http/transfer_control.h"
#include "platform/http/wininet.h"
#include "runtime/files.h"
#include "runtime/text_ops.h"
#include "runtime/value.h"
#include "web/internal/http_reading.h"

namespace vorel::web {
namespace {

using namespace runtime;
namespace http = platform::http;
using internal::RequestHandles;

constexpr char kRequestMarker[] = "Zendrak";
constexpr char kResultMarker[] = "Zendrak_OK";
constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";
constexpr char kLanguageLine[] = "Accept-Language: zh-cn\r\n";
constexpr char kFormTypeLine[] = "Content-Type: application/x-www-form-urlencoded\r\n";

const char* NullIfEmpty(const Text& t) { return t.empty() ? nullptr : t.c_str(); }

// The header text for the send: the extra headers and the default lines they lack.
Text BuildHeaderText(const Text& extra, const Text& address) {
  Text headers = extra;
  if (FindText(headers, "Accept: ", 1, true) == -1) headers += kAcceptLine;
  if (FindText(headers, "Referer: ", 1, true) == -1) headers += "Referer: " + address + "\r\n";
  if (FindText(headers, "Accept-Language: ", 1, true) == -1) headers += kLanguageLine;
  return headers;
}

// Records each "Set-Cookie: " line of the header text under the host, in addition to what the
// HTTP layer records itself, so that a cookie reaches later requests to the host even when the
// layer's own jar did not keep it.
void RecordCookies(const Text& header_text, const Text& host) {
  if (FindText(header_text, "Set-Cookie: ", 1, true) <= 0) return;
  const Text url = "http://" + host;
  const Array<Text> lines = SplitText(header_text, "\n");
  for (const Text& line : lines.elements()) {
    Text l = line;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (FindText(l, "Set-Cookie: ", 1, true) == -1) continue;
    Text rest = ReplaceText(l, 1, 12);
    int e = FindText(rest, "=");
    Text name = LeftText(rest, e - 1);
    Text data = RightText(rest, TextLength(rest) - e);
    http::InternetSetCookieA(url.c_str(), name.c_str(), data.c_str());
  }
}

// The fields of a request pack, in the order the fetch writes them.
struct RequestFields {
  Text address, method, proxy, user, password, extra_headers, post_data, cookies;

  bool SendsCookies() const { return !TrimSpaces(cookies).empty(); }
};

// Reads the request out of `pack` and empties the pack for the result. None when the pack is
// not a request.
std::optional<RequestFields> TakeRequest(std::int32_t pack) {
  if (pack == 0) return std::nullopt;
  MoveToFileStart(pack);
  Text marker;
  if (!ReadData(pack, {&marker}) || marker != kRequestMarker) {
    MoveToFileStart(pack);
    return std::nullopt;
  }
  RequestFields f;
  ReadData(pack, {&f.address, &f.method, &f.proxy, &f.user, &f.password, &f.extra_headers,
                  &f.post_data, &f.cookies});
  MoveToFileStart(pack);
  DeleteData(pack, FileLength(pack));
  return f;
}

// Opens the session (through the proxy when one is named), the connection to `host` with the
// user and password when given, and the request. When any of them fails the request handle is
// null and nothing is left open.
RequestHandles OpenRequest(const RequestFields& f, const Text& host) {
  RequestHandles handles;
  const bool use_proxy = !RemoveAllSpaces(f.proxy).empty();
  const Text proxy_text = "http=" + f.proxy;
  handles.internet =
      http::InternetOpenA(kUserAgent, use_proxy ? http::kOpenTypeProxy : http::kOpenTypeDirect,
                          use_proxy ? proxy_text.c_str() : nullptr, nullptr, 0);
  if (!handles.internet) return {};
  const std::int32_t port = RequestPort(f.address);
  if (port >= 0 && port <= 65535) {
    handles.connection =
        http::InternetConnectA(handles.internet, host.c_str(), static_cast<std::uint16_t>(port),
                               RemoveAllSpaces(f.user).empty() ? nullptr : f.user.c_str(),
                               RemoveAllSpaces(f.password).empty() ? nullptr : f.password.c_str(),
                               http::kServiceHttp, 0, 0);
  }
  if (handles.connection) {
    handles.request = http::HttpOpenRequestA(
        handles.connection, NullIfEmpty(f.method), RequestPath(f.address).c_str(), "HTTP/1.1",
        nullptr, nullptr, f.SendsCookies() ? http::kFlagReload : http::kFlagNoCookies, 0);
  }
  if (!handles.request) {
    handles.Close();
    return {};
  }
  return handles;
}

enum class SendOutcome { kAnswered, kNoAnswer, kUnknownMethod };

// Sends the request with its headers: a GET (also for an empty method) without a body, a POST
// with the post data and the lines that describe it. Other methods are not sent.
SendOutcome SendRequest(http::HINTERNET request, const RequestFields& f) {
  Text headers = BuildHeaderText(f.extra_headers, f.address);
  if (f.SendsCookies()) {
    Text cookie_line = "Cookie: " + f.cookies + "\r\n";
    http::HttpAddRequestHeadersA(request, cookie_line.c_str(),
                                 static_cast<std::uint32_t>(cookie_line.size()), 0);
  }
  const Text verb = ToUpper(f.method);
  bool answered = false;
  if (f.method.empty() || verb == "GET") {
    answered = http::HttpSendRequestA(request, headers.c_str(),
                                      static_cast<std::uint32_t>(headers.size()), nullptr, 0);
  } else if (verb == "POST") {
    if (!f.post_data.empty()) {
      if (FindText(headers, "Content-Type: ", 1, true) == -1) headers += kFormTypeLine;
      headers +=
          "Content-Length: " + ToText(static_cast<std::int32_t>(f.post_data.size())) + "\r\n";
    }
    answered = http::HttpSendRequestA(
        request, headers.c_str(), static_cast<std::uint32_t>(headers.size()),
        NullIfEmpty(f.post_data), static_cast<std::uint32_t>(f.post_data.size()));
  } else {
    return SendOutcome::kUnknownMethod;
  }
  return answered ? SendOutcome::kAnswered : SendOutcome::kNoAnswer;
}

// Writes the result into the pack: the marker, the header text and the body, the body beside
// the pack when the fetch gave a sink for it.
void WriteResult(std::int32_t pack, const internal::RequestContext& context,
                 const Text& header_text, Bytes body) {
  MoveToFileStart(pack);
  if (context.body_sink) {
    *context.body_sink = std::move(body);
    WriteData(pack, {Text(kResultMarker), header_text, Bytes()});
  } else {
    WriteData(pack, {Text(kResultMarker), header_text, std::move(body)});
  }
}

}  // namespace

std::int32_t RequestWorker(std::int32_t pack) {
  internal::RequestContext context;
  return internal::RunRequest(pack, context);
}

std::int32_t internal::RunRequest(std::int32_t pack, RequestContext& context) {
  const std::optional<RequestFields> fields = TakeRequest(pack);
  if (!fields) return 0;
  const Text host = RequestHost(fields->address, false);
  const RequestHandles handles = OpenRequest(*fields, host);
  if (!handles.request) return 0;
  if (context.cancel) http::SetRequestCancelFlag(handles.request, context.cancel);
  const SendOutcome sent = SendRequest(handles.request, *fields);
  if (sent == SendOutcome::kUnknownMethod) {
    handles.Close();
    return 0;
  }

  // A failed send or read is not an error here: the result holds whatever arrived. Why a send
  // got no response is kept for a caller that tells the user.
  context.send_error = sent == SendOutcome::kAnswered ? 0 : http::InternetLastError();
  Bytes body;
  if (internal::ReadBody(handles.request, body) == internal::BodyEnd::kTooLarge) body.clear();
  const Text header_text = internal::RawHeaders(handles.request);
  const bool abandoned = context.Cancelled();
  if (!abandoned) WriteResult(pack, context, header_text, std::move(body));
  handles.Close();
  if (!abandoned) RecordCookies(header_text, host);
  return abandoned ? 0 : 1;
}

Text RequestHost(const Text& address, bool keep_port) {
  int p = FindText(address, "http://");
  int start = p == -1 ? 1 : p + 7;
  int s = FindText(address, "/", start);
  int length = s == -1 ? TextLength(address) : s - start;
  Text h = MidText(address, start, length);
  // User-info ("user:password@") is not part of the host.
  int at = FindTextBackward(h, "@");
  if (at != -1) h = RightText(h, TextLength(h) - at);
  if (!keep_port) {
    int colon = FindText(h, ":");
    if (colon != -1) h = LeftText(h, colon - 1);
  }
  return ToLower(h);
}

Text RequestPath(const Text& address) {
  Text h = RequestHost(address, false);
  // The host is looked for after "http://", so a host such as "p" is not found inside "http".
  int p = FindText(address, "http://");
  int from = p == -1 ? 1 : p + 7;
  int c = FindText(address, h, from, true);
  int s = FindText(address, "/", c == -1 ? from : c, true);
  if (s <= 0) return "/";
  return RightText(address, TextLength(address) - s + 1);
}

std::int32_t RequestPort(const Text& address) {
  Text h = RequestHost(address, true);
  int c = FindText(h, ":");
  if (c == -1) return 80;
  double n = ToNumber(RightText(h, TextLength(h) - c));
  if (!std::isfinite(n) || n >= 2147483648.0 || n <= -2147483649.0) return -1;
  return static_cast<std::int32_t>(std::trunc(n));
}

}  // namespace vorel::web
