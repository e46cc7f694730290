#include "runtime/text_ops.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vorel::runtime {
namespace {

constexpr std::size_t npos = std::string_view::npos;

inline unsigned char At(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}
inline bool IsLead(unsigned char c) { return c >= 0x80; }
inline bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline unsigned char FoldAscii(unsigned char c) { return IsAsciiLetter(c) ? (c | 0x20) : c; }

// True when `pos` starts a character, given that `base` <= pos does. A byte below 0x80 always
// ends a character (it is either a single-byte character or a trail byte), so only the run of
// high bytes right before `pos` matters: an even run pairs up into whole characters.
bool AtBoundary(std::string_view t, std::size_t base, std::size_t pos) {
  std::size_t k = 0;
  while (pos - k > base && IsLead(At(t, pos - k - 1))) ++k;
  return k % 2 == 0;
}

// Which bytes of `sought` may match ignoring case: the single-byte ASCII letters. The bytes of a
// double-byte character always match exactly.
std::vector<bool> FoldMask(std::string_view sought) {
  std::vector<bool> mask(sought.size(), false);
  for (std::size_t i = 0; i < sought.size();) {
    if (IsLead(At(sought, i))) {
      i += 2;
    } else {
      mask[i] = IsAsciiLetter(At(sought, i));
      ++i;
    }
  }
  return mask;
}

bool MatchesAt(std::string_view t, std::size_t p, std::string_view s,
               const std::vector<bool>& mask) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char a = At(t, p + i), b = At(s, i);
    if (mask[i] ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
  }
  return true;
}

// Next position >= from of byte c (either ASCII case when fold is set), or npos.
std::size_t NextFirstByte(std::string_view t, std::size_t from, unsigned char c, bool fold) {
  if (from >= t.size()) return npos;
  const char* base = t.data();
  const void* a = std::memchr(base + from, c, t.size() - from);
  std::size_t pa = a ? static_cast<const char*>(a) - base : npos;
  if (!fold) return pa;
  unsigned char other = c ^ 0x20;
  std::size_t limit = pa == npos ? t.size() : pa;
  const void* b = std::memchr(base + from, other, limit - from);
  return b ? static_cast<std::size_t>(static_cast<const char*>(b) - base) : pa;
}

// 0-based position of the first match at or after `from` (a character boundary), or npos.
std::size_t FindForward(std::string_view t, std::string_view s, std::size_t from,
                        bool ignore_case) {
  const std::size_t n = t.size(), m = s.size();
  std::size_t base = from, pos = from;
  if (!ignore_case) {
    while (pos + m <= n) {
      const void* hit = memmem(t.data() + pos, n - pos, s.data(), m);
      if (!hit) return npos;
      std::size_t p = static_cast<const char*>(hit) - t.data();
      if (AtBoundary(t, base, p)) return p;
      base = pos = p + 1;  // p is a trail byte, so the next byte starts a character
    }
    return npos;
  }
  const std::vector<bool> mask = FoldMask(s);
  const unsigned char first = At(s, 0);
  const bool fold_first = mask[0];
  while (pos + m <= n) {
    std::size_t p = NextFirstByte(t, pos, fold_first ? FoldAscii(first) : first, fold_first);
    if (p == npos || p + m > n) return npos;
    if (MatchesAt(t, p, s, mask)) {
      if (AtBoundary(t, base, p)) return p;
      base = p + 1;
    }
    pos = p + 1;
  }
  return npos;
}

// 0-based position of the last match lying wholly within t[0, limit), or npos.
std::size_t FindBackward(std::string_view t, std::string_view s, std::size_t limit,
                         bool ignore_case) {
  const std::size_t m = s.size();
  if (m > limit) return npos;
  const std::vector<bool> mask = ignore_case ? FoldMask(s) : std::vector<bool>(m, false);
  for (std::size_t p = limit - m + 1; p-- > 0;) {
    if (MatchesAt(t, p, s, mask) && AtBoundary(t, 0, p)) return p;
  }
  return npos;
}

bool IsSpaceAt(std::string_view t, std::size_t i, std::size_t* width) {
  if (At(t, i) == 0x20) {
    *width = 1;
    return true;
  }
  if (At(t, i) == 0xA1 && i + 1 < t.size() && At(t, i + 1) == 0xA1) {
    *width = 2;
    return true;
  }
  *width = IsLead(At(t, i)) && i + 1 < t.size() ? 2 : 1;
  return false;
}

Text MapAscii(std::string_view text, bool upper) {
  Text out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLead(c)) {
      ++i;  // the trail byte stays as it is
    } else if (upper && c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 32);
    } else if (!upper && c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    }
  }
  return out;
}

template <typename Seq>
Seq SubstituteSeq(const Seq& seq, std::string_view t, std::string_view find,
                  std::string_view replacement, int start, std::optional<int> count,
                  bool ignore_case, bool whole_chars) {
  if (t.empty() || find.empty()) return seq;
  std::size_t s = static_cast<std::size_t>(std::max(start, 1) - 1);
  if (s >= t.size()) return seq;
  long long remaining = count ? *count : std::numeric_limits<long long>::max();
  if (remaining <= 0) return seq;
  std::string out(t.substr(0, s));
  std::size_t pos = s;
  while (remaining-- > 0) {
    std::size_t p;
    if (whole_chars) {
      p = FindForward(t, find, pos, ignore_case);
    } else {
      const void* hit = pos + find.size() <= t.size()
                            ? memmem(t.data() + pos, t.size() - pos, find.data(), find.size())
                            : nullptr;
      p = hit ? static_cast<const char*>(hit) - t.data() : npos;
    }
    if (p == npos) break;
    out.append(t.substr(pos, p - pos));
    out.append(replacement);
    pos = p + find.size();
  }
  out.append(t.substr(pos));
  return Seq(out.begin(), out.end());
}

std::string_view View(const Bytes& b) {
  return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace

int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

Text LeftText(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<std::size_t>(n)));
}

Text RightText(std::string_view text, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(static_cast<std::size_t>(n), text.size());
  return Text(text.substr(text.size() - k));
}

Text MidText(std::string_view text, int start, int n) {
  if (n <= 0 || start < 1 || static_cast<std::size_t>(start) > text.size()) return {};
  return Text(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

int FindText(std::string_view text, std::string_view sought, int start, bool ignore_case) {
  if (sought.empty()) return text.empty() ? -1 : 1;
  std::size_t from = static_cast<std::size_t>(std::max(start, 1) - 1);
  if (from >= text.size()) return -1;
  std::size_t p = FindForward(text, sought, from, ignore_case);
  return p == npos ? -1 : static_cast<int>(p + 1);
}

int FindTextBackward(std::string_view text, std::string_view sought, std::optional<int> start,
                     bool ignore_case) {
  if (sought.empty() || text.empty()) return -1;
  std::size_t limit = text.size();
  if (start) {
    if (*start <= 1) return -1;
    limit = std::min(limit, static_cast<std::size_t>(*start - 1));
  }
  std::size_t p = FindBackward(text, sought, limit, ignore_case);
  return p == npos ? -1 : static_cast<int>(p + 1);
}

Text ReplaceText(std::string_view text, int start, int length, std::string_view replacement) {
  std::size_t s = static_cast<std::size_t>(std::clamp<long long>(start - 1LL, 0, text.size()));
  std::size_t l = static_cast<std::size_t>(std::clamp<long long>(length, 0, text.size() - s));
  Text out(text.substr(0, s));
  out.append(replacement);
  out.append(text.substr(s + l));
  return out;
}

Text SubstituteText(std::string_view text, std::string_view find, std::string_view replacement,
                    int start, std::optional<int> count, bool case_sensitive) {
  return SubstituteSeq(Text(text), text, find, replacement, start, count, !case_sensitive, true);
}

Array<Text> SplitText(std::string_view text, std::string_view delimiter,
                      std::optional<int> max_count) {
  Array<Text> pieces;
  if (text.empty() || (max_count && *max_count <= 0)) return pieces;
  const std::size_t limit = max_count ? static_cast<std::size_t>(*max_count) : npos;
  if (delimiter.empty()) {
    pieces.Append(Text(text));
    return pieces;
  }
  std::vector<Text> out;
  std::size_t pos = 0;
  while (out.size() < limit) {
    std::size_t p = FindForward(text, delimiter, pos, false);
    if (p == npos) {
      if (pos < text.size()) out.emplace_back(text.substr(pos));  // a trailing empty piece drops
      break;
    }
    out.emplace_back(text.substr(pos, p - pos));
    pos = p + delimiter.size();
  }
  return Array<Text>(std::move(out));
}

Text TrimSpaces(std::string_view text) {
  std::size_t i = 0, first = npos, end = 0, w;
  while (i < text.size()) {
    if (!IsSpaceAt(text, i, &w)) {
      if (first == npos) first = i;
      end = i + w;
    }
    i += w;
  }
  if (first == npos) return {};
  return Text(text.substr(first, end - first));
}

Text RemoveAllSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  std::size_t i = 0, w;
  while (i < text.size()) {
    if (!IsSpaceAt(text, i, &w)) out.append(text.substr(i, w));
    i += w;
  }
  return out;
}

Text ToUpper(std::string_view text) { return MapAscii(text, true); }
Text ToLower(std::string_view text) { return MapAscii(text, false); }

Text BlankText(int n) { return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' '); }

Text Character(int code) {
  unsigned char c = static_cast<unsigned char>(code & 0xFF);
  return c == 0 ? Text() : Text(1, static_cast<char>(c));
}

int BytesLength(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

Bytes LeftBytes(const Bytes& bytes, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(static_cast<std::size_t>(n), bytes.size());
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(k));
}

int FindBytes(const Bytes& bytes, const Bytes& sought, int start) {
  if (sought.empty() || bytes.empty()) return -1;
  std::size_t from = static_cast<std::size_t>(std::max(start, 1) - 1);
  if (from + sought.size() > bytes.size()) return -1;
  const void* hit = memmem(bytes.data() + from, bytes.size() - from, sought.data(), sought.size());
  return hit ? static_cast<int>(static_cast<const std::uint8_t*>(hit) - bytes.data() + 1) : -1;
}

Bytes SubstituteBytes(const Bytes& bytes, const Bytes& find, const Bytes& replacement, int start,
                      std::optional<int> count) {
  return SubstituteSeq(bytes, View(bytes), View(find), View(replacement), start, count, false,
                       false);
}

Bytes BlankBytes(int n) { return n <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0); }

}  // namespace vorel::runtime
