#include "web/escape_decoding.h"

#include <optional>
#include <string>

#include "platform/code_page.h"
#include "platform/hex_digit.h"
#include "runtime/text_ops.h"

namespace vorel::web {
namespace {

using namespace runtime;

// The protection texts: a line break and an apostrophe would end the script's string literal,
// so they travel through it as these and are put back afterwards.
constexpr char kBreakMark[] = "{$}";
constexpr char kApostropheMark[] = "\xA1\xAF";  // "’" in code page 936

bool IsOctal(char16_t c) { return c >= u'0' && c <= u'7'; }

// The value of the string literal whose body is `body`, or none when it would not compile.
// Single quotes cannot occur in the body (they were replaced before).
std::optional<std::u16string> ReadLiteral(const std::u16string& body) {
  std::u16string out;
  out.reserve(body.size());
  const size_t n = body.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t c = body[i];
    // A raw line feed or carriage return would end the script's literal, and every field of the
    // reply would come back empty (many servers end their JSON with one); it is kept as it is.
    if (c == 0x2028 || c == 0x2029) return std::nullopt;
    if (c != u'\\') {
      out += c;
      continue;
    }
    // A trailing backslash escapes the closing quote, and the literal never ends.
    if (++i == n) return std::nullopt;
    char16_t e = body[i];
    switch (e) {
      case u'b': out += u'\b'; break;
      case u't': out += u'\t'; break;
      case u'n': out += u'\n'; break;
      case u'f': out += u'\f'; break;
      case u'r': out += u'\r'; break;
      // Classic JScript reads "\v" as a plain "v".
      case u'v': out += u'v'; break;
      case u'x': {
        int hi = i + 1 < n ? platform::HexDigitValue(body[i + 1]) : -1;
        int lo = i + 2 < n ? platform::HexDigitValue(body[i + 2]) : -1;
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char16_t>(hi * 16 + lo);
        i += 2;
        break;
      }
      case u'u': {
        int v = 0;
        for (size_t k = 1; k <= 4; ++k) {
          int h = i + k < n ? platform::HexDigitValue(body[i + k]) : -1;
          if (h < 0) return std::nullopt;
          v = v * 16 + h;
        }
        out += static_cast<char16_t>(v);
        i += 4;
        break;
      }
      case u'\r':
        // A line continuation: "\" before CR, LF, CR LF, LS or PS adds nothing.
        if (i + 1 < n && body[i + 1] == u'\n') ++i;
        break;
      case u'\n':
      case 0x2028:
      case 0x2029: break;
      default:
        if (IsOctal(e)) {
          // Legacy octal escapes: up to three digits, at most \377.
          int v = e - u'0';
          size_t max_digits = e <= u'3' ? 3 : 2;
          size_t used = 1;
          while (used < max_digits && i + 1 < n && IsOctal(body[i + 1])) {
            v = v * 8 + (body[++i] - u'0');
            ++used;
          }
          out += static_cast<char16_t>(v);
        } else {
          out += e;  // "\8", "\9" and every other character stand for themselves
        }
    }
  }
  return out;
}

// ECMAScript unescape: "%uXXXX" and "%XX" become one code unit each; any other "%" stays.
std::u16string Unescape(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  const size_t n = s.size();
  for (size_t k = 0; k < n; ++k) {
    char16_t c = s[k];
    if (c == u'%') {
      if (k + 5 < n && s[k + 1] == u'u') {
        int a = platform::HexDigitValue(s[k + 2]), b = platform::HexDigitValue(s[k + 3]),
            d = platform::HexDigitValue(s[k + 4]), e = platform::HexDigitValue(s[k + 5]);
        if (a >= 0 && b >= 0 && d >= 0 && e >= 0) {
          out += static_cast<char16_t>((a << 12) | (b << 8) | (d << 4) | e);
          k += 5;
          continue;
        }
      }
      if (k + 2 < n) {
        int a = platform::HexDigitValue(s[k + 1]), b = platform::HexDigitValue(s[k + 2]);
        if (a >= 0 && b >= 0) {
          out += static_cast<char16_t>((a << 4) | b);
          k += 2;
          continue;
        }
      }
    }
    out += c;
  }
  return out;
}

}  // namespace

Text DecodeEscapes(const Text& text) {
  Text t = SubstituteText(text, "\r\n", kBreakMark);
  if (!t.empty() && t.front() == '\r') t.erase(0, 1);
  t = SubstituteText(t, "\\u", "%u");
  t = SubstituteText(t, "'", kApostropheMark);

  std::optional<std::u16string> literal = ReadLiteral(platform::Gb18030ToUtf16Lossy(t));
  if (!literal) return {};
  std::u16string value = Unescape(*literal);
  std::erase(value, u'\0');

  Text r = platform::Utf16ToGb18030Lossy(value);
  r = SubstituteText(r, kApostropheMark, "'");
  return SubstituteText(r, kBreakMark, "\r\n");
}

}  // namespace vorel::web
