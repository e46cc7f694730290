// libFuzzer target: reply bytes as a server might send them, through header delimiting and
// parsing, the redirect rebuild, and the file names taken from server data. Traps when a
// parsed field breaks its contract (a negative size other than -1, an inverted range, a file
// name that could leave its folder).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/internal/file_names.h"
#include "download/internal/http_request.h"
#include "download/internal/response_header.h"
#include "download/transfer_address.h"
#include "runtime/text.h"

using namespace vorel::download;
using namespace vorel::download::internal;

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckSafeName(const vorel::runtime::Text& name) {
  Check(!name.empty() && name.front() != '.');
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    Check(c != '/' && byte >= 0x20 && byte != 0x7F);
  }
  Check(vorel::runtime::Utf8FromText(name).size() <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::optional<HeaderSpan> span = FindHeader(bytes);
  std::string_view header = span ? bytes.substr(span->begin, span->end - span->begin) : bytes;
  if (span) Check(span->begin < span->end && span->end <= size);

  ResponseHeader reply = ParseResponseHeader(header);
  Check(reply.status >= 0 && reply.status <= 999);
  Check(reply.content_length >= -1);
  if (reply.range_start >= 0) {
    Check(reply.range_end >= reply.range_start);
    Check(reply.range_total == -1 || reply.range_total > reply.range_end);
  }

  CheckSafeName(SafeFileName(DispositionFileName(reply.content_disposition)));
  CheckSafeName(FileNameFromTarget(reply.location));
  if (std::optional<vorel::runtime::Text> next = NextAutoName(reply.location)) {
    // The new name stays in the same folder.
    Check(next->substr(0, next->rfind('/') + 1) ==
          reply.location.substr(0, reply.location.rfind('/') + 1));
  }

  const std::string url = "http://host:8080/dir/song.mp3";
  RequestParts parts = MakeRequestParts(url, ParseTransferAddress(url), "", "");
  if (RebuildForRedirect(parts, reply)) {
    std::string request = BuildHttpRequest(parts.proxy, parts.target, parts.host, parts.referer,
                                           parts.user_agent, parts.extra_line);
    // Nothing from the reply may start a header line of its own.
    std::size_t lines = 0;
    for (std::size_t i = 0; i < request.size(); ++i) {
      if (request[i] == '\r') Check(i + 1 < request.size() && request[i + 1] == '\n');
      if (request[i] == '\n') Check(i > 0 && request[i - 1] == '\r');
      if (request[i] == '\n') ++lines;
    }
    Check(lines == (parts.extra_line.empty() ? 9u : 10u));
  }
  TransferAddress address = ParseTransferAddress(std::string(bytes.substr(0, 300)));
  if (!address.host.empty()) Check(address.port >= 1 && address.port <= 65535);
  return 0;
}
