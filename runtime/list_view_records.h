#ifndef VOREL_RUNTIME_LIST_VIEW_RECORDS_H_
#define VOREL_RUNTIME_LIST_VIEW_RECORDS_H_

// The list view's "all rows" value (property 37), which is also the play list file's format:
// a sequence of records with no header and no count. Each record is
//   kind (1 byte: 0 starts a row, anything else is the next cell of the current row),
//   image, state image, indent, item data (4 x 32-bit little-endian),
//   the cell text (NUL-terminated), a second text (NUL-terminated, written empty).
// A row is a kind-0 record with its own four numbers and cell 0, then one kind-1 record with
// -1, -1, 0, 0 for each further column.
//
// Pure data code: thread-compatible.

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/text.h"

namespace vorel::runtime {

struct ListRow {
  std::int32_t image = -1;
  std::int32_t state_image = -1;
  std::int32_t indent = 0;
  std::int32_t data = 0;
  std::vector<Text> cells;  // cell 0 is the row's title
};

// Rows to records; each row is written with exactly `column_count` cells (missing cells empty,
// at least one). An empty list gives empty bytes.
Bytes EncodeListRows(const std::vector<ListRow>& rows, int column_count);

// Records to rows with `column_count` cells each. Damaged data never fails: the walk stops at the
// first incomplete record (a cut-off save keeps its complete rows), and cell records before any
// row or beyond the column count are ignored.
std::vector<ListRow> DecodeListRows(std::span<const std::uint8_t> data, int column_count);

// True when DecodeListRows would use every byte of `data`: no cut-off record at the end and no
// cell record it would have to ignore. An empty list is intact.
bool ListRecordsIntact(std::span<const std::uint8_t> data, int column_count);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_LIST_VIEW_RECORDS_H_
