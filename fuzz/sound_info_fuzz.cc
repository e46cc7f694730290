// libFuzzer target: a sound-info reply as the sound service might send it, through escape
// decoding to the fields of the play-list row, and the file name a download of it would get.
//   - Any reply: the stream and picture addresses are in wire form (only bytes from 0x21 to
//     0x7E), the name holds no byte below 0x20, and the file name made from the name is not
//     empty, holds no "/" and no control byte in its file-system form, does not start with a
//     dot (so it is neither "." nor ".." nor hidden) and leaves room for "(99).mp3" in 255
//     bytes: the file stays inside its folder.
//   - A record written with JSON escapes (\uXXXX, \/, \") gives back the fields it was
//     written from.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/song_download.h"
#include "fuzz/fuzz_check.h"
#include "runtime/text.h"
#include "search/sound_link.h"

using vorel::fuzz::NoControlBytes;
using vorel::runtime::Text;

namespace {

bool WireForm(const Text& address) {
  for (char c : address) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
  }
  return true;
}

void CheckFileName(const Text& name) {
  const Text file = vorel::download::SongFileName(name);
  const std::string utf8 = vorel::runtime::Utf8FromText(file);
  VOREL_FUZZ_CHECK(!file.empty() && file.front() != '.');
  VOREL_FUZZ_CHECK(NoControlBytes(utf8) && utf8.find('/') == std::string::npos);
  VOREL_FUZZ_CHECK(utf8.size() + 8 <= 255);
}

// A field value of printable ASCII other than '"', '\' and '%' (which the reply's unescaping
// would decode), taken from the input. "{$}" is left out too: the unescaping reads it as the
// mark of a line break by design, so a field holding it does not come back as it was.
std::string PlainField(FuzzedDataProvider& in) {
  std::string value = in.ConsumeRandomLengthString(200);
  for (char& c : value) {
    c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5F);
    if (c == '"' || c == '\\' || c == '%') c = '_';
  }
  for (auto at = value.find("{$}"); at != std::string::npos; at = value.find("{$}", at)) {
    value[at + 1] = '_';
  }
  return value;
}

// `value` as a JSON string body, each character escaped or not as `in` decides.
std::string Escaped(const std::string& value, FuzzedDataProvider& in) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : value) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0:
        out += "\\u00";
        out += kHex[(c >> 4) & 15];
        out += kHex[c & 15];
        break;
      case 1:
        if (c == '/') {
          out += "\\/";
          break;
        }
        [[fallthrough]];
      default: out += c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    const Text reply = in.ConsumeRemainingBytesAsString();
    const vorel::search::ResolvedSound sound = vorel::search::SoundFromReply("7", reply);
    VOREL_FUZZ_CHECK(WireForm(sound.picture_url) && WireForm(sound.source_url));
    VOREL_FUZZ_CHECK(std::none_of(sound.name.begin(), sound.name.end(),
                                  [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    CheckFileName(sound.name);
    return 0;
  }
  const std::string pic = PlainField(in), source = PlainField(in), name = PlainField(in);
  const bool chinese = in.ConsumeBool();
  std::string reply = "{\"code\":0,\"pic\":\"" + Escaped(pic, in) + "\",\"source\":\"" +
                      Escaped(source, in) + "\",\"name\":\"" + Escaped(name, in) +
                      (chinese ? "\\u4e2d\\u6587" : "") + "\",\"id\":7}";
  const vorel::search::ResolvedSound sound = vorel::search::SoundFromReply("7", reply);
  auto wire = [](std::string s) {
    std::string out;
    for (char c : s) out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
  };
  VOREL_FUZZ_CHECK(sound.picture_url == wire(pic));
  VOREL_FUZZ_CHECK(sound.source_url == wire(source));
  VOREL_FUZZ_CHECK(sound.name == name + (chinese ? vorel::runtime::TextFromUtf8("中文") : Text()));
  CheckFileName(sound.name);
  return 0;
}
