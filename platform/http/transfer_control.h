#ifndef VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_
#define VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_

// Controls of the HTTP layer (platform/http/wininet.h) beyond what WinINet's calls can express.

#include <atomic>
#include <memory>

#include "platform/http/wininet.h"

namespace vorel::platform::http {

// Cooperative cancellation of one request: while `flag` is true, the transfer HttpSendRequestA
// performs for `request` stops within about a second and fails with kErrorOperationCancelled.
// Set before the send, on the thread that sends; the flag itself may be set from any thread.
// A null flag clears it. False (with kErrorInvalidHandle or kErrorIncorrectHandleType) when
// `request` is not a request handle.
bool SetRequestCancelFlag(HINTERNET request, std::shared_ptr<const std::atomic<bool>> flag);

}  // namespace vorel::platform::http

#endif  // VOREL_PLATFORM_HTTP_TRANSFER_CONTROL_H_
