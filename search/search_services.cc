#include "search/search_services.h"

#include <cstdio>

namespace vorel::search {
runtime::Text PercentEncode(std::string_view text, bool (*encode)(unsigned char)) {
  runtime::Text out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (encode(c)) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

runtime::Text EncodeRequestBytes(const runtime::Text& text) {
  return PercentEncode(text, [](unsigned char c) { return c <= 0x20 || c == 0x7F || c == '#'; });
}

}  // namespace vorel::search
