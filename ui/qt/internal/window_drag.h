#ifndef VOREL_UI_QT_INTERNAL_WINDOW_DRAG_H_
#define VOREL_UI_QT_INTERNAL_WINDOW_DRAG_H_

// Moving a borderless window by dragging a part of it that nobody operates: the window's
// background, a shape, a picture, a caption or the drawing panel. A press there followed by a
// move of more than the platform's drag distance hands the move to the window system
// (QWindow::startSystemMove, which Wayland needs); where the window system refuses, the window
// follows the pointer until the button is released. A press and release without such a move
// stays a click. User-interface thread only.

#include <QEvent>
#include <QObject>

namespace vorel::qt {

// Looks at a mouse event on its way to `receiver` (called once per delivered event, before the
// widget sees it). True when the event belongs to a window move and must go no further.
bool WatchWindowDrag(QObject* receiver, QEvent* e);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_WINDOW_DRAG_H_
