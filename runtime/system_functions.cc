#include "runtime/system_functions.h"

#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "runtime/dll_table.h"

namespace vorel::runtime {
namespace {

constexpr unsigned kUtf8 = 65001;

// Win32: a length of -1 means "up to and including the terminating NUL".
int WideCharToMultiByte(unsigned code_page, unsigned, const char16_t* wide, int wide_length,
                        char* out, int out_size, const char*, int* used_default) {
  if (used_default) *used_default = 0;
  if (wide == nullptr || out_size < 0) return 0;
  std::size_t n = wide_length >= 0 ? static_cast<std::size_t>(wide_length)
                                   : std::char_traits<char16_t>::length(wide) + 1;
  std::u16string_view in(wide, n);
  std::string converted;
  if (code_page == kUtf8) {
    auto r = platform::Utf16ToUtf8(in);
    if (!r) return 0;
    converted = *r;
  } else {
    converted = platform::Utf16ToGb18030Lossy(in);
  }
  if (out_size == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<std::size_t>(out_size)) return 0;
  std::memcpy(out, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

int MultiByteToWideChar(unsigned code_page, unsigned, const char* bytes, int length, char16_t* out,
                        int out_size) {
  if (bytes == nullptr || out_size < 0) return 0;
  std::size_t n = length >= 0 ? static_cast<std::size_t>(length) : std::strlen(bytes) + 1;
  std::string_view in(bytes, n);
  std::u16string converted;
  if (code_page == kUtf8) {
    auto r = platform::Utf8ToUtf16(in);
    if (!r) return 0;
    converted = *r;
  } else {
    converted = platform::Gb18030ToUtf16Lossy(in);
  }
  if (out_size == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<std::size_t>(out_size)) return 0;
  std::memcpy(out, converted.data(), converted.size() * sizeof(char16_t));
  return static_cast<int>(converted.size());
}

long CoInitialize(void*) { return 0; }
long CoUninitialize() { return 0; }

}  // namespace

void RegisterSystemFunctions() {
  RegisterSystemFunction("WideCharToMultiByte", reinterpret_cast<void*>(&WideCharToMultiByte));
  RegisterSystemFunction("MultiByteToWideChar", reinterpret_cast<void*>(&MultiByteToWideChar));
  RegisterSystemFunction("CoInitialize", reinterpret_cast<void*>(&CoInitialize));
  RegisterSystemFunction("CoUninitialize", reinterpret_cast<void*>(&CoUninitialize));
}

}  // namespace vorel::runtime
