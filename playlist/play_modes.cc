#include <cmath>

#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {

PlaylistServices& ServicesForScan();  // playlist.cc

namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::WriteProperty;

const PlaylistServices& Player() { return ServicesForScan(); }
int PlayingIndex() { return Player().current_entry_index(); }

PlayMode& Mode() {
  static PlayMode mode = PlayMode::kPlayAll;
  return mode;
}

const char* CaptionUtf8(PlayMode mode) {
  switch (mode) {
    case PlayMode::kSinglePlay: return "单曲播放";
    case PlayMode::kSingleLoop: return "单曲循环";
    case PlayMode::kPlayAll: return "全部播放";
    case PlayMode::kLoopAll: return "全部循环";
    case PlayMode::kRandom: return "随机播放";
  }
  return "";
}

void Select(int row) { WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, row); }
int Selected() { return runtime::ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow); }

bool OnLastRow() {
  double last = runtime::RowCount(kMainWindow, kPlayList) - 1;
  return std::fabs(PlayingIndex() - last) <= 1e-7;
}

void SelectFollowingRow() {
  Select(PlayingIndex());
  Select(Selected() + 1);
}

}  // namespace

void SelectPlayMode(PlayMode mode) {
  Mode() = mode;
  WriteProperty(kMainWindow, kPlayModeButton, kPropCaption,
                runtime::TextFromUtf8(CaptionUtf8(mode)));
  WriteProperty(kMainWindow, kModeChooser, kPropVisible, false);
}

PlayMode CurrentPlayMode() { return Mode(); }

bool ApplyPlayModeAtEnd() {
  switch (Mode()) {
    case PlayMode::kPlayAll:
      if (OnLastRow()) return true;
      SelectFollowingRow();
      Player().toggle_play_pause();
      return false;
    case PlayMode::kLoopAll:
      if (OnLastRow()) {
        Select(0);
      } else {
        SelectFollowingRow();
      }
      Player().toggle_play_pause();
      return false;
    case PlayMode::kSingleLoop: Player().toggle_play_pause(); return false;
    case PlayMode::kRandom:
      Select(runtime::RandomNumber(0, runtime::RowCount(kMainWindow, kPlayList) - 1));
      Player().toggle_play_pause();
      return false;
    case PlayMode::kSinglePlay: return false;
  }
  return false;
}

}  // namespace vorel::playlist
