#include "ui/qt/internal/labels.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace vorel::qt {

using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

static_assert(K<controls::Label, property::Caption>() ==
                  K<controls::TransLabel, property::Caption>(),
              "one text label class serves both label types");

ShapeBox::ShapeBox(QWidget* parent, const TypeData& data)
    : QWidget(parent),
      outline_(static_cast<std::uint32_t>(data.Int(runtime::kKeyOutlineColour).value_or(0))),
      fill_(static_cast<std::uint32_t>(
          data.Int(runtime::kKeyFillColour).value_or(runtime::kNoColour))) {
  ApplyCommonLook(this, data);
}

PropertyStatus ShapeBox::Get(int index, Value* out) {
  if (index == K<controls::ShapeBox, property::Outline>())
    *out = static_cast<std::int32_t>(outline_);
  else if (index == K<controls::ShapeBox, property::Fill>())
    *out = static_cast<std::int32_t>(fill_);
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus ShapeBox::Set(int index, const Value& v) {
  if (index == K<controls::ShapeBox, property::Outline>())
    outline_ = static_cast<std::uint32_t>(Int(v));
  else if (index == K<controls::ShapeBox, property::Fill>())
    fill_ = static_cast<std::uint32_t>(Int(v));
  else return PropertyStatus::kUnknownIndex;
  update();
  return PropertyStatus::kOk;
}

void ShapeBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (fill_ != runtime::kNoColour) p.fillRect(rect(), ColourOf(fill_));
  if (outline_ != runtime::kNoColour) {
    // Four filled edges, each a whole logical pixel inside the box: a 1-pixel pen is centred on
    // the edge, and on a scaled screen (1.25, 1.5) the half outside the box is clipped away.
    const QColor c = ColourOf(outline_);
    const int w = width(), h = height();
    p.fillRect(QRect(0, 0, w, 1), c);
    p.fillRect(QRect(0, h - 1, w, 1), c);
    p.fillRect(QRect(0, 0, 1, h), c);
    p.fillRect(QRect(w - 1, 0, 1, h), c);
  }
}

TextLabel::TextLabel(QWidget* parent, const TypeData& data) : QLabel(parent) {
  ApplyCommonLook(this, data);
  setTextFormat(Qt::PlainText);  // a song title is never markup
  setText(QStringOf(data.GetText(runtime::kKeyCaption)));
  setAttribute(Qt::WA_TranslucentBackground);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  if (data.Int(runtime::kKeyTextColour)) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText,
                 ColourOf(static_cast<std::uint32_t>(*data.Int(runtime::kKeyTextColour))));
    setPalette(pal);
  }
}

PropertyStatus TextLabel::Get(int index, Value* out) {
  if (index != K<controls::Label, property::Caption>()) return PropertyStatus::kUnknownIndex;
  *out = TextOf(text());
  return PropertyStatus::kOk;
}

PropertyStatus TextLabel::Set(int index, const Value& v) {
  if (index != K<controls::Label, property::Caption>()) return PropertyStatus::kUnknownIndex;
  QString s = QStringOf(runtime::ToText(v));
  setText(s);
  setAccessibleName(s);
  return PropertyStatus::kOk;
}

void TextLabel::paintEvent(QPaintEvent* e) {
  const QRect area = contentsRect();
  const QFontMetrics metrics(font());
  const QString full = text();
  if (metrics.horizontalAdvance(full) <= area.width()) {
    QLabel::paintEvent(e);
    return;
  }
  // The longest run of whole characters (grapheme clusters) that fits.
  QTextBoundaryFinder bounds(QTextBoundaryFinder::Grapheme, full);
  qsizetype fits = 0;
  for (qsizetype at = bounds.toNextBoundary(); at > 0; at = bounds.toNextBoundary()) {
    if (metrics.horizontalAdvance(full.left(at)) > area.width()) break;
    fits = at;
  }
  QPainter p(this);
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(area, static_cast<int>(alignment()), full.left(fits));
}

EditBox::EditBox(QWidget* parent, const TypeData& data) : QLineEdit(parent) {
  ApplyCommonLook(this, data);
  setFrame(false);
  // Files dropped on a box are added to the play list by the window, not typed in as text.
  setAcceptDrops(false);
  setText(QStringOf(data.GetText(runtime::kKeyCaption)));
  if (text().isEmpty()) setAccessibleName(QStringOf(data.GetText(runtime::kKeyAccessible)));
}

PropertyStatus EditBox::Get(int index, Value* out) {
  if (index != K<controls::EditBox, property::Caption>()) return PropertyStatus::kUnknownIndex;
  *out = TextOf(text());
  return PropertyStatus::kOk;
}

PropertyStatus EditBox::Set(int index, const Value& v) {
  if (index != K<controls::EditBox, property::Caption>()) return PropertyStatus::kUnknownIndex;
  setText(QStringOf(runtime::ToText(v)));
  return PropertyStatus::kOk;
}

PicBox::PicBox(QWidget* parent, const TypeData& data) : QWidget(parent) {
  ApplyCommonLook(this, data);
}

PropertyStatus PicBox::Get(int index, Value* out) {
  if (index == K<controls::PicBox, property::Picture>()) *out = bytes_;
  else if (index == K<controls::PicBox, property::PictureMode>()) *out = std::int32_t{mode_};
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus PicBox::Set(int index, const Value& v) {
  if (index == K<controls::PicBox, property::Picture>()) {
    bytes_ = runtime::ToBytes(v);
    picture_ = PixmapOf(bytes_);
  } else if (index == K<controls::PicBox, property::PictureMode>()) {
    mode_ = std::clamp(Int(v), 0, 2);
  } else {
    return PropertyStatus::kUnknownIndex;
  }
  update();
  return PropertyStatus::kOk;
}

void PicBox::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (mode_ == 0) {
    p.drawPixmap(0, 0, picture_);
  } else if (mode_ == 1) {
    p.drawPixmap(rect(), picture_);
  } else {
    QSize s = picture_.size();
    if (s.width() > width() || s.height() > height()) s.scale(size(), Qt::KeepAspectRatio);
    p.drawPixmap(QRect(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s),
                 picture_);
  }
}

}  // namespace vorel::qt
