#include "app/window_set.h"

#include "app/settings.h"

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

platform::Expected<std::vector<runtime::Routine>, std::string> BindRoutines(
    std::span<const char* const> names, const std::vector<RoutineBinding>& bindings) {
  std::vector<runtime::Routine> table(names.size());
  for (const auto& b : bindings) {
    bool found = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (b.name == names[i]) {
        table[i] = b.routine;
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "vorel: routine %.*s is bound to no event of the windows\n",
                   static_cast<int>(b.name.size()), b.name.data());
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!table[i]) {
      return platform::MakeUnexpected("the windows name the routine " + std::string(names[i]) +
                                      ", which has no handler");
    }
  }
  return table;
}

std::vector<runtime::Routine> BuildRoutineTable(Features& features) {
  auto table = BindRoutines(RoutineNames(), RoutineBindings(features));
  if (!table) {
    std::fprintf(stderr, "vorel: %s\n", table.error().c_str());
    std::exit(1);
  }
  return std::move(table).value();
}

runtime::Text SampleAddress() {
  // Built once: the address box shows it from the window's load on, and a press compares with
  // that same text even if the settings changed since.
  static const runtime::Text sample =
      "http://" + ProgramHostSettings().of(HostKey::kSoundWeb).host + "/sound/xxxx";
  return sample;
}

}  // namespace vorel::app
