#include "player/lyrics.h"

#include <algorithm>
#include <cmath>

#include "app/window_ids.h"
#include "platform/code_page.h"
#include "player/audio.h"
#include "player/player.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/text_ops.h"

namespace vorel::player {
namespace {

using namespace ids;

using namespace runtime::literals;
using runtime::Text;

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

Lyrics::Lyrics(const PlayerState& player) : player_(player) {}

void Lyrics::StartLyrics(const Text& address) {
  lyrics_text_.clear();
  lines_.Clear();
  read_stamp_.reset();
  current_address_ = address;
  const Text path = LyricsPathFor(address);
  // A resume starts the same song's lyrics again: its sheet stays until the next tick has read
  // the file afresh, rather than going blank for a tick.
  if (path != lyrics_path_ || !sheet_looked_) {
    sheet_lines_.clear();
    sheet_looked_ = false;
    ++sheet_version_;
  }
  lyrics_path_ = path;
  NoteLyricSheetChanged();
}

void Lyrics::StopLyrics() {
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropCaption, Text());
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropCaption, Text());
  if (sheet_looked_ || !sheet_lines_.empty()) {
    sheet_lines_.clear();
    sheet_looked_ = false;
    ++sheet_version_;
  }
  NoteLyricSheetChanged();
}

void Lyrics::LyricsTick() {
  if (runtime::FileExists(lyrics_path_)) {
    // The file is re-read on every tick so edits show at once; one that has not changed since
    // the last read gives the same lines, so a large file is not read twice a second for nothing.
    auto stamp = runtime::StampOf(lyrics_path_);
    if (!stamp || stamp != read_stamp_) {
      int f = runtime::OpenDataFile(lyrics_path_);
      lyrics_text_ = runtime::ReadText(f);
      runtime::CloseFile(f);
      lines_ = LyricLinesOf(lyrics_text_);
      read_stamp_ = f != 0 ? stamp : std::nullopt;
      std::vector<TimedLyric> timed = TimedLyricsOf(lines_);
      if (!std::equal(timed.begin(), timed.end(), sheet_lines_.begin(), sheet_lines_.end(),
                      [](const TimedLyric& a, const TimedLyric& b) {
                        return a.seconds == b.seconds && a.text == b.text;
                      })) {
        sheet_lines_ = std::move(timed);
        ++sheet_version_;
      }
    }
  } else if (!sheet_lines_.empty()) {
    // The file went away: the sheet no longer shows it (the labels keep their last lines).
    sheet_lines_.clear();
    ++sheet_version_;
  }
  if (!sheet_looked_) {
    sheet_looked_ = true;
    ++sheet_version_;
  }
  const Text& position = player_.position_text;
  for (const Text& line : lines_.elements()) {
    if (runtime::FindText(line, position, 1, true) == -1) continue;
    Text piece = LyricPiece(line);
    if (upper_written_last_) {
      if (runtime::ReadTextProperty(kMainWindow, kLyricUpper, kPropCaption) != piece) {
        runtime::WriteProperty(kMainWindow, kLyricLower, kPropCaption, piece);
        upper_written_last_ = false;
      }
    } else if (runtime::ReadTextProperty(kMainWindow, kLyricLower, kPropCaption) != piece) {
      runtime::WriteProperty(kMainWindow, kLyricUpper, kPropCaption, piece);
      upper_written_last_ = true;
    }
  }
}

LyricSheet Lyrics::CurrentLyricSheet() const {
  LyricSheet sheet{.looked = sheet_looked_, .lines = &sheet_lines_, .version = sheet_version_};
  if (!sheet_looked_ || sheet_lines_.empty()) return sheet;
  const audio::Handle stream = player_.current_stream;
  const std::uint32_t state = audio::ChannelIsActive(stream);
  if (state == audio::kStopped) return sheet;
  const double at = audio::ChannelBytes2Seconds(stream, audio::ChannelGetPosition(stream));
  if (std::isfinite(at) && at >= 0) sheet.current = LyricIndexAt(sheet_lines_, at);
  return sheet;
}

void Lyrics::SetLyricSheetObserver(std::function<void()> observer) {
  sheet_observer_ = std::move(observer);
}

void Lyrics::NoteLyricSheetChanged() {
  // A copy: the observer may replace itself while it runs.
  if (std::function<void()> observer = sheet_observer_) observer();
}

}  // namespace vorel::player
