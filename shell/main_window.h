#ifndef VOREL_SHELL_MAIN_WINDOW_H_
#define VOREL_SHELL_MAIN_WINDOW_H_

// The main window's own behaviour: the list toggle that widens the window, the sliding panels,
// the show-and-hide buttons, the search box placeholder, hiding to the tray, and the exit
// confirmation with the window sliding off the screen before the program ends.
//
// Handlers run on the user-interface thread; ExitAnimation runs on its own worker thread.

#include <functional>

#include "runtime/window_template.h"

namespace vorel::shell {

struct ShellServices {
  // True when the desktop shows tray icons. Without a tray, hiding the window would leave no
  // way back, so the window is minimised instead.
  std::function<bool()> tray_available;
  std::function<void()> minimise_main_window;
  // Marks (or unmarks) a button of the main window as the chosen one of its group.
  std::function<void(runtime::ControlId button, bool marked)> mark_button;
};
void SetShellServices(ShellServices services);

void SlidePanel(int which);  // 1 the play list panel, 2 the search panel
void CollapseSearchPanel();
void CollapsePlayListPanel();
void TogglePlayListPanel();
// Shows the play-mode chooser with the current mode's button marked, or hides it.
void TogglePlayModeChooser();
void ToggleVolumePanel();
void OnSearchBoxFocus();
void OnSearchBoxBlur();
void HideMainWindow();
void OnTrayIconEvent();
void OnCloseClicked();
void ExitAnimation();
void ConfirmExit();
void CancelExit();
void CloseExitDialog();

bool PlayListOpen();
void ResetShellStateForTesting();

}  // namespace vorel::shell

#endif  // VOREL_SHELL_MAIN_WINDOW_H_
