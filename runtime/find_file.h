#ifndef VOREL_RUNTIME_FIND_FILE_H_
#define VOREL_RUNTIME_FIND_FILE_H_

// Listing a folder one entry at a time, the way the folder scan walks a tree.
//
//   FindHandle h;
//   for (Text name = FindFile(dir + "/*.mp3"_t, 0x27, false, &h); !name.empty();
//        name = FindFile({}, 0, true, &h)) { ... }
//
// Entries are listed in byte order of their names. Attributes follow the Windows bits: 0x10 for
// a folder, 0x20 (archive) for every regular file, 0x01 when we may not write it, 0x02 when its
// name starts with ".". Symbolic links to folders are never listed (a scan must not follow a
// link back up the tree); links to regular files count as files; names that are not UTF-8 are
// skipped, since they cannot be shown or played by name. Thread-compatible.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/text.h"

namespace vorel::runtime {

constexpr int kAttrReadOnly = 0x01;
constexpr int kAttrHidden = 0x02;
constexpr int kAttrSystem = 0x04;
constexpr int kAttrDirectory = 0x10;
constexpr int kAttrArchive = 0x20;

struct FoundEntry {
  Text name;
  int attributes;
};

// A running search: the folder's entries that match the pattern, and how far the caller got.
struct FindHandle {
  bool open = false;
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
  // The last folder listed through this handle, kept for a new search of the same, unchanged
  // folder.
  std::string listed_folder;
  std::int64_t listed_stamp = -1;
  std::vector<FoundEntry> listing;
  std::vector<std::string> listing_utf8;
  std::vector<std::pair<std::string, int>> listing_not_utf8;  // names and attributes
  // Entries the latest search would have accepted but left out because their names are not
  // UTF-8.
  int skipped_not_utf8 = 0;
};

// A non-empty pattern ("folder/*.mp3", wildcards * and ? in the last part, ASCII case ignored)
// closes the held search and starts a new one; an empty pattern continues the held search.
// With any_file, every entry that is not a folder is accepted; otherwise an entry is accepted
// when its attributes share a bit with mask & 0x37, or, for a mask of 0, when they are 0.
// Returns the next accepted name (without its folder), or empty when the search ran out, which
// also closes the handle.
Text FindFile(const Text& pattern, int mask, bool any_file, FindHandle* handle);

// Ends a search early.
void CloseFind(FindHandle* handle);

// True when `name` matches `pattern` (* and ?), ignoring ASCII case; a trailing ".*" also
// matches names without an extension.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_FIND_FILE_H_
