#include "ui/qt/internal/qt_native_ui.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "platform/code_page.h"
#include "ui/qt/qt_ui.h"

namespace vorel::qt {

namespace {

std::string Utf8(const runtime::Text& t) { return platform::Gb18030ToUtf8Lossy(t); }

}  // namespace

int QtNativeUi::ShowMessageBox(const runtime::Text& content, int flags,
                               const runtime::Text& caption) {
  if (NonInteractive()) {
    std::string text = Utf8(content);
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.erase(p, 1);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::fprintf(stderr, "%s\n%s\n", Utf8(caption).c_str(), text.c_str());
    std::fflush(stderr);
    return 0;
  }
  QMessageBox box;
  box.setWindowTitle(QStringOf(caption));
  box.setText(QStringOf(content));
  switch (flags & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  using B = QMessageBox::StandardButton;
  static const QMessageBox::StandardButtons kSets[] = {B::Ok,
                                                       B::Ok | B::Cancel,
                                                       B::Abort | B::Retry | B::Ignore,
                                                       B::Yes | B::No | B::Cancel,
                                                       B::Yes | B::No,
                                                       B::Retry | B::Cancel};
  const int set = flags & 0xF;
  box.setStandardButtons(set < 6 ? kSets[set] : QMessageBox::StandardButtons(B::Ok));
  // A narrow box would have its title cut by the window manager: the box is made at least as
  // wide as the title plus room for the title bar's buttons.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int title_width =
        QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle()) + 160;
    grid->addItem(new QSpacerItem(title_width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  switch (box.exec()) {
    case B::Cancel: return 1;
    case B::Abort: return 2;
    case B::Retry: return 3;
    case B::Ignore: return 4;
    case B::Yes: return 5;
    case B::No: return 6;
    default: return 0;
  }
}

}  // namespace vorel::qt
