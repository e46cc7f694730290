#ifndef VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_
#define VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_

// The downloaded file: created new at its full size, its space reserved on disk, then mapped
// writable, so connections copy received bytes straight into the file. Writes to disjoint
// ranges may come from several threads at once; Close runs after the last write.

#include <cstdint>
#include <memory>
#include <string>

namespace vorel::download::internal {

class OutputFile {
 public:
  // Creates `path` (UTF-8), which must not exist yet, with `size` bytes. The size is set and
  // the blocks are allocated before the mapping, so a full disk or a size limit fails here with
  // errno in *error (and the file removed again) instead of faulting on a later write.
  static std::unique_ptr<OutputFile> Create(const std::string& path, std::int64_t size,
                                            int* error);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Copies `count` bytes to `offset`; the caller keeps the range within the file.
  void Write(std::int64_t offset, const char* data, std::int64_t count);
  // Drops the written pages of [offset, offset + count) from this process's memory: the bytes
  // stay in the file (the page cache writes them back), and the resident size stays small.
  void Release(std::int64_t offset, std::int64_t count);
  // Unmaps the file.
  void Close();

  const std::string& path() const { return path_; }
  std::int64_t size() const { return size_; }

 private:
  OutputFile(std::string path, std::int64_t size, char* view);
  std::string path_;
  std::int64_t size_;
  char* view_;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_OUTPUT_FILE_H_
