#include "tests/download/test_certificates.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>

#include "tests/testing/process.h"

namespace vorel::download::testing {
namespace {

bool Run(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

CertificateFiles Make() {
  const std::string dir = vorel::testing::ProcessTempFolder();
  CertificateFiles f;
  f.authority = dir + "/authority.pem";
  f.trusted_certificate = dir + "/trusted.pem";
  f.trusted_key = dir + "/trusted.key";
  f.other_name_certificate = dir + "/other.pem";
  f.other_name_key = dir + "/other.key";
  f.self_signed_certificate = dir + "/self.pem";
  f.self_signed_key = dir + "/self.key";
  const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
  const std::string req = "openssl req -x509" + key;
  const std::string signed_by = " -CA " + f.authority + " -CAkey " + dir + "/authority.key";
  bool ok = Run(req + " -keyout " + dir + "/authority.key -out " + f.authority +
                " -subj /CN=Test-Authority -addext basicConstraints=critical,CA:TRUE"
                " -addext keyUsage=critical,keyCertSign") &&
            Run(req + " -keyout " + f.trusted_key + " -out " + f.trusted_certificate + signed_by +
                " -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1") &&
            Run(req + " -keyout " + f.other_name_key + " -out " + f.other_name_certificate +
                signed_by + " -subj /CN=other.example -addext subjectAltName=DNS:other.example") &&
            Run(req + " -keyout " + f.self_signed_key + " -out " + f.self_signed_certificate +
                " -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1");
  if (!ok) return {};
  return f;
}

}  // namespace

const CertificateFiles& TestCertificates() {
  static const CertificateFiles files = Make();
  EXPECT_FALSE(files.authority.empty()) << "the openssl command could not make certificates";
  return files;
}

}  // namespace vorel::download::testing
