#include "search/regex.h"

#include <boost/regex.hpp>
#include <exception>

namespace vorel::search {

struct Regex::Compiled {
  boost::regex re;
};

Regex::Regex() = default;
Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;
void Regex::set_compiled(std::unique_ptr<Compiled> c) { compiled_ = std::move(c); }

bool RegexCompile(Regex& regex, const Text& pattern, bool case_sensitive) {
  regex.set_compiled(nullptr);
  // mod_s: "." takes line breaks as well; Perl mode already lets "^" and "$" match at them.
  auto flags = boost::regex_constants::perl | boost::regex_constants::mod_s;
  if (!case_sensitive) flags |= boost::regex_constants::icase;
  try {
    auto c = std::make_unique<Regex::Compiled>();
    c->re.assign(pattern.begin(), pattern.end(), flags);
    regex.set_compiled(std::move(c));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

Array<SearchResult> RegexSearchAll(const Regex& regex, const Text& text, bool* gave_up) {
  Array<SearchResult> out;
  if (gave_up) *gave_up = false;
  if (regex.compiled() == nullptr || text.empty()) return out;
  std::vector<SearchResult> found;
  try {
    // The iterator resumes at the end of each match and, after an empty one, tries the same
    // place again only for a non-empty match, as Perl does: it cannot loop.
    boost::sregex_iterator it(text.begin(), text.end(), regex.compiled()->re);
    for (; it != boost::sregex_iterator(); ++it) {
      const boost::smatch& m = *it;
      SearchResult r;
      r.groups.resize(m.size());
      for (std::size_t g = 0; g < m.size(); ++g) {
        if (!m[g].matched) continue;
        r.groups[g] = {m.position(g), m.length(g), true};
      }
      found.push_back(std::move(r));
    }
  } catch (const std::exception&) {
    // Boost gives up on matches that would take too long ("complexity exceeded") or too much
    // memory; what was found before stands.
    if (gave_up) *gave_up = true;
  }
  if (!found.empty()) out = Array<SearchResult>(std::move(found));
  return out;
}

Text SubMatchText(const SearchResult& result, const Text& text, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= result.groups.size()) return {};
  const GroupSpan& g = result.groups[index];
  if (!g.matched || g.start < 0 || g.length < 0) return {};
  if (static_cast<std::uint64_t>(g.start) > text.size() ||
      static_cast<std::uint64_t>(g.length) > text.size() - g.start) {
    return {};
  }
  return text.substr(g.start, g.length);
}

}  // namespace vorel::search
