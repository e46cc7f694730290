#ifndef VOREL_DOWNLOAD_INTERNAL_CONNECT_H_
#define VOREL_DOWNLOAD_INTERNAL_CONNECT_H_

// The first step of every exchange: a TCP connection to the server (or the proxy) and, for
// https, the TLS handshake over it. Runs on the connection's thread.

#include <string>
#include <string_view>

#include "download/internal/connection_worker.h"
#include "download/internal/exchange.h"
#include "download/internal/http_request.h"

namespace vorel::download::internal {

// Host and port of a host part ("name", "name:port") or a proxy ("[http://]name[:port][/]");
// `default_port` when none is given or it is not a port.
void SplitHostPort(std::string_view text, int default_port, std::string* host, int* port);

// Connects the connection's channel to dotted:port within the task's connect time-out and,
// for https, shakes hands for the request's host. kOk when the channel is ready for the
// request. The status lines follow the caller's kind: the probe's "[...]成功" has a space
// before the bracket, a range connection's has none.
ExchangeResult Connect(ConnectionWorker& c, const std::string& dotted, int port,
                       const RequestParts& parts, bool probe);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_CONNECT_H_
