#include "platform/qt/desktop.h"

#include <QFileDialog>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/qt/qt_ui.h"
#include "runtime/window_ops.h"

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

}  // namespace vorel::qt
