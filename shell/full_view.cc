#include "shell/full_view.h"

#include <optional>

#include "app/window_ids.h"
#include "runtime/bridge.h"
#include "runtime/window_ops.h"

namespace vorel::shell {
namespace {

using namespace runtime::literals;
using namespace ids;

constexpr int kVirtualKeyF = 'F';
constexpr int kVirtualKeyEscape = 27;
constexpr int kKeyStateCtrl = 1;

int WindowHeight() { return runtime::ReadIntProperty(kMainWindow, kMainWindowSelf, kPropHeight); }

using Place = FullView::Place;

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

}  // namespace

FullView::FullView(FullViewServices services, MainWindow& main_window, player::Lyrics& lyrics)
    : services_(std::move(services)), main_window_(main_window), lyrics_(lyrics) {}

FullView::~FullView() { lyrics_.SetLyricSheetObserver(nullptr); }

void FullView::LayOutFullView() {
  compact_places_.clear();
  for (const Place& p : kFullViewPlaces) {
    compact_places_.push_back(Read(p.control));
    Put(p);
  }
  compact_lyrics_outline_ = runtime::ReadIntProperty(kMainWindow, kLyricsPanel, kPropOutline);
  runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, kStripGreen);
}

void FullView::PutBackCompactPlaces() {
  for (const Place& p : compact_places_) Put(p);
  if (!compact_places_.empty()) {
    runtime::WriteProperty(kMainWindow, kLyricsPanel, kPropOutline, compact_lyrics_outline_);
  }
  compact_places_.clear();
}

void FullView::RefreshLyricSheet() {
  const player::LyricSheet sheet = lyrics_.CurrentLyricSheet();
  const SheetShown now{sheet.version, sheet.current, sheet.looked};
  if (sheet_ == now || !services_.show_lyric_sheet) return;
  sheet_ = now;
  std::vector<runtime::Text> lines;
  if (sheet.lines != nullptr) {
    lines.reserve(sheet.lines->size());
    for (const player::TimedLyric& line : *sheet.lines) lines.push_back(line.text);
  }
  // Before the song's file has been looked for (or with nothing playing) the panel stays empty.
  const runtime::Text message = sheet.looked && lines.empty() ? "暂无歌词"_t : runtime::Text();
  services_.show_lyric_sheet(lines, sheet.current, message);
}

// The sheet stands in for the two labels while the full view shows.
void FullView::ShowLyricSheet() {
  upper_visible_ = runtime::ReadIntProperty(kMainWindow, kLyricUpper, kPropVisible);
  lower_visible_ = runtime::ReadIntProperty(kMainWindow, kLyricLower, kPropVisible);
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropVisible, 0);
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropVisible, 0);
  sheet_.reset();
  RefreshLyricSheet();
  lyrics_.SetLyricSheetObserver([this] { RefreshLyricSheet(); });
}

void FullView::HideLyricSheet() {
  lyrics_.SetLyricSheetObserver(nullptr);
  if (services_.hide_lyric_sheet) services_.hide_lyric_sheet();
  sheet_.reset();
  runtime::WriteProperty(kMainWindow, kLyricUpper, kPropVisible, upper_visible_);
  runtime::WriteProperty(kMainWindow, kLyricLower, kPropVisible, lower_visible_);
}

bool FullView::FullViewShown() const { return WindowHeight() > kCompactHeight; }

void FullView::ShowFullView() {
  if (FullViewShown()) return;
  if (!main_window_.PlayListOpen()) main_window_.TogglePlayListPanel();
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kFullViewHeight);
  LayOutFullView();
  ShowLyricSheet();
  runtime::FocusControl(kMainWindow, kSearchBox);
}

void FullView::HideFullView() {
  if (!FullViewShown()) return;
  HideLyricSheet();
  PutBackCompactPlaces();
  runtime::WriteProperty(kMainWindow, kMainWindowSelf, kPropHeight, kCompactHeight);
}

void FullView::ToggleFullView() {
  if (FullViewShown()) {
    HideFullView();
  } else {
    ShowFullView();
  }
}

bool FullView::OnMainWindowShortcut(int virtual_key, int key_state) {
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

std::vector<MenuEntry> FullView::FullViewMenuEntries() {
  if (FullViewShown()) return {{"隐藏搜索与歌词"_t, [this] { HideFullView(); }}};
  return {{"显示搜索与歌词"_t, [this] { ShowFullView(); }}};
}

}  // namespace vorel::shell
