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

// What the two button types share: the focus comes from Tab only, never from a click; Enter
// presses the button as Space does; a click raises the control's event; and the button knows
// whether the pointer is over it (hot).
class TabButton : public QAbstractButton {
 public:
  explicit TabButton(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;
  bool hot() const { return hot_; }

 private:
  bool hot_ = false;
};

class SuperBtn : public TabButton, public PropertyHost {
 public:
  SuperBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::uint32_t text_colour_, back_colour_, hot_colour_;
};

class PicBtn : public TabButton, public PropertyHost {
 public:
  PicBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QPixmap pictures_[3];
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_BUTTONS_H_
