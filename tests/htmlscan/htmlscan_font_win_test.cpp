// The Win32 font built on the portable description: a viewer font handed to
// a canvas font gives a GDI font of that face, height and style, and only
// changes of shape replace the GDI font.
#include <windows.h>

#include <gtest/gtest.h>

#include "win/graphics.h"
#include "myfont.h"

TEST(HtmlScanFont, ViewerFontReachesGdi) {
  htmlsubs::TMyFont desc;
  desc.SetName("Courier New");
  desc.SetHeight(-17);
  desc.SetStyle(fsBold | fsUnderline);
  desc.SetColor(0x0000FF);

  TFont font;
  font.SetCharset(ANSI_CHARSET);
  int changes = 0;
  font.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &font);
    ++changes;
  };
  font.Assign(desc);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(font.Charset(), ANSI_CHARSET);
  EXPECT_EQ(font.Color(), 0x0000FFu);

  HFONT h = font.Handle();
  ASSERT_NE(h, nullptr);
  LOGFONTA lf;
  ASSERT_EQ(GetObjectA(h, sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_STREQ(lf.lfFaceName, "Courier New");
  EXPECT_EQ(lf.lfHeight, -17);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfUnderline, 1);
  EXPECT_EQ(lf.lfItalic, 0);

  // Colour is drawn with, not built into, the GDI font.
  font.SetColor(0x00FF00);
  EXPECT_EQ(font.Handle(), h);
  font.SetStyle(fsItalic);
  HFONT h2 = font.Handle();
  ASSERT_EQ(GetObjectA(h2, sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_EQ(changes, 3);

  // Points follow the screen's resolution.
  HDC dc = GetDC(nullptr);
  int ppi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  font.SetSize(12);
  EXPECT_EQ(font.Height(), -MulDiv(12, ppi, 72));
  EXPECT_EQ(font.Size(), 12);

  // A whole TFont copies what the description does not hold as well.
  TFont copy;
  copy.Assign(font);
  EXPECT_EQ(copy.Charset(), ANSI_CHARSET);
  EXPECT_EQ(copy.Name(), "Courier New");
  EXPECT_EQ(copy.Style(), static_cast<TFontStyles>(fsItalic));
}
