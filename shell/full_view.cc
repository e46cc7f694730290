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

struct Place {
  runtime::ControlId control;
  int left, top, width, height;
};

// The band below the compact strip, in the full view: the lyrics on the left under the cover,
// the search box with its button above the results on the right. The band starts below the
// play list, which reaches down to 209 while slid to its shown place. Positions inside a
// container are the container's own, as in the template.
constexpr Place kFullViewPlaces[] = {
    {kLyricsPanel, 8, 212, 326, 236},   {kLyricUpper, 12, 90, 302, 26},
    {kLyricLower, 12, 120, 302, 26},    {kSearchFrame, 342, 212, 340, 24},
    {kSearchBox, 1, 1, 298, 22},        {kSearchButton, 300, 1, 39, 22},
    {kSearchPanel, 342, 242, 340, 206}, {kSearchCountLabel, 1, 1, 300, 15},
    {kSearchCollapse, 306, 1, 32, 15},  {kSearchResults, 1, 17, 338, 188},
};

// The template's places of the controls above, read when the full view opens and written back
// when it closes, so the compact view is exactly as the template has it.
std::vector<Place>& CompactPlaces() {
  static std::vector<Place> places;
  return places;
}

void Put(const Place& p) {
  runtime::WriteProperty(kMainWindow, p.control, kPropLeft, p.left);
  runtime::WriteProperty(kMainWindow, p.control, kPropTop, p.top);
  runtime::WriteProperty(kMainWindow, p.control, kPropWidth, p.width);
  runtime::WriteProperty(kMainWindow, p.control, kPropHeight, p.height);
}

Place Read(runtime::ControlId c) {
  auto get = [c](auto prop) { return runtime::ReadIntProperty(kMainWindow, c, prop); };
  return {c, get(kPropLeft), get(kPropTop), get(kPropWidth), get(kPropHeight)};
}

// The lyrics panel's frame in the strip's green while the band shows, its yellow otherwise.
constexpr std::int32_t kStripGreen = 0x00E080;
std::int32_t& CompactLyricsOutline() {
  static std::int32_t outline = 0;
  return outline;
}

void LayOutFullView() {
  CompactPlaces().clear();
  for (const Place& p : kFullViewPlaces) {
    CompactPlaces().push_back(Read(p.control));
    Put(p);
  }
  CompactLyricsOutline() = runtime::ReadIntProperty(kMainWindow, kLyricsPanel, kPropOutline);
  runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, kStripGreen);
}

void PutBackCompactPlaces() {
  for (const Place& p : CompactPlaces()) Put(p);
  if (!CompactPlaces().empty()) {
    runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, CompactLyricsOutline());
  }
  CompactPlaces().clear();
}

}  // namespace

bool FullViewShown() { return WindowHeight() > kCompactHeight; }

void ShowFullView() {
  if (FullViewShown()) return;
  if (!PlayListOpen()) TogglePlayListPanel();
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kFullViewHeight);
  LayOutFullView();
  runtime::FocusControl(kMainWindow, kSearchBox);
}

void HideFullView() {
  if (!FullViewShown()) return;
  PutBackCompactPlaces();
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
