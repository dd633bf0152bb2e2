// The Win32 half of the canvas seam measures with real GDI fonts.
#include <gtest/gtest.h>

#include <string>

#include "htmlcanvas.h"
#include "htmlsubs.h"

using namespace htmlsubs;

TEST(HtmlDocGdi, RunsTakeTheirMetricsFromGdi) {
  TFontDefaults d;
  auto* small = new TMyFont;
  small->SetName("Arial");
  small->SetScaleSize(d, 8);
  auto* big = new TMyFont;
  big->SetName("Arial");
  big->SetScaleSize(d, 24);
  TFontObj a(small, 0), b(big, 3);
  EXPECT_GT(a.TextHeight, 5);
  EXPECT_GT(b.TextHeight, a.TextHeight);
  EXPECT_GE(a.RunHeight, a.TextHeight);
  EXPECT_GT(b.Descent, 0);

  ThtMeasure& m = ScreenMeasure();
  m.SelectFont(*big);
  const std::string s = "The quick brown fox";
  int whole = m.TextWidth(s);
  EXPECT_GT(whole, m.TextWidth(s.data(), 3));
  int n = m.FitCount(s.data(), static_cast<int>(s.size()), whole / 2);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, static_cast<int>(s.size()));
  EXPECT_LE(m.TextWidth(s.data(), n), whole / 2);
  EXPECT_GT(m.TextWidth(s.data(), n + 1), whole / 2);
}
