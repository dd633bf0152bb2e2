// Client-side image maps: the areas of a MAP with their regions, and the
// link under a point of the picture.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "classes.h"
#include "htmlattrs.h"
#include "htmlutil.h"

namespace htmlun2 {

// An area's region: an HRGN on Windows, a shape record of our own elsewhere.
using TRegion = void*;

// The attribute kinds AddArea reads, as the scanner numbers them.
struct TAreaKinds {
  TAttrKind Href, Target, Coords, Shape;
};

enum TAreaShape { asRect, asCircle, asPoly };

// COORDS split at commas, each piece trimmed and read as a number (0 when
// it is not one, as attribute numbers are); at most 201 numbers, ending at
// the first empty piece.
std::vector<int> ParseCoords(const std::string& coords);
// SHAPE by its first four letters in any case: "circ", "poly", else rectangle.
TAreaShape AreaShape(const std::string& shape);

class TMapItem : public TObject {
 public:
  TMapItem();
  ~TMapItem() override;
  std::string MapName;
  // HREF per area (empty without one), the area's region as its object.
  TStringList Areas;
  // TARGET per area.
  TStringList AreaTargets;
  // Adds the area an AREA tag describes; one with too few numbers for its
  // shape is dropped.
  void AddArea(const TAttributeList& attrs, const TAreaKinds& kinds);
  // The link of the first area holding the point: a new TUrlTarget the
  // caller owns, and true; false when that area has no HREF or none holds it.
  bool GetURL(int x, int y, TUrlTarget*& urlTarget) const;
  TRegion Region(int index) const { return reinterpret_cast<TRegion>(Areas.Objects(index)); }
};

// The region seam (htmlmap_win32.cpp, htmlmap_posix.cpp).  Corners are given
// as GDI takes them: right and bottom outside the shape.
TRegion MakeRectRegion(int left, int top, int right, int bottom);
TRegion MakeEllipseRegion(int left, int top, int right, int bottom);
TRegion MakePolygonRegion(const std::vector<std::pair<int, int>>& points);
bool RegionHolds(TRegion region, int x, int y);
void FreeRegion(TRegion region);

}  // namespace htmlun2
