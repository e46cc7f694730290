#include "app/window_set.h"

#include "app/settings.h"

#include <cstdio>
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
  // Built once: the address box shows it from the window's load on, and a press compares with
  // that same text even if the settings changed since.
  static const runtime::Text sample =
      "http://" + ProgramHostSettings().of(HostKey::kSoundWeb).host + "/sound/xxxx";
  return sample;
}

}  // namespace vorel::app
