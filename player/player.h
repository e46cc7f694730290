#ifndef VOREL_PLAYER_PLAYER_H_
#define VOREL_PLAYER_PLAYER_H_

// The player: plays the selected row of the play list through the audio library, keeps the
// status caption, time label, position slider, tray tip, cover and spectrum of the main window
// up to date, and hands over to the play mode when a song ends.
//
// Every routine here is an event handler or is called by one: user-interface thread only.
// Opening a network stream and fetching a cover run on a worker: OpenAndPlay returns while
// they wait on their servers, and the steps after them follow on this thread in their order.

#include <cstdint>
#include <functional>

#include "player/lyrics.h"
#include "runtime/latest_work.h"
#include "runtime/text.h"

namespace vorel::player {

// What the player needs from the rest of the program, wired once by the application.
struct PlayerServices {
  runtime::Bytes default_cover;  // an image file shown when an entry has no cover
  runtime::Bytes tray_icon;      // an icon file for the tray
  // A whole resource read over HTTP; empty on failure. Used for cover addresses.
  std::function<runtime::Bytes(const runtime::Text&)> read_url_bytes;
  // The play mode's rule at the end of a song; true when the status tick ends at once.
  std::function<bool()> apply_play_mode_at_end;
  // Selects the start-up play mode.
  std::function<void()> select_initial_play_mode;
  // Loads the play list into the list.
  std::function<void()> load_play_list;
};

// The player's state, readable by the play list, the lyrics and tests.
struct PlayerState {
  std::uint32_t current_stream = 0;
  std::int32_t current_entry_index = 0;
  bool needs_open = true;
  std::int64_t total_seconds = 0;
  std::int32_t position_seconds = 0;
  runtime::Text position_text;
  float saved_volume = 0;
  bool time_label_live = false;
  std::int32_t hold_ticks = 0;
};

// The player of the main window, with the lyrics it starts, stops and tells of changes. The
// application makes one and keeps it as long as the windows whose events reach it.
class Player {
 public:
  explicit Player(PlayerServices services);
  // Drops what a pending OpenAndPlay waits for; its workers end unseen.
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Handlers and routines.
  void OnMainWindowCreated();
  void InitPlayer();
  // Plays the selected row. A local file opens at once; a network stream opens on a worker, and
  // the rest (play, caption, timers, lyrics, cover) follows when it has opened; the cover is
  // fetched on a worker as well. A newer OpenAndPlay or any stop supersedes the pending steps.
  void OpenAndPlay();
  // The same, then `after` once the cover is shown (at once when nothing waits on a server);
  // never when superseded or cancelled.
  void OpenAndPlayThen(std::function<void()> after);
  // True while the latest OpenAndPlay waits on a server (the stream or the cover).
  bool OpenPending() const;
  // Drops what the latest OpenAndPlay waits for: nothing of it reaches the window.
  void CancelOpen();
  // How many times OpenAndPlay has been called; a change tells that another entry was asked for.
  std::uint64_t OpenCount() const { return open_count_; }
  void StopPlayback();
  void PausePlayback();
  void TogglePlayPause();
  void ApplyVolume();
  void ToggleMute();
  void SeekToSlider();
  void PlayerStatusTick();
  void DrawSpectrum();

  const PlayerState& State() const { return state_; }
  // Keeps the playing entry's index right after `row` was deleted from the list above it.
  void NoteRowDeleted(std::int32_t row);

  Lyrics& lyrics() { return lyrics_; }

 private:
  struct Opened;                   // a stream just opened, or why it did not
  friend struct PlayerTestAccess;  // player/testing.h

  static Opened OpenEntry(bool network, const runtime::Text& address);
  void SetTrayTip(const runtime::Text& tip);
  void ShowCoverBytes(const runtime::Bytes& cover);
  void TakeStream(const Opened& o);
  void ShowCoverThen(int row, std::function<void()> after);
  void PlayOpened(const Opened& o, bool network, const runtime::Text& address,
                  std::function<void()> after);

  PlayerServices services_;
  PlayerState state_;
  Lyrics lyrics_{state_};
  // The network steps of the latest OpenAndPlay: opening a network stream, then fetching the
  // cover. A newer OpenAndPlay, or any stop, supersedes them.
  runtime::LatestWork opening_;
  std::uint64_t open_count_ = 0;
};

// Seconds as "mm:ss", or "hh:mm:ss" from one hour on: 62 -> "01:02", 3725 -> "01:02:05".
runtime::Text FormatSeconds(std::int32_t seconds);

}  // namespace vorel::player

#endif  // VOREL_PLAYER_PLAYER_H_
