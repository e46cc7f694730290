#ifndef VOREL_APP_WINDOW_SET_H_
#define VOREL_APP_WINDOW_SET_H_

// The embedded window template and the table of the application's routines that its handler
// references index.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "app/desktop/command_line.h"
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

// The routines the feature libraries provide (routine_table.cc). A name of the description that
// is missing here binds nothing.
const std::vector<RoutineBinding>& RoutineBindings();

// The routine table in handler-reference order. A binding whose name the description does not
// use is reported on standard error (a misspelt name would otherwise bind nothing silently).
std::vector<runtime::Routine> BuildRoutineTable();

// The sample text of the address box: "http://" + the sound service's web host + "/sound/xxxx",
// the host taken from the settings (app/settings.h) at the first call. Thread-safe.
runtime::Text SampleAddress();

// Connects the feature libraries to each other and to the platform (services.cc). Called once
// at start-up, before the first window loads.
void WireServices();

// Start-up as the program runs it: data folder, template, exit routines, StartRoutine, the main
// window, the desktop's media control with `open_items` (the command line's usable files and
// addresses, of `item_arguments` given) added and the first played, and the event loop. When
// another Vorel runs, the items go to it and this start ends. Returns only through ExitProgram.
[[noreturn]] void RunProgram(int argc, char** argv,
                             const std::vector<desktop::OpenItem>& open_items = {},
                             int item_arguments = 0);

}  // namespace vorel::app

#endif  // VOREL_APP_WINDOW_SET_H_
