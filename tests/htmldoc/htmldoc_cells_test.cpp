// Cells lay their sections out top to bottom, answer queries by walking
// them, and are lengthened by floats that hang below the last section.
#include <gtest/gtest.h>

#include <string>

#include "htmlsections.h"

using namespace htmlsubs;

namespace {

// A section that places a left float of the given height at its top and
// emits its positions as selected text.
class TFloatSection : public TSectionBase {
 public:
  TFloatSection(TSectionList* owner, int floatHeight, int flow, int positions)
      : TSectionBase(owner), floatHeight_(floatHeight), flow_(flow) {
    PosCount = positions;
  }
  int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) override {
    FlowHeight = flow_;
    TSectionBase::Arrange(canvas, y, margins, maxWidth, curs);
    TFloatObj f;
    f.Align = AlignLeft;
    f.BoxWidth = 40;
    f.BoxHeight = floatHeight_;
    margins.PlaceFloat(y, f);
    curs += PosCount;
    return FlowHeight;
  }
  void EmitSelection() override {
    int from = OwnerList->SelStartPos > FirstPos ? OwnerList->SelStartPos : FirstPos;
    int to = OwnerList->SelEndPos < FirstPos + PosCount ? OwnerList->SelEndPos : FirstPos + PosCount;
    std::string s(to - from, 'x');
    OwnerList->TextSink->AddText(s.data(), to - from);
  }

 private:
  int floatHeight_, flow_;
};

TEST(HtmlDocCells, LayoutHeightsFloatsAndSelectionWalk) {
  TSectionList doc;
  doc.DefaultSize = 12;
  doc.Add(new THeadingSpace(&doc, 1));
  doc.Add(new TParagraphSpace(&doc));
  doc.Add(new TFloatSection(&doc, 100, 10, 7));
  doc.Add(nullptr);
  doc.Add(new TFloatSection(&doc, 0, 5, 3));
  ASSERT_EQ(doc.Count(), 4);
  EXPECT_EQ(doc.Section(0)->FlowHeight, 16);
  EXPECT_EQ(doc.Section(1)->FlowHeight, 14);

  ThtMeasure& m = ScreenMeasure();
  int scrollWidth = -1, curs = 20;
  // The float placed at 30 + 40 hangs to 170, below the flow's 45.
  int h = doc.Arrange(m, 40, 300, scrollWidth, curs);
  EXPECT_EQ(h, 170 - 40);
  EXPECT_EQ(scrollWidth, 300);
  EXPECT_EQ(doc.FirstPos, 20);
  EXPECT_EQ(doc.PosCount, 10);
  EXPECT_EQ(doc.Section(2)->FirstPos, 20);
  EXPECT_EQ(doc.Section(3)->FirstPos, 27);
  EXPECT_EQ(doc.Section(3)->LastTop, 40 + 16 + 14 + 10);

  int top = -1, index = -1;
  EXPECT_EQ(doc.SectionAtY(15, top, index), doc.Section(0));
  EXPECT_EQ(doc.SectionAtY(16, top, index), doc.Section(1));
  EXPECT_EQ(top, 16);
  EXPECT_EQ(doc.SectionAtY(44, top, index), doc.Section(3));
  EXPECT_EQ(doc.SectionAtY(45, top, index), nullptr);

  // Selection: empty or reversed counts nothing; a range over both text
  // sections counts their parts.
  doc.SelStartPos = 25, doc.SelEndPos = 25;
  EXPECT_EQ(doc.SelectionLength(), 0);
  doc.SelStartPos = 26, doc.SelEndPos = 22;
  EXPECT_EQ(doc.SelectionLength(), 0);
  doc.SelStartPos = 25, doc.SelEndPos = 29;
  EXPECT_EQ(doc.SelectionLength(), 4);

  // Defaults re-applied: fixed heights follow the default size; a copy of
  // the cell belongs to its new document.
  doc.DefaultSize = 24;
  doc.ReapplyDefaults();
  EXPECT_EQ(doc.Section(0)->FlowHeight, 32);
  EXPECT_EQ(doc.Section(1)->FlowHeight, 28);
  TSectionList other;
  TCell copy(&other, doc);
  ASSERT_EQ(copy.Count(), 4);
  EXPECT_EQ(copy.Section(0)->OwnerList, &other);
  EXPECT_EQ(copy.Section(0)->FlowHeight, 16);

  // An empty document lays out to 0.
  TSectionList empty;
  curs = 0;
  EXPECT_EQ(empty.Arrange(m, 0, 100, scrollWidth, curs), 0);
}

}  // namespace
