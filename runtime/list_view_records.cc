#include "runtime/list_view_records.h"

#include <algorithm>
#include <cstring>

namespace vorel::runtime {
namespace {

void StoreI32(Bytes& out, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t LoadI32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                   std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
}

void WriteRecord(Bytes& out, std::uint8_t kind, const std::int32_t numbers[4], const Text& text) {
  out.push_back(kind);
  for (int i = 0; i < 4; ++i) StoreI32(out, numbers[i]);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

Bytes EncodeListRows(const std::vector<ListRow>& rows, int column_count) {
  Bytes out;
  const int columns = std::max(column_count, 1);
  static const Text kEmpty;
  for (const auto& row : rows) {
    const std::int32_t own[4] = {row.image, row.state_image, row.indent, row.data};
    WriteRecord(out, 0, own, row.cells.empty() ? kEmpty : row.cells[0]);
    const std::int32_t cell_numbers[4] = {-1, -1, 0, 0};
    for (int c = 1; c < columns; ++c) {
      const Text& t = static_cast<std::size_t>(c) < row.cells.size() ? row.cells[c] : kEmpty;
      WriteRecord(out, 1, cell_numbers, t);
    }
  }
  return out;
}

namespace {

// Walks the records into rows; true when every byte belonged to a complete record and no cell
// record had to be ignored.
bool Walk(std::span<const std::uint8_t> data, int column_count, std::vector<ListRow>* out) {
  std::vector<ListRow>& rows = *out;
  bool intact = true;
  const std::size_t columns = static_cast<std::size_t>(std::max(column_count, 1));
  std::size_t pos = 0;
  std::size_t next_cell = 0;
  while (data.size() - pos >= 17) {
    const std::uint8_t* rec = data.data() + pos;
    const std::uint8_t* end = data.data() + data.size();
    const std::uint8_t* text = rec + 17;
    auto nul1 = static_cast<const std::uint8_t*>(std::memchr(text, 0, end - text));
    if (!nul1) break;
    auto nul2 = static_cast<const std::uint8_t*>(std::memchr(nul1 + 1, 0, end - (nul1 + 1)));
    if (!nul2) break;
    Text cell(reinterpret_cast<const char*>(text), nul1 - text);
    if (rec[0] == 0) {
      ListRow row;
      row.image = LoadI32(rec + 1);
      row.state_image = LoadI32(rec + 5);
      row.indent = LoadI32(rec + 9);
      row.data = LoadI32(rec + 13);
      row.cells.assign(columns, Text());
      row.cells[0] = std::move(cell);
      rows.push_back(std::move(row));
      next_cell = 1;
    } else if (!rows.empty() && next_cell < columns) {
      rows.back().cells[next_cell++] = std::move(cell);
    } else {
      intact = false;
    }
    pos = (nul2 + 1) - data.data();
  }
  return intact && pos == data.size();
}

}  // namespace

std::vector<ListRow> DecodeListRows(std::span<const std::uint8_t> data, int column_count) {
  std::vector<ListRow> rows;
  Walk(data, column_count, &rows);
  return rows;
}

bool ListRecordsIntact(std::span<const std::uint8_t> data, int column_count) {
  std::vector<ListRow> rows;
  return Walk(data, column_count, &rows);
}

}  // namespace vorel::runtime
