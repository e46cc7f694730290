#include "ui/qt/lyric_sheet.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <algorithm>

#include "runtime/bridge.h"
#include "runtime/window_ops.h"
#include "ui/qt/internal/control_base.h"

namespace vorel::qt {
namespace {

// The window's green (0x00BBGGRR 0x00E080) and its white, as on the chosen buttons.
const QColor kMarkBack(0x80, 0xE0, 0x00);
const QColor kMarkText(0xFF, 0xFF, 0xFF);
const QColor kLineText(0x50, 0x50, 0x50);
const QColor kMessageText(0x90, 0x90, 0x90);

// Inside the container's 1-pixel outline, with some air at the sides.
constexpr int kInset = 1;
constexpr int kSidePadding = 8;

const QString& SheetName();

class LyricSheet : public QWidget {
 public:
  explicit LyricSheet(QWidget* panel) : QWidget(panel) {
    setObjectName(SheetName());
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("歌词"));
    panel->installEventFilter(this);
    FitPanel();
  }

  void Show(std::vector<QString> lines, int current, QString message) {
    lines_ = std::move(lines);
    current_ = current >= 0 && current < static_cast<int>(lines_.size()) ? current : -1;
    message_ = std::move(message);
    setAccessibleDescription(current_ >= 0 ? lines_[current_] : message_);
    show();
    raise();
    update();
  }

  struct Row {
    int line;  // index into lines_, -1 for the message
    QRect area;
  };

  // The rows that fit, the current line as near the middle as the lines before and after allow.
  std::vector<Row> Rows() const {
    const int step = RowHeight();
    const int capacity = std::max(1, height() / step);
    const int n = static_cast<int>(lines_.size());
    const int count = n == 0 ? 1 : std::min(n, capacity);
    int first = 0;
    if (current_ >= 0) first = std::clamp(current_ - (count - 1) / 2, 0, n - count);
    // The block of rows is centred in the sheet; so is the message.
    const int top = (height() - count * step) / 2;
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i) {
      rows.push_back({n == 0 ? -1 : first + i,
                      QRect(kSidePadding, top + i * step, width() - 2 * kSidePadding, step)});
    }
    return rows;
  }

  const QString& TextOfRow(const Row& row) const {
    return row.line < 0 ? message_ : lines_[row.line];
  }
  bool Marked(const Row& row) const { return row.line >= 0 && row.line == current_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == parent() && e->type() == QEvent::Resize) FitPanel();
    return false;
  }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QFont bold = font();
    bold.setBold(true);
    for (const Row& row : Rows()) {
      const bool marked = Marked(row);
      if (marked) p.fillRect(row.area, kMarkBack);
      p.setFont(marked ? bold : font());
      p.setPen(marked ? kMarkText : row.line < 0 ? kMessageText : kLineText);
      const QRect text_area = row.area.adjusted(4, 0, -4, 0);
      p.drawText(
          text_area, Qt::AlignCenter,
          QFontMetrics(p.font()).elidedText(TextOfRow(row), Qt::ElideRight, text_area.width()));
    }
  }

 private:
  int RowHeight() const { return QFontMetrics(font()).lineSpacing() + 8; }

  void FitPanel() {
    const QWidget* panel = parentWidget();
    setGeometry(panel->rect().adjusted(kInset, kInset, -kInset, -kInset));
  }

  std::vector<QString> lines_;
  int current_ = -1;
  QString message_;
};

// Null when the window is not loaded (asking the runtime for a control of an unloaded window is
// a fatal error).
QWidget* PanelWidget(runtime::WindowId window, runtime::ControlId panel) {
  if (!runtime::IsWindowLoaded(window)) return nullptr;
  return qobject_cast<QWidget*>(reinterpret_cast<QObject*>(runtime::WindowHandle(window, panel)));
}

const QString& SheetName() {
  static const QString name = QStringLiteral("lyric_sheet");
  return name;
}

// The class has no meta-object of its own, so it is found by name and checked by type.
LyricSheet* SheetOf(QWidget* panel) {
  if (panel == nullptr) return nullptr;
  return dynamic_cast<LyricSheet*>(
      panel->findChild<QWidget*>(SheetName(), Qt::FindDirectChildrenOnly));
}

}  // namespace

void ShowLyricSheet(runtime::WindowId window, runtime::ControlId panel,
                    const std::vector<runtime::Text>& lines, int current,
                    const runtime::Text& message) {
  QWidget* container = PanelWidget(window, panel);
  if (container == nullptr) return;
  LyricSheet* sheet = SheetOf(container);
  if (sheet == nullptr) sheet = new LyricSheet(container);  // owned by the container
  std::vector<QString> shown;
  shown.reserve(lines.size());
  for (const runtime::Text& line : lines) shown.push_back(QStringOf(line));
  sheet->Show(std::move(shown), current, QStringOf(message));
}

void HideLyricSheet(runtime::WindowId window, runtime::ControlId panel) {
  if (LyricSheet* sheet = SheetOf(PanelWidget(window, panel))) sheet->hide();
}

std::vector<LyricSheetRow> LyricSheetRows(runtime::WindowId window, runtime::ControlId panel) {
  std::vector<LyricSheetRow> rows;
  LyricSheet* sheet = SheetOf(PanelWidget(window, panel));
  if (sheet == nullptr || !sheet->isVisible()) return rows;
  for (const LyricSheet::Row& row : sheet->Rows()) {
    const QRect in_window(sheet->mapTo(sheet->window(), row.area.topLeft()), row.area.size());
    rows.push_back({sheet->TextOfRow(row).toStdString(), in_window.left(), in_window.top(),
                    in_window.width(), in_window.height(), sheet->Marked(row)});
  }
  return rows;
}

}  // namespace vorel::qt
