#include "ui/qt/window_input.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <map>
#include <utility>

#include "ui/qt/internal/controls.h"

namespace vorel::qt {
namespace {

using WindowKey = std::pair<runtime::WindowId, runtime::ControlId>;

// Watches every event of the application: a context menu reaches a window's own widget only when
// no control under the pointer took it, and a key is seen before the focused control gets it.
class WindowInputFilter : public QObject {
 public:
  using QObject::QObject;

  std::map<WindowKey, WindowInputHooks> hooks;
  QPointer<QMenu> open_menu;

  bool eventFilter(QObject* receiver, QEvent* e) override {
    if (e->type() == QEvent::ContextMenu) return OnContextMenu(receiver, e);
    if (e->type() == QEvent::KeyPress) return OnKey(receiver, static_cast<QKeyEvent*>(e));
    return false;
  }

 private:
  const WindowInputHooks* HooksOf(const QObject* window_widget) const {
    runtime::WindowId window;
    runtime::ControlId control;
    if (!ControlOf(window_widget, &window, &control)) return nullptr;
    auto it = hooks.find({window, control});
    return it == hooks.end() ? nullptr : &it->second;
  }

  bool OnContextMenu(QObject* receiver, QEvent* e) {
    if (!receiver->isWidgetType() || !static_cast<QWidget*>(receiver)->isWindow()) return false;
    const WindowInputHooks* h = HooksOf(receiver);
    if (h == nullptr || !h->menu_items) return false;
    std::vector<MenuItem> items = h->menu_items();
    if (items.empty()) return false;
    if (open_menu) open_menu->close();
    auto* menu = new QMenu(static_cast<QWidget*>(receiver));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (MenuItem& item : items) {
      QAction* action = menu->addAction(QStringOf(item.label));
      // Queued, so the item's work (which may open a message box) runs after the menu closed.
      QObject::connect(action, &QAction::triggered, qApp,
                       [run = std::move(item.run)] { QTimer::singleShot(0, qApp, run); });
    }
    open_menu = menu;
    menu->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
    return true;
  }

  bool OnKey(QObject* receiver, QKeyEvent* k) {
    if (!receiver->isWidgetType() || k->isAutoRepeat()) return false;
    const WindowInputHooks* h = HooksOf(static_cast<QWidget*>(receiver)->window());
    if (h == nullptr || !h->key) return false;
    int virtual_key = 0;
    if (k->key() == Qt::Key_Escape) {
      virtual_key = 27;
    } else if ((k->key() >= Qt::Key_A && k->key() <= Qt::Key_Z) ||
               (k->key() >= Qt::Key_0 && k->key() <= Qt::Key_9)) {
      virtual_key = k->key();
    } else {
      return false;
    }
    const Qt::KeyboardModifiers m = k->modifiers();
    const int state = ((m & Qt::ControlModifier) ? 1 : 0) | ((m & Qt::ShiftModifier) ? 2 : 0) |
                      ((m & Qt::AltModifier) ? 4 : 0);
    return h->key(virtual_key, state);
  }
};

WindowInputFilter* Filter() {
  static QPointer<WindowInputFilter> filter;
  if (!filter) {
    filter = new WindowInputFilter(qApp);
    qApp->installEventFilter(filter);
  }
  return filter;
}

}  // namespace

void SetWindowInputHooks(runtime::WindowId window, runtime::ControlId self,
                         WindowInputHooks hooks) {
  Filter()->hooks[{window, self}] = std::move(hooks);
}

std::vector<runtime::Text> OpenMenuLabels() {
  std::vector<runtime::Text> labels;
  QMenu* menu = Filter()->open_menu;
  if (menu == nullptr || !menu->isVisible()) return labels;
  for (QAction* a : menu->actions()) labels.push_back(TextOf(a->text()));
  return labels;
}

bool ChooseMenuItem(const runtime::Text& label) {
  QMenu* menu = Filter()->open_menu;
  if (menu == nullptr || !menu->isVisible()) return false;
  for (QAction* a : menu->actions()) {
    if (TextOf(a->text()) != label) continue;
    const QPointF at = menu->actionGeometry(a).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, menu->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(menu, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, menu->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(menu, &release);
    return true;
  }
  return false;
}

}  // namespace vorel::qt
