#include "app/desktop/song_tags.h"

#include <algorithm>
#include <fstream>

#include "platform/code_page.h"

namespace vorel::desktop {
namespace {

std::uint32_t BigEndian(std::string_view b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

// A 28-bit "synchsafe" integer: four bytes of seven bits each.
std::uint32_t Synchsafe(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 7 | (static_cast<unsigned char>(b[at + i]) & 0x7F);
  return v;
}

// Undoes unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
std::string Resynchronise(std::string_view b) {
  std::string out;
  out.reserve(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    out += b[i];
    if (static_cast<unsigned char>(b[i]) == 0xFF && i + 1 < b.size() && b[i + 1] == '\0') ++i;
  }
  return out;
}

void AppendUtf8(std::string* out, std::uint32_t c) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | c >> 6);
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | c >> 12);
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | c >> 18);
    *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Latin1(std::string_view b) {
  std::string out;
  for (char c : b) AppendUtf8(&out, static_cast<unsigned char>(c));
  return out;
}

// Chinese rips put GBK bytes where the tag says Latin-1 (the text frames' encoding 0 and every
// ID3v1 field), and players there show them as GBK. Such bytes are taken as GBK when they are
// made only of ASCII and two-byte GBK characters, and at least one of those characters has both
// bytes above 0x7F: accented European names ("Björk", "Crème") put one byte above 0x7F between
// ASCII letters, which Latin-1 reads and this leaves alone, while a Chinese title is a run of
// such pairs that Latin-1 turns into nonsense ("ÇçÌì" for "晴天").
bool LooksLikeGbk(std::string_view b) {
  bool high_pair = false;
  for (std::size_t i = 0; i < b.size();) {
    const auto lead = static_cast<unsigned char>(b[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead == 0x80 || lead == 0xFF || i + 1 == b.size()) return false;
    const auto trail = static_cast<unsigned char>(b[i + 1]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
    high_pair = high_pair || trail >= 0x80;
    i += 2;
  }
  return high_pair;
}

// Encoding 0: Latin-1, or GBK where the bytes say so.
std::string Latin1OrGbk(std::string_view b) {
  if (LooksLikeGbk(b)) {
    if (auto utf8 = platform::Gb18030ToUtf8(b)) return *utf8;
  }
  return Latin1(b);
}

std::string Utf16(std::string_view b, bool big_endian) {
  if (b.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(b[0]), b1 = static_cast<unsigned char>(b[1]);
    if (b0 == 0xFF && b1 == 0xFE) big_endian = false, b.remove_prefix(2);
    else if (b0 == 0xFE && b1 == 0xFF) big_endian = true, b.remove_prefix(2);
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    auto unit = [&](std::size_t at) {
      const auto lo = static_cast<unsigned char>(b[at + (big_endian ? 1 : 0)]);
      const auto hi = static_cast<unsigned char>(b[at + (big_endian ? 0 : 1)]);
      return static_cast<std::uint32_t>(hi << 8 | lo);
    };
    std::uint32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

// Invalid UTF-8 would be refused by D-Bus as a whole message: each bad byte becomes U+FFFD.
std::string CleanUtf8(std::string_view b) {
  std::string out;
  for (std::size_t i = 0; i < b.size();) {
    const auto c = static_cast<unsigned char>(b[i]);
    const int extra = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
    bool ok = extra >= 0 && i + extra < b.size();
    for (int k = 1; ok && k <= extra; ++k) {
      ok = (static_cast<unsigned char>(b[i + k]) & 0xC0) == 0x80;
    }
    if (ok) {
      out.append(b.substr(i, extra + 1));
      i += extra + 1;
    } else {
      AppendUtf8(&out, 0xFFFD);
      ++i;
    }
  }
  return out;
}

std::size_t TerminatorLength(int encoding) { return encoding == 1 || encoding == 2 ? 2 : 1; }

// Where the text starting at `from` ends (its terminator, or the end); aligned for UTF-16.
std::size_t TextEnd(std::string_view b, std::size_t from, int encoding) {
  if (TerminatorLength(encoding) == 1) {
    const std::size_t nul = b.find('\0', from);
    return nul == std::string_view::npos ? b.size() : nul;
  }
  for (std::size_t i = from; i + 1 < b.size(); i += 2) {
    if (b[i] == '\0' && b[i + 1] == '\0') return i;
  }
  return b.size();
}

std::string Decode(std::string_view b, int encoding) {
  std::string text;
  switch (encoding) {
    case 0: text = Latin1OrGbk(b); break;
    case 1: text = Utf16(b, false); break;
    case 2: text = Utf16(b, true); break;
    default: text = CleanUtf8(b); break;
  }
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string TextFrame(std::string_view body) {
  if (body.empty()) return {};
  const int encoding = static_cast<unsigned char>(body[0]);
  body.remove_prefix(1);
  // Only the first of several values (v2.4 separates them with terminators).
  return Decode(body.substr(0, TextEnd(body, 0, encoding)), encoding);
}

// An attached picture: APIC (encoding, MIME type, picture type, description, data) or v2.2's
// PIC (a three-letter format instead of the MIME type).
void PictureFrame(std::string_view body, bool v22, SongTags* tags) {
  if (body.size() < 4) return;
  const int encoding = static_cast<unsigned char>(body[0]);
  std::size_t at = 1;
  std::string mime;
  if (v22) {
    std::string format(body.substr(1, 3));
    for (char& c : format) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    mime = format == "png" ? "image/png" : "image/jpeg";
    at = 4;
  } else {
    const std::size_t nul = body.find('\0', at);
    if (nul == std::string_view::npos) return;
    mime = std::string(body.substr(at, nul - at));
    at = nul + 1;
    if (mime.find('/') == std::string::npos) mime = "image/" + mime;
  }
  if (at >= body.size()) return;
  const int kind = static_cast<unsigned char>(body[at++]);
  const std::size_t end = TextEnd(body, at, encoding);
  if (end >= body.size()) return;
  at = end + TerminatorLength(encoding);
  if (at >= body.size()) return;
  // The front cover wins over any other picture; otherwise the first one stays.
  if (!tags->cover.empty() && kind != 3) return;
  tags->cover.assign(body.begin() + static_cast<std::ptrdiff_t>(at), body.end());
  tags->cover_mime = mime;
}

void ParseId3v2(std::string_view head, SongTags* tags) {
  if (head.size() < 10 || head.substr(0, 3) != "ID3") return;
  const int version = static_cast<unsigned char>(head[3]);
  const int flags = static_cast<unsigned char>(head[5]);
  if (version < 2 || version > 4) return;
  const std::size_t size = std::min<std::size_t>(Synchsafe(head, 6), head.size() - 10);
  std::string body(head.substr(10, size));
  if ((flags & 0x80) && version < 4) body = Resynchronise(body);
  std::string_view b = body;
  std::size_t at = 0;
  if ((flags & 0x40) && version == 3 && b.size() >= 4) at = 4 + BigEndian(b, 0, 4);
  if ((flags & 0x40) && version == 4 && b.size() >= 4) at = Synchsafe(b, 0);
  const bool v22 = version == 2;
  const std::size_t header = v22 ? 6 : 10;
  while (at + header <= b.size()) {
    const std::string_view id = b.substr(at, v22 ? 3 : 4);
    if (id[0] == '\0') break;  // padding
    const std::size_t frame_size = v22            ? BigEndian(b, at + 3, 3)
                                   : version == 4 ? Synchsafe(b, at + 4)
                                                  : BigEndian(b, at + 4, 4);
    const int frame_flags = v22 ? 0 : static_cast<unsigned char>(b[at + 9]);
    at += header;
    if (frame_size > b.size() - at) break;
    std::string frame(b.substr(at, frame_size));
    at += frame_size;
    // Compressed or encrypted frames are skipped; a v2.4 data length indicator is stepped over.
    if (version == 3 && (frame_flags & 0xC0)) continue;
    if (version == 4 && (frame_flags & 0x0C)) continue;
    if (version == 4 && (frame_flags & 0x02)) frame = Resynchronise(frame);
    std::string_view f = frame;
    if (version == 4 && (frame_flags & 0x01)) f = f.size() >= 4 ? f.substr(4) : std::string_view();
    if (id == "TIT2" || id == "TT2") tags->title = TextFrame(f);
    else if (id == "TPE1" || id == "TP1") tags->artist = TextFrame(f);
    else if (id == "TALB" || id == "TAL") tags->album = TextFrame(f);
    else if (id == "APIC" || id == "PIC") PictureFrame(f, v22, tags);
  }
}

// ID3v1: "TAG", then title, artist and album of 30 bytes each, padded with NULs or spaces.
void ParseId3v1(std::string_view tail, SongTags* tags) {
  if (tail.size() != 128 || tail.substr(0, 3) != "TAG") return;
  auto field = [&](std::size_t at) {
    std::string_view f = tail.substr(at, 30);
    return Decode(f.substr(0, std::min(f.find('\0'), f.size())), 0);
  };
  if (tags->title.empty()) tags->title = field(3);
  if (tags->artist.empty()) tags->artist = field(33);
  if (tags->album.empty()) tags->album = field(63);
}

}  // namespace

SongTags ParseSongTags(std::string_view head, std::string_view tail) {
  SongTags tags;
  ParseId3v2(head, &tags);
  ParseId3v1(tail, &tags);
  return tags;
}

SongTags ReadSongTags(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  char header[10] = {};
  in.read(header, sizeof header);
  std::string head(header, static_cast<std::size_t>(in.gcount()));
  if (head.size() == 10 && head.compare(0, 3, "ID3") == 0) {
    const std::size_t size = std::min<std::size_t>(Synchsafe(head, 6), kMaxTagBytes);
    head.resize(10 + size);
    in.read(head.data() + 10, static_cast<std::streamsize>(size));
    head.resize(10 + static_cast<std::size_t>(in.gcount()));
  }
  std::string tail(128, '\0');
  in.clear();
  in.seekg(-128, std::ios::end);
  if (in && in.read(tail.data(), 128)) {
    tail.resize(static_cast<std::size_t>(in.gcount()));
  } else {
    tail.clear();
  }
  return ParseSongTags(head, tail);
}

}  // namespace vorel::desktop
