#include "runtime/testing.h"

#include "runtime/internal/bridge_state.h"
#include "runtime/internal/read_only_folder.h"

namespace vorel::runtime {

void ResetWindows() { internal::ForgetWindows(); }

void TreatFolderAsReadOnly(const Text& folder) { internal::TreatFolderAsReadOnly(folder); }

}  // namespace vorel::runtime
