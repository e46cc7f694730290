// Linked into every test in the sanitizer build.
//
// AddressSanitizer (GCC 12's) follows every __tls_get_addr call to keep track of each thread's
// dynamic thread-local storage, and misreads it for a library loaded with dlopen (libbass.so)
// when the library starts a thread before that thread first used the library's thread-locals:
// LeakSanitizer then crashes at exit. The library's only thread-local is an error code, so
// nothing it allocates is reachable only from there and the interception is not needed.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

//
// OpenSSL keeps per-thread state for a network worker that a test abandoned on purpose (workers
// are never killed, so one may still be inside a transfer when the test process ends); that
// state is freed when the thread ends, after LeakSanitizer has looked. It is not a leak of ours.
//
// Qt keeps a 152-byte record for every thread that touches it, freed as that thread ends. A
// worker still ending when the test process exits leaves it behind now and then (it was seen
// once in several hundred runs). Qt's core library is built without frame pointers, so the
// recorded stack ends inside libQt6Core and cannot be matched more closely. The price: a leak in
// our code is not reported when Qt's core called that code directly (a timer or queued call).
//
// Qt's Wayland plugin leaves some of the compositor's objects (their client-side proxies, made
// by libwayland-client) for the process's end to free, which the Wayland tests reach.
//
// A QDBusInterface on an object that answers Introspect builds a meta-object from the reply and
// keeps it in its bus connection's cache until the connection is torn down, which a test's
// connection never is; the tests that ask the player over the session bus reach it. Qt's D-Bus
// library has no frame pointers either, so the suppression names the library, at the same price
// as Qt's core above.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libcrypto.so\n"
         "leak:libQt6Core.so\n"
         "leak:libwayland-client.so\n"
         "leak:libQt6DBus.so\n";
}
