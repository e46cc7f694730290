#ifndef VOREL_SEARCH_REGEX_H_
#define VOREL_SEARCH_REGEX_H_

// The regular expressions of the music search, over the bytes of a Text: Perl syntax, one byte
// per character, "." matching line breaks too, "^" and "$" also matching at line breaks.
//
//   Regex re;
//   RegexCompile(re, ";http://(.*?);");
//   Array<SearchResult> found = RegexSearchAll(re, page);
//   Text first = SubMatchText(found[1], page, 1);
//
// A Regex is thread-compatible: one thread compiles it, any number may then search with it.

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/array.h"
#include "runtime/text.h"

namespace vorel::search {

using runtime::Array;
using runtime::Text;

// Where one capture group of a match lies in the searched text (it holds no text itself).
struct GroupSpan {
  std::int64_t start = 0;   // byte offset from the start of the searched text
  std::int64_t length = 0;  // in bytes
  bool matched = false;     // whether the group took part in the match
};

// One match: index 0 the whole match, then each capture group in order.
struct SearchResult {
  std::vector<GroupSpan> groups;
};

// A compiled pattern; a new one has none and matches nothing.
class Regex {
 public:
  Regex();
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  struct Compiled;
  const Compiled* compiled() const { return compiled_.get(); }
  void set_compiled(std::unique_ptr<Compiled> c);

 private:
  std::unique_ptr<Compiled> compiled_;
};

// Compiles `pattern` (Perl syntax); with `case_sensitive` false, ASCII letters match either
// case. True on success; on failure the object holds no pattern and matches nothing.
bool RegexCompile(Regex& regex, const Text& pattern, bool case_sensitive = true);

// Every match, left to right, each search resuming where the previous match ended (an empty
// match moves on by one byte, so this never loops). Empty for an empty text or an object
// without a pattern. When the engine gives up (a pattern too costly for the text) the matches
// found before stay and the search ends there; `gave_up`, when given, says whether it did.
Array<SearchResult> RegexSearchAll(const Regex& regex, const Text& text, bool* gave_up = nullptr);

// The bytes of `text` that group `index` of `result` covers; empty for a group that did not
// take part, an index outside the groups, or a span outside `text`.
Text SubMatchText(const SearchResult& result, const Text& text, std::int32_t index);

}  // namespace vorel::search

#endif  // VOREL_SEARCH_REGEX_H_
