#include <gtest/gtest.h>

#include "playlist/playlist.h"
#include "runtime/list_view_records.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using runtime::Bytes;
using runtime::Text;

// One row of the play list as the Windows program wrote it: four records, the first carrying the
// row's numbers and its kind, the others -1, -1, 0, 0 and a cell each.
TEST(RecordFormatTest, RowMatchesTheStoredLayoutByteForByte) {
  Bytes row = EncodeRow({"网络文件"_t, "http://h/a.mp3", "歌"_t, ""}, -1, -1, 0, 0);
  // One record per line, as the file holds them.
  // clang-format off
  const Bytes want = {
      0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
      0xCD, 0xF8, 0xC2, 0xE7, 0xCE, 0xC4, 0xBC, 0xFE, 0, 0,  // 网络文件 in code page 936
      0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
      'h', 't', 't', 'p', ':', '/', '/', 'h', '/', 'a', '.', 'm', 'p', '3', 0, 0,
      0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
      0xB8, 0xE8, 0, 0,
      0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0,
  };
  // clang-format on
  EXPECT_EQ(row, want);
}

TEST(RecordFormatTest, RowsNumbersAreLittleEndian) {
  Bytes row = EncodeRow({"a"}, 0x01020304, 5, 6, 7);
  ASSERT_EQ(row.size(), 17u + 2u + 1u);
  EXPECT_EQ(row[1], 0x04);
  EXPECT_EQ(row[4], 0x01);
  EXPECT_EQ(row[5], 5);
  EXPECT_EQ(row[9], 6);
  EXPECT_EQ(row[13], 7);
}

}  // namespace
}  // namespace vorel::playlist
