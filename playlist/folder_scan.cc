#include "runtime/window_ids.h"
#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/find_file.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::Text;

// Folders nested deeper than this are not entered: a guard against pathological trees.
constexpr int kMaxDepth = 64;

void AppendLocalEntry(const Text& folder, const Text& name) {
  // The new row is the last one: nothing runs between the insert and the cells.
  const int last = runtime::InsertRow(kMainWindow, kPlayList, std::nullopt, "本地文件"_t);
  runtime::SetCellText(kMainWindow, kPlayList, last, 1, folder + name);
  runtime::SetCellText(kMainWindow, kPlayList, last, 2, name);
}

void Scan(Text folder, int depth) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  runtime::FindHandle handle;
  for (Text name = runtime::FindFile(folder + "*.mp3", 0x27, false, &handle); !name.empty();
       name = runtime::FindFile({}, 0, true, &handle)) {
    runtime::ProcessEvents();
    if (name != "." && name != "..") AppendLocalEntry(folder, name);
  }
  if (depth < kMaxDepth) {
    for (Text sub = runtime::FindFile(folder + "*.*", 0x10, false, &handle); !sub.empty();
         sub = runtime::FindFile({}, 0x10, false, &handle)) {
      if (sub == "." || sub == "..") continue;
      runtime::ProcessEvents();
      Scan(folder + sub, depth + 1);
    }
  }
  runtime::CloseFind(&handle);
}

}  // namespace

PlaylistServices& ServicesForScan();

void ScanFolder(Text folder) { Scan(std::move(folder), 0); }

void ChooseFolderAndScan() {
  Text folder;
  const auto& browse = ServicesForScan().browse_for_folder;
  if (browse) folder = browse("请选择文件夹,搜索MP3"_t);
  if (folder.empty()) return;
  ScanFolder(folder);
  runtime::FocusControl(kMainWindow, kPlayList);
  runtime::WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, 0);
  runtime::WriteProperty(kMainWindow, kStatusCaption, kPropCaption, "添加完毕！"_t);
}

}  // namespace vorel::playlist
