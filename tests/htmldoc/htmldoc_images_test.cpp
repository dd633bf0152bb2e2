// Images of documents built through the building calls: attributes, sizing
// with and without pictures, fetching from exactly one source, cache uses
// shared by two documents, and the hit tests that find links, maps and
// image inputs.  Runs natively (pictures are GIFs or BMP sizes) and under
// Wine (real bitmaps), where WINEDEBUG=warn+heap makes a freed picture
// that is still drawn fail loudly.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "gifimage.h"
#include "htmlmap.h"
#include "htmlscan.h"
#include "htmltext.h"
#include "imgcache.h"
#include "test_support.h"

using namespace htmlsubs;
using htmlun2::TAttributeList;

namespace {

std::string Scratch(const std::string& name) { return testsupport::Join(testsupport::ScratchDir(), name); }

#ifndef _WIN32
// Natively nothing is drawn; a canvas is only passed along.
}  // namespace
class TCanvas {};
namespace {
#endif

// A document of one section holding an IMG with the given attributes.
struct TDoc {
  TSectionList list;
  TSection* section;
  TImageObj* image;
  explicit TDoc(const TAttributeList& attrs, const TUrlTarget* link = nullptr) {
    TMyFont font;
    section = new TSection(&list, 0, font, link, 1);
    section->AppendText("see ");
    image = section->InsertImage(&attrs);
    section->AppendText(" here");
    list.Add(section);
  }
  int Layout(int width = 600) {
    int sw = 0, curs = 0;
    return list.Arrange(ScreenMeasure(), 0, width, sw, curs);
  }
};

using TAttrs = std::unique_ptr<TAttributeList>;

TAttrs Attrs(std::initializer_list<std::pair<int, std::string>> items) {
  auto a = std::make_unique<TAttributeList>();
  for (const auto& [which, text] : items) {
    int value = 0;
    try {
      value = std::stoi(text);
    } catch (...) {
    }
    a->AddAttribute(which, value, text);
  }
  return a;
}

class HtmlDocImages : public ::testing::Test {
 protected:
  void SetUp() override {
    htmlun2::StartImageCache();
    testsupport::WriteFileBytes(Scratch("tall.bmp"), testsupport::SolidBmp24(100, 200, 0x00FF00));
    testsupport::WriteFileBytes(Scratch("float.bmp"), testsupport::SolidBmp24(40, 30, 0x0000FF));
    gif_ = testsupport::ReadFileBytes(
        testsupport::Join(testsupport::SourceDir(), "tests/gifimage/corpus/anim-pil.gif"));
    testsupport::WriteFileBytes(Scratch("ANIM.GIF"), gif_);
  }
  void TearDown() override { htmlun2::BitmapList->PurgeCache(); }
  std::vector<uint8_t> gif_;
};

TEST_F(HtmlDocImages, AttributesAndSizing) {
  using namespace readhtml;
  {  // Only HEIGHT: the width follows the picture's proportions; in a link
     // the box has a border, and the attributes are read as given.
    TAttrs a = Attrs({{SrcAttr, Scratch("tall.bmp")}, {HeightAttr, "50"}, {AlignAttr, "absmiddle"},
                              {HSpaceAttr, "-7"}, {UseMapAttr, "#Nav"}, {IsMapAttr, ""}});
    TUrlTarget link;
    link.Assign("next.htm", "");
    TDoc d(*a, &link);
    d.Layout();
    EXPECT_EQ(d.image->PicWidth, 25);
    EXPECT_EQ(d.image->PicHeight, 50);
    EXPECT_EQ(d.image->BoxWidth, 27);
    EXPECT_EQ(d.image->BoxHeight, 52);
    EXPECT_EQ(d.image->Align, AlignMiddle);
    EXPECT_EQ(d.image->HSpace, 7);
    EXPECT_EQ(d.image->UseMapName, "NAV");
    EXPECT_TRUE(d.image->IsMap && d.image->UseMap);
    EXPECT_EQ(d.list.AnimatedImages.Count(), 0);
  }
  {  // BORDER=0 drops the border; WIDTH with "%" is ignored; negative and
     // huge sizes are held to bounds; the most negative HSPACE is 20.
    TAttrs a = Attrs({{SrcAttr, Scratch("tall.bmp")}, {BorderAttr, "0"}, {WidthAttr, "50%"},
                              {HeightAttr, "2147483647"}, {HSpaceAttr, "-2147483648"}});
    TUrlTarget link;
    link.Assign("next.htm", "");
    TDoc d(*a, &link);
    d.Layout();
    EXPECT_EQ(d.image->AttrWidth, 0);
    EXPECT_EQ(d.image->PicHeight, MaxImageSide);
    EXPECT_EQ(d.image->PicWidth, (MaxImageSide + 1) / 2);
    EXPECT_EQ(d.image->BoxHeight, MaxImageSide);
    EXPECT_EQ(d.image->HSpace, 20);
    TAttrs b = Attrs({{SrcAttr, Scratch("tall.bmp")}, {WidthAttr, "-40"}, {HeightAttr, "-1"}});
    TDoc e(*b);
    e.Layout();
    EXPECT_EQ(e.image->PicWidth, 100);
    EXPECT_EQ(e.image->PicHeight, 200);
  }
  // Placeholders: with images off an image grows to hold its ALT text in
  // Arial 8 beside the 24-pixel icon; without ALT it is 24 x 24 at least.
  TFontDesc arial;
  arial.SetName("Arial");
  arial.SetSize(8);
  ThtMeasure& m = ScreenMeasure();
  m.SelectFont(arial);
  const int altWidth = m.TextWidth(std::string("Company logo")) + 26;
  const int altHeight = std::max(24, m.Metrics().Height);
  for (bool viewImages : {false, true}) {
    TAttrs a = Attrs({{SrcAttr, viewImages ? Scratch("missing.bmp") : Scratch("tall.bmp")},
                              {AltAttr, "Company logo"}});
    TDoc d(*a);
    d.list.ViewImages = viewImages;
    d.Layout();
    EXPECT_EQ(d.image->BoxWidth, altWidth);
    EXPECT_EQ(d.image->BoxHeight, altHeight);
    EXPECT_FALSE(d.image->Sized);
    EXPECT_EQ(d.image->Transparent, viewImages ? 1 : 0);  // the broken image counts as transparent
    EXPECT_EQ(d.image->Image, viewImages ? ErrorPicture() : nullptr);
    TAttrs b = Attrs({{SrcAttr, Scratch("missing.bmp")}});
    TDoc e(*b);
    e.list.ViewImages = viewImages;
    e.Layout();
    EXPECT_EQ(e.image->BoxWidth, 24);
    EXPECT_EQ(e.image->BoxHeight, 24);
  }
  {  // Images off and then on: the placeholder is measured again and the
     // picture fetched once.
    TAttrs a = Attrs({{SrcAttr, Scratch("tall.bmp")}});
    TDoc d(*a);
    d.list.ViewImages = false;
    d.Layout();
    EXPECT_EQ(d.image->BoxWidth, 24);
    d.list.ViewImages = true;
    d.Layout();
    EXPECT_EQ(d.image->BoxWidth, 100);
    TObject* first = d.image->Image;
    d.Layout();
    EXPECT_EQ(d.image->Image, first);
  }
}

TEST_F(HtmlDocImages, FetchAsksExactlyOneSource) {
  using namespace readhtml;
  // ".GIF" in upper case is read as a GIF.
  {
    TAttrs a = Attrs({{SrcAttr, Scratch("ANIM.GIF")}});
    TDoc d(*a);
    d.Layout();
    ASSERT_NE(AsGif(d.image->Image), nullptr);
    EXPECT_EQ(d.image->PicWidth, 12);
    EXPECT_EQ(d.list.AnimatedImages.Count(), 1);
  }
  // A stream event that hands nothing ends the fetch: the file that exists
  // is not read.
  {
    TAttrs a = Attrs({{SrcAttr, Scratch("tall.bmp")}});
    TDoc d(*a);
    std::vector<std::string> asked;
    d.list.OnImageRequest = [&](TObject*, const std::string& src, TMemoryStream*& s) {
      asked.push_back(src);
      s = nullptr;
    };
    d.list.OnExpandName = [](const std::string& n) { return "expanded-" + n; };
    d.Layout();
    EXPECT_EQ(d.image->Image, ErrorPicture());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], Scratch("tall.bmp"));  // not expanded while an event is assigned
  }
  // The stream is sniffed: GIF bytes make a GIF whatever the name says, a
  // bitmap a bitmap; an empty stream nothing.
  {
    TMemoryStream gifStream, bmpStream, empty;
    gifStream.Write(gif_.data(), int(gif_.size()));
    std::vector<uint8_t> bmp = testsupport::SolidBmp24(7, 9, 0);
    bmpStream.Write(bmp.data(), int(bmp.size()));
    int n = 0;
    for (TMemoryStream* s : {&gifStream, &bmpStream, &empty}) {
      TAttrs a = Attrs({{SrcAttr, "stream" + std::to_string(++n) + ".bmp"}});
      TDoc d(*a);
      d.list.OnImageRequest = [&](TObject*, const std::string&, TMemoryStream*& out) { out = s; };
      d.Layout();
      if (s == &gifStream) {
        EXPECT_NE(AsGif(d.image->Image), nullptr);
      } else if (s == &bmpStream) {
        EXPECT_EQ(d.image->PicWidth, 7);
        EXPECT_EQ(d.image->PicHeight, 9);
      } else {
        EXPECT_EQ(d.image->Image, ErrorPicture());
      }
    }
  }
  // The bitmap event alone is asked when assigned (and handing nothing
  // leaves the broken image).
  {
    TAttrs a = Attrs({{SrcAttr, Scratch("tall.bmp")}});
    TDoc d(*a);
    int calls = 0;
    d.list.OnImageRequest = [&](TObject*, const std::string&, TMemoryStream*&) { ++calls; };
    d.list.OnBitmapRequest = [&](TObject*, const std::string&, TBitmap*& b, TColor&) {
      ++calls;
      b = nullptr;
    };
    d.Layout();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(d.image->Image, ErrorPicture());
  }
}

// Two documents share a cached picture.  The first is cleared; page loads
// age the cache past its limit and a failing load purges it: the second
// document's picture stays alive and drawable, and goes only when the
// second document gives it back too.
TEST_F(HtmlDocImages, CachedPicturesLiveWhileADocumentUsesThem) {
  using namespace readhtml;
  TAttrs bmp = Attrs({{SrcAttr, Scratch("float.bmp")}, {AlignAttr, "left"}});
  TAttrs gif = Attrs({{SrcAttr, Scratch("ANIM.GIF")}});
  TDoc first(*bmp), second(*bmp);
  TImageObj* firstGif = first.section->InsertImage(gif.get());
  TImageObj* secondGif = second.section->InsertImage(gif.get());
  first.list.SetBackImage(Scratch("tall.bmp"));
  second.list.SetBackImage(Scratch("tall.bmp"));
  first.Layout();
  second.Layout();
  ASSERT_NE(first.list.GetBackImage(), nullptr);
  ASSERT_NE(second.list.GetBackImage(), nullptr);
  EXPECT_EQ(first.image->Image, second.image->Image);
  // The second fetch of the GIF is a copy that animates on its own.
  EXPECT_NE(firstGif->Image, secondGif->Image);
  EXPECT_EQ(second.list.AnimatedImages.Count(), 1);
  EXPECT_EQ(second.list.AnimatedImages.Items(0), secondGif->Image);

  // A copied section holds uses of its own; copied into another document
  // its GIF animates there.
  TSectionList other;
  {
    TCell copy(&second.list, second.list);
    TCell elsewhere(&other, second.list);
    EXPECT_EQ(second.list.AnimatedImages.Count(), 2);
    ASSERT_EQ(other.AnimatedImages.Count(), 1);
    EXPECT_NE(other.AnimatedImages.Items(0), secondGif->Image);
  }
  EXPECT_EQ(second.list.AnimatedImages.Count(), 1);
  EXPECT_EQ(other.AnimatedImages.Count(), 0);
  first.list.Clear();
  for (int i = 0; i <= htmlun2::BitmapList->MaxCache + 2; ++i) htmlun2::BitmapList->BumpAndCheck();
  // A GIF whose structure reads but whose data does not: the reader purges
  // the cache of unused entries.
  testsupport::WriteFileText(Scratch("broken.gif"), "GIF89a\x01");
  TAttrs bad = Attrs({{SrcAttr, Scratch("broken.gif")}});
  TDoc third(*bad);
  third.Layout();
  EXPECT_EQ(third.image->Image, ErrorPicture());
  htmlun2::BitmapList->PurgeCache();

  int w = 0, h = 0;
  PictureSize(second.image->Image, w, h);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
  PictureSize(second.list.GetBackImage(), w, h);
  EXPECT_EQ(w, 100);
  PictureSize(secondGif->Image, w, h);
  EXPECT_EQ(w, 12);
  const std::string key = UpperCase(Scratch("float.bmp"));
  int at = htmlun2::BitmapList->IndexOf(key);
  ASSERT_GE(at, 0);
  EXPECT_EQ(htmlun2::BitmapList->Item(at)->UsageCount, 1);
  // The second document's copy of the GIF still holds its use of the
  // cached one.
  at = htmlun2::BitmapList->IndexOf(UpperCase(Scratch("ANIM.GIF")));
  ASSERT_GE(at, 0);
  EXPECT_EQ(htmlun2::BitmapList->Item(at)->UsageCount, 1);

  second.list.Clear();
  EXPECT_EQ(second.list.AnimatedImages.Count(), 0);
  htmlun2::BitmapList->PurgeCache();
  EXPECT_LT(htmlun2::BitmapList->IndexOf(key), 0);
}

#ifndef _WIN32
// With the fixed metrics: 6 pixels a character, lines 13 high.
class TFakeControl : public TFormControlBase {
 public:
  TFakeControl(int w, int h, bool window = true) : w_(w), h_(h), window_(window) {}
  bool HasWindow() const override { return window_; }
  int ControlWidth() const override { return w_; }
  int ControlHeight() const override { return h_; }
  void SetHeightWidth(ThtMeasure&) override { ++sized; }
  void HideWindow() override { ++hidden; }
  void RecordClick(int x, int y) override {
    clickX = x;
    clickY = y;
  }
  int sized = 0, hidden = 0, clickX = -1, clickY = -1;

 private:
  int w_, h_;
  bool window_;
};

// Links under the mouse: text runs, an ISMAP image, a client-side map and
// an image input, through the cell's walk over its sections.
TEST_F(HtmlDocImages, LinksUnderThePoint) {
  using namespace readhtml;
  TSectionList doc;
  TMyFont font;  // 6 pixels a character, lines 13 high
  auto* first = new TSection(&doc, 0, font, nullptr, 1);
  first->AppendText("plain ");
  TUrlTarget link;
  link.Assign("a.htm", "main");
  first->SetLinkRun(HrefAttr, &link, font);
  first->AppendText("linked");
  first->SetLinkRun(0, nullptr, font);
  first->AppendText(" after");
  doc.Add(first);

  auto* second = new TSection(&doc, 0, font, nullptr, 1);
  second->SetLinkRun(HrefAttr, &link, font);
  TAttrs ismap = Attrs({{SrcAttr, Scratch("float.bmp")}, {IsMapAttr, ""}});
  TImageObj* pic = second->InsertImage(ismap.get());
  second->SetLinkRun(0, nullptr, font);
  TAttrs mapped = Attrs({{SrcAttr, Scratch("float.bmp")}, {UseMapAttr, "#nav"}, {BorderAttr, "0"}});
  TImageObj* mapPic = second->InsertImage(mapped.get());
  TFakeControl input(0, 0, false);
  TAttrs inputAttrs = Attrs({{SrcAttr, Scratch("float.bmp")}});
  TImageObj* inputPic = second->InsertImage(inputAttrs.get(), &input);
  doc.Add(second);
  auto* map = new htmlun2::TMapItem;
  map->MapName = "Nav";
  TAttrs area = Attrs({{ShapeAttr, "rect"}, {CoordsAttr, "0,0,10,10"}, {HrefAttr, "map.htm"}});
  map->AddArea(*area, htmlun2::TAreaKinds{HrefAttr, TargetAttr, CoordsAttr, ShapeAttr});
  doc.ImageMaps.Add(map);

  int sw = 0, curs = 0;
  doc.Arrange(ScreenMeasure(), 0, 600, sw, curs);
  ASSERT_EQ(first->FlowHeight, 13);
  // Drawing would record where the pictures stand.
  pic->ShownX = 1;
  pic->ShownY = 14;
  mapPic->ShownX = 100;
  mapPic->ShownY = 13;
  inputPic->ShownX = 200;
  inputPic->ShownY = 13;

  ThtMeasure& m = ScreenMeasure();
  TUrlTarget got;
  TFormControlBase* control = nullptr;
  EXPECT_TRUE(doc.LinkAt(m, 6 * 6 + 1, 5, got, control));
  EXPECT_EQ(got.URL, "a.htm");
  EXPECT_EQ(got.Target, "main");
  EXPECT_FALSE(doc.LinkAt(m, 6 * 2, 5, got, control));
  EXPECT_FALSE(doc.LinkAt(m, 6 * 13, 5, got, control));
  EXPECT_FALSE(doc.LinkAt(m, 6 * 40, 5, got, control));  // past the line's end
  // The ISMAP picture in a link: its border is left out of the hit box.
  EXPECT_EQ(pic->BoxWidth, 42);
  EXPECT_TRUE(doc.LinkAt(m, 1 + 5, 14 + 7, got, control));
  EXPECT_EQ(got.URL, "a.htm?5,7");
  // On its border the picture is still part of the linked line.
  EXPECT_TRUE(doc.LinkAt(m, 1 + 40, 14 + 7, got, control));
  EXPECT_EQ(got.URL, "a.htm");
  // The map's area gives its link; outside the area the picture has none.
  EXPECT_TRUE(doc.LinkAt(m, 100 + 3, 13 + 4, got, control));
  EXPECT_EQ(got.URL, "map.htm");
  EXPECT_FALSE(doc.LinkAt(m, 100 + 30, 13 + 4, got, control));
  // The image input records where it was clicked.
  EXPECT_TRUE(doc.LinkAt(m, 200 + 9, 13 + 2, got, control));
  EXPECT_EQ(control, &input);
  EXPECT_EQ(input.clickX, 9);
  EXPECT_EQ(input.clickY, 2);

  // The image list's queries by position.
  int align = -1;
  EXPECT_EQ(second->Pictures.BoxWidthAt(1, align), mapPic->BoxWidth);
  EXPECT_EQ(align, AlignBottom);
  EXPECT_EQ(second->Pictures.BoxHeightAt(0, align), pic->BoxHeight);
  EXPECT_EQ(second->Pictures.BoxHeightAt(3, align), -1);
  EXPECT_EQ(second->Pictures.DistanceToImage(1), 0);
  EXPECT_EQ(second->Pictures.DistanceToImage(3), 9999);
  EXPECT_EQ(second->Pictures.ImageAt(2), inputPic);

  // Position and caret through the cell.
  TCell* cell = nullptr;
  int cx = 0, cy = 0, ch = 0;
  EXPECT_EQ(doc.PositionAt(m, 6 * 3 + 1, 5, cx, cy, ch, cell), 3);
  EXPECT_EQ(cell, &doc);
  EXPECT_EQ(cx, 18);
  EXPECT_EQ(ch, 13);
  cell = nullptr;
  EXPECT_EQ(doc.PositionAt(m, 0, 10000, cx, cy, ch, cell), -1);
  EXPECT_EQ(cell, nullptr);
}

TEST_F(HtmlDocImages, ControlsWidthLimitsAndPreformattedText) {
  TSectionList doc;
  TMyFont font;
  auto* s = new TSection(&doc, 0, font, nullptr, 1);
  s->AppendText("aaa ");
  TFakeControl wide(50, 30), check(13, 13), hidden(0, 0, false);
  check.OnBaseline = true;
  s->InsertControl(&wide);
  s->InsertControl(&hidden);  // no window: no placeholder
  s->InsertControl(&check);
  s->AppendText(" bbbbb");
  doc.Add(s);
  doc.AllControls.Add(&wide);
  doc.AllControls.Add(&check);
  EXPECT_EQ(s->Text, std::string("aaa \2\2 bbbbb"));
  EXPECT_EQ(wide.Pos, 4);
  EXPECT_EQ(s->Controls.DistanceToControl(5), 0);
  EXPECT_EQ(s->Controls.DistanceToControl(6), 9999);

  int sw = 0, curs = 0;
  ThtMeasure& m = ScreenMeasure();
  doc.Arrange(m, 0, 600, sw, curs);
  EXPECT_EQ(wide.sized, 1);
  ASSERT_EQ(s->LaidLines.Count(), 1);
  // The control on the line bottom rises 30 - 13 above the text; the check
  // box on the baseline 13 - (13 - 2).
  EXPECT_EQ(s->Line(0)->ExtraAbove, 17);
  int mn = 0, mx = 0;
  s->WidthLimits(m, mn, mx);
  EXPECT_EQ(mx, 10 * 6 + 50 + 13);
  EXPECT_EQ(mn, 50 + 13);  // the two controls stand together as one word
  // A control wider than any room stands on its own line; layout ends.
  for (int width = 0; width <= 2000; ++width) {
    doc.Arrange(m, 0, width, sw, curs);
    ASSERT_LE(s->LaidLines.Count(), 6) << width;
  }

  // Scrolling marks every control not shown; the next draw hides those it
  // did not draw, a draw without scrolling hides nothing.
  wide.Shown = check.Shown = true;
  doc.SetScrollTop(40);
  EXPECT_FALSE(wide.Shown || check.Shown);
  TCanvas canvas;
  ThtRect clip{0, 0, 600, 400};
  doc.Render(canvas, clip, 600, 0, 0);
  EXPECT_EQ(wide.hidden, 1);
  doc.Render(canvas, clip, 600, 0, 0);
  EXPECT_EQ(wide.hidden, 1);
  doc.Clear();

  // Preformatted text does not wrap; its widths are its whole text.
  TSectionList pre;
  auto* p = new TPreFormated(&pre, 1, font, nullptr, 1);
  p->AppendText("int main() { return 0; }  // a long line");
  pre.Add(p);
  pre.Arrange(m, 0, 60, sw, curs);
  EXPECT_EQ(p->LaidLines.Count(), 1);
  EXPECT_EQ(sw, 40 * 6 + 35);
  p->WidthLimits(m, mn, mx);
  EXPECT_EQ(mx, 40 * 6 + 35);
  EXPECT_EQ(mn, mx);
  // Clicks in a line of 20000 characters find their place quickly.
  auto* longLine = new TPreFormated(&pre, 0, font, nullptr, 1);
  longLine->AppendText(std::string(TSection::MaxText, 'x'));
  pre.Add(longLine);
  pre.Arrange(m, 0, 60, sw, curs);
  ASSERT_EQ(longLine->LaidLines.Count(), 1);
  for (int k : {0, 1, 12345, TSection::MaxText - 1}) {
    int cx = 0, cy = 0, ch = 0, pos = -1;
    EXPECT_TRUE(longLine->PositionAt(m, longLine->Line(0)->LineX + 6 * k + 2, 3, cx, cy, ch, pos));
    EXPECT_EQ(pos, longLine->FirstPos + k);
    EXPECT_EQ(cx, longLine->Line(0)->LineX + 6 * k);
  }
  auto* empty = new TPreFormated(&pre, 0, font, nullptr, 1);
  pre.Add(empty);
  EXPECT_EQ(empty->Text, " ");
}

#endif

TEST_F(HtmlDocImages, DocumentDefaultsAndBackground) {
  TSectionList doc;
  int changes = 0;
  doc.OnBackColorChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &doc);
    ++changes;
  };
  TMyFont font;
  font.SetScaleSize(doc, 12);
  auto* s = new TSection(&doc, 0, font, nullptr, 1);
  s->AppendText("text");
  doc.Add(s);
  const int before = s->Runs.Run(0)->RunHeight;
  doc.SetDefaults(std::string(40, 'F'), "Courier New", 0xC0C0C0, 0xFF0000, 0x000080, 24);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(doc.Background, 0xC0C0C0u);
  EXPECT_EQ(doc.DefaultFace.size(), 32u);
  EXPECT_EQ(s->Runs.Run(0)->Font->Size(), 24);
  EXPECT_GT(s->Runs.Run(0)->RunHeight, before);
  EXPECT_EQ(s->Runs.Run(0)->Font->Color(), 0x000080u | PaletteRelative);

  // A GIF is no background; images off fetch nothing; either way it is
  // tried once.
  doc.SetBackImage(Scratch("ANIM.GIF"));
  EXPECT_EQ(doc.GetBackImage(), nullptr);
  EXPECT_TRUE(doc.BackImageTried);
  doc.SetBackImage(Scratch("tall.bmp"));
  doc.ViewImages = false;
  EXPECT_EQ(doc.GetBackImage(), nullptr);
  EXPECT_FALSE(doc.BackImageTried);
  doc.ViewImages = true;
  EXPECT_NE(doc.GetBackImage(), nullptr);
  doc.Clear();
  EXPECT_TRUE(doc.BackImageName.empty());
  htmlun2::BitmapList->PurgeCache();
  EXPECT_EQ(htmlun2::BitmapList->Count(), 0);
}

}  // namespace
