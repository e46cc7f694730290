#ifndef VOREL_PLATFORM_TESTING_H_
#define VOREL_PLATFORM_TESTING_H_

// Seams of the platform layer for tests.

// Only what links vorel::platform_testing (tests) sees the definition below; the program does
// not, so a seam cannot creep into it.
#ifndef VOREL_PLATFORM_TESTING
#error "platform/testing.h is for tests only: link vorel::platform_testing to use it"
#endif

#include <string>
#include <vector>

namespace vorel::platform {

// While it lives, every step of platform/durable_file.h is noted, in order, as "sync <path>",
// "name <from> <to>" and "sync-folder <folder>". One at a time; thread-safe.
class ScopedFileStepRecord {
 public:
  ScopedFileStepRecord();
  ~ScopedFileStepRecord();
  ScopedFileStepRecord(const ScopedFileStepRecord&) = delete;
  ScopedFileStepRecord& operator=(const ScopedFileStepRecord&) = delete;
  std::vector<std::string> steps() const;
};

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_TESTING_H_
