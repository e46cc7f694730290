#include "shell/full_view.h"

#include <optional>

#include "player/lyrics.h"
#include "runtime/bridge.h"
#include "runtime/window_ops.h"
#include "shell/main_window.h"
#include "windows/window_ids.h"

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
    {kLyricsPanel, 8, 212, 326, 236},   {kSearchFrame, 342, 212, 340, 24},
    {kSearchBox, 1, 1, 298, 22},        {kSearchButton, 300, 1, 39, 22},
    {kSearchPanel, 342, 242, 340, 206}, {kSearchCountLabel, 1, 1, 300, 15},
    {kSearchCollapse, 306, 1, 32, 15},  {kSearchResults, 1, 17, 338, 188},
};

// What the sheet in the lyrics panel shows, so that the many ticks that change nothing draw
// nothing.
struct SheetShown {
  std::uint64_t version = 0;
  int current = -1;
  bool looked = false;
  bool operator==(const SheetShown&) const = default;
};

struct FullViewState {
  FullViewServices services;
  // The template's places of the controls above, read when the full view opens and written back
  // when it closes, so the compact view is exactly as the template has it.
  std::vector<Place> compact_places;
  std::int32_t compact_lyrics_outline = 0;
  // The lyric labels' own visibility while the sheet stands in for them.
  std::int32_t upper_visible = 1, lower_visible = 1;
  std::optional<SheetShown> sheet;
};

FullViewState& View() {
  static FullViewState state;
  return state;
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

void LayOutFullView() {
  FullViewState& v = View();
  v.compact_places.clear();
  for (const Place& p : kFullViewPlaces) {
    v.compact_places.push_back(Read(p.control));
    Put(p);
  }
  v.compact_lyrics_outline = runtime::ReadIntProperty(kMainWindow, kLyricsPanel, kPropOutline);
  runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, kStripGreen);
}

void PutBackCompactPlaces() {
  FullViewState& v = View();
  for (const Place& p : v.compact_places) Put(p);
  if (!v.compact_places.empty()) {
    runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, v.compact_lyrics_outline);
  }
  v.compact_places.clear();
}

void RefreshLyricSheet() {
  FullViewState& v = View();
  const player::LyricSheet sheet = player::CurrentLyricSheet();
  const SheetShown now{sheet.version, sheet.current, sheet.looked};
  if (v.sheet == now || !v.services.show_lyric_sheet) return;
  v.sheet = now;
  std::vector<runtime::Text> lines;
  if (sheet.lines != nullptr) {
    lines.reserve(sheet.lines->size());
    for (const player::TimedLyric& line : *sheet.lines) lines.push_back(line.text);
  }
  // Before the song's file has been looked for (or with nothing playing) the panel stays empty.
  const runtime::Text message = sheet.looked && lines.empty() ? "暂无歌词"_t : runtime::Text();
  v.services.show_lyric_sheet(lines, sheet.current, message);
}

// The sheet stands in for the two labels while the full view shows.
void ShowLyricSheet() {
  FullViewState& v = View();
  v.upper_visible = runtime::ReadIntProperty(kMainWindow, kLyricUpper, kPropVisible);
  v.lower_visible = runtime::ReadIntProperty(kMainWindow, kLyricLower, kPropVisible);
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropVisible, 0);
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropVisible, 0);
  v.sheet.reset();
  RefreshLyricSheet();
  player::SetLyricSheetObserver(&RefreshLyricSheet);
}

void HideLyricSheet() {
  FullViewState& v = View();
  player::SetLyricSheetObserver(nullptr);
  if (v.services.hide_lyric_sheet) v.services.hide_lyric_sheet();
  v.sheet.reset();
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropVisible, v.upper_visible);
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropVisible, v.lower_visible);
}

}  // namespace

bool FullViewShown() { return WindowHeight() > kCompactHeight; }

void ShowFullView() {
  if (FullViewShown()) return;
  if (!PlayListOpen()) TogglePlayListPanel();
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kFullViewHeight);
  LayOutFullView();
  ShowLyricSheet();
  runtime::FocusControl(kMainWindow, kSearchBox);
}

void HideFullView() {
  if (!FullViewShown()) return;
  HideLyricSheet();
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

void SetFullViewServices(FullViewServices services) { View().services = std::move(services); }

void ResetFullViewForTesting() {
  player::SetLyricSheetObserver(nullptr);
  FullViewServices services = std::move(View().services);
  View() = FullViewState();
  View().services = std::move(services);
}

}  // namespace vorel::shell
