#include "runtime/type_data.h"

namespace vorel::runtime {
namespace {

using platform::MakeUnexpected;

std::uint32_t LoadU32(std::span<const std::uint8_t> d, std::size_t at) {
  return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
         std::uint32_t(d[at + 3]) << 24;
}

void StoreU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::optional<std::int32_t> TypeData::Int(std::int32_t key) const {
  auto it = values.find(key);
  if (it == values.end()) return std::nullopt;
  if (auto p = std::get_if<std::int32_t>(&it->second)) return *p;
  return std::nullopt;
}

Text TypeData::GetText(std::int32_t key) const {
  auto it = values.find(key);
  if (it == values.end()) return {};
  if (auto p = std::get_if<Text>(&it->second)) return *p;
  return {};
}

Bytes TypeData::GetBytes(std::int32_t key) const {
  auto it = values.find(key);
  if (it == values.end()) return {};
  if (auto p = std::get_if<Bytes>(&it->second)) return *p;
  return {};
}

platform::Expected<TypeData, TemplateError> ParseTypeData(std::span<const std::uint8_t> d) {
  if (d.size() < 8) return MakeUnexpected(TemplateError{"type data header"});
  TypeData td;
  td.version = LoadU32(d, 0);
  std::uint32_t count = LoadU32(d, 4);
  std::size_t pos = 8;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (d.size() - pos < 9) return MakeUnexpected(TemplateError{"type data entry"});
    auto key = static_cast<std::int32_t>(LoadU32(d, pos));
    std::uint8_t kind = d[pos + 4];
    std::uint32_t word = LoadU32(d, pos + 5);
    pos += 9;
    if (kind == 0) {
      td.values[key] = static_cast<std::int32_t>(word);
      continue;
    }
    if (kind > 2 || word > d.size() - pos) {
      return MakeUnexpected(TemplateError{"type data value"});
    }
    auto s = d.subspan(pos, word);
    if (kind == 1) {
      td.values[key] = Text(s.begin(), s.end());
    } else {
      td.values[key] = Bytes(s.begin(), s.end());
    }
    pos += word;
  }
  if (pos != d.size()) return MakeUnexpected(TemplateError{"type data length"});
  return td;
}

Bytes SerializeTypeData(const TypeData& td) {
  Bytes out;
  StoreU32(out, td.version);
  StoreU32(out, static_cast<std::uint32_t>(td.values.size()));
  for (const auto& [key, value] : td.values) {
    StoreU32(out, static_cast<std::uint32_t>(key));
    if (auto i = std::get_if<std::int32_t>(&value)) {
      out.push_back(0);
      StoreU32(out, static_cast<std::uint32_t>(*i));
    } else if (auto t = std::get_if<Text>(&value)) {
      out.push_back(1);
      StoreU32(out, static_cast<std::uint32_t>(t->size()));
      out.insert(out.end(), t->begin(), t->end());
    } else {
      const auto& b = std::get<Bytes>(value);
      out.push_back(2);
      StoreU32(out, static_cast<std::uint32_t>(b.size()));
      out.insert(out.end(), b.begin(), b.end());
    }
  }
  return out;
}

Bytes SerializeColumns(const std::vector<ColumnSpec>& columns) {
  Bytes out;
  for (const auto& c : columns) {
    StoreU32(out, static_cast<std::uint32_t>(c.width));
    StoreU32(out, static_cast<std::uint32_t>(c.header.size()));
    out.insert(out.end(), c.header.begin(), c.header.end());
  }
  return out;
}

platform::Expected<std::vector<ColumnSpec>, TemplateError> ParseColumns(
    std::span<const std::uint8_t> d) {
  std::vector<ColumnSpec> cols;
  std::size_t pos = 0;
  while (pos < d.size()) {
    if (d.size() - pos < 8) return MakeUnexpected(TemplateError{"column entry"});
    ColumnSpec c;
    c.width = static_cast<std::int32_t>(LoadU32(d, pos));
    std::uint32_t n = LoadU32(d, pos + 4);
    pos += 8;
    if (n > d.size() - pos) return MakeUnexpected(TemplateError{"column header"});
    c.header.assign(d.begin() + pos, d.begin() + pos + n);
    pos += n;
    cols.push_back(std::move(c));
  }
  return cols;
}

}  // namespace vorel::runtime
