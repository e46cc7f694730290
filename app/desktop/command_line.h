#ifndef VOREL_APP_DESKTOP_COMMAND_LINE_H_
#define VOREL_APP_DESKTOP_COMMAND_LINE_H_

// The program's command line, `vorel [OPTION] [FILE|URL]...`, and the checks every file or
// address goes through before it becomes a play-list row, whether it came from the command line,
// from a second start of the program or from a desktop's "open with" request.
//
// Pure functions over strings and the file system; any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorel::desktop {

// Something to add to the play list: a local file or a network address.
struct OpenItem {
  enum class Kind { kLocalFile, kNetwork };
  Kind kind = Kind::kLocalFile;
  std::string location;  // UTF-8: an absolute, normalised path, or an http(s) address
  std::string title;     // UTF-8: the file name, or the last segment of the address

  bool operator==(const OpenItem&) const = default;
};

// How an argument may be written.
enum class ItemSyntax {
  kPathOrUri,  // the command line: a path (relative to `cwd`), file://, http:// or https://
  kUriOnly,    // a desktop request: file://, http:// or https:// only
};

// Why an argument was refused.
enum class ProblemKind {
  kMissing,      // no such file
  kUnsupported,  // a scheme other than file, http and https, or a file on another host
  kUnusable,     // a folder, a device, an unreadable file, a name that is not UTF-8, ...
};

// Checks one argument. A local file must exist, be a regular file (or a link to one) and be
// readable; an address must be http or https with a host and no spaces or control bytes; no
// argument may be longer than 16 KiB. On
// failure returns nothing, sets `problem` to one line (no newline) that names the argument and
// says what is wrong with it, and `kind` (when given) to the reason.
std::optional<OpenItem> CheckItem(std::string_view argument, ItemSyntax syntax,
                                  const std::string& cwd, std::string* problem,
                                  ProblemKind* kind = nullptr);

struct CommandLine {
  bool show_help = false;
  bool show_version = false;
  std::string bad_option;             // the first option we do not know, if any
  std::vector<OpenItem> items;        // the usable arguments, in order
  std::vector<std::string> problems;  // one line per argument that was left out
  int item_arguments = 0;             // file and address arguments given, usable or not
};

// Reads argv[1..]. "--" ends the options, so a file may begin with "-". `cwd` resolves
// relative paths.
CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& cwd);

// The --help text (UTF-8, ends with a newline).
std::string HelpText();

// True when a window can be shown: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
bool DisplayAvailable();
// The line (with its newline) printed when there is none.
const char* NoDisplayMessage();

// `bytes` made printable for a message: bytes that are not valid UTF-8, and control bytes, are
// written as \xNN. A name that would take more than 200 bytes so is cut there, on a character
// boundary, and ends in "…".
std::string PrintableName(std::string_view bytes);

}  // namespace vorel::desktop

#endif  // VOREL_APP_DESKTOP_COMMAND_LINE_H_
