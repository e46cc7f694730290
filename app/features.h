#ifndef VOREL_APP_FEATURES_H_
#define VOREL_APP_FEATURES_H_

// The feature objects of one run of the program, built once in the order they depend on each
// other and wired to each other and to the platform (services.cc). The program makes one at
// start-up and keeps it until it ends; a test makes a fresh one for each test, so nothing one
// test did is seen by the next. The routine table (BuildRoutineTable) binds the windows'
// routine names to these objects.
//
// User-interface thread only. The objects must outlive the windows whose events reach them.

#include "app/desktop/desktop_bus.h"
#include "app/desktop/media_control.h"
#include "download/song_download.h"
#include "player/lyrics.h"
#include "player/player.h"
#include "playlist/playlist.h"
#include "search/music_search.h"
#include "search/sound_link.h"
#include "shell/full_view.h"
#include "shell/main_window.h"

namespace vorel::app {

class Features {
 public:
  // Builds the features and connects them: the player's pictures, cover reads and play-mode
  // hand-over, the play list's folder chooser, the shell's tray check, the windows' menus, keys
  // and drops. Call before the first window loads.
  Features();
  // Withdraws what the constructor gave the process-wide hooks (the windows' menus, keys and
  // drops, the busy pointer); the media service withdraws its own.
  ~Features();
  Features(const Features&) = delete;
  Features& operator=(const Features&) = delete;

  player::Player& player() { return player_; }
  player::Lyrics& lyrics() { return player_.lyrics(); }
  playlist::Playlist& playlist() { return playlist_; }
  shell::MainWindow& main_window() { return main_window_; }
  shell::FullView& full_view() { return full_view_; }
  search::MusicSearch& music_search() { return music_search_; }
  search::SoundLink& sound_link() { return sound_link_; }
  download::SongDownload& song_download() { return song_download_; }
  desktop::MediaControl& media_control() { return media_control_; }
  desktop::MediaService& media_service() { return media_service_; }

 private:
  player::Player player_;
  playlist::Playlist playlist_;
  shell::MainWindow main_window_;
  shell::FullView full_view_;
  search::MusicSearch music_search_;
  search::SoundLink sound_link_;
  download::SongDownload song_download_;
  // Last, so they go first: the bus object and the tray reach the player through them.
  desktop::MediaControl media_control_;
  desktop::MediaService media_service_;
};

}  // namespace vorel::app

#endif  // VOREL_APP_FEATURES_H_
