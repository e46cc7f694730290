#include "playlist/entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/testing.h"
#include "runtime/window_ops.h"
#include "tests/app/window_test_util.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using runtime::Bytes;
using runtime::Text;

// The play list's rows as the window keeps them and the play list file stores them.
Bytes AllRows() {
  return runtime::ReadBytesProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows);
}

struct EntryCase {
  std::string name;
  PlaylistEntry entry;
  Text kind_text;  // what the first column must hold
};

std::vector<EntryCase> EntryCases() {
  const EntryKind local = EntryKind::kLocalFile;
  const EntryKind network = EntryKind::kNetworkFile;
  return {
      {"LocalFile", {local, "/music/a.mp3", "a.mp3", ""}, "本地文件"_t},
      {"NetworkWithCover",
       {network, "http://127.0.0.1:8080/s.mp3", "歌"_t, "http://127.0.0.1:8080/c.jpg"},
       "网络文件"_t},
      {"EmptyTexts", {network, "", "", ""}, "网络文件"_t},
      {"TabsAndNewlines", {local, "/m/x\ty.mp3", "one\ttwo\nthree\r\n", ""}, "本地文件"_t},
      {"VeryLongTitle", {local, "/m/long.mp3", Text(70000, 'x'), ""}, "本地文件"_t},
      {"NonAscii",
       {network, "http://127.0.0.1/%E6%AD%8C.mp3", "第二首🎵"_t, "http://127.0.0.1/封面.jpg"_t},
       "网络文件"_t},
      // A byte no code page character starts with: kept as it came, not replaced.
      {"UndecodableByte", {local, Text("/m/\xFF.mp3"), Text("\xFF") + "标题"_t, ""}, "本地文件"_t},
  };
}

class EntryTest : public ::testing::TestWithParam<EntryCase> {
 protected:
  void SetUp() override {
    testing_util::UseRoutines({});
    runtime::LoadStartWindow(ids::kMainWindow);
  }
  void TearDown() override { runtime::ResetWindows(); }
};

// The row an entry makes holds the kind's text, the location, the title and the cover in that
// order, as lists written by earlier versions do; it reads back as the same entry, also after
// the rows went through the play list file's bytes.
TEST_P(EntryTest, WrittenRowIsTheStoredLayoutAndReadsBack) {
  const EntryCase& c = GetParam();
  ASSERT_EQ(AppendEntry(c.entry), 0);
  const Bytes stored = AllRows();
  EXPECT_EQ(stored,
            EncodeRow({c.kind_text, c.entry.location, c.entry.title, c.entry.cover}, -1, -1, 0, 0));
  EXPECT_EQ(EncodeEntry(c.entry), stored);
  EXPECT_EQ(ReadEntry(0), c.entry);

  runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList);
  runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows, stored);
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(ReadEntry(0), c.entry);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EntryTest, ::testing::ValuesIn(EntryCases()),
                         [](const auto& info) { return info.param.name; });

using EntryReadingTest = EntryTest;

// Rows from a list file the program did not write, and rows that are not there.
TEST_F(EntryReadingTest, ForeignKindsReadAsLocalAndMissingRowsAsEmpty) {
  for (const Text& kind : {"网络文件 "_t, "本地文件"_t, "other"_t, Text()}) {
    const PlaylistEntry written{EntryKind::kNetworkFile, "/m/a.mp3", "a", "c"};
    const Bytes row =
        EncodeRow({kind, written.location, written.title, written.cover}, -1, -1, 0, 0);
    runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows, row);
    EXPECT_EQ(ReadEntry(0), (PlaylistEntry{EntryKind::kLocalFile, "/m/a.mp3", "a", "c"}))
        << runtime::Utf8FromText(kind);
  }
  // A row stored with fewer cells than the list has columns: the missing ones read empty.
  runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows,
                         EncodeRow({"网络文件"_t, "http://h/x"}, -1, -1, 0, 0));
  EXPECT_EQ(ReadEntry(0), (PlaylistEntry{EntryKind::kNetworkFile, "http://h/x", "", ""}));
  EXPECT_EQ(ReadEntry(1), PlaylistEntry{});
  EXPECT_EQ(ReadEntry(-1), PlaylistEntry{});
}

// Entries go to the end, whatever is selected, and each call names its own row.
TEST_F(EntryReadingTest, AppendsGoToTheEndInOrder) {
  std::vector<PlaylistEntry> entries;
  for (int i = 0; i < 5; ++i) {
    entries.push_back({i % 2 ? EntryKind::kNetworkFile : EntryKind::kLocalFile,
                       "/m/" + std::to_string(i), std::to_string(i), ""});
  }
  for (int i = 0; i < 5; ++i) {
    if (i == 2) runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropSelectedRow, 0);
    EXPECT_EQ(AppendEntry(entries[i]), i);
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadEntry(i), entries[i]) << i;
}

}  // namespace
}  // namespace vorel::playlist
