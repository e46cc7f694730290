#ifndef VOREL_APP_DESKTOP_MEDIA_CONTROL_H_
#define VOREL_APP_DESKTOP_MEDIA_CONTROL_H_

// What the desktop's media controls (media keys, sound menus, the tray menu, a second start of
// the program) may ask of the player, expressed in the player's own terms: each request runs the
// routine the matching click runs, through the runtime's event dispatch where a control has one,
// so play modes, status caption and play list behave exactly as with the mouse.
//
// User-interface thread only. Every function needs the main window loaded (MainWindowReady()).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/desktop/command_line.h"
#include "app/desktop/song_tags.h"
#include "playlist/playlist.h"

namespace vorel::desktop {

// The player as the desktop sees it.
struct PlayerSnapshot {
  std::string status = "Stopped";  // "Playing" (a stalled stream too), "Paused" or "Stopped"
  std::string track_id;            // an object path; the "no track" path while stopped
  std::string title;    // UTF-8: the song's tag, else the row's title; empty while stopped
  std::string artist;   // UTF-8, from the song's tags; empty when none
  std::string album;    // UTF-8, from the song's tags; empty when none
  std::string url;      // file:// for a local file, else the address
  std::string art_url;  // the song's embedded cover (a file:// copy), else the row's cover address
  std::int64_t length_us = -1;       // -1 when unknown
  double volume = 1.0;               // 0..1, from the volume bar
  std::string loop_status = "None";  // "None", "Track" or "Playlist"
  bool shuffle = false;
  bool can_go_next = false;
  bool can_go_previous = false;
  bool can_play = false;
  bool can_seek = false;

  bool operator==(const PlayerSnapshot&) const = default;
};

inline constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// What the media controls read and ask of the player and the play list beyond their window's
// controls.
struct MediaPlayerServices {
  std::function<std::uint32_t()> current_stream;  // the audio library's handle; 0 for none
  std::function<std::int64_t()> total_seconds;    // of the song playing
  std::function<int()> current_entry_index;       // the play-list row playing
  std::function<void()> pause_playback;
  std::function<void()> stop_playback;
  std::function<playlist::PlayMode()> current_play_mode;
  std::function<void()> play_selected_entry;  // the list's double-click
};

// A refused request: the D-Bus error name it maps to and a sentence for the caller.
struct ControlError {
  std::string name;
  std::string message;
};
// Empty on success.
using ControlResult = std::vector<ControlError>;

// The media controls of one player: the application builds one with the services of the player
// and play list it builds, and hands it to what drives the player from the desktop (the bus
// object, the tray menu, the window's keys). It must outlive them.
class MediaControl {
 public:
  explicit MediaControl(MediaPlayerServices services);
  MediaControl(const MediaControl&) = delete;
  MediaControl& operator=(const MediaControl&) = delete;

  PlayerSnapshot TakeSnapshot();
  std::int64_t PositionMicroseconds() const;

  void PlayPause();  // pauses while playing, else plays
  void Play();       // resumes a paused song, or starts the selected row
  void Pause();
  void Stop();
  // The next and previous buttons' routines, which wrap round the list in every play mode.
  void Next();
  void Previous();

  // Moves by `offset_us` through the position slider's routine (whole seconds): before the
  // start means the start, past the end means Next(). Nothing while the song cannot be
  // positioned.
  void Seek(std::int64_t offset_us);
  ControlResult SetPosition(const std::string& track_id, std::int64_t position_us);
  // Moves the volume bar (0..1, values outside clamped; NaN refused) and runs its routine.
  ControlResult SetVolume(double volume);
  ControlResult SetLoopStatus(const std::string& loop_status);
  void SetShuffle(bool shuffle);

  // Appends the items to the play list as the folder scan adds files ("本地文件", path, file
  // name) or as network entries ("网络文件", address, last address segment), each checked
  // again, then plays the first one appended. Returns a line for each item left out.
  std::vector<std::string> OpenItems(const std::vector<OpenItem>& items);
  ControlResult OpenUri(const std::string& uri);

 private:
  // The tags of the local file last asked about: the snapshot is taken after every routine,
  // and the file is read again only when another song plays.
  struct TagCache {
    std::string path;
    SongTags tags;
    std::string art_url;
  };

  std::uint32_t StreamState() const;
  std::string TrackId() const;
  std::int64_t LengthMicroseconds() const;
  const TagCache& TagsOf(const std::string& path);

  MediaPlayerServices services_;
  TagCache tags_;
};

// The main window is loaded and the program is not ending.
bool MainWindowReady();

// Shows the main window when hidden, restores it when minimised, and brings it to the front.
void Raise();
// Ends the program as the system's close does: the play list is saved, the exit code is 0.
void Quit();

// The main window is shown and not minimised.
bool MainWindowShown();
// Shows the main window when it is hidden or minimised, else hides it as the hide button does.
void ToggleMainWindow();

}  // namespace vorel::desktop

#endif  // VOREL_APP_DESKTOP_MEDIA_CONTROL_H_
