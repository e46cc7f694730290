#ifndef VOREL_SEARCH_SEARCH_SERVICES_H_
#define VOREL_SEARCH_SEARCH_SERVICES_H_

// What the music search and the sound-link resolver need from the rest of the program, wired
// once by the application before the first window loads.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace vorel::search {

struct SearchServices {
  // The host (and port) of the music search engine, of the sound service's interface, or
  // nothing when none is configured (the request is then not sent and counts as failed).
  // Called on the search worker and on the user-interface thread respectively.
  std::function<std::optional<runtime::Text>()> search_host;
  std::function<std::optional<runtime::Text>()> sound_api_host;
  // Says in the window that the sound service's interface host is not configured, and which
  // setting to make. UI thread.
  std::function<void()> host_missing;
  // The sample text the address box starts with.
  std::function<runtime::Text()> sample_address;
  // Slides a panel (2: the search panel), stops and plays, as the main window and player do.
  std::function<void(int)> slide_panel;
  std::function<void()> stop_playback;
  std::function<void()> open_and_play;
  // How many times the player has been asked to open an entry; a change while a resolve waits
  // tells that another entry was asked for.
  std::function<std::uint64_t()> open_count;
};

// A request address part made safe for a request line: bytes up to 0x20, 0x7F and "#" become
// "%XX"; every other byte (code page 936 text included) goes out as it is.
//   EncodeRequestBytes("a b#c") == "a%20b%23c"
runtime::Text EncodeRequestBytes(const runtime::Text& text);

// `text` with each byte that `encode` picks written as "%XX" and every other byte as it is.
runtime::Text PercentEncode(std::string_view text, bool (*encode)(unsigned char));

}  // namespace vorel::search

#endif  // VOREL_SEARCH_SEARCH_SERVICES_H_
