#ifndef VOREL_PLATFORM_LATE_LIBRARY_H_
#define VOREL_PLATFORM_LATE_LIBRARY_H_

#include <cstdio>
#include <initializer_list>
#include <string>

namespace vorel::platform {

// A set of shared libraries opened with dlopen when a feature first needs them, so that the
// program does not map them (and all they depend on) at start. Used by libbass.so too, which
// compiles this file into itself.
// Thread-compatible; the tables built on it load once under std::call_once.
class LateLibrary {
 public:
  // Opens every file in `sonames` (RTLD_LAZY | RTLD_LOCAL). On failure ok() is false and
  // error() says which file and why. The files stay loaded for the life of the process.
  explicit LateLibrary(std::initializer_list<const char*> sonames);
  LateLibrary(const LateLibrary&) = delete;
  LateLibrary& operator=(const LateLibrary&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // The address of `name` in the first of the files that defines it, or null (and error()
  // names the function).
  void* Find(const char* name);

  // Resolves a function into `slot`, keeping its declared type.
  template <typename F>
  void Resolve(F*& slot, const char* name) {
    slot = reinterpret_cast<F*>(Find(name));
  }

 private:
  void* handles_[6] = {};
  int count_ = 0;
  std::string error_;
};

// For function tables listed as X-macros, `FUNCTIONS(VOREL_LATE_SLOT)` inside a struct declares
// one pointer per function under the function's own name and type, and `FUNCTIONS(
// VOREL_LATE_RESOLVE)` inside a resolve callback whose parameters are named `library` and `table`
// fills them in.
#define VOREL_LATE_SLOT(name) decltype(&::name) name = nullptr;
#define VOREL_LATE_RESOLVE(name) library.Resolve(table.name, #name);

// Keeps `library` reachable for the life of the process: it is never unloaded, and a leak
// checker must not take the loaded files for lost memory. Thread-safe.
void KeepLoaded(LateLibrary* library);

// Builds a function table of type Api from the files `sonames`: `resolve(library, table)`
// resolves each function. Returns null when a file or a function is missing, after one line on
// standard error: `what` (for example "libbass.so: no decoder"), then what is missing. The files
// stay loaded for the life of the process (unloading code another thread may still run is never
// safe), so call it once, from the initialiser of a function-local static.
template <typename Api, typename Resolve>
const Api* LoadFunctionTable(std::initializer_list<const char*> sonames, const char* what,
                             Resolve resolve) {
  auto* library = new LateLibrary(sonames);
  auto* api = new Api;
  if (library->ok()) resolve(*library, *api);
  if (!library->ok()) {
    std::fprintf(stderr, "%s: %s\n", what, library->error().c_str());
    delete api;
    delete library;  // the files it did open stay loaded; only the record goes
    return nullptr;
  }
  KeepLoaded(library);
  return api;
}

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_LATE_LIBRARY_H_
