#include "search/search_services.h"

#include <cstdio>

namespace vorel::search {
namespace {

SearchServices& Stored() {
  static SearchServices services;
  return services;
}

}  // namespace

void SetSearchServices(SearchServices services) { Stored() = std::move(services); }
const SearchServices& Services() { return Stored(); }

runtime::Text EncodeRequestBytes(const runtime::Text& text) {
  runtime::Text out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '#') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace vorel::search
