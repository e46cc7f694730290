// Feeds arbitrary bytes to the text operations and to ReadData: none may crash, read out of
// bounds or break its documented invariants.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/files.h"
#include "runtime/text_ops.h"
#include "runtime/value.h"

using namespace vorel::runtime;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A found position must start a character, counting characters from `from1` (where the scan
// began): an even run of high bytes lies between the two.
bool StartsCharacter(std::string_view t, int pos1, int from1 = 1) {
  std::size_t pos = static_cast<std::size_t>(pos1 - 1), k = 0;
  std::size_t from = static_cast<std::size_t>(from1 < 1 ? 0 : from1 - 1);
  while (pos - k > from && static_cast<unsigned char>(t[pos - k - 1]) >= 0x80) ++k;
  return k % 2 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int a = static_cast<std::int8_t>(data[0]);
  const int b = static_cast<std::int8_t>(data[1]);
  const std::size_t split = data[2] % (size - 3 + 1);
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  std::string_view text = rest.substr(0, split), sought = rest.substr(split, data[3] % 8);

  for (bool fold : {false, true}) {
    int p = FindText(text, sought, a, fold);
    Check(p == -1 || (p >= 1 && static_cast<std::size_t>(p) <= text.size()));
    if (p > 0 && !sought.empty()) {
      Check(StartsCharacter(text, p, a));
      if (!fold) Check(text.substr(static_cast<std::size_t>(p - 1), sought.size()) == sought);
    }
    int q = FindTextBackward(text, sought, b, fold);
    Check(q == -1 || (q >= 1 && static_cast<std::size_t>(q) <= text.size()));
    if (q > 0) Check(StartsCharacter(text, q));
    Text s = SubstituteText(text, sought, "xy", a, b, !fold);
    if (sought.empty()) Check(s == text);
  }
  Check(MidText(text, a, b).size() <= text.size());
  Check(LeftText(text, a).size() <= text.size());
  Check(RightText(text, b).size() <= text.size());
  Check(ReplaceText(text, a, b, sought).size() <= text.size() + sought.size());
  auto pieces = SplitText(text, sought, b < 0 ? std::nullopt : std::optional<int>(b));
  Check(ElementCount(pieces) <= static_cast<int>(text.size()) + 1);
  Check(TrimSpaces(text).size() <= text.size());
  Check(RemoveAllSpaces(text).size() <= text.size());
  Check(ToUpper(text).size() == text.size());
  (void)ToNumber(Text(text));
  (void)ToInteger(Text(text));

  int f = OpenMemoryFile();
  WriteBytes(f, {Bytes(rest.begin(), rest.end())});
  MoveToFileStart(f);
  std::int32_t i;
  Text t;
  Bytes bytes;
  bool flag;
  double d;
  std::int16_t s16;
  std::int64_t s64;
  DateTime dt;
  while (ReadData(f, {&i, &t, &bytes, &flag, &d, &s16, &s64, &dt})) {
  }
  MoveToFileStart(f);
  while (!AtFileEnd(f, true)) {
    ReadLine(f);
    if (!AtFileEnd(f, true)) ReadText(f, 3);
    if (!AtFileEnd(f)) ReadBytes(f, 1);
  }
  MoveToFileStart(f);
  DeleteData(f, a);
  CloseFile(f);
  return 0;
}
