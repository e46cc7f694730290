#ifndef VOREL_WEB_REQUEST_ENGINE_H_
#define VOREL_WEB_REQUEST_ENGINE_H_

// The request engine of the threaded page fetch (web/fetch_page.h): the routine its worker
// thread runs, and the splitting of the request address.

#include <cstdint>

#include "runtime/text.h"

namespace vorel::web {

using runtime::Text;

// Takes the request out of the parameter pack `pack` (a memory file holding "Zendrak" and eight
// texts: address, method, proxy, user name, password, extra headers, post data, cookies),
// empties the pack, performs the request, and writes "Zendrak_OK", the raw response header text
// and the body (as Bytes) into it. Cookies the server set are recorded in the process-wide
// cookie store under "http://" plus the host.
//
// Header lines sent after the extra headers, each only when the extra headers (any letter case)
// lack it: the default Accept line, "Referer: " with the address, "Accept-Language: zh-cn"; for
// a POST with data a Content-Type line when missing and always a Content-Length line; a "Cookie:"
// line when the cookies text is not blank.
//
// Returns 1 when it wrote a result, 0 when it did not: pack 0 or without the marker (the pack is
// then untouched), a method other than GET or POST (any letter case), a port outside 0..65535,
// or a handle that could not be opened (the pack is then left empty). A body over 64 MiB gives a
// result with an empty body. Runs on any thread; while the calling thread's fetch is abandoned
// (web/fetch_page.h) its transfer stops and nothing more is recorded.
std::int32_t RequestWorker(std::int32_t pack);

// The host of an address: after "http://" (or from the first byte without it) up to the first
// "/", without user-info, lower case; without its port unless `keep_port`.
Text RequestHost(const Text& address, bool keep_port);

// Everything from the first "/" after the host to the end, query included; "/" when none.
Text RequestPath(const Text& address);

// The port after the host's ":", truncated to an integer (0 for a non-number); 80 without one.
std::int32_t RequestPort(const Text& address);

}  // namespace vorel::web

#endif  // VOREL_WEB_REQUEST_ENGINE_H_
