#ifndef VOREL_RUNTIME_VALUE_H_
#define VOREL_RUNTIME_VALUE_H_

// Values with a type tag, as the conversion and data-file operations take them, and the
// conversions between them.
//
//   ToText(3)            -> "3"          ToText(true) -> "真"
//   ToText(0.1f)         -> "0.1"        ToNumber("１２.5"_t) -> 12.5
//
// Every conversion uses the "C" rules whatever the process locale is. Thread-safe, except that
// RandomNumber shares one process-wide generator (guarded, so still safe to call anywhere).

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <variant>

#include "runtime/text.h"

namespace vorel::runtime {

// An OLE date: days since 1899-12-30, the time of day as the fraction.
struct DateTime {
  double days = 0;
};

// One tagged value. A boolean is stored on 32 bits wherever a binary form is written.
using Value = std::variant<std::uint8_t, std::int16_t, std::int32_t, std::int64_t, float, double,
                           bool, DateTime, Text, Bytes>;

// Where ReadData puts a value it reads back; the pointee's type selects the binary layout.
using ValueRef = std::variant<std::uint8_t*, std::int16_t*, std::int32_t*, std::int64_t*, float*,
                              double*, bool*, DateTime*, Text*, Bytes*>;

Text ToText(const Value& value);
double ToNumber(const Value& value);
std::int32_t ToInteger(const Value& value);
Bytes ToBytes(const Value& value);

// Rounds half away from zero to `places` decimals (negative places round to tens, hundreds..).
double RoundNumber(double value, int places = 0);

// min + (r mod (max - min + 1)) with r from the classic C runtime generator (0..32767), never
// seeded, so every run draws the same sequence. Negative bounds become 0; swapped when min > max.
int RandomNumber(int min = 0, int max = 2147483647);

// Bitwise OR of all arguments.
std::int64_t BitOr(std::initializer_list<std::int64_t> values);

// Calendar fields of an OLE date (seconds rounded), for ToText and the date-time form.
struct CivilTime {
  int year, month, day, hour, minute, second;
};
CivilTime ToCivilTime(DateTime dt);
DateTime FromCivilTime(const CivilTime& ct);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_VALUE_H_
