// Loaded with LD_PRELOAD by the download tests: refuses unnamed temporary files (O_TMPFILE) as
// vfat, exFAT, FUSE, CIFS and NFSv3 do, and passes every other open on.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

static int Refused(int flags) { return (flags & __O_TMPFILE) == __O_TMPFILE; }

static mode_t ModeOf(int flags, va_list args) {
  return (flags & O_CREAT) || Refused(flags) ? va_arg(args, mode_t) : 0;
}

#define FORWARD_OPEN(name)                                        \
  int name(const char* path, int flags, ...) {                    \
    va_list args;                                                 \
    va_start(args, flags);                                        \
    mode_t mode = ModeOf(flags, args);                            \
    va_end(args);                                                 \
    if (Refused(flags)) {                                         \
      errno = EOPNOTSUPP;                                         \
      return -1;                                                  \
    }                                                             \
    int (*real)(const char*, int, ...) = dlsym(RTLD_NEXT, #name); \
    return real(path, flags, mode);                               \
  }

#define FORWARD_OPENAT(name)                                           \
  int name(int dir, const char* path, int flags, ...) {                \
    va_list args;                                                      \
    va_start(args, flags);                                             \
    mode_t mode = ModeOf(flags, args);                                 \
    va_end(args);                                                      \
    if (Refused(flags)) {                                              \
      errno = EOPNOTSUPP;                                              \
      return -1;                                                       \
    }                                                                  \
    int (*real)(int, const char*, int, ...) = dlsym(RTLD_NEXT, #name); \
    return real(dir, path, flags, mode);                               \
  }

FORWARD_OPEN(open)
FORWARD_OPEN(open64)
FORWARD_OPENAT(openat)
FORWARD_OPENAT(openat64)
