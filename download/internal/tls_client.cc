#include "download/internal/tls_client.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include "download/internal/engine_settings.h"

namespace vorel::download::internal {
namespace {

constexpr int kStepMs = 10;

void FreeHost(void*, void* host, CRYPTO_EX_DATA*, int, long, void*) {
  delete static_cast<std::string*>(host);
}

// Each session carries its own copy of the host name, for the session tickets that arrive
// after the handshake (TLS 1.3) while the connection reads.
int HostIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, &FreeHost);
  return index;
}

}  // namespace

TlsClient::TlsClient() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) return;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_set_default_verify_paths(ctx) != 1) ERR_clear_error();
  // Partial writes suit the non-blocking send loop; servers that end a body by closing without
  // close_notify are common, and the body's own framing says whether it is whole.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ctx, &TlsClient::OnNewSession);
  SSL_CTX_set_app_data(ctx, this);
  context_ = ctx;
}

TlsClient::~TlsClient() {
  if (session_ != nullptr) SSL_SESSION_free(session_);
  if (context_ != nullptr) SSL_CTX_free(context_);
}

int TlsClient::OnNewSession(SSL* ssl, SSL_SESSION* session) {
  auto* self = static_cast<TlsClient*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
  const auto* host = static_cast<const std::string*>(SSL_get_ex_data(ssl, HostIndex()));
  if (self == nullptr || host == nullptr) return 0;
  self->Remember(*host, session);
  return 1;  // the session is ours now
}

void TlsClient::Remember(const std::string& host, SSL_SESSION* session) {
  std::lock_guard<std::mutex> lock(mu_);
  if (session_ != nullptr) SSL_SESSION_free(session_);
  session_ = session;
  session_host_ = host;
}

int TlsClient::Handshake(Channel& channel, const std::string& host, int timeout_ms,
                         const StopSignal& stop, std::string* why) {
  if (context_ == nullptr) return kTlsFailed;
  SSL* ssl = SSL_new(context_);
  if (ssl == nullptr || SSL_set_fd(ssl, channel.fd) != 1) {
    SSL_free(ssl);
    return kTlsFailed;
  }
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (IsDottedIpv4(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl, host.c_str());
    SSL_set_tlsext_host_name(ssl, host.c_str());
  }
  SSL_set_ex_data(ssl, HostIndex(), new std::string(host));
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (session_ != nullptr && session_host_ == host) SSL_set_session(ssl, session_);
  }

  const long long deadline = NowMs() + std::max(timeout_ms, kStepMs);
  int result = kConnectTimeout;
  for (;;) {
    ERR_clear_error();
    int r = SSL_connect(ssl);
    if (r == 1) {
      result = 0;
      break;
    }
    int error = SSL_get_error(ssl, r);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      long verify = SSL_get_verify_result(ssl);
      if (verify != X509_V_OK) {
        result = kTlsNotTrusted;
        if (why != nullptr) *why = X509_verify_cert_error_string(verify);
      } else {
        result = kTlsFailed;
      }
      break;
    }
    pollfd p{channel.fd, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    bool waited = false;
    while (!waited) {
      if (stop.Stopped()) {
        result = kStopped;
        break;
      }
      if (NowMs() >= deadline) break;
      int ready = poll(&p, 1, kStepMs);
      waited = ready != 0;
    }
    if (!waited) break;
  }
  if (result != 0) {
    SSL_free(ssl);
    return result;
  }
  channel.tls = ssl;
  return 0;
}

}  // namespace vorel::download::internal
