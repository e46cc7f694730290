#include "app/window_set.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vorel::app {

extern const unsigned char kWindowTemplate[];
extern const std::size_t kWindowTemplateSize;
extern const char* const kRoutineNames[];
extern const std::size_t kRoutineNameCount;

std::span<const std::uint8_t> WindowTemplateBytes() {
  return {kWindowTemplate, kWindowTemplateSize};
}

std::span<const char* const> RoutineNames() { return {kRoutineNames, kRoutineNameCount}; }

std::vector<runtime::Routine> BuildRoutineTable() {
  std::vector<runtime::Routine> table(kRoutineNameCount);
  for (const auto& b : RoutineBindings()) {
    bool found = false;
    for (std::size_t i = 0; i < kRoutineNameCount; ++i) {
      if (b.name == kRoutineNames[i]) {
        table[i] = b.routine;
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "vorel: routine %.*s is bound to no event of the windows\n",
                   static_cast<int>(b.name.size()), b.name.data());
    }
  }
  return table;
}

runtime::Text SampleAddress() {
  const char* host = std::getenv("VOREL_SOUND_WEB_HOST");
  std::string h = host && *host ? host : "www.missevan.com";
  return "http://" + h + "/sound/xxxx";
}

}  // namespace vorel::app
