// The time tags of lyrics files: "[mm:ss]", "[mm:ss.xx]" or "[mm:ss:xx]" before the words, one
// or more per line, and other tags ("[ar:someone]", "[offset:100]") on lines of their own.

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

#include "player/lyrics.h"

namespace vorel::player {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of at most `most` digits at the front of `s` and moves past it; nullopt when there
// is none.
std::optional<int> TakeNumber(std::string_view& s, std::size_t most) {
  std::size_t n = 0;
  int value = 0;
  while (n < s.size() && n < most && Digit(s[n])) value = value * 10 + (s[n++] - '0');
  if (n == 0) return std::nullopt;
  s.remove_prefix(n);
  return value;
}

// The seconds a tag's inside names ("01:02.50" -> 62.5), or nullopt when it is not a time.
std::optional<double> TagSeconds(std::string_view tag) {
  std::optional<int> minutes = TakeNumber(tag, 4);
  if (!minutes || tag.empty() || tag.front() != ':') return std::nullopt;
  tag.remove_prefix(1);
  std::optional<int> seconds = TakeNumber(tag, 2);
  if (!seconds || *seconds >= 60) return std::nullopt;
  double at = *minutes * 60.0 + *seconds;
  if (tag.empty()) return at;
  if (tag.front() != '.' && tag.front() != ':') return std::nullopt;
  tag.remove_prefix(1);
  double scale = 0.1;
  if (tag.empty()) return std::nullopt;
  for (char c : tag) {
    if (!Digit(c)) return std::nullopt;
    at += (c - '0') * scale;
    scale /= 10;
  }
  return at;
}

}  // namespace

std::vector<TimedLyric> TimedLyricsOf(const runtime::Array<runtime::Text>& lines) {
  std::vector<TimedLyric> timed;
  std::vector<TimedLyric> plain;
  std::vector<double> times;
  for (const runtime::Text& line : lines.elements()) {
    std::string_view rest = line;
    times.clear();
    bool other_tag = false;
    while (!rest.empty() && rest.front() == '[') {
      const std::size_t close = rest.find(']');
      if (close == std::string_view::npos) break;
      std::optional<double> at = TagSeconds(rest.substr(1, close - 1));
      if (!at) {
        other_tag = times.empty();
        break;
      }
      times.push_back(*at);
      rest.remove_prefix(close + 1);
    }
    if (other_tag) continue;
    for (double at : times) timed.push_back({at, runtime::Text(rest)});
    if (times.empty() && rest.find_first_not_of(" \t") != std::string_view::npos) {
      plain.push_back({std::numeric_limits<double>::infinity(), runtime::Text(rest)});
    }
  }
  if (timed.empty()) return plain;
  std::stable_sort(timed.begin(), timed.end(),
                   [](const TimedLyric& a, const TimedLyric& b) { return a.seconds < b.seconds; });
  return timed;
}

int LyricIndexAt(const std::vector<TimedLyric>& lines, double seconds) {
  auto after = std::upper_bound(lines.begin(), lines.end(), seconds,
                                [](double at, const TimedLyric& l) { return at < l.seconds; });
  return static_cast<int>(after - lines.begin()) - 1;
}

}  // namespace vorel::player
