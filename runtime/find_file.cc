#include "runtime/find_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/code_page.h"

namespace vorel::runtime {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Every entry of `dir` (UTF-8) matching `pattern`, sorted by name, with its attributes.
std::vector<FoundEntry> ListFolder(const std::string& dir, const std::string& pattern) {
  std::vector<FoundEntry> out;
  DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!platform::IsValidUtf8(name) || !MatchesWildcard(name, pattern)) continue;
    std::string full = dir + "/" + name;
    struct stat st;
    if (::stat(full.c_str(), &st) != 0) continue;  // a dangling link
    int attributes = 0;
    if (S_ISDIR(st.st_mode)) {
      struct stat lst;
      if (::lstat(full.c_str(), &lst) != 0 || S_ISLNK(lst.st_mode)) continue;
      attributes |= kAttrDirectory;
    } else if (S_ISREG(st.st_mode)) {
      attributes |= kAttrArchive;
    } else {
      continue;  // devices, sockets and pipes are nothing to play
    }
    if (::access(full.c_str(), W_OK) != 0) attributes |= kAttrReadOnly;
    if (name[0] == '.') attributes |= kAttrHidden;
    out.push_back({platform::Utf8ToGb18030Lossy(name), attributes});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const FoundEntry& a, const FoundEntry& b) { return CompareTexts(a.name, b.name) < 0; });
  return out;
}

bool Accepts(const FoundEntry& e, int mask, bool any_file) {
  if (any_file) return (e.attributes & kAttrDirectory) == 0;
  int m = mask & 0x37;
  if (m == 0) return e.attributes == 0;
  return (e.attributes & m) != 0;
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  // As on the platform the scan comes from, a trailing ".*" also matches a name without a dot,
  // so "*.*" lists every entry.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      MatchesWildcard(name, pattern.substr(0, pattern.size() - 2))) {
    return true;
  }
  std::size_t n = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

Text FindFile(const Text& pattern, int mask, bool any_file, FindHandle* handle) {
  if (!handle) return {};
  if (!pattern.empty()) {
    CloseFind(handle);
    auto utf8 = platform::Gb18030ToUtf8(pattern);
    if (!utf8) return {};
    std::size_t slash = utf8->rfind('/');
    std::string dir = slash == std::string::npos ? "." : utf8->substr(0, slash);
    std::string wildcard = slash == std::string::npos ? *utf8 : utf8->substr(slash + 1);
    handle->entries = ListFolder(dir, wildcard);
    handle->open = true;
  }
  if (!handle->open) return {};
  while (handle->next < handle->entries.size()) {
    const FoundEntry& e = handle->entries[handle->next++];
    if (Accepts(e, mask, any_file)) return e.name;
  }
  CloseFind(handle);
  return {};
}

void CloseFind(FindHandle* handle) {
  if (!handle) return;
  handle->open = false;
  handle->entries.clear();
  handle->next = 0;
}

}  // namespace vorel::runtime
