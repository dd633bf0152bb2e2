// Canvas drawing on a DIB-section bitmap, read back pixel by pixel.
#include <gtest/gtest.h>

#include "win/graphics.h"

namespace {

// ScanLine words are 0x00RRGGBB; TColor is 0x00BBGGRR.
TColor At(TBitmap& b, int x, int y) {
  uint32_t v = b.ScanLine(y)[x];
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

}  // namespace

TEST(Graphics, ShapesFollowTheExclusiveRightBottomRule) {
  TBitmap b(40, 30);
  TCanvas& c = b.Canvas();
  EXPECT_EQ(At(b, 0, 0), clWhite);  // a new bitmap is white

  c.Pen().SetColor(clRed);
  c.Brush().SetColor(clBlue);
  c.Rectangle(2, 3, 12, 10);
  EXPECT_EQ(At(b, 2, 3), clRed);    // border, top-left corner
  EXPECT_EQ(At(b, 11, 9), clRed);   // border, last column and row
  EXPECT_EQ(At(b, 12, 9), clWhite); // right edge excluded
  EXPECT_EQ(At(b, 11, 10), clWhite);
  EXPECT_EQ(At(b, 5, 6), clBlue);   // inside

  RECT r{20, 20, 25, 24};
  c.Brush().SetColor(clLime);
  c.FillRect(r);
  EXPECT_EQ(At(b, 20, 20), clLime);
  EXPECT_EQ(At(b, 24, 23), clLime);
  EXPECT_EQ(At(b, 25, 23), clWhite);

  c.Pen().SetColor(clNavy);
  c.MoveTo(0, 28);
  c.LineTo(10, 28);  // the end point is not drawn
  EXPECT_EQ(At(b, 0, 28), clNavy);
  EXPECT_EQ(At(b, 9, 28), clNavy);
  EXPECT_EQ(At(b, 10, 28), clWhite);
  EXPECT_EQ(c.PenPos().x, 10);

  c.SetPixel(39, 29, clYellow);
  EXPECT_EQ(c.Pixel(39, 29), clYellow);
  EXPECT_EQ(At(b, 39, 29), clYellow);
}

TEST(Graphics, EllipsePolygonRoundRectAndClearBrush) {
  TBitmap b(60, 60);
  TCanvas& c = b.Canvas();
  c.Pen().SetColor(clBlack);
  c.Brush().SetColor(clRed);
  c.Ellipse(0, 0, 20, 20);
  EXPECT_EQ(At(b, 10, 10), clRed);
  EXPECT_EQ(At(b, 0, 0), clWhite);  // corners of the bounding box stay

  c.Brush().SetColor(clGreen);
  c.Polygon({POINT{30, 0}, POINT{59, 0}, POINT{59, 29}});
  EXPECT_EQ(At(b, 55, 5), clGreen);
  EXPECT_EQ(At(b, 32, 25), clWhite);  // other side of the diagonal

  c.Brush().SetColor(clBlue);
  c.RoundRect(0, 30, 30, 60, 10, 10);
  EXPECT_EQ(At(b, 15, 45), clBlue);
  EXPECT_EQ(At(b, 0, 30), clWhite);  // rounded corner

  // A clear brush draws only the outline.
  c.Brush().SetStyle(bsClear);
  c.Pen().SetColor(clFuchsia);
  c.Rectangle(35, 35, 55, 55);
  EXPECT_EQ(At(b, 35, 35), clFuchsia);
  EXPECT_EQ(At(b, 45, 45), clWhite);
}

TEST(Graphics, TextDrawsInTheFontColourAndMeasures) {
  TBitmap b(120, 40);
  TCanvas& c = b.Canvas();
  c.Font().SetName("Arial");
  c.Font().SetHeight(-20);
  c.Font().SetColor(clRed);
  c.Brush().SetStyle(bsClear);
  SIZE s = c.TextExtent("MMMM");
  EXPECT_GT(s.cx, 20);
  EXPECT_GT(s.cy, 15);
  EXPECT_LT(c.TextWidth("M"), s.cx);
  c.TextOut(2, 2, "MMMM");
  int red = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x)
      if (At(b, x, y) == clRed) ++red;
  EXPECT_GT(red, 40);
  // Nothing outside the text's extent.
  for (int y = 0; y < 40; ++y)
    for (int x = 2 + s.cx + 2; x < 120; ++x) ASSERT_EQ(At(b, x, y), clWhite) << x << "," << y;

  RECT r{0, 0, 120, 40};
  int h = c.DrawText("one\r\ntwo", r, DT_CALCRECT);
  EXPECT_GE(h, 2 * s.cy - 4);  // two lines
}

TEST(Graphics, SystemAndPaletteRelativeColours) {
  EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ColorToRGB(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(ColorToRGB(clPaletteRelative | 0x123456), 0x02123456u);
  TBitmap b(4, 4);
  b.Canvas().Brush().SetColor(clPaletteRelative | clRed);
  RECT r{0, 0, 4, 4};
  b.Canvas().FillRect(r);
  EXPECT_EQ(At(b, 1, 1), clRed);
}

TEST(Graphics, CopyStretchAndResizeKeepPixels) {
  TBitmap src(4, 4);
  src.Canvas().SetPixel(0, 0, clRed);
  src.Canvas().SetPixel(3, 3, clBlue);
  TBitmap dst(8, 8);
  RECT d{0, 0, 8, 8};
  dst.Canvas().StretchDraw(d, src);
  EXPECT_EQ(At(dst, 0, 0), clRed);
  EXPECT_EQ(At(dst, 1, 1), clRed);
  EXPECT_EQ(At(dst, 7, 7), clBlue);
  EXPECT_EQ(At(dst, 4, 4), clWhite);

  TBitmap one(8, 8);
  one.Canvas().Draw(2, 2, src);
  EXPECT_EQ(At(one, 2, 2), clRed);
  EXPECT_EQ(At(one, 5, 5), clBlue);

  // Growing keeps what fits; the canvas reference stays usable.
  TCanvas& c = src.Canvas();
  src.SetSize(6, 2);
  EXPECT_EQ(At(src, 0, 0), clRed);
  EXPECT_EQ(At(src, 5, 1), clWhite);
  c.SetPixel(5, 1, clGreen);
  EXPECT_EQ(At(src, 5, 1), clGreen);

  TBitmap copy;
  copy.Assign(src);
  EXPECT_EQ(copy.Width(), 6);
  EXPECT_EQ(At(copy, 0, 0), clRed);
}

TEST(Graphics, GdiObjectsAreReleased) {
  // Handles are checked one by one: the process-wide counters are not
  // kept by every platform.
  HGDIOBJ font, pen, brush, bmp;
  {
    TBitmap b(16, 16);
    TCanvas& c = b.Canvas();
    c.Rectangle(0, 0, 10, 10);
    c.TextOut(0, 0, "abc");
    font = c.Font().Handle();
    pen = c.Pen().Handle();
    brush = c.Brush().Handle();
    bmp = b.Handle();
    // A change replaces the selected object; the old one is gone at once.
    c.Font().SetStyle(fsBold);
    c.Pen().SetWidth(3);
    c.Brush().SetColor(clRed);
    c.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_EQ(GetObjectType(pen), 0u);
    EXPECT_EQ(GetObjectType(brush), 0u);
    font = c.Font().Handle();
    pen = c.Pen().Handle();
    brush = c.Brush().Handle();
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    b.SetSize(20, 20);  // a new DIB section replaces the old
    EXPECT_EQ(GetObjectType(bmp), 0u);
    bmp = b.Handle();
    EXPECT_EQ(GetObjectType(bmp), static_cast<DWORD>(OBJ_BITMAP));
  }
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(GetObjectType(bmp), 0u);
}
