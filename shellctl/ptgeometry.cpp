#include "ptgeometry.h"

namespace ptgeom {

int ClampSplitPosition(int value, int min1, int min2, int extent) {
  if (value < min1) return min1;
  if (value > extent - min2) return extent - min2;
  return value;
}

int ProportionalPosition(int extent, float ratio) {
  double v = static_cast<double>(extent) * static_cast<double>(ratio);
  // A ratio from outside (a stored form) may be anything; keep the cast defined.
  if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
  return static_cast<int>(v);
}

bool StoreRatio(float& ratio, int position, int extent) {
  if (extent <= 0) return false;
  ratio = static_cast<float>(position) / static_cast<float>(extent);
  return true;
}

int ClampDragCoord(int c, int offset, int min1, int min2, int extent) {
  if (c - offset < min1) return min1 + offset;
  if (c - offset > extent - min2) return extent - min2 + offset;
  return c;
}

namespace {

struct Placer {
  int x, y, w, h, sw, sh;
  int depth = 0;

  BalloonPlace Try(THintDirection d) {
    ++depth;
    if (depth > 10) throw EStackOverflow("Too deep");
    BalloonPlace p{d, 0, 0};
    switch (d) {
      case hdUpRight:
        if (sw < x + w) p = Try(hdUpLeft);
        else if (y - 5 - h < 0) p = Try(hdDownRight);
        else p = {d, x, y - 5 - h};
        break;
      case hdUpLeft:
        if (x + 6 - w < 0) p = Try(hdUpRight);
        else if (y - 5 - h < 0) p = Try(hdDownLeft);
        else p = {d, x + 6 - w, y - 5 - h};
        break;
      case hdDownRight:
        if (sw < x + w) p = Try(hdDownLeft);
        else if (sh < y + 15 + h) p = Try(hdUpRight);
        else p = {d, x, y + 15};
        break;
      case hdDownLeft:
        if (x + 6 - w < 0) p = Try(hdDownRight);
        else if (sh < y + 15 + h) p = Try(hdUpLeft);
        else p = {d, x + 6 - w, y + 15};
        break;
    }
    --depth;
    return p;
  }
};

}  // namespace

BalloonPlace PlaceBalloon(THintDirection preferred, int x, int y, int w, int h, int screenW, int screenH) {
  Placer p{x, y, w, h, screenW, screenH};
  return p.Try(preferred);
}

BalloonShape BalloonGeometry(THintDirection d, int W, int H) {
  BalloonShape s{};
  switch (d) {
    case hdUpRight:
      s.Box = {0, 0, W - 6, H - 14};
      s.Base1 = {10, H - 15}, s.Base2 = {20, H - 15}, s.Tip = {0, H};
      s.Shadow[0] = {12, H - 15}, s.Shadow[1] = {25, H - 15}, s.Shadow[2] = {12, H};
      break;
    case hdUpLeft:
      s.Box = {0, 0, W - 6, H - 14};
      s.Base1 = {W - 26, H - 15}, s.Base2 = {W - 16, H - 15}, s.Tip = {W - 6, H};
      s.Shadow[0] = {W - 33, H - 15}, s.Shadow[1] = {W - 11, H - 15}, s.Shadow[2] = {W - 6, H};
      break;
    case hdDownRight:
      s.Box = {0, 15, W - 6, H - 8};
      s.Base1 = {10, 15}, s.Base2 = {20, 15}, s.Tip = {0, 0};
      break;
    case hdDownLeft:
      s.Box = {0, 15, W - 6, H - 8};
      s.Base1 = {W - 26, 15}, s.Base2 = {W - 16, 15}, s.Tip = {W - 6, 0};
      break;
  }
  bool up = IsUpDirection(d);
  s.HasPointerShadow = up;
  if (up) {
    s.ShadowBox = {10, 8, W, H - 9};
    s.Strip1 = {W - 14, 8, W, H - 14};
    s.Strip2 = {10, H - 14, W, H - 9};
  } else {
    s.ShadowBox = {10, 23, W, H - 2};
    s.Strip1 = {W - 14, 23, W, H - 8};
    s.Strip2 = {10, H - 8, W, H - 2};
  }
  s.TextLeft = 8;
  s.TextTop = up ? 3 : 18;
  return s;
}

}  // namespace ptgeom
