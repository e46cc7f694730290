#ifndef VOREL_UI_QT_LYRIC_SHEET_H_
#define VOREL_UI_QT_LYRIC_SHEET_H_

// A sheet of lyric lines drawn over the inside of a container control, for a panel with room for
// more lines than its two labels: as many lines as fit, the current one kept in the middle where
// the lines allow it and marked as the window marks its chosen buttons (the strip's green behind
// white bold text). The sheet takes no input: presses go to the container as before. No Qt types
// here. User-interface thread only.

#include <string>
#include <vector>

#include "runtime/text.h"
#include "runtime/window_template.h"

namespace vorel::qt {

// Shows `lines` (code page 936) over `panel` of a loaded window, `current` marked (-1: none
// marked, the first lines shown), or `message` centred when `lines` is empty. Replaces what the
// sheet showed before; creates it the first time. Nothing when the panel is not loaded.
void ShowLyricSheet(runtime::WindowId window, runtime::ControlId panel,
                    const std::vector<runtime::Text>& lines, int current,
                    const runtime::Text& message);
// Takes the sheet away from `panel`; the container shows its own controls again.
void HideLyricSheet(runtime::WindowId window, runtime::ControlId panel);

// A row the sheet draws, in the window's coordinates (read by tests through ui/qt/testing.h):
// its text (UTF-8, as given, before any shortening to fit) and whether it is the marked one.
struct LyricSheetRow {
  std::string text;
  int left, top, width, height;
  bool marked;
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_LYRIC_SHEET_H_
