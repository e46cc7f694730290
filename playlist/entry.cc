#include "playlist/entry.h"

#include "runtime/list_view_records.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using runtime::Text;

// The columns of a play-list row.
enum Column : int {
  kKindColumn = 0,
  kLocationColumn = 1,
  kTitleColumn = 2,
  kCoverColumn = 3,
  kColumnCount = 4
};

const Text& KindText(EntryKind kind) {
  static const Text local = "本地文件"_t;
  static const Text network = "网络文件"_t;
  return kind == EntryKind::kNetworkFile ? network : local;
}

}  // namespace

int AppendEntry(const PlaylistEntry& entry) {
  const int row =
      runtime::InsertRow(ids::kMainWindow, ids::kPlayList, std::nullopt, KindText(entry.kind));
  if (row < 0) return -1;
  // A new row's cells start empty: only the texts that say something are written.
  const auto set = [row](int column, const Text& text) {
    if (!text.empty()) runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, column, text);
  };
  set(kLocationColumn, entry.location);
  set(kTitleColumn, entry.title);
  set(kCoverColumn, entry.cover);
  return row;
}

PlaylistEntry ReadEntry(int row) {
  runtime::ListRow stored;
  PlaylistEntry entry;
  if (!runtime::GetRow(ids::kMainWindow, ids::kPlayList, row, &stored)) return entry;
  const auto cell = [&stored](int column) {
    return static_cast<std::size_t>(column) < stored.cells.size() ? stored.cells[column] : Text();
  };
  // The kind is compared byte for byte: no other text makes a network entry.
  if (cell(kKindColumn) == KindText(EntryKind::kNetworkFile)) entry.kind = EntryKind::kNetworkFile;
  entry.location = cell(kLocationColumn);
  entry.title = cell(kTitleColumn);
  entry.cover = cell(kCoverColumn);
  return entry;
}

runtime::Bytes EncodeEntry(const PlaylistEntry& entry) {
  runtime::ListRow row;
  row.cells = {KindText(entry.kind), entry.location, entry.title, entry.cover};
  return runtime::EncodeListRows({row}, kColumnCount);
}

const runtime::Text& EmptyListMessage() {
  static const runtime::Text message = "播放列表里没有文件，请添加。"_t;
  return message;
}

}  // namespace vorel::playlist
