#ifndef VOREL_DOWNLOAD_INTERNAL_FILE_NAMES_H_
#define VOREL_DOWNLOAD_INTERNAL_FILE_NAMES_H_

// Local file names: names taken from server data, the "(1)".."(99)" renaming and the edge to
// the file system. Pure functions except PathExists; thread-safe.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/file_name.h"
#include "runtime/text.h"

namespace vorel::download::internal {

using download::SafeFileName;

// The file name a request target names: the part after its last "/", each "%" with two
// hexadecimal digits turned into that byte ("%" otherwise kept) and "+" into a space, at most
// 1023 bytes, then made safe. UTF-8 names are converted to code page 936.
runtime::Text FileNameFromTarget(std::string_view target);

// The next automatic name for `path`: the name after the last "/" is split at its last "."
// into base and extension; a base ending in "(n)" (one or two digits) gets n + 1, any other
// base gets "(1)". None once the number would pass 99.
std::optional<runtime::Text> NextAutoName(const runtime::Text& path);

// The file-system (UTF-8) form of a path.
std::string FileSystemPath(const runtime::Text& path);

// Size of an existing entry at `path` (any kind), or none when nothing is there.
std::optional<std::int64_t> ExistingSize(const runtime::Text& path);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_FILE_NAMES_H_
