#ifndef VOREL_APP_DESKTOP_SONG_TAGS_H_
#define VOREL_APP_DESKTOP_SONG_TAGS_H_

// What an MP3 file says about itself: title, artist, album and an embedded cover, read from its
// ID3v2 tag (versions 2.2, 2.3 and 2.4, unsynchronised or not) or, for the texts it lacks, from
// an ID3v1 tag at the end. Latin-1 texts whose bytes are GBK Chinese (as Chinese rips write them)
// are read as GBK. Nothing is trusted: sizes are bounded by the file and by
// kMaxTagBytes, and a damaged tag gives what was read before the damage. Thread-compatible.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorel::desktop {

struct SongTags {
  std::string title;                // UTF-8; empty when the file has none
  std::string artist;               // UTF-8
  std::string album;                // UTF-8
  std::string cover_mime;           // "image/jpeg", "image/png", ...; empty without a cover
  std::vector<std::uint8_t> cover;  // the picture file's bytes (the front cover if marked)

  bool operator==(const SongTags&) const = default;
};

// A tag bigger than this is read only this far.
inline constexpr std::size_t kMaxTagBytes = 16 * 1024 * 1024;

// The tags of the file at `path` (UTF-8); empty fields when it cannot be read or has none.
SongTags ReadSongTags(const std::string& path);

// The tags held in a file's first bytes (`head`, the ID3v2 tag and anything after it) and its
// last 128 bytes (`tail`, where an ID3v1 tag lies; may be empty).
SongTags ParseSongTags(std::string_view head, std::string_view tail);

}  // namespace vorel::desktop

#endif  // VOREL_APP_DESKTOP_SONG_TAGS_H_
