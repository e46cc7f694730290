#ifndef VOREL_DOWNLOAD_INTERNAL_HTTP_REQUEST_H_
#define VOREL_DOWNLOAD_INTERNAL_HTTP_REQUEST_H_

// The HTTP request of a connection and how a redirect changes it. Pure, thread-safe.

#include <string_view>

#include "download/internal/response_header.h"
#include "download/transfer_address.h"
#include "runtime/text.h"

namespace vorel::download::internal {

inline constexpr std::string_view kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";

struct RequestParts {
  runtime::Text proxy;   // "host[:port]", empty for a direct connection
  runtime::Text target;  // the path, or the whole address with a proxy
  runtime::Text host;    // host part as written, maybe with ":port"
  runtime::Text referer;
  runtime::Text user_agent{kUserAgent};
  runtime::Text extra_line;  // a whole header line with its "\r\n", or empty
  bool tls = false;          // https: the exchange runs over TLS, port 443 by default
};

// The request text, grown as needed (no length limit). Without a proxy: GET, Host, Accept,
// Referer, User-Agent, the extra line, Pragma, Cache-Control, Connection: close. With a proxy:
// GET with the whole address, Host, User-Agent, Proxy-Connection; the extra line is not sent.
runtime::Text BuildHttpRequest(std::string_view proxy, std::string_view target,
                               std::string_view host, std::string_view referer,
                               std::string_view user_agent, std::string_view extra_line);

// RFC 3986 section 5.2.4: the path with its "." and ".." segments removed.
runtime::Text RemoveDotSegments(std::string_view path);

// Bytes that may not appear raw in a request line (<= 0x20 and 0x7F) as %XX; a space becomes
// %20. Other bytes, code page 936 ones included, go out as they are.
runtime::Text EncodeTarget(std::string_view target);

// The request parts of a new task for `url` (already parsed into `address`); the target
// leaves out the address's fragment ("#...") and "." and ".." segments.
RequestParts MakeRequestParts(const runtime::Text& url, const TransferAddress& address,
                              const runtime::Text& proxy, const runtime::Text& referer);

// Points `parts` at the redirect target of `reply` (its Location, with a Cookie line when the
// reply set one). A relative Location is resolved against the current target by the rules of
// RFC 3986; in any Location "." and ".." segments are removed, a fragment is dropped and an
// empty path means "/". An https:// Location switches to TLS. False when
// the rebuild is impossible: a cookie longer than 4086 bytes, a Location with a scheme other
// than http:// and https:// (ftp, ...), one without a host, an https address through a proxy,
// or an http:// Location after https (never downgraded).
bool RebuildForRedirect(RequestParts& parts, const ResponseHeader& reply);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_HTTP_REQUEST_H_
