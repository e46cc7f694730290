#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace vorel::platform {
namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kUtf16 = "UTF-16LE";
#else
constexpr const char* kUtf16 = "UTF-16BE";
#endif
constexpr const char* kGb = "GB18030";
constexpr const char* kUtf8 = "UTF-8";

// iconv descriptors are not thread-safe and costly to open, so each thread keeps one per
// direction for its lifetime.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [key, cd] : cds_) iconv_close(cd);
  }
  iconv_t Get(const char* from, const char* to) {
    auto key = std::make_pair(from, to);
    auto it = cds_.find(key);
    if (it != cds_.end()) {
      iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return it->second;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    cds_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<const char*, const char*>, iconv_t> cds_;
};

thread_local ConverterCache converters;

// Converts `in` (unit_size bytes per code unit) from one encoding to another. In lenient mode
// an invalid unit is replaced by `replacement` and skipped, and an incomplete tail is dropped.
ConvertResult<std::string> Run(const char* from, const char* to, const char* in, std::size_t size,
                               std::size_t unit_size, bool lenient, std::string_view replacement) {
  iconv_t cd = converters.Get(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return MakeUnexpected(ConvertError{ConvertErrorCode::kUnavailable, 0,
                                       std::string("no converter from ") + from + " to " + to});
  }
  std::string out;
  out.resize(size * 2 + 16);
  char* in_ptr = const_cast<char*>(in);
  std::size_t in_left = size;
  std::size_t used = 0;
  while (true) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    std::size_t rc = iconv(cd, in_left ? &in_ptr : nullptr, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      if (in_left == 0) {
        // Flush any shift state (a no-op for these encodings, but correct).
        out_ptr = out.data() + used;
        out_left = out.size() - used;
        iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
        used = out.size() - out_left;
        break;
      }
      continue;
    }
    std::size_t offset = static_cast<std::size_t>(in_ptr - in) / unit_size;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    if (errno == EINVAL) {
      if (!lenient) {
        return MakeUnexpected(
            ConvertError{ConvertErrorCode::kIncompleteInput, offset,
                         "input ends inside a character at offset " + std::to_string(offset)});
      }
      break;  // an incomplete last character is dropped
    }
    if (!lenient) {
      return MakeUnexpected(ConvertError{
          ConvertErrorCode::kInvalidSequence, offset,
          std::string("invalid ") + from + " sequence at offset " + std::to_string(offset)});
    }
    if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
    std::memcpy(out.data() + used, replacement.data(), replacement.size());
    used += replacement.size();
    std::size_t skip = in_left < unit_size ? in_left : unit_size;
    in_ptr += skip;
    in_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (in_left == 0) break;
  }
  out.resize(used);
  return out;
}

std::u16string ToU16(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr std::string_view kUtf16Replacement = std::string_view("\xFD\xFF", 2);
#else
constexpr std::string_view kUtf16Replacement = std::string_view("\xFF\xFD", 2);
#endif

ConvertResult<std::u16string> ToU16Result(ConvertResult<std::string> r) {
  if (!r) return MakeUnexpected(r.error());
  return ToU16(*r);
}

}  // namespace

ConvertResult<std::string> Gb18030ToUtf8(std::string_view gb) {
  return Run(kGb, kUtf8, gb.data(), gb.size(), 1, false, {});
}
ConvertResult<std::string> Utf8ToGb18030(std::string_view utf8) {
  return Run(kUtf8, kGb, utf8.data(), utf8.size(), 1, false, {});
}
ConvertResult<std::u16string> Gb18030ToUtf16(std::string_view gb) {
  return ToU16Result(Run(kGb, kUtf16, gb.data(), gb.size(), 1, false, {}));
}
ConvertResult<std::string> Utf16ToGb18030(std::u16string_view utf16) {
  return Run(kUtf16, kGb, reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, 2, false,
             {});
}
ConvertResult<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  return ToU16Result(Run(kUtf8, kUtf16, utf8.data(), utf8.size(), 1, false, {}));
}
ConvertResult<std::string> Utf16ToUtf8(std::u16string_view utf16) {
  return Run(kUtf16, kUtf8, reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, 2, false,
             {});
}

std::string Gb18030ToUtf8Lossy(std::string_view gb) {
  return Run(kGb, kUtf8, gb.data(), gb.size(), 1, true, kUtf8Replacement).value_or({});
}
std::string Utf8ToGb18030Lossy(std::string_view utf8) {
  return Run(kUtf8, kGb, utf8.data(), utf8.size(), 1, true, "?").value_or({});
}
std::u16string Gb18030ToUtf16Lossy(std::string_view gb) {
  return ToU16(Run(kGb, kUtf16, gb.data(), gb.size(), 1, true, kUtf16Replacement).value_or({}));
}
std::string Utf16ToGb18030Lossy(std::u16string_view utf16) {
  return Run(kUtf16, kGb, reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, 2, true,
             "?")
      .value_or({});
}

std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (s.empty()) return 0;
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  }
  return n;
}

bool IsValidUtf8(std::string_view s) {
  while (!s.empty()) {
    const std::size_t n = Utf8SequenceLength(s);
    if (n == 0) return false;
    s.remove_prefix(n);
  }
  return true;
}

}  // namespace vorel::platform
