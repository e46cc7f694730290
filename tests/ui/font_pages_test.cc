// The font files are read again only for characters never shown before, and their pages are
// let go a moment after such text has been drawn.
#include "ui/qt/internal/font_pages.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "tests/testing/process.h"

namespace vorel::qt {
namespace {

using vorel::testing::ResidentCodeKib;

constexpr const char* kFontFile = "NotoSansCJK-Regular";

// Draws `text` the way a label does: the renderer reads the outlines it has not drawn yet.
void Draw(const QString& text) {
  QImage image(400, 40, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font({"Noto Sans CJK SC", "Noto Sans CJK"});
  font.setPixelSize(12);
  font.setStyleName("Regular");
  painter.setFont(font);
  painter.drawText(image.rect(), Qt::AlignCenter, text);
}

TEST(FontPagesTest, NewCharactersLetTheFontPagesGoOnceDrawnAndKnownOnesDoNot) {
  Draw(QString::fromUtf8("播放列表 00:00"));
  ASSERT_GT(ResidentCodeKib(kFontFile), 0) << "the font was not read: is Noto Sans CJK there?";

  NoteTextShown(QString::fromUtf8("播放列表 00:00"));
  QTest::qWait(1500);
  EXPECT_EQ(ResidentCodeKib(kFontFile), 0);

  // Text made only of characters shown before leaves the pages read since then alone: the
  // renderer has those glyphs, and letting go again would only cost time.
  Draw(QString::fromUtf8("歌词显示"));
  ASSERT_GT(ResidentCodeKib(kFontFile), 0);
  NoteTextShown(QString::fromUtf8("表播 00:00"));
  QTest::qWait(1500);
  EXPECT_GT(ResidentCodeKib(kFontFile), 0);

  // One character outside the first plane (a CJK extension) counts as new on its own.
  NoteTextShown(QString::fromUtf8("00:00 \xF0\xA0\x80\x8B"));
  QTest::qWait(1500);
  EXPECT_EQ(ResidentCodeKib(kFontFile), 0);
}

}  // namespace
}  // namespace vorel::qt
