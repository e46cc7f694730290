#include <filesystem>
#include <system_error>

#include "platform/code_page.h"
#include "playlist/entry.h"
#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/find_file.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::Text;

// Folders nested deeper than this are not entered: a guard against pathological trees.
constexpr int kMaxDepth = 64;

void AppendLocalEntry(const Text& folder, const Text& name) {
  AppendEntry(
      {.kind = EntryKind::kLocalFile, .location = folder + name, .title = name, .cover = {}});
}

}  // namespace

// Lets other handlers run; false when one of them asked the scan to stop or closed the window
// the rows go to.
bool Playlist::KeepScanning() {
  runtime::ProcessEvents();
  if (!scanning_.stop && !runtime::IsWindowLoaded(kMainWindow)) scanning_.stop = true;
  return !scanning_.stop;
}

void Playlist::Scan(Text folder, int depth) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  runtime::FindHandle handle;
  Text name = runtime::FindFile(folder + "*.mp3", 0x27, false, &handle);
  scanning_.skipped_songs += handle.skipped_not_utf8;
  for (; !name.empty(); name = runtime::FindFile({}, 0, true, &handle)) {
    if (!KeepScanning()) break;
    if (name != "." && name != "..") AppendLocalEntry(folder, name);
  }
  if (depth < kMaxDepth && !scanning_.stop) {
    Text sub = runtime::FindFile(folder + "*.*", 0x10, false, &handle);
    scanning_.skipped_folders += handle.skipped_not_utf8;
    for (; !sub.empty(); sub = runtime::FindFile({}, 0x10, false, &handle)) {
      if (sub == "." || sub == "..") continue;
      if (!KeepScanning()) break;
      Scan(folder + sub, depth + 1);
    }
  }
  runtime::CloseFind(&handle);
}

void Playlist::StopScan() {
  if (scanning_.running) scanning_.stop = true;
}

bool Playlist::ScanFolder(Text folder, ScanSkips* skips) {
  ScanState& state = scanning_;
  if (state.running) return false;
  state.running = true;
  Scan(std::move(folder), 0);
  const bool complete = !state.stop;
  if (skips != nullptr) *skips = {state.skipped_songs, state.skipped_folders};
  state = ScanState();
  return complete;
}

namespace {

// The scan's filter for one file: a regular file (or a link to one) named "*.mp3", any ASCII
// case, with a UTF-8 name.
bool TakesFile(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  if (name.size() <= 4 || !platform::IsValidUtf8(name)) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::error_code ec;
  return ext == ".mp3" && std::filesystem::is_regular_file(path, ec);
}

// The tail of an addition: the list shows its first row selected and the caption says so.
void ShowAdded() {
  runtime::FocusControl(kMainWindow, kPlayList);
  runtime::WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, 0);
  runtime::WriteProperty(kMainWindow, kStatusCaption, kPropCaption, "添加完毕！"_t);
}

// Says how many songs and folders an addition left out for their names, if any.
void SaySkipped(const ScanSkips& skips) {
  if (skips.songs == 0 && skips.folders == 0) return;
  Text what;
  if (skips.songs > 0) what = std::to_string(skips.songs) + "首歌"_t;
  if (skips.songs > 0 && skips.folders > 0) what += "和"_t;
  if (skips.folders > 0) what += std::to_string(skips.folders) + "个文件夹"_t;
  runtime::ShowMessageBox("有"_t + what + "的名字不是UTF-8编码，无法显示和播放，已跳过。"_t);
}

}  // namespace

bool Playlist::AddPaths(const std::vector<Text>& paths) {
  if (scanning_.running) return false;
  const int rows_before = runtime::RowCount(kMainWindow, kPlayList);
  bool complete = true;
  ScanSkips skipped;
  for (const Text& p : paths) {
    const std::filesystem::path path(runtime::Utf8FromText(p));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      ScanSkips in_folder;
      complete = ScanFolder(p, &in_folder);
      skipped.songs += in_folder.songs;
      skipped.folders += in_folder.folders;
    } else if (TakesFile(path)) {
      Text folder = runtime::TextFromUtf8(path.parent_path().string());
      if (folder.empty() || folder.back() != '/') folder += '/';
      AppendLocalEntry(folder, runtime::TextFromUtf8(path.filename().string()));
    }
    if (!complete || !runtime::IsWindowLoaded(kMainWindow)) return false;
  }
  if (runtime::RowCount(kMainWindow, kPlayList) > rows_before) ShowAdded();
  SaySkipped(skipped);
  return true;
}

void Playlist::ChooseFolderAndScan() {
  // While a scan runs (this handler was reached from its event processing), "打开" does nothing.
  if (ScanRunning()) return;
  Text folder;
  const auto& browse = services_.browse_for_folder;
  if (browse) folder = browse("请选择文件夹,搜索MP3"_t);
  if (folder.empty()) return;
  // A scan stopped by a clear leaves the emptied list as the clear left it (or the window is
  // gone).
  ScanSkips skipped;
  if (!ScanFolder(folder, &skipped)) return;
  ShowAdded();
  SaySkipped(skipped);
}

}  // namespace vorel::playlist
