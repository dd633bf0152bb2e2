// Tables with the fixed metrics: the grid that spans make, the column
// limit, and a property test over random tables for the width distribution
// and the row heights; a floating table beside text.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "htmlscan.h"
#include "htmltables.h"
#include "htmltext.h"

using namespace htmlsubs;
using htmlun2::TAttributeList;

namespace {

// Content of fixed width limits and height.
class TBlock : public TSectionBase {
 public:
  TBlock(TSectionList* owner, int mn, int mx, int h) : TSectionBase(owner), mn_(mn), mx_(mx), h_(h) {
    PosCount = 1;
  }
  int Arrange(ThtMeasure&, int y, IndentManager&, int& maxWidth, int& curs) override {
    LastTop = y;
    FirstPos = curs;
    curs += PosCount;
    maxWidth = mx_;
    FlowHeight = HitHeight = h_;
    return h_;
  }
  void WidthLimits(ThtMeasure&, int& min, int& max) override {
    min = mn_;
    max = mx_;
  }

 private:
  int mn_, mx_, h_;
};

struct Attrs {
  TAttributeList list;
  Attrs& Add(int which, int value, const std::string& name = "") {
    list.AddAttribute(which, value, name.empty() ? std::to_string(value) : name);
    return *this;
  }
};

TCellObj* Cell(TSectionList* doc, const Attrs& a = Attrs(), int mn = 10, int mx = 40, int h = 12) {
  auto* c = new TCellObj(doc, &a.list, 0);
  c->Cell.Add(new TBlock(doc, mn, mx, h));
  return c;
}

std::string Shape(ThtmlTable& t) {
  // One letter per grid cell: r real, c a column-span dummy, d a row-span
  // dummy; rows separated by "|".
  std::string s;
  for (int r = 0; r < t.Rows.Count(); ++r) {
    if (r) s += '|';
    for (int c = 0; c < t.Row(r)->Count(); ++c) {
      TCellObj* cell = t.Row(r)->CellObj(c);
      s += cell->ColSpan > 0 ? 'r' : cell->RowSpan > 0 ? 'c' : 'd';
    }
  }
  return s;
}

int Arrange(TSectionList& doc, int width) {
  int sw = 0, curs = 0;
  return doc.Arrange(ScreenMeasure(), 0, width, sw, curs);
}

TEST(HtmlTables, GridSpansLimitsAndAttributes) {
  TSectionList doc;
  // A B(colspan 2, rowspan 2) / C / D(rowspan 9) E: B's dummies reach the
  // second row, D's span is cut to the rows left.
  Attrs none;
  Attrs border;
  border.Add(readhtml::BorderAttr, 1).Add(readhtml::CellSpacingAttr, 100).Add(readhtml::CellPaddingAttr, -5);
  auto* t = new ThtmlTable(&doc, 0, &doc, 1, &border.list);
  EXPECT_EQ(t->CellSpacing, 40);
  EXPECT_EQ(t->CellPadding, 2);  // a negative padding is ignored
  t->AddRow();
  t->AddCell(Cell(&doc));
  t->AddCell(Cell(&doc, Attrs().Add(readhtml::ColSpanAttr, 2).Add(readhtml::RowSpanAttr, 2)));
  t->AddRow();
  t->AddCell(Cell(&doc));
  t->AddRow();
  t->AddCell(Cell(&doc, Attrs().Add(readhtml::RowSpanAttr, 9)));
  t->AddCell(Cell(&doc));
  doc.Add(t);
  EXPECT_GT(Arrange(doc, 600), 0);
  EXPECT_EQ(Shape(*t), "rrc|rdd|rr");
  EXPECT_EQ(t->NumCols, 3);
  EXPECT_EQ(t->Row(2)->CellObj(0)->RowSpan, 1);
  EXPECT_EQ(t->Row(1)->CellObj(1)->RowSpan, 0);
  // The spanning cell covers both rows and both columns.
  TCellObj* b = t->Row(0)->CellObj(1);
  EXPECT_EQ(b->CellWd, t->Widths[1] + t->Widths[2]);
  EXPECT_EQ(b->CellHt, t->Row(0)->RowHt + t->Row(1)->RowHt);

  // Defaults without a border: padding one less, spacing 3.
  Attrs pad;
  pad.Add(readhtml::HSpaceAttr, -2147483647 - 1).Add(readhtml::WidthAttr, 150, "150%");
  ThtmlTable plain(&doc, 0, nullptr, 1, &pad.list);
  EXPECT_EQ(plain.CellPadding, 1);
  EXPECT_EQ(plain.CellSpacing, 3);
  EXPECT_EQ(plain.HSpace, 20);
  EXPECT_TRUE(plain.WidthPercent);
  EXPECT_EQ(plain.AttrWidth, 0);

  // Exactly 30 columns lay out, 31 raise.
  for (int cols : {30, 31}) {
    TSectionList d;
    auto* wide = new ThtmlTable(&d, 0, &d, 1, nullptr);
    wide->AddRow();
    for (int i = 0; i < cols; ++i) wide->AddCell(Cell(&d));
    d.Add(wide);
    if (cols == 30) {
      EXPECT_NO_THROW(Arrange(d, 2000));
      EXPECT_EQ(wide->NumCols, 30);
    } else {
      try {
        Arrange(d, 2000);
        ADD_FAILURE() << "31 columns laid out";
      } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Table has too many Columns");
      }
      // A grid that was never built answers no hit test.
      int rx, ry;
      EXPECT_EQ(wide->CellAt(5, 5, rx, ry), nullptr);
    }
  }
  // Spans that pass 30 columns raise before any dummy past the limit is
  // made: a COLSPAN of two billion costs nothing.
  for (int span : {2000000000, 30}) {
    TSectionList d;
    auto* wide = new ThtmlTable(&d, 0, &d, 1, nullptr);
    wide->AddCell(Cell(&d));
    wide->AddCell(Cell(&d, Attrs().Add(readhtml::ColSpanAttr, span)));
    d.Add(wide);
    EXPECT_THROW(Arrange(d, 2000), EProcessError);
    EXPECT_LE(wide->Row(0)->Count(), 31);
  }
  // A row span that pushes a full row past 30 columns raises too.
  {
    TSectionList d;
    auto* t2 = new ThtmlTable(&d, 0, &d, 1, nullptr);
    t2->AddCell(Cell(&d, Attrs().Add(readhtml::RowSpanAttr, 2)));
    t2->AddRow();
    for (int i = 0; i < 30; ++i) t2->AddCell(Cell(&d));
    d.Add(t2);
    EXPECT_THROW(Arrange(d, 2000), EProcessError);
  }
}

TEST(HtmlTables, HugeAttributesStayInBounds) {
  TSectionList doc;
  Attrs big;
  big.Add(readhtml::WidthAttr, 2147483647).Add(readhtml::CellPaddingAttr, 2147483647).Add(readhtml::BorderAttr, 1);
  auto* t = new ThtmlTable(&doc, 0, &doc, 1, &big.list);
  EXPECT_EQ(t->CellPadding, 50);
  for (int r = 0; r < 200; ++r) {
    t->AddRow();
    for (int c = 0; c < 30; ++c)
      t->AddCell(Cell(&doc, Attrs().Add(readhtml::WidthAttr, 2147483647).Add(readhtml::HeightAttr, 2147483647)));
  }
  doc.Add(t);
  int h = Arrange(doc, 800);
  EXPECT_GT(h, 0);
  EXPECT_GT(t->TableWidth, 0);
  for (int i = 0; i < 30; ++i) EXPECT_GE(t->Widths[i], 0);
}

// The percentage distribution's Needed, as the property test checks it.
int Needed(const ThtmlTable& t, const ThtmlTable::Limits& l) {
  int ps = 0, needed = 0;
  long long m = 0;
  for (int i = 0; i < t.NumCols; ++i) {
    ps += t.Percents[i];
    if (t.Percents[i] > 0)
      needed = std::max(needed, MulDiv(l.Max[i], 100, t.Percents[i]));
    else
      m += l.Max[i];
  }
  if (ps < 100) return std::max(needed, MulDiv(static_cast<int>(m), 100, 100 - ps));
  return m > 0 ? std::max(needed, 30000) : needed;
}

TEST(HtmlTables, RandomTablesDistributeWidthsAndCoverContent) {
  std::mt19937 rng(20261209);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int maximaTaken = 0, percentsChecked = 0, minimaChecked = 0;
  for (int iter = 0; iter < 3000; ++iter) {
    TSectionList doc;
    Attrs ta;
    const int kind = pick(0, 2);
    if (kind == 1) ta.Add(readhtml::WidthAttr, pick(20, 2000));
    if (kind == 2) ta.Add(readhtml::WidthAttr, pick(1, 100), "p%");
    if (pick(0, 1)) ta.Add(readhtml::BorderAttr, 1);
    ta.Add(readhtml::CellPaddingAttr, pick(0, 8)).Add(readhtml::CellSpacingAttr, pick(0, 6));
    auto* t = new ThtmlTable(&doc, 0, &doc, pick(1, 3), &ta.list);
    const int rows = pick(1, 5);
    const bool pixels = pick(0, 2) == 0, percents = pick(0, 1) == 1;
    for (int r = 0; r < rows; ++r) {
      t->AddRow();
      for (int c = pick(1, 5); c > 0; --c) {
        Attrs a;
        if (pick(0, 3) == 0) a.Add(readhtml::ColSpanAttr, pick(2, 3));
        if (pick(0, 4) == 0) a.Add(readhtml::RowSpanAttr, pick(2, 4));
        if (pixels && pick(0, 2) == 0) a.Add(readhtml::WidthAttr, pick(20, 300));
        if (percents && pick(0, 2) == 0) a.Add(readhtml::WidthAttr, pick(2, 99), "p%");
        if (pick(0, 3) == 0) a.Add(readhtml::HeightAttr, pick(0, 120));
        const int mn = pick(0, 150);
        t->AddCell(Cell(&doc, a, mn, mn + pick(0, 400), pick(0, 60)));
      }
    }
    doc.Add(t);
    const int band = pick(20, 2000);
    Arrange(doc, band);
    SCOPED_TRACE("iteration " + std::to_string(iter));

    // The widths add up to the table.
    long long sum = 0;
    for (int i = 0; i < t->NumCols; ++i) sum += t->Widths[i];
    ASSERT_EQ(sum, t->TableWidth - t->CellSpacing);

    // Redo the distribution for W as layout took it and check its rules.
    int w = t->AttrWidth > 0 ? (t->WidthPercent ? MulDiv(band, t->AttrWidth, 100) : t->AttrWidth) : band - t->CellSpacing;
    w = std::max(w, 20);
    ThtmlTable::Limits l;
    t->ColumnLimits(ScreenMeasure(), l);
    const ThtmlTable::Limits before = l;
    int ps = 0;
    for (int i = 0; i < t->NumCols; ++i) ps += t->Percents[i];
    const int needed = t->HasAbsWidths ? 0 : Needed(*t, l);
    int pcts[MaxTableCols + 1];
    std::copy(t->Percents, t->Percents + MaxTableCols + 1, pcts);
    t->DistributeWidths(l, w);
    if (w >= before.TotalMin) {
      ++minimaChecked;
      for (int i = 0; i < t->NumCols; ++i) {
        ASSERT_GE(t->Widths[i], before.Min[i]) << "column " << i;
      }
    }
    if (t->AttrWidth == 0 && (t->HasAbsWidths || ps == 0) && before.TotalMax <= w && before.TotalMin < w) {
      ++maximaTaken;
      for (int i = 0; i < t->NumCols; ++i) ASSERT_EQ(t->Widths[i], before.Max[i]);
    }
    if (!t->HasAbsWidths && ps > 0 && ps <= 100 && w > before.TotalMin && w >= needed) {
      ++percentsChecked;
      for (int i = 0; i < t->NumCols; ++i)
        if (pcts[i] > 0) {
          ASSERT_EQ(t->Widths[i], MulDiv(t->AttrWidth > 0 ? w : needed, pcts[i], 100)) << "column " << i;
        }
    }

    // Row heights cover every cell's content.
    const int extra = 2 * t->CellPadding + t->CellSpacing - 1;
    for (int r = 0; r < t->Rows.Count(); ++r)
      for (int c = 0; c < t->Row(r)->Count(); ++c) {
        TCellObj* cell = t->Row(r)->CellObj(c);
        if (cell->ColSpan == 0) continue;
        ASSERT_GE(cell->CellHt, cell->ContentHt + extra);
        ASSERT_GE(cell->CellHt, cell->AttrHeight - 2 * t->CellPadding + 2 + extra);
        ASSERT_GE(cell->VOffset, 0);
      }
  }
  // The checks above were not vacuous.
  EXPECT_GT(minimaChecked, 1000);
  EXPECT_GT(maximaTaken, 100);
  EXPECT_GT(percentsChecked, 20);
}

TEST(HtmlTables, PercentsAndAlignment) {
  // Two columns at 30% and 70% of a 500-pixel table.
  TSectionList doc;
  auto* t = new ThtmlTable(&doc, 0, &doc, 2, &Attrs().Add(readhtml::WidthAttr, 500).list);
  t->AddCell(Cell(&doc, Attrs().Add(readhtml::WidthAttr, 30, "30%"), 10, 20));
  t->AddCell(Cell(&doc, Attrs().Add(readhtml::WidthAttr, 70, "70%"), 10, 20));
  doc.Add(t);
  Arrange(doc, 1000);
  EXPECT_EQ(t->Widths[0], 150);
  EXPECT_EQ(t->Widths[1], 350);
  // Centred in the room.
  EXPECT_EQ(t->BoxIndent, (1000 - t->BoxWidth) / 2);

  // Without WIDTH columns take their maxima and the table is narrower than
  // the room; it stands at the right.
  TSectionList d2;
  auto* n = new ThtmlTable(&d2, 0, &d2, 3, nullptr);
  n->AddCell(Cell(&d2, Attrs(), 10, 60, 30));
  n->AddCell(Cell(&d2, Attrs(), 10, 80, 10));
  d2.Add(n);
  Arrange(d2, 1000);
  const int extra = 2 * n->CellPadding + n->CellSpacing - 1;
  EXPECT_EQ(n->Widths[0], 60 + extra + 1);
  EXPECT_EQ(n->Widths[1], 80 + extra + 1);
  EXPECT_EQ(n->BoxIndent, 1000 - n->BoxWidth);
  // Hit test: the second cell's content top-left.
  int rx, ry;
  const int x = n->TableIndent + n->Widths[0] + n->CellSpacing + n->CellPadding + 3;
  TCellObj* hit = n->CellAt(x, n->CellSpacing + n->CellPadding + 4, rx, ry);
  ASSERT_EQ(hit, n->Row(0)->CellObj(1));
  EXPECT_EQ(rx, 3);
  EXPECT_EQ(ry, 4);
}

TEST(HtmlTables, FloatingTableLeavesNoFlowAndTextWrapsBesideIt) {
  TSectionList doc;
  auto* t = new ThtmlTable(&doc, 0, &doc, 1, &Attrs().Add(readhtml::AlignAttr, 0, "left").list);
  t->AddCell(Cell(&doc, Attrs(), 100, 100, 80));
  doc.Add(t);
  TMyFont font;
  auto* s = new TSection(&doc, 0, font, nullptr, 1);
  for (int i = 0; i < 200; ++i) s->AppendText("word ");
  doc.Add(s);
  int sw = 0, curs = 0;
  const int h = doc.Arrange(ScreenMeasure(), 0, 400, sw, curs);
  EXPECT_TRUE(t->Float);
  EXPECT_EQ(t->FlowHeight, 0);
  EXPECT_GT(t->HitHeight, 80);
  EXPECT_EQ(s->LastTop, 0);
  const int margin = t->BoxWidth + t->HSpace + 1;
  int top = 0;
  bool beside = false, below = false;
  for (int i = 0; i < s->LaidLines.Count(); ++i) {
    LineRec* line = s->Line(i);
    if (top < t->HitHeight) {
      EXPECT_EQ(line->LineX, margin);
      beside = true;
    } else {
      EXPECT_EQ(line->LineX, 0);
      below = true;
    }
    top += line->ExtraAbove + line->TextHt + line->ExtraBelow;
  }
  EXPECT_TRUE(beside && below);
  EXPECT_GE(h, t->HitHeight);
}

}  // namespace

namespace {

// A text sink that keeps what it is given.
class TKeep : public htmlun2::SelTextCount {
 public:
  void AddText(const char* p, int size) override {
    text.append(p, size);
    count_ += size;
  }
  std::string text;
};

TEST(HtmlTables, TextQueriesSelectionAndCopies) {
  TSectionList doc;
  TMyFont font;
  auto* t = new ThtmlTable(&doc, 0, &doc, 1, &Attrs().Add(readhtml::BorderAttr, 1).list);
  auto text = [&](TCell& cell, const std::string& s) {
    auto* sec = new TSection(&doc, 0, font, nullptr, 1);
    sec->AppendText(s);
    cell.Add(sec);
  };
  text(t->Caption->Cell, "Cap");
  const char* words[2][2] = {{"alpha", "beta"}, {"gamma", "delta"}};
  for (auto& row : words) {
    t->AddRow();
    for (const char* w : row) {
      auto* c = new TCellObj(&doc, nullptr, 2);
      text(c->Cell, w);
      t->AddCell(c);
    }
  }
  doc.Add(t);
  int sw = 0, curs = 0;
  doc.Arrange(ScreenMeasure(), 0, 500, sw, curs);
  // Positions in document order: caption, then the cells row by row (each
  // section also holds its end mark).
  EXPECT_EQ(t->FirstPos, 0);
  EXPECT_EQ(t->PosCount, curs);
  const int gamma = t->SearchText(0, "GAMMA", false);
  TCell& gammaCell = t->Row(1)->CellObj(0)->Cell;
  EXPECT_EQ(gamma, gammaCell.FirstPos);
  EXPECT_LT(t->SearchText(0, "cap", false), t->SearchText(0, "alpha", false));
  char ch = 0;
  TSectionBase* owner = nullptr;
  ASSERT_TRUE(t->CharAt(gamma + 1, ch, owner));
  EXPECT_EQ(ch, 'a');
  EXPECT_EQ(owner, gammaCell.Section(0));

  // A point in the second row's first cell gives a position in it; the
  // caret comes back in the table's coordinates.
  int rx, ry;
  const int rowTop = t->CaptionHeight + t->Row(0)->RowHt;
  TCellObj* hit = t->CellAt(t->TableIndent + t->CellSpacing + t->CellPadding + 1,
                            rowTop + t->CellSpacing + t->CellPadding + t->Row(1)->CellObj(0)->VOffset + 2, rx, ry);
  ASSERT_EQ(hit, t->Row(1)->CellObj(0));
  EXPECT_EQ(rx, 1);
  EXPECT_EQ(ry, 2);
  int cx, cy, chh, pos;
  ASSERT_TRUE(t->PositionAt(ScreenMeasure(), t->TableIndent + t->CellSpacing + t->CellPadding,
                            rowTop + t->CellSpacing + t->CellPadding + hit->VOffset + 2, cx, cy, chh, pos));
  EXPECT_EQ(pos, gamma);
  EXPECT_EQ(cx, t->TableIndent + t->CellSpacing + t->CellPadding);
  EXPECT_EQ(cy, rowTop + t->CellSpacing + t->CellPadding + hit->VOffset);
  // Bottom-aligned content sits at the bottom of its cell.
  EXPECT_EQ(hit->VOffset, hit->CellHt - hit->ContentHt - (2 * t->CellPadding + t->CellSpacing - 1));

  // Copying a selection over the table emits its cells in row order.
  TKeep keep;
  doc.TextSink = &keep;
  doc.SelStartPos = t->SearchText(0, "lpha", true);
  doc.SelEndPos = t->SearchText(0, "del", true) + 3;
  doc.EmitSelectionWalk(doc);
  doc.TextSink = nullptr;
  EXPECT_EQ(keep.text.substr(0, 4), "lpha");
  EXPECT_LT(keep.text.find("beta"), keep.text.find("gamma"));
  EXPECT_EQ(keep.text.substr(keep.text.size() - 3), "del");

  // A copy has the same grid and lays out to the same widths.
  TSectionList other;
  std::unique_ptr<TSectionBase> copy(t->Clone(&other));
  auto* ct = static_cast<ThtmlTable*>(copy.get());
  EXPECT_EQ(Shape(*ct), Shape(*t));
  EXPECT_EQ(ct->HostCell, nullptr);
  IndentManager margins;
  margins.Reset(0, 500);
  margins.BandWidth = 500;
  int mw = 0;
  curs = 0;
  EXPECT_EQ(ct->Arrange(ScreenMeasure(), 0, margins, mw, curs), t->FlowHeight);
  for (int i = 0; i < t->NumCols; ++i) EXPECT_EQ(ct->Widths[i], t->Widths[i]);
}

}  // namespace
