#ifndef VOREL_DOWNLOAD_FILE_NAME_H_
#define VOREL_DOWNLOAD_FILE_NAME_H_

// Making a name that comes from outside (a song title, a server's file name) safe to use as a
// file name inside a given folder. Thread-safe (pure).

#include <string_view>

#include "runtime/text.h"

namespace vorel::download {

// "/" and control bytes become "_", leading dots are dropped, and the name is cut to 255 bytes
// of its file-system (UTF-8) form on a character boundary. An empty result becomes "download".
//   SafeFileName("../AC/DC") == "_AC_DC"
runtime::Text SafeFileName(std::string_view name);

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_FILE_NAME_H_
