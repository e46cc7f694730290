#include "ui/qt/desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWidget>

#include "ui/qt/internal/tray_menu.h"

#include "runtime/window_ops.h"
#include "ui/qt/qt_ui.h"

namespace vorel::qt {
namespace {

std::optional<runtime::Text>& FolderAnswer() {
  static std::optional<runtime::Text> answer;
  return answer;
}

}  // namespace

runtime::Text BrowseForFolder(const runtime::Text& title, bool include_files) {
  if (NonInteractive()) return FolderAnswer().value_or(runtime::Text());
  QFileDialog::Options options = QFileDialog::ShowDirsOnly;
  if (include_files) options = {};
  // Without a parent the dialog is application-modal: every window of the program waits for it.
  QString chosen = QFileDialog::getExistingDirectory(
      nullptr, QString::fromStdString(runtime::Utf8FromText(title)), QString(), options);
  if (chosen.isEmpty()) return {};
  std::string utf8 = chosen.toStdString();
  while (utf8.size() > 1 && utf8.back() == '/') utf8.pop_back();
  return runtime::TextFromUtf8(utf8);
}

void SetFolderAnswerForTesting(std::optional<runtime::Text> folder) {
  FolderAnswer() = std::move(folder);
}

bool TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void MinimiseWindow(runtime::WindowId window, runtime::ControlId self) {
  auto* widget = reinterpret_cast<QWidget*>(runtime::WindowHandle(window, self));
  if (widget) widget->showMinimized();
}

bool WindowMinimised(runtime::WindowId window, runtime::ControlId self) {
  auto* widget = reinterpret_cast<QWidget*>(runtime::WindowHandle(window, self));
  return widget != nullptr && widget->isMinimized();
}

void RaiseWindow(runtime::WindowId window, runtime::ControlId self) {
  auto* widget = reinterpret_cast<QWidget*>(runtime::WindowHandle(window, self));
  if (widget == nullptr) return;
  if (widget->isMinimized()) widget->showNormal();
  widget->show();
  widget->raise();
  widget->activateWindow();
}

void ShowBusyPointer(bool busy) {
  static bool shown = false;
  if (busy == shown) return;
  shown = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
  } else {
    QApplication::restoreOverrideCursor();
  }
}

QMenu* TrayContextMenu() {
  // Never deleted: tray icons refer to it until the process ends.
  static QMenu* menu = new QMenu();
  return menu;
}

void SetTrayMenu(std::vector<TrayMenuItem> items) {
  QMenu* menu = TrayContextMenu();
  menu->clear();
  for (TrayMenuItem& item : items) {
    QAction* action = menu->addAction(QString::fromStdString(item.label));
    QObject::connect(action, &QAction::triggered, menu, std::move(item.action));
  }
}

bool ClickTrayMenuItemForTesting(int index) {
  QMenu* menu = TrayContextMenu();
  const QList<QAction*> actions = menu->actions();
  if (index < 0 || index >= actions.size()) return false;
  menu->popup(QPoint(0, 0));
  const QPointF at = QRectF(menu->actionGeometry(actions[index])).center();
  const QPointF global = menu->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(menu, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(menu, &release);
  menu->hide();
  return true;
}

}  // namespace vorel::qt
