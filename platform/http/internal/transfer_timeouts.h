#ifndef VOREL_PLATFORM_HTTP_INTERNAL_TRANSFER_TIMEOUTS_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_TRANSFER_TIMEOUTS_H_

namespace vorel::platform::http::internal {

// Time-outs of every transfer: connect time-out in milliseconds, and the number of seconds under
// 1 byte/s after which a transfer is aborted.
struct TransferTimeouts {
  long connect_ms = 30000;
  long low_speed_seconds = 30;
};

// Those of transfers started from now on. Any thread. The program keeps the defaults; tests
// change them (platform/http/testing.h) to try a stalled server without waiting half a minute.
TransferTimeouts Timeouts();
void SetTimeouts(TransferTimeouts timeouts);

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_TRANSFER_TIMEOUTS_H_
