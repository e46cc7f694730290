#include <cmath>

#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::WriteProperty;

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

}  // namespace

bool Playlist::OnLastRow() {
  double last = runtime::RowCount(kMainWindow, kPlayList) - 1;
  return std::fabs(services_.current_entry_index() - last) <= 1e-7;
}

void Playlist::SelectFollowingRow() {
  Select(services_.current_entry_index());
  Select(Selected() + 1);
}

void Playlist::SelectPlayMode(PlayMode mode) {
  mode_ = mode;
  WriteProperty(kMainWindow, kPlayModeButton, kPropCaption,
                runtime::TextFromUtf8(CaptionUtf8(mode)));
  WriteProperty(kMainWindow, kModeChooser, kPropVisible, false);
}

bool Playlist::ApplyPlayModeAtEnd() {
  switch (mode_) {
    case PlayMode::kPlayAll:
      if (OnLastRow()) return true;
      SelectFollowingRow();
      services_.toggle_play_pause();
      return false;
    case PlayMode::kLoopAll:
      if (OnLastRow()) {
        Select(0);
      } else {
        SelectFollowingRow();
      }
      services_.toggle_play_pause();
      return false;
    case PlayMode::kSingleLoop: services_.toggle_play_pause(); return false;
    case PlayMode::kRandom:
      Select(runtime::RandomNumber(0, runtime::RowCount(kMainWindow, kPlayList) - 1));
      services_.toggle_play_pause();
      return false;
    case PlayMode::kSinglePlay: return false;
  }
  return false;
}

}  // namespace vorel::playlist
