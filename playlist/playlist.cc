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

void SetCaption(const Text& text) {
  WriteProperty(kMainWindow, kStatusCaption, kPropCaption, text);
}
int Rows() { return runtime::RowCount(kMainWindow, kPlayList); }
int Selected() { return runtime::ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow); }
void Select(int row) { WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, row); }

}  // namespace

Playlist::Playlist(PlaylistServices services) : services_(std::move(services)) {}

// With no rows there is nothing to play: the user is told how to add some.
bool Playlist::ReportEmptyList() {
  if (Rows() != 0) return false;
  SetCaption(EmptyListMessage());
  return true;
}

// Moving to the next entry: the row after the one playing, wrapping at the end.
void Playlist::SelectNextRow() {
  const int playing = services_.current_entry_index();
  if (playing == Rows() - 1) {
    Select(0);
  } else {
    Select(playing);
    Select(Selected() + 1);
  }
}

Bytes EncodeRow(const std::vector<Text>& cells, std::int32_t image, std::int32_t state_image,
                std::int32_t indent, std::int32_t data) {
  runtime::ListRow row{image, state_image, indent, data, cells};
  return runtime::EncodeListRows({row}, static_cast<int>(cells.size()));
}

void Playlist::OnMainWindowDestroyed() {
  SavePlayListAtExit();
  runtime::SetTrayIcon(kMainWindow, Bytes());
}

void Playlist::PlaySelectedEntry() {
  if (ReportEmptyList()) return;
  services_.stop_playback();
  services_.open_and_play();
}

void Playlist::NextEntry() {
  if (ReportEmptyList()) return;
  services_.stop_playback();
  SelectNextRow();
  services_.open_and_play();
}

void Playlist::PreviousEntry() {
  if (ReportEmptyList()) return;
  services_.stop_playback();
  if (services_.current_entry_index() == 0) {
    Select(Rows() - 1);
  } else {
    Select(Selected() - 1);  // the selection, not the playing row, is the base here
  }
  services_.open_and_play();
}

void Playlist::DeleteSelectedEntry() {
  // The row the user selected is the one to delete. Only when that is the song playing does
  // playback move on to the next row first; any other row goes without touching the song.
  const int doomed = Selected();
  const bool playing = services_.playing();
  const int playing_index = services_.current_entry_index();
  if (playing && doomed == playing_index && Rows() == 1) {
    services_.stop_playback();  // the last song goes: nothing is left to move on to
  } else if (playing && doomed == playing_index) {
    const Text caption = runtime::ReadTextProperty(kMainWindow, kPlayPauseButton, kPropCaption);
    services_.stop_playback();
    SelectNextRow();
    services_.open_and_play();
    // The next song plays on in the same way, so the button keeps what it said.
    WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, caption);
  }
  // A song still opening from the row that goes would otherwise start under another row's title.
  if (doomed == services_.current_entry_index() && services_.open_pending()) {
    services_.cancel_open();
  }
  if (doomed >= 0 && doomed < Rows()) {
    runtime::DeleteRow(kMainWindow, kPlayList, doomed);
    // Rows below the deleted one move up; the playing entry's index must follow its row.
    services_.note_row_deleted(doomed);
  }
  runtime::FocusControl(kMainWindow, kPlayList);
  Select(services_.current_entry_index());
  SetCaption("歌曲已删除！"_t);
}

void Playlist::ClearPlayList() {
  runtime::LoadWindow(kClearDialog, std::nullopt, true);
  if (clear_confirmed_) {
    // A scan running below this handler would go on appending to the emptied list.
    StopScan();
    services_.stop_playback();
    runtime::DeleteAllRows(kMainWindow, kPlayList);
    clear_confirmed_ = false;
  }
}

void Playlist::ConfirmClear() {
  clear_confirmed_ = true;
  runtime::UnloadWindow(kClearDialog);
}

void Playlist::CloseClearDialog() { runtime::UnloadWindow(kClearDialog); }

void Playlist::AddSearchResultEntry() {
  services_.stop_playback();
  const int selected = runtime::ReadIntProperty(kMainWindow, kSearchResults, kPropSelectedRow);
  Text title = services_.search_query_text ? services_.search_query_text() : Text();
  const int n =
      AppendEntry({.kind = EntryKind::kNetworkFile,
                   .location = runtime::GetCellText(kMainWindow, kSearchResults, selected),
                   .title = std::move(title),
                   .cover = {}});
  Select(n);
  services_.open_and_play();
}

}  // namespace vorel::playlist
