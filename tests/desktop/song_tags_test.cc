#include "app/desktop/song_tags.h"

#include <gtest/gtest.h>

#include <string>

namespace vorel::desktop {
namespace {

using namespace std::string_literals;

std::string Synchsafe(std::size_t n) {
  return {char(n >> 21 & 0x7F), char(n >> 14 & 0x7F), char(n >> 7 & 0x7F), char(n & 0x7F)};
}
std::string Be32(std::size_t n) { return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)}; }

// A v2.3 or v2.4 tag holding `frames`, `flags` in its header.
std::string Tag(int version, const std::string& frames, int flags = 0) {
  return "ID3"s + char(version) + '\0' + char(flags) + Synchsafe(frames.size()) + frames;
}
std::string Frame(int version, const std::string& id, const std::string& body) {
  return id + (version == 4 ? Synchsafe(body.size()) : Be32(body.size())) + "\0\0"s + body;
}
std::string V1(const std::string& title, const std::string& artist, const std::string& album) {
  auto field = [](std::string s) { return s.append(30 - s.size(), '\0'); };
  std::string t = "TAG" + field(title) + field(artist) + field(album);
  return t.append(128 - t.size(), '\0');
}

// Every 0xFF followed by 0x00, as a writer unsynchronising a tag leaves it.
std::string Unsynchronised(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (static_cast<unsigned char>(c) == 0xFF) out += '\0';
  }
  return out;
}

struct Case {
  const char* name;
  std::string head, tail;
  std::string title, artist, album;
};

TEST(SongTagsTest, ReadsTheTextFramesOfEveryVersionAndEncoding) {
  const Case cases[] = {
      {"v2.3 UTF-16 with BOM", Tag(3, Frame(3, "TIT2", "\x01\xFF\xFE\x74\x66\x29\x59"s)), "",
       "晴天", "", ""},
      {"v2.4 UTF-8, several values",
       Tag(4, Frame(4, "TPE1",
                    "\x03"
                    "A\0B"s)),
       "", "", "A", ""},
      {"v2.4 UTF-16BE", Tag(4, Frame(4, "TALB", "\x02\x53\xF6\x60\xE0"s)), "", "", "", "叶惠"},
      {"Latin-1",
       Tag(3, Frame(3, "TIT2",
                    "\x00"
                    "Caf\xE9"s)),
       "", "Café", "", ""},
      // Chinese rips: GBK bytes in a Latin-1 frame and in every ID3v1 field.
      {"GBK in a Latin-1 frame", Tag(3, Frame(3, "TIT2", "\x00\xC7\xE7\xCC\xEC (live)"s)), "",
       "晴天 (live)", "", ""},
      {"GBK in ID3v1", "", V1("\xD2\xB6\xBB\xDD", "\xD2\xB6\x81\x40", "\xD7\xA8\xBC\xAD 2"), "叶惠",
       "叶丂", "专辑 2"},
      // European names stay Latin-1, though "\xE8m" and "\xF6r" would pass for GBK characters;
      // so do bytes that are no GBK at all.
      {"accented Latin-1 names",
       Tag(3, Frame(3, "TIT2",
                    "\x00"
                    "Cr\xE8me"s) +
                  Frame(3, "TPE1",
                        "\x00"
                        "Bj\xF6rk"s) +
                  Frame(3, "TALB", "\x00\xC0\xFF\xE9"s)),
       "", "Crème", "Björk", "Àÿé"},
      {"v2.2",
       "ID3\x02\0\0"s + Synchsafe(10) +
           "TT2\0\0\x04\x00"
           "abc"s,
       "", "abc", "", ""},
      {"unsynchronised v2.3",
       Tag(3, Unsynchronised(Frame(3, "TIT2", "\x01\xFF\xFE\x41\x00"s)), 0x80), "", "A", "", ""},
      {"ID3v1 fills what v2 lacks", Tag(3, Frame(3, "TIT2", "\x03T"s)), V1("x", "Artist", "Album"),
       "T", "Artist", "Album"},
      {"a frame running past the tag ends the reading",
       Tag(3, Frame(3, "TIT2", "\x03ok"s) + "TPE1" + Be32(1000) + "\0\0\x03zz"s), "", "ok", "", ""},
      {"invalid UTF-8 is replaced", Tag(4, Frame(4, "TIT2", "\x03\xC3("s)), "", "\uFFFD(", "", ""},
      {"no tag at all", "\xFF\xFB\x90\x00"s, "", "", "", ""},
      {"a truncated header", "ID3\x03"s, "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SongTags t = ParseSongTags(c.head, c.tail);
    EXPECT_EQ(t.title, c.title);
    EXPECT_EQ(t.artist, c.artist);
    EXPECT_EQ(t.album, c.album);
  }
}

TEST(SongTagsTest, TheFrontCoverWinsOverOtherPictures) {
  const std::string other = Frame(3, "APIC", "\x00image/png\0\x04\0PNGDATA"s);
  const std::string front = Frame(3, "APIC", "\x01image/jpeg\0\x03\xFF\xFE\0\0JPEG"s);
  SongTags t = ParseSongTags(Tag(3, other + front), "");
  EXPECT_EQ(t.cover_mime, "image/jpeg");
  EXPECT_EQ(std::string(t.cover.begin(), t.cover.end()), "JPEG");
  t = ParseSongTags(Tag(3, other), "");
  EXPECT_EQ(std::string(t.cover.begin(), t.cover.end()), "PNGDATA");
  // A picture frame cut before its data gives no cover.
  EXPECT_TRUE(ParseSongTags(Tag(3, Frame(3, "APIC", "\x00image/png"s)), "").cover.empty());
}

}  // namespace
}  // namespace vorel::desktop
