// Regions without GDI: the shape itself, tested by arithmetic (edges may
// differ from GDI's rasterisation by a pixel).
#include <cstdint>

#include "htmlmap.h"

namespace htmlun2 {

namespace {

struct Shape {
  TAreaShape kind;
  int64_t left, top, right, bottom;
  std::vector<std::pair<int, int>> points;
};

}  // namespace

TRegion MakeRectRegion(int left, int top, int right, int bottom) {
  return new Shape{asRect, left, top, right, bottom, {}};
}

TRegion MakeEllipseRegion(int left, int top, int right, int bottom) {
  return new Shape{asCircle, left, top, right, bottom, {}};
}

TRegion MakePolygonRegion(const std::vector<std::pair<int, int>>& points) {
  return new Shape{asPoly, 0, 0, 0, 0, points};
}

bool RegionHolds(TRegion region, int x, int y) {
  const Shape* s = static_cast<const Shape*>(region);
  if (!s) return false;
  switch (s->kind) {
    case asRect:
      return x >= s->left && x < s->right && y >= s->top && y < s->bottom;
    case asCircle: {
      // Doubled coordinates keep the centre of an even box exact.
      double a = double(s->right - s->left), b = double(s->bottom - s->top);
      if (a <= 0 || b <= 0) return false;
      double dx = 2.0 * x + 1 - double(s->left + s->right), dy = 2.0 * y + 1 - double(s->top + s->bottom);
      return dx * dx / (a * a) + dy * dy / (b * b) <= 1.0;
    }
    case asPoly: {
      // Winding number of the pixel centre.
      int wn = 0;
      double px = x + 0.5, py = y + 0.5;
      size_t n = s->points.size();
      for (size_t i = 0; i < n; ++i) {
        double x0 = s->points[i].first, y0 = s->points[i].second;
        double x1 = s->points[(i + 1) % n].first, y1 = s->points[(i + 1) % n].second;
        double side = (x1 - x0) * (py - y0) - (px - x0) * (y1 - y0);
        if (y0 <= py) {
          if (y1 > py && side > 0) ++wn;
        } else if (y1 <= py && side < 0) {
          --wn;
        }
      }
      return wn != 0;
    }
  }
  return false;
}

void FreeRegion(TRegion region) { delete static_cast<Shape*>(region); }

}  // namespace htmlun2
