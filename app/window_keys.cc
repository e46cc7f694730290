#include "app/window_keys.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

#include "app/desktop/media_control.h"
#include "runtime/bridge.h"
#include "windows/window_ids.h"

namespace vorel::app {
namespace {

using namespace ids;

constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kDelete = 46;
constexpr int kCtrl = 1;

void Click(runtime::WindowId window, runtime::ControlId control) {
  runtime::RaiseEvent(window, control, runtime::kEventClicked);
}

// Runs `action` once the key's own event is over: it may open a modal window or end the
// program, neither of which belongs inside the delivery of a key.
void Later(void (*action)()) { QTimer::singleShot(0, qApp, action); }

bool InTextOrList(runtime::ControlId focused) {
  return focused == kSearchBox.id || focused == kAddressBox.id || focused == kPlayList.id ||
         focused == kSearchResults.id;
}

void TurnVolume(int steps) {
  const int maximum = runtime::ReadIntProperty(kMainWindow, kVolumeBar, kPropMaximum);
  const int at = runtime::ReadIntProperty(kMainWindow, kVolumeBar, kPropPosition);
  const int step = std::max(1, maximum / 20);
  const int next = std::clamp(at + steps * step, 0, std::max(maximum, 0));
  if (next == at) return;
  runtime::WriteProperty(kMainWindow, kVolumeBar, kPropPosition, next);
  Click(kMainWindow, kVolumeBar);
}

bool ListKey(int virtual_key, runtime::ControlId focused) {
  if (focused != kPlayList.id && focused != kSearchResults.id) return false;
  const bool play_list = focused == kPlayList.id;
  const int selected =
      play_list ? runtime::ReadIntProperty(kMainWindow, kPlayList, kPropSelectedRow)
                : runtime::ReadIntProperty(kMainWindow, kSearchResults, kPropSelectedRow);
  if (virtual_key == kEnter) {
    if (selected < 0) return true;
    runtime::RaiseEvent(kMainWindow, focused, runtime::kEventLeftDoubleClick);
    return true;
  }
  if (virtual_key == kDelete && play_list) {
    if (selected < 0) return true;
    Click(kMainWindow, kDeleteButton);
    return true;
  }
  return false;
}

bool DialogKey(int virtual_key, int key_state, runtime::ControlId focused, runtime::WindowId window,
               runtime::ControlId confirm, runtime::ControlId cancel) {
  if (key_state != 0) return false;
  if (virtual_key == kEscape) {
    Click(window, cancel);
    return true;
  }
  if (virtual_key == kEnter && focused == 0) {
    Click(window, confirm);
    return true;
  }
  return false;
}

}  // namespace

bool OnMainWindowKey(desktop::MediaControl& media, int virtual_key, int key_state,
                     runtime::ControlId focused) {
  if (key_state == kCtrl && virtual_key == 'O') {
    Later([] { Click(kMainWindow, kOpenButton); });
    return true;
  }
  if (key_state == kCtrl && virtual_key == 'Q') {
    Later([] {
      if (desktop::MainWindowReady()) desktop::Quit();
    });
    return true;
  }
  if (key_state != 0) return false;
  if (ListKey(virtual_key, focused)) return true;
  if (InTextOrList(focused)) return false;
  switch (virtual_key) {
    case kSpace: media.PlayPause(); return true;
    case kLeft: media.Seek(-kSeekStepSeconds * 1'000'000LL); return true;
    case kRight: media.Seek(kSeekStepSeconds * 1'000'000LL); return true;
    case kUp: TurnVolume(1); return true;
    case kDown: TurnVolume(-1); return true;
    default: return false;
  }
}

bool OnExitDialogKey(int virtual_key, int key_state, runtime::ControlId focused) {
  return DialogKey(virtual_key, key_state, focused, kExitDialog, kExitConfirm, kExitCancel);
}

bool OnClearDialogKey(int virtual_key, int key_state, runtime::ControlId focused) {
  return DialogKey(virtual_key, key_state, focused, kClearDialog, kClearConfirm, kClearCancel);
}

}  // namespace vorel::app
