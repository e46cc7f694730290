#ifndef VOREL_PLATFORM_DURABLE_FILE_H_
#define VOREL_PLATFORM_DURABLE_FILE_H_

// The steps that make a file's contents and its name survive a power cut: the file is flushed
// to the disk before it takes its name, and the folder after, since the name lives in the
// folder. Every writer that replaces or publishes a file goes through these, and tests read the
// steps back from a record (platform/testing.h). Thread-safe.
//
//   if (!SyncFile(fd, temp) || rename(temp, final) != 0) return false;
//   NoteNamed(temp, final);
//   SyncFolderOf(final);

#include <string>
#include <vector>

namespace vorel::platform {

// fsync of the open file `fd`; `path` names it in the record. False when the disk reports that
// the data could not be written.
bool SyncFile(int fd, const std::string& path);

// fsync of the folder that holds `path` (UTF-8), so that a name given to a file in it lasts.
// False when the folder cannot be opened or flushed.
bool SyncFolderOf(const std::string& path);

// Notes in the record that `from` (a path, or a description of an unnamed file) took the name
// `to`, between the flushes. Nothing outside a record.
void NoteNamed(const std::string& from, const std::string& to);

namespace internal {

// The record tests read the steps from (platform/testing.h): while it is on, every step above is
// noted, in order, as "sync <path>", "name <from> <to>" and "sync-folder <folder>". Turning it on
// or off empties it. Thread-safe.
void SetFileStepRecord(bool on);
std::vector<std::string> RecordedFileSteps();

}  // namespace internal

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_DURABLE_FILE_H_
