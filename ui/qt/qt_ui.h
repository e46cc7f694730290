#ifndef VOREL_UI_QT_QT_UI_H_
#define VOREL_UI_QT_QT_UI_H_

// The window framework over Qt 6 Widgets: creates the application object, implements the
// runtime's NativeUi and installs it, and wires the runtime's event processing (ProcessEvents,
// Delay) to Qt's event loop.
//
//   vorel::qt::UiSession session(argc, argv);   // on the thread that becomes the UI thread
//   runtime::InitRuntime(template_bytes);
//   runtime::LoadStartWindow(kMainWindow);
//
// Nothing here exposes Qt types, so tests and the program include it freely. All functions are
// for the user-interface thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/window_template.h"

namespace vorel::qt {

// Owns the application object for its lifetime. Only one may exist. Without a display set
// (no DISPLAY, WAYLAND_DISPLAY nor QT_QPA_PLATFORM) it chooses the offscreen platform, so
// tests and CI never need a screen.
class UiSession {
 public:
  UiSession(int& argc, char** argv);
  ~UiSession();
  UiSession(const UiSession&) = delete;
  UiSession& operator=(const UiSession&) = delete;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// True when nobody can answer a dialog: the offscreen platform or VOREL_NONINTERACTIVE=1.
bool NonInteractive();

// Test seams that act on the real widget as a person would (mouse press and release in the
// middle of the control), so the control's own behaviour runs before its event reaches the
// runtime. False when the control has no widget.
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

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_QT_UI_H_
