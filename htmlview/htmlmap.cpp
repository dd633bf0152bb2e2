#include "htmlmap.h"

#include <climits>
#include <cstdint>

namespace htmlun2 {

namespace {

const size_t MaxCoords = 201;

// A decimal number with an optional sign; anything else, or a value past
// 32 bits, is 0.
int ToInt(const std::string& s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (i == s.size()) return 0;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t(INT_MAX) + 1) return 0;
  }
  if (negative) v = -v;
  return v < INT_MIN || v > INT_MAX ? 0 : int(v);
}

int Clamp(int64_t v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : int(v); }

std::string Text(const TAttributeList& attrs, TAttrKind kind) {
  TAttribute* a = nullptr;
  return attrs.Find(kind, a) ? a->Name : std::string();
}

}  // namespace

std::vector<int> ParseCoords(const std::string& coords) {
  std::vector<int> out;
  size_t start = 0;
  while (out.size() < MaxCoords && start <= coords.size()) {
    size_t comma = coords.find(',', start);
    std::string piece = Trim(coords.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (piece.empty()) break;
    out.push_back(ToInt(piece));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

TAreaShape AreaShape(const std::string& shape) {
  std::string s = LowerCase(shape.substr(0, 4));
  if (s == "circ") return asCircle;
  if (s == "poly") return asPoly;
  return asRect;
}

TMapItem::TMapItem() = default;

TMapItem::~TMapItem() {
  for (int i = 0; i < Areas.Count(); ++i) FreeRegion(Region(i));
}

void TMapItem::AddArea(const TAttributeList& attrs, const TAreaKinds& kinds) {
  // NOHREF is not looked at: an area without HREF already gives no link.
  std::string href = Text(attrs, kinds.Href);
  std::string target = Text(attrs, kinds.Target);
  std::vector<int> n = ParseCoords(Text(attrs, kinds.Coords));
  TAreaShape shape = AreaShape(Text(attrs, kinds.Shape));
  TRegion region = nullptr;
  switch (shape) {
    case asRect:
      if (n.size() >= 4) region = MakeRectRegion(n[0], n[1], Clamp(int64_t(n[2]) + 1), Clamp(int64_t(n[3]) + 1));
      break;
    case asCircle:
      if (n.size() >= 3) {
        int64_t x = n[0], y = n[1], r = n[2];
        region = MakeEllipseRegion(Clamp(x - r), Clamp(y - r), Clamp(x - r + 2 * r + 1), Clamp(y - r + 2 * r + 1));
      }
      break;
    case asPoly:
      if (n.size() >= 6) {
        std::vector<std::pair<int, int>> points;
        for (size_t i = 0; i + 1 < n.size(); i += 2) points.emplace_back(n[i], n[i + 1]);
        region = MakePolygonRegion(points);
      }
      break;
  }
  if (!region) return;
  Areas.AddObject(href, reinterpret_cast<TObject*>(region));
  AreaTargets.Add(target);
}

bool TMapItem::GetURL(int x, int y, TUrlTarget*& urlTarget) const {
  for (int i = 0; i < Areas.Count(); ++i) {
    if (!RegionHolds(Region(i), x, y)) continue;
    if (Areas[i].empty()) return false;
    urlTarget = new TUrlTarget;
    urlTarget->Assign(Areas[i], AreaTargets[i]);
    return true;
  }
  return false;
}

}  // namespace htmlun2
