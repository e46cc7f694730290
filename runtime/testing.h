#ifndef VOREL_RUNTIME_TESTING_H_
#define VOREL_RUNTIME_TESTING_H_

// Seams of the runtime for tests and tools that load windows again and again in one process.
// User-interface thread only.

// Only what links vorel::runtime_testing (tests, benchmarks, tools) sees the definition below;
// the program does not, so a seam cannot creep into it.
#ifndef VOREL_RUNTIME_TESTING
#error "runtime/testing.h is for tests and tools only: link vorel::runtime_testing to use it"
#endif

#include "runtime/text.h"

namespace vorel::runtime {

// Closes every window without events and forgets the exit routines and the rest the windows'
// run registered, as replacing the native layer does, keeping the layer installed.
void ResetWindows();

// Makes IsWritableFolder answer false for `folder` whoever runs the test (root may write
// anywhere); an empty text ends that.
void TreatFolderAsReadOnly(const Text& folder);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_TESTING_H_
