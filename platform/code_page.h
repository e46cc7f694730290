#ifndef VOREL_PLATFORM_CODE_PAGE_H_
#define VOREL_PLATFORM_CODE_PAGE_H_

// Conversion between the program's internal text (code page 936, held and converted as
// GB18030, its strict superset) and the encodings of the outside world: UTF-8 for the file
// system, Qt and network bodies, UTF-16 where a peer expects wide strings.
//
// Two forms of each conversion:
//  - Strict: fails with a ConvertError that names the byte offset of the first sequence that
//    is not valid in the source encoding. Nothing is truncated silently.
//  - Lenient ("...Lossy"): never fails. An invalid sequence becomes U+FFFD in Unicode output
//    or '?' in GB18030 output; an incomplete character at the very end (a text cut by byte
//    count) is dropped. Used at edges that must show something (labels, tips, paths).
//
// All functions are thread-safe: each thread keeps its own iconv descriptors.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace vorel::platform {

enum class ConvertErrorCode {
  kInvalidSequence,  // bytes that are not valid in the source encoding
  kIncompleteInput,  // input ends inside a multi-byte character
  kUnavailable,      // the C library has no such converter
};

struct ConvertError {
  ConvertErrorCode code;
  std::size_t offset;  // byte offset (code units for UTF-16 input) of the offending input
  std::string detail;
};

template <typename T>
using ConvertResult = Expected<T, ConvertError>;

ConvertResult<std::string> Gb18030ToUtf8(std::string_view gb);
ConvertResult<std::string> Utf8ToGb18030(std::string_view utf8);
ConvertResult<std::u16string> Gb18030ToUtf16(std::string_view gb);
ConvertResult<std::string> Utf16ToGb18030(std::u16string_view utf16);

std::string Gb18030ToUtf8Lossy(std::string_view gb);
std::string Utf8ToGb18030Lossy(std::string_view utf8);
std::u16string Gb18030ToUtf16Lossy(std::string_view gb);
std::string Utf16ToGb18030Lossy(std::u16string_view utf16);

// UTF-8 <-> UTF-16 without GB18030 in between (unpaired surrogates are invalid).
ConvertResult<std::u16string> Utf8ToUtf16(std::string_view utf8);
ConvertResult<std::string> Utf16ToUtf8(std::u16string_view utf16);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Length of the well-formed UTF-8 sequence at the start of `bytes` (1 to 4), or 0 when it is
// empty or starts with a sequence IsValidUtf8 would refuse.
std::size_t Utf8SequenceLength(std::string_view bytes);

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_CODE_PAGE_H_
