#ifndef VOREL_PLATFORM_HTTP_INTERNAL_HEADER_BLOCK_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_HEADER_BLOCK_H_

// Collecting a response's raw header block from the lines a transfer delivers, and reading
// headers back out of such a block. Thread-compatible.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorel::platform::http::internal {

class HeaderBlock {
 public:
  // One line as received, with or without its line end. A line starting "HTTP/" after a
  // complete block starts a new block (an interim 1xx answer is replaced by the final one);
  // other lines after a complete block (trailers) are ignored.
  void AddLine(std::string_view raw);
  // True once the blank line after the header lines arrived.
  bool complete() const { return complete_; }
  // Status line and header lines, each ended by "\r\n", followed by one more "\r\n".
  std::string Block() const { return lines_ + "\r\n"; }

 private:
  std::string lines_;
  bool open_ = false;
  bool complete_ = false;
};

// Calls `visit` with the name and trimmed value of each header line of a block (the status
// line is skipped; lines without ":" are skipped).
void ForEachHeader(std::string_view block,
                   const std::function<void(std::string_view, std::string_view)>& visit);

// The value of the first header named `name` (any letter case).
std::optional<std::string> HeaderValue(std::string_view block, std::string_view name);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_HEADER_BLOCK_H_
