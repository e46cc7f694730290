#ifndef VOREL_PLATFORM_QT_DESKTOP_H_
#define VOREL_PLATFORM_QT_DESKTOP_H_

// What the player asks of the desktop beside its own windows: a folder chooser, whether a tray
// exists, and minimising a window. User-interface thread only; no Qt types here.

#include <optional>

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

}  // namespace vorel::qt

#endif  // VOREL_PLATFORM_QT_DESKTOP_H_
