#include "ui/qt/desktop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QStandardPaths>
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

std::vector<runtime::Text>& FilesAnswer() {
  static std::vector<runtime::Text> answer;
  return answer;
}

// Where the user last chose something; empty before the first choice.
QString& LastFolder() {
  static QString folder;
  return folder;
}

// Qt reads XDG_MUSIC_DIR from user-dirs.dirs and falls back to ~/Music whether or not it
// exists; a folder that is not there is no place to start.
QString MusicFolder() {
  const QString home = QDir::homePath();
  const QByteArray env = qgetenv("XDG_MUSIC_DIR");
  if (!env.isEmpty() && QFileInfo(QString::fromLocal8Bit(env)).isDir()) {
    return QString::fromLocal8Bit(env);
  }
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (!music.isEmpty() && music != home && QFileInfo(music).isDir()) return music;
  return home;
}

QString StartFolder() {
  const QString last = LastFolder();
  return !last.isEmpty() && QFileInfo(last).isDir() ? last : MusicFolder();
}

QString Title(const runtime::Text& title) {
  return QString::fromStdString(runtime::Utf8FromText(title));
}

}  // namespace

std::string ChooserStartFolder() { return StartFolder().toStdString(); }

runtime::Text BrowseForFolder(const runtime::Text& title, bool include_files) {
  if (NonInteractive()) return FolderAnswer().value_or(runtime::Text());
  QFileDialog::Options options = QFileDialog::ShowDirsOnly;
  if (include_files) options = {};
  // Without a parent the dialog is application-modal: every window of the program waits for it.
  QString chosen = QFileDialog::getExistingDirectory(nullptr, Title(title), StartFolder(), options);
  if (chosen.isEmpty()) return {};
  std::string utf8 = chosen.toStdString();
  while (utf8.size() > 1 && utf8.back() == '/') utf8.pop_back();
  LastFolder() = QString::fromStdString(utf8);
  return runtime::TextFromUtf8(utf8);
}

void SetFolderAnswer(std::optional<runtime::Text> folder) { FolderAnswer() = std::move(folder); }

std::vector<runtime::Text> BrowseForFiles(const runtime::Text& title) {
  if (NonInteractive()) return FilesAnswer();
  const QStringList chosen = QFileDialog::getOpenFileNames(
      nullptr, Title(title), StartFolder(),
      QStringLiteral("MP3 (*.mp3 *.MP3 *.Mp3 *.mP3);;%1 (*)")
          .arg(QCoreApplication::translate("QFileDialog", "All Files")));
  std::vector<runtime::Text> files;
  for (const QString& file : chosen) files.push_back(runtime::TextFromUtf8(file.toStdString()));
  if (!chosen.isEmpty()) LastFolder() = QFileInfo(chosen.front()).absolutePath();
  return files;
}

void SetFilesAnswer(std::vector<runtime::Text> files) { FilesAnswer() = std::move(files); }

void MarkButton(runtime::WindowId window, runtime::ControlId button, bool marked) {
  auto* b = dynamic_cast<QAbstractButton*>(
      reinterpret_cast<QObject*>(runtime::WindowHandle(window, button)));
  if (b == nullptr) return;
  b->setCheckable(marked);
  b->setChecked(marked);
  b->update();
}

bool ButtonMarked(runtime::WindowId window, runtime::ControlId button) {
  auto* b = dynamic_cast<QAbstractButton*>(
      reinterpret_cast<QObject*>(runtime::WindowHandle(window, button)));
  return b != nullptr && b->isChecked();
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

bool ClickTrayMenuItem(int index) {
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
