#ifndef VOREL_RUNTIME_TEXT_OPS_H_
#define VOREL_RUNTIME_TEXT_OPS_H_

// Text and byte operations of the runtime library. All positions are 1-based byte positions;
// a failed search gives -1. No operation fails on bad arguments: each returns its empty value.
//
// Searches and scans treat a byte with the high bit set as the lead byte of a two-byte
// character, so a match never starts on the second byte of a character. The cutting operations
// (LeftText, RightText, MidText, ReplaceText) count plain bytes.
//
// All functions are thread-safe (they touch no shared state).

#include <optional>
#include <string_view>
#include <vector>

#include "runtime/array.h"
#include "runtime/text.h"

namespace vorel::runtime {

int TextLength(std::string_view text);
Text LeftText(std::string_view text, int n);
Text RightText(std::string_view text, int n);
Text MidText(std::string_view text, int start, int n);

// Position of the first `sought` at or after `start`. An empty `sought` gives 1 on a non-empty
// text and -1 on an empty one. `ignore_case` folds ASCII letters of single-byte characters only.
int FindText(std::string_view text, std::string_view sought, int start = 1,
             bool ignore_case = false);

// Position of the last `sought` lying wholly within the first start-1 bytes (the whole text
// when start is absent).
int FindTextBackward(std::string_view text, std::string_view sought,
                     std::optional<int> start = std::nullopt, bool ignore_case = false);

// The span of `length` bytes from `start` (clamped to the text) replaced by `replacement`.
Text ReplaceText(std::string_view text, int start, int length, std::string_view replacement = {});

// Replaces up to `count` (all when absent) occurrences of `find` from `start` on, left to
// right, never rescanning inserted text. Bytes before `start` are copied unchanged.
Text SubstituteText(std::string_view text, std::string_view find, std::string_view replacement = {},
                    int start = 1, std::optional<int> count = std::nullopt,
                    bool case_sensitive = true);

// Pieces between delimiters; empty pieces are kept except a trailing one. At most `max_count`
// pieces (all when absent); a negative max gives none. An empty delimiter gives the whole text.
Array<Text> SplitText(std::string_view text, std::string_view delimiter = ",",
                      std::optional<int> max_count = std::nullopt);

// Leading and trailing spaces removed: 0x20 and the full-width space 0xA1 0xA1.
Text TrimSpaces(std::string_view text);
Text RemoveAllSpaces(std::string_view text);
Text ToUpper(std::string_view text);
Text ToLower(std::string_view text);
Text BlankText(int n);
// A one-byte text holding the low byte of `code`; empty when that byte is 0.
Text Character(int code);

int BytesLength(const Bytes& bytes);
Bytes LeftBytes(const Bytes& bytes, int n);
int FindBytes(const Bytes& bytes, const Bytes& sought, int start = 1);
Bytes SubstituteBytes(const Bytes& bytes, const Bytes& find, const Bytes& replacement = {},
                      int start = 1, std::optional<int> count = std::nullopt);
Bytes BlankBytes(int n);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_TEXT_OPS_H_
