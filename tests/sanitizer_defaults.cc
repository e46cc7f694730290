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
// Qt's Wayland plugin leaves some of the compositor's objects (their client-side proxies, made
// by libwayland-client) for the process's end to free, which the Wayland tests reach.
//
// A QDBusInterface on an object that answers Introspect builds a meta-object from the reply and
// keeps it in its bus connection's cache until the connection is torn down, which a test's
// connection never is; the tests that ask the player over the session bus reach it. Qt's D-Bus
// library has no frame pointers, so the recorded stack ends inside it and the suppression names
// the library: a leak of ours is not reported when that library called our code directly.
//
// Fontconfig links some of its records by offsets instead of pointers, so while the font
// database lives (as it does when leaks are looked for after the last test) those records look
// unreferenced. Fontconfig never calls our code, so this hides only its own allocations.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libwayland-client.so\n"
         "leak:libfontconfig.so\n"
         "leak:libQt6DBus.so\n";
}

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
