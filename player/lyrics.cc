#include "player/lyrics.h"

#include <algorithm>

#include "app/window_ids.h"
#include "platform/code_page.h"
#include "player/player.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/text_ops.h"

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
  s.lyrics_path = LyricsPathFor(address);
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
    }
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

void ResetLyricsForTesting() { Lyrics() = LyricsState(); }

}  // namespace vorel::player
