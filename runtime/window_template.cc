#include "runtime/window_template.h"

#include <cstring>
#include <limits>

namespace vorel::runtime {
namespace {

using platform::MakeUnexpected;

// Bounds-checked reader over the template bytes. Every read says whether it fitted; once one
// fails the reader stays failed, so callers check once after a group of reads.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  bool ok() const { return ok_; }
  std::size_t remaining() const { return ok_ ? data_.size() - pos_ : 0; }
  std::size_t pos() const { return pos_; }

  std::uint32_t U32() {
    if (!Need(4)) return 0;
    std::uint32_t v = std::uint32_t(data_[pos_]) | std::uint32_t(data_[pos_ + 1]) << 8 |
                      std::uint32_t(data_[pos_ + 2]) << 16 | std::uint32_t(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return v;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

  std::span<const std::uint8_t> Take(std::size_t n) {
    if (!Need(n)) return {};
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }

  Text CountedText() {
    std::uint32_t n = U32();
    auto s = Take(n);
    return Text(s.begin(), s.end());
  }

  Text CText() {
    if (!ok_) return {};
    const void* nul = std::memchr(data_.data() + pos_, 0, data_.size() - pos_);
    if (!nul) {
      ok_ = false;
      return {};
    }
    std::size_t n = static_cast<const std::uint8_t*>(nul) - (data_.data() + pos_);
    Text t(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n + 1;
    return t;
  }

 private:
  bool Need(std::size_t n) {
    if (!ok_ || n > data_.size() - pos_) ok_ = false;
    return ok_;
  }
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

class Writer {
 public:
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Raw(const void* p, std::size_t n) {
    auto b = static_cast<const std::uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void CountedText(const Text& t) {
    U32(static_cast<std::uint32_t>(t.size()));
    Raw(t.data(), t.size());
  }
  void CText(const Text& t) {
    Raw(t.data(), t.size());
    out_.push_back(0);
  }
  Bytes& bytes() { return out_; }

 private:
  Bytes out_;
};

bool IsMenuItem(ControlId id) { return (id >> 28) == 2 && ((id >> 24) & 0xF) == 6; }

platform::Expected<ControlRecord, TemplateError> ParseRecord(std::span<const std::uint8_t> data,
                                                             ControlId id) {
  Reader r(data);
  ControlRecord rec;
  rec.id = id;
  rec.type = r.U32();
  r.Take(20);
  rec.name = r.CText();
  rec.remark = r.CText();
  r.U32();  // handle slot
  rec.left = r.I32();
  rec.top = r.I32();
  rec.width = r.I32();
  rec.height = r.I32();
  r.U32();
  rec.container = r.U32();
  std::uint32_t k = r.U32();
  if (!r.ok() || k > r.remaining() / 4) return MakeUnexpected(TemplateError{"child list"});
  rec.children.reserve(k);
  for (std::uint32_t i = 0; i < k; ++i) rec.children.push_back(r.U32());
  std::uint32_t pointer_size = r.U32();
  auto pointer = r.Take(pointer_size);
  rec.mouse_pointer.assign(pointer.begin(), pointer.end());
  rec.tag = r.CText();
  r.U32();
  rec.flags = r.U32();
  rec.tab_order = r.I32();
  std::uint32_t e = r.U32();
  if (!r.ok() || e > r.remaining() / 8) return MakeUnexpected(TemplateError{"event table"});
  rec.events.reserve(e);
  for (std::uint32_t i = 0; i < e; ++i) {
    EventBinding b;
    b.key = r.I32();
    b.handler = r.I32();
    rec.events.push_back(b);
  }
  r.Take(20);
  // The type data begins with its 32-bit data version, so it is at least four bytes.
  if (!r.ok() || r.remaining() < 4) return MakeUnexpected(TemplateError{"record fields"});
  auto rest = r.Take(r.remaining());
  rec.type_data.assign(rest.begin(), rest.end());
  return rec;
}

platform::Expected<WindowRecord, TemplateError> ParseWindow(Reader& r, WindowId id) {
  WindowRecord w;
  w.id = id;
  w.word1 = r.U32();
  w.word2 = r.U32();
  w.text1 = r.CountedText();
  w.text2 = r.CountedText();
  std::uint32_t count = r.U32();
  std::uint32_t size = r.U32();
  auto block = r.Take(size);
  if (!r.ok()) return MakeUnexpected(TemplateError{"window header or control block"});
  // Ids and offsets alone take 8 bytes per control; a count beyond that is damage.
  if (count == 0 || count > block.size() / 8) {
    return MakeUnexpected(TemplateError{"control count"});
  }
  Reader b(block);
  std::vector<ControlId> ids(count);
  std::vector<std::uint32_t> offsets(count);
  for (auto& id_slot : ids) id_slot = b.U32();
  for (auto& off : offsets) off = b.U32();
  const std::size_t records_start = b.pos();
  auto records = block.subspan(records_start);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (IsMenuItem(ids[i])) return MakeUnexpected(TemplateError{"menu items are not supported"});
    if (offsets[i] > records.size() || records.size() - offsets[i] < 4) {
      return MakeUnexpected(TemplateError{"record offset"});
    }
    Reader rr(records.subspan(offsets[i]));
    std::uint32_t rec_size = rr.U32();
    auto rec_bytes = rr.Take(rec_size);
    if (!rr.ok()) return MakeUnexpected(TemplateError{"record size"});
    auto rec = ParseRecord(rec_bytes, ids[i]);
    if (!rec) return MakeUnexpected(rec.error());
    w.controls.push_back(std::move(rec).value());
  }
  if (w.controls[0].type != kTypeWindow) {
    return MakeUnexpected(TemplateError{"first control is not the window"});
  }
  return w;
}

void WriteRecord(Writer& w, const ControlRecord& rec) {
  w.U32(rec.type);
  for (int i = 0; i < 5; ++i) w.U32(0);
  w.CText(rec.name);
  w.CText(rec.remark);
  w.U32(0);
  w.U32(static_cast<std::uint32_t>(rec.left));
  w.U32(static_cast<std::uint32_t>(rec.top));
  w.U32(static_cast<std::uint32_t>(rec.width));
  w.U32(static_cast<std::uint32_t>(rec.height));
  w.U32(0);
  w.U32(rec.container);
  w.U32(static_cast<std::uint32_t>(rec.children.size()));
  for (ControlId c : rec.children) w.U32(c);
  w.U32(static_cast<std::uint32_t>(rec.mouse_pointer.size()));
  w.Raw(rec.mouse_pointer.data(), rec.mouse_pointer.size());
  w.CText(rec.tag);
  w.U32(0);
  w.U32(rec.flags);
  w.U32(static_cast<std::uint32_t>(rec.tab_order));
  w.U32(static_cast<std::uint32_t>(rec.events.size()));
  for (const auto& e : rec.events) {
    w.U32(static_cast<std::uint32_t>(e.key));
    w.U32(static_cast<std::uint32_t>(e.handler));
  }
  for (int i = 0; i < 5; ++i) w.U32(0);
  w.Raw(rec.type_data.data(), rec.type_data.size());
}

}  // namespace

const ControlRecord* WindowRecord::Find(ControlId control) const {
  if (!controls.empty() && controls[0].id == control) return &controls[0];
  for (const auto& c : controls) {
    if (c.id == control) return &c;
  }
  return nullptr;
}

const WindowRecord* WindowTemplate::Find(WindowId window) const {
  for (const auto& w : windows) {
    if (w.id == window) return &w;
  }
  return nullptr;
}

platform::Expected<WindowTemplate, TemplateError> ParseWindowTemplate(
    std::span<const std::uint8_t> data) {
  Reader r(data);
  std::uint32_t n = r.U32();
  if (!r.ok() || n % 8 != 0 || n > r.remaining()) {
    return MakeUnexpected(TemplateError{"window directory"});
  }
  std::vector<WindowId> ids(n / 8);
  for (auto& id : ids) id = r.U32();
  r.Take(n / 2);  // slots the loader fills at run time
  WindowTemplate t;
  for (WindowId id : ids) {
    auto w = ParseWindow(r, id);
    if (!w) return MakeUnexpected(w.error());
    t.windows.push_back(std::move(w).value());
  }
  if (r.remaining() != 0) return MakeUnexpected(TemplateError{"data after the last window"});
  return t;
}

Bytes SerializeWindowTemplate(const WindowTemplate& tmpl) {
  Writer w;
  w.U32(static_cast<std::uint32_t>(tmpl.windows.size() * 8));
  for (const auto& win : tmpl.windows) w.U32(win.id);
  for (std::size_t i = 0; i < tmpl.windows.size(); ++i) w.U32(0);
  for (const auto& win : tmpl.windows) {
    w.U32(win.word1);
    w.U32(win.word2);
    w.CountedText(win.text1);
    w.CountedText(win.text2);
    std::vector<Bytes> records;
    for (const auto& c : win.controls) {
      Writer rw;
      WriteRecord(rw, c);
      records.push_back(std::move(rw.bytes()));
    }
    Writer block;
    for (const auto& c : win.controls) block.U32(c.id);
    std::uint32_t offset = 0;
    for (const auto& rec : records) {
      block.U32(offset);
      offset += 4 + static_cast<std::uint32_t>(rec.size());
    }
    for (const auto& rec : records) {
      block.U32(static_cast<std::uint32_t>(rec.size()));
      block.Raw(rec.data(), rec.size());
    }
    w.U32(static_cast<std::uint32_t>(win.controls.size()));
    w.U32(static_cast<std::uint32_t>(block.bytes().size()));
    w.Raw(block.bytes().data(), block.bytes().size());
  }
  return std::move(w.bytes());
}

}  // namespace vorel::runtime
