#ifndef VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_
#define VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_

// One HTTP exchange on a connection: connect, send the request, read and judge the reply
// header. Runs on the connection's thread and reports through the task's status lines.
//
// Results: 1 success, with the body bytes that came with the header at the start of the
// connection's buffer and their count in *body_bytes; -1 a failed attempt the caller may
// retry; 0 a failure without retry.

#include "download/internal/download_task.h"
#include "download/internal/response_header.h"

namespace vorel::download::internal {

// The first exchange of a task: resolves the host, follows redirects (a bounded number) and
// learns the total size from Content-Length, which it stores in the task.
int ProbeExchange(DownloadTask& task, Connection& c, int* body_bytes);

// For a body of unknown size: asks for its bytes from `offset` on, which either resumes it or
// (after a close) checks that nothing follows. Result 1 for a 200, 206 or 416 reply, whose
// header is in *header and whose framing is set on `c`; any other status gives 0.
int StreamExchange(DownloadTask& task, Connection& c, std::int64_t offset, int* body_bytes,
                   ResponseHeader* header);

// The exchange for the rest of a segment, from the first byte it lacks. A server that ignores
// the Range line (status 200 with the full length) makes the first connection to see it read
// the whole reply (c.whole_body); the others fail.
int RangeExchange(DownloadTask& task, Connection& c, int* body_bytes);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_EXCHANGE_H_
