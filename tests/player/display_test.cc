#include <gtest/gtest.h>

#include "player/lyrics.h"
#include "player/player.h"
#include "player/spectrum.h"

namespace vorel::player {
namespace {

using namespace runtime::literals;
using runtime::Text;

TEST(FormatSecondsTest, MinutesAndSecondsThenHours) {
  EXPECT_EQ(FormatSeconds(0), "00:00");
  EXPECT_EQ(FormatSeconds(62), "01:02");
  EXPECT_EQ(FormatSeconds(225), "03:45");
  EXPECT_EQ(FormatSeconds(600), "10:00");
  EXPECT_EQ(FormatSeconds(3599), "59:59");
  EXPECT_EQ(FormatSeconds(3725), "01:02:05");
  EXPECT_EQ(FormatSeconds(36000 * 3), "30:00:00");
  EXPECT_EQ(FormatSeconds(360000), "100:00:00");
  // The time label reads total first, then elapsed: 225 s long, 62 s in.
  EXPECT_EQ(FormatSeconds(225) + "/" + FormatSeconds(62), "03:45/01:02");
}

TEST(SpectrumTest, BarsCapsAndSilentBands) {
  float bands[128] = {};
  bands[0] = 0.05f;  // v = 0.05 * 50 * 10 = 25: a bar of 25 with its cap 2 above
  bands[1] = 1.0f;   // v = 500 > H - 2: a bar of 48 and its cap on the top row
  auto rects = SpectrumRects(bands, 200, 50);
  ASSERT_GE(rects.size(), 4u);
  EXPECT_EQ(rects[0].left, 1);
  EXPECT_EQ(rects[0].top, 50 - 25);
  EXPECT_EQ(rects[0].height, 50);
  EXPECT_EQ(rects[1].top, 50 - 27);  // cap
  EXPECT_EQ(rects[1].height, 1);
  EXPECT_EQ(rects[2].left, 6);
  EXPECT_EQ(rects[2].top, 2);  // bar of H - 2
  EXPECT_EQ(rects[3].top, 0);  // cap on the top row
  // A silent band draws a 1-pixel bar and no cap; a 200-pixel panel holds 40 bars.
  EXPECT_EQ(rects[4].top, 49);
  EXPECT_EQ(rects.size(), 4u + 38u);
  EXPECT_EQ(rects.back().left, 196);
}

TEST(LyricsTest, PathReplacesMp3IgnoringCase) {
  EXPECT_EQ(LyricsPathFor("/m/a.mp3"), "/m/a.lrc");
  EXPECT_EQ(LyricsPathFor("/m/A.MP3"), "/m/A.lrc");
  EXPECT_EQ(LyricsPathFor("/m/x.mp3.dir/a.Mp3"), "/m/x.lrc.dir/a.lrc");
  EXPECT_EQ(LyricsPathFor("http://h/s"), "http://h/s");
}

TEST(LyricsTest, PieceIsWhatFollowsTheLastBracket) {
  EXPECT_EQ(LyricPiece("[00:05.20]hello"), "hello");
  EXPECT_EQ(LyricPiece("[00:12.00][01:30.00]refrain"), "refrain");
  EXPECT_EQ(LyricPiece("[00:20.00]"), "[00:20.00");  // a trailing empty piece is dropped
  EXPECT_EQ(LyricPiece(""), "");
}

TEST(LyricsTest, LinesFromCp936CrLfAndFromUtf8Lf) {
  Text gbk = "[00:05.20]"_t + "你好"_t + "\r\n[00:07.90]world\r\n";
  auto a = LyricLinesOf(gbk);
  ASSERT_EQ(runtime::ElementCount(a), 2);
  EXPECT_EQ(a[1], "[00:05.20]"_t + "你好"_t);
  EXPECT_EQ(a[2], "[00:07.90]world");

  Text utf8 = "\xEF\xBB\xBF[00:05.20]\xE4\xBD\xA0\xE5\xA5\xBD\n[00:07.90]world\n";
  auto b = LyricLinesOf(utf8);
  ASSERT_EQ(runtime::ElementCount(b), 2);
  EXPECT_EQ(b[1], "[00:05.20]"_t + "你好"_t);  // converted to the program's text
  EXPECT_EQ(b[2], "[00:07.90]world");
}

TEST(LyricsTest, AStrayHighByteBeforeALineEndJoinsNoLines) {
  // Neither valid UTF-8 nor whole code page 936: the byte before each line feed would begin a
  // double-byte character, yet every line feed still ends a line.
  auto lines = LyricLinesOf("[00:01.00]a\xE4\n[00:02.00]b\xBD\r\n[00:03.00]c\xFF\n");
  ASSERT_EQ(runtime::ElementCount(lines), 3);
  EXPECT_EQ(lines[1], "[00:01.00]a\xE4");
  EXPECT_EQ(lines[2], "[00:02.00]b\xBD");
  EXPECT_EQ(lines[3], "[00:03.00]c\xFF");
}

}  // namespace
}  // namespace vorel::player
