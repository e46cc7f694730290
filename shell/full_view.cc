#include "shell/full_view.h"

#include "app/window_ids.h"
#include "runtime/bridge.h"
#include "runtime/window_ops.h"
#include "shell/main_window.h"

namespace vorel::shell {
namespace {

using namespace runtime::literals;
using namespace ids;

constexpr int kVirtualKeyF = 'F';
constexpr int kVirtualKeyEscape = 27;
constexpr int kKeyStateCtrl = 1;

int WindowHeight() { return runtime::ReadIntProperty(kMainWindow, kMainWindowSelf, kPropHeight); }

}  // namespace

bool FullViewShown() { return WindowHeight() > kCompactHeight; }

void ShowFullView() {
  if (FullViewShown()) return;
  if (!PlayListOpen()) TogglePlayListPanel();
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kFullViewHeight);
  runtime::FocusControl(kMainWindow, kSearchBox);
}

void HideFullView() {
  if (!FullViewShown()) return;
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kCompactHeight);
}

void ToggleFullView() {
  if (FullViewShown()) {
    HideFullView();
  } else {
    ShowFullView();
  }
}

bool OnMainWindowShortcut(int virtual_key, int key_state) {
  if (virtual_key == kVirtualKeyF && key_state == kKeyStateCtrl) {
    ToggleFullView();
    return true;
  }
  if (virtual_key == kVirtualKeyEscape && key_state == 0 && FullViewShown()) {
    HideFullView();
    return true;
  }
  return false;
}

std::vector<MenuEntry> FullViewMenuEntries() {
  if (FullViewShown()) return {{"隐藏搜索与歌词"_t, &HideFullView}};
  return {{"显示搜索与歌词"_t, &ShowFullView}};
}

}  // namespace vorel::shell
