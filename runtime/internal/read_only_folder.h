#ifndef VOREL_RUNTIME_INTERNAL_READ_ONLY_FOLDER_H_
#define VOREL_RUNTIME_INTERNAL_READ_ONLY_FOLDER_H_

// The folder IsWritableFolder answers false for whoever runs the program (runtime/testing.h);
// empty for none. User-interface thread.

#include "runtime/text.h"

namespace vorel::runtime::internal {

void TreatFolderAsReadOnly(const Text& folder);

}  // namespace vorel::runtime::internal

#endif  // VOREL_RUNTIME_INTERNAL_READ_ONLY_FOLDER_H_
