#ifndef VOREL_PLATFORM_HEX_DIGIT_H_
#define VOREL_PLATFORM_HEX_DIGIT_H_

// The value of one hexadecimal digit, for the several readers of "%XX", "\xXX", "\uXXXX" and
// chunk sizes.

namespace vorel::platform {

// 0 to 15 for "0"-"9", "a"-"f" and "A"-"F" (bytes or UTF-16 units); -1 for anything else.
constexpr int HexDigitValue(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
  return -1;
}

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_HEX_DIGIT_H_
