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
// answers what a test set with SetFolderAnswer (ui/qt/testing.h), or "cancelled".
// The chooser (and BrowseForFiles') opens where the user last chose something in this run, the
// first time in the music folder (XDG_MUSIC_DIR, else the home folder).
runtime::Text BrowseForFolder(const runtime::Text& title, bool include_files);
// The folder the next chooser opens in (UTF-8).
std::string ChooserStartFolder();

// Shows the desktop's file chooser with `title` for MP3 files, several at once; the chosen
// files (code page 936), or none when the user cancelled. With nobody to answer it answers
// what a test set with SetFilesAnswer (ui/qt/testing.h), or "cancelled".
std::vector<runtime::Text> BrowseForFiles(const runtime::Text& title);

// Marks a button as the chosen one of a group (drawn in its colours swapped, and said as
// "checked" to assistive technology), or takes the mark away.
void MarkButton(runtime::WindowId window, runtime::ControlId button, bool marked);
bool ButtonMarked(runtime::WindowId window, runtime::ControlId button);

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

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_DESKTOP_H_
