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
#include <optional>
#include <vector>

#include "player/lyrics.h"
#include "runtime/text.h"
#include "runtime/window_template.h"
#include "shell/main_window.h"

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

// One entry of the main window's right-click menu.
struct MenuEntry {
  runtime::Text label;
  std::function<void()> run;
};

// The full view of the main window. It keeps the places it moved controls from and what the
// lyric sheet shows. The application makes one beside the main window and the lyrics.
class FullView {
 public:
  // `main_window` opens the play list on entering; `lyrics` gives the sheet. Both outlive this.
  FullView(FullViewServices services, MainWindow& main_window, player::Lyrics& lyrics);
  // Stops following the lyrics.
  ~FullView();
  FullView(const FullView&) = delete;
  FullView& operator=(const FullView&) = delete;

  // Opens the play list first when it is closed (as its toggle button does), grows the window
  // to the full height and puts the keyboard focus in the search box. Nothing when already
  // shown.
  void ShowFullView();
  // Returns the window to the compact height; the play list stays as it is.
  void HideFullView();
  void ToggleFullView();
  // True while the main window is taller than the compact view (it reads the window's height).
  bool FullViewShown() const;

  // A key pressed anywhere in the main window (Windows virtual-key code; state bit 1 Ctrl, 2
  // Shift, 4 Alt). Ctrl+F switches the view; Escape leaves the full view. True when the key was
  // taken, so it goes no further.
  bool OnMainWindowShortcut(int virtual_key, int key_state);

  // The full view's entries of the main window's right-click menu as things stand now: show or
  // hide it. They run on this object.
  std::vector<MenuEntry> FullViewMenuEntries();

  // A control's place: left, top, width and height.
  struct Place {
    runtime::ControlId control;
    int left, top, width, height;
  };

 private:
  // What the sheet in the lyrics panel shows, so that the many ticks that change nothing draw
  // nothing.
  struct SheetShown {
    std::uint64_t version = 0;
    int current = -1;
    bool looked = false;
    bool operator==(const SheetShown&) const = default;
  };

  void LayOutFullView();
  void PutBackCompactPlaces();
  void RefreshLyricSheet();
  void ShowLyricSheet();
  void HideLyricSheet();

  FullViewServices services_;
  MainWindow& main_window_;
  player::Lyrics& lyrics_;
  // The template's places of the controls the full view moves, read when it opens and written
  // back when it closes, so the compact view is exactly as the template has it.
  std::vector<Place> compact_places_;
  std::int32_t compact_lyrics_outline_ = 0;
  // The lyric labels' own visibility while the sheet stands in for them.
  std::int32_t upper_visible_ = 1, lower_visible_ = 1;
  std::optional<SheetShown> sheet_;
};

}  // namespace vorel::shell

#endif  // VOREL_SHELL_FULL_VIEW_H_
