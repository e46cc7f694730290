#ifndef VOREL_DOWNLOAD_INTERNAL_TLS_CLIENT_H_
#define VOREL_DOWNLOAD_INTERNAL_TLS_CLIENT_H_

// TLS for https sources, over the engine's own non-blocking sockets. One client per task: the
// system's trust store (OpenSSL's default paths, which honour SSL_CERT_FILE and SSL_CERT_DIR),
// the peer's certificate checked against it and against the host name, SNI for host names, and
// the session of one connection resumed by the task's other connections to the same host.
// OpenSSL itself is loaded when the first client of the process is made (openssl_api.h).
//
// Thread-safe: the task's connections shake hands at the same time.

#include <string>

#include "download/internal/socket_io.h"
#include "platform/mutex.h"

struct ssl_ctx_st;
struct ssl_session_st;

namespace vorel::download::internal {
struct OpenSslApi;
}

namespace vorel::download::internal {

// Results of Handshake beside 0, kConnectTimeout and kStopped.
enum TlsError : int {
  kTlsFailed = -30,       // the peer hung up
  kTlsNotTrusted = -31,   // the certificate does not verify for this host
  kTlsUnavailable = -32,  // the TLS library could not be loaded: no https in this process
  kTlsNotSpoken = -33,    // the peer answered with bytes that are not TLS (a plain server)
};

class TlsClient {
 public:
  TlsClient();
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  // Starts TLS on the connected socket of `channel` for `host` (a name or a dotted address),
  // within timeout_ms of the engine's clock and ending early on `stop`. On success (0) the
  // channel owns the session; otherwise the channel has none. For kTlsNotTrusted *why holds
  // OpenSSL's reason (ASCII), for kTlsUnavailable the name of the library file that is missing.
  int Handshake(Channel& channel, const std::string& host, int timeout_ms, const StopSignal& stop,
                const Clock& clock, std::string* why);

 private:
  static int OnNewSession(struct ssl_st* ssl, ssl_session_st* session);
  void Remember(const std::string& host, ssl_session_st* session);

  // Immutable after construction: the loaded library (null when it could not be loaded) and the
  // context (null when the library or OpenSSL failed).
  const OpenSslApi* const ssl_;
  ssl_ctx_st* context_ = nullptr;
  platform::Mutex mu_;
  std::string session_host_ VOREL_GUARDED_BY(mu_);
  ssl_session_st* session_ VOREL_GUARDED_BY(mu_) = nullptr;  // owned
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_TLS_CLIENT_H_
