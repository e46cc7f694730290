#include "download/internal/openssl_api.h"

#include <openssl/opensslv.h>

namespace vorel::download::internal {

#define VOREL_STRINGIFY_(x) #x
#define VOREL_STRINGIFY(x) VOREL_STRINGIFY_(x)

const char* OpenSslFileName() { return "libssl.so." VOREL_STRINGIFY(OPENSSL_SHLIB_VERSION); }

const OpenSslApi* LoadOpenSsl() {
  // libssl's own dependency, named so that its functions resolve from it without relying on
  // how the dynamic linker searches a handle's dependencies.
  static const OpenSslApi* const api = platform::LoadFunctionTable<OpenSslApi>(
      {OpenSslFileName(), "libcrypto.so." VOREL_STRINGIFY(OPENSSL_SHLIB_VERSION)}, "vorel: no TLS",
      [](platform::LateLibrary& library, OpenSslApi& table) {
        VOREL_OPENSSL_FUNCTIONS(VOREL_LATE_RESOLVE)
      });
  return api;
}

const OpenSslApi& OpenSsl() { return *LoadOpenSsl(); }

}  // namespace vorel::download::internal
