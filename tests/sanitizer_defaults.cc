// Linked into every test in the sanitizer build.

#include <gtest/gtest.h>
#include <sanitizer/lsan_interface.h>

//
// AddressSanitizer (GCC 12's) follows every __tls_get_addr call to keep track of each thread's
// dynamic thread-local storage, and misreads it for a library loaded with dlopen (libbass.so)
// when the library starts a thread before that thread first used the library's thread-locals:
// LeakSanitizer then crashes at exit. The library's only thread-local is an error code, so
// nothing it allocates is reachable only from there and the interception is not needed.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

//
// Leaks are looked for after the last test (below), while Qt's plugins and bus connections still
// hold what they free at exit, so only one library's own records need hiding here.
//
// Fontconfig links some of its records by offsets instead of pointers, so while the font
// database lives (as it does when leaks are looked for after the last test) those records look
// unreferenced. Fontconfig never calls our code, so this hides only its own allocations.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// LeakSanitizer looks for leaks as the process ends, while static destructors stop Qt's own
// threads (the D-Bus connection manager's among them). Such a thread, once waited for, still
// holds Qt's 152-byte record of it until its thread-local storage is released; a look in that
// instant finds the record unreferenced (seen once in several hundred runs of the bus tests).
// Looking after the last test instead, while every thread runs and the application object
// lives, finds every leak the tests made without that race; the look at exit is then skipped.
class LeakCheckAfterTheLastTest : public ::testing::Environment {
 public:
  void TearDown() override { __lsan_do_leak_check(); }
};

[[maybe_unused]] ::testing::Environment* const leak_check =
    ::testing::AddGlobalTestEnvironment(new LeakCheckAfterTheLastTest);

}  // namespace
