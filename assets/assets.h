#ifndef VOREL_ASSETS_ASSETS_H_
#define VOREL_ASSETS_ASSETS_H_

// The program's own pictures, drawn at build time by assets/make_assets.cc and embedded.

#include <cstddef>
#include <span>

namespace vorel::assets {

extern const unsigned char kTrayIcon[];  // 32 x 32 PNG
extern const std::size_t kTrayIconSize;
extern const unsigned char kDefaultCover[];  // 200 x 200 PNG
extern const std::size_t kDefaultCoverSize;
extern const unsigned char kCursor[];  // cursor file, 32 x 32, hot spot (9, 5)
extern const std::size_t kCursorSize;

inline std::span<const unsigned char> TrayIcon() { return {kTrayIcon, kTrayIconSize}; }
inline std::span<const unsigned char> DefaultCover() { return {kDefaultCover, kDefaultCoverSize}; }

}  // namespace vorel::assets

#endif  // VOREL_ASSETS_ASSETS_H_
