#include "platform/late_library.h"

#include <dlfcn.h>

#include <iterator>
#include <vector>

#include "platform/mutex.h"

namespace vorel::platform {

LateLibrary::LateLibrary(std::initializer_list<const char*> sonames) {
  for (const char* soname : sonames) {
    if (count_ == static_cast<int>(std::size(handles_))) {
      error_ = "too many libraries";
      return;
    }
    // Lazy binding: the decoding libraries pull in about a hundred others, and resolving
    // every symbol of all of them up front would double the time the first stream takes to open.
    void* handle = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      error_ = why ? why : std::string("cannot load ") + soname;
      return;
    }
    handles_[count_++] = handle;
  }
}

void* LateLibrary::Find(const char* name) {
  for (int i = 0; i < count_; ++i) {
    if (void* f = dlsym(handles_[i], name)) return f;
  }
  if (error_.empty()) error_ = std::string("no function ") + name;
  return nullptr;
}

void KeepLoaded(LateLibrary* library) {
  static Mutex mu;
  static auto* kept VOREL_PT_GUARDED_BY(mu) =
      new std::vector<LateLibrary*>;  // never destroyed: see the header
  MutexLock lock(mu);
  kept->push_back(library);
}

}  // namespace vorel::platform
