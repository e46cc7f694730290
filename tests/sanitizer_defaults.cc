// Linked into every test in the sanitizer build.
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
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libwayland-client.so\n"
         "leak:libQt6DBus.so\n";
}
