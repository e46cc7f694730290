#ifndef VOREL_PLAYER_LYRICS_H_
#define VOREL_PLAYER_LYRICS_H_

// Lyrics beside a song: "a.mp3" plays with the lines of "a.lrc". A 500 ms tick re-reads the file
// and writes every line that contains the current elapsed time ("mm:ss") into one of the two
// lyric labels, alternating, so the newest and the previous line stay visible. The text shown is
// what follows the line's last "]".
//
// Files in code page 936 with CR LF line ends, and files in UTF-8 (with or without a byte-order
// mark) with LF or CR LF line ends, both work. User-interface thread only.

#include "runtime/array.h"
#include "runtime/text.h"

namespace vorel::player {

// Called by OpenAndPlay with cell 1 of the entry: remembers the address and derives the lyrics
// path (every ".mp3" replaced by ".lrc", case ignored). The last file's lines are dropped, so a
// song without lyrics never shows another song's.
void StartLyrics(const runtime::Text& address);

// Handler of the lyrics timer.
void LyricsTick();

// The lyrics path for an address.
runtime::Text LyricsPathFor(const runtime::Text& address);

// A lyrics file's text as lines: UTF-8 content is converted to code page 936, lines end at LF
// with an optional CR before it.
runtime::Array<runtime::Text> LyricLinesOf(const runtime::Text& file_text);

// The text a matching line shows: the last piece of the line split at "]".
runtime::Text LyricPiece(const runtime::Text& line);

void ResetLyricsForTesting();

}  // namespace vorel::player

#endif  // VOREL_PLAYER_LYRICS_H_
