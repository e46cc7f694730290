#ifndef VOREL_PLATFORM_HTTP_WININET_H_
#define VOREL_PLATFORM_HTTP_WININET_H_

// An HTTP client with the calling conventions of the WinINet functions the program was written
// against, built on libcurl. Handles are opaque, never reused within a run; a null handle means
// failure, and InternetLastError() then names the cause with a WinINet error number.
//
// What the caller can rely on:
//  - Request line: the verb exactly as given (null means "GET"), the object as given with bytes
//    <= 0x20 and 0x7F percent-encoded, the version "HTTP/1.0" or "HTTP/1.1" (the default).
//  - Header lines, in this order: "Host", "User-Agent" (the agent of InternetOpenA, when not
//    empty), an "Accept" line made from the accept types (only when the caller's lines hold no
//    Accept line), the lines given to HttpAddRequestHeadersA, then the lines given to
//    HttpSendRequestA, each exactly as given. Nothing else is added except "Content-Length" for a
//    non-empty body when the caller's lines hold none, and the stored cookies (below). No Accept,
//    Expect, Content-Type or Accept-Encoding line of the library's own is sent.
//  - Cookies: one process-wide store, each cookie kept under "http://" plus the host (lower case,
//    no port). Without kFlagNoCookies a request sends the stored cookies of its host (merged into
//    the caller's own Cookie line when there is one, else as a last "Cookie: " line) and records
//    every Set-Cookie of its responses under its host; the Domain and Path attributes are
//    ignored, Expires and Max-Age honoured. InternetSetCookieA records one cookie directly.
//  - Redirects (301, 302, 303, 307, 308 with a Location) are followed unless
//    kFlagNoAutoRedirect is given: at most 10, relative locations resolved, POST turned into GET
//    for 301, 302 and 303, https to http refused unless kFlagIgnoreRedirectToHttp. When a
//    redirect is not followed, its own response is the result.
//  - kFlagSecure selects https with certificate and host verification on. There is no cache:
//    every request goes to the network, so kFlagReload, kFlagNoCacheWrite and kFlagNeedFile
//    change nothing.
//  - Proxy: "http=host:port" (or a bare "host:port") applies to http requests only; https goes
//    direct. A direct connection ignores proxy variables of the environment.
//  - Credentials of InternetConnectA are offered (Basic or Digest) when the server asks for them,
//    and only to the host they were given for.
//  - Time-outs: 30 s to connect, and a transfer with less than 1 byte/s for 30 s is aborted.
//  - HttpSendRequestA performs the exchange and returns true once a response's header block is
//    in; the body is then read with InternetReadFile. A body larger than the handle's limit
//    (kOptionMaxResponseBytes, 64 MiB by default) stops at the limit, and the read past it fails
//    with kErrorResponseTooLarge. A failure midway delivers the bytes received, then fails.
//  - HttpQueryInfoA with kQueryRawHeadersCrlf gives the final response's header block: status line
//    first, every line ended by "\r\n", and one more "\r\n" at the end.
//
// Thread-safety: every function may be called from any thread; one request handle must not be
// used by two threads at the same time. The cookie store is thread-safe.

#include <cstdint>
#include <vector>

namespace vorel::platform::http {

using HINTERNET = void*;

inline constexpr std::uint32_t kOpenTypeDirect = 1;  // INTERNET_OPEN_TYPE_DIRECT
inline constexpr std::uint32_t kOpenTypeProxy = 3;   // INTERNET_OPEN_TYPE_PROXY
inline constexpr std::uint32_t kServiceHttp = 3;     // INTERNET_SERVICE_HTTP
inline constexpr std::uint16_t kDefaultHttpPort = 80;
inline constexpr std::uint16_t kDefaultHttpsPort = 443;

inline constexpr std::uint32_t kFlagReload = 0x80000000;                 // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;           // ..._NO_CACHE_WRITE
inline constexpr std::uint32_t kFlagSecure = 0x00800000;                 // ..._SECURE
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;         // ..._NO_AUTO_REDIRECT
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;              // ..._NO_COOKIES
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttp = 0x00008000;   // ..._TO_HTTP
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;  // ..._TO_HTTPS
inline constexpr std::uint32_t kFlagNeedFile = 0x00000010;               // ..._NEED_FILE

inline constexpr std::uint32_t kQueryContentLength = 5;    // HTTP_QUERY_CONTENT_LENGTH
inline constexpr std::uint32_t kQueryStatusCode = 19;      // HTTP_QUERY_STATUS_CODE
inline constexpr std::uint32_t kQueryRawHeadersCrlf = 22;  // HTTP_QUERY_RAW_HEADERS_CRLF

inline constexpr std::uint32_t kOptionProxy = 38;          // INTERNET_OPTION_PROXY
inline constexpr std::uint32_t kOptionProxyUsername = 43;  // INTERNET_OPTION_PROXY_USERNAME
inline constexpr std::uint32_t kOptionProxyPassword = 44;  // INTERNET_OPTION_PROXY_PASSWORD
// Our own option: the body limit in bytes (a std::uint64_t), inherited by handles opened from
// this one afterwards.
inline constexpr std::uint32_t kOptionMaxResponseBytes = 0x56520001;

inline constexpr std::uint64_t kDefaultMaxResponseBytes = 64ull << 20;

// INTERNET_PROXY_INFO for kOptionProxy.
struct InternetProxyInfo {
  std::uint32_t access_type;
  const char* proxy;
  const char* proxy_bypass;
};

// Error numbers (WinINet's where it has one).
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorOutOfHandles = 12001;
inline constexpr std::uint32_t kErrorTimeout = 12002;
inline constexpr std::uint32_t kErrorInternal = 12004;
inline constexpr std::uint32_t kErrorInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorOperationCancelled = 12017;
inline constexpr std::uint32_t kErrorIncorrectHandleType = 12018;
inline constexpr std::uint32_t kErrorIncorrectHandleState = 12019;
inline constexpr std::uint32_t kErrorCannotConnect = 12029;
inline constexpr std::uint32_t kErrorConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorSecureFailure = 12175;
inline constexpr std::uint32_t kErrorHeaderNotFound = 12150;
inline constexpr std::uint32_t kErrorInvalidServerResponse = 12152;
inline constexpr std::uint32_t kErrorResponseTooLarge = 0x56520002;

// The error of the calling thread's last failed call.
std::uint32_t InternetLastError();

// `agent` may be null. `proxy` is used with kOpenTypeProxy only.
HINTERNET InternetOpenA(const char* agent, std::uint32_t access_type, const char* proxy,
                        const char* proxy_bypass, std::uint32_t flags);

// Only kServiceHttp is supported. Port 0 means the scheme's default port.
HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, std::uint16_t server_port,
                           const char* user_name, const char* password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t context);

// `accept_types` is a null-terminated list of media ranges, or null.
HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer,
                           const char* const* accept_types, std::uint32_t flags,
                           std::uintptr_t context);

// Header lines separated by "\r\n"; a length of 0xFFFFFFFF means up to the NUL.
bool HttpAddRequestHeadersA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                            std::uint32_t modifiers);

// Performs the exchange (see above). `optional` is the body. A request can be sent once.
bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                      const void* optional, std::uint32_t optional_length);

// Up to `bytes_to_read` body bytes; *bytes_read 0 with true at the end of the body.
bool InternetReadFile(HINTERNET file, void* buffer, std::uint32_t bytes_to_read,
                      std::uint32_t* bytes_read);

// Our own: appends every body byte not read yet to `out` (taking the layer's buffer over when
// `out` is empty and nothing was read, so a large body is not copied). Fails like the
// InternetReadFile call after the last byte would (a body that failed midway or passed the
// limit), after appending what arrived.
bool InternetReadFileAll(HINTERNET file, std::vector<std::uint8_t>* out);

// The number of body bytes a read can deliver at once now; 0 at the end of the body.
bool InternetQueryDataAvailable(HINTERNET file, std::uint32_t* bytes_available, std::uint32_t flags,
                                std::uintptr_t context);

// Text answers are NUL-terminated; on success *buffer_length is their length without the NUL.
// When the buffer is too small: false, kErrorInsufficientBuffer, *buffer_length the size needed
// including the NUL. A missing header: false, kErrorHeaderNotFound.
bool HttpQueryInfoA(HINTERNET request, std::uint32_t info_level, void* buffer,
                    std::uint32_t* buffer_length, std::uint32_t* index);

bool InternetSetOptionA(HINTERNET internet, std::uint32_t option, const void* buffer,
                        std::uint32_t buffer_length);

// Records a cookie under the host of `url`. With a null or empty name, `data` is read as
// "name=value; attributes" (a piece without "=" is a cookie without a name).
bool InternetSetCookieA(const char* url, const char* cookie_name, const char* cookie_data);

// The cookies stored for the host of `url` as "name=value; name2=value2" (only those named
// `cookie_name` when it is given). Buffer rules as HttpQueryInfoA; no cookie: false,
// kErrorHeaderNotFound.
bool InternetGetCookieA(const char* url, const char* cookie_name, char* data, std::uint32_t* size);

// Closing a parent leaves its children usable until they are closed themselves.
bool InternetCloseHandle(HINTERNET handle);

}  // namespace vorel::platform::http

#endif  // VOREL_PLATFORM_HTTP_WININET_H_
