#ifndef VOREL_UI_QT_INTERNAL_LABELS_H_
#define VOREL_UI_QT_INTERNAL_LABELS_H_

// The controls that show a caption, a shape or a picture, and the edit box. User-interface
// thread only.

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <cstdint>

#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

class ShapeBox : public QWidget, public PropertyHost {
 public:
  ShapeBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::uint32_t outline_, fill_;
};

// A caption too long for its label shows the characters that fit whole, so none is cut in half;
// the text itself stays whole (reading it gives it all).
class TextLabel : public QLabel, public PropertyHost {
 public:
  TextLabel(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

class EditBox : public QLineEdit, public PropertyHost {
 public:
  EditBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
};

class PicBox : public QWidget, public PropertyHost {
 public:
  PicBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  runtime::Bytes bytes_;
  QPixmap picture_;
  int mode_ = 0;
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_LABELS_H_
