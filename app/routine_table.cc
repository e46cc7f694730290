// The application's routines that the window set's events run. Each feature adds its handlers
// here by the name windows/windows.desc uses; a name without an entry binds nothing.

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

template <playlist::PlayMode M>
void SelectMode() {
  playlist::SelectPlayMode(M);
}

}  // namespace

const std::vector<RoutineBinding>& RoutineBindings() {
  using playlist::PlayMode;
  static const std::vector<RoutineBinding> bindings = {
      {"OnMainWindowCreated", Plain<player::OnMainWindowCreated>},
      {"OnMainWindowDestroyed", Plain<playlist::OnMainWindowDestroyed>},
      {"OnTrayIconEvent", Plain<shell::OnTrayIconEvent>},
      {"SelectPlayModeSinglePlay", Plain<SelectMode<PlayMode::kSinglePlay>>},
      {"SelectPlayModeSingleLoop", Plain<SelectMode<PlayMode::kSingleLoop>>},
      {"SelectPlayModePlayAll", Plain<SelectMode<PlayMode::kPlayAll>>},
      {"SelectPlayModeLoopAll", Plain<SelectMode<PlayMode::kLoopAll>>},
      {"SelectPlayModeRandom", Plain<SelectMode<PlayMode::kRandom>>},
      {"TogglePlayModeChooser", Plain<shell::TogglePlayModeChooser>},
      {"HideMainWindow", Plain<shell::HideMainWindow>},
      {"OnCloseClicked", Plain<shell::OnCloseClicked>},
      {"OnSearchBoxFocus", Plain<shell::OnSearchBoxFocus>},
      {"OnSearchBoxBlur", Plain<shell::OnSearchBoxBlur>},
      {"AddSearchResultEntry", Plain<playlist::AddSearchResultEntry>},
      {"CollapseSearchPanel", Plain<shell::CollapseSearchPanel>},
      {"CollapsePlayListPanel", Plain<shell::CollapsePlayListPanel>},
      {"TogglePlayListPanel", Plain<shell::TogglePlayListPanel>},
      {"ClearPlayList", Plain<playlist::ClearPlayList>},
      {"DeleteSelectedEntry", Plain<playlist::DeleteSelectedEntry>},
      {"PlaySelectedEntry", Plain<playlist::PlaySelectedEntry>},
      {"NextEntry", Plain<playlist::NextEntry>},
      {"PreviousEntry", Plain<playlist::PreviousEntry>},
      {"ChooseFolderAndScan", Plain<playlist::ChooseFolderAndScan>},
      {"TogglePlayPause", Plain<player::TogglePlayPause>},
      {"ApplyVolume", Plain<player::ApplyVolume>},
      {"ToggleMute", Plain<player::ToggleMute>},
      {"SeekToSlider", Plain<player::SeekToSlider>},
      {"PlayerStatusTick", Plain<player::PlayerStatusTick>},
      {"DrawSpectrum", Plain<player::DrawSpectrum>},
      {"LyricsTick", Plain<player::LyricsTick>},
      {"ToggleVolumePanel", Plain<shell::ToggleVolumePanel>},
      {"ConfirmExit", Plain<shell::ConfirmExit>},
      {"CancelExit", Plain<shell::CancelExit>},
      {"CloseExitDialog", Plain<shell::CloseExitDialog>},
      {"ConfirmClear", Plain<playlist::ConfirmClear>},
      {"StartSearch", Plain<search::StartSearch>},
      {"OnSearchBoxKey", search::OnSearchBoxKey},
      {"ResolveSoundLink", Plain<search::ResolveSoundLink>},
      {"OnAddressBoxPress", Plain<search::OnAddressBoxPress>},
      {"OnAddressBoxDoubleClick", Plain<search::OnAddressBoxDoubleClick>},
      {"OnDownloadClicked", Plain<download::OnDownloadClicked>},
      {"DownloadTimerTick", Plain<download::DownloadTimerTick>},
      {"CloseClearDialog", Plain<playlist::CloseClearDialog>},
  };
  return bindings;
}

}  // namespace vorel::app
