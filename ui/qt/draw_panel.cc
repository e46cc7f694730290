#include "ui/qt/internal/draw_panel.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QRadialGradient>
#include <algorithm>

namespace vorel::qt {

using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

DrawPanel::DrawPanel(QWidget* parent, const TypeData& data) : QWidget(parent) {
  ApplyCommonLook(this, data);
  // The canvas covers the whole panel, so what lies below never needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  direct_ = X11Canvas::ForThisDisplay();
  if (direct_) {
    // A window of its own for the panel alone: on such a display the session keeps Qt from
    // giving the panel's siblings native windows too (UiSession).
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
  }
  background_ =
      ColourOf(static_cast<std::uint32_t>(data.Int(runtime::kKeyBackColour).value_or(0xFFFFFF)));
}

PropertyStatus DrawPanel::Get(int index, Value* out) {
  if (index == K<controls::DrawPanel, property::PenWidth>()) *out = std::int32_t{pen_width_};
  else if (index == K<controls::DrawPanel, property::PenColour>())
    *out = static_cast<std::int32_t>(pen_colour_);
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

PropertyStatus DrawPanel::Set(int index, const Value& v) {
  if (index == K<controls::DrawPanel, property::PenWidth>()) pen_width_ = std::max(0, Int(v));
  else if (index == K<controls::DrawPanel, property::PenColour>())
    pen_colour_ = static_cast<std::uint32_t>(Int(v));
  else return PropertyStatus::kUnknownIndex;
  return PropertyStatus::kOk;
}

void DrawPanel::resizeEvent(QResizeEvent*) {
  EndDrawing();
  QImage next(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  next.fill(background_);
  if (!canvas_.isNull()) QPainter(&next).drawImage(0, 0, canvas_);
  canvas_ = next;
  // A resized widget is repainted whole by Qt; from here on the screen holds this canvas.
  shown_ = canvas_.copy();
  touched_ = painted_early_ = QRect();
}

QPainter& DrawPanel::CanvasPainter() {
  if (!painter_) painter_ = std::make_unique<QPainter>(&canvas_);
  return *painter_;
}

void DrawPanel::FillSolid(const QRect& area, QColor colour) {
  const QRect r = area & canvas_.rect();
  if (r.isEmpty()) return;
  EndDrawing();
  const QRgb pixel = colour.rgb();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y)) + r.left();
    std::fill(row, row + r.width(), pixel);
  }
  Touch(r);
}

void DrawPanel::Touch(const QRect& area) {
  touched_ |= area & canvas_.rect();
  if (publish_queued_) return;
  publish_queued_ = true;
  // Queued behind the event being handled, so a tick's clear and its bars become one repaint.
  QMetaObject::invokeMethod(
      this, [this] { Publish(); }, Qt::QueuedConnection);
}

void DrawPanel::Publish() {
  publish_queued_ = false;
  EndDrawing();
  const QRect area = touched_;
  // What a paint put out between the drawing and now may differ from both pictures.
  QRect changed = painted_early_ & area;
  touched_ = painted_early_ = QRect();
  if (area.isEmpty() || shown_.size() != canvas_.size()) return;
  const int width = area.width();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const QRgb* now = reinterpret_cast<const QRgb*>(canvas_.constScanLine(y)) + area.left();
    QRgb* before = reinterpret_cast<QRgb*>(shown_.scanLine(y)) + area.left();
    if (std::equal(now, now + width, before)) continue;
    int first = 0, last = width - 1;
    while (now[first] == before[first]) ++first;
    while (now[last] == before[last]) --last;
    changed |= QRect(area.left() + first, y, last - first + 1, 1);
    std::copy(now + first, now + last + 1, before + first);
  }
  if (changed.isEmpty()) return;
  if (direct_ && isVisible() && PutDirect(changed)) return;
  update(changed);
}

bool DrawPanel::PutDirect(const QRect& area) {
  // On a scaled screen the window has more pixels than the canvas: Qt scales it instead.
  if (devicePixelRatioF() == 1.0 &&
      direct_->Put(static_cast<std::uint32_t>(winId()), canvas_, area)) {
    return true;
  }
  LeaveDirect();
  return false;
}

QPaintEngine* DrawPanel::paintEngine() const { return direct_ ? nullptr : QWidget::paintEngine(); }

void DrawPanel::LeaveDirect() {
  direct_.reset();
  setAttribute(Qt::WA_PaintOnScreen, false);
  update();
}

void DrawPanel::Clear(const QRect& area) { FillSolid(area, background_); }

void DrawPanel::Gradient(const QRect& area, int mode, const std::vector<std::uint32_t>& colours) {
  if (colours.size() == 1 || std::all_of(colours.begin(), colours.end(),
                                         [&](std::uint32_t c) { return c == colours[0]; })) {
    FillSolid(area, ColourOf(colours[0]));
    return;
  }
  QPainter& p = CanvasPainter();
  // Modes: 1 left to right, 2 top to bottom, 3 and 4 the diagonals, 5 and 6 their reverse,
  // 7 and 8 from the centre out horizontally and as a circle.
  QPointF a = area.topLeft(), b = area.bottomLeft();
  switch (mode) {
    case 1: b = area.topRight(); break;
    case 3: b = area.bottomRight(); break;
    case 4: a = area.topRight(), b = area.bottomLeft(); break;
    case 5: a = area.bottomRight(), b = area.topLeft(); break;
    case 6: a = area.bottomLeft(), b = area.topRight(); break;
    case 7: a = QPointF(area.center().x(), area.top()), b = area.topRight(); break;
    default: break;
  }
  QGradientStops stops;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    stops.append({double(i) / double(colours.size() - 1), ColourOf(colours[i])});
  }
  if (mode == 8) {
    QRadialGradient g(area.center(), std::max(area.width(), area.height()) / 2.0);
    g.setStops(stops);
    p.fillRect(area, g);
  } else {
    QLinearGradient g(a, b);
    g.setStops(stops);
    if (mode == 7) g.setSpread(QGradient::ReflectSpread);
    p.fillRect(area, g);
  }
  Touch(area);
}

void DrawPanel::paintEvent(QPaintEvent* e) {
  EndDrawing();
  if (publish_queued_) painted_early_ |= e->rect();
  // An expose of the panel's own window; a grab is redirected to its picture and painted.
  if (direct_ && redirected(nullptr) == nullptr) {
    PutDirect(e->rect());  // else LeaveDirect asked Qt for a paint of its own
    return;
  }
  QPainter p(this);
  p.drawImage(0, 0, canvas_);
}

}  // namespace vorel::qt
