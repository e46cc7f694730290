#ifndef VOREL_UI_QT_DESKTOP_H_
#define VOREL_UI_QT_DESKTOP_H_

// What the player asks of the desktop beside its own windows: a folder chooser, whether a tray
// exists and its menu, and minimising and raising a window. User-interface thread only; no Qt types
// here.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/text.h"
#include "runtime/window_template.h"

namespace vorel::qt {

// Shows the desktop's folder chooser with `title`; the chosen folder (code page 936, no
// trailing "/" except for the root), or empty when the user cancelled. The program's other
// windows take no input meanwhile. With nobody to answer (offscreen, VOREL_NONINTERACTIVE=1) it
// answers what a test set with SetFolderAnswerForTesting, or "cancelled".
runtime::Text BrowseForFolder(const runtime::Text& title, bool include_files);
void SetFolderAnswerForTesting(std::optional<runtime::Text> folder);

// True when the desktop shows tray icons.
bool TrayAvailable();

// Minimises a loaded window (`self` is the window's own control id).
void MinimiseWindow(runtime::WindowId window, runtime::ControlId self);
// True while the window is minimised.
bool WindowMinimised(runtime::WindowId window, runtime::ControlId self);
// Restores a minimised window, shows it, and asks the window manager to bring it to the front
// and give it the keyboard.
void RaiseWindow(runtime::WindowId window, runtime::ControlId self);

// Shows the busy pointer (an arrow with a working sign: input is still taken) over every window
// of the program while `busy`, the windows' own pointers otherwise.
void ShowBusyPointer(bool busy);

// The tray icon's context menu (a right-click on the icon): items in order, each running its
// action when chosen. Replaces the items set before; shown by every tray icon of the program.
struct TrayMenuItem {
  std::string label;  // UTF-8
  std::function<void()> action;
};
void SetTrayMenu(std::vector<TrayMenuItem> items);
// Opens the tray menu where a right-click would and clicks item `index` with the mouse, for
// tests (the desktops tests run on have no tray). False when there is no such item.
bool ClickTrayMenuItemForTesting(int index);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_DESKTOP_H_
