// libFuzzer target: the program's command line and the file:// addresses a desktop hands over.
//   - Any arguments: each file or address argument is either an item or one problem line;
//     a problem line starts with "vorel: ", holds no control byte and stays short however long
//     the argument; a local item is an absolute, normalised path of a regular file with its
//     last component as its title; a network item is an http(s) address without spaces or
//     control bytes.
//   - A file named with any UTF-8 bytes, written as a file:// address with any choice of
//     percent escapes (and an optional "localhost"), opens exactly that file.
//   - PrintableName gives valid UTF-8 without control bytes, at most 200 bytes and an ellipsis,
//     and leaves printable UTF-8 as it is, or cut to a whole character prefix.

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/desktop/command_line.h"
#include "fuzz/fuzz_check.h"
#include "platform/code_page.h"

using namespace vorel::desktop;
using vorel::fuzz::NoControlBytes;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLongestProblem = 600;

// A folder with a few entries for relative arguments to find.
const std::string& Folder() {
  static const std::string folder = [] {
    fs::path f = fs::temp_directory_path() / ("vorel-cmdline-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(f / "dir");
    fs::create_directories(f / "named");
    for (const char* name : {"song.mp3", "a b.mp3", "名字.mp3", "-dash.mp3", "dir/in.mp3"}) {
      std::ofstream(f / name) << "x";
    }
    return f.string();
  }();
  return folder;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

void CheckItemShape(const OpenItem& item) {
  VOREL_FUZZ_CHECK(vorel::platform::IsValidUtf8(item.location) && !item.title.empty());
  if (item.kind == OpenItem::Kind::kNetwork) {
    VOREL_FUZZ_CHECK(StartsWithNoCase(item.location, "http://") ||
                     StartsWithNoCase(item.location, "https://"));
    for (char c : item.location)
      VOREL_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
    return;
  }
  VOREL_FUZZ_CHECK(item.location.front() == '/');
  VOREL_FUZZ_CHECK(fs::path(item.location).lexically_normal().string() == item.location);
  VOREL_FUZZ_CHECK(item.location == "/" || item.location.back() != '/');
  VOREL_FUZZ_CHECK(item.title == fs::path(item.location).filename().string());
  struct stat st {};
  VOREL_FUZZ_CHECK(::stat(item.location.c_str(), &st) == 0 && S_ISREG(st.st_mode));
}

void CheckArguments(FuzzedDataProvider& in) {
  std::vector<std::string> args = {"vorel"};
  while (in.remaining_bytes() > 0 && args.size() < 12) {
    std::string a = in.ConsumeRandomLengthString(3000);
    a = a.substr(0, a.find('\0'));  // an argument ends at its first NUL
    args.push_back(a);
  }
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  const CommandLine cl = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), Folder());
  VOREL_FUZZ_CHECK(static_cast<int>(cl.items.size() + cl.problems.size()) == cl.item_arguments);
  for (const std::string& problem : cl.problems) {
    VOREL_FUZZ_CHECK(problem.rfind("vorel: ", 0) == 0);
    VOREL_FUZZ_CHECK(NoControlBytes(problem) && problem.size() <= kLongestProblem);
    VOREL_FUZZ_CHECK(vorel::platform::IsValidUtf8(problem));
  }
  for (const OpenItem& item : cl.items) CheckItemShape(item);
  VOREL_FUZZ_CHECK(NoControlBytes(cl.bad_option));
}

void CheckFileAddress(FuzzedDataProvider& in) {
  std::string name = in.ConsumeRandomLengthString(200);
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == ".." || !vorel::platform::IsValidUtf8(name)) return;
  const std::string path = Folder() + "/named/" + name;  // a folder of these files alone
  std::ofstream(path) << "x";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  std::string address = in.ConsumeBool()   ? "file://"
                        : in.ConsumeBool() ? "file://localhost"
                                           : "file:";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain && (c == '/' || in.ConsumeBool())) {
      address += static_cast<char>(c);
    } else {
      const char* hex = in.ConsumeBool() ? kUpper : kLower;
      address += '%';
      address += hex[c >> 4];
      address += hex[c & 15];
    }
  }
  std::string problem;
  auto item = CheckItem(address, ItemSyntax::kUriOnly, "/", &problem);
  ::unlink(path.c_str());
  VOREL_FUZZ_CHECK(item.has_value());
  VOREL_FUZZ_CHECK(item->kind == OpenItem::Kind::kLocalFile && item->location == path &&
                   item->title == name);
}

void CheckPrintable(FuzzedDataProvider& in) {
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  const std::string shown = PrintableName(bytes);
  VOREL_FUZZ_CHECK(vorel::platform::IsValidUtf8(shown) && NoControlBytes(shown));
  VOREL_FUZZ_CHECK(shown.size() <= 203);
  if (vorel::platform::IsValidUtf8(bytes) && NoControlBytes(bytes)) {
    // Whole, or cut on a character boundary with an ellipsis after.
    const std::string cut = bytes.size() <= 200 ? bytes : shown.substr(0, shown.size() - 3);
    VOREL_FUZZ_CHECK(shown == (bytes.size() <= 200 ? bytes : cut + "…"));
    VOREL_FUZZ_CHECK(bytes.compare(0, cut.size(), cut) == 0 &&
                     cut.size() + 4 > std::min<std::size_t>(bytes.size(), 201));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: CheckArguments(in); break;
    case 1: CheckFileAddress(in); break;
    default: CheckPrintable(in); break;
  }
  return 0;
}
