#ifndef VOREL_PLAYER_SPECTRUM_H_
#define VOREL_PLAYER_SPECTRUM_H_

// The geometry of the spectrum display: one 4-pixel bar every 5 pixels, its height from the
// band's magnitude, and a 1-pixel cap above it. Pure computation; thread-safe.

#include <vector>

namespace vorel::player {

struct SpectrumRect {
  int left, top, width, height;
};

// Rectangles to fill, bars and caps in drawing order, for a panel of width x height pixels and
// the 128 band magnitudes (lowest first).
std::vector<SpectrumRect> SpectrumRects(const float bands[128], int width, int height);

}  // namespace vorel::player

#endif  // VOREL_PLAYER_SPECTRUM_H_
