#include "ui/qt/testing.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

#include "ui/qt/internal/control_base.h"
#include "ui/qt/internal/qt_native_ui.h"

namespace vorel::qt {

namespace {

QWidget* Find(runtime::WindowId window, runtime::ControlId control) {
  QtNativeUi* ui = SessionNativeUi();
  return ui ? ui->WidgetOf(window, control) : nullptr;
}

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButtons buttons) {
  QPointF local(w->width() / 2.0, w->height() / 2.0);
  QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

bool ClickControl(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  SendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  return true;
}

bool DoubleClickControl(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  // A list view takes the double-click on its viewport, where its rows are.
  if (auto* list = qobject_cast<QAbstractItemView*>(w)) w = list->viewport();
  SendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  SendMouse(w, QEvent::MouseButtonDblClick, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  return true;
}

bool PressKey(runtime::WindowId window, runtime::ControlId control, int qt_key) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  const QString text = qt_key < 0x01000000 ? QString(QChar(qt_key)).toLower() : QString();
  QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, qt_key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
  return true;
}

long PixelOf(runtime::WindowId window, runtime::ControlId control, int x, int y) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return -1;
  QImage image = w->grab().toImage();
  if (!image.valid(x, y)) return -1;
  QRgb c = image.pixel(x, y);
  return static_cast<long>(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
}

std::string ToolTipOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->toolTip().toStdString() : std::string();
}

std::string ObjectNameOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->objectName().toStdString() : std::string();
}

std::string AccessibleNameOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->accessibleName().toStdString() : std::string();
}

bool GrabWindowPng(runtime::WindowId window, const std::string& path) {
  if (SessionNativeUi() == nullptr) return false;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    runtime::WindowId id;
    runtime::ControlId c;
    if (w->isVisible() && ControlOf(w, &id, &c) && id == window) {
      return w->grab().save(QString::fromStdString(path), "PNG");
    }
  }
  return false;
}

}  // namespace vorel::qt
