#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "player/lyrics.h"

namespace vorel::player {
namespace {

using namespace runtime::literals;
using runtime::Text;

runtime::Array<Text> Lines(std::initializer_list<Text> lines) {
  runtime::Array<Text> out;
  for (const Text& line : lines) out.Append(line);
  return out;
}

using Timed = std::vector<std::pair<double, Text>>;

Timed Flatten(const std::vector<TimedLyric>& lines) {
  Timed out;
  for (const TimedLyric& l : lines) out.emplace_back(l.seconds, l.text);
  return out;
}

struct TimingCase {
  const char* name;
  std::vector<Text> file;
  Timed expected;
};

class TimedLyricsTest : public ::testing::TestWithParam<TimingCase> {};

TEST_P(TimedLyricsTest, LinesComeInTheOrderSung) {
  runtime::Array<Text> lines;
  for (const Text& line : GetParam().file) lines.Append(line);
  EXPECT_EQ(Flatten(TimedLyricsOf(lines)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TimedLyricsTest,
    ::testing::Values(
        TimingCase{
            "Plain", {"[00:05.20]hello", "[00:07.90]world"}, {{5.2, "hello"}, {7.9, "world"}}},
        // A line sung twice stands at both times; the file's order does not matter.
        TimingCase{"SeveralTagsSorted",
                   {"[01:00.00]middle", "[00:12.00][01:30.00]refrain", "[00:03]start"},
                   {{3, "start"}, {12, "refrain"}, {60, "middle"}, {90, "refrain"}}},
        // Tag lines that are not times are left out; an empty line at a time is a pause.
        TimingCase{"OtherTagsAndPauses",
                   {"[ti:title]", "[ar:someone]", "[offset:+200]", "", "[00:01.50]a", "[00:02.00]",
                    "[00:03.25]b"},
                   {{1.5, "a"}, {2, ""}, {3.25, "b"}}},
        // Hundredths after a colon, three decimals, minutes past an hour.
        TimingCase{"TimeForms",
                   {"[00:01:50]x", "[00:02.125]y", "[61:00.00]z"},
                   {{1.5, "x"}, {2.125, "y"}, {3660, "z"}}},
        // Brackets later in the words belong to the words; the same time keeps file order.
        TimingCase{"WordsWithBrackets",
                   {"[00:04.00]one [live]", "[00:04.00]two"},
                   {{4, "one [live]"}, {4, "two"}}},
        // Not times: seconds past 59, letters, a missing fraction, an unclosed bracket.
        TimingCase{"NotTimes",
                   {"[00:75.00]bad", "[0a:10.00]bad", "[00:10.]bad", "[00:10.00", "[00:01]ok"},
                   {{1, "ok"}}},
        // Chinese words in the program's text come through whole.
        TimingCase{"ChineseWords", {"[00:05.00]"_t + "你好世界"_t}, {{5, "你好世界"_t}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimedLyricsTest, AFileWithoutTimesGivesItsLinesNeverReached) {
  auto lines = TimedLyricsOf(Lines({"first", "", "  ", "second", "[ar:x]"}));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "first");
  EXPECT_EQ(lines[1].text, "second");
  EXPECT_TRUE(std::isinf(lines[0].seconds));
  EXPECT_EQ(LyricIndexAt(lines, 1e9), -1);
}

TEST(TimedLyricsTest, TheCurrentLineIsTheLastWhoseTimeHasCome) {
  auto lines = TimedLyricsOf(Lines({"[00:01.00]a", "[00:02.50]b", "[00:02.50]c", "[00:10]d"}));
  EXPECT_EQ(LyricIndexAt(lines, 0), -1);
  EXPECT_EQ(LyricIndexAt(lines, 0.99), -1);
  EXPECT_EQ(LyricIndexAt(lines, 1.0), 0);
  EXPECT_EQ(LyricIndexAt(lines, 2.49), 0);
  EXPECT_EQ(LyricIndexAt(lines, 2.5), 2);  // two lines at once: the later in the file
  EXPECT_EQ(LyricIndexAt(lines, 9.9), 2);
  EXPECT_EQ(LyricIndexAt(lines, 500), 3);
  EXPECT_EQ(LyricIndexAt({}, 5), -1);
}

}  // namespace
}  // namespace vorel::player
