// Build-time tool: draws the program's own pictures and writes them into a folder:
//   cursor.cur        the 32 x 32 mouse pointer (32-bit colour, hot spot 9, 5; 4286 bytes)
//   tray.png          the 32 x 32 tray icon
//   down_normal.png, down_hot.png, down_pressed.png   the download button, 24 x 23 each
//   cover.png         the 200 x 200 default cover
// Everything is drawn here from shapes; nothing is copied from anywhere.

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor kGreen(0x80, 0xE0, 0x00);  // the player's green (0x00E080 as 0x00BBGGRR)
const QColor kDeepGreen(0x40, 0xA0, 0x00);
const QColor kBright(0x00, 0xFF, 0x00);

bool Save(const QImage& image, const QString& path) { return image.save(path, "PNG"); }

QImage Blank(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  return img;
}

// An arrow pointer whose tip is the hot spot (9, 5), green with a white rim.
QImage CursorImage() {
  QImage img = Blank(32, 32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath arrow;
  arrow.moveTo(9, 5);
  arrow.lineTo(9, 24);
  arrow.lineTo(13.5, 19.5);
  arrow.lineTo(17, 27);
  arrow.lineTo(20, 25.5);
  arrow.lineTo(16.5, 18.5);
  arrow.lineTo(22.5, 18.5);
  arrow.closeSubpath();
  p.setPen(QPen(Qt::white, 1.6));
  p.setBrush(kDeepGreen);
  p.drawPath(arrow);
  return img;
}

QByteArray CursorFile(const QImage& img) {
  QByteArray out;
  auto u16 = [&](int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
  auto u32 = [&](quint32 v) {
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
  };
  const int w = 32, h = 32, pixels = w * h * 4, mask = h * 4;
  u16(0), u16(2), u16(1);  // ICONDIR: a cursor with one image
  out.append(char(w)).append(char(h)).append('\0').append('\0');
  u16(9), u16(5);                        // hot spot
  u32(40 + pixels + mask), u32(6 + 16);  // image size and offset
  u32(40), u32(w), u32(h * 2), u16(1), u16(32), u32(0), u32(pixels + mask);
  u32(0), u32(0), u32(0), u32(0);
  for (int y = h - 1; y >= 0; --y) {  // bottom-up BGRA
    for (int x = 0; x < w; ++x) {
      QRgb c = img.pixel(x, y);
      out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
      out.append(char(qAlpha(c)));
    }
  }
  out.append(QByteArray(mask, '\0'));  // AND mask unused: alpha decides
  return out;
}

// A round green badge with a white note.
QImage TrayIcon() {
  QImage img = Blank(32, 32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QRectF(1, 1, 30, 30));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(8, 19, 8, 6));
  p.drawRect(QRectF(14, 7, 2.5, 15));
  p.drawRect(QRectF(14, 7, 8, 3));
  return img;
}

// A downward arrow over a tray line; `fill` marks the state.
QImage DownButton(const QColor& fill, int shift) {
  QImage img = Blank(24, 23);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, 23, 22), 4, 4);
  p.setBrush(Qt::white);
  QPainterPath arrow;
  arrow.moveTo(10, 3 + shift);
  arrow.lineTo(14, 3 + shift);
  arrow.lineTo(14, 10 + shift);
  arrow.lineTo(18, 10 + shift);
  arrow.lineTo(12, 16 + shift);
  arrow.lineTo(6, 10 + shift);
  arrow.lineTo(10, 10 + shift);
  arrow.closeSubpath();
  p.drawPath(arrow);
  p.drawRect(QRectF(5, 18, 14, 2));
  return img;
}

// Concentric grooves of a record on a soft green field.
QImage Cover() {
  QImage img(200, 200, QImage::Format_ARGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 200, 200);
  bg.setColorAt(0, QColor(0xE8, 0xFA, 0xD0));
  bg.setColorAt(1, kGreen);
  p.fillRect(img.rect(), bg);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x20, 0x20, 0x20));
  p.drawEllipse(QPointF(100, 100), 78, 78);
  p.setBrush(Qt::NoBrush);
  for (int r = 30; r < 76; r += 6) {
    p.setPen(QPen(QColor(0x3A, 0x3A, 0x3A), 1));
    p.drawEllipse(QPointF(100, 100), r, r);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(100, 100), 24, 24);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(100, 100), 4, 4);
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_assets OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  QFile cur(dir + "cursor.cur");
  const QByteArray cursor = CursorFile(CursorImage());
  bool ok =
      cursor.size() == 4286 && cur.open(QIODevice::WriteOnly) && cur.write(cursor) == cursor.size();
  cur.close();
  ok = ok && Save(TrayIcon(), dir + "tray.png");
  ok = ok && Save(DownButton(kGreen, 0), dir + "down_normal.png");
  ok = ok && Save(DownButton(kBright, 0), dir + "down_hot.png");
  ok = ok && Save(DownButton(kDeepGreen, 2), dir + "down_pressed.png");
  ok = ok && Save(Cover(), dir + "cover.png");
  if (!ok) std::fprintf(stderr, "make_assets: could not write the pictures\n");
  return ok ? 0 : 1;
}
