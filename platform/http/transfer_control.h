#ifndef VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_
#define VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_

// Controls of the HTTP layer (platform/http/wininet.h) beyond what WinINet's calls can express.

#include <atomic>
#include <memory>

namespace vorel::platform::http {

// Cooperative cancellation: while the flag set for the calling thread is true, every transfer
// that thread performs stops within about a second and fails with kErrorOperationCancelled.
// A null flag clears it. Thread-local; the flag itself may be set from any thread.
void SetThreadCancelFlag(std::shared_ptr<const std::atomic<bool>> flag);

// Time-outs of every transfer started afterwards: connect time-out in milliseconds, and the
// number of seconds under 1 byte/s after which a transfer is aborted. The defaults are 30000 and
// 30. For tests only: lets a stalled server be tested without waiting half a minute.
struct TransferTimeouts {
  long connect_ms = 30000;
  long low_speed_seconds = 30;
};
void SetTransferTimeoutsForTesting(TransferTimeouts timeouts);
TransferTimeouts CurrentTransferTimeouts();

// Forgets every stored cookie. For tests only.
void ClearCookieStoreForTesting();

}  // namespace vorel::platform::http

#endif  // VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_
