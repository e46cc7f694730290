#include <gtest/gtest.h>

#include "runtime/list_view_records.h"

namespace vorel {
namespace {

using namespace runtime;
using namespace runtime::literals;

std::vector<ListRow> TwoRows() {
  ListRow a;
  a.cells = {"网络文件"_t, "http://127.0.0.1/x", "第一首"_t, "http://127.0.0.1/c.jpg"};
  ListRow b;
  b.image = 3;
  b.state_image = 1;
  b.indent = 2;
  b.data = 77;
  b.cells = {"本地文件"_t, "/music/b.mp3", "b", ""};
  return {a, b};
}

TEST(ListViewRecordsTest, TwoRowsOfFourColumnsAreEightRecords) {
  Bytes data = EncodeListRows(TwoRows(), 4);
  int records = 0;
  for (std::size_t pos = 0; pos < data.size(); ++records) {
    pos += 17;
    while (data[pos] != 0) ++pos;
    pos += 2;  // both NULs: the second text is empty
  }
  EXPECT_EQ(records, 8);
  // A further cell carries -1, -1, 0, 0.
  std::size_t second = 17 + TwoRows()[0].cells[0].size() + 2;
  EXPECT_EQ(data[second], 1);
  EXPECT_EQ(Bytes(data.begin() + second + 1, data.begin() + second + 17),
            (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ListViewRecordsTest, DecodingGivesTheSameRowsBack) {
  auto rows = DecodeListRows(EncodeListRows(TwoRows(), 4), 4);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells, TwoRows()[0].cells);
  EXPECT_EQ(rows[1].cells, TwoRows()[1].cells);
  EXPECT_EQ(rows[1].image, 3);
  EXPECT_EQ(rows[1].state_image, 1);
  EXPECT_EQ(rows[1].indent, 2);
  EXPECT_EQ(rows[1].data, 77);
  EXPECT_TRUE(EncodeListRows({}, 4).empty());
}

TEST(ListViewRecordsTest, CutOffDataKeepsTheCompleteRecords) {
  Bytes data = EncodeListRows(TwoRows(), 4);
  const std::size_t first_row_end = EncodeListRows({TwoRows()[0]}, 4).size();
  for (std::size_t n = 0; n <= data.size(); ++n) {
    auto rows = DecodeListRows(std::span(data).first(n), 4);
    ASSERT_LE(rows.size(), n == data.size() ? 2u : (n >= first_row_end + 19 ? 2u : 1u));
    if (n >= first_row_end) {
      ASSERT_GE(rows.size(), 1u);
      EXPECT_EQ(rows[0].cells, TwoRows()[0].cells);
    }
  }
}

TEST(ListViewRecordsTest, StrayCellsAreIgnored) {
  Bytes cell = EncodeListRows({TwoRows()[0]}, 2);
  Bytes lone(cell.begin() + 17 + TwoRows()[0].cells[0].size() + 2, cell.end());
  EXPECT_TRUE(DecodeListRows(lone, 4).empty());                 // a cell before any row
  auto rows = DecodeListRows(EncodeListRows(TwoRows(), 4), 2);  // more cells than columns
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells.size(), 2u);
  EXPECT_EQ(rows[1].cells[0], "本地文件"_t);
}

}  // namespace
}  // namespace vorel
