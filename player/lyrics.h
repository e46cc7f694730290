#ifndef VOREL_PLAYER_LYRICS_H_
#define VOREL_PLAYER_LYRICS_H_

// Lyrics beside a song: "a.mp3" plays with the lines of "a.lrc". A 500 ms tick re-reads the file
// and writes every line that contains the current elapsed time ("mm:ss") into one of the two
// lyric labels, alternating, so the newest and the previous line stay visible. The text shown is
// what follows the line's last "]". The same lines, ordered by their time tags, also make a
// sheet for a display that has room for many lines (CurrentLyricSheet).
//
// Files in code page 936 with CR LF line ends, and files in UTF-8 (with or without a byte-order
// mark) with LF or CR LF line ends, both work. User-interface thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/array.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace vorel::player {

// The lyrics path for an address.
runtime::Text LyricsPathFor(const runtime::Text& address);

// A lyrics file's text as lines: UTF-8 content is converted to code page 936, lines end at LF
// with an optional CR before it.
runtime::Array<runtime::Text> LyricLinesOf(const runtime::Text& file_text);

// The text a matching line shows: the last piece of the line split at "]".
runtime::Text LyricPiece(const runtime::Text& line);

// One line of a lyrics file with the time it is sung at. A line with several time tags
// ("[00:12.00][01:30.00]refrain") gives one of these per tag.
struct TimedLyric {
  double seconds = 0;  // +infinity for the lines of a file without time tags
  runtime::Text text;  // what follows the line's leading tags
};

// The lines of a lyrics file in the order they are sung (ties keep the file's order). Lines
// whose leading tags are not times ("[ar:someone]") are left out. A file without any time tag
// gives its non-empty lines in file order, none of which is ever reached.
std::vector<TimedLyric> TimedLyricsOf(const runtime::Array<runtime::Text>& lines);

// The index of the line being sung at `seconds`: the last whose time has come; -1 before the
// first one (and for a file without time tags).
int LyricIndexAt(const std::vector<TimedLyric>& lines, double seconds);

// The playing song's lyrics as a whole sheet, for a display with room for more than the two
// labels.
struct LyricSheet {
  // The song's lyrics file has been looked for since it started (false while nothing plays).
  bool looked = false;
  // Its lines in the order sung; empty when it has none. Owned by the lyrics, valid until the
  // next lyrics routine runs.
  const std::vector<TimedLyric>* lines = nullptr;
  // Changes whenever `looked` or `lines` change.
  std::uint64_t version = 0;
  int current = -1;  // index into `lines` of the line being sung now, -1 for none
};

struct PlayerState;

// The lyrics of the playing song: the two labels the tick writes and the sheet. The application
// makes one beside the player, which drives it from its routines; the lyrics timer runs
// LyricsTick.
class Lyrics {
 public:
  // `player` is the player's state, read for the elapsed time and the stream; it outlives this.
  explicit Lyrics(const PlayerState& player);
  Lyrics(const Lyrics&) = delete;
  Lyrics& operator=(const Lyrics&) = delete;

  // Called by OpenAndPlay with cell 1 of the entry: remembers the address and derives the
  // lyrics path (every ".mp3" replaced by ".lrc", case ignored). The last file's lines are
  // dropped, so a song without lyrics never shows another song's.
  void StartLyrics(const runtime::Text& address);
  // Handler of the lyrics timer.
  void LyricsTick();
  // Called by StopPlayback: empties both lyric labels; the stopped song shows no lyrics
  // anywhere.
  void StopLyrics();

  LyricSheet CurrentLyricSheet() const;
  // `observer` runs on the user-interface thread after anything that may change the sheet: the
  // lyrics tick, a song starting or stopping, the status tick and a seek. Null removes it.
  void SetLyricSheetObserver(std::function<void()> observer);
  // Tells the observer that the sheet may have changed (the player calls it after its routines).
  void NoteLyricSheetChanged();

 private:
  const PlayerState& player_;
  runtime::Text current_address_;
  runtime::Text lyrics_path_;
  runtime::Text lyrics_text_;
  runtime::Array<runtime::Text> lines_;
  std::optional<runtime::FileStamp> read_stamp_;  // of the file `lines_` came from
  bool upper_written_last_ = false;
  // The sheet: the timed lines of `lines_`, and whether this song's file has been looked for.
  std::vector<TimedLyric> sheet_lines_;
  bool sheet_looked_ = false;
  std::uint64_t sheet_version_ = 0;
  std::function<void()> sheet_observer_;
};

}  // namespace vorel::player

#endif  // VOREL_PLAYER_LYRICS_H_
