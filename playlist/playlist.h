#ifndef VOREL_PLAYLIST_PLAYLIST_H_
#define VOREL_PLAYLIST_PLAYLIST_H_

// The play list: the rows of the list view 列表框1 (kind, path or address, title, cover address),
// kept in the file "播放列表.txt" in the data folder between runs, in the list view's own binary
// record format (compatible byte for byte with lists written by earlier versions, titles in code
// page 936). Handlers to play, step through, delete and clear entries.
//
// Every routine is an event handler or called by one: user-interface thread only.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "runtime/control_types.h"
#include "runtime/text.h"
#include "runtime/window_template.h"

namespace vorel::playlist {

struct PlaylistServices {
  // The text of the latest search; the title of an entry added from the search results.
  std::function<runtime::Text()> search_query_text;
  // Shows a folder chooser with the title; the chosen folder, or empty when cancelled.
  std::function<runtime::Text(const runtime::Text& title)> browse_for_folder;

  // The player the handlers start, stop and step through the list.
  // The index of the entry playing (or last played).
  std::function<int()> current_entry_index;
  // True while a song is heard (not paused, stopped or stalled).
  std::function<bool()> playing;
  std::function<void()> stop_playback;
  // Plays the selected row.
  std::function<void()> open_and_play;
  // Pauses a song that plays, else plays the selected row (the play button's routine).
  std::function<void()> toggle_play_pause;
  // True while the latest open waits on a server; cancel_open drops what it waits for.
  std::function<bool()> open_pending;
  std::function<void()> cancel_open;
  // Tells the player that `row` left the list, so the playing entry's index follows its row.
  std::function<void(int row)> note_row_deleted;
};
// The play list file: the data folder (runtime::DataFolderPath) and its name.
runtime::Text PlayListFilePath();

// Why SavePlayList replaced no file.
struct SaveError {
  std::string detail;  // what failed and on which file, for the user's eyes
};
using SaveResult = platform::Expected<runtime::Text, SaveError>;

// The record bytes of one row (kind 0 record, then one kind 1 record per further column).
runtime::Bytes EncodeRow(const std::vector<runtime::Text>& cells, std::int32_t image,
                         std::int32_t state_image, std::int32_t indent, std::int32_t data);

// Play modes: what happens when a song ends.
enum class PlayMode { kSinglePlay, kSingleLoop, kPlayAll, kLoopAll, kRandom };

// Songs and folders a scan left out because their names are not UTF-8 (they could be neither
// shown nor opened again by name).
struct ScanSkips {
  int songs = 0;
  int folders = 0;
};

// The play list of the main window with its file, its play mode and its folder scan. The
// application makes one and keeps it as long as the windows whose events reach it.
class Playlist {
 public:
  explicit Playlist(PlaylistServices services);
  Playlist(const Playlist&) = delete;
  Playlist& operator=(const Playlist&) = delete;

  // Writes every row of the list view to `path` (usePath true) or to the play list file. The
  // old file is replaced only once the new one is completely written, so a crash or a full disk
  // keeps the previous list. The file written, or why nothing was replaced.
  SaveResult SavePlayList(runtime::WindowId window,
                          runtime::Control<runtime::controls::ListView> list,
                          const runtime::Text& path, bool use_path);
  // Saves to the play list file as the program closes. A failure cannot be shown in a window
  // any more: it goes to standard error ("vorel: the play list was not saved: ..."), and the
  // program still ends normally.
  void SavePlayListAtExit();
  // The rows of the play list file replace the list's rows; a missing or damaged file gives the
  // rows it holds up to the damage (none for a missing one). When the data folder has no list
  // but the program folder it passed over has one (kept there by an earlier version), that list
  // is read and saved to the data folder at once. A file that cannot be read whole is renamed
  // aside ("播放列表.txt.unreadable-<time>") before anything is written; when that fails, the
  // list file is not written this run. From here on every change to the rows is saved about a
  // second later (as SavePlayList does, at most one save per second). A damaged file and a data
  // folder that cannot be written are each said once in a message box once the window is up.
  void LoadPlayList();

  // Handlers.
  void OnMainWindowDestroyed();
  void PlaySelectedEntry();
  void NextEntry();
  void PreviousEntry();
  void DeleteSelectedEntry();
  void ClearPlayList();
  void ConfirmClear();
  void CloseClearDialog();
  void AddSearchResultEntry();

  void SelectPlayMode(PlayMode mode);
  PlayMode CurrentPlayMode() const { return mode_; }
  // Applies the current mode after a song ended; true when the status tick ends at once.
  bool ApplyPlayModeAtEnd();

  // The folder scan: adds every MP3 file under a chosen folder to the list. Does nothing while
  // a scan runs. Songs and folders skipped for names that are not UTF-8 are counted in a
  // message.
  void ChooseFolderAndScan();
  // Appends the MP3 files of `folder` and, depth first, of every folder below it, processing
  // events between entries. Only one scan runs at a time: false at once when one is running,
  // and false when StopScan ended this one early (the rows added so far stay). `skips`, when
  // given, receives how many songs and folders were left out for their names.
  bool ScanFolder(runtime::Text folder, ScanSkips* skips = nullptr);
  // True while a scan runs (handlers reached from its event processing see it).
  bool ScanRunning() const { return scanning_.running; }
  // Asks the running scan to stop at its next entry; nothing when none runs.
  void StopScan();

  // Adds files and folders (absolute paths) as "打开" adds a chosen folder: a file that the scan
  // would take (a regular file, or a link to one, named "*.mp3" in any ASCII case, its name
  // UTF-8) is appended, a folder is scanned, anything else is left out. Then, as after a scan,
  // the first row is selected and the status caption says "添加完毕！"; nothing when no row was
  // added. False, doing nothing, while a scan runs; false when a clear stopped it.
  bool AddPaths(const std::vector<runtime::Text>& paths);

 private:
  // Saves under way and done, counted in the order they started.
  struct SaveRuns {
    int started = 0;
    int active = 0;
    std::map<runtime::Text, int> completed;  // per file: the latest start whose file replaced it
  };
  struct ListFileState {
    SaveRuns saves;
    long long revision = 0;        // counts the changes to the rows since start
    long long saved_revision = 0;  // the revision the play list file holds
    bool save_pending = false;
    // A damaged list file that could not be put aside must not be overwritten.
    bool keep_damaged_file = false;
    bool failure_told = false;
  };
  // One scan at a time: events are processed between entries, and a second scan or a clear run
  // from there would interleave its rows with this one's or be undone by it.
  struct ScanState {
    bool running = false;
    bool stop = false;
    // Songs and folders left out because their names are not UTF-8: they cannot be shown, and
    // a path that cannot be written as text cannot be opened again from the list.
    int skipped_songs = 0;
    int skipped_folders = 0;
  };

  // The list file.
  void SaveSoonNow();
  void ScheduleSave();
  void OnRowsChanged();
  runtime::Text DamagedFileNotice(const runtime::Text& path, bool unreadable, int rows_kept);
  // Runs `fn` later on this thread, unless this play list is gone by then.
  void Later(int ms, std::function<void()> fn);
  // The handlers.
  bool ReportEmptyList();
  void SelectNextRow();
  // The play modes.
  bool OnLastRow();
  void SelectFollowingRow();
  // The scan.
  bool KeepScanning();
  void Scan(runtime::Text folder, int depth);

  PlaylistServices services_;
  bool clear_confirmed_ = false;
  ListFileState list_file_;
  ScanState scanning_;
  PlayMode mode_ = PlayMode::kPlayAll;
  // Work posted for later holds this; it does nothing once the play list is gone.
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace vorel::playlist

#endif  // VOREL_PLAYLIST_PLAYLIST_H_
