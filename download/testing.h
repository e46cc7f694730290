#ifndef VOREL_DOWNLOAD_TESTING_H_
#define VOREL_DOWNLOAD_TESTING_H_

// What tests and tools need of the download engine beyond its public API. Thread-safe.

// Only what links vorel::download_testing (tests, benchmarks, tools) sees the definition below;
// the program does not, so a seam cannot creep into it.
#ifndef VOREL_DOWNLOAD_TESTING
#error "download/testing.h is for tests and tools only: link vorel::download_testing to use it"
#endif

namespace vorel::download {

// Waits until every task of the process has ended and its threads are gone, so that a test
// leaves none behind to report into the next one. True when none is left within timeout_ms.
bool WaitForAllTasks(int timeout_ms);

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_TESTING_H_
