// Text sections built through the building calls and laid out with the fixed
// metrics (default font: 6 pixels a character, lines 13 high): line
// breaking with floats, CLEAR, lists, alignment, the append rules, and the
// position queries as a round trip over random sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <random>
#include <string>

#include "htmlscan.h"
#include "htmltext.h"

using namespace htmlsubs;

namespace {

class TTextSink : public htmlun2::SelTextCount {
 public:
  void AddText(const char* p, int size) override {
    text.append(p, size);
    count_ += size;
  }
  std::string text;
};

TSection* NewSection(TSectionList& doc, const std::string& text, int level = 0, int justify = 1) {
  TMyFont font;
  auto* s = new TSection(&doc, level, font, nullptr, justify);
  if (!text.empty()) s->AppendText(text);
  return s;
}

int Layout(TSectionList& doc, int width) {
  int scrollWidth = 0, curs = 0;
  return doc.Arrange(ScreenMeasure(), 0, width, scrollWidth, curs);
}

std::string LineText(const TSection& s, int i) {
  return s.Text.substr(s.Line(i)->FirstChar, s.Line(i)->CharCount);
}

TEST(HtmlDocText, LineBreaking) {
  {  // A word wider than the room overflows on a line of its own.
    TSectionList doc;
    TSection* s = NewSection(doc, "aa bbbbbbbbbb cc");
    doc.Add(s);
    EXPECT_EQ(Layout(doc, 40), 3 * 13);
    ASSERT_EQ(s->LaidLines.Count(), 3);
    EXPECT_EQ(LineText(*s, 0), "aa ");
    EXPECT_EQ(LineText(*s, 1), "bbbbbbbbbb ");
    EXPECT_EQ(LineText(*s, 2), "cc");
  }
  // An inline picture or a float wider than any room stands on its own line
  // and layout ends, at every width.
  for (int align : {AlignBottom, AlignLeft, AlignRight}) {
    TSectionList doc;
    TSection* s = NewSection(doc, "");
    s->InsertPicture(align, 50, 20);
    s->AppendText("x y");
    s->InsertPicture(align, 3000, 7);
    doc.Add(s);
    for (int width = 0; width <= 2000; ++width) {
      Layout(doc, width);
      ASSERT_GE(s->LaidLines.Count(), 1);
      ASSERT_LE(s->LaidLines.Count(), 4) << width;
    }
    Layout(doc, 5);
    if (align == AlignBottom) {
      EXPECT_EQ(LineText(*s, 0), std::string(1, ImageChar));
      EXPECT_EQ(s->Line(0)->TextHt, 0);  // a line of only a picture
      EXPECT_EQ(s->Line(0)->ExtraAbove, 20);
    }
  }
  {  // Two left floats at one Y sit side by side; text flows beside them.
    TSectionList doc;
    TSection* s = NewSection(doc, "");
    TPictureObj* a = s->InsertPicture(AlignLeft, 50, 40);
    TPictureObj* b = s->InsertPicture(AlignLeft, 30, 60);
    s->AppendText(" text");
    EXPECT_EQ(s->Text, std::string("\4\4text"));
    doc.Add(s);
    EXPECT_EQ(Layout(doc, 300), 60);  // the cell reaches the float's bottom
    EXPECT_EQ(a->FloatX, 0);
    EXPECT_EQ(b->FloatX, 55);
    EXPECT_EQ(s->Line(0)->LineX, 90);
    EXPECT_EQ(s->HitHeight, 60);
  }
  {  // CLEAR: left, right, and any other value for both sides.
    for (const char* clear : {"LEFT", "right", "all"}) {
      TSectionList doc;
      TSection* f = NewSection(doc, "");
      f->InsertPicture(AlignLeft, 50, 100);
      f->InsertPicture(AlignRight, 50, 200);
      f->AppendText("beside");
      TSection* s = NewSection(doc, "below");
      s->SetClearSide(clear);
      doc.Add(f);
      doc.Add(s);
      Layout(doc, 300);
      const int bottom = std::string(clear) == "LEFT" ? 100 : 200;
      EXPECT_EQ(s->ClearSide, std::string(clear) == "LEFT" ? 1 : std::string(clear) == "right" ? 2 : 3);
      ASSERT_EQ(s->LaidLines.Count(), 2);
      EXPECT_EQ(s->LastTop + s->Line(0)->TextHt, bottom) << clear;
      EXPECT_EQ(s->Line(1)->LineX, 0);
    }
  }
  {  // A nested list indents 35 a level; the next plain section ends it.
    TSectionList doc;
    TSection* item = NewSection(doc, "item", 2);
    TSection* after = NewSection(doc, "after");
    doc.Add(item);
    doc.Add(after);
    Layout(doc, 300);
    EXPECT_EQ(item->FirstLineX, 70);
    EXPECT_EQ(after->Line(0)->LineX, 0);
    EXPECT_EQ(doc.Margins.LeftAt(after->LastTop - 2), 70);
    EXPECT_EQ(doc.Margins.LeftAt(after->LastTop - 1), 0);
  }
  {  // Centre and right alignment ignore trailing spaces.
    TSectionList doc;
    TSection* c = NewSection(doc, "ab  ", 0, 2);
    TSection* r = NewSection(doc, "ab  ", 0, 3);
    doc.Add(c);
    doc.Add(r);
    Layout(doc, 100);
    EXPECT_EQ(c->Line(0)->LineX, 44);
    EXPECT_EQ(r->Line(0)->LineX, 88);
  }
}

TEST(HtmlDocText, AppendRulesAndLimit) {
  TSectionList doc;
  TSection* s = NewSection(doc, " a ");
  doc.Add(s);
  EXPECT_EQ(s->Text, "a ");
  s->AppendText(" b");
  EXPECT_EQ(s->Text, "a b");
  s->AppendText(" c");
  EXPECT_EQ(s->Text, "a b c");
  s->AppendText(std::string(TSection::MaxText - 5, 'x'));
  EXPECT_EQ(s->PosCount, TSection::MaxText);
  s->AppendText("abc");  // still at the limit: taken whole
  EXPECT_EQ(s->PosCount, TSection::MaxText + 3);
  s->AppendText("d");
  EXPECT_EQ(s->PosCount, TSection::MaxText + 3);
  TMyFont font;
  TPreFormated pre(&doc, 0, font, nullptr, 1);
  pre.AppendText(" a");
  pre.AppendText("  b");
  EXPECT_EQ(pre.Text, " a  b");
}

TEST(HtmlDocText, PositionRoundTripAndSearch) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 40; ++round) {
    TSectionList doc;
    TMyFont base;
    auto* s = new TSection(&doc, static_cast<int>(rng() % 3), base, nullptr, 1 + static_cast<int>(rng() % 3));
    doc.Add(s);
    const char* words[] = {"Alpha", "beta", "GAMMA", "x", "Delta-epsilon", "  "};
    for (int piece = 0; piece < 30; ++piece) {
      switch (rng() % 4) {
        case 0: {
          TMyFont f;
          f.SetHeight(-static_cast<int>(6 + rng() % 30));
          f.SetStyle(rng() % 4);
          s->SwitchFont(f, static_cast<int>(rng() % 3));
          break;
        }
        case 1:
          s->InsertPicture(rng() % 3, 1 + static_cast<int>(rng() % 90), 1 + static_cast<int>(rng() % 50));
          break;
        default:
          s->AppendText(std::string(words[rng() % 6]) + " ");
      }
    }
    std::string lower = s->Text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int width : {0, 37, 120, 400, 2000}) {
      Layout(doc, width);
      for (int p = s->FirstPos; p < s->FirstPos + s->PosCount; ++p) {
        int x = 0, y = 0, cx = 0, cy = 0, ch = 0, back = -2;
        ASSERT_TRUE(s->PointOfPosition(ScreenMeasure(), p, x, y)) << p;
        ASSERT_TRUE(s->PositionAt(ScreenMeasure(), x, y - s->LastTop, cx, cy, ch, back));
        ASSERT_EQ(back, p) << "width " << width << " round " << round;
        EXPECT_EQ(cx, x);
      }
    }
    for (const char* needle : {"alpha", "GAMMA b", "x", "a-e"}) {
      std::string n = needle;
      for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      size_t want = lower.find(n, 3);
      int got = s->SearchText(3, needle, false);
      EXPECT_EQ(got, want == std::string::npos ? -1 : static_cast<int>(want)) << needle;
    }
    EXPECT_EQ(s->SearchText(0, "GAMMA", true), static_cast<int>(s->Text.find("GAMMA") == std::string::npos ? -1 : s->Text.find("GAMMA")));
  }
}

TEST(HtmlDocText, SelectionCopyIndentsAndCounts) {
  TSectionList doc;
  TSection* s = NewSection(doc, "hello world", 2);
  doc.Add(s);
  Layout(doc, 500);
  TTextSink sink;
  doc.TextSink = &sink;
  doc.SelStartPos = 0;
  doc.SelEndPos = 11;
  doc.EmitSelectionWalk(doc);
  EXPECT_EQ(sink.text, "      hello world\r\n");
  doc.TextSink = nullptr;
  doc.SelStartPos = 6;
  EXPECT_EQ(doc.SelectionLength(), 5 + 2);
  doc.SelEndPos = 6;
  EXPECT_EQ(doc.SelectionLength(), 0);

  // Paragraph spaces and rules inside the selection copy as line ends.
  TSectionList two;
  two.Add(NewSection(two, "abc"));
  two.Add(new TParagraphSpace(&two));
  two.Add(new THorzLine(&two, nullptr));
  two.Add(NewSection(two, "def"));
  Layout(two, 500);
  TTextSink copy;
  two.TextSink = &copy;
  two.SelStartPos = 1;
  two.SelEndPos = 5;
  two.EmitSelectionWalk(two);
  EXPECT_EQ(copy.text, "bc\r\n\r\n\r\nde");
  two.TextSink = nullptr;
}

TEST(HtmlDocText, FontSwitchesKeepLinksAndScaleScripts) {
  TSectionList doc;
  doc.DefaultSize = 12;
  TMyFont font;
  font.SetScaleSize(doc, 12);
  TUrlTarget link;
  link.Assign("a.htm", "_top");
  auto* s = new TSection(&doc, 0, font, &link, 1);
  doc.Add(s);
  s->AppendText("ab");
  TMyFont bold;
  bold.SetScaleSize(doc, 12);
  bold.SetStyle(fsBold);
  s->SwitchFont(bold, 2);
  EXPECT_EQ(s->Runs.Count(), 2);
  EXPECT_EQ(s->Runs.Run(1)->RunStart, 2);
  EXPECT_EQ(s->Runs.Run(1)->Link.URL, "a.htm");
  EXPECT_EQ(s->Runs.Run(1)->Font->ScaleSize, 9);
  EXPECT_EQ(s->Runs.Run(1)->Font->Size(), 9);
  EXPECT_EQ(s->Runs.Run(1)->SScript, 2);
  // A second switch at the same position takes the run over.
  s->SwitchFont(font, 0);
  EXPECT_EQ(s->Runs.Count(), 2);
  EXPECT_EQ(s->Runs.Run(1)->Font->Size(), 12);
  EXPECT_EQ(s->Runs.Run(1)->Font->Style(), 0u);
}

TEST(HtmlDocText, FixedSectionsAndListItems) {
  TSectionList doc;
  doc.DefaultSize = 12;
  htmlun2::TAttributeList attrs;
  attrs.AddAttribute(readhtml::SizeAttr, 5, "5");
  attrs.AddAttribute(readhtml::WidthAttr, 50, "50%");
  attrs.AddAttribute(readhtml::ColorAttr, 0, "red");
  auto* rule = new THorzLine(&doc, &attrs);
  htmlun2::TAttributeList bad;
  bad.AddAttribute(readhtml::SizeAttr, 40, "40");
  auto* plain = new THorzLine(&doc, &bad);
  TMyFont font;
  auto* pre = new TPreFormated(&doc, 0, font, nullptr, 1);
  doc.Add(rule);
  doc.Add(plain);
  doc.Add(pre);
  EXPECT_EQ(rule->FlowHeight, 20 - 2 + 5);
  EXPECT_TRUE(rule->Percent);
  EXPECT_EQ(rule->RuleWidth, 50);
  EXPECT_TRUE(rule->HasColor);
  EXPECT_EQ(plain->Thickness, 2);
  EXPECT_FALSE(plain->HasColor);
  EXPECT_EQ(pre->Text, " ");
  TOListItem a(&doc, 1, 26, 'a', font, nullptr), roman(&doc, 1, 21, 'I', font, nullptr),
      zero(&doc, 1, 0, 'I', font, nullptr);
  EXPECT_EQ(a.Label(), "z.");
  EXPECT_EQ(roman.Label(), "XX.");
  EXPECT_EQ(zero.Label(), "I.");
  EXPECT_EQ(a.MarkerKind, 1);
  TDListItem d(&doc, 1, font, nullptr);
  EXPECT_EQ(d.MarkerKind, 3);
  std::unique_ptr<TSectionBase> copy(a.Clone(&doc));
  EXPECT_EQ(static_cast<TOListItem*>(copy.get())->Label(), "z.");
}

}  // namespace
