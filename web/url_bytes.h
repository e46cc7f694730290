#ifndef VOREL_WEB_URL_BYTES_H_
#define VOREL_WEB_URL_BYTES_H_

// Reading a whole resource, such as a cover picture, over HTTP or HTTPS.

#include "runtime/text.h"

namespace vorel::web {

using runtime::Bytes;
using runtime::Text;

// The bytes of the resource at `address` ("http://" or "https://", optionally with
// "user:password@" and a port; the part from "#" on is not sent), requested as
// "GET <path> HTTP/1.0" with the line "Accept: */*". Empty when the address is empty or cannot be
// parsed, when the connection or request fails before the body, or when the body passes 16 MiB;
// the bytes read so far when a read fails midway. Blocks the calling thread within the HTTP
// layer's time-outs (30 s to connect, 30 s without data); thread-safe.
Bytes ReadUrlBytes(const Text& address);

}  // namespace vorel::web

#endif  // VOREL_WEB_URL_BYTES_H_
