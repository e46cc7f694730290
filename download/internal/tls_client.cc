#include "download/internal/tls_client.h"

#include <poll.h>

#include "download/internal/openssl_api.h"

namespace vorel::download::internal {
namespace {

constexpr int kStepMs = 10;

void FreeHost(void*, void* host, CRYPTO_EX_DATA*, int, long, void*) {
  delete static_cast<std::string*>(host);
}

// Each session carries its own copy of the host name, for the session tickets that arrive
// after the handshake (TLS 1.3) while the connection reads.
int HostIndex() {
  static const int index = OpenSsl().CRYPTO_get_ex_new_index(CRYPTO_EX_INDEX_SSL, 0, nullptr,
                                                             nullptr, nullptr, &FreeHost);
  return index;
}

// A connection over `fd` that checks the peer's certificate for `host` (a name, also sent as
// SNI, or a dotted address) and carries its own copy of the host. Null when OpenSSL fails.
SSL* NewConnection(const OpenSslApi& api, SSL_CTX* context, int fd, const std::string& host) {
  SSL* ssl = api.SSL_new(context);
  if (ssl == nullptr || api.SSL_set_fd(ssl, fd) != 1) {
    api.SSL_free(ssl);
    return nullptr;
  }
  X509_VERIFY_PARAM* param = api.SSL_get0_param(ssl);
  if (IsDottedIpv4(host)) {
    api.X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    api.X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    api.SSL_set1_host(ssl, host.c_str());
    api.SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(host.c_str()));
  }
  api.SSL_set_ex_data(ssl, HostIndex(), new std::string(host));
  return ssl;
}

// What a handshake that failed with `error` (neither a wish to read nor to write) returns.
int HandshakeFailure(const OpenSslApi& api, SSL* ssl, int error, std::string* why) {
  const long verify = api.SSL_get_verify_result(ssl);
  if (verify != X509_V_OK) {
    if (why != nullptr) *why = api.X509_verify_cert_error_string(verify);
    return kTlsNotTrusted;
  }
  // SSL_ERROR_SSL with a certificate that verified: what came back broke the protocol, as a
  // plain-http server's "400 Bad Request" does. A hang-up is SSL_ERROR_SYSCALL.
  return error == SSL_ERROR_SSL ? kTlsNotSpoken : kTlsFailed;
}

// Waits in short steps until `fd` is ready for `events`: 0 then, kStopped on `stop`,
// kConnectTimeout once the deadline passes.
int WaitForSocket(int fd, short events, long long deadline, const StopSignal& stop,
                  const Clock& clock) {
  pollfd p{fd, events, 0};
  for (;;) {
    if (stop.Stopped()) return kStopped;
    if (clock.NowMs() >= deadline) return kConnectTimeout;
    if (poll(&p, 1, kStepMs) != 0) return 0;
  }
}

// Drives the handshake on the non-blocking socket until it completes (0), fails, `stop` is
// signalled or the deadline passes.
int ShakeHands(const OpenSslApi& api, SSL* ssl, int fd, long long deadline, const StopSignal& stop,
               const Clock& clock, std::string* why) {
  for (;;) {
    api.ERR_clear_error();
    const int r = api.SSL_connect(ssl);
    if (r == 1) return 0;
    const int error = api.SSL_get_error(ssl, r);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      return HandshakeFailure(api, ssl, error, why);
    }
    const int waited =
        WaitForSocket(fd, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT),
                      deadline, stop, clock);
    if (waited != 0) return waited;
  }
}

}  // namespace

TlsClient::TlsClient() : ssl_(LoadOpenSsl()) {
  if (ssl_ == nullptr) return;
  const OpenSslApi& api = *ssl_;
  SSL_CTX* ctx = api.SSL_CTX_new(api.TLS_client_method());
  if (ctx == nullptr) return;
  api.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  api.SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  if (api.SSL_CTX_set_default_verify_paths(ctx) != 1) api.ERR_clear_error();
  // Partial writes suit the non-blocking send loop; servers that end a body by closing without
  // close_notify are common, and the body's own framing says whether it is whole.
  api.SSL_CTX_ctrl(ctx, SSL_CTRL_MODE,
                   SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
  api.SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  api.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_SESS_CACHE_MODE,
                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE, nullptr);
  api.SSL_CTX_sess_set_new_cb(ctx, &TlsClient::OnNewSession);
  api.SSL_CTX_set_ex_data(ctx, 0, this);
  context_ = ctx;
}

TlsClient::~TlsClient() {
  if (session_ != nullptr) ssl_->SSL_SESSION_free(session_);
  if (context_ != nullptr) ssl_->SSL_CTX_free(context_);
}

int TlsClient::OnNewSession(SSL* ssl, SSL_SESSION* session) {
  const OpenSslApi& api = OpenSsl();
  auto* self = static_cast<TlsClient*>(api.SSL_CTX_get_ex_data(api.SSL_get_SSL_CTX(ssl), 0));
  const auto* host = static_cast<const std::string*>(api.SSL_get_ex_data(ssl, HostIndex()));
  if (self == nullptr || host == nullptr) return 0;
  self->Remember(*host, session);
  return 1;  // the session is ours now
}

void TlsClient::Remember(const std::string& host, SSL_SESSION* session) {
  platform::MutexLock lock(mu_);
  if (session_ != nullptr) ssl_->SSL_SESSION_free(session_);
  session_ = session;
  session_host_ = host;
}

int TlsClient::Handshake(Channel& channel, const std::string& host, int timeout_ms,
                         const StopSignal& stop, const Clock& clock, std::string* why) {
  if (ssl_ == nullptr) {
    if (why != nullptr) *why = OpenSslFileName();
    return kTlsUnavailable;
  }
  if (context_ == nullptr) return kTlsFailed;
  const OpenSslApi& api = *ssl_;
  SSL* ssl = NewConnection(api, context_, channel.fd, host);
  if (ssl == nullptr) return kTlsFailed;
  {
    platform::MutexLock lock(mu_);
    if (session_ != nullptr && session_host_ == host) api.SSL_set_session(ssl, session_);
  }
  const long long deadline = clock.NowMs() + std::max(timeout_ms, kStepMs);
  const int result = ShakeHands(api, ssl, channel.fd, deadline, stop, clock, why);
  if (result != 0) {
    api.SSL_free(ssl);
    return result;
  }
  channel.tls = ssl;
  return 0;
}

}  // namespace vorel::download::internal
