#ifndef VOREL_WEB_ESCAPE_DECODING_H_
#define VOREL_WEB_ESCAPE_DECODING_H_

// Decoding of escaped text such as a JSON reply with "\u" escapes. Thread-safe.

#include "runtime/text.h"

namespace vorel::web {

using runtime::Text;

// The value a JScript function computes from `text` placed in a single-quoted string literal and
// passed through `unescape`, as code page 936 text:
//  - "\r\n" pairs survive as they are; "\u" reads as "%u"; apostrophes survive;
//  - backslash escapes follow the ECMAScript literal rules of that engine ("\n", "\t", "\x41",
//    legacy octal "\101", "\/" -> "/", "\v" -> "v" as in classic JScript, a backslash before a
//    line break joins the lines);
//  - then "%XX" becomes the character U+00XX and "%uXXXX" the UTF-16 unit XXXX (pairs join);
//    every other "%" stays.
// The result is empty wherever the script would not compile: a line or paragraph separator
// (U+2028, U+2029), a trailing backslash, "\x" without two hexadecimal digits. A line feed or
// carriage return outside "\r\n" is kept as it is (the script would not compile there either,
// which emptied every field of a reply ending in a line feed); a carriage return at the very
// start is dropped. A decoded NUL character is dropped, since a text cannot hold it. "{$}" and
// "’" in the input come back as "\r\n" and "'".
Text DecodeEscapes(const Text& text);

}  // namespace vorel::web

#endif  // VOREL_WEB_ESCAPE_DECODING_H_
