#include "runtime/text.h"

#include "platform/code_page.h"

namespace vorel::runtime {

int CompareTexts(std::string_view a, std::string_view b) {
  int c = a.compare(b);  // char_traits<char>::compare compares as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Text JoinTexts(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (auto p : parts) size += p.size();
  Text out;
  out.reserve(size);
  for (auto p : parts) out.append(p);
  return out;
}

Text TextFromUtf8(std::string_view utf8) { return platform::Utf8ToGb18030Lossy(utf8); }
std::string Utf8FromText(std::string_view text) { return platform::Gb18030ToUtf8Lossy(text); }

Text TextFromBytes(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }
Bytes BytesFromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

namespace literals {
Text operator""_t(const char* utf8, std::size_t size) {
  return platform::Utf8ToGb18030Lossy(std::string_view(utf8, size));
}
}  // namespace literals

}  // namespace vorel::runtime
