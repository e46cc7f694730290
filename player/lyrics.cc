#include "player/lyrics.h"

#include <algorithm>
#include <cmath>

#include "platform/code_page.h"
#include "player/audio.h"
#include "player/player.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/text_ops.h"
#include "windows/window_ids.h"

namespace vorel::player {
namespace {

using namespace ids;

using namespace runtime::literals;
using runtime::Text;

struct LyricsState {
  Text current_address;
  Text lyrics_path;
  Text lyrics_text;
  runtime::Array<Text> lines;
  std::optional<runtime::FileStamp> read_stamp;  // of the file `lines` came from
  bool upper_written_last = false;
  // The sheet: the timed lines of `lines`, and whether this song's file has been looked for.
  std::vector<TimedLyric> sheet_lines;
  bool sheet_looked = false;
  std::uint64_t sheet_version = 0;
  std::function<void()> sheet_observer;
};

LyricsState& Lyrics() {
  static LyricsState state;
  return state;
}

}  // namespace

Text LyricsPathFor(const Text& address) {
  return runtime::SubstituteText(address, ".mp3", ".lrc", 1, std::nullopt, false);
}

runtime::Array<Text> LyricLinesOf(const Text& file_text) {
  Text text = file_text;
  // Lyrics on this platform usually come in UTF-8; a file that is valid UTF-8 and not plain
  // ASCII is taken as such. A code page 936 file is almost never valid UTF-8 by accident.
  std::string_view view = text;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  bool ascii = std::all_of(view.begin(), view.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii && platform::IsValidUtf8(view)) text = runtime::TextFromUtf8(view);
  else text = Text(view);
  // Split byte by byte: a line feed never belongs to a double-byte character, even after a
  // stray high byte (a file in neither encoding), which a character-wise split would pair with
  // it, joining two lines. As with SplitText, an empty piece after the last line feed is none.
  runtime::Array<Text> out;
  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.Append(Text(line));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return out;
}

Text LyricPiece(const Text& line) {
  runtime::Array<Text> pieces = runtime::SplitText(line, "]");
  int n = runtime::ElementCount(pieces);
  return n == 0 ? Text() : pieces[n];
}

void StartLyrics(const Text& address) {
  LyricsState& s = Lyrics();
  s.lyrics_text.clear();
  s.lines.Clear();
  s.read_stamp.reset();
  s.current_address = address;
  const Text path = LyricsPathFor(address);
  // A resume starts the same song's lyrics again: its sheet stays until the next tick has read
  // the file afresh, rather than going blank for a tick.
  if (path != s.lyrics_path || !s.sheet_looked) {
    s.sheet_lines.clear();
    s.sheet_looked = false;
    ++s.sheet_version;
  }
  s.lyrics_path = path;
  NoteLyricSheetChanged();
}

void StopLyrics() {
  LyricsState& s = Lyrics();
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropCaption, Text());
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropCaption, Text());
  if (s.sheet_looked || !s.sheet_lines.empty()) {
    s.sheet_lines.clear();
    s.sheet_looked = false;
    ++s.sheet_version;
  }
  NoteLyricSheetChanged();
}

void LyricsTick() {
  LyricsState& s = Lyrics();
  if (runtime::FileExists(s.lyrics_path)) {
    // The file is re-read on every tick so edits show at once; one that has not changed since
    // the last read gives the same lines, so a large file is not read twice a second for nothing.
    auto stamp = runtime::StampOf(s.lyrics_path);
    if (!stamp || stamp != s.read_stamp) {
      int f = runtime::OpenDataFile(s.lyrics_path);
      s.lyrics_text = runtime::ReadText(f);
      runtime::CloseFile(f);
      s.lines = LyricLinesOf(s.lyrics_text);
      s.read_stamp = f != 0 ? stamp : std::nullopt;
      std::vector<TimedLyric> timed = TimedLyricsOf(s.lines);
      if (!std::equal(timed.begin(), timed.end(), s.sheet_lines.begin(), s.sheet_lines.end(),
                      [](const TimedLyric& a, const TimedLyric& b) {
                        return a.seconds == b.seconds && a.text == b.text;
                      })) {
        s.sheet_lines = std::move(timed);
        ++s.sheet_version;
      }
    }
  } else if (!s.sheet_lines.empty()) {
    // The file went away: the sheet no longer shows it (the labels keep their last lines).
    s.sheet_lines.clear();
    ++s.sheet_version;
  }
  if (!s.sheet_looked) {
    s.sheet_looked = true;
    ++s.sheet_version;
  }
  const Text& position = State().position_text;
  for (const Text& line : s.lines.elements()) {
    if (runtime::FindText(line, position, 1, true) == -1) continue;
    Text piece = LyricPiece(line);
    if (s.upper_written_last) {
      if (runtime::ReadTextProperty(kMainWindow, kLyricUpper, kPropCaption) != piece) {
        runtime::WriteProperty(kMainWindow, kLyricLower, kPropCaption, piece);
        s.upper_written_last = false;
      }
    } else if (runtime::ReadTextProperty(kMainWindow, kLyricLower, kPropCaption) != piece) {
      runtime::WriteProperty(kMainWindow, kLyricUpper, kPropCaption, piece);
      s.upper_written_last = true;
    }
  }
}

LyricSheet CurrentLyricSheet() {
  const LyricsState& s = Lyrics();
  LyricSheet sheet{.looked = s.sheet_looked, .lines = &s.sheet_lines, .version = s.sheet_version};
  if (!s.sheet_looked || s.sheet_lines.empty()) return sheet;
  const audio::Handle stream = State().current_stream;
  const std::uint32_t state = audio::ChannelIsActive(stream);
  if (state == audio::kStopped) return sheet;
  const double at = audio::ChannelBytes2Seconds(stream, audio::ChannelGetPosition(stream));
  if (std::isfinite(at) && at >= 0) sheet.current = LyricIndexAt(s.sheet_lines, at);
  return sheet;
}

void SetLyricSheetObserver(std::function<void()> observer) {
  Lyrics().sheet_observer = std::move(observer);
}

void NoteLyricSheetChanged() {
  // A copy: the observer may replace itself while it runs.
  if (std::function<void()> observer = Lyrics().sheet_observer) observer();
}

void ResetLyricsForTesting() { Lyrics() = LyricsState(); }

}  // namespace vorel::player
