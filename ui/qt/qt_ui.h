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
// for the user-interface thread only. Tests drive the widgets through ui/qt/testing.h.

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

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_QT_UI_H_
