#include "player/spectrum.h"

#include <cmath>

namespace vorel::player {

std::vector<SpectrumRect> SpectrumRects(const float bands[128], int width, int height) {
  std::vector<SpectrumRect> rects;
  constexpr double kEpsilon = 1e-7;  // float comparisons treat tiny differences as equal
  int band = 0;
  for (int x = 1; x <= width && band < 128; x += 5, ++band) {
    double v = std::trunc(static_cast<double>(bands[band]) * height * 10);
    double b, c;
    if (v > kEpsilon) {
      b = v;
      c = 0;
      if (b > height - 2 + kEpsilon) {
        b = height - 2;
        c = height;
      }
      if (b > c + 2 + kEpsilon) c = b + 2;
    } else {
      b = 1;
      c = -1;
    }
    rects.push_back({x, height - static_cast<int>(b), 4, height});
    if (c > 2 + kEpsilon) rects.push_back({x, height - static_cast<int>(c), 4, 1});
  }
  return rects;
}

}  // namespace vorel::player
