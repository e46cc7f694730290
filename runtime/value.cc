#include "runtime/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/mutex.h"

namespace vorel::runtime {
namespace {

using namespace literals;

template <typename... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

Text FormatFloat(double v, int precision) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
  return Text(buf, r.ptr);
}

// Full-width digits, signs and points (0xA3 0xB0.. in code page 936) become ASCII; everything
// else stays, so the parse below sees what the user meant.
std::string HalfWidthNumber(std::string_view t) {
  std::string out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (c >= 0x80 && i + 1 < t.size()) {
      unsigned char d = static_cast<unsigned char>(t[i + 1]);
      if (c == 0xA3 && ((d >= 0xB0 && d <= 0xB9) || d == 0xAB || d == 0xAD || d == 0xAE)) {
        out.push_back(static_cast<char>(d - 0x80));
      } else {
        out.push_back(static_cast<char>(c));
        out.push_back(static_cast<char>(d));
      }
      ++i;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// The leading decimal number of `s` (after white space), 0 when there is none.
double ParseLeadingNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double value = 0;
  auto r = std::from_chars(s.data() + i, s.data() + s.size(), value, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    value = std::numeric_limits<double>::infinity();
  } else if (r.ec != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

std::int32_t ParseLeadingInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) v = 2147483648LL;  // saturate, as the C runtime's atol does
  }
  if (negative) v = -v;
  return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

std::int32_t TruncateToInt32(double d) {
  if (std::isnan(d)) return 0;
  d = std::trunc(d);
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(d);
}

template <typename T>
Bytes LittleEndian(T v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);  // the machines we build for are little-endian
  return b;
}

// Days from 1970-01-01 to a civil date and back (Howard Hinnant's algorithms).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (*m <= 2));
}

constexpr long long kOleEpochDays = -25569;  // 1899-12-30 relative to 1970-01-01

Text DateTimeText(DateTime dt) {
  CivilTime c = ToCivilTime(dt);
  Text out = std::to_string(c.year) + "年"_t + std::to_string(c.month) + "月"_t +
             std::to_string(c.day) + "日"_t;
  if (c.second != 0) {
    out += std::to_string(c.hour) + "时"_t + std::to_string(c.minute) + "分"_t +
           std::to_string(c.second) + "秒"_t;
  } else if (c.minute != 0) {
    out += std::to_string(c.hour) + "时"_t + std::to_string(c.minute) + "分"_t;
  } else if (c.hour != 0) {
    out += std::to_string(c.hour) + "时"_t;
  }
  return out;
}

platform::Mutex random_mu;
std::uint32_t random_state VOREL_GUARDED_BY(random_mu) =
    1;  // the C runtime's generator starts from seed 1

int NextRandom() {
  platform::MutexLock lock(random_mu);
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int>((random_state >> 16) & 0x7FFF);
}

}  // namespace

CivilTime ToCivilTime(DateTime dt) {
  // OLE dates before the epoch keep a negative day with a positive time of day.
  double whole = std::trunc(dt.days);
  long long day = static_cast<long long>(whole);
  long long secs = std::llround(std::fabs(dt.days - whole) * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    day += dt.days < 0 ? -1 : 1;
  }
  CivilTime c{};
  CivilFromDays(day + kOleEpochDays, &c.year, &c.month, &c.day);
  c.hour = static_cast<int>(secs / 3600);
  c.minute = static_cast<int>(secs / 60 % 60);
  c.second = static_cast<int>(secs % 60);
  return c;
}

DateTime FromCivilTime(const CivilTime& c) {
  long long day =
      DaysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)) -
      kOleEpochDays;
  double frac = (c.hour * 3600.0 + c.minute * 60.0 + c.second) / 86400.0;
  return DateTime{day >= 0 ? day + frac : day - frac};
}

Text ToText(const Value& value) {
  return std::visit(Overloaded{
                        [](std::uint8_t v) { return std::to_string(static_cast<unsigned>(v)); },
                        [](std::int16_t v) { return std::to_string(v); },
                        [](std::int32_t v) { return std::to_string(v); },
                        [](std::int64_t v) { return std::to_string(v); },
                        [](float v) { return FormatFloat(v, 6); },
                        [](double v) { return FormatFloat(v, 13); },
                        [](bool v) { return v ? "真"_t : "假"_t; },
                        [](DateTime v) { return DateTimeText(v); },
                        [](const Text& v) { return v; },
                        [](const Bytes& v) {
                          auto end = std::find(v.begin(), v.end(), std::uint8_t{0});
                          return Text(v.begin(), end);
                        },
                    },
                    value);
}

double ToNumber(const Value& value) {
  return std::visit(Overloaded{
                        [](const Text& v) { return ParseLeadingNumber(HalfWidthNumber(v)); },
                        [](const Bytes&) { return 0.0; },
                        [](DateTime v) { return v.days; },
                        [](bool v) { return v ? 1.0 : 0.0; },
                        [](auto v) { return static_cast<double>(v); },
                    },
                    value);
}

std::int32_t ToInteger(const Value& value) {
  return std::visit(Overloaded{
                        [](const Text& v) { return ParseLeadingInteger(HalfWidthNumber(v)); },
                        [](const Bytes&) { return std::int32_t{0}; },
                        [](DateTime v) { return TruncateToInt32(v.days); },
                        [](bool v) { return std::int32_t{v ? 1 : 0}; },
                        [](float v) { return TruncateToInt32(v); },
                        [](double v) { return TruncateToInt32(v); },
                        [](std::int64_t v) { return static_cast<std::int32_t>(v); },
                        [](auto v) { return static_cast<std::int32_t>(v); },
                    },
                    value);
}

Bytes ToBytes(const Value& value) {
  return std::visit(Overloaded{
                        [](const Text& v) { return Bytes(v.begin(), v.end()); },
                        [](const Bytes& v) { return v; },
                        [](bool v) { return LittleEndian<std::int32_t>(v ? 1 : 0); },
                        [](DateTime v) { return LittleEndian(v.days); },
                        [](auto v) { return LittleEndian(v); },
                    },
                    value);
}

double RoundNumber(double value, int places) {
  const double scale = std::pow(10.0, places);
  const bool negative = value < 0;
  double m = std::fabs(value) * scale + 1e-12;
  double f = std::floor(m);
  if (m - f >= 0.5) f += 1;
  f /= scale;
  return negative ? -f : f;
}

int RandomNumber(int min, int max) {
  if (min < 0) min = 0;
  if (max < 0) max = 0;
  if (min > max) std::swap(min, max);
  long long span = static_cast<long long>(max) - min;
  if (span == 2147483647LL) span = 2147483646LL;
  return static_cast<int>(min + NextRandom() % (span + 1));
}

std::int64_t BitOr(std::initializer_list<std::int64_t> values) {
  std::int64_t r = 0;
  for (auto v : values) r |= v;
  return r;
}

}  // namespace vorel::runtime
