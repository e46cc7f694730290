#include "playlist/playlist.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace ids;  // the window's controls
using runtime::Bytes;
using runtime::Text;
using runtime::WriteProperty;

struct PlaylistState {
  PlaylistServices services;
  bool clear_confirmed = false;
};

PlaylistState& Playlist() {
  static PlaylistState state;
  return state;
}

const PlaylistServices& Player() { return Playlist().services; }
int PlayingIndex() { return Player().current_entry_index(); }
void StopPlayback() { Player().stop_playback(); }
void OpenAndPlay() { Player().open_and_play(); }

void SetCaption(const Text& text) {
  WriteProperty(kMainWindow, kStatusCaption, kPropCaption, text);
}
int Rows() { return runtime::RowCount(kMainWindow, kPlayList); }
int Selected() { return runtime::ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow); }
void Select(int row) { WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, row); }

// With no rows there is nothing to play: the user is told how to add some.
bool ReportEmptyList() {
  if (Rows() != 0) return false;
  SetCaption(EmptyListMessage());
  return true;
}

// Moving to the next entry: the row after the one playing, wrapping at the end.
void SelectNextRow() {
  const int playing = PlayingIndex();
  if (playing == Rows() - 1) {
    Select(0);
  } else {
    Select(playing);
    Select(Selected() + 1);
  }
}

}  // namespace

PlaylistServices& ServicesForScan() { return Playlist().services; }

void SetPlaylistServices(PlaylistServices services) { Playlist().services = std::move(services); }

Bytes EncodeRow(const std::vector<Text>& cells, std::int32_t image, std::int32_t state_image,
                std::int32_t indent, std::int32_t data) {
  runtime::ListRow row{image, state_image, indent, data, cells};
  return runtime::EncodeListRows({row}, static_cast<int>(cells.size()));
}

void OnMainWindowDestroyed() {
  SavePlayListAtExit();
  runtime::SetTrayIcon(kMainWindow, Bytes());
}

void PlaySelectedEntry() {
  if (ReportEmptyList()) return;
  StopPlayback();
  OpenAndPlay();
}

void NextEntry() {
  if (ReportEmptyList()) return;
  StopPlayback();
  SelectNextRow();
  OpenAndPlay();
}

void PreviousEntry() {
  if (ReportEmptyList()) return;
  StopPlayback();
  if (PlayingIndex() == 0) {
    Select(Rows() - 1);
  } else {
    Select(Selected() - 1);  // the selection, not the playing row, is the base here
  }
  OpenAndPlay();
}

void DeleteSelectedEntry() {
  // The row the user selected is the one to delete. Only when that is the song playing does
  // playback move on to the next row first; any other row goes without touching the song.
  const int doomed = Selected();
  const bool playing = Player().playing();
  if (playing && doomed == PlayingIndex() && Rows() == 1) {
    StopPlayback();  // the last song goes: nothing is left to move on to
  } else if (playing && doomed == PlayingIndex()) {
    const Text caption = runtime::ReadTextProperty(kMainWindow, kPlayPauseButton, kPropCaption);
    StopPlayback();
    SelectNextRow();
    OpenAndPlay();
    // The next song plays on in the same way, so the button keeps what it said.
    WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, caption);
  }
  // A song still opening from the row that goes would otherwise start under another row's title.
  if (doomed == PlayingIndex() && Player().open_pending()) Player().cancel_open();
  if (doomed >= 0 && doomed < Rows()) {
    runtime::DeleteRow(kMainWindow, kPlayList, doomed);
    // Rows below the deleted one move up; the playing entry's index must follow its row.
    Player().note_row_deleted(doomed);
  }
  runtime::FocusControl(kMainWindow, kPlayList);
  Select(PlayingIndex());
  SetCaption("歌曲已删除！"_t);
}

void ClearPlayList() {
  runtime::LoadWindow(kClearDialog, std::nullopt, true);
  if (Playlist().clear_confirmed) {
    // A scan running below this handler would go on appending to the emptied list.
    StopScan();
    StopPlayback();
    runtime::DeleteAllRows(kMainWindow, kPlayList);
    Playlist().clear_confirmed = false;
  }
}

void ConfirmClear() {
  Playlist().clear_confirmed = true;
  runtime::UnloadWindow(kClearDialog);
}

void CloseClearDialog() { runtime::UnloadWindow(kClearDialog); }

void AddSearchResultEntry() {
  StopPlayback();
  const int selected = runtime::ReadIntProperty(kMainWindow, kSearchResults, kPropSelectedRow);
  Text title =
      Playlist().services.search_query_text ? Playlist().services.search_query_text() : Text();
  const int n =
      AppendEntry({.kind = EntryKind::kNetworkFile,
                   .location = runtime::GetCellText(kMainWindow, kSearchResults, selected),
                   .title = std::move(title),
                   .cover = {}});
  Select(n);
  OpenAndPlay();
}

void ResetListFileForTesting();

void ResetPlaylistStateForTesting() {
  ResetListFileForTesting();
  PlaylistServices keep = std::move(Playlist().services);
  Playlist() = PlaylistState();
  Playlist().services = std::move(keep);
}

}  // namespace vorel::playlist
