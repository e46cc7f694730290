// libFuzzer target: a search result page through the search's pattern to the rows of the
// result list. The rows must be exactly those of a plain scan of the page: each address
// between ";http://" and the next ";", in page order, each scan going on after the ";" that
// ended the last; so every row starts with "http://" and holds no ";", and there are never
// more rows than ";http://" in the page.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "search/music_search.h"

namespace {

std::vector<std::string> PlainScan(std::string_view page) {
  constexpr std::string_view kStart = ";http://";
  std::vector<std::string> rows;
  std::size_t at = 0;
  for (;;) {
    std::size_t start = page.find(kStart, at);
    if (start == std::string_view::npos) break;
    std::size_t end = page.find(';', start + kStart.size());
    if (end == std::string_view::npos) break;
    rows.push_back("http://" +
                   std::string(page.substr(start + kStart.size(), end - start - kStart.size())));
    at = end + 1;
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> rows = vorel::search::SearchResultRows(page);
  VOREL_FUZZ_CHECK(rows == PlainScan(page));
  return 0;
}
