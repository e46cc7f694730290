#ifndef VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_
#define VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_

// One HTTP exchange on a connection: connect, send the request, read and judge the reply
// header. Runs on the connection's thread and reports through the task's status lines.
// A success leaves the body bytes that came with the header at the start of the connection's
// buffer and their count in *body_bytes. A failure says what happened through the connection's
// set_failure; whether another attempt follows is the retry rules' call.

#include <cstdint>

#include "download/internal/connection_worker.h"
#include "download/internal/response_header.h"

namespace vorel::download::internal {

enum class ExchangeResult {
  kOk,      // the step succeeded; for a whole exchange, the reply's body is to be read
  kFailed,  // the attempt failed, for the reason the connection's failure names
};

// The first exchange of a task: resolves the host, follows redirects (a bounded number) and
// learns the total size from Content-Length, which it stores in the task.
ExchangeResult ProbeExchange(ConnectionWorker& c, int* body_bytes);

// For a body of unknown size: asks for its bytes from `offset` on, which either resumes it or
// (after a close) checks that nothing follows. kOk for a 200, 206 or 416 reply, whose
// header is in *header and whose framing is set on `c`; any other status is final.
ExchangeResult StreamExchange(ConnectionWorker& c, std::int64_t offset, int* body_bytes,
                              ResponseHeader* header);

// The exchange for the rest of a segment, from the first byte it lacks. A server that ignores
// the Range line (status 200 with the full length) makes the first connection to see it read
// the whole reply (c.whole_body()); the others fail.
ExchangeResult RangeExchange(ConnectionWorker& c, int* body_bytes);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_
