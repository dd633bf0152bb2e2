// The document model's font runs and float margins, measured through the
// fixed metrics of the portable canvas seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include "htmlcanvas.h"
#include "htmlsubs.h"

using namespace htmlsubs;

namespace {

TFontObj* MakeRun(int pos, int scale, const TFontDefaults& d, TFontStyles style = 0) {
  auto* f = new TMyFont;
  f->SetStyle(style);
  f->SetScaleSize(d, scale);
  return new TFontObj(f, pos);
}

TEST(HtmlDocFonts, RunsMeasureFollowChangesAndAnswerLookups) {
  TFontDefaults d;
  d.DefaultSize = 12;
  TFontList runs;
  runs.Add(MakeRun(0, 12, d));
  runs.Add(MakeRun(5, 24, d, fsItalic));
  runs.Add(MakeRun(9, 9, d));

  // 12 points at 96 dpi is 16 pixels; the fixed metrics add a fifth below.
  EXPECT_EQ(runs.Run(0)->Font->Size(), 12);
  EXPECT_EQ(runs.Run(0)->TextHeight, 19);
  EXPECT_EQ(runs.Run(0)->Descent, 3);
  EXPECT_EQ(runs.Run(1)->Font->Size(), 24);
  EXPECT_GT(runs.Run(1)->Overhang, 0);

  int overhang = -1, index = -1;
  EXPECT_EQ(runs.FontAt(4, overhang), runs.Run(0)->Font);
  EXPECT_EQ(overhang, 0);
  EXPECT_EQ(runs.FontAt(5, overhang), runs.Run(1)->Font);
  EXPECT_EQ(overhang, runs.Run(1)->Overhang);
  EXPECT_EQ(runs.RunAt(100, index), runs.Run(2));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(runs.RunLengthAt(2, 20), 3);
  EXPECT_EQ(runs.RunLengthAt(6, 20), 3);
  EXPECT_EQ(runs.RunLengthAt(12, 20), 8);

  // A change of the font re-measures its run at once.
  runs.Run(0)->Font->SetSize(24);
  EXPECT_EQ(runs.Run(0)->TextHeight, runs.Run(1)->TextHeight);

  // Defaults: face by PreFace, size by the scale, colour by the link, all
  // palette-relative; a copy is independent of its source.
  d.DefaultSize = 24;
  d.DefaultColor = 0x123456;
  d.LinkColor = 0x00FF00;
  runs.Run(2)->Link.Assign("a.htm", "");
  runs.Run(2)->Font->PreFace = true;
  TFontList copy;
  copy.CloneFrom(runs);
  for (int i = 0; i < copy.Count(); ++i) copy.Run(i)->ReapplyDefaults(d);
  EXPECT_EQ(copy.Run(0)->Font->Size(), 24);
  EXPECT_EQ(copy.Run(2)->Font->Size(), 18);
  EXPECT_EQ(copy.Run(2)->Font->Name(), d.DefaultPreFace);
  EXPECT_EQ(copy.Run(1)->Font->Name(), d.DefaultFace);
  EXPECT_EQ(copy.Run(0)->Font->Color(), 0x02123456u);
  EXPECT_EQ(copy.Run(2)->Font->Color(), 0x0200FF00u);
  EXPECT_EQ(copy.Run(2)->Link.URL, "a.htm");
  EXPECT_EQ(runs.Run(2)->Font->Size(), 9);
  EXPECT_NE(copy.Run(2)->Font, runs.Run(2)->Font);
}

TEST(HtmlDocMeasure, FitCountIsTheLargestCountThatFits) {
  ThtMeasure& m = ScreenMeasure();
  TMyFont f;  // 11 pixels: 6 per character
  m.SelectFont(f);
  const std::string s = "abcdefghij";
  for (int w = -1; w <= 70; ++w) {
    int n = m.FitCount(s.data(), 10, w);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 10);
    if (n > 0) { ASSERT_LE(m.TextWidth(s.data(), n), w) << w; }
    if (n < 10) { ASSERT_GT(m.TextWidth(s.data(), n + 1), w) << w; }
  }
}

TEST(HtmlDocMargins, FloatsListsAndClearLines) {
  IndentManager m;
  m.Reset(10, 410);
  m.BandWidth = 400;
  EXPECT_EQ(m.LeftAt(0), 10);
  EXPECT_EQ(m.RightAt(0), 410);
  EXPECT_EQ(m.FloatsBottom(), 0);
  int cl = -1, cr = -1;
  m.ClearLines(cl, cr);
  EXPECT_EQ(cl, 0);
  EXPECT_EQ(cr, 0);
  EXPECT_EQ(m.BelowListFloats(), 1);

  // Two left floats at one Y stand side by side.
  TFloatObj a, b, r;
  a.Align = b.Align = AlignLeft;
  a.BoxWidth = 50, a.BoxHeight = 40;
  b.BoxWidth = 30, b.BoxHeight = 60;
  m.PlaceFloat(100, a);
  m.PlaceFloat(100, b);
  EXPECT_EQ(a.FloatX, 0);
  EXPECT_EQ(b.FloatX, 55);
  EXPECT_EQ(m.LeftAt(100), 10 + 55 + 35);
  EXPECT_EQ(m.LeftAt(139), 10 + 90);
  EXPECT_EQ(m.LeftAt(160), 10);
  EXPECT_EQ(m.LeftAt(99), 10);

  // A right float sits at the margin with its gap on the left.
  r.Align = AlignRight;
  r.BoxWidth = 80, r.BoxHeight = 10;
  r.HSpace = 20;
  m.PlaceFloat(105, r);
  EXPECT_EQ(m.RightAt(105), 410 - 100);
  EXPECT_EQ(r.FloatX, -100 + 410 + 20);
  EXPECT_EQ(m.FloatsBottom(), 160);
  m.ClearLines(cl, cr);
  EXPECT_EQ(cl, 161);
  EXPECT_EQ(cr, 116);

  // A floating table on the right beside the image.
  m.PlaceFloatBox(106, 50, 3, 4);
  EXPECT_EQ(m.RightAt(106), 410 - 150);
  m.PlaceFloatBox(200, 70, 1, 5);
  EXPECT_EQ(m.LeftAt(200), 80);

  // Nested lists indent 35 per level; closing ends the indent at Y - 1 and
  // leaves floats alone.
  m.SetListLevel(300, 2);
  EXPECT_EQ(m.ListLevel, 2);
  EXPECT_EQ(m.LeftAt(300), 10 + 70);
  EXPECT_EQ(m.LeftAt(299), 10);
  TFloatObj inList;
  inList.Align = AlignLeft;
  inList.BoxWidth = 20, inList.BoxHeight = 100;
  m.PlaceFloat(400, inList);
  EXPECT_EQ(inList.FloatX, 70);
  EXPECT_EQ(m.BelowListFloats(), 501);
  m.SetListLevel(450, 1);
  EXPECT_EQ(m.LeftAt(448), 10 + 95);
  EXPECT_EQ(m.LeftAt(449), 10 + 95);  // the float, not the closed indent
  EXPECT_EQ(m.LeftAt(500), 10 + 35);
  EXPECT_EQ(m.FloatsBottom(), 500);  // the closed indent counts as ended at 449
  m.SetListLevel(600, 0);
  EXPECT_EQ(m.LeftAt(600), 10);
  m.Clear();
  EXPECT_EQ(m.LeftAt(100), 10);
  EXPECT_EQ(m.FloatsBottom(), 0);
}

// The margins as a plain scan of every record would answer them: what the
// quick lookups must match whatever order the lines are asked in.
struct PlainMargins {
  const IndentManager& m;
  int At(const TFreeList& recs, int edge, int y, bool left) const {
    int best = 0;
    bool any = false;
    for (int i = 0; i < recs.Count(); ++i) {
      auto* r = static_cast<IndentRec*>(recs.Items(i));
      if (y >= r->FromY && y < r->ToY && (!any || (left ? r->Offset > best : r->Offset < best))) {
        best = r->Offset;
        any = true;
      }
    }
    return edge + best;
  }
  // The lowest float bottom (less is 0) plus 'past'.
  int Bottom(const TFreeList& recs, int past) const {
    int b = 0;
    for (int i = 0; i < recs.Count(); ++i) {
      auto* r = static_cast<IndentRec*>(recs.Items(i));
      if (r->Level == 0 && r->ToY + past > b) b = r->ToY + past;
    }
    return b;
  }
  int BelowListFloats() const {
    int levelOffset = 0, below = 0;
    for (int i = 0; i < m.LeftRecs.Count(); ++i)
      if (m.ListLevel > 0 && m.Left(i)->Level == m.ListLevel) levelOffset = m.Left(i)->Offset;
    for (int i = 0; i < m.LeftRecs.Count(); ++i)
      if (m.Left(i)->Offset > levelOffset && m.Left(i)->ToY > below) below = m.Left(i)->ToY;
    return below + 1;
  }
};

TEST(HtmlDocMargins, QuickLookupsMatchAFullScanAndStayQuickOnLongCells) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    IndentManager m;
    PlainMargins plain{m};
    m.Reset(5, 605);
    int y = 0;
    for (int step = 0; step < 400; ++step) {
      const int op = rng() % 10;
      if (op < 3) {
        TFloatObj f;
        f.Align = rng() % 2 ? AlignLeft : AlignRight;
        f.BoxWidth = rng() % 60;
        f.BoxHeight = rng() % 80;
        f.HSpace = rng() % 6;
        m.PlaceFloat(y, f);
      } else if (op == 3) {
        m.PlaceFloatBox(y, rng() % 90, rng() % 2 ? 1 : 3, rng() % 50);
      } else if (op == 4) {
        m.SetListLevel(y, rng() % 4);
      } else if (op == 5) {
        y -= rng() % 120;  // a repaint asks from higher up again
      } else {
        y += rng() % 40;
      }
      ASSERT_EQ(m.LeftAt(y), plain.At(m.LeftRecs, m.LeftEdge, y, true)) << round << "/" << step;
      ASSERT_EQ(m.RightAt(y), plain.At(m.RightRecs, m.RightEdge, y, false)) << round << "/" << step;
      ASSERT_EQ(m.FloatsBottom(), std::max(plain.Bottom(m.LeftRecs, 0), plain.Bottom(m.RightRecs, 0)));
      int cl = -1, cr = -1;
      m.ClearLines(cl, cr);
      ASSERT_EQ(cl, plain.Bottom(m.LeftRecs, 1));
      ASSERT_EQ(cr, plain.Bottom(m.RightRecs, 1));
      ASSERT_EQ(m.BelowListFloats(), plain.BelowListFloats()) << round << "/" << step;
    }
  }

  // A long cell of closed lists and floats: each line must not cost a scan
  // of every margin record above it.
  IndentManager m;
  m.Reset(0, 800);
  const auto start = std::chrono::steady_clock::now();
  int y = 0;
  for (int i = 0; i < 40000; ++i) {
    m.SetListLevel(y, 2);
    TFloatObj f;
    f.Align = i % 2 ? AlignLeft : AlignRight;
    f.BoxWidth = 20;
    f.BoxHeight = 10;
    m.PlaceFloat(y, f);
    for (int line = 0; line < 3; ++line, y += 19) {
      ASSERT_GE(m.RightAt(y), m.LeftAt(y));
      m.BelowListFloats();
      m.FloatsBottom();
    }
    m.SetListLevel(y, 0);
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(secs, 5.0);  // a scan of every record per line takes minutes
  EXPECT_EQ(m.LeftAt(y), 0);
  EXPECT_EQ(m.LeftRecs.Count() + m.RightRecs.Count(), 40000 * 3);
}

TEST(HtmlDocImages, SizesStayBoundedAndNeverDivideByZero) {
  int w = -1, h = -1;
  SizeImage(0, 50, 100, 200, w, h);
  EXPECT_EQ(w, 25);
  EXPECT_EQ(h, 50);
  SizeImage(30, 0, 100, 200, w, h);
  EXPECT_EQ(h, 60);
  SizeImage(0, 0, 100, 200, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 200);
  SizeImage(7, 9, 100, 200, w, h);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 9);
  // A 0 x 0 picture: the given side stays, nothing divides by zero.
  SizeImage(0, 40, 0, 0, w, h);
  EXPECT_EQ(h, 40);
  EXPECT_EQ(w, 0);
  SizeImage(40, 0, 0, 0, w, h);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 0);
  // Negative sizes count as not given; huge ones are held to the bound.
  SizeImage(-10, -10, 100, 200, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 200);
  SizeImage(0x7FFFFFFF, 0x7FFFFFFF, 1, 1, w, h);
  EXPECT_EQ(w, MaxImageSide);
  EXPECT_EQ(h, MaxImageSide);
  SizeImage(0, 0x7FFFFFFF, 0x7FFFFFFF, 1, w, h);
  EXPECT_EQ(w, MaxImageSide);
  EXPECT_EQ(h, MaxImageSide);
  EXPECT_EQ(ImageHSpace(-7), 7);
  EXPECT_EQ(ImageHSpace(25), 20);
  EXPECT_EQ(ImageHSpace(-2147483647 - 1), 20);
}

TEST(HtmlDocLabels, OrderedLabelsByStyle) {
  EXPECT_EQ(OrderedLabel('a', 26), "z.");
  EXPECT_EQ(OrderedLabel('a', 27), "z.");
  EXPECT_EQ(OrderedLabel('A', 1), "A.");
  EXPECT_EQ(OrderedLabel('A', 0), "A.");
  EXPECT_EQ(OrderedLabel('I', 21), "XX.");
  EXPECT_EQ(OrderedLabel('I', 20), "XX.");
  EXPECT_EQ(OrderedLabel('I', 18), "XVIII.");
  EXPECT_EQ(OrderedLabel('i', 4), "iv.");
  EXPECT_EQ(OrderedLabel('I', 0), "I.");
  EXPECT_EQ(OrderedLabel('I', -5), "I.");
  EXPECT_EQ(OrderedLabel('1', 12), "12.");
  EXPECT_EQ(OrderedLabel('1', 0), "0.");
  // Seven characters at most.
  EXPECT_EQ(OrderedLabel('1', 2147483647), "2147483");
}

}  // namespace
