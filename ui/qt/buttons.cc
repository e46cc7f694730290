#include "ui/qt/internal/buttons.h"

#include <QKeyEvent>
#include <QPainter>

namespace vorel::qt {

using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

CheckBox::CheckBox(QWidget* parent, const TypeData& data) : QCheckBox(parent) {
  ApplyCommonLook(this, data);
  setFocusPolicy(Qt::TabFocus);
  setText(QStringOf(data.GetText(runtime::kKeyCaption)));
  connect(this, &QCheckBox::clicked, this, [this] { RaiseOwn(this, runtime::kEventClicked); });
}

PropertyStatus CheckBox::Get(int index, Value* out) {
  if (index == K<controls::CheckBox, property::Checked>()) *out = isChecked();
  else if (index == K<controls::CheckBox, property::Caption>()) *out = TextOf(text());
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus CheckBox::Set(int index, const Value& v) {
  if (index == K<controls::CheckBox, property::Checked>()) {
    setChecked(Int(v) != 0);
  } else if (index == K<controls::CheckBox, property::Caption>()) {
    setText(QStringOf(runtime::ToText(v)));
  } else {
    return PropertyStatus::kUnknownIndex;
  }
  return PropertyStatus::kOk;
}

SuperBtn::SuperBtn(QWidget* parent, const TypeData& data)
    : QAbstractButton(parent),
      text_colour_(
          static_cast<std::uint32_t>(data.Int(runtime::kKeyTextColour).value_or(0xFFFFFF))),
      back_colour_(
          static_cast<std::uint32_t>(data.Int(runtime::kKeyBackColour).value_or(0x00E080))),
      hot_colour_(static_cast<std::uint32_t>(
          data.Int(runtime::kKeyHotBackColour).value_or(static_cast<std::int32_t>(back_colour_)))) {
  ApplyCommonLook(this, data);
  setText(QStringOf(data.GetText(runtime::kKeyCaption)));
  setToolTip(QStringOf(data.GetText(runtime::kKeyTooltip)));
  // Tab reaches a button; clicking it leaves the focus where it was (the search box keeps its
  // text until the search has read it).
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QAbstractButton::clicked, this,
          [this] { RaiseOwn(this, runtime::kEventClicked); });
}

PropertyStatus SuperBtn::Get(int index, Value* out) {
  if (index == K<controls::SuperBtn, property::Caption>()) *out = TextOf(text());
  else if (index == K<controls::SuperBtn, property::Tooltip>()) *out = TextOf(toolTip());
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus SuperBtn::Set(int index, const Value& v) {
  if (index == K<controls::SuperBtn, property::Caption>()) {
    setText(QStringOf(runtime::ToText(v)));
    setAccessibleName(text());
  } else if (index == K<controls::SuperBtn, property::Tooltip>()) {
    setToolTip(QStringOf(runtime::ToText(v)));
  } else {
    return PropertyStatus::kUnknownIndex;
  }
  update();
  return PropertyStatus::kOk;
}

void SuperBtn::enterEvent(QEnterEvent*) { hot_ = true, update(); }
void SuperBtn::leaveEvent(QEvent*) { hot_ = false, update(); }

void SuperBtn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The chosen button of a group shows its colours the other way round.
  const std::uint32_t back = isChecked() ? text_colour_ : hot_ ? hot_colour_ : back_colour_;
  const std::uint32_t fore = isChecked() ? back_colour_ : text_colour_;
  p.fillRect(rect(), ColourOf(back));
  p.setPen(ColourOf(fore));
  p.setFont(font());
  p.drawText(rect(), Qt::AlignCenter, text());
  if (ShowsFocusMark(this)) PaintFocusMark(p, rect(), ColourOf(fore));
}

void SuperBtn::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(e);
}

PicBtn::PicBtn(QWidget* parent, const TypeData& data) : QAbstractButton(parent) {
  ApplyCommonLook(this, data);
  pictures_[0] = PixmapOf(data.GetBytes(runtime::kKeyPicture0));
  pictures_[1] = PixmapOf(data.GetBytes(runtime::kKeyPicture1));
  pictures_[2] = PixmapOf(data.GetBytes(runtime::kKeyPicture2));
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QAbstractButton::clicked, this,
          [this] { RaiseOwn(this, runtime::kEventClicked); });
}

PropertyStatus PicBtn::Get(int, Value*) { return PropertyStatus::kUnknownIndex; }
PropertyStatus PicBtn::Set(int, const Value&) { return PropertyStatus::kUnknownIndex; }

void PicBtn::enterEvent(QEnterEvent*) { hot_ = true, update(); }
void PicBtn::leaveEvent(QEvent*) { hot_ = false, update(); }

void PicBtn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPixmap& pic = isDown() ? pictures_[2] : hot_ ? pictures_[1] : pictures_[0];
  if (!pic.isNull()) p.drawPixmap(0, 0, pic);
  if (ShowsFocusMark(this)) PaintFocusMark(p, rect(), QColor(0x40, 0x40, 0x40));
}

void PicBtn::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(e);
}

}  // namespace vorel::qt
