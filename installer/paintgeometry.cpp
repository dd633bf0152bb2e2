#include "paintgeometry.h"

#include <cmath>

#include "sysutils.h"

namespace paintgeom {

const double kPi = 3.14159265358979323846;

bool BandsRunDown(TDirection d) {
  return d == bdUp || d == bdDown || d == bdHorzIn || d == bdHorzOut;
}

std::vector<Band> GradientBands(TDirection d, uint32_t start, uint32_t end, int S) {
  bool swap = d == bdDown || d == bdRight || d == bdHorzIn || d == bdVertOut;
  bool mirrored = d == bdHorzIn || d == bdHorzOut || d == bdVertIn || d == bdVertOut;
  uint32_t first = swap ? end : start, second = swap ? start : end;
  int D = mirrored ? 127 : 255;
  std::vector<Band> bands;
  bands.reserve(static_cast<size_t>(D) + 1);
  for (int n = 0; n <= D; ++n) {
    uint32_t color = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      int a = static_cast<int>((first >> shift) & 0xFF), b = static_cast<int>((second >> shift) & 0xFF);
      uint32_t ch = static_cast<uint8_t>(a + MulDiv(n, b - a, D));
      color |= ch << shift;
    }
    Band band{color, MulDiv(n, S, 256), MulDiv(n + 1, S, 256), mirrored, 0, 0};
    if (mirrored) {
      band.MirrorFrom = MulDiv(255 - n, S, 256);
      band.MirrorTo = MulDiv(256 - n, S, 256);
    }
    bands.push_back(band);
  }
  return bands;
}

namespace {

// A point (u, v) of the text's frame, relative to the centre, on the control.
IPoint Rotate(double c, double s, double u, double v, int cx, int cy) {
  return IPoint{cx + static_cast<int>(std::trunc(u * c)) + static_cast<int>(std::trunc(v * s)),
                cy - static_cast<int>(std::trunc(u * s)) + static_cast<int>(std::trunc(v * c))};
}

}  // namespace

IPoint RotatedTextOrigin(int angle, int w, int h, int W, int H) {
  double r = angle * kPi / 180.0;
  double c = std::cos(r), s = std::sin(r);
  int x = W / 2 - static_cast<int>(std::trunc(w / 2.0 * c)) - static_cast<int>(std::trunc(h / 2.0 * s));
  int y = static_cast<int>(std::trunc(w / 2.0 * s)) + H / 2 - static_cast<int>(std::trunc(h / 2.0 * c));
  return IPoint{x, y};
}

std::array<IPoint, 4> RotatedBackground(int angle, int w, int h, int W, int H) {
  double r = angle * kPi / 180.0;
  double c = std::cos(r), s = std::sin(r);
  double hw = (w + 10) / 2.0, hh = (h + 7) / 2.0;
  int cx = W / 2, cy = H / 2;
  return {Rotate(c, s, -hw, -hh, cx, cy), Rotate(c, s, hw, -hh, cx, cy), Rotate(c, s, hw, hh, cx, cy),
          Rotate(c, s, -hw, hh, cx, cy)};
}

}  // namespace paintgeom
