#include "ui/qt/internal/window_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPalette>
#include <algorithm>
#include <utility>

namespace vorel::qt {

using runtime::Text;
using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

WindowWidget::WindowWidget(const TypeData& data) : QWidget(nullptr) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(
      QPalette::Window,
      ColourOf(static_cast<std::uint32_t>(data.Int(runtime::kKeyBackColour).value_or(0xFFFFFF))));
  setPalette(pal);
  setAttribute(Qt::WA_QuitOnClose, false);
  // A window without a caption is named in the task bar by what it is (its role).
  Text caption = data.GetText(runtime::kKeyCaption);
  setWindowTitle(QStringOf(caption.empty() ? data.GetText(runtime::kKeyAccessible) : caption));
  ApplyCommonLook(this, data);
}

PropertyStatus WindowWidget::Get(int index, Value* out) {
  if (index == K<controls::Window, property::Caption>()) {
    *out = TextOf(windowTitle());
    return PropertyStatus::kOk;
  }
  return PropertyStatus::kUnknownIndex;
}

PropertyStatus WindowWidget::Set(int index, const Value& v) {
  if (index == K<controls::Window, property::Caption>()) {
    setWindowTitle(QStringOf(runtime::ToText(v)));
    return PropertyStatus::kOk;
  }
  return PropertyStatus::kUnknownIndex;
}

// A close from the window manager goes through the runtime, which raises the being-destroyed
// event and destroys the window; Qt's own close would only hide it.
void WindowWidget::closeEvent(QCloseEvent* e) {
  e->ignore();
  runtime::WindowId w;
  runtime::ControlId c;
  if (ControlOf(this, &w, &c)) {
    QMetaObject::invokeMethod(
        qApp,
        [w] {
          if (runtime::IsWindowLoaded(w)) runtime::NativeCloseRequested(w);
        },
        Qt::QueuedConnection);
  }
}

namespace {

// Where `w` shows inside its window: its rectangle clipped by every container above it.
QRect ShownArea(const QWidget* w) {
  QRect area = w->rect();
  for (const QWidget* at = w; !at->isWindow(); at = at->parentWidget()) {
    area.translate(at->pos());
    area &= at->parentWidget()->rect();
  }
  return area;
}

bool TakesTab(const QWidget* w) {
  return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled();
}

bool HoldsTabStop(const QWidget* w) {
  if (TakesTab(w)) return true;
  for (const QObject* o : w->children()) {
    if (o->isWidgetType() && !static_cast<const QWidget*>(o)->isHidden() &&
        HoldsTabStop(static_cast<const QWidget*>(o))) {
      return true;
    }
  }
  return false;
}

// a is read before b: wholly above it, or beside it and further left.
bool ReadBefore(const QRect& a, const QRect& b) {
  if (a.top() + a.height() <= b.top()) return true;
  if (b.top() + b.height() <= a.top()) return false;
  return a.left() < b.left();
}

void CollectTabStops(const QWidget* container, std::vector<QWidget*>* out) {
  std::vector<QWidget*> blocks;
  for (QObject* o : container->children()) {
    if (!o->isWidgetType()) continue;
    auto* w = static_cast<QWidget*>(o);
    if (w->isHidden() || w->isWindow() || ShownArea(w).isEmpty() || !HoldsTabStop(w)) continue;
    blocks.push_back(w);
  }
  // Picks, again and again, a block no other remaining block reads before; the top-left one
  // when the blocks overlap so that none qualifies.
  while (!blocks.empty()) {
    auto first = blocks.end();
    for (auto it = blocks.begin(); it != blocks.end() && first == blocks.end(); ++it) {
      bool preceded = false;
      for (QWidget* other : blocks) {
        if (other != *it && ReadBefore(other->geometry(), (*it)->geometry())) preceded = true;
      }
      if (!preceded) first = it;
    }
    if (first == blocks.end()) {
      first = std::min_element(blocks.begin(), blocks.end(), [](QWidget* a, QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
      });
    }
    QWidget* w = *first;
    blocks.erase(first);
    if (TakesTab(w)) {
      out->push_back(w);
    } else {
      CollectTabStops(w, out);
    }
  }
}

}  // namespace

std::vector<QWidget*> WindowWidget::FocusOrder() const {
  std::vector<QWidget*> order;
  CollectTabStops(this, &order);
  return order;
}

bool WindowWidget::focusNextPrevChild(bool next) {
  const std::vector<QWidget*> order = FocusOrder();
  if (order.empty()) return false;
  const QWidget* now = focusWidget();
  const int n = static_cast<int>(order.size());
  int at = -1;
  for (int i = 0; i < n; ++i) {
    if (now != nullptr && (order[i] == now || order[i]->isAncestorOf(now))) at = i;
  }
  const int to = at < 0 ? (next ? 0 : n - 1) : (at + (next ? 1 : n - 1)) % n;
  order[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

TimerControl::TimerControl(QObject* parent, const TypeData& data) : QTimer(parent) {
  // A coarse timer may fire up to 5% early; the first tick must wait the full period.
  setTimerType(Qt::PreciseTimer);
  connect(this, &QTimer::timeout, this, [this] { RaiseOwn(this, runtime::kEventClicked); });
  Set(8, data.Int(runtime::kKeyInterval).value_or(0));
}

PropertyStatus TimerControl::Get(int index, Value* out) {
  if (index != K<controls::Timer, property::Interval>()) return PropertyStatus::kUnknownIndex;
  *out = std::int32_t{interval_};
  return PropertyStatus::kOk;
}

// Writing always restarts: the first tick comes a full period after the write.
PropertyStatus TimerControl::Set(int index, const Value& v) {
  if (index != K<controls::Timer, property::Interval>()) return PropertyStatus::kUnknownIndex;
  interval_ = std::max(0, Int(v));
  stop();
  if (interval_ > 0) start(interval_);
  return PropertyStatus::kOk;
}

}  // namespace vorel::qt
