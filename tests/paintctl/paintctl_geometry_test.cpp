// The arithmetic behind the splitter, the balloon hint, the backdrop and
// the rotated label.
#include <gtest/gtest.h>

#include <cmath>

#include "paintgeometry.h"
#include "ptgeometry.h"

using namespace ptgeom;

TEST(SplitterGeometry, PositionsAreClampedToThePaneMinimums) {
  EXPECT_EQ(ClampSplitPosition(10, 240, 24, 400), 240);
  EXPECT_EQ(ClampSplitPosition(1000, 240, 24, 400), 376);
  EXPECT_EQ(ClampSplitPosition(300, 240, 24, 400), 300);
  // Pane 1's minimum wins when both cannot be met.
  EXPECT_EQ(ClampSplitPosition(10, 240, 24, 100), 240);
  // The drag coordinate keeps the grab offset.
  EXPECT_EQ(ClampDragCoord(5, 2, 20, 20, 200), 22);
  EXPECT_EQ(ClampDragCoord(500, 2, 20, 20, 200), 182);
  EXPECT_EQ(ClampDragCoord(100, 2, 20, 20, 200), 100);
}

TEST(SplitterGeometry, ProportionalResizeAndTheRatioOfAnUnsizedSplitter) {
  float ratio = 65.0f / 200.0f;
  ASSERT_TRUE(StoreRatio(ratio, 100, 400));
  EXPECT_EQ(ProportionalPosition(200, ratio), 50);
  EXPECT_EQ(ProportionalPosition(300, ratio), 75);
  // An extent of 0 keeps the previous ratio instead of dividing by zero.
  EXPECT_FALSE(StoreRatio(ratio, 100, 0));
  EXPECT_TRUE(std::isfinite(ratio));
  EXPECT_EQ(ProportionalPosition(200, ratio), 50);
  EXPECT_FALSE(StoreRatio(ratio, 100, -5));
  // A ratio that is not finite does not become an undefined integer.
  EXPECT_EQ(ProportionalPosition(200, INFINITY), 0);
  EXPECT_EQ(ProportionalPosition(200, NAN), 0);
}

TEST(BalloonGeometry, PlacementFollowsTheTable) {
  const int sw = 800, sh = 600;
  BalloonPlace p = PlaceBalloon(hdUpRight, 300, 300, 100, 40, sw, sh);
  EXPECT_EQ(p.Direction, hdUpRight);
  EXPECT_EQ(p.Left, 300);
  EXPECT_EQ(p.Top, 300 - 5 - 40);
  // Near the right edge: up-left of the mouse.
  p = PlaceBalloon(hdUpRight, 750, 300, 100, 40, sw, sh);
  EXPECT_EQ(p.Direction, hdUpLeft);
  EXPECT_EQ(p.Left, 750 + 6 - 100);
  EXPECT_EQ(p.Top, 255);
  // Near the top: down-left, its top 15 below the mouse.
  p = PlaceBalloon(hdUpLeft, 300, 10, 100, 40, sw, sh);
  EXPECT_EQ(p.Direction, hdDownLeft);
  EXPECT_EQ(p.Top, 25);
  EXPECT_EQ(p.Left, 206);
  // Bottom right corner: up-left.
  p = PlaceBalloon(hdDownRight, 790, 590, 100, 40, sw, sh);
  EXPECT_EQ(p.Direction, hdUpLeft);
  // Larger than the screen both ways: no endless cycling.
  try {
    PlaceBalloon(hdUpRight, 400, 300, 900, 700, sw, sh);
    FAIL() << "no exception";
  } catch (const EStackOverflow& e) {
    EXPECT_STREQ(e.what(), "Too deep");
  }
}

TEST(BalloonGeometry, ShapeOfUpAndDownBalloons) {
  BalloonShape up = BalloonGeometry(hdUpRight, 116, 60);
  EXPECT_EQ(up.Box.Right, 110);
  EXPECT_EQ(up.Box.Bottom, 46);
  EXPECT_EQ(up.Tip.X, 0);
  EXPECT_EQ(up.Tip.Y, 60);
  EXPECT_TRUE(up.HasPointerShadow);
  EXPECT_EQ(up.ShadowBox.Top, 8);
  EXPECT_EQ(up.Strip2.Top, 46);
  EXPECT_EQ(up.TextTop, 3);
  BalloonShape down = BalloonGeometry(hdDownLeft, 116, 69);
  EXPECT_EQ(down.Box.Top, 15);
  EXPECT_EQ(down.Tip.X, 110);
  EXPECT_EQ(down.Tip.Y, 0);
  EXPECT_FALSE(down.HasPointerShadow);
  EXPECT_EQ(down.ShadowBox.Bottom, 67);
  EXPECT_EQ(down.TextTop, 18);
  EXPECT_EQ(BalloonHeight(40, hdDownLeft), 69);
  EXPECT_EQ(BalloonHeight(40, hdUpLeft), 60);
  EXPECT_TRUE(IsShadowDot(2, 4));
  EXPECT_FALSE(IsShadowDot(2, 3));
}

TEST(BackdropGeometry, BandsCoverTheControlFromEdgeToEdge) {
  using namespace paintgeom;
  for (int S : {256, 100}) {
    std::vector<Band> b = GradientBands(bdUp, 0xFF0000, 0, S);
    ASSERT_EQ(b.size(), 256u);
    EXPECT_EQ(b.front().Color, 0xFF0000u);
    EXPECT_EQ(b.back().Color, 0u);
    EXPECT_EQ(b.front().From, 0);
    EXPECT_EQ(b.back().To, S);
    for (size_t i = 1; i < b.size(); ++i) EXPECT_EQ(b[i].From, b[i - 1].To);
  }
  std::vector<Band> b = GradientBands(bdUp, 0xFF0000, 0, 256);
  EXPECT_EQ(b[128].Color, 0x7F0000u);  // 255 - MulDiv(128, 255, 255)
  EXPECT_EQ(b[10].From, 10);
  // Down swaps the colours.
  b = GradientBands(bdDown, 0xFF0000, 0x0000FF, 100);
  EXPECT_EQ(b.front().Color, 0x0000FFu);
  EXPECT_EQ(b.back().Color, 0xFF0000u);
  // Mirrored: both edges in the first colour, the middle in the second.
  b = GradientBands(bdHorzOut, 0xFF0000, 0, 100);
  ASSERT_EQ(b.size(), 128u);
  EXPECT_EQ(b.front().Color, 0xFF0000u);
  EXPECT_EQ(b.front().From, 0);
  EXPECT_EQ(b.front().MirrorTo, 100);
  EXPECT_EQ(b.back().Color, 0u);
  EXPECT_EQ(b.back().To, 50);
  EXPECT_EQ(b.back().MirrorFrom, 50);
  EXPECT_TRUE(BandsRunDown(bdHorzOut));
  EXPECT_FALSE(BandsRunDown(bdVertIn));
}

TEST(LabelGeometry, OriginAndBackgroundFollowTheAngle) {
  using namespace paintgeom;
  EXPECT_EQ(NormalizeAngle(360), 0);
  EXPECT_EQ(NormalizeAngle(-1), 0);
  EXPECT_EQ(NormalizeAngle(359), 359);
  IPoint o = RotatedTextOrigin(0, 40, 10, 100, 50);
  EXPECT_EQ(o.X, 30);
  EXPECT_EQ(o.Y, 20);
  // At 90 degrees the text runs upwards from the bottom of the centre.
  o = RotatedTextOrigin(90, 40, 10, 100, 50);
  EXPECT_EQ(o.X, 45);
  EXPECT_EQ(o.Y, 45);
  auto c = RotatedBackground(0, 40, 10, 100, 50);
  EXPECT_EQ(c[0].X, 25);
  EXPECT_EQ(c[0].Y, 17);
  EXPECT_EQ(c[2].X, 75);
  EXPECT_EQ(c[2].Y, 33);
  c = RotatedBackground(90, 40, 10, 100, 50);
  // 25 wide by 8 high halves turned: the rectangle stands upright.
  EXPECT_EQ(c[0].X, 50 - 8);
  EXPECT_EQ(c[0].Y, 25 + 25);
  EXPECT_EQ(c[2].X, 50 + 8);
  EXPECT_EQ(c[2].Y, 25 - 25);
}
