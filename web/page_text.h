#ifndef VOREL_WEB_PAGE_TEXT_H_
#define VOREL_WEB_PAGE_TEXT_H_

// Cutting texts and addresses, and the UTF-8 conversions of page bodies. Every function is
// thread-safe and never fails: bad input gives the empty (or default) value described.

#include <cstdint>

#include "runtime/text.h"

namespace vorel::web {

using runtime::Bytes;
using runtime::Text;

// The bytes between the end of the first `start_marker` at or after `start_position` (0 means
// the first byte) and the next `end_marker`; empty when either is missing. "#引号" in a marker
// stands for a double quote. Letter case is ignored unless `case_sensitive`.
//   TextBetween("a=[x] b", "[", "]") == "x"
Text TextBetween(const Text& text, const Text& start_marker, const Text& end_marker,
                 int start_position = 0, bool case_sensitive = false);

// The text after the first ":", without surrounding spaces; empty when there is no ":".
Text TextAfterColon(const Text& text);

// The host of an address, lower case: after "https://" or "http://" (assumed when missing) up
// to the next "/". With `last_two_labels`, "a.b.c" becomes "b.c". The port is cut off unless
// `keep_port`.
Text UrlHost(const Text& address, bool last_two_labels = false, bool keep_port = false);

// The port after the host's last ":", or 443 for "https" addresses and 80 otherwise.
std::int32_t UrlPort(const Text& address);

// Everything from the first "/" after the host to the end (query included), or "/".
Text UrlPath(const Text& address);

// UTF-16LE units of UTF-8 bytes, without a terminator. Each ill-formed sequence becomes U+FFFD.
Bytes Utf8ToUtf16(const Bytes& utf8);

// UTF-8 bytes converted to code page 936 (GB18030) text bytes. An ill-formed sequence becomes
// U+FFFD (which GB18030 holds); a lone surrogate cannot occur, since the input is UTF-8.
Bytes Utf8ToAnsi(const Bytes& utf8);

}  // namespace vorel::web

#endif  // VOREL_WEB_PAGE_TEXT_H_
