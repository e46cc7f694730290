#include "playlist/playlist.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "app/window_ids.h"
#include "player/audio.h"
#include "player/player.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace player;  // the player's routines
using namespace ids;     // the window's controls
using runtime::Bytes;
using runtime::Text;
using runtime::WriteProperty;

// Saves under way and done, counted in the order they started.
struct SaveRuns {
  int started = 0;
  int active = 0;
  std::map<Text, int> completed;  // per file: the latest start whose file replaced it
};

struct PlaylistState {
  PlaylistServices services;
  bool clear_confirmed = false;
  SaveRuns saves;
};

PlaylistState& Playlist() {
  static PlaylistState state;
  return state;
}

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
  const PlayerState& s = State();
  if (s.current_entry_index == Rows() - 1) {
    Select(0);
  } else {
    Select(s.current_entry_index);
    Select(Selected() + 1);
  }
}

}  // namespace

PlaylistServices& ServicesForScan() { return Playlist().services; }

void SetPlaylistServices(PlaylistServices services) { Playlist().services = std::move(services); }

Text PlayListFilePath() { return runtime::CurrentDirectory() + "/播放列表.txt"_t; }

Bytes EncodeRow(const std::vector<Text>& cells, std::int32_t image, std::int32_t state_image,
                std::int32_t indent, std::int32_t data) {
  runtime::ListRow row{image, state_image, indent, data, cells};
  return runtime::EncodeListRows({row}, static_cast<int>(cells.size()));
}

SaveResult SavePlayList(runtime::WindowId window,
                        runtime::Control<runtime::controls::ListView> list, const Text& path,
                        bool use_path) {
  // The list is written beside its final place and moved there only when complete: saving must
  // never leave a truncated or half-written play list behind.
  const Text target = use_path ? path : PlayListFilePath();
  // A save may start from a handler that runs while another save processes events: each
  // writes a file of its own, and the older snapshot never replaces the newer one.
  SaveRuns& runs = Playlist().saves;
  const int generation = ++runs.started;
  const Text temp = target + ".saving" + (runs.active > 0 ? std::to_string(runs.active) : "");
  int f = runtime::OpenDataFile(temp, runtime::FileMode::kCreateWrite);
  auto fail = [](const char* what, const Text& file) {
    return platform::MakeUnexpected(
        SaveError{std::string(what) + " " + runtime::Utf8FromText(file)});
  };
  if (f == 0) return fail("cannot create", temp);
  ++runs.active;
  struct Leave {
    SaveRuns& runs;
    ~Leave() { --runs.active; }
  } leave{runs};
  // Every row is read at once before anything is written: handlers that run while the save
  // processes events may change or delete rows, or close the window, and must not tear the file.
  const Bytes records = runtime::ReadBytesProperty(window, list, kPropAllRows);
  // Written in blocks, with other handlers getting their turn between blocks: one write per
  // record would make a large list spend its time in system calls.
  constexpr std::size_t kBlock = 64 * 1024;
  bool ok = true;
  for (std::size_t at = 0; ok && at < records.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, records.size() - at);
    ok = runtime::WriteBytes(f, {Bytes(records.begin() + at, records.begin() + at + n)});
    runtime::ProcessEvents();
  }
  if (!ok) {
    runtime::CloseFile(f);
    runtime::RemoveFile(temp);
    return fail("cannot write", temp);
  }
  runtime::CloseFile(f);
  int& completed = runs.completed[target];
  if (completed > generation) {
    runtime::RemoveFile(temp);  // a later save already wrote newer rows
    return target;
  }
  if (!runtime::ReplaceFileAtomically(temp, target)) {
    runtime::RemoveFile(temp);
    return fail("cannot replace", target);
  }
  completed = std::max(completed, generation);
  return target;
}

void SavePlayListAtExit() {
  SaveResult saved = SavePlayList(kMainWindow, kPlayList, {}, false);
  if (!saved) {
    std::fprintf(stderr, "vorel: the play list was not saved: %s\n", saved.error().detail.c_str());
  }
}

void LoadPlayList() {
  Text path = PlayListFilePath();
  // An installed program keeps its data elsewhere; a list left in the program's own folder
  // (by an earlier run that could write there) is read until the data folder has its own.
  const Text fallback = runtime::ReadOnlyRunDirectory();
  if (!runtime::FileExists(path) && !fallback.empty()) path = fallback + "/播放列表.txt"_t;
  WriteProperty(kMainWindow, kPlayList, kPropAllRows, runtime::ReadWholeFile(path));
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
  if (State().current_entry_index == 0) {
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
  const bool playing = audio::ChannelIsActive(State().current_stream) == audio::kPlaying;
  if (playing && doomed == State().current_entry_index && Rows() == 1) {
    StopPlayback();  // the last song goes: nothing is left to move on to
  } else if (playing && doomed == State().current_entry_index) {
    const Text caption = runtime::ReadTextProperty(kMainWindow, kPlayPauseButton, kPropCaption);
    StopPlayback();
    SelectNextRow();
    OpenAndPlay();
    // The next song plays on in the same way, so the button keeps what it said.
    WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, caption);
  }
  // A song still opening from the row that goes would otherwise start under another row's title.
  if (doomed == State().current_entry_index && OpenPending()) CancelOpen();
  if (doomed >= 0 && doomed < Rows()) {
    runtime::DeleteRow(kMainWindow, kPlayList, doomed);
    // Rows below the deleted one move up; the playing entry's index must follow its row.
    NoteRowDeleted(doomed);
  }
  runtime::FocusControl(kMainWindow, kPlayList);
  Select(State().current_entry_index);
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
  const int n = runtime::InsertRow(kMainWindow, kPlayList, std::nullopt, NetworkEntryKind());
  const int selected = runtime::ReadIntProperty(kMainWindow, kSearchResults, kPropSelectedRow);
  runtime::SetCellText(kMainWindow, kPlayList, Rows() - 1, 1,
                       runtime::GetCellText(kMainWindow, kSearchResults, selected, 0));
  Text title =
      Playlist().services.search_query_text ? Playlist().services.search_query_text() : Text();
  runtime::SetCellText(kMainWindow, kPlayList, Rows() - 1, 2, title);
  Select(n);
  OpenAndPlay();
}

void ResetPlaylistStateForTesting() {
  PlaylistServices keep = std::move(Playlist().services);
  Playlist() = PlaylistState();
  Playlist().services = std::move(keep);
}

}  // namespace vorel::playlist
