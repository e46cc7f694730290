#include "download/internal/response_header.h"

#include <algorithm>

namespace vorel::download::internal {
namespace {

constexpr std::int64_t kMaxSize = (std::int64_t{1} << 62);

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsSpace(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view sought) {
  if (sought.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + sought.size() <= text.size(); ++i) {
    if (EqualsIgnoringCase(text.substr(i, sought.size()), sought)) return i;
  }
  return std::string_view::npos;
}

// A non-negative decimal number made of digits only, below 2^62; -1 otherwise.
std::int64_t ParseSize(std::string_view digits) {
  if (digits.empty() || digits.size() > 19) return -1;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    // Checked before the step, so nineteen digits cannot overflow on the way.
    if (value > (kMaxSize - 1 - (c - '0')) / 10) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

struct ContentRange {
  std::int64_t start = -1;
  std::int64_t end = -1;
  std::int64_t total = -1;
  bool operator==(const ContentRange&) const = default;
};

// "bytes 200-399/1000" (also "bytes=200-399/1000", and "*" for an unknown total).
ContentRange ParseContentRange(std::string_view value) {
  ContentRange range;
  if (value.size() < 6 || !EqualsIgnoringCase(value.substr(0, 5), "bytes")) return range;
  std::string_view rest = value.substr(5);
  while (!rest.empty() && (IsSpace(rest.front()) || rest.front() == '=')) rest.remove_prefix(1);
  if (!rest.empty() && rest.front() == '*') {
    // The size alone, as a 416 reply gives it.
    std::size_t slash = rest.find('/');
    if (slash != std::string_view::npos) range.total = ParseSize(Trim(rest.substr(slash + 1)));
    return range;
  }
  std::size_t dash = rest.find('-');
  std::size_t slash = rest.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return range;
  }
  std::int64_t start = ParseSize(Trim(rest.substr(0, dash)));
  std::int64_t end = ParseSize(Trim(rest.substr(dash + 1, slash - dash - 1)));
  std::string_view total_text = Trim(rest.substr(slash + 1));
  std::int64_t total = total_text == "*" ? -1 : ParseSize(total_text);
  if (start < 0 || end < start || (total_text != "*" && (total < 0 || end >= total))) {
    return range;
  }
  return ContentRange{start, end, total};
}

void Assign(runtime::Text& field, std::string_view value) {
  if (field.empty()) field.assign(value);
}

struct SeenLines {
  bool length = false;
  bool range = false;
};

void TakeLine(std::string_view name, std::string_view value, ResponseHeader& header,
              SeenLines& seen) {
  if (EqualsIgnoringCase(name, "Content-Length")) {
    std::int64_t length = ParseSize(value);
    // Two different lengths make the reply's size unknowable.
    if (seen.length && length != header.content_length) length = -1;
    header.content_length = length;
    header.length_given = true;
    seen.length = true;
  } else if (EqualsIgnoringCase(name, "Content-Range")) {
    ContentRange range = ParseContentRange(value);
    // Two different ranges leave the reply's range unknown, as two lengths do; a later
    // "bytes */N" must not pair a new total with an earlier range that reaches past it.
    const ContentRange earlier{header.range_start, header.range_end, header.range_total};
    if (seen.range && !(range == earlier)) range = ContentRange{};
    header.range_start = range.start;
    header.range_end = range.end;
    header.range_total = range.total;
    seen.range = true;
  } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
    if (FindIgnoringCase(value, "chunked") != std::string_view::npos) header.chunked = true;
  } else if (EqualsIgnoringCase(name, "Set-Cookie")) {
    Assign(header.set_cookie, value);
  } else if (EqualsIgnoringCase(name, "Content-Type")) {
    Assign(header.content_type, value);
  } else if (EqualsIgnoringCase(name, "Location")) {
    Assign(header.location, value);
  } else if (EqualsIgnoringCase(name, "Server")) {
    Assign(header.server, value);
  } else if (EqualsIgnoringCase(name, "Connection")) {
    Assign(header.connection, value);
  } else if (EqualsIgnoringCase(name, "Accept-Ranges")) {
    Assign(header.accept_ranges, value);
  } else if (EqualsIgnoringCase(name, "Last-Modified")) {
    Assign(header.last_modified, value);
  } else if (EqualsIgnoringCase(name, "Via")) {
    Assign(header.via, value);
  } else if (EqualsIgnoringCase(name, "Content-Disposition")) {
    Assign(header.content_disposition, value);
  } else if (EqualsIgnoringCase(name, "Retry-After")) {
    Assign(header.retry_after, value);
  }
}

}  // namespace

std::optional<HeaderSpan> FindHeader(std::string_view received) {
  std::size_t begin = std::min(received.find("HTTP/1.1"), received.find("HTTP/1.0"));
  if (begin == std::string_view::npos) return std::nullopt;
  std::size_t crlf = received.find("\n\r\n", begin);
  std::size_t lf = received.find("\n\n", begin);
  std::size_t end = std::string_view::npos;
  if (crlf != std::string_view::npos) end = crlf + 3;
  if (lf != std::string_view::npos && (end == std::string_view::npos || lf + 2 < end)) {
    end = lf + 2;
  }
  if (end == std::string_view::npos) return std::nullopt;
  return HeaderSpan{begin, end};
}

ResponseHeader ParseResponseHeader(std::string_view header) {
  ResponseHeader result;
  std::size_t line_end = header.find('\n');
  std::string_view status_line = header.substr(0, line_end);
  if (status_line.size() >= 12) {
    std::string_view code = status_line.substr(9, 3);
    if (std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      result.status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    }
  }
  SeenLines seen;
  while (line_end != std::string_view::npos) {
    std::size_t start = line_end + 1;
    line_end = header.find('\n', start);
    std::string_view line = header.substr(
        start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    TakeLine(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)), result, seen);
  }
  return result;
}

runtime::Text DispositionFileName(std::string_view disposition) {
  std::size_t at = FindIgnoringCase(disposition, "filename=");
  if (at == std::string_view::npos) return {};
  std::string_view value = disposition.substr(at + 9);
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    std::size_t quote = value.find('"');
    return runtime::Text(value.substr(0, quote));
  }
  return runtime::Text(Trim(value));
}

}  // namespace vorel::download::internal
