// The application's routines that the window set's events run. Each feature adds its handlers
// here by the name windows/windows.desc uses; a name without an entry binds nothing.

#include "app/features.h"
#include "app/window_set.h"
#include "download/song_download.h"
#include "player/lyrics.h"
#include "player/player.h"
#include "playlist/playlist.h"
#include "search/music_search.h"
#include "search/sound_link.h"
#include "shell/main_window.h"

namespace vorel::app {
namespace {

// A handler that takes no event arguments and hands nothing back to the control.
template <void (*F)()>
runtime::EventResult Plain(const runtime::EventArgs&) {
  F();
  return std::nullopt;
}

// A handler that runs a routine of one of the feature objects, which outlives the table.
template <class Feature>
runtime::Routine On(Feature& feature, void (Feature::*routine)()) {
  return [&feature, routine](const runtime::EventArgs&) -> runtime::EventResult {
    (feature.*routine)();
    return std::nullopt;
  };
}

// A handler that selects one play mode.
runtime::Routine SelectMode(playlist::Playlist& list, playlist::PlayMode mode) {
  return [&list, mode](const runtime::EventArgs&) -> runtime::EventResult {
    list.SelectPlayMode(mode);
    return std::nullopt;
  };
}

}  // namespace

std::vector<RoutineBinding> RoutineBindings(Features& features) {
  using playlist::PlayMode;
  using shell::MainWindow;
  MainWindow& shell = features.main_window();
  search::MusicSearch& search = features.music_search();
  using search::SoundLink;
  SoundLink& link = features.sound_link();
  using player::Lyrics;
  using player::Player;
  Player& player = features.player();
  using download::SongDownload;
  SongDownload& song = features.song_download();
  using playlist::Playlist;
  Playlist& list = features.playlist();
  return {
      {"OnMainWindowCreated", On(player, &Player::OnMainWindowCreated)},
      {"OnMainWindowDestroyed", On(list, &Playlist::OnMainWindowDestroyed)},
      {"OnTrayIconEvent", On(shell, &MainWindow::OnTrayIconEvent)},
      {"SelectPlayModeSinglePlay", SelectMode(list, PlayMode::kSinglePlay)},
      {"SelectPlayModeSingleLoop", SelectMode(list, PlayMode::kSingleLoop)},
      {"SelectPlayModePlayAll", SelectMode(list, PlayMode::kPlayAll)},
      {"SelectPlayModeLoopAll", SelectMode(list, PlayMode::kLoopAll)},
      {"SelectPlayModeRandom", SelectMode(list, PlayMode::kRandom)},
      {"TogglePlayModeChooser", On(shell, &MainWindow::TogglePlayModeChooser)},
      {"HideMainWindow", On(shell, &MainWindow::HideMainWindow)},
      {"OnCloseClicked", On(shell, &MainWindow::OnCloseClicked)},
      {"OnSearchBoxFocus", On(shell, &MainWindow::OnSearchBoxFocus)},
      {"OnSearchBoxBlur", On(shell, &MainWindow::OnSearchBoxBlur)},
      {"AddSearchResultEntry", On(list, &Playlist::AddSearchResultEntry)},
      {"CollapseSearchPanel", On(shell, &MainWindow::CollapseSearchPanel)},
      {"CollapsePlayListPanel", On(shell, &MainWindow::CollapsePlayListPanel)},
      {"TogglePlayListPanel", On(shell, &MainWindow::TogglePlayListPanel)},
      {"ClearPlayList", On(list, &Playlist::ClearPlayList)},
      {"DeleteSelectedEntry", On(list, &Playlist::DeleteSelectedEntry)},
      {"PlaySelectedEntry", On(list, &Playlist::PlaySelectedEntry)},
      {"NextEntry", On(list, &Playlist::NextEntry)},
      {"PreviousEntry", On(list, &Playlist::PreviousEntry)},
      {"ChooseFolderAndScan", On(list, &Playlist::ChooseFolderAndScan)},
      {"TogglePlayPause", On(player, &Player::TogglePlayPause)},
      {"ApplyVolume", On(player, &Player::ApplyVolume)},
      {"ToggleMute", On(player, &Player::ToggleMute)},
      {"SeekToSlider", On(player, &Player::SeekToSlider)},
      {"PlayerStatusTick", On(player, &Player::PlayerStatusTick)},
      {"DrawSpectrum", On(player, &Player::DrawSpectrum)},
      {"LyricsTick", On(features.lyrics(), &Lyrics::LyricsTick)},
      {"ToggleVolumePanel", On(shell, &MainWindow::ToggleVolumePanel)},
      {"ConfirmExit", On(shell, &MainWindow::ConfirmExit)},
      {"CancelExit", On(shell, &MainWindow::CancelExit)},
      {"CloseExitDialog", On(shell, &MainWindow::CloseExitDialog)},
      {"ConfirmClear", On(list, &Playlist::ConfirmClear)},
      {"StartSearch", On(search, &search::MusicSearch::StartSearch)},
      {"OnSearchBoxKey",
       [&search](const runtime::EventArgs& args) { return search.OnSearchBoxKey(args); }},
      {"ResolveSoundLink", On(link, &SoundLink::ResolveSoundLink)},
      {"OnAddressBoxPress", On(link, &SoundLink::OnAddressBoxPress)},
      {"OnAddressBoxDoubleClick", On(link, &SoundLink::OnAddressBoxDoubleClick)},
      {"OnDownloadClicked", On(song, &SongDownload::OnDownloadClicked)},
      {"DownloadTimerTick", On(song, &SongDownload::DownloadTimerTick)},
      {"CloseClearDialog", On(list, &Playlist::CloseClearDialog)},
  };
}

}  // namespace vorel::app
