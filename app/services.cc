// Builds the feature objects and wires the feature libraries to each other and to the platform.
// This is the one file that knows two features.

#include "app/desktop/media_control.h"
#include "app/features.h"
#include "app/settings.h"
#include "app/window_keys.h"
#include "app/window_set.h"
#include "assets/assets.h"
#include "download/song_download.h"
#include "player/audio.h"
#include "player/player.h"
#include "playlist/playlist.h"
#include "runtime/latest_work.h"
#include "runtime/window_ops.h"
#include "search/music_search.h"
#include "search/search_services.h"
#include "search/sound_link.h"
#include "shell/full_view.h"
#include "shell/main_window.h"
#include "ui/qt/desktop.h"
#include "ui/qt/lyric_sheet.h"
#include "ui/qt/window_input.h"
#include "web/url_bytes.h"
#include "windows/window_ids.h"

namespace vorel::app {
namespace {

using namespace runtime::literals;

// Single files chosen in the desktop's file chooser join the list as a scan adds them.
void ChooseFilesAndAdd(playlist::Playlist& list) {
  if (list.ScanRunning()) return;
  std::vector<runtime::Text> files = qt::BrowseForFiles("请选择MP3文件"_t);
  if (!files.empty()) list.AddPaths(files);
}

// Drops a resolve or an open that waits on a server; the window says it was cancelled.
void CancelWaiting(search::SoundLink& sound_link, player::Player& player) {
  sound_link.CancelResolve();
  player.CancelOpen();
  runtime::WriteProperty(ids::kMainWindow, ids::kStatusCaption, ids::kPropCaption, "已取消"_t);
}

// The main window's right-click menu: the full view's entry, single files, and ways to stop what
// waits on a server (a resolve, a song or cover opening) and a download.
std::vector<qt::MenuItem> MainWindowMenu(shell::FullView& full_view, search::SoundLink& sound_link,
                                         player::Player& player, playlist::Playlist& list,
                                         download::SongDownload& song_download) {
  std::vector<qt::MenuItem> items;
  for (shell::MenuEntry& e : full_view.FullViewMenuEntries()) {
    items.push_back({std::move(e.label), std::move(e.run)});
  }
  items.push_back({"添加文件…"_t, [&list] { ChooseFilesAndAdd(list); }});
  if (sound_link.ResolvePending() || player.OpenPending()) {
    items.push_back({"取消"_t, [&sound_link, &player] { CancelWaiting(sound_link, player); }});
  }
  if (song_download.DownloadRunning()) {
    items.push_back({"取消下载"_t, [&song_download] { song_download.CancelDownload(); }});
  }
  return items;
}

void SayHostMissing(HostKey key, std::string_view feature) {
  runtime::ShowMessageBox(runtime::TextFromUtf8(HostMissingMessage(key, feature)), 48);
}

search::SearchServices SearchServicesFor(shell::MainWindow& main_window, player::Player& player) {
  return {
      .search_host = [] { return ConfiguredHost(HostKey::kSearch, "the music search"); },
      .sound_api_host = [] { return ConfiguredHost(HostKey::kSoundApi, "the link resolver"); },
      .host_missing = [] { SayHostMissing(HostKey::kSoundApi, "声音链接解析"); },
      .sample_address = [] { return SampleAddress(); },
      .slide_panel = [&main_window](int which) { main_window.SlidePanel(which); },
      .stop_playback = [&player] { player.StopPlayback(); },
      .open_and_play = [&player] { player.OpenAndPlay(); },
      .open_count = [&player] { return player.OpenCount(); },
  };
}

player::PlayerServices PlayerServicesFor(playlist::Playlist& list) {
  auto bytes = [](std::span<const unsigned char> s) { return runtime::Bytes(s.begin(), s.end()); };
  return {
      .default_cover = bytes(assets::DefaultCover()),
      .tray_icon = bytes(assets::TrayIcon()),
      .read_url_bytes = [](const runtime::Text& address) { return web::ReadUrlBytes(address); },
      .apply_play_mode_at_end = [&list] { return list.ApplyPlayModeAtEnd(); },
      .select_initial_play_mode = [&list] { list.SelectPlayMode(playlist::PlayMode::kPlayAll); },
      .load_play_list = [&list] { list.LoadPlayList(); },
  };
}

bool Playing(const player::Player& player) {
  return player::audio::ChannelIsActive(player.State().current_stream) == player::audio::kPlaying;
}

}  // namespace

Features::Features()
    // The player and the play list call each other: each is given the other before either runs.
    : player_(PlayerServicesFor(playlist_)),
      playlist_({
          .search_query_text = [this] { return music_search_.SearchQueryText(); },
          .browse_for_folder =
              [](const runtime::Text& title) { return qt::BrowseForFolder(title, false); },
          .current_entry_index = [this] { return player_.State().current_entry_index; },
          .playing = [this] { return Playing(player_); },
          .stop_playback = [this] { player_.StopPlayback(); },
          .open_and_play = [this] { player_.OpenAndPlay(); },
          .toggle_play_pause = [this] { player_.TogglePlayPause(); },
          .open_pending = [this] { return player_.OpenPending(); },
          .cancel_open = [this] { player_.CancelOpen(); },
          .note_row_deleted = [this](int row) { player_.NoteRowDeleted(row); },
      }),
      main_window_({
          .tray_available = [] { return qt::TrayAvailable(); },
          .minimise_main_window =
              [] { qt::MinimiseWindow(ids::kMainWindow, ids::kMainWindowSelf); },
          .mark_button = [](runtime::ControlId button,
                            bool marked) { qt::MarkButton(ids::kMainWindow, button, marked); },
          .playing = [this] { return Playing(player_); },
          .stop_playback = [this] { player_.StopPlayback(); },
          .current_play_mode = [this] { return playlist_.CurrentPlayMode(); },
          .save_play_list_at_exit = [this] { playlist_.SavePlayListAtExit(); },
      }),
      full_view_(
          {
              .show_lyric_sheet =
                  [](const std::vector<runtime::Text>& lines, int current,
                     const runtime::Text& message) {
                    qt::ShowLyricSheet(ids::kMainWindow, ids::kLyricsPanel, lines, current,
                                       message);
                  },
              .hide_lyric_sheet = [] { qt::HideLyricSheet(ids::kMainWindow, ids::kLyricsPanel); },
          },
          main_window_, player_.lyrics()),
      music_search_(SearchServicesFor(main_window_, player_)),
      sound_link_(SearchServicesFor(main_window_, player_)),
      song_download_({
          .sound_source_url = [this] { return sound_link_.SoundSourceUrl(); },
          .sound_name = [this] { return sound_link_.SoundName(); },
      }),
      media_control_({
          .current_stream = [this] { return player_.State().current_stream; },
          .total_seconds = [this] { return player_.State().total_seconds; },
          .current_entry_index = [this] { return player_.State().current_entry_index; },
          .pause_playback = [this] { player_.PausePlayback(); },
          .stop_playback = [this] { player_.StopPlayback(); },
          .current_play_mode = [this] { return playlist_.CurrentPlayMode(); },
          .play_selected_entry = [this] { playlist_.PlaySelectedEntry(); },
      }),
      media_service_(media_control_) {
  runtime::SetBusyObserver([](bool busy) { qt::ShowBusyPointer(busy); });
  qt::SetWindowInputHooks(
      ids::kMainWindow, ids::kMainWindowSelf,
      {.menu_items =
           [this] {
             return MainWindowMenu(full_view_, sound_link_, player_, playlist_, song_download_);
           },
       .key =
           [this](int virtual_key, int key_state, runtime::ControlId focused) {
             return full_view_.OnMainWindowShortcut(virtual_key, key_state) ||
                    OnMainWindowKey(media_control_, virtual_key, key_state, focused);
           },
       .dropped =
           [this](std::vector<runtime::Text> paths) {
             if (runtime::IsWindowLoaded(ids::kMainWindow)) playlist_.AddPaths(paths);
           }});
  qt::SetWindowInputHooks(ids::kExitDialog, ids::kExitDialogSelf,
                          {.key = &OnExitDialogKey, .first_focus = ids::kExitConfirm});
  qt::SetWindowInputHooks(ids::kClearDialog, ids::kClearDialogSelf,
                          {.key = &OnClearDialogKey, .first_focus = ids::kClearConfirm});
}

Features::~Features() {
  qt::SetWindowInputHooks(ids::kMainWindow, ids::kMainWindowSelf, {});
  qt::SetWindowInputHooks(ids::kExitDialog, ids::kExitDialogSelf, {});
  qt::SetWindowInputHooks(ids::kClearDialog, ids::kClearDialogSelf, {});
  runtime::SetBusyObserver(nullptr);
}

}  // namespace vorel::app
