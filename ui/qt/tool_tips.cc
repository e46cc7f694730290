#include "ui/qt/internal/qt_native_ui.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>

namespace vorel::qt {

using runtime::NativeHandle;

namespace {

// Shows a control's tooltip the way its flags ask: centred puts the tip centred just below the
// control instead of at the pointer; balloon gives it rounded corners.
class ToolTipPlacement : public QObject {
 public:
  explicit ToolTipPlacement(QWidget* owner) : QObject(owner) {}
  bool balloon = false;
  bool centred = false;

  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::ToolTip || !o->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(o);
    const QString text = w->toolTip();
    if (text.isEmpty()) {
      QToolTip::hideText();
      return true;
    }
    QPoint at = static_cast<QHelpEvent*>(e)->globalPos();
    if (centred) {
      const QSize tip = QFontMetrics(QToolTip::font()).size(0, text) + QSize(8, 6);
      // QToolTip shows the tip this far right of and below the point it is given.
      const QPoint offset(2, 16);
      at = w->mapToGlobal(QPoint((w->width() - tip.width()) / 2, w->height())) - offset;
    }
    QToolTip::showText(at, text, w);
    return true;
  }
};

}  // namespace

void QtNativeUi::AddToolTip(NativeHandle h, const runtime::Text& text, bool balloon, bool centred) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return;
  // One tool per control: a later call replaces the text and flags of the earlier one.
  e->widget->setToolTip(QStringOf(text));
  auto* tip = e->widget->findChild<ToolTipPlacement*>(QString(), Qt::FindDirectChildrenOnly);
  if (tip == nullptr) {
    tip = new ToolTipPlacement(e->widget);
    e->widget->installEventFilter(tip);
  }
  if (tip->balloon != balloon) {
    // The tip takes its look from the control's style sheet; no control has one otherwise.
    e->widget->setStyleSheet(balloon ? QStringLiteral("QToolTip { border: 1px solid "
                                                      "palette(shadow); border-radius: 8px; "
                                                      "padding: 3px; }")
                                     : QString());
  }
  tip->balloon = balloon;
  tip->centred = centred;
}

}  // namespace vorel::qt
