// The application's routines that the window set's events run. Each feature adds its handlers
// here by the name app/windows.desc uses; a name without an entry binds nothing.

#include "app/window_set.h"

namespace vorel::app {

const std::vector<RoutineBinding>& RoutineBindings() {
  static const std::vector<RoutineBinding> bindings = {};
  return bindings;
}

}  // namespace vorel::app
