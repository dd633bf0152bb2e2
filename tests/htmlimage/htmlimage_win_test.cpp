// The viewer's image helpers over real GDI under Wine, with the class
// library's additions they stand on; one form shows the built-in pictures.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "htmlmap.h"
#include "htmlpalette.h"
#include "imgcache.h"
#include "test_support.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/htmlimages.h"

using namespace htmlun2;
using testsupport::Pump;
using testsupport::ScreenPixel;

namespace {

COLORREF Px(TBitmap& b, int x, int y) { return GetPixel(b.Canvas().Handle(), x, y); }

void Fill(TBitmap& b, TColor c) {
  b.Canvas().Brush().SetColor(c);
  b.Canvas().FillRect(RECT{0, 0, b.Width(), b.Height()});
}

bool Alive(HGDIOBJ h) { return GetObjectType(h) != 0; }

// A BMP file written by Pillow: 5 x 4, magenta with a red row and a blue pixel.
std::vector<uint8_t> PillowBmp(const std::string& path, const char* format) {
  std::string log;
  int rc = testsupport::RunUnix(
      "/usr/bin/python3",
      {"-c",
       "import sys\nfrom PIL import Image\nim = Image.new('RGB', (5, 4), (255, 0, 255))\n"
       "for x in range(5): im.putpixel((x, 1), (255, 0, 0))\nim.putpixel((3, 2), (0, 0, 255))\n"
       "if sys.argv[2] == 'GIF':\n"
       "  im = im.quantize(3)\n"
       "  im.save(sys.argv[1], 'GIF', transparency=im.getpixel((0, 3)), optimize=False)\n"
       "else:\n"
       "  im.save(sys.argv[1], 'BMP')\n",
       testsupport::ToUnixPath(path), format},
      &log);
  EXPECT_EQ(rc, 0) << log;
  return testsupport::ReadFileBytes(path);
}

}  // namespace

TEST(HtmlImageGdi, BitmapFormsHandlesPaletteClipAndCursors) {
  TBitmap b(6, 4);
  b.Canvas().SetPixel(1, 1, clBlack);
  b.Canvas().SetPixel(2, 1, clRed);
  b.SetMonochrome(true);
  ASSERT_TRUE(b.Monochrome());
  EXPECT_EQ(b.ScanLine(0), nullptr);
  BITMAP bm{};
  ASSERT_TRUE(GetObjectA(b.Handle(), sizeof bm, &bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(Px(b, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(Px(b, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(Px(b, 2, 1), RGB(0, 0, 0));  // every colour but white turns black
  b.SetSize(8, 4);
  EXPECT_EQ(Px(b, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(Px(b, 7, 0), RGB(255, 255, 255));

  HBITMAP h = b.ReleaseHandle();
  EXPECT_TRUE(b.Empty());
  ASSERT_EQ(GetObjectType(h), DWORD(OBJ_BITMAP));
  {
    TBitmap c;
    c.SetHandle(h);
    EXPECT_EQ(c.Width(), 8);
    EXPECT_EQ(c.Height(), 4);
    EXPECT_TRUE(c.Monochrome());
    EXPECT_EQ(Px(c, 1, 1), RGB(0, 0, 0));
    RECT clip = c.Canvas().ClipRect();
    EXPECT_EQ(clip.left, 0);
    EXPECT_EQ(clip.top, 0);
    EXPECT_EQ(clip.right, 8);
    EXPECT_EQ(clip.bottom, 4);
    // Back to colour: the picture is kept.
    c.SetMonochrome(false);
    EXPECT_NE(c.ScanLine(0), nullptr);
    EXPECT_EQ(Px(c, 1, 1), RGB(0, 0, 0));
    EXPECT_EQ(Px(c, 0, 0), RGB(255, 255, 255));
  }
  EXPECT_FALSE(Alive(h));

  std::vector<uint8_t> mem(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY));
  LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(mem.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 2;
  lp->palPalEntry[1] = PALETTEENTRY{255, 0, 0, 0};
  HPALETTE pal = CreatePalette(lp);
  {
    TBitmap p(4, 4);
    p.SetPalette(pal);
    EXPECT_EQ(GetCurrentObject(p.Canvas().Handle(), OBJ_PAL), pal);
    p.SetSize(5, 5);
    EXPECT_EQ(GetCurrentObject(p.Canvas().Handle(), OBJ_PAL), pal);
  }
  EXPECT_FALSE(Alive(pal));

  Application->Initialize();
  HCURSOR cross = LoadCursor(nullptr, IDC_CROSS), arrow = LoadCursor(nullptr, IDC_ARROW);
  Screen->SetCursors(7, cross);
  EXPECT_EQ(CursorHandle(7), cross);
  EXPECT_EQ(Screen->Cursors(8), arrow);
  EXPECT_EQ(Screen->Cursors(crIBeam), LoadCursor(nullptr, IDC_IBEAM));
  Screen->SetCursors(7, nullptr);
  EXPECT_EQ(CursorHandle(7), arrow);
}

TEST(HtmlImageGdi, ImageMapRegions) {
  enum { kHref = 1, kTarget = 2, kCoords = 3, kShape = 4, kNoHref = 5 };
  const TAreaKinds kinds{kHref, kTarget, kCoords, kShape};
  auto area = [&](TMapItem& m, const char* href, const char* coords, const char* shape) {
    TAttributeList a;
    a.AddAttribute(kHref, 0, href);
    a.AddAttribute(kTarget, 0, std::string("t_") + href);
    a.AddAttribute(kCoords, 0, coords);
    if (shape) a.AddAttribute(kShape, 0, shape);
    a.AddAttribute(kNoHref, 1, "");
    m.AddArea(a, kinds);
  };
  auto map = std::make_unique<TMapItem>();
  area(*map, "rect", "10,10,19,19", nullptr);
  area(*map, "dropped", "1,1", nullptr);
  area(*map, "circle", "50, 50, 10", "CIRCLE");
  area(*map, "poly", "100,0,120,40,80,40", "poly");
  area(*map, "later", "15,15,30,30", "rect");
  ASSERT_EQ(map->Areas.Count(), 4);

  auto url = [&](int x, int y) {
    TUrlTarget* t = nullptr;
    if (!map->GetURL(x, y, t)) return std::string("-");
    std::string s = t->URL + "/" + t->Target;
    delete t;
    return s;
  };
  EXPECT_EQ(url(10, 10), "rect/t_rect");
  EXPECT_EQ(url(19, 19), "rect/t_rect");  // right and bottom count
  EXPECT_EQ(url(15, 15), "rect/t_rect");  // the earlier of two areas
  EXPECT_EQ(url(20, 20), "later/t_later");
  EXPECT_EQ(url(9, 10), "-");
  EXPECT_EQ(url(50, 50), "circle/t_circle");
  EXPECT_EQ(url(50, 42), "circle/t_circle");
  EXPECT_EQ(url(42, 42), "-");  // the box's corner is outside the circle
  EXPECT_EQ(url(100, 20), "poly/t_poly");
  EXPECT_EQ(url(85, 5), "-");
  EXPECT_EQ(url(1, 1), "-");

  std::vector<HGDIOBJ> regions;
  for (int i = 0; i < map->Areas.Count(); ++i) regions.push_back(static_cast<HGDIOBJ>(map->Region(i)));
  for (HGDIOBJ r : regions) EXPECT_EQ(GetObjectType(r), DWORD(OBJ_REGION));
  map.reset();
  for (HGDIOBJ r : regions) EXPECT_FALSE(Alive(r));
}

TEST(HtmlImageGdi, MasksAndStretchedTransparentDrawing) {
  TBitmap pic(4, 3);
  Fill(pic, clFuchsia);
  pic.Canvas().SetPixel(1, 0, clRed);
  pic.Canvas().SetPixel(2, 1, clBlue);
  std::unique_ptr<TBitmap> mask(GetImageMask(pic, false, 0));
  ASSERT_TRUE(mask);
  EXPECT_TRUE(mask->Monochrome());
  EXPECT_EQ(Px(*mask, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(Px(*mask, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(Px(*mask, 2, 1), RGB(0, 0, 0));
  EXPECT_EQ(Px(*mask, 3, 2), RGB(255, 255, 255));

  TBitmap target(12, 8);
  Fill(target, clLime);
  FinishTransparentBitmap(target.Canvas().Handle(), pic, *mask, 2, 1, 8, 6);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) {
      COLORREF want = RGB(0, 255, 0);
      int px = (x - 2) / 2, py = (y - 1) / 2;
      if (x >= 2 && x < 10 && y >= 1 && y < 7) {
        if (px == 1 && py == 0) want = RGB(255, 0, 0);
        if (px == 2 && py == 1) want = RGB(0, 0, 255);
      }
      EXPECT_EQ(Px(target, x, y), want) << x << "," << y;
    }
  // The picture itself is as it was.
  EXPECT_EQ(Px(pic, 0, 0), RGB(255, 0, 255));
  EXPECT_EQ(Px(pic, 1, 0), RGB(255, 0, 0));
  // A target under 2 x 2 is left alone.
  Fill(target, clLime);
  FinishTransparentBitmap(target.Canvas().Handle(), pic, *mask, 0, 0, 1, 8);
  EXPECT_EQ(Px(target, 0, 2), RGB(0, 255, 0));

  // Files and streams: the lower-left pixel's colour is the clear one.
  std::string dir = testsupport::ScratchDir();
  std::string bmpPath = testsupport::Join(dir, "pic.bmp");
  std::vector<uint8_t> bmp = PillowBmp(bmpPath, "BMP");
  uint8_t transparent = 1;
  TBitmap* m = nullptr;
  std::unique_ptr<TBitmap> shown(GetImageAndMaskFromFile(bmpPath, transparent, m));
  std::unique_ptr<TBitmap> fileMask(m);
  ASSERT_TRUE(shown);
  ASSERT_TRUE(fileMask);
  EXPECT_FALSE(shown->Monochrome());
  EXPECT_EQ(shown->ScanLine(0), nullptr);  // a device-dependent bitmap now
  EXPECT_EQ(shown->Width(), 5);
  EXPECT_EQ(Px(*shown, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(Px(*shown, 3, 2), RGB(0, 0, 255));
  EXPECT_EQ(Px(*shown, 4, 3), RGB(255, 0, 255));
  EXPECT_EQ(Px(*fileMask, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(Px(*fileMask, 2, 1), RGB(0, 0, 0));

  transparent = 0;
  shown.reset(GetImageAndMaskFromFile(bmpPath, transparent, m));
  EXPECT_TRUE(shown);
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(GetImageAndMaskFromFile(testsupport::Join(dir, "none.bmp"), transparent, m), nullptr);
  // A transparent GIF is recognised but not loaded here.
  std::string gifPath = testsupport::Join(dir, "pic.GIF");
  PillowBmp(gifPath, "GIF");
  transparent = 0;
  EXPECT_EQ(GetImageAndMaskFromFile(gifPath, transparent, m), nullptr);
  EXPECT_EQ(transparent, 2);
  EXPECT_EQ(m, nullptr);

  TMemoryStream stream;
  stream.WriteBuffer(bmp.data(), int(bmp.size()));
  transparent = 1;
  shown.reset(GetBitmapAndMaskFromStream(&stream, transparent, m));
  fileMask.reset(m);
  ASSERT_TRUE(shown);
  ASSERT_TRUE(fileMask);
  EXPECT_EQ(Px(*shown, 3, 2), RGB(0, 0, 255));
  TMemoryStream shortStream;
  shortStream.WriteBuffer(bmp.data(), 19);
  EXPECT_EQ(GetBitmapAndMaskFromStream(&shortStream, transparent, m), nullptr);
}

TEST(HtmlImageGdi, CacheRulesWithRealBitmaps) {
  TStringBitmapList list;
  EXPECT_EQ(list.MaxCache, 4);
  auto add = [&](const char* name, bool withMask = false) {
    TBitmap* b = new TBitmap(4, 4);
    TBitmap* mask = withMask ? new TBitmap(4, 4) : nullptr;
    list.AddObject(name, new TBitmapItem(b, mask, withMask ? 1 : 0));
    return std::make_pair(static_cast<HGDIOBJ>(b->Handle()), mask ? static_cast<HGDIOBJ>(mask->Handle()) : nullptr);
  };
  auto a = add("A.GIF", true), b = add("B.GIF"), c = add("C.GIF");
  list.GetImage(list.IndexOf("B.GIF"));
  for (int load = 0; load < 4; ++load) list.BumpAndCheck();
  EXPECT_EQ(list.Count(), 3);  // four loads unused: still kept
  list.BumpAndCheck();
  EXPECT_EQ(list.IndexOf("A.GIF"), -1);
  EXPECT_EQ(list.IndexOf("C.GIF"), -1);
  EXPECT_FALSE(Alive(a.first));
  EXPECT_FALSE(Alive(a.second));
  EXPECT_FALSE(Alive(c.first));
  for (int load = 0; load < 10; ++load) list.BumpAndCheck();
  ASSERT_EQ(list.IndexOf("B.GIF"), 0);  // in use: never freed
  EXPECT_TRUE(Alive(b.first));
  list.DecUsage("b.gif");
  list.BumpAndCheck();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(Alive(b.first));

  auto d = add("D.GIF"), e = add("E.GIF");
  list.GetImage(list.IndexOf("E.GIF"));
  list.DecUsage("E.GIF");
  list.SetCacheCount(0);
  EXPECT_EQ(list.MaxCache, 0);
  EXPECT_EQ(list.Count(), 2);  // not yet past a load
  list.BumpAndCheck();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(Alive(d.first));
  EXPECT_FALSE(Alive(e.first));

  auto f = add("F.GIF"), g = add("G.GIF");
  list.GetImage(list.IndexOf("F.GIF"));
  list.PurgeCache();
  EXPECT_EQ(list.Count(), 1);
  EXPECT_FALSE(Alive(g.first));
  list.Clear();
  EXPECT_FALSE(Alive(f.first));
}

TEST(HtmlImageGdi, ColourDepthPaletteBlocksAndDibs) {
  Application->Initialize();
  StartHtmlImages();
  EXPECT_EQ(ColorBits, 24);
  EXPECT_EQ(ThePalette, nullptr);
  ASSERT_TRUE(BitmapList);
  EXPECT_EQ(BitmapList->MaxCache, 4);
  EXPECT_TRUE(BitmapList->Sorted());

  EXPECT_EQ(ColorBitsOf(1, 1), 4);
  EXPECT_EQ(ColorBitsOf(1, 4), 4);
  EXPECT_EQ(ColorBitsOf(8, 1), 8);
  EXPECT_EQ(ColorBitsOf(16, 1), 24);
  EXPECT_EQ(ColorBitsOf(32, 1), 24);

  HPALETTE pal = MakeViewerPalette();
  ASSERT_TRUE(pal);
  PALETTEENTRY e[256];
  ASSERT_EQ(GetPaletteEntries(pal, 0, 256, e), 256u);
  auto rgb = [&](int i) { return RGB(e[i].peRed, e[i].peGreen, e[i].peBlue); };
  EXPECT_EQ(rgb(10), RGB(0x37, 0x37, 0x37));
  EXPECT_EQ(rgb(11), RGB(0x73, 0x37, 0x37));  // red changes fastest
  EXPECT_EQ(rgb(16), RGB(0x37, 0x73, 0x37));
  EXPECT_EQ(rgb(46), RGB(0x37, 0x37, 0x73));  // blue slowest
  EXPECT_EQ(rgb(224), RGB(0xEB, 0xFF, 0xFF));  // the cube's last entry: white left out
  EXPECT_EQ(rgb(225), RGB(135, 135, 135));
  EXPECT_EQ(rgb(248), RGB(250, 250, 250));
  DeleteObject(pal);

  AllocRec small(GlobalBlockSize - 1), large(GlobalBlockSize);
  EXPECT_EQ(small.AHandle, nullptr);
  EXPECT_NE(large.AHandle, nullptr);
  EXPECT_NE(large.Ptr, nullptr);
  // 65535 x 65535 at 32 bits needs 17 GB: the size no longer wraps in 32 bits.
  EXPECT_EQ(DibImageSize(65535, 65535, 32), 17179344900ull);
  EXPECT_GT(DibImageSize(65535, 65535, 32), MaxDibBytes);
  EXPECT_EQ(DibImageSize(3, 2, 24), 24u);

  TBitmap src(3, 2);
  Fill(src, clWhite);
  src.Canvas().SetPixel(0, 0, clRed);
  src.Canvas().SetPixel(2, 1, clBlue);
  HBITMAP h = src.ReleaseHandle();
  {
    TDib dib(nullptr, h);
    EXPECT_EQ(dib.Info->bmiHeader.biBitCount, 32);
    EXPECT_EQ(dib.BitsSize, 24u);
    TBitmap back;
    HDC screen = GetDC(nullptr);
    back.SetHandle(dib.CreateDIBitmap(screen));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(Px(back, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Px(back, 2, 1), RGB(0, 0, 255));
    TBitmap wide(6, 4);
    dib.DrawDIB(wide.Canvas().Handle(), 0, 0, 6, 4, SRCCOPY);
    EXPECT_EQ(Px(wide, 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(Px(wide, 5, 3), RGB(0, 0, 255));
    EXPECT_EQ(Px(wide, 3, 0), RGB(255, 255, 255));
  }
  DeleteObject(h);
}

TEST(HtmlImageGdi, BuiltInPicturesAndLinkCursorOnAForm) {
  Application->Initialize();
  StartHtmlImages();
  ASSERT_TRUE(DefBitMap && ErrorBitMap && ErrorBitmapMask);
  EXPECT_EQ(ErrorBitMap->Width(), 16);
  EXPECT_EQ(ErrorBitmapMask->Height(), 16);
  EXPECT_TRUE(ErrorBitmapMask->Monochrome());
  EXPECT_EQ(Px(*ErrorBitmapMask, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(Px(*ErrorBitmapMask, 6, 8), RGB(0, 0, 0));
  HCURSOR link = Screen->Cursors(LinkCursor);
  ASSERT_NE(link, LoadCursor(nullptr, IDC_ARROW));
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(link, &ii));
  EXPECT_EQ(ii.xHotspot, 5u);
  EXPECT_EQ(ii.yHotspot, 0u);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);

  TForm* form = new TForm(Application);
  form->SetBounds(40, 40, 340, 230);
  form->SetCaption("Viewer pictures");
  TPaintBox* box = new TPaintBox(form);
  box->SetBounds(10, 10, 310, 170);
  box->SetParent(form);
  box->SetCursor(LinkCursor);
  int paints = 0;
  RECT clip{};
  box->OnPaint = [&](TObject* sender) {
    TCanvas& c = static_cast<TPaintBox*>(sender)->Canvas();
    ++paints;
    clip = c.ClipRect();
    c.Brush().SetColor(clWhite);
    c.FillRect(RECT{0, 0, 310, 170});
    c.Draw(8, 8, *DefBitMap);
    c.Draw(30, 8, *ErrorBitMap);
    c.StretchDraw(RECT{8, 40, 72, 104}, *DefBitMap);
    c.Brush().SetColor(clYellow);
    c.FillRect(RECT{86, 36, 158, 108});
    FinishTransparentBitmap(c.Handle(), *ErrorBitMap, *ErrorBitmapMask, 90, 40, 64, 64);
    DrawIconEx(c.Handle(), 172, 40, link, 32, 32, 0, nullptr, DI_NORMAL);
    DrawIconEx(c.Handle(), 214, 40, link, 64, 64, 0, nullptr, DI_NORMAL);
    FormControlRect(c, 8, 120, 80, 140, false);
    c.Brush().SetStyle(bsClear);
    WrapText(c, 96, 116, 300, 150, "A broken image shows its ALT text wrapped inside the box");
  };
  form->Show();
  for (int i = 0; i < 200 && paints == 0; ++i) Pump(10);
  Pump(100);
  ASSERT_GT(paints, 0);
  EXPECT_GE(clip.left, 0);
  EXPECT_LE(clip.right, 310);
  EXPECT_LE(clip.bottom, 170);

  EXPECT_EQ(ScreenPixel(box, 90, 40), RGB(255, 255, 0));  // outside the sheet: the yellow shows
  EXPECT_EQ(ScreenPixel(box, 90 + 4 * 5 + 2, 40 + 4 * 8 + 2), RGB(255, 255, 255));  // the sheet
  COLORREF cross = ScreenPixel(box, 90 + 4 * 5 + 2, 40 + 4 * 7 + 2);
  EXPECT_GT(GetRValue(cross), 200);
  EXPECT_LT(GetGValue(cross), 40);
  EXPECT_EQ(ScreenPixel(box, 172 + 6, 40 + 3), RGB(255, 255, 255));  // inside the finger
  EXPECT_EQ(ScreenPixel(box, 172 + 4, 40 + 3), RGB(0, 0, 0));        // its outline
  EXPECT_EQ(ScreenPixel(box, 172 + 30, 40 + 30), RGB(255, 255, 255));  // clear: the background
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  EXPECT_EQ(ScreenPixel(box, 8, 130), shadow);
  EXPECT_EQ(ScreenPixel(box, 9, 130), shadow);
  EXPECT_EQ(ScreenPixel(box, 79, 130), RGB(192, 192, 192));
  EXPECT_EQ(ScreenPixel(box, 40, 130), RGB(255, 255, 255));
  bool text = false;
  for (int x = 96; x < 300 && !text; ++x)
    for (int y = 116; y < 150 && !text; ++y) text = ScreenPixel(box, x, y) == RGB(0, 0, 0);
  EXPECT_TRUE(text);

  // The link cursor over the paint box.
  POINT p = box->ClientToScreen(POINT{150, 150});
  SetCursorPos(p.x, p.y);
  Pump(50);
  EXPECT_EQ(GetCursor(), link);

  std::string shot = testsupport::Screenshot("htmlimage_pictures");
  EXPECT_FALSE(shot.empty());
  delete form;
  EndHtmlImages();
  EXPECT_EQ(BitmapList, nullptr);
  EXPECT_EQ(DefBitMap, nullptr);
}
