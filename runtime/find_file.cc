#include "runtime/find_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/code_page.h"

namespace vorel::runtime {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Every entry of `dir` (UTF-8) with its attributes, sorted by name. The entry's type comes from
// the directory listing where the file system gives it, so a plain file or folder costs no
// extra look-up beyond the write check.
std::vector<FoundEntry> ListFolder(const std::string& dir, std::vector<std::string>* utf8_names,
                                   std::vector<std::pair<std::string, int>>* not_utf8) {
  std::vector<std::pair<std::string, int>> found;
  not_utf8->clear();
  DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return {};
  const int dfd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    int attributes = 0;
    unsigned char type = e->d_type;
    if (type == DT_LNK || type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(dfd, name.c_str(), &st, 0) != 0) continue;  // a dangling link
      struct stat lst;
      if (::fstatat(dfd, name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        if (S_ISLNK(lst.st_mode)) continue;  // never follow a link to a folder
        type = DT_DIR;
      } else if (S_ISREG(st.st_mode)) {
        type = DT_REG;
      }
    }
    if (type == DT_DIR) {
      attributes |= kAttrDirectory;
    } else if (type == DT_REG) {
      attributes |= kAttrArchive;
    } else {
      continue;  // devices, sockets and pipes are nothing to play
    }
    if (::faccessat(dfd, name.c_str(), W_OK, 0) != 0) attributes |= kAttrReadOnly;
    if (name[0] == '.') attributes |= kAttrHidden;
    if (!platform::IsValidUtf8(name)) {
      not_utf8->emplace_back(std::move(name), attributes);
      continue;
    }
    found.emplace_back(std::move(name), attributes);
  }
  ::closedir(d);
  std::sort(found.begin(), found.end());  // byte order of the UTF-8 names
  std::vector<FoundEntry> out;
  out.reserve(found.size());
  utf8_names->clear();
  for (auto& [name, attributes] : found) {
    out.push_back({platform::Utf8ToGb18030Lossy(name), attributes});
    utf8_names->push_back(std::move(name));
  }
  return out;
}

std::int64_t FolderStamp(const std::string& dir) {
  struct stat st;
  if (::stat(dir.empty() ? "/" : dir.c_str(), &st) != 0) return -1;
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
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
    // A scan lists each folder twice, for its songs and then for its sub-folders, through the
    // same handle: the listing is kept while the folder has not changed.
    std::int64_t stamp = FolderStamp(dir);
    if (dir != handle->listed_folder || stamp != handle->listed_stamp || stamp < 0) {
      handle->listing = ListFolder(dir, &handle->listing_utf8, &handle->listing_not_utf8);
      handle->listed_folder = dir;
      handle->listed_stamp = stamp;
    }
    for (std::size_t i = 0; i < handle->listing.size(); ++i) {
      if (MatchesWildcard(handle->listing_utf8[i], wildcard)) {
        handle->entries.push_back(handle->listing[i]);
      }
    }
    handle->skipped_not_utf8 = 0;
    for (const auto& [name, attributes] : handle->listing_not_utf8) {
      if (MatchesWildcard(name, wildcard) && Accepts({{}, attributes}, mask, any_file)) {
        ++handle->skipped_not_utf8;
      }
    }
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
