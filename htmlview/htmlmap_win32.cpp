#include <windows.h>

#include "htmlmap.h"

namespace htmlun2 {

TRegion MakeRectRegion(int left, int top, int right, int bottom) {
  RECT r{left, top, right, bottom};
  return CreateRectRgnIndirect(&r);
}

TRegion MakeEllipseRegion(int left, int top, int right, int bottom) {
  RECT r{left, top, right, bottom};
  return CreateEllipticRgnIndirect(&r);
}

TRegion MakePolygonRegion(const std::vector<std::pair<int, int>>& points) {
  std::vector<POINT> p;
  for (const auto& q : points) p.push_back(POINT{q.first, q.second});
  return CreatePolygonRgn(p.data(), int(p.size()), WINDING);
}

bool RegionHolds(TRegion region, int x, int y) { return region && PtInRegion(static_cast<HRGN>(region), x, y); }

void FreeRegion(TRegion region) {
  if (region) DeleteObject(static_cast<HRGN>(region));
}

}  // namespace htmlun2
