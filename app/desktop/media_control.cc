#include "app/desktop/media_control.h"

#include "app/desktop/song_tags.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "player/audio.h"
#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/native_ui.h"
#include "runtime/window_ops.h"
#include "ui/qt/desktop.h"
#include "windows/window_ids.h"

namespace vorel::desktop {
namespace {

using namespace runtime::literals;
using namespace ids;
using playlist::PlayMode;
namespace audio = player::audio;

constexpr char kInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr char kNotSupported[] = "org.freedesktop.DBus.Error.NotSupported";
constexpr char kFileNotFound[] = "org.freedesktop.DBus.Error.FileNotFound";

ControlResult Refuse(const char* name, std::string message) {
  return {ControlError{name, std::move(message)}};
}

void Click(runtime::ControlId control) {
  runtime::RaiseEvent(kMainWindow, control, runtime::kEventClicked);
}

int Rows() { return runtime::RowCount(kMainWindow, kPlayList); }

bool ButtonSaysPlay() {
  return runtime::ReadTextProperty(kMainWindow, kPlayPauseButton, kPropCaption) == "播放"_t;
}

std::string FileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

std::string CoverFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache != nullptr && *cache == '/') return std::string(cache) + "/vorel";
  if (home != nullptr && *home == '/') return std::string(home) + "/.cache/vorel";
  return "/tmp/vorel-" + std::to_string(::getuid());
}

// Desktops show the cover from a file; the embedded picture is written once to the cache
// folder under a name made from its bytes, so two songs with one cover share the file.
std::string CoverFileUrl(const SongTags& tags) {
  if (tags.cover.empty()) return {};
  const std::string ext = tags.cover_mime == "image/png" ? ".png" : ".jpg";
  std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
  for (std::uint8_t b : tags.cover) hash = (hash ^ b) * 1099511628211ULL;
  char name[32];
  std::snprintf(name, sizeof name, "cover-%016llx", static_cast<unsigned long long>(hash));
  const std::string folder = CoverFolder();
  const std::string path = folder + "/" + name + ext;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    std::filesystem::create_directories(folder, ec);
    const std::string part = path + ".part";
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(tags.cover.data()),
              static_cast<std::streamsize>(tags.cover.size()));
    out.close();
    if (!out || (std::filesystem::rename(part, path, ec), ec)) {
      std::filesystem::remove(part, ec);
      return {};
    }
  }
  return FileUrl(path);
}

// Seeks through the position slider's own routine, as a drag of the slider does.
void SeekToSecond(std::int64_t second) {
  runtime::WriteProperty(kMainWindow, kPositionSlider, kPropPosition,
                         static_cast<std::int32_t>(second));
  runtime::RaiseEvent(kMainWindow, kPositionSlider, runtime::kEventClicked);
}

}  // namespace

MediaControl::MediaControl(MediaPlayerServices services) : services_(std::move(services)) {}

std::uint32_t MediaControl::StreamState() const {
  return audio::ChannelIsActive(services_.current_stream());
}

const MediaControl::TagCache& MediaControl::TagsOf(const std::string& path) {
  if (tags_.path != path) {
    tags_.path = path;
    tags_.tags = ReadSongTags(path);
    tags_.art_url = CoverFileUrl(tags_.tags);
  }
  return tags_;
}

std::string MediaControl::TrackId() const {
  return "/org/vorel/Vorel/track/" + std::to_string(services_.current_stream());
}

std::int64_t MediaControl::LengthMicroseconds() const {
  const std::int64_t seconds = services_.total_seconds();
  return seconds > 0 ? seconds * 1'000'000 : -1;
}

bool MainWindowReady() { return !runtime::ProgramEnding() && runtime::IsWindowLoaded(kMainWindow); }

PlayerSnapshot MediaControl::TakeSnapshot() {
  PlayerSnapshot s;
  const std::uint32_t state = StreamState();
  s.status = state == audio::kPlaying || state == audio::kStalled ? "Playing"
             : state == audio::kPaused                            ? "Paused"
                                                                  : "Stopped";
  const int rows = Rows();
  const int row = services_.current_entry_index();
  if (s.status != "Stopped" && row >= 0 && row < rows) {
    s.track_id = TrackId();
    const playlist::PlaylistEntry entry = playlist::ReadEntry(row);
    const bool network = entry.kind == playlist::EntryKind::kNetworkFile;
    std::string where = runtime::Utf8FromText(entry.location);
    s.url = network ? where : FileUrl(where);
    s.title = runtime::Utf8FromText(entry.title);
    s.art_url = runtime::Utf8FromText(entry.cover);
    if (!network) {
      const TagCache& t = TagsOf(where);
      if (!t.tags.title.empty()) s.title = t.tags.title;
      s.artist = t.tags.artist;
      s.album = t.tags.album;
      if (!t.art_url.empty()) s.art_url = t.art_url;
    }
    s.length_us = LengthMicroseconds();
  } else {
    s.track_id = kNoTrack;
  }
  const int bar_max = runtime::ReadIntProperty(kMainWindow, kVolumeBar, kPropMaximum);
  const int bar_pos = runtime::ReadIntProperty(kMainWindow, kVolumeBar, kPropPosition);
  s.volume = bar_max > 0 ? static_cast<double>(bar_pos) / bar_max : 0.0;
  switch (services_.current_play_mode()) {
    case PlayMode::kSingleLoop: s.loop_status = "Track"; break;
    case PlayMode::kLoopAll: s.loop_status = "Playlist"; break;
    case PlayMode::kRandom:
      s.loop_status = "Playlist";
      s.shuffle = true;
      break;
    default: s.loop_status = "None"; break;
  }
  s.can_play = rows > 0;
  // The buttons wrap round the list in every mode: they act whenever it has rows.
  s.can_go_next = rows > 0;
  s.can_go_previous = rows > 0;
  s.can_seek = s.status != "Stopped" && s.length_us > 0;
  return s;
}

std::int64_t MediaControl::PositionMicroseconds() const {
  const std::uint32_t h = services_.current_stream();
  if (StreamState() == audio::kStopped) return 0;
  double seconds = player::audio::ChannelBytes2Seconds(h, player::audio::ChannelGetPosition(h));
  return seconds > 0 ? static_cast<std::int64_t>(seconds * 1e6) : 0;
}

void MediaControl::Play() {
  if (StreamState() == audio::kPlaying || StreamState() == audio::kStalled) return;
  // The button opens the selected row, or resumes a paused song, when it reads "播放".
  if (ButtonSaysPlay()) Click(kPlayPauseButton);
}

void MediaControl::Pause() {
  if (StreamState() != audio::kPlaying && StreamState() != audio::kStalled) return;
  if (!ButtonSaysPlay()) {
    Click(kPlayPauseButton);
    return;
  }
  // A song started by a double-click, Next or a search result plays while the button still
  // reads "播放"; clicking it would start the song again, so its pause routine runs directly.
  services_.pause_playback();
}

void MediaControl::PlayPause() {
  if (StreamState() == audio::kPlaying || StreamState() == audio::kStalled) {
    Pause();
  } else {
    Play();
  }
}

void MediaControl::Stop() { services_.stop_playback(); }

void MediaControl::Next() { Click(kNextButton); }

void MediaControl::Previous() { Click(kPreviousButton); }

void MediaControl::Seek(std::int64_t offset_us) {
  if (!TakeSnapshot().can_seek) return;
  const std::int64_t length = LengthMicroseconds();
  const std::int64_t position = PositionMicroseconds();
  // Compared before adding: a caller may send any offset, up to the largest 64-bit number.
  if (offset_us > length - position) {
    Next();
    return;
  }
  SeekToSecond(offset_us < -position ? 0 : (position + offset_us) / 1'000'000);
}

ControlResult MediaControl::SetPosition(const std::string& track_id, std::int64_t position_us) {
  PlayerSnapshot s = TakeSnapshot();
  if (s.status == "Stopped" || track_id != s.track_id) {
    return Refuse(kInvalidArgs, "the track id " + track_id + " is not the current track (" +
                                    s.track_id + "); nothing was changed");
  }
  if (s.length_us <= 0) {
    return Refuse(kNotSupported,
                  "the length of this stream is unknown, so it cannot be positioned");
  }
  if (position_us < 0 || position_us > s.length_us) {
    return Refuse(kInvalidArgs, "the position " + std::to_string(position_us) +
                                    " lies outside the track (0 to " + std::to_string(s.length_us) +
                                    " microseconds)");
  }
  SeekToSecond(position_us / 1'000'000);
  return {};
}

ControlResult MediaControl::SetVolume(double volume) {
  if (!std::isfinite(volume)) {
    return Refuse(kInvalidArgs, "the volume must be a number from 0.0 to 1.0");
  }
  volume = std::clamp(volume, 0.0, 1.0);
  const int bar_max = runtime::ReadIntProperty(kMainWindow, kVolumeBar, kPropMaximum);
  runtime::WriteProperty(kMainWindow, kVolumeBar, kPropPosition,
                         static_cast<std::int32_t>(std::lround(volume * bar_max)));
  runtime::RaiseEvent(kMainWindow, kVolumeBar, runtime::kEventClicked);
  return {};
}

ControlResult MediaControl::SetLoopStatus(const std::string& loop_status) {
  const PlayMode mode = services_.current_play_mode();
  if (loop_status == "None") {
    if (mode != PlayMode::kSinglePlay && mode != PlayMode::kPlayAll) Click(kModePlayAll);
  } else if (loop_status == "Track") {
    if (mode != PlayMode::kSingleLoop) Click(kModeSingleLoop);
  } else if (loop_status == "Playlist") {
    if (mode != PlayMode::kLoopAll && mode != PlayMode::kRandom) Click(kModeLoopAll);
  } else {
    return Refuse(kInvalidArgs, "LoopStatus is \"None\", \"Track\" or \"Playlist\", not \"" +
                                    PrintableName(loop_status) + "\"");
  }
  return {};
}

void MediaControl::SetShuffle(bool shuffle) {
  const PlayMode mode = services_.current_play_mode();
  if (shuffle && mode != PlayMode::kRandom) Click(kModeRandom);
  if (!shuffle && mode == PlayMode::kRandom) Click(kModeLoopAll);
}

std::vector<std::string> MediaControl::OpenItems(const std::vector<OpenItem>& items) {
  std::vector<std::string> problems;
  int first = -1;
  for (const OpenItem& item : items) {
    std::string problem;
    auto checked = CheckItem(item.location, ItemSyntax::kPathOrUri, "/", &problem);
    if (!checked) {
      problems.push_back(std::move(problem));
      continue;
    }
    const bool local = checked->kind == OpenItem::Kind::kLocalFile;
    const int row = playlist::AppendEntry(
        {.kind = local ? playlist::EntryKind::kLocalFile : playlist::EntryKind::kNetworkFile,
         .location = runtime::TextFromUtf8(checked->location),
         .title = runtime::TextFromUtf8(checked->title),
         .cover = {}});
    if (first < 0) first = row;
  }
  if (first >= 0) {
    runtime::WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, first);
    services_.play_selected_entry();
  }
  return problems;
}

ControlResult MediaControl::OpenUri(const std::string& uri) {
  std::string problem;
  ProblemKind kind;
  auto item = CheckItem(uri, ItemSyntax::kUriOnly, "/", &problem, &kind);
  if (!item) {
    const char* name = kind == ProblemKind::kMissing       ? kFileNotFound
                       : kind == ProblemKind::kUnsupported ? kNotSupported
                                                           : kInvalidArgs;
    return Refuse(name, problem);
  }
  std::vector<std::string> problems = OpenItems({*item});
  if (!problems.empty()) return Refuse(kInvalidArgs, problems.front());
  return {};
}

void Raise() {
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropVisible, true);
  qt::RaiseWindow(kMainWindow, kMainWindowSelf);
}

void Quit() { runtime::NativeSystemClose(); }

bool MainWindowShown() {
  return runtime::ReadIntProperty(kMainWindow, kMainWindowSelf, kPropVisible) != 0 &&
         !qt::WindowMinimised(kMainWindow, kMainWindowSelf);
}

void ToggleMainWindow() {
  if (MainWindowShown()) {
    Click(kHideButton);
  } else {
    Raise();
  }
}

}  // namespace vorel::desktop
