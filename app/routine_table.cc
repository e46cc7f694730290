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

template <playlist::PlayMode M>
void SelectMode() {
  playlist::SelectPlayMode(M);
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
  return {
      {"OnMainWindowCreated", On(player, &Player::OnMainWindowCreated)},
      {"OnMainWindowDestroyed", Plain<playlist::OnMainWindowDestroyed>},
      {"OnTrayIconEvent", On(shell, &MainWindow::OnTrayIconEvent)},
      {"SelectPlayModeSinglePlay", Plain<SelectMode<PlayMode::kSinglePlay>>},
      {"SelectPlayModeSingleLoop", Plain<SelectMode<PlayMode::kSingleLoop>>},
      {"SelectPlayModePlayAll", Plain<SelectMode<PlayMode::kPlayAll>>},
      {"SelectPlayModeLoopAll", Plain<SelectMode<PlayMode::kLoopAll>>},
      {"SelectPlayModeRandom", Plain<SelectMode<PlayMode::kRandom>>},
      {"TogglePlayModeChooser", On(shell, &MainWindow::TogglePlayModeChooser)},
      {"HideMainWindow", On(shell, &MainWindow::HideMainWindow)},
      {"OnCloseClicked", On(shell, &MainWindow::OnCloseClicked)},
      {"OnSearchBoxFocus", On(shell, &MainWindow::OnSearchBoxFocus)},
      {"OnSearchBoxBlur", On(shell, &MainWindow::OnSearchBoxBlur)},
      {"AddSearchResultEntry", Plain<playlist::AddSearchResultEntry>},
      {"CollapseSearchPanel", On(shell, &MainWindow::CollapseSearchPanel)},
      {"CollapsePlayListPanel", On(shell, &MainWindow::CollapsePlayListPanel)},
      {"TogglePlayListPanel", On(shell, &MainWindow::TogglePlayListPanel)},
      {"ClearPlayList", Plain<playlist::ClearPlayList>},
      {"DeleteSelectedEntry", Plain<playlist::DeleteSelectedEntry>},
      {"PlaySelectedEntry", Plain<playlist::PlaySelectedEntry>},
      {"NextEntry", Plain<playlist::NextEntry>},
      {"PreviousEntry", Plain<playlist::PreviousEntry>},
      {"ChooseFolderAndScan", Plain<playlist::ChooseFolderAndScan>},
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
      {"ConfirmClear", Plain<playlist::ConfirmClear>},
      {"StartSearch", On(search, &search::MusicSearch::StartSearch)},
      {"OnSearchBoxKey",
       [&search](const runtime::EventArgs& args) { return search.OnSearchBoxKey(args); }},
      {"ResolveSoundLink", On(link, &SoundLink::ResolveSoundLink)},
      {"OnAddressBoxPress", On(link, &SoundLink::OnAddressBoxPress)},
      {"OnAddressBoxDoubleClick", On(link, &SoundLink::OnAddressBoxDoubleClick)},
      {"OnDownloadClicked", On(song, &SongDownload::OnDownloadClicked)},
      {"DownloadTimerTick", On(song, &SongDownload::DownloadTimerTick)},
      {"CloseClearDialog", Plain<playlist::CloseClearDialog>},
  };
}

}  // namespace vorel::app
