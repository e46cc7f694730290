#ifndef VOREL_SHELL_FULL_VIEW_H_
#define VOREL_SHELL_FULL_VIEW_H_

// The full view: the main window grown to 690 x 456 so that the search box, the search results
// and the lyrics, which the compact 192-pixel window leaves below its edge, can be seen and used.
// In it the search box with its button, the results and the lyrics are laid out in the band
// below the compact strip so that none covers another; leaving it puts them back where the
// window template has them. Every other control stays at its template place. The program
// starts compact.
//
// The lyrics panel of the full view has room for many lines: in place of its two labels it shows
// a sheet of the playing song's lyrics (as many lines as fit, the line being sung marked), which
// follows the song as it plays and after a seek, or says that the song has no lyrics.
//
// User-interface thread only.

#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/text.h"

namespace vorel::shell {

inline constexpr int kCompactHeight = 192;
inline constexpr int kFullViewHeight = 456;
inline constexpr int kFullViewWidth = 690;

// What the full view needs from the window system, wired once by the application.
struct FullViewServices {
  // Shows `lines` over the lyrics panel with line `current` marked (-1 none), or `message` when
  // there are no lines.
  std::function<void(const std::vector<runtime::Text>& lines, int current,
                     const runtime::Text& message)>
      show_lyric_sheet;
  // Takes the sheet away; the panel shows its labels again.
  std::function<void()> hide_lyric_sheet;
};
void SetFullViewServices(FullViewServices services);

// Opens the play list first when it is closed (as its toggle button does), grows the window to
// the full height and puts the keyboard focus in the search box. Nothing when already shown.
void ShowFullView();
// Returns the window to the compact height; the play list stays as it is.
void HideFullView();
void ToggleFullView();
// True while the main window is taller than the compact view (it reads the window's height).
bool FullViewShown();

// A key pressed anywhere in the main window (Windows virtual-key code; state bit 1 Ctrl, 2
// Shift, 4 Alt). Ctrl+F switches the view; Escape leaves the full view. True when the key was
// taken, so it goes no further.
bool OnMainWindowShortcut(int virtual_key, int key_state);

// One entry of the main window's right-click menu.
struct MenuEntry {
  runtime::Text label;
  void (*run)();
};
// The shell's entries of that menu as things stand now: show or hide the full view.
std::vector<MenuEntry> FullViewMenuEntries();

// Forgets the places read from the window and what the sheet showed (the window is loaded anew).
void ResetFullViewForTesting();

}  // namespace vorel::shell

#endif  // VOREL_SHELL_FULL_VIEW_H_
