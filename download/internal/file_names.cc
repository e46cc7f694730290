#include "download/internal/file_names.h"

#include <sys/stat.h>

#include "platform/code_page.h"
#include "platform/hex_digit.h"

namespace vorel::download::internal {
namespace {

constexpr std::size_t kMaxName = 255;
constexpr std::size_t kMaxTargetName = 1023;

// Cuts UTF-8 to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  s.resize(cut);
  return s;
}

}  // namespace

}  // namespace vorel::download::internal

namespace vorel::download {

runtime::Text SafeFileName(std::string_view name) {
  runtime::Text out;
  out.reserve(name.size());
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    out.push_back((c == '/' || byte < 0x20 || byte == 0x7F) ? '_' : c);
  }
  std::size_t first = out.find_first_not_of('.');
  out.erase(0, first == runtime::Text::npos ? out.size() : first);
  std::string utf8 = runtime::Utf8FromText(out);
  if (utf8.size() > internal::kMaxName) {
    out = runtime::TextFromUtf8(internal::CutUtf8(std::move(utf8), internal::kMaxName));
  }
  if (out.empty()) out = "download";
  return out;
}

}  // namespace vorel::download

namespace vorel::download::internal {

runtime::Text FileNameFromTarget(std::string_view target) {
  std::size_t slash = target.rfind('/');
  std::string_view last = slash == std::string_view::npos ? target : target.substr(slash + 1);
  std::string decoded;
  for (std::size_t i = 0; i < last.size() && decoded.size() < kMaxTargetName; ++i) {
    char c = last[i];
    if (c == '%' && i + 2 < last.size() && platform::HexDigitValue(last[i + 1]) >= 0 &&
        platform::HexDigitValue(last[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(platform::HexDigitValue(last[i + 1]) * 16 +
                                          platform::HexDigitValue(last[i + 2])));
      i += 2;
    } else {
      decoded.push_back(c == '+' ? ' ' : c);
    }
  }
  bool ascii = true;
  for (char c : decoded) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii && platform::IsValidUtf8(decoded)) decoded = runtime::TextFromUtf8(decoded);
  return SafeFileName(decoded);
}

std::optional<runtime::Text> NextAutoName(const runtime::Text& path) {
  std::size_t slash = path.rfind('/');
  std::size_t name_at = slash == runtime::Text::npos ? 0 : slash + 1;
  runtime::Text folder = path.substr(0, name_at);
  runtime::Text name = path.substr(name_at);
  std::size_t dot = name.rfind('.');
  runtime::Text base = dot == runtime::Text::npos ? name : name.substr(0, dot);
  runtime::Text extension = dot == runtime::Text::npos ? runtime::Text() : name.substr(dot);

  int number = 1;
  std::size_t open = base.rfind('(');
  if (!base.empty() && base.back() == ')' && open != runtime::Text::npos) {
    std::string_view digits = std::string_view(base).substr(open + 1, base.size() - open - 2);
    bool numeric = (digits.size() == 1 || digits.size() == 2) &&
                   digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (numeric) {
      int current = std::stoi(std::string(digits));
      if (current >= 99) return std::nullopt;
      number = current + 1;
      base.erase(open);
    }
  }
  return folder + base + "(" + std::to_string(number) + ")" + extension;
}

std::string FileSystemPath(const runtime::Text& path) { return runtime::Utf8FromText(path); }

std::optional<std::int64_t> ExistingSize(const runtime::Text& path) {
  struct stat st {};
  if (lstat(FileSystemPath(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace vorel::download::internal
