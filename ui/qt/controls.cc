#include "ui/qt/internal/controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextBoundaryFinder>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "platform/code_page.h"
#include "runtime/bridge.h"
#include "runtime/control_types.h"

namespace vorel::qt {

using runtime::Bytes;
using runtime::Text;
using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

// The index of property `Prop` of control type `Type`, from the runtime's table of control types.
template <class Type, class Prop>
constexpr int K() {
  return runtime::kIndexOf<Type, Prop>;
}
static_assert(K<controls::Label, property::Caption>() ==
                  K<controls::TransLabel, property::Caption>(),
              "one text label class serves both label types");

namespace {

constexpr char kWindowProperty[] = "vorel_window";
constexpr char kControlProperty[] = "vorel_control";
constexpr char kDeadProperty[] = "vorel_dead";

std::int32_t Int(const Value& v) { return runtime::ToInteger(v); }

QPixmap PixmapOf(const Bytes& bytes) {
  QPixmap p;
  if (!bytes.empty()) p.loadFromData(bytes.data(), static_cast<uint>(bytes.size()));
  return p;
}

void ApplyCommonLook(QWidget* w, const TypeData& data) {
  w->setFont(FontOf(data));
  Text caption = data.GetText(runtime::kKeyCaption);
  Text role = data.GetText(runtime::kKeyAccessible);
  w->setAccessibleName(QStringOf(caption.empty() ? role : caption));
}

}  // namespace

void TagControl(QObject* object, runtime::WindowId window, runtime::ControlId control) {
  object->setProperty(kWindowProperty, QVariant::fromValue<uint>(window));
  object->setProperty(kControlProperty, QVariant::fromValue<uint>(control));
}

const QObject* ControlObjectOf(const QObject* object) {
  for (const QObject* o = object; o != nullptr; o = o->parent()) {
    if (o->property(kControlProperty).isValid()) return o;
  }
  return nullptr;
}

bool ControlOf(const QObject* object, runtime::WindowId* window, runtime::ControlId* control) {
  const QObject* o = ControlObjectOf(object);
  // A control of a window that is being destroyed raises nothing any more.
  if (o == nullptr || o->property(kDeadProperty).toBool()) return false;
  *window = o->property(kWindowProperty).toUInt();
  *control = o->property(kControlProperty).toUInt();
  return true;
}

void MarkDead(QObject* object) { object->setProperty(kDeadProperty, true); }

runtime::EventResult RaiseOwn(QObject* object, int key, std::initializer_list<std::int32_t> args) {
  runtime::WindowId w;
  runtime::ControlId c;
  if (!ControlOf(object, &w, &c)) return std::nullopt;
  return runtime::RaiseEvent(w, c, key, runtime::EventArgs(args));
}

QColor ColourOf(std::uint32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QString QStringOf(const Text& text) {
  return QString::fromStdU16String(platform::Gb18030ToUtf16Lossy(text));
}

Text TextOf(const QString& s) { return platform::Utf16ToGb18030Lossy(s.toStdU16String()); }

// The Windows faces of the template ("微软雅黑", "宋体") map to the installed CJK sans face. A
// serif face for "宋体" alone (the play list) would map two more font files of several MiB
// each into the player's memory (about 5 MiB resident) for one list. The face is always the
// regular one, bold captions included: the renderer emboldens it, which looks nearly the same
// at these sizes and saves mapping the bold file (another 3.5 MiB resident).
QFont FontOf(const TypeData& data) {
  QFont font = QFont();
  std::string face = platform::Gb18030ToUtf8Lossy(data.GetText(runtime::kKeyFontFace));
  if (face == "微软雅黑" || face == "宋体") {
    font.setFamilies({"Noto Sans CJK SC", "Noto Sans CJK", "Noto Sans", "sans-serif"});
    font.setStyleName("Regular");
  }
  int height = data.Int(runtime::kKeyFontHeight).value_or(0);
  if (height > 0) font.setPixelSize(height);
  int weight = data.Int(runtime::kKeyFontWeight).value_or(0);
  if (weight > 0) font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
  return font;
}

// A cursor file (ICONDIR type 2 with one 32-bit BMP image) or a standard cursor number.
QCursor CursorOf(const Bytes& p, bool* custom) {
  *custom = false;
  auto u32 = [&](std::size_t at) {
    return std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 | std::uint32_t(p[at + 2]) << 16 |
           std::uint32_t(p[at + 3]) << 24;
  };
  auto u16 = [&](std::size_t at) { return std::uint16_t(p[at] | p[at + 1] << 8); };
  if (p.size() == 4) {
    return u32(0) == 0x7F01 ? QCursor(Qt::IBeamCursor) : QCursor(Qt::ArrowCursor);
  }
  if (p.size() < 4 + 22 + 40 || u32(0) != 0xFFFFFFFFu) return QCursor(Qt::ArrowCursor);
  const std::size_t f = 4;  // the cursor file follows the -1 marker
  int w = p[f + 6] ? p[f + 6] : 256, h = p[f + 7] ? p[f + 7] : 256;
  int hot_x = u16(f + 10), hot_y = u16(f + 12);
  std::size_t offset = u32(f + 18);
  std::size_t bmp = f + offset;
  if (bmp + 40 > p.size() || u16(bmp + 14) != 32) return QCursor(Qt::ArrowCursor);
  std::size_t pixels = bmp + u32(bmp);
  if (pixels + std::size_t(w) * h * 4 > p.size()) return QCursor(Qt::ArrowCursor);
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* px = &p[pixels + (std::size_t(h - 1 - y) * w + x) * 4];
      image.setPixel(x, y, qRgba(px[2], px[1], px[0], px[3]));
    }
  }
  *custom = true;
  return QCursor(QPixmap::fromImage(image), hot_x, hot_y);
}

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

bool ShowsFocusMark(const QWidget* w) {
  // Qt flags the window once a Tab or a shortcut has moved the focus in it; the focus a window
  // hands out when it is activated, or that a program sets, does not flag it.
  return w->hasFocus() && w->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void PaintFocusMark(QPainter& p, const QRect& area, QColor colour) {
  p.save();
  p.setPen(QPen(colour, 1, Qt::DotLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(area.adjusted(1, 1, -2, -2));
  p.restore();
}

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

DrawPanel::DrawPanel(QWidget* parent, const TypeData& data) : QWidget(parent) {
  ApplyCommonLook(this, data);
  // The canvas covers the whole panel, so what lies below never needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  direct_ = X11Canvas::ForThisDisplay();
  if (direct_) {
    // Only the panel gets a window of its own; its siblings stay drawn inside the main window
    // (nothing in the template lies over the panel, so the stacking does not change).
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
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

ListView::ListView(QWidget* parent, const TypeData& data) : QTreeWidget(parent) {
  ApplyCommonLook(this, data);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setFrameShape(QFrame::NoFrame);
  // The columns are laid out to the list's width: nothing to scroll sideways to, and End or a
  // long cell must not shift the rows out of place either.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value != 0) horizontalScrollBar()->setValue(0);
  });
  flush_timer_.setSingleShot(true);
  connect(&flush_timer_, &QTimer::timeout, this, [this] { FlushAppends(); });
  auto columns = runtime::ParseColumns(data.GetBytes(runtime::kKeyColumns));
  QStringList headers;
  if (columns) {
    for (const auto& c : *columns) headers << QStringOf(c.header);
  }
  if (headers.isEmpty()) headers << QString();
  setColumnCount(headers.size());
  setHeaderLabels(headers);
  // A header with no titles would be an empty grey strip.
  setHeaderHidden(
      std::all_of(headers.begin(), headers.end(), [](const QString& h) { return h.isEmpty(); }));
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  if (columns) {
    for (int i = 0; i < static_cast<int>(columns->size()); ++i) {
      setColumnWidth(i, (*columns)[i].width);
      if ((*columns)[i].width == 0) header()->setSectionHidden(i, true);
    }
  }
}

namespace {

// One row of a list view. The cells stay the bytes they were given, so a stored path that the
// code page cannot show still comes back unchanged; the display gets a converted copy (with a
// replacement character where a byte is invalid) when the row is painted.
class ListRowItem : public QTreeWidgetItem {
 public:
  explicit ListRowItem(runtime::ListRow row)
      : QTreeWidgetItem(QTreeWidgetItem::UserType), row_(std::move(row)) {}

  QVariant data(int column, int role) const override {
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
      if (column < 0 || column >= static_cast<int>(row_.cells.size())) return QString();
      return QStringOf(row_.cells[column]);
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0) {
      SetCell(column, TextOf(value.toString()));
    } else {
      QTreeWidgetItem::setData(column, role, value);
    }
  }

  void SetCell(int column, runtime::Text text) {
    if (column >= static_cast<int>(row_.cells.size())) row_.cells.resize(column + 1);
    row_.cells[column] = std::move(text);
    // Tells the view that the cell changed, so it repaints it.
    QTreeWidgetItem::setData(column, kRoleRevision, ++revision_);
  }

  const runtime::ListRow& row() const { return row_; }

 private:
  static constexpr int kRoleRevision = Qt::UserRole + 1;
  runtime::ListRow row_;
  int revision_ = 0;
};

}  // namespace

PropertyStatus ListView::Get(int index, Value* out) {
  if (index != K<controls::ListView, property::SelectedRow>()) return PropertyStatus::kUnknownIndex;
  auto selected = selectedItems();
  *out = std::int32_t{selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first())};
  return PropertyStatus::kOk;
}

PropertyStatus ListView::Set(int index, const Value& v) {
  if (index != K<controls::ListView, property::SelectedRow>()) return PropertyStatus::kUnknownIndex;
  FlushAppends();
  const int row = Int(v);
  if (row < 0 || row >= topLevelItemCount()) {
    clearSelection();
    return PropertyStatus::kOk;
  }
  QTreeWidgetItem* item = topLevelItem(row);
  setCurrentItem(item);
  item->setSelected(true);
  scrollToItem(item);
  return PropertyStatus::kOk;
}

int ListView::RowCount() const { return topLevelItemCount() + static_cast<int>(held_.size()); }

int ListView::InsertRow(int position, const runtime::ListRow& row) {
  runtime::ListRow copy = row;
  copy.cells.resize(columnCount());
  const int count = RowCount();
  if (position >= 0 && position < count) {
    FlushAppends();
    insertTopLevelItem(position, new ListRowItem(std::move(copy)));
    return position;
  }
  // An append right after another one is part of a burst and waits for the next batch; one
  // on its own shows at once.
  const bool in_burst =
      !held_.empty() || (last_append_.isValid() && last_append_.elapsed() < kAppendBatchMs);
  last_append_.start();
  if (!in_burst) {
    addTopLevelItem(new ListRowItem(std::move(copy)));
    return count;
  }
  held_.push_back(std::move(copy));
  if (!flush_timer_.isActive()) flush_timer_.start(kAppendBatchMs);
  return count;
}

bool ListView::GetRow(int row, runtime::ListRow* out) const {
  if (row < 0 || row >= RowCount()) return false;
  const int shown = topLevelItemCount();
  if (row >= shown) {
    *out = held_[row - shown];
  } else if (auto* item = dynamic_cast<const ListRowItem*>(topLevelItem(row))) {
    *out = item->row();
  } else {  // an item made by Qt itself: its texts are all there is
    *out = runtime::ListRow{};
    const QTreeWidgetItem* plain = topLevelItem(row);
    for (int c = 0; c < columnCount(); ++c) out->cells.push_back(TextOf(plain->text(c)));
  }
  return true;
}

bool ListView::SetCellText(int row, int column, const runtime::Text& text) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= columnCount()) return false;
  const int shown = topLevelItemCount();
  if (row < shown) {
    if (auto* item = dynamic_cast<ListRowItem*>(topLevelItem(row))) {
      item->SetCell(column, text);
    } else {
      topLevelItem(row)->setText(column, QStringOf(text));
    }
  } else {
    held_[row - shown].cells[column] = text;
  }
  return true;
}

bool ListView::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return false;
  FlushAppends();
  delete takeTopLevelItem(row);
  return true;
}

void ListView::DeleteAllRows() {
  flush_timer_.stop();
  held_.clear();
  clear();
}

void ListView::FlushAppends() {
  flush_timer_.stop();
  if (held_.empty()) return;
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(held_.size()));
  for (auto& row : held_) items.append(new ListRowItem(std::move(row)));
  held_.clear();
  addTopLevelItems(items);
}

bool ListView::viewportEvent(QEvent* e) {
  // What a person clicks must be the rows as they are now.
  if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
    FlushAppends();
  }
  return QTreeWidget::viewportEvent(e);
}

void ListView::keyPressEvent(QKeyEvent* e) {
  FlushAppends();
  QTreeWidget::keyPressEvent(e);
}

void ListView::paintEvent(QPaintEvent* e) {
  QTreeWidget::paintEvent(e);
  if (!ShowsFocusMark(this) || currentItem() != nullptr) return;
  // An empty list (or one without a current row) shows its focus on its edge.
  QPainter p(viewport());
  PaintFocusMark(p, viewport()->rect(), QColor(0x40, 0x40, 0x40));
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
