#include "ui/qt/internal/control_base.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QVariant>
#include <string>

#include "platform/code_page.h"

namespace vorel::qt {

using runtime::Bytes;
using runtime::Text;
using runtime::TypeData;

namespace {

constexpr char kWindowProperty[] = "vorel_window";
constexpr char kControlProperty[] = "vorel_control";
constexpr char kDeadProperty[] = "vorel_dead";

}  // namespace

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

}  // namespace vorel::qt
