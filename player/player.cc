#include "player/player.h"

#include <cmath>

#include "player/audio.h"
#include "player/lyrics.h"
#include "player/spectrum.h"
#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/latest_work.h"
#include "runtime/text_ops.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::player {
namespace {

using namespace ids;

using namespace runtime::literals;
using runtime::Bytes;
using runtime::ReadIntProperty;
using runtime::ReadTextProperty;
using runtime::Text;
using runtime::WriteProperty;

constexpr std::uint32_t kSpectrumColour = 0x00E080;

void SetCaption(const Text& text) {
  WriteProperty(kMainWindow, kStatusCaption, kPropCaption, text);
}

void SetTimer(runtime::Control<runtime::controls::Timer> timer, int interval) {
  WriteProperty(kMainWindow, timer, kPropInterval, interval);
}

int SelectedRow() { return ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow); }

const Text& TrayTitle() {
  static const Text title = "Vorel播放器"_t;
  return title;
}

// The volume the bar shows, from 0 to 1. A maximum of 0 would divide by zero; full volume is
// what the bar then shows.
double BarVolume() {
  const int position = ReadIntProperty(kMainWindow, kVolumeBar, kPropPosition);
  const int maximum = ReadIntProperty(kMainWindow, kVolumeBar, kPropMaximum);
  return maximum > 0 ? static_cast<double>(position) / maximum : 1.0;
}

// Seconds of a byte count; a stream whose length is unknown counts as 0 seconds.
double SecondsOf(audio::Handle h, std::uint64_t bytes) {
  if (bytes == audio::kUnknownLength) return 0;
  double s = audio::ChannelBytes2Seconds(h, bytes);
  return s < 0 ? 0 : s;
}

const Text& NoDeviceMessage() {
  static const Text message = "没有可用的声音设备（或声音服务没有运行），无法播放。"_t;
  return message;
}

// Says why the entry did not open (a missing file by its name), as plainly as the library lets
// us know. The row stays.
void ReportOpenFailure(audio::Failure failure, bool network, const Text& address) {
  if (!network && failure == audio::Failure::kFileNotOpened && !address.empty() &&
      !runtime::FileExists(address)) {
    runtime::ShowMessageBox("找不到文件："_t + address, 16);
  } else {
    runtime::ShowMessageBox("打开失败！"_t, 16);
  }
}

}  // namespace

struct Player::Opened {
  audio::Handle stream = 0;
  audio::Failure failure = audio::Failure::kNone;  // asked on the thread that opened
};

Player::Opened Player::OpenEntry(bool network, const Text& address) {
  Opened o;
  o.stream = network ? audio::StreamCreateUrl(address) : audio::StreamCreateFile(address);
  if (o.stream == 0) o.failure = audio::LastFailure();
  return o;
}

Player::Player(PlayerServices services) : services_(std::move(services)) {}

Player::~Player() { opening_.Cancel(); }

void Player::SetTrayTip(const Text& tip) {
  runtime::SetTrayIcon(kMainWindow, services_.tray_icon, tip);
}

// The cover picture, or the default cover when there is none.
void Player::ShowCoverBytes(const Bytes& cover) {
  WriteProperty(kMainWindow, kCoverPicture, kPropPicture, cover);
  if (runtime::ReadBytesProperty(kMainWindow, kCoverPicture, kPropPicture).empty()) {
    WriteProperty(kMainWindow, kCoverPicture, kPropPicture, services_.default_cover);
  }
}

void Player::TakeStream(const Opened& o) {
  state_.current_stream = o.stream;
  state_.total_seconds = static_cast<std::int64_t>(
      std::trunc(SecondsOf(state_.current_stream, audio::ChannelGetLength(state_.current_stream))));
}

// The cover of `row` (fetched on a worker when it has an address), then the lyrics timer, then
// the caller's own step.
void Player::ShowCoverThen(int row, std::function<void()> after) {
  auto finish = [this, after = std::move(after)](const Bytes& cover) {
    ShowCoverBytes(cover);
    SetTimer(kLyricsTimer, 500);
    if (after) after();
  };
  const Text address = playlist::ReadEntry(row).cover;
  if (address.empty() || !services_.read_url_bytes) {
    finish({});
    return;
  }
  opening_.Start<Bytes>([read = services_.read_url_bytes, address] { return read(address); },
                        std::move(finish));
}

// OpenAndPlay from step 3 on, once the stream is open (or failed to open).
void Player::PlayOpened(const Opened& o, bool network, const Text& address,
                        std::function<void()> after) {
  PlayerState& s = state_;
  const bool no_device = s.current_stream == 0
                             ? o.failure == audio::Failure::kNoDevice
                             : !audio::ChannelPlay(s.current_stream) &&
                                   audio::LastFailure() == audio::Failure::kNoDevice;
  if (no_device) {
    // Without a device no row can play: going on (and the play mode moving through the list)
    // would only say the same for every row. Playback stays stopped.
    runtime::ShowMessageBox(NoDeviceMessage(), 16);
    SetCaption("无法播放：没有声音设备"_t);
    return;
  }
  if (s.current_stream == 0) ReportOpenFailure(o.failure, network, address);
  ApplyVolume();
  // On a resume these come from whatever row is selected now, which may not be the one playing.
  const int row = s.current_entry_index;
  SetCaption(playlist::ReadEntry(row).title);
  SetTimer(kStatusTimer, 300);
  SetTimer(kSpectrumTimer, 50);
  WriteProperty(kMainWindow, kPositionSlider, kPropMaximum,
                runtime::ToInteger(runtime::RoundNumber(static_cast<double>(s.total_seconds))));
  lyrics_.StartLyrics(playlist::ReadEntry(row).location);
  ShowCoverThen(row, std::move(after));
}

void Player::NoteRowDeleted(std::int32_t row) {
  if (row >= 0 && row < state_.current_entry_index) --state_.current_entry_index;
}

void Player::OnMainWindowCreated() {
  // The play list panel lies beyond x = 448 until the list toggle widens the window.
  WriteProperty(kMainWindow, kMainWindowSelf, kPropWidth, 448);
  InitPlayer();
}

void Player::InitPlayer() {
  WriteProperty(kMainWindow, kCoverPicture, kPropPicture, services_.default_cover);
  SetTrayTip(TrayTitle());
  audio::Init(runtime::WindowHandle(kMainWindow, kMainWindowSelf));
  if (services_.select_initial_play_mode) services_.select_initial_play_mode();
  state_.needs_open = true;
  state_.time_label_live = false;
  if (services_.load_play_list) services_.load_play_list();
}

void Player::OpenAndPlay() { OpenAndPlayThen(nullptr); }

void Player::OpenAndPlayThen(std::function<void()> after) {
  PlayerState& s = state_;
  ++open_count_;
  if (SelectedRow() == -1) WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, 0);
  s.current_entry_index = SelectedRow();
  const playlist::PlaylistEntry entry = playlist::ReadEntry(s.current_entry_index);
  const Text address = entry.location;
  const bool network = entry.kind == playlist::EntryKind::kNetworkFile;
  if (!s.needs_open) {
    opening_.Cancel();
    PlayOpened(Opened{s.current_stream}, network, address, std::move(after));
    return;
  }
  StopPlayback();
  audio::StreamFree(s.current_stream);
  if (!network) {
    // A local file opens in a few milliseconds: on this thread, with no window state between.
    Opened o = OpenEntry(false, address);
    TakeStream(o);
    PlayOpened(o, false, address, std::move(after));
    return;
  }
  // A server may take up to the stream's time-outs to answer; the window goes on meanwhile.
  SetCaption("正在打开："_t + playlist::ReadEntry(s.current_entry_index).title);
  opening_.Start<Opened>([address] { return OpenEntry(true, address); },
                         [this, address, after = std::move(after)](Opened o) {
                           TakeStream(o);
                           PlayOpened(o, true, address, after);
                         },
                         [](Opened& o) { audio::StreamFree(o.stream); });
}

bool Player::OpenPending() const { return opening_.pending(); }

void Player::CancelOpen() { opening_.Cancel(); }

void Player::StopPlayback() {
  PlayerState& s = state_;
  opening_.Cancel();  // a song still opening must not start after the stop
  audio::ChannelStop(s.current_stream);
  audio::StreamFree(s.current_stream);
  SetTimer(kStatusTimer, 0);
  SetTimer(kSpectrumTimer, 0);
  SetTimer(kLyricsTimer, 0);
  WriteProperty(kMainWindow, kPositionSlider, kPropPosition, 0);
  // The spectrum timer no longer runs: the last bars drawn would stay on screen for good.
  runtime::ClearDrawing(kMainWindow, kSpectrumCanvas);
  lyrics_.StopLyrics();
  WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, "播放"_t);
  WriteProperty(kMainWindow, kTimeLabel, kPropCaption, Text());
  s.needs_open = true;
}

void Player::PausePlayback() {
  state_.needs_open = false;
  SetTimer(kLyricsTimer, 0);
  SetTimer(kSpectrumTimer, 0);
  audio::ChannelPause(state_.current_stream);
}

void Player::TogglePlayPause() {
  if (runtime::RowCount(kMainWindow, kPlayList) == 0) {
    SetCaption(playlist::EmptyListMessage());
    return;
  }
  if (ReadTextProperty(kMainWindow, kPlayPauseButton, kPropCaption) == "播放"_t) {
    OpenAndPlayThen([this] {
      // A stream that did not open plays nothing: the button stays ready to start.
      if (state_.current_stream != 0) {
        WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, "暂停"_t);
      }
    });
  } else {
    PausePlayback();
    WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, "播放"_t);
  }
}

void Player::ApplyVolume() {
  PlayerState& s = state_;
  audio::ChannelSetVolume(s.current_stream, static_cast<float>(BarVolume()));
  const int position = ReadIntProperty(kMainWindow, kVolumeBar, kPropPosition);
  WriteProperty(kMainWindow, kTimeLabel, kPropCaption,
                "当前音量："_t + runtime::ToText(position) + "%");
  s.time_label_live = false;
}

void Player::ToggleMute() {
  PlayerState& s = state_;
  if (ReadIntProperty(kMainWindow, kMuteBox, kPropChecked) != 0) {
    // With nothing playing there is no stream to ask; the bar holds the volume to come back to.
    if (!audio::ChannelGetVolume(s.current_stream, &s.saved_volume)) {
      s.saved_volume = static_cast<float>(BarVolume());
    }
    audio::ChannelSetVolume(s.current_stream, 0.0f);
    SetCaption("静音：开启"_t);
  } else {
    audio::ChannelSetVolume(s.current_stream, s.saved_volume);
    SetCaption("静音：关闭"_t);
  }
}

void Player::SeekToSlider() {
  PlayerState& s = state_;
  const int seconds = ReadIntProperty(kMainWindow, kPositionSlider, kPropPosition);
  // The byte offset travels as a signed 32-bit value, widened with its sign.
  auto bytes = static_cast<std::int32_t>(audio::ChannelSeconds2Bytes(s.current_stream, seconds));
  audio::ChannelSetPosition(s.current_stream, static_cast<std::uint64_t>(std::int64_t{bytes}));
  lyrics_.NoteLyricSheetChanged();
}

void Player::PlayerStatusTick() {
  // The sheet reads the position from the stream itself, so it may look now: whatever this
  // tick stops or starts tells it again.
  lyrics_.NoteLyricSheetChanged();
  PlayerState& s = state_;
  auto title = [&] { return playlist::ReadEntry(s.current_entry_index).title; };
  if (audio::ChannelIsActive(s.current_stream) == audio::kStopped) {
    SetCaption("状态：停止"_t);
    StopPlayback();
    SetTrayTip(TrayTitle());
    if (services_.apply_play_mode_at_end && services_.apply_play_mode_at_end()) return;
  }
  if (audio::ChannelIsActive(s.current_stream) == audio::kPlaying) {
    double at = SecondsOf(s.current_stream, audio::ChannelGetPosition(s.current_stream));
    WriteProperty(kMainWindow, kPositionSlider, kPropPosition,
                  static_cast<std::int32_t>(std::trunc(at)));
    SetCaption("歌曲名："_t + title());
    SetTrayTip("正在播放："_t + title());
  }
  if (audio::ChannelIsActive(s.current_stream) == audio::kPaused) {
    PausePlayback();
    SetCaption("状态：暂停"_t);
    SetTrayTip("暂停播放："_t + title());
  }
  if (audio::ChannelIsActive(s.current_stream) == audio::kStalled) {
    SetCaption("失速状态, 正在等待数据"_t);
    SetTrayTip("失速状态, 正在等待数据"_t);
  }
  // A next entry still opening has not failed (yet): its own steps follow when it has opened.
  if (s.current_stream == 0 && !opening_.pending()) {
    SetTimer(kStatusTimer, 0);
    SetCaption("无效的音频文件！"_t);
  }
  if (!s.time_label_live) {
    if (++s.hold_ticks == 4) {
      s.time_label_live = true;
      s.hold_ticks = 0;
    }
    return;
  }
  double at = SecondsOf(s.current_stream, audio::ChannelGetPosition(s.current_stream));
  s.position_seconds = runtime::ToInteger(runtime::RoundNumber(at));
  s.position_text = FormatSeconds(s.position_seconds);
  WriteProperty(kMainWindow, kTimeLabel, kPropCaption,
                FormatSeconds(static_cast<std::int32_t>(s.total_seconds)) + "/" + s.position_text);
}

void Player::DrawSpectrum() {
  // Hidden in the tray, nobody sees the bars: they are neither computed nor drawn, and the
  // first tick after the window is shown again draws them afresh.
  if (ReadIntProperty(kMainWindow, kMainWindowSelf, kPropVisible) == 0) return;
  runtime::ClearDrawing(kMainWindow, kSpectrumCanvas);
  WriteProperty(kMainWindow, kSpectrumCanvas, kPropPenColour, static_cast<int>(kSpectrumColour));
  float bands[128] = {};
  if (!audio::ChannelGetSpectrum(state_.current_stream, bands)) return;
  const int w = ReadIntProperty(kMainWindow, kSpectrumCanvas, kPropWidth);
  const int h = ReadIntProperty(kMainWindow, kSpectrumCanvas, kPropHeight);
  for (const SpectrumRect& r : SpectrumRects(bands, w, h)) {
    runtime::DrawGradientRectangle(kMainWindow, kSpectrumCanvas, r.left, r.top, r.width, r.height,
                                   1, {kSpectrumColour, kSpectrumColour});
  }
}

Text FormatSeconds(std::int32_t n) {
  std::int32_t m = 0, h = 0;
  if (n >= 60) {
    m = n / 60;
    n %= 60;
    h = m / 60;
    m %= 60;
  }
  auto part = [](std::int32_t v) {
    if (v == 0) return Text("00");
    if (v >= 1 && v <= 9) return "0" + std::to_string(v);
    return std::to_string(v);
  };
  return h == 0 ? part(m) + ":" + part(n) : part(h) + ":" + part(m) + ":" + part(n);
}

}  // namespace vorel::player
