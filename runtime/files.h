#ifndef VOREL_RUNTIME_FILES_H_
#define VOREL_RUNTIME_FILES_H_

// Files of the runtime library: whole-file reads and writes, and numbered data files on disk or
// in memory with a position. Paths are `Text` (code page 936); they reach the file system as
// UTF-8. A file number is positive; 0 means the open failed. Numbers are never reused within a
// run, so a stale number can never reach somebody else's file. An operation on a number that is
// not open does nothing and returns its failure value.
//
// Thread-safe: each file has its own lock, and closing a file that another thread is using
// waits for that operation to finish.

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "runtime/text.h"
#include "runtime/value.h"

namespace vorel::runtime {

// The folder of the program file and the working folder, without a trailing "/".
Text RunDirectory();
Text CurrentDirectory();

// The data folder (play list, downloads) becomes the working folder. For an installed program
// (`program_folder` is <prefix>/bin with <prefix>/lib/vorel/libbass.so) it is always
// $XDG_DATA_HOME/vorel (default ~/.local/share/vorel), created when missing; for a program run
// from anywhere else it is `program_folder` when that is writable, else the same XDG folder.
// Start-up calls it with RunDirectory(). User-interface thread only.
void EnterDataFolder(const Text& program_folder);
// The program folder when EnterDataFolder chose another data folder, or empty. A play list that
// an earlier version kept there is read from it until the data folder has its own.
Text PassedOverProgramFolder();
// The data folder when it cannot be written (or not even entered), or empty when it can: the
// play list and downloads will not be saved, which the window says at start.
Text DataFolderProblem();
// The data folder: the working folder, or, when start-up could not enter the folder it chose,
// that folder, so that a write meant for it fails instead of landing wherever the program was
// started.
Text DataFolderPath();
// Whether the program may create and replace files in `folder`: the one check that decides
// the data folder. Tests may name a folder that then counts as read-only whoever runs them
// (runtime/testing.h).
bool IsWritableFolder(const Text& folder);
// True only for an existing entry that is not a folder.
bool FileExists(const Text& path);
// Size and modification time of a file, to tell whether it changed since it was last read.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const Text& path);
// The whole file; empty when it cannot be read.
Bytes ReadWholeFile(const Text& path);
// Creates or truncates the file and writes every non-empty value (as by ToBytes) in order.
bool WriteWholeFile(const Text& path, std::initializer_list<Value> values);

// Makes `temp_path` durable (flushed to the disk) and then puts it in place of `final_path` in
// one step, so a reader sees either the old file or the new one, never a half-written file.
// Both must lie in the same folder. True on success; on failure `final_path` is untouched.
bool ReplaceFileAtomically(const Text& temp_path, const Text& final_path);
// Gives a file a new name in the same file system; false, changing nothing, when the new name
// is taken or the rename fails.
bool RenameFileKeeping(const Text& from, const Text& to);
// Removes a file; true when it is gone.
bool RemoveFile(const Text& path);

enum class FileMode : int {
  kRead = 1,
  kWrite = 2,
  kReadWrite = 3,
  kCreateWrite = 4,      // create or truncate, write
  kOpenCreateWrite = 5,  // open or create without truncating, write
  kOpenCreateReadWrite = 6,
};
enum class ShareMode : int { kNone = 1, kDenyRead = 2, kDenyWrite = 3, kExclusive = 4 };

// Opens a file on disk. Modes and share modes outside their ranges fail. Share modes are honoured
// between files this process has open.
int OpenDataFile(const Text& path, FileMode mode = FileMode::kReadWrite,
                 ShareMode share = ShareMode::kNone);
// A new empty file in memory.
int OpenMemoryFile();
void CloseFile(int file);

std::int64_t FileLength(int file);  // -1 for a number that is not open
bool MoveToFileStart(int file);
// True at the end; with stop_at_nul, also when the byte at the position is NUL or 0x1A.
bool AtFileEnd(int file, bool stop_at_nul = false);

Bytes ReadBytes(int file, int n);
// Up to n bytes (all when absent), stopping before NUL or 0x1A; the position ends after them.
Text ReadText(int file, std::optional<int> n = std::nullopt);
// One line without its LF (and a CR before it); NUL and 0x1A end the line and stay unread.
Text ReadLine(int file);

// Each non-empty value as by ToBytes; on failure the position is restored.
bool WriteBytes(int file, std::initializer_list<Value> values);
// Each value as by ToText, with nothing between them.
bool WriteText(int file, std::initializer_list<Value> values);
// Each value in its binary form: little-endian numbers, booleans on 32 bits, texts with their
// NUL, `Bytes` as a 32-bit length and the bytes.
bool WriteData(int file, std::initializer_list<Value> values);
// Reads values back in the layout WriteData wrote. True when every value was read; on failure the
// position is restored and the variables read so far keep their new values.
bool ReadData(int file, std::initializer_list<ValueRef> targets);
// Removes n bytes at the position, moving the rest of the file back, then shortens the file.
bool DeleteData(int file, std::int64_t n);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_FILES_H_
