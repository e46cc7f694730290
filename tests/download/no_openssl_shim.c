// Loaded with LD_PRELOAD by the download tests: a system without OpenSSL, simulated. dlopen
// refuses libssl and libcrypto and passes every other file on.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>

static int Refused(const char* file) {
  if (file == NULL) return 0;
  const char* base = strrchr(file, '/');
  base = base ? base + 1 : file;
  return strncmp(base, "libssl.", 7) == 0 || strncmp(base, "libcrypto.", 10) == 0;
}

void* dlopen(const char* file, int mode) {
  if (Refused(file)) return NULL;
  void* (*real)(const char*, int) = dlsym(RTLD_NEXT, "dlopen");
  return real(file, mode);
}
