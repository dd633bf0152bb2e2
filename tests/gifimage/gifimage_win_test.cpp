// The GIF display with real GDI: the composite after every animation step
// against PIL's composed frames, and the stepping rules (loop count, delay
// 0, jumps to a frame).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gif_test_util.h"
#include "gui_test_support.h"
#include "htmlpalette.h"
#include "test_support.h"
#include "win/htmlimages.h"

using giftest::Bytes;
using testsupport::Join;

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// What a DC of the given size shows, through a 32-bit DIB section.
Picture Capture(HDC source, int width, int height) {
  Picture p;
  p.width = width;
  p.height = height;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, dib);
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
  GdiFlush();
  const uint32_t* px = static_cast<const uint32_t*>(bits);
  p.pixels.assign(px, px + size_t(width) * height);
  for (uint32_t& v : p.pixels) v &= 0xFFFFFF;
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(dib);
  return p;
}

// Steps until a frame is composed (or the animation stops); false on a
// time-out.
bool StepOnce(TGIFImage& image) {
  for (int i = 0; i < 2000; ++i) {
    if (image.AnimationStep()) return true;
    Sleep(1);
  }
  return false;
}

// The animations of pil_compose.py and PIL's frames of them, made once.
const std::string& Composed() {
  static std::string dir;
  if (dir.empty()) {
    std::string out = Join(testsupport::ScratchDir(), "composed"), log;
    std::string script = Join(Join(Join(testsupport::SourceDir(), "tests"), "gifimage"), "pil_compose.py");
    int rc = testsupport::RunUnix("/usr/bin/python3",
                                  {testsupport::ToUnixPath(script), testsupport::ToUnixPath(out)}, &log);
    EXPECT_EQ(rc, 0) << log;
    if (rc == 0) dir = out;
  }
  return dir;
}

TEST(GifDisplay, CompositeFollowsPilFrameByFrame) {
  const std::string dir = Composed();
  ASSERT_FALSE(dir.empty());
  for (const char* dispose : {"none", "background", "previous"}) {
    SCOPED_TRACE(dispose);
    const Bytes text = testsupport::ReadFileBytes(Join(dir, std::string(dispose) + ".txt"));
    std::istringstream t(std::string(text.begin(), text.end()));
    int w = 0, h = 0, n = 0;
    t >> w >> h >> n;
    ASSERT_EQ(n, 4);
    TGIFImage image;
    image.LoadFromFile(Join(dir, std::string(dispose) + ".gif"));
    ASSERT_TRUE(image.IsTransparent());
    ASSERT_EQ(image.NumFrames(), 4);
    ASSERT_GE(image.Width(), w);
    ASSERT_GE(image.Height(), h);
    image.SetAnimate(true);
    EXPECT_EQ(image.CurrentInterval(), 1u) << "delay 0";
    // PIL starts every pass afresh; the composite starts the second pass
    // from what disposing the last frame left, which is empty again unless
    // the frames are kept.
    const int passes = std::string(dispose) == "none" ? 1 : 2;
    for (int step = 0; step < passes * n; ++step) {
      const int frame = step % n + 1;
      SCOPED_TRACE("frame " + std::to_string(frame) + " of pass " + std::to_string(step / n + 1));
      if (step > 0) {
        ASSERT_TRUE(StepOnce(image));
      } else {
        // The first step composes nothing: frame 1 is already there.
        Sleep(2);
        EXPECT_FALSE(image.AnimationStep());
      }
      const Bytes want = testsupport::ReadFileBytes(Join(dir, std::string(dispose) + "." +
                                                               std::to_string(frame) + ".rgba"));
      ASSERT_EQ(want.size(), size_t(w) * h * 4);
      Picture colour = Capture(image.CompositeDC(), w, h);
      Picture mask = Capture(image.MaskCompositeDC(), w, h);
      int wrongMask = 0, wrongColour = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint8_t* p = &want[(size_t(y) * w + x) * 4];
          bool transparent = mask.At(x, y) == 0xFFFFFF;
          if (transparent != (p[3] == 0)) ++wrongMask;
          if (p[3] != 0 && colour.At(x, y) != (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2])) ++wrongColour;
        }
      EXPECT_EQ(wrongMask, 0);
      EXPECT_EQ(wrongColour, 0);
    }
    // Frame 1's picture and mask, asked for while a later frame shows,
    // are frame 1 as it first showed; asked again, the same objects.
    TBitmap* first = image.Bitmap();
    TBitmap* firstMask = image.Mask();
    ASSERT_TRUE(first && firstMask);
    EXPECT_EQ(image.Bitmap(), first);
    EXPECT_EQ(image.Mask(), firstMask);
    EXPECT_TRUE(firstMask->Monochrome());
    ASSERT_EQ(first->Width(), image.Width());
    ASSERT_EQ(first->Height(), image.Height());
    const Bytes want = testsupport::ReadFileBytes(Join(dir, std::string(dispose) + ".1.rgba"));
    Picture colour = Capture(first->Canvas().Handle(), w, h);
    Picture mask = Capture(firstMask->Canvas().Handle(), w, h);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = &want[(size_t(y) * w + x) * 4];
        uint32_t c = p[3] ? (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) : 0;
        if ((mask.At(x, y) == 0xFFFFFF) != (p[3] == 0) || colour.At(x, y) != c) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(GifDisplay, OnAPaletteScreenEveryColourIsItsNearestPaletteEntry) {
  // The viewer's palette from its arithmetic (system colours black), put
  // in place as on an 8-bit screen.
  htmlun2::TPaletteColor entries[256]{};
  htmlun2::FillViewerPalette(entries);
  std::vector<uint8_t> mem(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY), 0);
  LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(mem.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) lp->palPalEntry[i] = PALETTEENTRY{entries[i].Red, entries[i].Green, entries[i].Blue, 0};
  HPALETTE palette = CreatePalette(lp);
  ASSERT_TRUE(palette);

  // 16 colours off the cube and the grey ramp, one pixel each.
  giftest::GifBuilder b(16, 1, 4);
  giftest::Encoder e(4);
  for (int i = 0; i < 16; ++i) e.Code(i);
  b.Image(0, 0, 16, 1, 4, e.End()).Trailer();
  Bytes data = b.Data();
  uint8_t table[48];
  for (int i = 0; i < 48; ++i) table[i] = uint8_t((i * 97 + 13) % 256);
  std::copy(table, table + 48, data.begin() + 13);

  htmlun2::ThePalette = palette;
  TMemoryStream s;
  s.Write(data.data(), static_cast<int>(data.size()));
  s.SetPosition(0);
  TGIFImage image;
  image.LoadFromStream(&s);
  htmlun2::ThePalette = nullptr;
  Picture shown = Capture(image.CompositeDC(), 16, 1);
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE("colour " + std::to_string(i));
    auto distance = [&](int r, int g, int bl) {
      int dr = r - table[3 * i], dg = g - table[3 * i + 1], db = bl - table[3 * i + 2];
      return dr * dr + dg * dg + db * db;
    };
    int best = 1 << 30;
    bool isEntry = false;
    const uint32_t c = shown.At(i, 0);
    for (const auto& p : entries) {
      best = std::min(best, distance(p.Red, p.Green, p.Blue));
      isEntry = isEntry || (uint32_t(p.Red) << 16 | uint32_t(p.Green) << 8 | p.Blue) == c;
    }
    EXPECT_TRUE(isEntry) << std::hex << c;
    EXPECT_EQ(distance(int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)), best);
  }
  DeleteObject(palette);
}

TEST(GifDisplay, LoopCountDelaysAndJumps) {
  // Three opaque frames of one colour each (index 1, 2, 3 = grey 1, 2, 3).
  auto solid = [](int index) {
    giftest::Encoder e(2);
    for (int i = 0; i < 6; ++i) e.Code(index);
    return e.End();
  };
  giftest::GifBuilder b(3, 2, 2);
  b.Loop(2);
  for (int i = 1; i <= 3; ++i) b.Control(1, 0, false, 0).Image(0, 0, 3, 2, 2, solid(i));
  b.Trailer();
  TMemoryStream s;
  s.Write(b.Data().data(), static_cast<int>(b.Data().size()));
  s.SetPosition(0);
  TGIFImage image;
  image.LoadFromStream(&s);
  ASSERT_EQ(image.NumFrames(), 3);
  ASSERT_EQ(image.LoopLimit(), 2);
  auto shown = [&] { return static_cast<int>(Capture(image.CompositeDC(), 3, 2).At(2, 1) & 0xFF); };
  EXPECT_EQ(shown(), 1);

  image.SetAnimate(true);
  EXPECT_EQ(image.CurrentInterval(), 1u);
  std::vector<int> seen;
  while (image.Animate() && seen.size() < 20) {
    ASSERT_TRUE(StepOnce(image));
    seen.push_back(shown());
  }
  // Frames 2 and 3, then a second pass, then the stop shows frame 1.
  EXPECT_EQ(seen, std::vector<int>({2, 3, 1, 2, 3, 1}));
  EXPECT_FALSE(image.Animate());
  EXPECT_EQ(image.LoopCount(), 2);

  image.SetCurrentFrame(0);
  EXPECT_EQ(image.CurrentFrame(), 3);
  EXPECT_EQ(shown(), 3);
  image.SetCurrentFrame(4);
  EXPECT_EQ(image.CurrentFrame(), 1);
  EXPECT_EQ(shown(), 1);
  image.SetCurrentFrame(2);
  EXPECT_EQ(shown(), 2);

  // A copy has a composite of its own, showing frame 1, and animates on
  // its own.
  auto copy = TGIFImage::CreateCopy(image);
  ASSERT_TRUE(copy);
  EXPECT_EQ(static_cast<int>(Capture(copy->CompositeDC(), 3, 2).At(0, 0) & 0xFF), 1);
  copy->SetAnimate(true);
  ASSERT_TRUE(StepOnce(*copy));
  EXPECT_EQ(static_cast<int>(Capture(copy->CompositeDC(), 3, 2).At(0, 0) & 0xFF), 2);
  ASSERT_TRUE(StepOnce(*copy));
  EXPECT_EQ(static_cast<int>(Capture(copy->CompositeDC(), 3, 2).At(0, 0) & 0xFF), 3);
  EXPECT_EQ(shown(), 2);

  // Speed stretches the delay.
  giftest::GifBuilder slow(3, 2, 2);
  slow.Control(0, 10, false, 0).Image(0, 0, 3, 2, 2, solid(1)).Image(0, 0, 3, 2, 2, solid(2)).Trailer();
  TMemoryStream s2;
  s2.Write(slow.Data().data(), static_cast<int>(slow.Data().size()));
  s2.SetPosition(0);
  TGIFImage second;
  second.LoadFromStream(&s2);
  second.Speed = 50;
  second.SetAnimate(true);
  EXPECT_EQ(second.CurrentInterval(), 200u);
}

// Tiles of 8 x 8 in two colours, by page position.
COLORREF TileColour(int px, int py) {
  return ((px / 8 + py / 8) % 2) ? RGB(200, 200, 255) : RGB(255, 255, 200);
}

TEST(GifDisplay, DrawsTransparentAnimationTwiceItsSizeOverATiledBackground) {
  const std::string dir = Composed();
  ASSERT_FALSE(dir.empty());
  TGIFImage image;
  image.LoadFromFile(Join(dir, "background.gif"));
  const int w = 20, h = 14, left = 40, top = 30;
  // One 16 x 16 tile of the two colours, tiled from (3, 5) of the form.
  const int originX = 3, originY = 5;
  HDC screen = GetDC(nullptr);
  HBITMAP tileBitmap = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  {
    HDC t = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(t, tileBitmap);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) SetPixel(t, x, y, TileColour(x, y));
    SelectObject(t, old);
    DeleteDC(t);
  }
  htmlun2::TDib tile(nullptr, tileBitmap);
  DeleteObject(tileBitmap);
  GIFBackground.Tile = &tile;
  GIFBackground.OriginX = originX;
  GIFBackground.OriginY = originY;
  Application->Initialize();
  TForm* form = new TForm(Application);
  form->SetBounds(60, 60, 200, 160);
  int paints = 0;
  form->OnPaint = [&](TObject*) {
    ++paints;
    image.Draw(form->Canvas(), left, top, 2 * w, 2 * h, form->Handle());
  };
  form->Show();
  testsupport::Pump(100);

  auto check = [&](int frame) {
    const Bytes want = testsupport::ReadFileBytes(Join(dir, "background." + std::to_string(frame) + ".rgba"));
    HDC wdc = GetDC(form->Handle());
    Picture shown = Capture(wdc, left + 2 * w, top + 2 * h);
    ReleaseDC(form->Handle(), wdc);
    int wrong = 0;
    for (int y = 0; y < 2 * h; ++y)
      for (int x = 0; x < 2 * w; ++x) {
        const uint8_t* p = &want[(size_t(y / 2) * w + x / 2) * 4];
        COLORREF c = p[3] ? RGB(p[0], p[1], p[2]) : TileColour(left + x - originX, top + y - originY);
        uint32_t expected = uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
        if (shown.At(left + x, top + y) != expected) ++wrong;
      }
    return wrong;
  };
  EXPECT_EQ(check(1), 0) << "frame 1";

  // A step, as the document's timer takes it, invalidates the picture in
  // the window it was drawn in, and the paint draws the new frame.
  image.SetAnimate(true);
  const int before = paints;
  for (int i = 0; i < 20; ++i) {
    image.AnimationStep();
    testsupport::Pump(10);
  }
  EXPECT_GE(paints - before, 10);
  image.SetAnimate(false);
  form->Invalidate();
  testsupport::Pump(100);
  std::string shot = testsupport::Screenshot("gifimage_transparent_twice");
  EXPECT_EQ(check(1), 0) << "frame 1 after stopping";
  GIFBackground.Tile = nullptr;
  delete form;
}

}  // namespace
