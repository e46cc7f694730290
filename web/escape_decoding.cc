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

// Appends the code unit that `digits` hex digits after position `i` spell, and moves `i` to the
// last of them. False when one of them is missing.
bool AppendHexUnit(const std::u16string& body, size_t& i, size_t digits, std::u16string& out) {
  int v = 0;
  for (size_t k = 1; k <= digits; ++k) {
    const int h = i + k < body.size() ? platform::HexDigitValue(body[i + k]) : -1;
    if (h < 0) return false;
    v = v * 16 + h;
  }
  out += static_cast<char16_t>(v);
  i += digits;
  return true;
}

// Appends the legacy octal escape that starts at position `i` (up to three digits, at most
// \377) and moves `i` to its last digit.
void AppendOctalUnit(const std::u16string& body, size_t& i, std::u16string& out) {
  const char16_t first = body[i];
  int v = first - u'0';
  const size_t max_digits = first <= u'3' ? 3 : 2;
  size_t used = 1;
  while (used < max_digits && i + 1 < body.size() && IsOctal(body[i + 1])) {
    v = v * 8 + (body[++i] - u'0');
    ++used;
  }
  out += static_cast<char16_t>(v);
}

// Appends the value of the escape whose letter is at position `i` (just after its backslash)
// and moves `i` to the escape's last character. False when the escape would not compile.
bool AppendEscape(const std::u16string& body, size_t& i, std::u16string& out) {
  const char16_t e = body[i];
  switch (e) {
    case u'b': out += u'\b'; return true;
    case u't': out += u'\t'; return true;
    case u'n': out += u'\n'; return true;
    case u'f': out += u'\f'; return true;
    case u'r': out += u'\r'; return true;
    // Classic JScript reads "\v" as a plain "v".
    case u'v': out += u'v'; return true;
    case u'x': return AppendHexUnit(body, i, 2, out);
    case u'u': return AppendHexUnit(body, i, 4, out);
    case u'\r':
      // A line continuation: "\" before CR, LF, CR LF, LS or PS adds nothing.
      if (i + 1 < body.size() && body[i + 1] == u'\n') ++i;
      return true;
    case u'\n':
    case 0x2028:
    case 0x2029: return true;
    default:
      if (IsOctal(e)) {
        AppendOctalUnit(body, i, out);
      } else {
        out += e;  // "\8", "\9" and every other character stand for themselves
      }
      return true;
  }
}

// The value of the string literal whose body is `body`, or none when it would not compile.
// Single quotes cannot occur in the body (they were replaced before).
std::optional<std::u16string> ReadLiteral(const std::u16string& body) {
  std::u16string out;
  out.reserve(body.size());
  const size_t n = body.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = body[i];
    // A raw line feed or carriage return would end the script's literal, and every field of the
    // reply would come back empty (many servers end their JSON with one); it is kept as it is.
    if (c == 0x2028 || c == 0x2029) return std::nullopt;
    if (c != u'\\') {
      out += c;
      continue;
    }
    // A trailing backslash escapes the closing quote, and the literal never ends.
    if (++i == n) return std::nullopt;
    if (!AppendEscape(body, i, out)) return std::nullopt;
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
