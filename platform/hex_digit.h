#ifndef VOREL_PLATFORM_HEX_DIGIT_H_
#define VOREL_PLATFORM_HEX_DIGIT_H_

// The value of one hexadecimal digit, for the several readers of "%XX", "\xXX", "\uXXXX" and
// chunk sizes.

namespace vorel::platform {

// 0 to 15 for "0"-"9", "a"-"f" and "A"-"F"; -1 for anything else.
constexpr int HexDigitValue(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
  return -1;
}
// A byte (a negative char is a byte above 0x7F, never a digit) and a UTF-16 unit.
constexpr int HexDigitValue(char c) {
  return HexDigitValue(char32_t{static_cast<unsigned char>(c)});
}
constexpr int HexDigitValue(char16_t c) { return HexDigitValue(char32_t{c}); }

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_HEX_DIGIT_H_
