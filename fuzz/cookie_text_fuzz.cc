// libFuzzer target: MergeCookies and TextBetween on arbitrary texts. The input is split at NUL
// bytes into jar, new cookies and a third text used as a marker.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "runtime/text_ops.h"
#include "web/cookie_jar.h"
#include "web/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  size_t k = 0;
  for (char c : input) {
    if (c == '\0' && k < 2) {
      ++k;
    } else {
      parts[k] += c;
    }
  }
  std::string jar = parts[0], fresh = parts[1];
  const std::string merged = vorel::web::MergeCookies(jar, fresh);
  if (merged != jar) std::abort();
  if (merged.find(' ') != std::string::npos && merged.find("  ") != std::string::npos) std::abort();
  // Every item of the merged jar is there once.
  std::set<std::string> seen;
  const auto items = vorel::runtime::SplitText(merged, "; ");
  for (const auto& item : items.elements()) {
    if (!seen.insert(item).second) std::abort();
  }
  const std::string between = vorel::web::TextBetween(parts[0], parts[2], parts[1]);
  if (between.size() > parts[0].size()) std::abort();
  vorel::web::TextBetween(parts[0], parts[2], parts[1], static_cast<int>(size % 7), size & 1);
  vorel::web::UrlPath(parts[0]);
  vorel::web::UrlPort(parts[0]);
  vorel::web::UrlHost(parts[0], true);
  return 0;
}
