#ifndef VOREL_UI_QT_WINDOW_INPUT_H_
#define VOREL_UI_QT_WINDOW_INPUT_H_

// Input a window takes as a whole rather than through one of its controls: a right-click menu
// where no control has a menu of its own, keys pressed anywhere in the window, files dropped on
// it, and the control that takes the focus when it opens. No Qt types here. User-interface
// thread only.

#include <functional>
#include <vector>

#include "runtime/text.h"
#include "runtime/window_template.h"

namespace vorel::qt {

struct MenuItem {
  runtime::Text label;
  std::function<void()> run;  // runs on the user-interface thread once the menu has closed
};

struct WindowInputHooks {
  // The items of the right-click menu, asked for each time the menu opens; no menu when empty.
  std::function<std::vector<MenuItem>()> menu_items;
  // A key pressed in the window, before the control with the focus sees it: a Windows
  // virtual-key code (letters and digits as upper-case ASCII, Enter 13, Escape 27, Space 32,
  // the arrows 37 to 40, Delete 46), the key state (1 Ctrl, 2 Shift, 4 Alt) and the control of
  // this window holding the focus (0 when none). True takes the key. Repeats of a held key are
  // passed on only for the arrows.
  std::function<bool(int virtual_key, int key_state, runtime::ControlId focused)> key;
  // Local files and folders dropped on the window (absolute paths, code page 936), in the order
  // given; runs once the drop is over. The window takes no drops when empty.
  std::function<void(std::vector<runtime::Text> paths)> dropped;
  // The control that takes the keyboard focus each time the window is shown; 0 for none.
  runtime::ControlId first_focus = 0;
};

// Gives the window (named by its id and its own control id) these hooks, replacing earlier ones.
// May be called before the window is loaded; the hooks act whenever it is.
void SetWindowInputHooks(runtime::WindowId window, runtime::ControlId self, WindowInputHooks hooks);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_WINDOW_INPUT_H_
