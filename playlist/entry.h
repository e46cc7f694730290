#ifndef VOREL_PLAYLIST_ENTRY_H_
#define VOREL_PLAYLIST_ENTRY_H_

// One entry of the play list and the only code that knows how an entry lies in the rows of the
// list view 列表框1: the kind's text in the first column, then the path or address, the title and
// the cover's address. The list view (and through it the play list file) keeps exactly these
// texts, so lists written by earlier versions read back unchanged.
//
// This is a library of its own below the features: the player, the search, the play list and
// the desktop all read or add entries, and none of them needs another feature for it.
//
// User-interface thread only (the list view's operations marshal to it from elsewhere, but an
// append and the reads that follow are only consistent on that thread).

#include "runtime/text.h"

namespace vorel::playlist {

// Stored as "本地文件" and "网络文件". A row whose kind text is neither is read as a local file,
// the way the player has always opened it.
enum class EntryKind { kLocalFile, kNetworkFile };

struct PlaylistEntry {
  EntryKind kind = EntryKind::kLocalFile;
  runtime::Text location;  // a local file's full path, or a stream's address
  runtime::Text title;     // what the list and the status caption show
  runtime::Text cover;     // the cover picture's address; empty for none

  bool operator==(const PlaylistEntry&) const = default;
};

// Appends `entry` as the last row of the main window's play list; the index of the new row, or -1
// when the list took no row (the user-interface thread is gone as the program ends). Like every
// operation on a control, it needs the main window loaded.
int AppendEntry(const PlaylistEntry& entry);

// The entry in `row` of the play list. A row outside the list reads as a local entry with empty
// texts, which nothing can open.
PlaylistEntry ReadEntry(int row);

// The records the play list file holds for `entry` as one row (the list view's row format, see
// runtime/list_view_records.h). Any thread.
runtime::Bytes EncodeEntry(const PlaylistEntry& entry);

// The status text for an empty list: "播放列表里没有文件，请添加。".
const runtime::Text& EmptyListMessage();

}  // namespace vorel::playlist

#endif  // VOREL_PLAYLIST_ENTRY_H_
