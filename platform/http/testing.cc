#include "platform/http/testing.h"

#include "platform/http/internal/cookie_store.h"

namespace vorel::platform::http {

void SetTransferTimeouts(TransferTimeouts timeouts) { internal::SetTimeouts(timeouts); }

TransferTimeouts CurrentTransferTimeouts() { return internal::Timeouts(); }

void ClearCookieStore() { internal::ClearCookies(); }

}  // namespace vorel::platform::http
