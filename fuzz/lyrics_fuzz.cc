// libFuzzer target: a lyrics file as it lies beside a song.
//   - Any file: its lines hold no line feed and are as many as the line feeds of its text (plus
//     one for a last line without one), whatever the encoding; the text a line shows ends
//     the line (or, for a line ending in "]", comes right before that bracket) and, in an ASCII
//     line, holds no "]".
//   - A file written from timed lines ("[mm:ss.cc]text", Chinese or ASCII text), in code page
//     936 with CR LF, or in UTF-8 with or without a byte-order mark and with LF or CR LF, reads
//     back as those lines, each showing its text (a line of a tag alone shows the tag without its
//     closing bracket). A code page 936 file that happens to be valid
//     UTF-8 is read as UTF-8 (the documented guess), so it is left out of this check.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/code_page.h"
#include "player/lyrics.h"
#include "runtime/text.h"

using vorel::runtime::Text;

namespace {

void CheckAnyFile(const Text& file) {
  const auto lines = vorel::player::LyricLinesOf(file);
  std::string_view view = file;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  // A last piece left empty by the final line feed is no line.
  const auto feeds = static_cast<int>(std::count(view.begin(), view.end(), '\n'));
  const int last = view.empty() || view.back() == '\n' ? 0 : 1;
  VOREL_FUZZ_CHECK(static_cast<int>(lines.elements().size()) == feeds + last);
  for (const Text& line : lines.elements()) {
    VOREL_FUZZ_CHECK(line.find('\n') == Text::npos);
    const Text piece = vorel::player::LyricPiece(line);
    // The last piece: after the last "]", or (a trailing empty piece being dropped) before it.
    // A "]" byte may also end a double-byte character, which is no bracket.
    auto ends_with = [&line](const Text& tail) {
      return tail.size() <= line.size() &&
             line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    };
    VOREL_FUZZ_CHECK(ends_with(piece) || ends_with(piece + "]"));
    if (std::all_of(line.begin(), line.end(), [](char c) { return c > 0; })) {
      VOREL_FUZZ_CHECK(piece.find(']') == Text::npos);
    }
  }
}

void CheckWrittenFile(FuzzedDataProvider& in) {
  static const char* const kWords[] = {"la", " ", "love", "爱", "你", "月亮", "的",
                                       "心", "Ω", "🎵",    "一", "-",  "!",    "ü"};
  const int encoding = in.ConsumeIntegralInRange(0, 3);  // gb crlf, utf8 lf, utf8 crlf, bom
  std::vector<Text> lines, texts;
  std::string file;
  const int count = in.ConsumeIntegralInRange(0, 20);
  for (int i = 0; i < count; ++i) {
    std::string utf8;
    for (int w = in.ConsumeIntegralInRange(0, 6); w > 0; --w) {
      utf8 += kWords[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kWords) - 1)];
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d.%02d]", in.ConsumeIntegralInRange(0, 99),
                  in.ConsumeIntegralInRange(0, 59), in.ConsumeIntegralInRange(0, 99));
    // A line of a time tag alone shows the tag without its closing bracket.
    texts.push_back(utf8.empty() ? std::string(stamp, std::strlen(stamp) - 1)
                                 : vorel::runtime::TextFromUtf8(utf8));
    lines.push_back(stamp + vorel::runtime::TextFromUtf8(utf8));
    const std::string end = encoding == 1 ? "\n" : "\r\n";
    file += (encoding == 0 ? lines.back() : std::string(stamp) + utf8) + end;
  }
  if (encoding == 3) file = "\xEF\xBB\xBF" + file;
  const bool ascii = std::all_of(file.begin(), file.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (encoding == 0 && !ascii && vorel::platform::IsValidUtf8(file)) return;
  const auto read = vorel::player::LyricLinesOf(file);
  VOREL_FUZZ_CHECK(read.elements() == lines);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    VOREL_FUZZ_CHECK(vorel::player::LyricPiece(read.elements()[i]) == texts[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    CheckWrittenFile(in);
  } else {
    CheckAnyFile(in.ConsumeRemainingBytesAsString());
  }
  return 0;
}
