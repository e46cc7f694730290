#ifndef VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_
#define VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_

// The downloaded file: created at its full size with its blocks reserved on disk, then
// written through memory mappings, so received bytes go straight into the file without a write
// call per block. Each writer maps a moving window of the file (MappedWindow): the process then
// holds at most one window per connection in memory, however large the file.
//
// Thread-safe for writers on disjoint ranges, each with its own window; Close comes last.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vorel::download::internal {

// One writer's current mapping of part of the file. Owned by that writer.
struct MappedWindow {
  char* base = nullptr;
  std::int64_t start = 0;
  std::int64_t length = 0;
};

class OutputFile {
 public:
  // Where the file lives until Publish: unnamed where the file system allows it (else in a
  // hidden part file), or in a hidden part file wherever it is.
  enum class Naming { kUnnamedWherePossible, kHiddenPartFile };

  // Creates the file for `path` (UTF-8), which must not exist yet, with `size` bytes. The size
  // is set and the blocks are allocated before anything is mapped, so a full disk or a size
  // limit fails here with errno in *error (nothing left behind) instead of faulting on a later
  // write. The file has no name until Publish (or, where the file system has no unnamed
  // files, a hidden ".<name>.<random>.part" name beside it), so an unfinished download never
  // appears under the final name, not even after a crash.
  static std::unique_ptr<OutputFile> Create(const std::string& path, std::int64_t size, int* error,
                                            Naming naming = Naming::kUnnamedWherePossible);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Memory for bytes [offset, offset + count) of the file, mapping `window` anew when the range
  // lies outside it. Null when the range is not inside the file or cannot be mapped.
  char* Map(MappedWindow& window, std::int64_t offset, std::int64_t count);
  // Copies `count` bytes to `offset` through `window`; false when that cannot be done.
  bool Write(MappedWindow& window, std::int64_t offset, const char* data, std::int64_t count);
  // Copies `count` bytes to `offset` with a write call instead of a mapping (for data that
  // already sits in a buffer); false when the range is outside the file or the write fails.
  bool WriteThrough(std::int64_t offset, const char* data, std::int64_t count);
  static void Unmap(MappedWindow& window);
  // Grows a file of unknown size (created with size 0) to at least `size` bytes, reserving its
  // blocks; false when the disk refuses. One writer only.
  bool Reserve(std::int64_t size);
  // Cuts the file to `size` bytes (no more than it has), for a body whose end is now known.
  bool Truncate(std::int64_t size);
  // Flushes the finished file to the disk, gives it its name and flushes the folder; false
  // (errno in *error) when the disk reports a failure or the name was taken meanwhile or
  // cannot be made. Every window must be unmapped by then.
  bool Publish(int* error);
  // Closes the file and, unless it was published, removes it. Every window must be unmapped.
  void Discard();

  // True for a name of the form the hidden files take: ".<name>.<8 of 0-9, a-z>.part".
  static bool IsPartFileName(std::string_view name);
  // Removes from `folder` (UTF-8) the hidden part files that downloads killed mid-way left
  // behind: regular files whose names have that exact form and that no running download holds
  // (each holds a lock on its part file for as long as it runs, in any process). Links,
  // folders and every other name are left alone. The count removed.
  static int RemoveStaleParts(const std::string& folder);

  const std::string& path() const { return path_; }
  std::int64_t size() const { return size_; }

 private:
  OutputFile(std::string path, std::int64_t size, int fd, std::string temporary);
  bool Allocate(std::int64_t size, int* error);
  void Close();
  std::string path_;
  std::int64_t size_;
  int fd_;
  std::string temporary_;  // the hidden name until Publish; empty for an unnamed file
  bool published_ = false;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_
