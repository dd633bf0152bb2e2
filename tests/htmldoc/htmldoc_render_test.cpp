// A document built through the building calls, laid out and drawn with real
// GDI under Wine: text in three faces with a link and a selection, a
// bulleted list at three levels, an ordered list, two rules, an inline
// animated GIF and a floating BMP, then the same document with images off
// (placeholders with ALT text).  Both drawings are checked at a few pixels
// and shown on one form for a screenshot.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gifimage.h"
#include "gui_test_support.h"
#include "htmlscan.h"
#include "htmltext.h"
#include "imgcache.h"
#include "test_support.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/htmlimages.h"

using namespace htmlsubs;
using testsupport::Pump;

namespace {

constexpr int kWidth = 460, kHeight = 400, kLeft = 10;

std::unique_ptr<htmlun2::TAttributeList> Attrs(std::initializer_list<std::pair<int, std::string>> items) {
  auto a = std::make_unique<htmlun2::TAttributeList>();
  for (const auto& [which, text] : items) a->AddAttribute(which, std::atoi(text.c_str()), text);
  return a;
}

void Face(TMyFont& f, TSectionList& doc, const std::string& name, int scale = 12) {
  f.SetName(name);
  f.SetScaleSize(doc, scale);
  f.SetColor(clBlack | PaletteRelative);
}

struct TBuilt {
  TSection* text = nullptr;
  TUListItem* bullets[3] = {};
  THorzLine* plainRule = nullptr;
  THorzLine* redRule = nullptr;
  TSection* pictures = nullptr;
  TImageObj* gif = nullptr;
  TImageObj* floatBmp = nullptr;
  TImageObj* clearGif = nullptr;
  TSection* formula = nullptr;
};

TBuilt Build(TSectionList& doc, const std::string& dir) {
  using namespace readhtml;
  TBuilt b;
  doc.SetDefaults("Times New Roman", "Courier New", clBtnFace, clBlue, clBlack, 12);
  TMyFont times, arial, courier, linkFont;
  Face(times, doc, "Times New Roman");
  Face(arial, doc, "Arial");
  Face(courier, doc, "Courier New");
  Face(linkFont, doc, "Times New Roman");
  b.text = new TSection(&doc, 0, times, nullptr, 1);
  b.text->AppendText("Selected Times ");
  b.text->SwitchFont(arial);
  b.text->AppendText("then Arial ");
  b.text->SwitchFont(courier);
  b.text->AppendText("and Courier, ");
  TUrlTarget link;
  link.Assign("next.htm", "");
  linkFont.SetColor(clBlue | PaletteRelative);
  linkFont.SetStyle(fsUnderline);
  b.text->SetLinkRun(HrefAttr, &link, linkFont);
  b.text->AppendText("a link");
  b.text->SetLinkRun(0, nullptr, times);
  b.text->AppendText(".");
  doc.Add(b.text);
  for (int level = 1; level <= 3; ++level) {
    b.bullets[level - 1] = new TUListItem(&doc, level, times, nullptr);
    b.bullets[level - 1]->AppendText("Bullet at level " + std::to_string(level));
    doc.Add(b.bullets[level - 1]);
  }
  for (int n = 1; n <= 2; ++n) {
    auto* item = new TOListItem(&doc, 1, n + 2, 'I', times, nullptr);
    item->AppendText("Roman item");
    doc.Add(item);
  }
  auto plain = Attrs({{SizeAttr, "4"}});
  b.plainRule = new THorzLine(&doc, plain.get());
  doc.Add(b.plainRule);
  auto red = Attrs({{ColorAttr, "red"}, {WidthAttr, "50%"}, {SizeAttr, "6"}});
  b.redRule = new THorzLine(&doc, red.get());
  doc.Add(b.redRule);
  b.pictures = new TSection(&doc, 0, times, nullptr, 1);
  auto floatAttrs =
      Attrs({{SrcAttr, testsupport::Join(dir, "float.bmp")}, {AlignAttr, "left"}, {AltAttr, "Blue float"}});
  b.floatBmp = b.pictures->InsertImage(floatAttrs.get());
  b.pictures->AppendText("Text beside the float with an animated ");
  auto gifAttrs = Attrs({{SrcAttr, testsupport::Join(dir, "anim.gif")}, {AltAttr, "GIF"}, {HeightAttr, "18"}});
  b.gif = b.pictures->InsertImage(gifAttrs.get());
  b.pictures->AppendText(" picture inline, and more text that wraps ");
  auto clear = Attrs({{SrcAttr, testsupport::Join(dir, "clear.gif")}});
  b.clearGif = b.pictures->InsertImage(clear.get());
  b.pictures->AppendText(" beside a transparent one.");
  doc.Add(b.pictures);
  b.formula = new TSection(&doc, 0, times, nullptr, 1);
  b.formula->AppendText("E=mc");
  b.formula->SwitchFont(times, 2);
  b.formula->AppendText("2");
  doc.Add(b.formula);
  return b;
}

COLORREF Px(TBitmap& b, int x, int y) { return GetPixel(b.Canvas().Handle(), x, y); }

void Draw(TSectionList& doc, TBitmap& bmp) {
  bmp.Canvas().Brush().SetColor(clBtnFace);
  bmp.Canvas().FillRect(RECT{0, 0, kWidth, kHeight});
  doc.Render(bmp.Canvas(), ThtRect{0, 0, kWidth, kHeight}, kWidth - 2 * kLeft, kLeft, 0);
}

TEST(HtmlDocRender, DocumentDrawnWithRealGdi) {
  htmlun2::StartHtmlImages();
  const std::string dir = testsupport::ScratchDir();
  testsupport::WriteFileBytes(testsupport::Join(dir, "float.bmp"), testsupport::SolidBmp24(40, 30, 0x0000FF));
  testsupport::WriteFileBytes(
      testsupport::Join(dir, "anim.gif"),
      testsupport::ReadFileBytes(testsupport::Join(testsupport::SourceDir(), "tests/gifimage/corpus/anim-pil.gif")));
  testsupport::WriteFileBytes(
      testsupport::Join(dir, "clear.gif"),
      testsupport::ReadFileBytes(testsupport::Join(testsupport::SourceDir(), "tests/gifimage/corpus/transparent.gif")));
  testsupport::WriteFileBytes(testsupport::Join(dir, "back.bmp"), testsupport::SolidBmp24(8, 8, 0x00FFFF));

  TForm* form = new TForm(Application);
  form->SetBounds(20, 20, 2 * kWidth + 40, kHeight + 60);
  form->SetCaption("Document model");
  auto docOwner = std::make_unique<TSectionList>(form, form);
  auto noImagesOwner = std::make_unique<TSectionList>(form, form);
  TSectionList& doc = *docOwner;
  TSectionList& noImages = *noImagesOwner;
  TBuilt on = Build(doc, dir);
  TBuilt off = Build(noImages, dir);
  // Transparent GIFs lie on the page's background picture.
  doc.SetBackImage(testsupport::Join(dir, "back.bmp"));
  noImages.ViewImages = false;
  ThtMeasure& m = ScreenMeasure();
  int sw = 0, curs = 0;
  doc.Arrange(m, 0, kWidth - 2 * kLeft, sw, curs);
  curs = 0;
  noImages.Arrange(m, 0, kWidth - 2 * kLeft, sw, curs);
  // The animated GIF runs the document's timer; without one it stays off.
  ASSERT_NE(doc.AnimationTimer, nullptr);
  EXPECT_TRUE(doc.AnimationTimer->Enabled());
  EXPECT_EQ(doc.AnimationTimer->Interval(), 50u);
  EXPECT_FALSE(noImages.AnimationTimer->Enabled());

  // The first word is selected.
  doc.SelStartPos = 0;
  doc.SelEndPos = 8;
  TBitmap withImages(kWidth, kHeight), placeholders(kWidth, kHeight);
  Draw(doc, withImages);
  Draw(noImages, placeholders);
  EXPECT_TRUE(doc.AnimationTimer->Enabled());
  TGIFImage* animated = AsGif(on.gif->Image);
  TGIFImage* clearGif = AsGif(on.clearGif->Image);
  EXPECT_TRUE(doc.WasDrawn(animated));
  EXPECT_TRUE(doc.WasDrawn(clearGif));
  {
    // A paint of one GIF's place (its next frame) keeps the other GIF
    // going; scrolled out of the panel both stop.
    TBitmap scratch(kWidth, kHeight);
    const ThtRect one{on.gif->ShownX, on.gif->ShownY, on.gif->ShownX + on.gif->PicWidth,
                      on.gif->ShownY + on.gif->PicHeight};
    doc.Render(scratch.Canvas(), one, kWidth - 2 * kLeft, kLeft, 0);
    EXPECT_TRUE(doc.WasDrawn(animated));
    EXPECT_TRUE(doc.WasDrawn(clearGif));
    doc.SetScrollTop(5000);
    doc.Render(scratch.Canvas(), one, kWidth - 2 * kLeft, kLeft, 0);
    EXPECT_FALSE(doc.WasDrawn(animated));
    EXPECT_FALSE(doc.WasDrawn(clearGif));
    doc.SetScrollTop(0);
    Draw(doc, withImages);
    EXPECT_TRUE(doc.WasDrawn(animated) && doc.WasDrawn(clearGif));
  }

  // The float stands at the band's left edge plus its FloatX, from the top
  // of its line.
  EXPECT_EQ(on.floatBmp->ShownX, kLeft + on.floatBmp->FloatX);
  EXPECT_EQ(on.floatBmp->ShownY, on.pictures->LastTop);
  EXPECT_EQ(Px(withImages, on.floatBmp->ShownX + 5, on.floatBmp->ShownY + 5), RGB(0, 0, 255));
  EXPECT_EQ(Px(withImages, on.floatBmp->ShownX + 39, on.floatBmp->ShownY + 29), RGB(0, 0, 255));
  // Text flows right of the float and its gap.
  EXPECT_GE(on.pictures->Line(0)->LineX, 40 + 5);
  // The GIF is scaled to HEIGHT 18 and drawn where it was placed.
  EXPECT_EQ(on.gif->PicHeight, 18);
  EXPECT_EQ(on.gif->PicWidth, 24);
  COLORREF gifPixel = Px(withImages, on.gif->ShownX + on.gif->PicWidth / 2, on.gif->ShownY + 9);
  EXPECT_NE(gifPixel, GetSysColor(COLOR_BTNFACE));

  // Through the transparent GIF's holes the background tiles show.
  {
    TImageObj* g = on.clearGif;
    ASSERT_NE(AsGif(g->Image), nullptr);
    ASSERT_TRUE(AsGif(g->Image)->IsTransparent());
    int tile = 0;
    for (int x = g->ShownX; x < g->ShownX + g->PicWidth; ++x)
      for (int y = g->ShownY; y < g->ShownY + g->PicHeight; ++y) tile += Px(withImages, x, y) == RGB(0, 255, 255);
    EXPECT_GT(tile, 0);
  }

  // A superscript is raised by a third of its run height.
  {
    TSection* f = on.formula;
    LineRec* line = f->Line(0);
    TFontObj* sup = f->Runs.Run(1);
    EXPECT_EQ(sup->SScript, 2);
    EXPECT_EQ(sup->Font->Size(), 9);
    m.SelectFont(*f->Runs.Run(0)->Font);
    const int x0 = kLeft + line->LineX, xm = x0 + m.TextWidth(std::string("E=")),
              x2 = x0 + m.TextWidth(std::string("E=mc"));
    m.SelectFont(*sup->Font);
    const int x3 = x2 + m.TextWidth(std::string("2"));
    auto lowestInk = [&](int from, int to) {
      int lowest = -1;
      for (int x = from; x < to; ++x)
        for (int y = f->LastTop; y < f->LastTop + f->FlowHeight; ++y)
          if (Px(withImages, x, y) == RGB(0, 0, 0) && y > lowest) lowest = y;
      return lowest;
    };
    const int mcBottom = lowestInk(xm, x2), supBottom = lowestInk(x2, x3);
    ASSERT_GT(mcBottom, 0);
    ASSERT_GT(supBottom, 0);
    EXPECT_NEAR(mcBottom - supBottom, sup->RunHeight / 3, 1);
  }

  // Bullets on the button face: level 1 navy, 2 maroon, 3 red.
  const COLORREF levelColors[3] = {RGB(0, 0, 128), RGB(128, 0, 0), RGB(255, 0, 0)};
  for (int i = 0; i < 3; ++i) {
    TUListItem* item = on.bullets[i];
    LineRec* line = item->Line(0);
    const int cx = kLeft + item->FirstLineX - 8, cy = item->LastTop + line->ExtraAbove + line->TextHt / 2;
    EXPECT_EQ(item->FirstLineX, 35 * (i + 1));
    EXPECT_EQ(Px(withImages, cx, cy), levelColors[i]) << "level " << i + 1;
    EXPECT_EQ(Px(withImages, cx + 4, cy), GetSysColor(COLOR_BTNFACE));
  }

  // The selection: the cell behind the glyphs is in the text colour and the
  // glyphs in the page colour; the unselected text next to it is drawn
  // transparent.
  {
    LineRec* line = on.text->Line(0);
    const int top = on.text->LastTop + line->ExtraAbove;
    int dark = 0, face = 0, total = 0;
    m.SelectFont(*on.text->Runs.Run(0)->Font);
    const int selWidth = m.TextWidth(std::string("Selected"));
    for (int x = kLeft + line->LineX + 1; x < kLeft + line->LineX + selWidth - 1; ++x)
      for (int y = top; y < top + line->TextHt; ++y) {
        COLORREF c = Px(withImages, x, y);
        ++total;
        dark += c == RGB(0, 0, 0);
        face += c == GetSysColor(COLOR_BTNFACE);
      }
    EXPECT_GT(dark, total / 2);
    EXPECT_GT(face, total / 20);
    int after = 0;
    for (int x = kLeft + line->LineX + selWidth + 2; x < kLeft + line->LineX + selWidth + 30; ++x)
      after += Px(withImages, x, top) == RGB(0, 0, 0);
    EXPECT_EQ(after, 0);
  }

  // Rules: the coloured one a red bar of half the room, centred; the plain
  // one a sunken outline.
  {
    const int mid = on.redRule->LastTop + on.redRule->FlowHeight / 2;
    EXPECT_EQ(Px(withImages, kWidth / 2, mid), RGB(255, 0, 0));
    EXPECT_EQ(Px(withImages, kLeft + 60, mid), GetSysColor(COLOR_BTNFACE));
    const int top = on.plainRule->LastTop + (on.plainRule->FlowHeight - 4) / 2;
    EXPECT_EQ(Px(withImages, kWidth / 2, top), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(Px(withImages, kWidth / 2, top + 3), GetSysColor(COLOR_BTNHIGHLIGHT));
  }

  // Images off: the float keeps its place as a placeholder with its ALT
  // text inside a sunken frame.
  {
    TImageObj* f = off.floatBmp;
    EXPECT_EQ(f->ShownX, kLeft + f->FloatX);
    EXPECT_GE(f->BoxWidth, 24 + 26);
    EXPECT_EQ(Px(placeholders, f->ShownX, f->ShownY + 10), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(Px(placeholders, f->ShownX + f->PicWidth - 1, f->ShownY + 10), GetSysColor(COLOR_BTNHIGHLIGHT));
    int text = 0;
    for (int x = f->ShownX + 24; x < f->ShownX + f->PicWidth - 2; ++x)
      for (int y = f->ShownY + 2; y < f->ShownY + f->PicHeight - 2; ++y) text += Px(placeholders, x, y) == 0;
    EXPECT_GT(text, 10);
  }

  // Printing: the line that would pass the page's bottom starts the next
  // page, and nothing below it is drawn on this one.
  {
    doc.ForPrint = true;
    const int pageBottom = on.bullets[1]->LastTop + 3;
    TBitmap page(kWidth, kHeight);
    page.Canvas().Brush().SetColor(clWhite);
    page.Canvas().FillRect(RECT{0, 0, kWidth, kHeight});
    doc.Render(page.Canvas(), ThtRect{0, 0, kWidth, pageBottom}, kWidth - 2 * kLeft, kLeft, 0);
    EXPECT_EQ(doc.PageBreakY, on.bullets[1]->LastTop);
    EXPECT_EQ(Px(page, on.floatBmp->ShownX + 5, on.pictures->LastTop + 5), RGB(255, 255, 255));
    int ink = 0;
    for (int x = 0; x < kWidth; ++x) ink += Px(page, x, on.text->LastTop + on.text->FlowHeight / 2) != RGB(255, 255, 255);
    EXPECT_GT(ink, 0);
    doc.ForPrint = false;
  }

  TPaintBox* box = new TPaintBox(form);
  box->SetBounds(10, 10, 2 * kWidth + 10, kHeight);
  box->SetParent(form);
  int paints = 0;
  box->OnPaint = [&](TObject* sender) {
    TCanvas& c = static_cast<TPaintBox*>(sender)->Canvas();
    ++paints;
    BitBlt(c.Handle(), 0, 0, kWidth, kHeight, withImages.Canvas().Handle(), 0, 0, SRCCOPY);
    BitBlt(c.Handle(), kWidth + 10, 0, kWidth, kHeight, placeholders.Canvas().Handle(), 0, 0, SRCCOPY);
  };
  form->Show();
  for (int i = 0; i < 200 && paints == 0; ++i) Pump(10);
  Pump(100);
  EXPECT_FALSE(testsupport::Screenshot("htmldoc_render").empty());
  doc.Clear();
  EXPECT_EQ(doc.AnimatedImages.Count(), 0);
  // The documents take their timers with them; the form outlives them.
  const int components = form->ComponentCount();
  docOwner.reset();
  noImagesOwner.reset();
  EXPECT_EQ(form->ComponentCount(), components - 2);
  delete form;
}

}  // namespace
