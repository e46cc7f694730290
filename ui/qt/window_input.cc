#include "ui/qt/window_input.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <map>
#include <utility>

#include "ui/qt/internal/control_base.h"

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
    if (e->type() == QEvent::Show) OnShow(receiver);
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
      return OnDragOver(receiver, static_cast<QDropEvent*>(e));
    }
    if (e->type() == QEvent::Drop) return OnDrop(receiver, static_cast<QDropEvent*>(e));
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

  static int VirtualKeyOf(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
      return key;
    }
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter: return 13;
      case Qt::Key_Escape: return 27;
      case Qt::Key_Space: return 32;
      case Qt::Key_Left: return 37;
      case Qt::Key_Up: return 38;
      case Qt::Key_Right: return 39;
      case Qt::Key_Down: return 40;
      case Qt::Key_Delete: return 46;
      default: return 0;
    }
  }

  bool OnKey(QObject* receiver, QKeyEvent* k) {
    if (!receiver->isWidgetType()) return false;
    QWidget* window = static_cast<QWidget*>(receiver)->window();
    const WindowInputHooks* h = HooksOf(window);
    if (h == nullptr || !h->key) return false;
    const int virtual_key = VirtualKeyOf(k->key());
    if (virtual_key == 0) return false;
    // A held arrow keeps seeking or turning the volume; anything else acts once per press.
    if (k->isAutoRepeat() && (virtual_key < 37 || virtual_key > 40)) return false;
    const Qt::KeyboardModifiers m = k->modifiers();
    const int state = ((m & Qt::ControlModifier) ? 1 : 0) | ((m & Qt::ShiftModifier) ? 2 : 0) |
                      ((m & Qt::AltModifier) ? 4 : 0);
    runtime::WindowId focus_window = 0;
    runtime::ControlId focused = 0;
    QWidget* focus = window->focusWidget();
    if (focus == nullptr || focus->window() != window ||
        !ControlOf(focus, &focus_window, &focused)) {
      focused = 0;
    }
    // The hooks may be replaced by what the key runs; the call works on its own copy.
    const auto key = h->key;
    return key(virtual_key, state, focused);
  }

  void OnShow(QObject* receiver) {
    if (!receiver->isWidgetType() || !static_cast<QWidget*>(receiver)->isWindow()) return;
    auto* window = static_cast<QWidget*>(receiver);
    const WindowInputHooks* h = HooksOf(window);
    if (h == nullptr) return;
    window->setAcceptDrops(static_cast<bool>(h->dropped));
    if (h->first_focus == 0) return;
    for (QWidget* child : window->findChildren<QWidget*>()) {
      runtime::WindowId w;
      runtime::ControlId c;
      if (ControlOf(child, &w, &c) && c == h->first_focus && ControlObjectOf(child) == child) {
        child->setFocus(Qt::OtherFocusReason);
        return;
      }
    }
  }

  static std::vector<runtime::Text> LocalPaths(const QMimeData* data) {
    std::vector<runtime::Text> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) paths.push_back(TextOf(url.toLocalFile()));
    }
    return paths;
  }

  bool OnDragOver(QObject* receiver, QDropEvent* e) {
    if (!receiver->isWidgetType()) return false;
    const WindowInputHooks* h = HooksOf(static_cast<QWidget*>(receiver)->window());
    if (h == nullptr || !h->dropped || LocalPaths(e->mimeData()).empty()) return false;
    e->setDropAction(Qt::CopyAction);
    e->accept();
    return true;
  }

  bool OnDrop(QObject* receiver, QDropEvent* e) {
    if (!receiver->isWidgetType()) return false;
    const WindowInputHooks* h = HooksOf(static_cast<QWidget*>(receiver)->window());
    if (h == nullptr || !h->dropped) return false;
    std::vector<runtime::Text> paths = LocalPaths(e->mimeData());
    if (paths.empty()) return false;
    e->setDropAction(Qt::CopyAction);
    e->accept();
    // Queued: adding scans folders and processes events, which must not happen inside the
    // drag-and-drop machinery's own event.
    QTimer::singleShot(
        0, qApp, [run = h->dropped, paths = std::move(paths)]() mutable { run(std::move(paths)); });
    return true;
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
