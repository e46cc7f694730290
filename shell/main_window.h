#ifndef VOREL_SHELL_MAIN_WINDOW_H_
#define VOREL_SHELL_MAIN_WINDOW_H_

// The main window's own behaviour: the list toggle that widens the window, the sliding panels,
// the show-and-hide buttons, the search box placeholder, hiding to the tray, and the exit
// confirmation with the window sliding off the screen before the program ends.
//
// Handlers run on the user-interface thread; ExitAnimation runs on its own worker thread.

#include <atomic>
#include <functional>

#include "playlist/playlist.h"
#include "runtime/window_template.h"

namespace vorel::shell {

struct ShellServices {
  // True when the desktop shows tray icons. Without a tray, hiding the window would leave no
  // way back, so the window is minimised instead.
  std::function<bool()> tray_available;
  std::function<void()> minimise_main_window;
  // Marks (or unmarks) a button of the main window as the chosen one of its group.
  std::function<void(runtime::ControlId button, bool marked)> mark_button;
  // True while a song plays: a panel then moves at once instead of sliding.
  std::function<bool()> playing;
  // Stops the song before the window slides away at exit.
  std::function<void()> stop_playback;
  // The play mode in force, whose button the chooser marks.
  std::function<playlist::PlayMode()> current_play_mode;
  // Saves the play list as the program closes.
  std::function<void()> save_play_list_at_exit;
};

// The main window's state: whether the play list is open and whether the exit was confirmed.
// The application makes one and binds the routines below to it by their names.
class MainWindow {
 public:
  explicit MainWindow(ShellServices services);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

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
  void ConfirmExit();
  void CancelExit();
  void CloseExitDialog();

  bool PlayListOpen() const { return play_list_open_; }

 private:
  void MovePanel(runtime::ControlId panel, int to);

  ShellServices services_;
  bool play_list_open_ = false;
  std::atomic<bool> exit_confirmed_{false};
};

// Slides the window off the top of the screen and ends the program. Runs on its own worker
// thread, started by OnCloseClicked once the exit is confirmed; it keeps no state.
void ExitAnimation();

}  // namespace vorel::shell

#endif  // VOREL_SHELL_MAIN_WINDOW_H_
