#ifndef VOREL_DOWNLOAD_TRANSFER_ADDRESS_H_
#define VOREL_DOWNLOAD_TRANSFER_ADDRESS_H_

// Splitting a transfer address into kind, host part, port and path. Thread-safe (pure).

#include <cstdint>

#include "runtime/text.h"

namespace vorel::download {

enum AddressKind : std::int32_t { kNoKind = 0, kHttp = 1, kFtp = 2, kMms = 3, kRtsp = 4 };

struct TransferAddress {
  AddressKind kind = kNoKind;
  bool secure = false;  // https: kind kHttp over TLS
  int port = 0;
  runtime::Text host;  // as written: may carry ":port" (and "user@" for FTP, never for HTTP)
  runtime::Text path;  // from the first "/" after the host on; empty when there is none
};

// The scheme is recognised case-insensitively (http:// 80, https:// 443 with `secure` set,
// ftp:// 21, mms:// and mmst:// 1755,
// rtsp:// 554); anything else gives kind kNoKind. An address without a "/" after the host gives
// an empty host and path, which no transfer can start from. A port that is not a number from 1
// to 65535, or a host part holding a space, a control byte, "?" or "#", also gives an empty
// host. In an http(s) address a user name (with its password)
// before the last "@" of the host part is dropped.
TransferAddress ParseTransferAddress(const runtime::Text& address);

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_TRANSFER_ADDRESS_H_
