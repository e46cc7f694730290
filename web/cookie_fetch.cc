#include "web/cookie_fetch.h"

#include "platform/code_page.h"
#include "platform/http/wininet.h"
#include "runtime/text_ops.h"
#include "runtime/value.h"
#include "web/cookie_jar.h"
#include "web/internal/http_reading.h"
#include "web/page_text.h"

namespace vorel::web {
namespace {

using namespace runtime;
namespace http = platform::http;
using internal::RequestHandles;

constexpr char kDefaultAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 73MQA; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";
constexpr int kMaxMovedRepeats = 10;

// The caller's variables, or local stand-ins for those not given, kept across the repeats.
struct Variables {
  Text* cookies;  // null: not given
  Text* returned_cookies;
  Text* extra_headers;
  Text* location;
  Bytes* post_bytes;
  const Text* proxy;  // null: not given
  Text* returned_headers;
};

// The address a "301 Moved" leads to.
Text MovedAddress(const Text& address, const Text& location) {
  const Text lower = ToLower(location);
  int scheme_end = -1;
  if (LeftText(lower, 7) == "http://") scheme_end = 8;
  if (LeftText(lower, 8) == "https://") scheme_end = 9;
  if (scheme_end != -1) {
    // Only a scheme and host: the old path goes on, as servers moving a whole site expect.
    if (FindText(location, "/", scheme_end) == -1) return location + UrlPath(address);
    return location;
  }
  const Text scheme = LeftText(ToLower(address), 5) == "https" ? "https" : "http";
  if (LeftText(location, 2) == "//") return scheme + ":" + location;
  const Text origin = scheme + "://" + UrlHost(address, false, true);
  if (LeftText(location, 1) == "/") return origin + location;
  Text path = UrlPath(address);
  path = LeftText(path, FindText(path, "?") == -1 ? TextLength(path) : FindText(path, "?") - 1);
  int slash = FindTextBackward(path, "/");
  return origin + LeftText(path, slash) + location;
}

// The user agent a "User-Agent:" line of the caller's headers names, else the default one.
Text AgentFor(const Text& headers) {
  if (FindText(headers, "User-Agent:", 1, true) == -1) return kDefaultAgent;
  Text agent = TrimSpaces(TextBetween(headers, "User-Agent:", "\r\n"));
  if (agent.empty()) agent = TextAfterColon(headers);
  return agent;
}

// The flags of the request: cookies kept out of the HTTP layer's own jar when the caller keeps
// them, and its redirect handling.
std::uint32_t RequestFlags(const Text& address, bool no_redirect, const Variables& v) {
  std::uint32_t flags = http::kFlagReload | http::kFlagNeedFile;
  if (v.cookies) flags |= http::kFlagNoCookies;
  if (no_redirect) flags |= http::kFlagNoAutoRedirect;
  flags |= ToLower(LeftText(address, 5)) == "https" ? http::kFlagSecure
                                                    : http::kFlagIgnoreRedirectToHttps;
  return flags;
}

// Opens the session, the connection and the request for `address`. When any of them fails the
// request handle is null and nothing is left open.
RequestHandles OpenRequest(const Text& address, const Text& verb, const Text& agent,
                           bool no_redirect, const Variables& v) {
  RequestHandles handles;
  const Text proxy_text = v.proxy ? "http=" + *v.proxy : Text();
  handles.internet =
      v.proxy ? http::InternetOpenA(agent.c_str(), http::kOpenTypeProxy, proxy_text.c_str(), "", 0)
              : http::InternetOpenA(agent.c_str(), http::kOpenTypeDirect, nullptr, nullptr, 0);
  if (!handles.internet) return {};
  const std::int32_t port = UrlPort(address);
  if (port >= 0 && port <= 65535) {
    handles.connection = http::InternetConnectA(handles.internet, UrlHost(address).c_str(),
                                                static_cast<std::uint16_t>(port), nullptr, nullptr,
                                                http::kServiceHttp, 0, 0);
  }
  if (handles.connection) {
    handles.request = http::HttpOpenRequestA(handles.connection, verb.c_str(),
                                             UrlPath(address).c_str(), "HTTP/1.1", nullptr, nullptr,
                                             RequestFlags(address, no_redirect, v), 0);
  }
  if (!handles.request) {
    handles.Close();
    return {};
  }
  return handles;
}

// Completes the caller's headers with the lines the servers expect of a browser, and the
// caller's cookies.
void CompleteHeaders(Text& headers, const Text& address, const Text* cookies) {
  if (FindText(headers, "Referer:") == -1) {
    headers += headers.empty() ? "Referer: " + address : "\r\nReferer: " + address;
  }
  if (FindText(headers, "Accept:") == -1) headers += "\r\nAccept: */*";
  if (FindText(headers, "Accept-Language:") == -1) headers += "\r\nAccept-Language: zh-cn";
  if (FindText(headers, "Content-Type:") == -1) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (cookies && !cookies->empty()) headers += "\r\nCookie: " + *cookies;
}

// Sends the request: mode 0 without a body, any other mode with the post bytes, filled from
// `post_data` when the caller gave none.
void SendRequest(http::HINTERNET request, std::int32_t mode, const Text& post_data,
                 const Variables& v) {
  const Text& headers = *v.extra_headers;
  const auto header_length = static_cast<std::uint32_t>(headers.size());
  if (mode == 0) {
    http::HttpSendRequestA(request, headers.c_str(), header_length, nullptr, 0);
    return;
  }
  if (v.post_bytes->empty()) *v.post_bytes = ToBytes(post_data);
  http::HttpSendRequestA(request, headers.c_str(), header_length, v.post_bytes->data(),
                         static_cast<std::uint32_t>(v.post_bytes->size()));
}

// Fills the caller's location and cookie variables from the returned headers and merges the
// new cookies into the caller's jar. Returns the last Location the answer named, empty without
// one.
Text TakeLocationAndCookies(const Variables& v) {
  const Text& returned_headers = *v.returned_headers;
  Text& location = *v.location;
  Text& returned_cookies = *v.returned_cookies;
  Text found_location;
  returned_cookies.clear();
  const Array<Text> lines = SplitText(returned_headers, "\r\n");
  for (const Text& line : lines.elements()) {
    if (FindText(line, "Location:") != -1) {
      found_location = TextAfterColon(line);
      location = found_location;
    }
    if (FindText(line, "Set-Cookie") != -1) {
      returned_cookies += TrimSpaces(TextBetween(line, "Set-Cookie:", ";")) + "; ";
    }
  }
  returned_cookies = LeftText(returned_cookies, TextLength(returned_cookies) - 2);
  if (v.cookies) MergeCookies(*v.cookies, returned_cookies);
  if (location.empty()) location = returned_headers;
  return found_location;
}

// Only an answer that names where to go is followed, and only so often: a server answering
// 301 for ever ends with its own last answer.
bool IsMoveToFollow(const Text& returned_headers, const Text& found_location, int repeats) {
  return TextBetween(returned_headers, "HTTP/1.1 ", " Moved") == "301" && !found_location.empty() &&
         repeats < kMaxMovedRepeats;
}

// Whether the body is UTF-8: by a "utf-8" in its first 500 bytes, in the headers, or as an
// unlabelled JSON reply.
bool IsUtf8Body(const Bytes& body, const Text& returned_headers) {
  const int p = FindBytes(body, ToBytes(Text("utf-8")));
  return (p != -1 && p < 500) || FindText(returned_headers, "utf-8", 1, true) != -1 ||
         IsUnlabelledUtf8Json(returned_headers, body);
}

Bytes Fetch(const Text& address, std::int32_t mode, const Text& post_data, bool no_redirect,
            const Variables& v, int repeats) {
  const RequestHandles handles =
      OpenRequest(address, mode == 1 ? "POST" : "GET", AgentFor(*v.extra_headers), no_redirect, v);
  if (!handles.request) return {};
  CompleteHeaders(*v.extra_headers, address, v.cookies);
  SendRequest(handles.request, mode, post_data, v);

  Bytes body;
  if (internal::ReadBody(handles.request, body) == internal::BodyEnd::kTooLarge) {
    handles.Close();
    return {};
  }
  *v.returned_headers = internal::RawHeaders(handles.request);
  handles.Close();

  const Text found_location = TakeLocationAndCookies(v);
  if (IsMoveToFollow(*v.returned_headers, found_location, repeats)) {
    v.location->clear();
    return Fetch(MovedAddress(address, found_location), mode, post_data, no_redirect, v,
                 repeats + 1);
  }
  if (IsUtf8Body(body, *v.returned_headers)) return Utf8ToAnsi(body);
  return body;
}

}  // namespace

bool IsUnlabelledUtf8Json(const Text& headers, const Bytes& body) {
  // The Content-Type line of the header block (the last one when a server repeats it).
  Text type;
  const Array<Text> lines = SplitText(headers, "\r\n");
  for (const Text& line : lines.elements()) {
    if (ToLower(LeftText(line, 13)) == "content-type:") type = ToLower(TextAfterColon(line));
  }
  const Text media = TrimSpaces(LeftText(
      type, type.find(';') == Text::npos ? TextLength(type) : static_cast<int>(type.find(';'))));
  const bool json = media == "application/json" || media == "text/json" ||
                    (media.size() > 5 && media.ends_with("+json"));
  if (!json || type.find("charset") != Text::npos) return false;
  return platform::IsValidUtf8(
      std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
}

Bytes FetchPageWithCookies(const Text& address, std::int32_t mode, const Text& post_data,
                           Text* cookies, Text* returned_cookies, Text* extra_headers,
                           Text* location, bool no_redirect, Bytes* post_bytes, const Text* proxy,
                           Text* returned_headers) {
  Text local_returned_cookies, local_headers, local_location, local_returned_headers;
  Bytes local_post_bytes;
  Variables v{cookies,
              returned_cookies ? returned_cookies : &local_returned_cookies,
              extra_headers ? extra_headers : &local_headers,
              location ? location : &local_location,
              post_bytes ? post_bytes : &local_post_bytes,
              proxy,
              returned_headers ? returned_headers : &local_returned_headers};
  return Fetch(address, mode, post_data, no_redirect, v, 0);
}

}  // namespace vorel::web
