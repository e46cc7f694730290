#include "download/transfer_address.h"

#include <cstddef>
#include <string_view>

namespace vorel::download {
namespace {

struct Scheme {
  char first;
  int sum;     // of the character codes after the first one
  int length;  // of the whole scheme with "://"
  AddressKind kind;
  int port;
};

// The scheme test compares the first character and the sum of the codes that follow, on a
// lower-case copy, so "HTTP://" is recognised as well.
constexpr Scheme kSchemes[] = {
    {'h', 496, 7, kHttp, 80},  {'f', 380, 6, kFtp, 21},   {'m', 376, 6, kMms, 1755},
    {'m', 492, 7, kMms, 1755}, {'r', 495, 7, kRtsp, 554},
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Digits only, 1..65535; 0 otherwise.
int ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return 0;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

const Scheme* RecogniseScheme(std::string_view address) {
  if (address.empty()) return nullptr;
  for (const Scheme& scheme : kSchemes) {
    if (address.size() < static_cast<std::size_t>(scheme.length)) continue;
    if (LowerAscii(address[0]) != scheme.first) continue;
    int sum = 0;
    for (int i = 1; i < scheme.length; ++i) {
      sum += static_cast<unsigned char>(LowerAscii(address[i]));
    }
    if (sum == scheme.sum) return &scheme;
  }
  return nullptr;
}

constexpr std::string_view kHttps = "https://";

bool IsHttps(std::string_view address) {
  if (address.size() < kHttps.size()) return false;
  for (std::size_t i = 0; i < kHttps.size(); ++i) {
    if (LowerAscii(address[i]) != kHttps[i]) return false;
  }
  return true;
}

}  // namespace

TransferAddress ParseTransferAddress(const runtime::Text& address) {
  TransferAddress result;
  std::size_t scheme_length;
  if (IsHttps(address)) {
    result.kind = kHttp;
    result.secure = true;
    result.port = 443;
    scheme_length = kHttps.size();
  } else {
    const Scheme* scheme = RecogniseScheme(address);
    if (scheme == nullptr) return result;
    result.kind = scheme->kind;
    result.port = scheme->port;
    scheme_length = static_cast<std::size_t>(scheme->length);
  }

  std::string_view rest = std::string_view(address).substr(scheme_length);
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash == 0) return result;
  std::string_view host = rest.substr(0, slash);
  // Control bytes or spaces in the host part would end up in the Host line of the request; a
  // "?" or "#" there ends the host in any other reader's eyes (a query without a path).
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '?' || c == '#') return result;
  }

  std::size_t at = host.rfind('@');
  if (at != std::string_view::npos && result.kind == kHttp) {
    // A user name (and password) has no place in the Host line of an HTTP request, where it
    // would name a host that does not exist and tell the password to every proxy on the way.
    host.remove_prefix(at + 1);
    at = std::string_view::npos;
    if (host.empty()) return result;
  }
  std::size_t colon = host.find(':', at == std::string_view::npos ? 0 : at);
  if (colon != std::string_view::npos) {
    int port = ParsePort(host.substr(colon + 1));
    if (port == 0) return result;
    result.port = port;
  }
  result.host.assign(host);
  result.path.assign(rest.substr(slash));
  return result;
}

}  // namespace vorel::download
