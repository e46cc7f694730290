#ifndef VOREL_UI_QT_INTERNAL_BUTTONS_H_
#define VOREL_UI_QT_INTERNAL_BUTTONS_H_

// The buttons and the check box. User-interface thread only.

#include <QAbstractButton>
#include <QCheckBox>
#include <QPixmap>
#include <cstdint>

#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

class CheckBox : public QCheckBox, public PropertyHost {
 public:
  CheckBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
};

// Buttons take the focus from Tab only, never from a click, and press on Enter as on Space.
class SuperBtn : public QAbstractButton, public PropertyHost {
 public:
  SuperBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  std::uint32_t text_colour_, back_colour_, hot_colour_;
  bool hot_ = false;
};

class PicBtn : public QAbstractButton, public PropertyHost {
 public:
  PicBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  QPixmap pictures_[3];
  bool hot_ = false;
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_BUTTONS_H_
