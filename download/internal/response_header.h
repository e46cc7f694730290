#ifndef VOREL_DOWNLOAD_INTERNAL_RESPONSE_HEADER_H_
#define VOREL_DOWNLOAD_INTERNAL_RESPONSE_HEADER_H_

// Finding and parsing the header of an HTTP reply. Pure functions, thread-safe. They accept any
// bytes: hostile input gives empty or -1 fields, never a crash.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace vorel::download::internal {

struct ResponseHeader {
  int status = 0;                    // the three digits at offsets 9..11 of the status line, or 0
  std::int64_t content_length = -1;  // -1 when missing, malformed, negative or contradictory
  bool length_given = false;         // a Content-Length line was there, valid or not
  std::int64_t range_start = -1;     // Content-Range "bytes start-end/total"; -1 when absent
  std::int64_t range_end = -1;
  std::int64_t range_total = -1;  // -1 also for "*"; "bytes */total" (416) sets it alone
  bool chunked = false;           // Transfer-Encoding names "chunked"
  runtime::Text set_cookie;
  runtime::Text content_type;
  runtime::Text location;
  runtime::Text server;
  runtime::Text connection;
  runtime::Text accept_ranges;
  runtime::Text last_modified;
  runtime::Text via;
  runtime::Text content_disposition;
  runtime::Text retry_after;  // the wait a busy server asks for, as it wrote it
};

struct HeaderSpan {
  std::size_t begin = 0;  // the status line's "HTTP/1.x"
  std::size_t end = 0;    // the first byte after the blank line
};

// The header within the bytes received so far: from the earlier of "HTTP/1.1" and "HTTP/1.0"
// through the first blank line after it ("\r\n\r\n", or "\n\n" from servers that end lines
// with LF alone). None until both are there.
std::optional<HeaderSpan> FindHeader(std::string_view received);

// Parses a header as FindHeader delimits it. Header names match case-insensitively, with
// optional white space around the value.
ResponseHeader ParseResponseHeader(std::string_view header);

// The "filename=" value of a Content-Disposition value: between double quotes when quoted,
// else to the end. Empty when there is none. The name is not made safe here.
runtime::Text DispositionFileName(std::string_view disposition);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_RESPONSE_HEADER_H_
