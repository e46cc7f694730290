#include "platform/retry_after.h"

#include <array>

namespace vorel::platform {
namespace {

constexpr std::int64_t kOneDay = 24 * 60 * 60;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// Reads `count` digits (count 0: one or more) at the front of `s`.
bool TakeNumber(std::string_view& s, int count, int* value) {
  int n = 0;
  int digits = 0;
  while (!s.empty() && IsDigit(s.front()) && (count == 0 || digits < count) && digits < 9) {
    n = n * 10 + (s.front() - '0');
    s.remove_prefix(1);
    ++digits;
  }
  *value = n;
  return digits > 0 && (count == 0 || digits == count);
}

bool TakeChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

void SkipSpaces(std::string_view& s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
}

// "Jan" .. "Dec" (exact case, as the date forms write them): 0 to 11, or -1.
int TakeMonth(std::string_view& s) {
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (s.size() < 3) return -1;
  for (int i = 0; i < 12; ++i) {
    if (s.substr(0, 3) == kMonths[i]) {
      s.remove_prefix(3);
      return i;
    }
  }
  return -1;
}

// "hh:mm:ss" into seconds of the day.
bool TakeTime(std::string_view& s, std::int64_t* seconds) {
  int h, m, sec;
  if (!TakeNumber(s, 2, &h) || !TakeChar(s, ':') || !TakeNumber(s, 2, &m) || !TakeChar(s, ':') ||
      !TakeNumber(s, 2, &sec) || h > 23 || m > 59 || sec > 60) {
    return false;
  }
  *seconds = h * 3600 + m * 60 + sec;
  return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian), without the C library's
// time zone and locale.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> Epoch(int year, int month, int day, std::int64_t time_of_day) {
  if (month < 0 || day < 1 || day > 31 || year < 1900 || year > 9999) return std::nullopt;
  return DaysFromCivil(year, month + 1, day) * 86400 + time_of_day;
}

// The three date forms HTTP allows. The weekday name is skipped, not checked.
std::optional<std::int64_t> ParseHttpDate(std::string_view s) {
  const std::size_t comma = s.find(',');
  int day, year;
  std::int64_t time_of_day;
  if (comma != std::string_view::npos) {
    s.remove_prefix(comma + 1);
    SkipSpaces(s);
    if (!TakeNumber(s, 2, &day)) return std::nullopt;
    if (TakeChar(s, ' ')) {
      // IMF-fixdate: "06 Nov 1994 08:49:37 GMT".
      const int month = TakeMonth(s);
      if (!TakeChar(s, ' ') || !TakeNumber(s, 4, &year) || !TakeChar(s, ' ') ||
          !TakeTime(s, &time_of_day) || Trim(s) != "GMT") {
        return std::nullopt;
      }
      return Epoch(year, month, day, time_of_day);
    }
    // RFC 850: "06-Nov-94 08:49:37 GMT"; a two-digit year within 50 years of 2000 (the
    // obsolete form is only ever seen from old servers for recent dates).
    if (!TakeChar(s, '-')) return std::nullopt;
    const int month = TakeMonth(s);
    if (!TakeChar(s, '-') || !TakeNumber(s, 2, &year) || !TakeChar(s, ' ') ||
        !TakeTime(s, &time_of_day) || Trim(s) != "GMT") {
      return std::nullopt;
    }
    return Epoch(year < 50 ? 2000 + year : 1900 + year, month, day, time_of_day);
  }
  // asctime: "Sun Nov  6 08:49:37 1994".
  const std::size_t space = s.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  s.remove_prefix(space + 1);
  const int month = TakeMonth(s);
  SkipSpaces(s);
  if (!TakeNumber(s, 0, &day) || !TakeChar(s, ' ') || !TakeTime(s, &time_of_day) ||
      !TakeChar(s, ' ') || !TakeNumber(s, 4, &year) || !Trim(s).empty()) {
    return std::nullopt;
  }
  return Epoch(year, month, day, time_of_day);
}

}  // namespace

bool IsRetryableStatus(int status) {
  return (status >= 500 && status <= 599) || status == 408 || status == 429;
}

std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now) {
  value = Trim(value);
  if (value.empty()) return std::nullopt;
  if (IsDigit(value.front())) {
    std::int64_t seconds = 0;
    for (char c : value) {
      if (!IsDigit(c)) return std::nullopt;
      seconds = seconds * 10 + (c - '0');
      if (seconds > kOneDay) seconds = kOneDay;
    }
    return seconds;
  }
  std::optional<std::int64_t> at = ParseHttpDate(value);
  if (!at) return std::nullopt;
  if (*at <= now) return 0;
  return *at - now > kOneDay ? kOneDay : *at - now;
}

}  // namespace vorel::platform
