#include "app/desktop/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/code_page.h"
#include "platform/hex_digit.h"

namespace vorel::desktop {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

// "scheme://..." with a scheme of letters, digits, "+", "-" and "."; "file:" counts too.
bool HasScheme(std::string_view s) {
  if (StartsWithNoCase(s, "file:")) return true;
  std::size_t colon = s.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = s[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

// "%XX" decoded; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    int hi = platform::HexDigitValue(s[i + 1]);
    int lo = platform::HexDigitValue(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::string Problem(std::string_view argument, std::string_view what) {
  return "vorel: " + PrintableName(argument) + ": " + std::string(what);
}

std::optional<OpenItem> CheckAddress(std::string_view address, std::string* problem) {
  for (unsigned char c : address) {
    if (c <= 0x20 || c == 0x7F) {
      *problem = Problem(address, "an address may not hold spaces or control characters");
      return std::nullopt;
    }
  }
  std::size_t host_start = address.find("://") + 3;
  std::size_t host_end = address.find_first_of("/?#", host_start);
  if (host_end == std::string_view::npos) host_end = address.size();
  if (host_end == host_start) {
    *problem = Problem(address, "the address has no host");
    return std::nullopt;
  }
  std::string_view path = address.substr(host_end);
  path = path.substr(0, path.find_first_of("?#"));
  std::string_view last = path.substr(path.find_last_of('/') + 1);
  OpenItem item;
  item.kind = OpenItem::Kind::kNetwork;
  item.location = std::string(address);
  item.title = last.empty() ? item.location : std::string(last);
  return item;
}

std::optional<OpenItem> CheckLocalFile(const std::string& path, std::string* problem) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *problem = Problem(path, "no such file");
    return std::nullopt;
  }
  if (S_ISDIR(st.st_mode)) {
    *problem = Problem(path, "is a folder, not a song (the player's 打开 button adds a folder)");
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    *problem = Problem(path, "is not a regular file");
    return std::nullopt;
  }
  // Opening it is the test that holds for every user, root included (access() does not).
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 || ::access(path.c_str(), R_OK) != 0) {
    if (fd >= 0) ::close(fd);
    *problem = Problem(path, "cannot be read (permission denied)");
    return std::nullopt;
  }
  ::close(fd);
  OpenItem item;
  item.kind = OpenItem::Kind::kLocalFile;
  item.location = path;
  item.title = std::filesystem::path(path).filename().string();
  return item;
}

// False, with the problem, when `argument` cannot name a file or an address whatever it holds.
bool IsUsableArgument(std::string_view argument, std::string* problem) {
  if (argument.empty()) {
    *problem = "vorel: an empty argument names no file";
    return false;
  }
  // No file name is longer (PATH_MAX is 4096) and no server takes a longer address; a caller
  // sending megabytes gets a refusal, not a row that can never play.
  constexpr std::size_t kLongestArgument = 16384;
  if (argument.size() > kLongestArgument) {
    *problem = Problem(argument, "is too long for a file name or an address");
    return false;
  }
  if (!platform::IsValidUtf8(argument)) {
    *problem = Problem(argument, "the name is not valid UTF-8, so it cannot be kept in the list");
    return false;
  }
  return true;
}

// The path a "file:" address names: "file:/path", "file:///path" or "file://localhost/path",
// percent-decoded and without a query or fragment.
std::optional<std::string> PathOfFileAddress(std::string_view argument, std::string* problem,
                                             ProblemKind* kind) {
  std::string_view rest = argument.substr(5);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    std::string_view host = rest.substr(0, slash);
    if (slash == std::string_view::npos || (!host.empty() && host != "localhost")) {
      *problem = Problem(argument, "only files on this computer can be opened");
      *kind = ProblemKind::kUnsupported;
      return std::nullopt;
    }
    rest.remove_prefix(slash);
  }
  std::optional<std::string> decoded = PercentDecode(rest.substr(0, rest.find_first_of("?#")));
  if (!decoded || decoded->empty() || decoded->front() != '/' ||
      decoded->find('\0') != std::string::npos) {
    *problem = Problem(argument, "not a valid file address");
    return std::nullopt;
  }
  if (!platform::IsValidUtf8(*decoded)) {
    *problem = Problem(*decoded, "the name is not valid UTF-8, so it cannot be kept in the list");
    return std::nullopt;
  }
  return decoded;
}

// The local path an argument that is not an http or https address names: a "file:" address,
// or (when the syntax allows it) a path, relative ones taken from `cwd`. Other schemes are
// refused.
std::optional<std::string> LocalPath(std::string_view argument, ItemSyntax syntax,
                                     const std::string& cwd, std::string* problem,
                                     ProblemKind* kind) {
  if (StartsWithNoCase(argument, "file:")) return PathOfFileAddress(argument, problem, kind);
  if (HasScheme(argument)) {
    *problem = Problem(argument, "only files and http or https addresses can be opened");
    *kind = ProblemKind::kUnsupported;
    return std::nullopt;
  }
  if (syntax == ItemSyntax::kUriOnly) {
    *problem = Problem(argument, "not an address (file://, http:// or https:// expected)");
    return std::nullopt;
  }
  std::string path(argument);
  if (path.front() != '/') path = cwd + "/" + path;
  return path;
}

}  // namespace

std::string PrintableName(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  // A name of a megabyte (a hostile caller's) would make a message of a megabyte.
  constexpr std::size_t kMostShown = 200;
  std::string out;
  while (!bytes.empty()) {
    std::size_t n = platform::Utf8SequenceLength(bytes);
    unsigned char c = static_cast<unsigned char>(bytes[0]);
    std::string piece;
    if (n == 0 || c < 0x20 || c == 0x7F) {
      piece = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
      n = 1;
    } else {
      piece = bytes.substr(0, n);
    }
    if (out.size() + piece.size() > kMostShown) {
      out += "\u2026";
      break;
    }
    out += piece;
    bytes.remove_prefix(n);
  }
  return out;
}

std::optional<OpenItem> CheckItem(std::string_view argument, ItemSyntax syntax,
                                  const std::string& cwd, std::string* problem, ProblemKind* kind) {
  ProblemKind ignored;
  if (kind == nullptr) kind = &ignored;
  *kind = ProblemKind::kUnusable;
  if (!IsUsableArgument(argument, problem)) return std::nullopt;
  if (StartsWithNoCase(argument, "http://") || StartsWithNoCase(argument, "https://")) {
    return CheckAddress(argument, problem);
  }
  const std::optional<std::string> path = LocalPath(argument, syntax, cwd, problem, kind);
  if (!path) return std::nullopt;
  std::string normal = std::filesystem::path(*path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  if (::access(normal.c_str(), F_OK) != 0 && errno == ENOENT) *kind = ProblemKind::kMissing;
  return CheckLocalFile(normal, problem);
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& cwd) {
  CommandLine cl;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (options && a == "--") {
      options = false;
      continue;
    }
    if (options && a.size() > 1 && a.front() == '-') {
      if (a == "--help" || a == "-h") {
        cl.show_help = true;
      } else if (a == "--version") {
        cl.show_version = true;
      } else if (cl.bad_option.empty()) {
        cl.bad_option = PrintableName(a);
      }
      continue;
    }
    ++cl.item_arguments;
    std::string problem;
    if (auto item = CheckItem(a, ItemSyntax::kPathOrUri, cwd, &problem)) {
      cl.items.push_back(std::move(*item));
    } else {
      cl.problems.push_back(std::move(problem));
    }
  }
  return cl;
}

std::string HelpText() {
  return "Usage: vorel [OPTION]... [FILE|URL]...\n"
         "A music player. Files and http/https addresses given here are added to the play\n"
         "list and the first one is played. When Vorel is already running, they are handed to\n"
         "that program instead; without arguments its window is shown.\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "      --         end of options (for file names that begin with \"-\")\n"
         "\n"
         "Settings: $XDG_CONFIG_HOME/vorel/vorel.conf (group [hosts]: search, sound_web,\n"
         "sound_api); VOREL_SEARCH_HOST, VOREL_SOUND_WEB_HOST and VOREL_SOUND_API_HOST\n"
         "override it.\n";
}

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  return false;
}

const char* NoDisplayMessage() {
  return "vorel: no display to show the player on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
         "start it from a desktop session\n";
}

}  // namespace vorel::desktop
