// libFuzzer target: DecodeEscapes on arbitrary bytes never crashes, never yields a NUL, and is
// deterministic.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/escape_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string out = vorel::web::DecodeEscapes(input);
  if (out.find('\0') != std::string::npos) std::abort();
  if (vorel::web::DecodeEscapes(input) != out) std::abort();
  return 0;
}
