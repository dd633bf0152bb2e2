// Arithmetic of the painted controls around the shell pickers: the
// splitter's positions and the speech-balloon hint's placement and shape.
// Kept free of the platform so it can be checked natively.
#pragma once

#include "sysutils.h"

MORVANE_EXCEPTION(EStackOverflow, Exception);

namespace ptgeom {

// A first pane's extent: below min1 it becomes min1, otherwise above
// extent - min2 it becomes that bound.
int ClampSplitPosition(int value, int min1, int min2, int extent);

// The position a proportional splitter takes after a resize.
int ProportionalPosition(int extent, float ratio);

// Stores position / extent in ratio unless extent is not above 0 (a
// splitter not sized yet, a minimised window), where the quotient would be
// infinite or undefined and poison the next resize. Returns whether stored.
bool StoreRatio(float& ratio, int position, int extent);

// A drag coordinate c with the grab offset: keeps c - offset between min1
// and extent - min2.
int ClampDragCoord(int c, int offset, int min1, int min2, int extent);

// ---------------------------------------------------------------- balloon

enum THintDirection { hdUpRight, hdUpLeft, hdDownRight, hdDownLeft };

inline bool IsUpDirection(THintDirection d) { return d == hdUpRight || d == hdUpLeft; }

struct BalloonPlace {
  THintDirection Direction;
  int Left, Top;
};

// Where a balloon of w x h goes for the mouse at (x, y) on a screen of
// screenW x screenH, trying 'preferred' first and then the table's
// neighbours. Raises EStackOverflow "Too deep" when nothing fits after
// more than ten tries.
BalloonPlace PlaceBalloon(THintDirection preferred, int x, int y, int w, int h, int screenW, int screenH);

// The window's size for a hint rectangle of w x h.
inline int BalloonWidth(int w) { return w + 16; }
inline int BalloonHeight(int h, THintDirection d) { return h + 20 + (IsUpDirection(d) ? 0 : 9); }

struct Pt {
  int X, Y;
};
struct Rc {
  int Left, Top, Right, Bottom;
};

// The shape of a balloon window of W x H.
struct BalloonShape {
  Rc Box;            // rounded rectangle, 9 x 9 corners
  Pt Base1, Base2, Tip;
  bool HasPointerShadow;
  Pt Shadow[3];      // the pointer's shadow triangle (up directions)
  Rc ShadowBox;      // rounded region, 8 x 8 corners
  Rc Strip1, Strip2; // the dotted parts of the shadow box
  int TextLeft, TextTop;
};
BalloonShape BalloonGeometry(THintDirection d, int W, int H);

// The dotting of the shadows: pixels whose x and y have equal parity.
inline bool IsShadowDot(int x, int y) { return ((x ^ y) & 1) == 0; }

}  // namespace ptgeom
