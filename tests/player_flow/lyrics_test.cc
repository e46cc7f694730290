#include <fstream>

#include "tests/player_flow/flow_fixture.h"

namespace vorel::flow {
namespace {

using LyricsFlowTest = FlowTest;

Text Upper() {
  return runtime::ReadTextProperty(ids::kMainWindow, ids::kLyricUpper, ids::kPropCaption);
}
Text Lower() {
  return runtime::ReadTextProperty(ids::kMainWindow, ids::kLyricLower, ids::kPropCaption);
}

class LyricsAt : public LyricsFlowTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Plays a copy of the long song with `lyrics` beside it and seeks to `second`.
  void PlayWithLyrics(const std::string& lyrics) {
    fs::copy_file(songs_ / "long.mp3", work_ / "song.MP3");
    std::ofstream(work_ / "song.lrc", std::ios::binary) << lyrics;
    AddLocalRow(work_ / "song.MP3", "歌"_t);
    Click(ids::kPlayPauseButton);
    HoldTimers();
    for (int i = 0; i < 4; ++i) StatusTick();  // past the volume text's four held ticks
  }
  void SeekAndTick(int second) {
    runtime::WriteProperty(ids::kMainWindow, ids::kPositionSlider, ids::kPropPosition, second);
    Click(ids::kPositionSlider);
    StatusTick();
    Click(ids::kLyricsTimer);
  }
};

TEST_P(LyricsAt, LinesAlternateBetweenTheLabelsAtTheirSeconds) {
  PlayWithLyrics(GetParam());
  SeekAndTick(5);
  EXPECT_EQ(player().State().position_text, "00:05");
  EXPECT_EQ(Upper(), "你好"_t);
  Click(ids::kLyricsTimer);  // the same second again writes nothing twice
  EXPECT_EQ(Lower(), "");
  SeekAndTick(7);
  EXPECT_EQ(Upper(), "你好"_t);
  EXPECT_EQ(Lower(), "world");
  SeekAndTick(12);  // a line with two tags shows at each of them
  EXPECT_EQ(Upper(), "refrain");
  SeekAndTick(60);
  EXPECT_EQ(Lower(), "middle");
  SeekAndTick(70);
  EXPECT_EQ(Upper(), "later");
  SeekAndTick(90);
  EXPECT_EQ(Lower(), "refrain");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, LyricsAt,
    ::testing::Values(
        // Code page 936 with CR LF, as the Windows program's users kept them.
        "[00:05.20]\xC4\xE3\xBA\xC3\r\n[00:07.90]world\r\n[00:12.00][01:30.00]refrain\r\n"
        "[01:00.00]middle\r\n[01:10.00]later\r\n",
        // UTF-8 with a byte-order mark and LF line ends.
        "\xEF\xBB\xBF[00:05.20]\xE4\xBD\xA0\xE5\xA5\xBD\n[00:07.90]world\n"
        "[00:12.00][01:30.00]refrain\n[01:00.00]middle\n[01:10.00]later\n"),
    [](const auto& info) { return info.index == 0 ? "CodePage936Crlf" : "Utf8BomLf"; });

TEST_F(LyricsFlowTest, AHugeLyricsFileDoesNotHangTheTick) {
  fs::copy_file(songs_ / "long.mp3", work_ / "big.mp3");
  {
    std::ofstream f(work_ / "big.lrc", std::ios::binary);
    std::string line = "[59:59.00]" + std::string(200, 'x') + "\r\n";
    for (int i = 0; i < 250000; ++i) f << line;  // about 50 MB
  }
  AddLocalRow(work_ / "big.mp3", "big"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  for (int i = 0; i < 5; ++i) StatusTick();
  Click(ids::kLyricsTimer);  // no line holds 00:00..00:01: nothing to show
  Click(ids::kLyricsTimer);  // the unchanged file is not read again
  EXPECT_EQ(Upper(), "");
}

}  // namespace
}  // namespace vorel::flow
