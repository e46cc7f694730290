#include "platform/late_library.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <vector>

namespace vorel::platform {
namespace {

// Load addresses of the shared objects mapped now. The loader lock held by dl_iterate_phdr
// keeps the list steady while it is read.
std::vector<ElfW(Addr)> LoadedObjects() {
  std::vector<ElfW(Addr)> bases;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        static_cast<std::vector<ElfW(Addr)>*>(data)->push_back(info->dlpi_addr);
        return 0;
      },
      &bases);
  std::sort(bases.begin(), bases.end());
  return bases;
}

// Objects that LateLibrary instances loaded, sorted.
std::mutex g_late_mu;
std::vector<ElfW(Addr)>* g_late_objects = new std::vector<ElfW(Addr)>;  // never destroyed

// Text relocations write into code pages: those pages are the process's own copies, and
// dropping them would lose the relocations.
bool HasTextRelocations(const dl_phdr_info& info) {
  for (int i = 0; i < info.dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info.dlpi_phdr[i];
    if (ph.p_type != PT_DYNAMIC) continue;
    for (auto* d = reinterpret_cast<const ElfW(Dyn)*>(info.dlpi_addr + ph.p_vaddr);
         d->d_tag != DT_NULL; ++d) {
      if (d->d_tag == DT_TEXTREL) return true;
      if (d->d_tag == DT_FLAGS && (d->d_un.d_val & DF_TEXTREL)) return true;
    }
  }
  return false;
}

// Drops this process's mappings of the pages lying wholly inside the object's segments that
// are never written. Runs under the loader lock, so the object cannot be unmapped meanwhile.
void ReleaseReadOnlySegments(const dl_phdr_info& info) {
  if (HasTextRelocations(info)) return;
  // The program headers live in the object's first page: read them all before dropping it.
  struct Range {
    uintptr_t begin, end;
  };
  Range ranges[16];
  int count = 0;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  for (int i = 0; i < info.dlpi_phnum && count < static_cast<int>(std::size(ranges)); ++i) {
    const ElfW(Phdr)& ph = info.dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || (ph.p_flags & PF_W)) continue;
    const uintptr_t start = info.dlpi_addr + ph.p_vaddr;
    const uintptr_t begin = (start + page - 1) / page * page;
    const uintptr_t end = (start + ph.p_memsz) / page * page;
    if (end > begin) ranges[count++] = {begin, end};
  }
  for (int i = 0; i < count; ++i) {
    madvise(reinterpret_cast<void*>(ranges[i].begin), ranges[i].end - ranges[i].begin,
            MADV_DONTNEED);
  }
}

}  // namespace

LateLibrary::LateLibrary(std::initializer_list<const char*> sonames) {
  const std::vector<ElfW(Addr)> before = LoadedObjects();
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
  const std::vector<ElfW(Addr)> after = LoadedObjects();
  std::lock_guard lock(g_late_mu);
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(*g_late_objects));
  std::sort(g_late_objects->begin(), g_late_objects->end());
}

void* LateLibrary::Find(const char* name) {
  for (int i = 0; i < count_; ++i) {
    if (void* f = dlsym(handles_[i], name)) return f;
  }
  if (error_.empty()) error_ = std::string("no function ") + name;
  return nullptr;
}

void KeepLoaded(LateLibrary* library) {
  static std::mutex mu;
  static auto* kept = new std::vector<LateLibrary*>;  // never destroyed: see the header
  std::lock_guard lock(mu);
  kept->push_back(library);
}

void ReleaseLatePages() {
  std::vector<ElfW(Addr)> release;
  {
    std::lock_guard lock(g_late_mu);
    release = *g_late_objects;
  }
  if (release.empty()) return;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        const auto& wanted = *static_cast<const std::vector<ElfW(Addr)>*>(data);
        if (std::binary_search(wanted.begin(), wanted.end(), info->dlpi_addr)) {
          ReleaseReadOnlySegments(*info);
        }
        return 0;
      },
      &release);
}

}  // namespace vorel::platform
