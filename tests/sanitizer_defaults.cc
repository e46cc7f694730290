// Linked into every test in the sanitizer build.
//
// OpenSSL keeps per-thread state for a network worker that a test abandoned on purpose (workers
// are never killed, so one may still be inside a transfer when the test process ends); that
// state is freed when the thread ends, after LeakSanitizer has looked. It is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libcrypto.so\n"; }
