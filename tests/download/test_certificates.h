#ifndef VOREL_TESTS_DOWNLOAD_TEST_CERTIFICATES_H_
#define VOREL_TESTS_DOWNLOAD_TEST_CERTIFICATES_H_

// Certificates for the https tests, made once per test program with the openssl command in a
// temporary folder: a certificate authority the tests trust (through SSL_CERT_FILE, which
// OpenSSL's default verify paths honour), a server certificate it signed for 127.0.0.1 and
// localhost, one it signed for another name only, and a self-signed one nobody trusts.

#include <string>

namespace vorel::download::testing {

struct CertificateFiles {
  std::string authority;  // PEM of the trusted authority
  std::string trusted_certificate, trusted_key;
  std::string other_name_certificate, other_name_key;
  std::string self_signed_certificate, self_signed_key;
};

// The files; fails the calling test (and returns empty names) when openssl is missing.
const CertificateFiles& TestCertificates();

}  // namespace vorel::download::testing

#endif  // VOREL_TESTS_DOWNLOAD_TEST_CERTIFICATES_H_
