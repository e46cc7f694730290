#ifndef VOREL_FUZZ_FUZZ_CHECK_H_
#define VOREL_FUZZ_FUZZ_CHECK_H_

// What the fuzz targets share: a broken property stops the run where it broke, saying which
// one, so libFuzzer keeps the input that did it.

#include <cstddef>
#include <cstdio>
#include <string_view>

#define VOREL_FUZZ_CHECK(condition) \
  ::vorel::fuzz::CheckAt((condition), #condition, __FILE__, __LINE__)

namespace vorel::fuzz {

inline void CheckAt(bool ok, const char* what, const char* file, int line) {
  if (ok) return;
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  __builtin_trap();
}

// True when no byte of `text` is a control byte (below 0x20, or 0x7F).
inline bool NoControlBytes(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace vorel::fuzz

#endif  // VOREL_FUZZ_FUZZ_CHECK_H_
