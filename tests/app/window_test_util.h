#ifndef VOREL_TESTS_APP_WINDOW_TEST_UTIL_H_
#define VOREL_TESTS_APP_WINDOW_TEST_UTIL_H_

#include <functional>
#include <map>
#include <string>

#include "app/window_set.h"
#include "runtime/bridge.h"
#include "runtime/testing.h"

namespace vorel::testing_util {

// Installs a routine table in which the named routines run the given functions and every other
// reference binds nothing, then reads the real template. Every window is closed first.
inline void UseRoutines(const std::map<std::string, runtime::Routine>& routines) {
  runtime::ResetWindows();
  auto names = app::RoutineNames();
  std::vector<runtime::Routine> table(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto it = routines.find(names[i]);
    if (it != routines.end()) table[i] = it->second;
  }
  runtime::SetRoutineTable(std::move(table));
  runtime::InitRuntime(app::WindowTemplateBytes());
}

inline runtime::Routine Counter(int* count) {
  return [count](const runtime::EventArgs&) -> runtime::EventResult {
    ++*count;
    return std::nullopt;
  };
}

}  // namespace vorel::testing_util

#endif  // VOREL_TESTS_APP_WINDOW_TEST_UTIL_H_
