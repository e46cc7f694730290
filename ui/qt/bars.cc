#include "ui/qt/internal/bars.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace vorel::qt {

using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

SliderBar::SliderBar(QWidget* parent, const TypeData& data) : QSlider(Qt::Horizontal, parent) {
  ApplyCommonLook(this, data);
  // Reached by Tab; a click does not take the focus from the box being typed in.
  setFocusPolicy(Qt::TabFocus);
  setRange(0, std::min(data.Int(runtime::kKeyMaximum).value_or(10), 32767));
  // Only what the user does raises the event; positions written by the program do not.
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
    setValue(sliderPosition());
    RaiseOwn(this, runtime::kEventClicked);
  });
}

void SliderBar::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && maximum() > minimum()) {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    if (!handle.contains(e->position().toPoint())) {
      const QRect groove =
          style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
      // The value whose handle would be centred under the pointer, as a drag computes it.
      const int span = groove.width() - handle.width();
      const int x = qRound(e->position().x()) - handle.width() / 2 - groove.x();
      // Moving the handle triggers the slider's move action, which raises the event once.
      setSliderPosition(
          QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, opt.upsideDown));
    }
  }
  // The handle now lies under the pointer, so the press grabs it and a drag carries on.
  QSlider::mousePressEvent(e);
}

PropertyStatus SliderBar::Get(int index, Value* out) {
  if (index == K<controls::SliderBar, property::Minimum>()) *out = std::int32_t{minimum()};
  else if (index == K<controls::SliderBar, property::Maximum>()) *out = std::int32_t{maximum()};
  else if (index == K<controls::SliderBar, property::Position>()) *out = std::int32_t{value()};
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus SliderBar::Set(int index, const Value& v) {
  const int n = std::min(Int(v), 32767);
  QSignalBlocker block(this);
  if (index == K<controls::SliderBar, property::Minimum>()) setMinimum(n);
  else if (index == K<controls::SliderBar, property::Maximum>()) setMaximum(n);
  else if (index == K<controls::SliderBar, property::Position>())
    setValue(std::clamp(n, minimum(), maximum()));
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

SuperBar::SuperBar(QWidget* parent, const TypeData& data) : QWidget(parent) {
  ApplyCommonLook(this, data);
  maximum_ = data.Int(runtime::kKeyMaximum).value_or(100);
  position_ = data.Int(runtime::kKeyPosition).value_or(0);
  setFocusPolicy(Qt::TabFocus);
}

PropertyStatus SuperBar::Get(int index, Value* out) {
  if (index == K<controls::SuperBar, property::Maximum>()) *out = std::int32_t{maximum_};
  else if (index == K<controls::SuperBar, property::Position>()) *out = std::int32_t{position_};
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus SuperBar::Set(int index, const Value& v) {
  if (index == K<controls::SuperBar, property::Maximum>()) maximum_ = Int(v);
  else if (index == K<controls::SuperBar, property::Position>()) position_ = Int(v);
  else return PropertyStatus::kUnknownIndex;
  update();
  return PropertyStatus::kOk;
}

void SuperBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0xFF, 0xFF, 0xFF));
  if (maximum_ > 0) {
    double share = std::clamp(double(position_) / maximum_, 0.0, 1.0);
    p.fillRect(QRectF(0, 0, width() * share, height()), QColor(0x80, 0xE0, 0x00));
  }
  if (ShowsFocusMark(this)) PaintFocusMark(p, rect(), QColor(0x40, 0x40, 0x40));
}

void SuperBar::wheelEvent(QWheelEvent* e) {
  wheel_rest_ += e->angleDelta().y();
  const int notches = wheel_rest_ / 120;
  wheel_rest_ -= notches * 120;
  if (notches != 0) StepBy(notches);
  e->accept();
}

void SuperBar::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up: StepBy(1); break;
    case Qt::Key_Left:
    case Qt::Key_Down: StepBy(-1); break;
    default: QWidget::keyPressEvent(e); return;
  }
  e->accept();
}

void SuperBar::StepBy(int steps) {
  const int step = std::max(1, maximum_ / 20);
  const int next = std::clamp(position_ + steps * step, 0, std::max(maximum_, 0));
  if (next == position_) return;
  position_ = next;
  update();
  RaiseOwn(this, runtime::kEventClicked);
}

void SuperBar::mousePressEvent(QMouseEvent* e) { MoveTo(int(e->position().x())); }
void SuperBar::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) MoveTo(int(e->position().x()));
}

void SuperBar::MoveTo(int x) {
  if (width() <= 0) return;
  int next = static_cast<int>(std::lround(std::clamp(x, 0, width()) * double(maximum_) / width()));
  if (next == position_) return;
  position_ = next;
  update();
  RaiseOwn(this, runtime::kEventClicked);
}

}  // namespace vorel::qt
