#include "web/page_text.h"

#include <string>

#include "platform/code_page.h"
#include "runtime/text_ops.h"
#include "runtime/value.h"

namespace vorel::web {

using namespace runtime;
using namespace runtime::literals;

Text TextBetween(const Text& text, const Text& start_marker, const Text& end_marker,
                 int start_position, bool case_sensitive) {
  static const Text kQuoteWord = "#引号"_t;
  Text start = SubstituteText(start_marker, kQuoteWord, "\"");
  Text end = SubstituteText(end_marker, kQuoteWord, "\"");
  int a = FindText(text, start, start_position == 0 ? 1 : start_position, !case_sensitive);
  if (a == -1) return {};
  a += TextLength(start);
  int b = FindText(text, end, a, !case_sensitive);
  if (b == -1) return {};
  return MidText(text, a, b - a);
}

Text TextAfterColon(const Text& text) {
  int p = FindText(text, ":");
  if (p == -1) return {};
  return TrimSpaces(RightText(text, TextLength(text) - p));
}

Text UrlHost(const Text& address, bool last_two_labels, bool keep_port) {
  Text u = ToLower(address);
  if (u.empty() || u.back() != '/') u += '/';
  if (LeftText(u, 8) == "https://") {
    u = TextBetween(u, "https://", "/");
  } else {
    if (FindText(u, "http://") == -1) u = "http://" + u;
    u = TextBetween(u, "http://", "/");
  }
  if (last_two_labels) {
    Array<Text> labels = SplitText(u, ".");
    int n = ElementCount(labels);
    if (n > 1) u = labels[n - 1] + "." + labels[n];
  }
  if (!keep_port) {
    int colon = FindText(u, ":");
    if (colon != -1) u = LeftText(u, colon - 1);
  }
  return u;
}

std::int32_t UrlPort(const Text& address) {
  Text h = UrlHost(address, false, true);
  int c = FindTextBackward(h, ":");
  if (c == -1) return LeftText(ToLower(address), 5) == "https" ? 443 : 80;
  return ToInteger(RightText(h, TextLength(h) - c));
}

Text UrlPath(const Text& address) {
  Text h = UrlHost(address);
  // The host is looked for after the scheme, so a host such as "p" or "tt" is not found inside
  // "http" itself.
  int scheme_end = FindText(address, "://");
  int from = scheme_end == -1 ? 1 : scheme_end + 3;
  int c = FindText(address, h, from, true);
  int s = FindText(address, "/", c == -1 ? from : c, true);
  if (s <= 0) return "/";
  return RightText(address, TextLength(address) - s + 1);
}

namespace {

// Decodes one UTF-8 sequence at p[i]; advances i past the maximal well-formed prefix and
// returns U+FFFD for an ill-formed one (the Unicode "maximal subpart" rule).
char32_t DecodeOne(const std::uint8_t* p, size_t n, size_t& i) {
  std::uint8_t c = p[i++];
  if (c < 0x80) return c;
  int len;
  std::uint8_t lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 1, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 2, cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 3, cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < len; ++k) {
    if (i >= n || p[i] < lo || p[i] > hi) return 0xFFFD;
    cp = (cp << 6) | (p[i++] & 0x3F);
    lo = 0x80, hi = 0xBF;
  }
  return cp;
}

}  // namespace

Bytes Utf8ToUtf16(const Bytes& utf8) {
  Bytes out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char16_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = DecodeOne(utf8.data(), utf8.size(), i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp));
    }
  }
  return out;
}

Bytes Utf8ToAnsi(const Bytes& utf8) {
  Bytes wide = Utf8ToUtf16(utf8);
  std::u16string units(wide.size() / 2, u'\0');
  for (size_t k = 0; k < units.size(); ++k) {
    units[k] = static_cast<char16_t>(wide[2 * k] | (wide[2 * k + 1] << 8));
  }
  std::string text = platform::Utf16ToGb18030Lossy(units);
  return Bytes(text.begin(), text.end());
}

}  // namespace vorel::web
