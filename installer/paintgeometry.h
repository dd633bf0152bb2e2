// Arithmetic of the setup window's painted controls: the backdrop's
// gradient bands and the rotated label's text origin and rectangle.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace paintgeom {

enum TDirection { bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut };

struct Band {
  uint32_t Color;      // 0x00BBGGRR
  int From, To;        // along the gradient: [From, To)
  bool Mirrored;       // also fills [MirrorFrom, MirrorTo)
  int MirrorFrom, MirrorTo;
};

// Whether the bands run top to bottom (else left to right).
bool BandsRunDown(TDirection d);

// The bands of a gradient over extent S (height or width) from the plain
// colours start and end (no system colours).
std::vector<Band> GradientBands(TDirection d, uint32_t start, uint32_t end, int S);

// Angles outside 0..359 become 0.
inline int NormalizeAngle(int a) { return (a < 0 || a > 359) ? 0 : a; }

struct IPoint {
  int X, Y;
};

// Where text of w x h is drawn, rotated by angle degrees counter-clockwise
// about the centre of a W x H control.
IPoint RotatedTextOrigin(int angle, int w, int h, int W, int H);

// The corners (top-left, top-right, bottom-right, bottom-left in the
// text's frame) of the rectangle of w + 10 by h + 7 behind rotated text.
std::array<IPoint, 4> RotatedBackground(int angle, int w, int h, int W, int H);

}  // namespace paintgeom
