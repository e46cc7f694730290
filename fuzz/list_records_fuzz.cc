// libFuzzer target: the list view's record loader. The first byte picks the column count; the
// rows it yields must encode and decode to themselves.
#include <cstdlib>
#include <span>

#include "runtime/list_view_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vorel::runtime;
  if (size == 0) return 0;
  const int columns = data[0] % 8;
  auto rows = DecodeListRows(std::span(data + 1, size - 1), columns);
  Bytes encoded = EncodeListRows(rows, columns);
  auto again = DecodeListRows(encoded, columns);
  if (again.size() != rows.size()) std::abort();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (again[i].cells != rows[i].cells || again[i].data != rows[i].data) std::abort();
  }
  return 0;
}
