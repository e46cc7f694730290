#include "ui/qt/internal/window_drag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "ui/qt/internal/draw_panel.h"
#include "ui/qt/internal/labels.h"
#include "ui/qt/internal/window_widget.h"

namespace vorel::qt {
namespace {

// The controls a person does not operate: dragging them moves their window. Buttons, boxes,
// bars and lists keep every press for themselves.
bool MovesWindow(const QWidget* w) {
  return dynamic_cast<const WindowWidget*>(w) || dynamic_cast<const ShapeBox*>(w) ||
         dynamic_cast<const TextLabel*>(w) || dynamic_cast<const PicBox*>(w) ||
         dynamic_cast<const DrawPanel*>(w);
}

struct DragState {
  QPointer<QWidget> window;  // the window a press on a movable part may move; null otherwise
  QPoint press_global;
  QPoint window_at_press;
  bool following = false;  // the window system refused: the window follows the pointer itself
};

DragState& Drag() {
  static DragState state;
  return state;
}

}  // namespace

bool WatchWindowDrag(QObject* receiver, QEvent* e) {
  if (!receiver->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(receiver);
  DragState& d = Drag();
  switch (e->type()) {
    case QEvent::MouseButtonPress: {
      auto* m = static_cast<QMouseEvent*>(e);
      d = DragState();
      if (m->button() == Qt::LeftButton && MovesWindow(widget) && ControlObjectOf(widget)) {
        d.window = widget->window();
        d.press_global = m->globalPosition().toPoint();
        d.window_at_press = d.window->pos();
      }
      return false;
    }
    case QEvent::MouseMove: {
      auto* m = static_cast<QMouseEvent*>(e);
      if (!d.window || !(m->buttons() & Qt::LeftButton)) return false;
      const QPoint now = m->globalPosition().toPoint();
      if (d.following) {
        d.window->move(d.window_at_press + (now - d.press_global));
        return true;
      }
      if ((now - d.press_global).manhattanLength() < QApplication::startDragDistance()) {
        return false;
      }
      QWindow* handle = d.window->windowHandle();
      if (handle != nullptr && handle->startSystemMove()) {
        // The window system moves the window from here until the button is released.
        d = DragState();
      } else {
        d.following = true;
        d.window->move(d.window_at_press + (now - d.press_global));
      }
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) d = DragState();
      return false;
    default: return false;
  }
}

}  // namespace vorel::qt
