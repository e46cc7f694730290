#ifndef VOREL_APP_WINDOW_SET_H_
#define VOREL_APP_WINDOW_SET_H_

// The embedded window template and the table of the application's routines that its handler
// references index.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/desktop/command_line.h"
#include "platform/expected.h"
#include "runtime/bridge.h"

namespace vorel::app {

// The binary template built from app/windows.desc.
std::span<const std::uint8_t> WindowTemplateBytes();

// The routine names in handler-reference order, as the template numbers them.
std::span<const char* const> RoutineNames();

// One application routine, bound by the name the window description uses.
struct RoutineBinding {
  std::string_view name;
  runtime::Routine routine;
};

class Features;

// The routines the feature libraries provide, bound to `features` (routine_table.cc).
std::vector<RoutineBinding> RoutineBindings(Features& features);

// The routine table for `names` (routine names in handler-reference order). Fails with a message
// naming the routine when a name has no binding: its button would otherwise do nothing and say
// nothing. A binding whose name `names` does not use is reported on standard error (a misspelt
// name would otherwise bind nothing).
platform::Expected<std::vector<runtime::Routine>, std::string> BindRoutines(
    std::span<const char* const> names, const std::vector<RoutineBinding>& bindings);

// The program's routine table: BindRoutines over the description's names, bound to `features`,
// which must outlive the table's use. A routine of the windows without a handler ends the
// program at start with that message and exit code 1.
std::vector<runtime::Routine> BuildRoutineTable(Features& features);

// The sample text of the address box: "http://" + the sound service's web host + "/sound/xxxx",
// the host taken from the settings (app/settings.h) at the first call. Thread-safe.
runtime::Text SampleAddress();

// Start-up as the program runs it: data folder, template, exit routines, StartRoutine, the main
// window, the desktop's media control with `open_items` (the command line's usable files and
// addresses, of `item_arguments` given) added and the first played, and the event loop. When
// another Vorel runs, the items go to it and this start ends. Returns only through ExitProgram.
[[noreturn]] void RunProgram(int argc, char** argv,
                             const std::vector<desktop::OpenItem>& open_items = {},
                             int item_arguments = 0);

}  // namespace vorel::app

#endif  // VOREL_APP_WINDOW_SET_H_
