#ifndef VOREL_RUNTIME_TEXT_H_
#define VOREL_RUNTIME_TEXT_H_

// The two value types every part of Vorel passes around.
//
// `Text` is a byte string in code page 936, converted as GB18030 (its strict superset) at the
// edges. An empty `Text` stands for the null text as well: every operation treats them alike.
// `Bytes` is an arbitrary byte buffer.
//
// Source files are UTF-8, so a Chinese constant is written as "播放"_t, which yields its GB18030
// bytes. The conversion runs at each evaluation; hold hot constants in a static.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vorel::runtime {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

// Byte-wise comparison as unsigned values: -1 when a sorts first, 0 when equal, 1 otherwise.
int CompareTexts(std::string_view a, std::string_view b);

// The texts joined in order.
Text JoinTexts(std::initializer_list<std::string_view> parts);

// Edge conversions. The lenient forms never fail: invalid sequences become U+FFFD (to UTF-8) or
// '?' (to Text), and a character cut in half at the end is dropped.
Text TextFromUtf8(std::string_view utf8);
std::string Utf8FromText(std::string_view text);

// Bytes <-> Text without conversion.
Text TextFromBytes(const Bytes& bytes);
Bytes BytesFromText(std::string_view text);

namespace literals {
// "歌曲名："_t: the GB18030 bytes of a UTF-8 literal.
Text operator""_t(const char* utf8, std::size_t size);
}  // namespace literals

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_TEXT_H_
