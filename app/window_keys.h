#ifndef VOREL_APP_WINDOW_KEYS_H_
#define VOREL_APP_WINDOW_KEYS_H_

// The keyboard of the three windows, beyond what each focused control does by itself. Each
// function takes a Windows virtual-key code, the key state (1 Ctrl, 2 Shift, 4 Alt) and the
// window's control holding the focus (0 for none), runs what the key means through the same
// routines a click runs, and returns true when it took the key.
//
// Main window (after the full view has had Ctrl+F and Escape): Ctrl+O adds a folder as "打开"
// does; Ctrl+Q ends the program as the tray's "退出" does (the play list saved). Unless the focus
// is in a text box or a list: Space plays or pauses, Left and Right seek by 5 s, Up and Down turn
// the volume bar by a twentieth. On a list row, Enter does what a double-click does; Delete on
// the play list removes the selected row as "删除" does.
//
// Confirmations: Escape cancels; Enter presses the focused button (the confirm button holds
// the focus when the window opens), or confirms when no button has it.
//
// User-interface thread only.

#include "runtime/window_template.h"

namespace vorel::desktop {
class MediaControl;
}

namespace vorel::app {

// Space and the arrows reach the player through `media`, as the desktop's media keys do.
bool OnMainWindowKey(desktop::MediaControl& media, int virtual_key, int key_state,
                     runtime::ControlId focused);
bool OnExitDialogKey(int virtual_key, int key_state, runtime::ControlId focused);
bool OnClearDialogKey(int virtual_key, int key_state, runtime::ControlId focused);

// How far Left and Right seek.
inline constexpr int kSeekStepSeconds = 5;

}  // namespace vorel::app

#endif  // VOREL_APP_WINDOW_KEYS_H_
