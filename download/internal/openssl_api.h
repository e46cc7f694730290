#ifndef VOREL_DOWNLOAD_INTERNAL_OPENSSL_API_H_
#define VOREL_DOWNLOAD_INTERNAL_OPENSSL_API_H_

// The OpenSSL functions the engine's TLS calls, loaded with dlopen when the first https
// connection of the process shakes hands: a program that downloads nothing over https (or
// nothing at all) never maps libssl and libcrypto.
//
// OpenSSL's convenience macros (SSL_CTX_set_mode, SSL_set_tlsext_host_name, ...) name the
// library's functions directly, which would link them; callers write the underlying calls
// (SSL_CTX_ctrl, SSL_ctrl, CRYPTO_get_ex_new_index, ...) through the table instead.

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

#include "platform/late_library.h"

namespace vorel::download::internal {

// clang-format off
#define VOREL_OPENSSL_FUNCTIONS(X)                                                             \
  X(CRYPTO_get_ex_new_index) X(ERR_clear_error) X(SSL_connect) X(SSL_ctrl) X(SSL_CTX_ctrl)    \
  X(SSL_CTX_free) X(SSL_CTX_get_ex_data) X(SSL_CTX_new) X(SSL_CTX_sess_set_new_cb)            \
  X(SSL_CTX_set_default_verify_paths) X(SSL_CTX_set_ex_data) X(SSL_CTX_set_options)           \
  X(SSL_CTX_set_verify) X(SSL_free) X(SSL_get0_param) X(SSL_get_error) X(SSL_get_ex_data)     \
  X(SSL_get_SSL_CTX) X(SSL_get_verify_result) X(SSL_new) X(SSL_read) X(SSL_SESSION_free)      \
  X(SSL_set1_host) X(SSL_set_ex_data) X(SSL_set_fd) X(SSL_set_session) X(SSL_write)           \
  X(TLS_client_method) X(X509_verify_cert_error_string) X(X509_VERIFY_PARAM_set1_ip_asc)      \
  X(X509_VERIFY_PARAM_set_hostflags)
// clang-format on

struct OpenSslApi {
  VOREL_OPENSSL_FUNCTIONS(VOREL_LATE_SLOT)
};

// The files the table comes from, for messages: "libssl.so.3" for the OpenSSL 3 the engine
// was built against.
const char* OpenSslFileName();

// Loads libssl and libcrypto once per process (thread-safe; later calls return the same
// answer). Null when a file or a function is missing, reported once on standard error.
const OpenSslApi* LoadOpenSsl();

// The loaded table. Only valid once LoadOpenSsl() has returned non-null; every channel that
// carries a TLS session comes after that.
const OpenSslApi& OpenSsl();

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_OPENSSL_API_H_
