#ifndef VOREL_PLATFORM_HTTP_TESTING_H_
#define VOREL_PLATFORM_HTTP_TESTING_H_

// Seams of the HTTP layer for tests: shorter time-outs, and a cookie store emptied between tests.

// Only what links vorel::http_testing (tests) sees the definition below; the program does not,
// so a seam cannot creep into it.
#ifndef VOREL_HTTP_TESTING
#error "platform/http/testing.h is for tests only: link vorel::http_testing to use it"
#endif

#include "platform/http/internal/transfer_timeouts.h"

namespace vorel::platform::http {

using internal::TransferTimeouts;

// The time-outs of every transfer started afterwards (defaults: 30000 ms to connect, 30 s under
// 1 byte/s), and those in force now. Any thread.
void SetTransferTimeouts(TransferTimeouts timeouts);
TransferTimeouts CurrentTransferTimeouts();

// Forgets every stored cookie. Any thread.
void ClearCookieStore();

}  // namespace vorel::platform::http

#endif  // VOREL_PLATFORM_HTTP_TESTING_H_
