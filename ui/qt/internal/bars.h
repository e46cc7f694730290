#ifndef VOREL_UI_QT_INTERNAL_BARS_H_
#define VOREL_UI_QT_INTERNAL_BARS_H_

// The slider and the super bar (a plain bar filled up to its position). User-interface thread
// only.

#include <QSlider>
#include <QWidget>

#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

// A slider whose groove takes a left click as "go here": the handle jumps under the pointer
// and can be dragged on from there. Its event is raised for what the user does only.
class SliderBar : public QSlider, public PropertyHost {
 public:
  SliderBar(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

class SuperBar : public QWidget, public PropertyHost {
 public:
  SuperBar(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  // A wheel notch or an arrow key moves the bar by a twentieth of its range.
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void MoveTo(int x);
  void StepBy(int steps);
  int wheel_rest_ = 0;  // wheel travel (eighths of a degree) not yet a whole notch
  int maximum_ = 100;
  int position_ = 0;
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_BARS_H_
