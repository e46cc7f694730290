#ifndef VOREL_UI_QT_TESTING_H_
#define VOREL_UI_QT_TESTING_H_

// Seams for tests and tools that drive the windows of a live UiSession from outside: they act
// on the real widget as a person would, or read what it shows. No Qt types here.
// User-interface thread only.

// Only what links vorel::qt_testing (tests, benchmarks, tools) sees the definition below; the
// program does not, so a seam cannot creep into it.
#ifndef VOREL_QT_TESTING
#error "ui/qt/testing.h is for tests and tools only: link vorel::qt_testing to use it"
#endif

#include <optional>
#include <string>
#include <vector>

#include "runtime/text.h"
#include "runtime/window_template.h"
#include "ui/qt/lyric_sheet.h"

namespace vorel::qt {

// A mouse press and release (a double-click: two of them, the second a double-click) with the
// left button in the middle of the control's widget, so the control's own behaviour runs
// before its event reaches the runtime. False when the control has no widget.
bool ClickControl(runtime::WindowId window, runtime::ControlId control);
bool DoubleClickControl(runtime::WindowId window, runtime::ControlId control);
// Sends a key press and release (a Qt key code; printable keys carry their lower-case text) to
// the control's widget.
bool PressKey(runtime::WindowId window, runtime::ControlId control, int qt_key);

// The colour (0x00BBGGRR) the control shows at (x, y) of its client area; -1 outside it.
long PixelOf(runtime::WindowId window, runtime::ControlId control, int x, int y);
// The control's tooltip text (UTF-8).
std::string ToolTipOf(runtime::WindowId window, runtime::ControlId control);

// What assistive technology sees of a control: its object name and accessible name (UTF-8).
std::string ObjectNameOf(runtime::WindowId window, runtime::ControlId control);
std::string AccessibleNameOf(runtime::WindowId window, runtime::ControlId control);

// Renders a loaded window to a PNG file (for documentation screenshots); false on failure.
bool GrabWindowPng(runtime::WindowId window, const std::string& path);

// The right-click menu open now (empty when none), and choosing one of its items as a click on
// it would; false when no item has that label.
std::vector<runtime::Text> OpenMenuLabels();
bool ChooseMenuItem(const runtime::Text& label);

// What the folder and file choosers answer while nobody can answer them (offscreen or
// VOREL_NONINTERACTIVE=1); without an answer set they answer "cancelled".
void SetFolderAnswer(std::optional<runtime::Text> folder);
void SetFilesAnswer(std::vector<runtime::Text> files);

// Opens the tray menu where a right-click would and clicks item `index` with the mouse (the
// desktops tests run on have no tray). False when there is no such item.
bool ClickTrayMenuItem(int index);

// The rows the lyrics sheet over `panel` draws now; empty when no sheet is shown.
std::vector<LyricSheetRow> LyricSheetRows(runtime::WindowId window, runtime::ControlId panel);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_TESTING_H_
