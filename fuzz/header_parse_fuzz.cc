// libFuzzer target: the HTTP layer's collection and reading of response header blocks and its
// cookie store, fed with arbitrary header lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/http/internal/cookie_store.h"
#include "platform/http/internal/header_block.h"

using namespace vorel::platform::http::internal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  HeaderBlock block;
  block.AddLine("HTTP/1.1 200 OK\r\n");
  while (!input.empty()) {
    size_t nl = input.find('\n');
    block.AddLine(input.substr(0, nl == std::string_view::npos ? input.size() : nl + 1));
    if (nl == std::string_view::npos) break;
    input.remove_prefix(nl + 1);
  }
  const std::string text = block.Block();
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) std::abort();
  const std::time_t now = 1700000000;
  ForEachHeader(text, [&](std::string_view name, std::string_view value) {
    if (name.find("\r\n") != std::string_view::npos) std::abort();
    if (EqualsIgnoringCase(name, "Set-Cookie")) StoreCookie("fuzz.example", "", value, now);
    if (EqualsIgnoringCase(name, "Location")) CookieHostOfUrl(value);
  });
  HeaderValue(text, "Content-Length");
  const std::string cookies = CookieHeaderValue("fuzz.example", "", now);
  if (cookies.find('\n') != std::string::npos) std::abort();
  ClearCookies();
  return 0;
}
