// A ribbon that sweeps along a wave and fades towards its tail, over a night-blue sky: what the modifier
// makes of a moving shape, drawn in a few lines.
#include "plugin/AboutPicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

unsigned char Channel(double v) { return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

std::vector<unsigned char> DrawPicture() {
  const int w = kAboutPictureWidth, h = kAboutPictureHeight;
  std::vector<unsigned char> px(size_t(w) * size_t(h) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = double(x) / (w - 1);  // 0 at the tail, 1 at the head of the wake
      const double v = double(y) / (h - 1);
      double r = 0.03 + 0.05 * u, g = 0.06 + 0.10 * u, b = 0.18 + 0.22 * (1.0 - v);
      // Three copies of the ribbon, lagging behind each other, each thinner and fainter towards the tail.
      for (int copy = 0; copy < 3; ++copy) {
        const double lag = 0.18 * copy;
        const double centre = 0.5 + 0.32 * std::sin(2.0 * M_PI * (1.4 * u - lag)) * (0.4 + 0.6 * u);
        const double half = 0.02 + 0.09 * u;
        const double d = std::fabs(v - centre) / half;
        if (d < 1.0) {
          const double a = (1.0 - d * d) * u * (1.0 - 0.3 * copy);
          r += a * 0.85;
          g += a * 0.95;
          b += a * 1.00;
        }
      }
      unsigned char* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
      p[0] = Channel(r);
      p[1] = Channel(g);
      p[2] = Channel(b);
      p[3] = 255;
    }
  }
  return px;
}

}  // namespace

const unsigned char* AboutPicturePixels() {
  static const std::vector<unsigned char> pixels = DrawPicture();
  return pixels.data();
}
