#ifndef VOREL_APP_DESKTOP_DESKTOP_BUS_H_
#define VOREL_APP_DESKTOP_DESKTOP_BUS_H_

// Vorel on the desktop's session bus: the MPRIS 2 media player interface
// (org.mpris.MediaPlayer2.vorel at /org/mpris/MediaPlayer2), through which media keys, sound
// menus and desktop widgets drive the player, and the hand-over by which a second start of the
// program passes its files to the one already running (interface org.vorel.Vorel, method
// Open(as) -> as: absolute paths or http(s) addresses in, a line per refused one out).
//
// User-interface thread only. Without a session bus the program runs as before, without these.

#include <memory>
#include <optional>
#include <vector>

#include "app/desktop/command_line.h"
#include "app/desktop/media_control.h"

namespace vorel::desktop {

inline constexpr char kBusName[] = "org.mpris.MediaPlayer2.vorel";
inline constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

// Called before the windows load. When another Vorel owns the bus name, hands it `items` (or,
// with no arguments at all, asks it to show its window) and returns the exit code this start
// should end with: 0 when handed over, 1 when the running program could not be reached or no
// argument was usable. Nothing when this start is the only one (or there is no bus).
std::optional<int> HandOverToRunningProgram(const std::vector<OpenItem>& items, int item_arguments);

enum class BusRegistration { kOwned, kNoBus, kTaken };

class MediaObject;

// The player on the desktop: its media player object on the session bus and the tray icon's
// menu, both driving `control`. The application builds one beside the MediaControl. What it
// registers is withdrawn when it is destroyed (the object and the bus name, the runtime's
// change observer, the tray menu), so nothing reaches a destroyed player and a later one may
// publish afresh. User-interface thread only.
class MediaService {
 public:
  explicit MediaService(MediaControl& control);
  ~MediaService();
  MediaService(const MediaService&) = delete;
  MediaService& operator=(const MediaService&) = delete;

  // Publishes the media player object and takes the bus name; kTaken when another program got
  // the name first (a start racing this one). Needs the main window loaded. Once published, a
  // further call does nothing and says kOwned.
  BusRegistration Start();

  // Fills the tray icon's menu: show/hide, play/pause, previous, next, quit.
  void InstallTrayMenu();

  // After the main window has loaded: the tray menu, the media player object and bus name,
  // then the command line's items appended and the first played. When another start took the
  // bus name meanwhile, the items are handed to it and this program ends.
  void StartDesktop(const std::vector<OpenItem>& items, int item_arguments);

 private:
  MediaControl& control_;
  std::unique_ptr<MediaObject> object_;  // while published
  bool tray_menu_ = false;
};

}  // namespace vorel::desktop

#endif  // VOREL_APP_DESKTOP_DESKTOP_BUS_H_
