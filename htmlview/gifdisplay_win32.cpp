// The display of a GIF image: every frame becomes a device bitmap (and a
// monochrome mask when it has a transparent colour), and the animation
// composes them into an off-screen picture, so that a step is a few BitBlt
// calls.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>

#include "gifimage.h"
#include "win/graphics.h"
#include "win/htmlimages.h"

TGIFBackground GIFBackground;

namespace {

// A memory DC holding one bitmap for the length of a blit.
class TSelected {
 public:
  explicit TSelected(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_) old_ = SelectObject(dc_, bitmap);
  }
  ~TSelected() {
    if (dc_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
  }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;
  HDC DC() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

// dest AND NOT source: clears the destination where the source is 1.
constexpr DWORD kDSna = 0x00220326;

struct TBitmapInfo256 {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

}  // namespace

// A DC with its own bitmap selected; DeleteDC gives the bitmap up first.
struct TGIFSurface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;

  // 'mono': a 1-bit bitmap; otherwise one compatible with the screen.
  bool Make(int width, int height, bool mono, DWORD fill) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = mono ? CreateBitmap(width, height, 1, 1, nullptr) : CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) return false;
    old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, width, height, fill);
    return true;
  }
  // Gives up the DC and hands the bitmap out.
  HBITMAP Release() {
    HBITMAP b = bitmap;
    bitmap = nullptr;
    Free();
    return b;
  }
  void Free() {
    if (dc) {
      if (old) SelectObject(dc, old);
      DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
    dc = nullptr;
    bitmap = nullptr;
    old = nullptr;
  }
};

struct TGIFDisplay {
  TGIFSurface composite, mask, scratch;
  int scratchWidth = 0, scratchHeight = 0;
  HWND lastWindow = nullptr;
  RECT lastRect{};
  TBitmap* frameOne = nullptr;
  TBitmap* frameOneMask = nullptr;
};

namespace htmlgif {

struct TFrameDisplay {
  HBITMAP image = nullptr;
  HBITMAP mask = nullptr;
  HBITMAP saveImage = nullptr;  // disposal 3: what the frame covered
  HBITMAP saveMask = nullptr;
};

bool TFrame::MakeDisplay(const TGIFImage&) {
  FreeDisplay();
  Display = new TFrameDisplay;
  if (Width == 0 || Height == 0) return true;
  HDC screen = GetDC(nullptr);
  bool ok = true;
  if (Disposal == 3) {
    Display->saveImage = CreateCompatibleBitmap(screen, Width, Height);
    Display->saveMask = CreateBitmap(Width, Height, 1, 1, nullptr);
    ok = Display->saveImage && Display->saveMask;
  }
  // Bottom-up rows and all 256 colours, so that any index has one.
  TBitmapInfo256 info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = Width;
  info.header.biHeight = Height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 256;
  HPALETTE palette = htmlun2::ThePalette;
  if (!palette) {
    for (int i = 0; i < 256; ++i) {
      info.colors[i].rgbRed = ColorTable[3 * i];
      info.colors[i].rgbGreen = ColorTable[3 * i + 1];
      info.colors[i].rgbBlue = ColorTable[3 * i + 2];
    }
  } else {
    // On a palette screen the picture holds palette indices: every table
    // colour becomes its nearest entry, so that all images of the page
    // share the one palette.
    PALETTEENTRY entries[256]{};
    GetPaletteEntries(palette, 0, 256, entries);
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) {
      UINT nearest =
          GetNearestPaletteIndex(palette, RGB(ColorTable[3 * i], ColorTable[3 * i + 1], ColorTable[3 * i + 2]));
      map[i] = nearest < 256 ? uint8_t(nearest) : 0;
      info.colors[i].rgbRed = entries[i].peRed;
      info.colors[i].rgbGreen = entries[i].peGreen;
      info.colors[i].rgbBlue = entries[i].peBlue;
    }
    const int64_t stride = PixelStride();
    for (int64_t y = 0; y < Height; ++y) {
      uint8_t* row = Pixels.data() + y * stride;
      for (int x = 0; x < Width; ++x) row[x] = map[row[x]];
    }
  }
  FlipRows(Pixels.data(), PixelStride(), Height);
  if (ok) {
    HPALETTE old = nullptr;
    if (palette) {
      old = SelectPalette(screen, palette, FALSE);
      RealizePalette(screen);
    }
    Display->image = CreateDIBitmap(screen, &info.header, CBM_INIT, Pixels.data(),
                                    reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    if (old) SelectPalette(screen, old, FALSE);
    ok = Display->image != nullptr;
  }
  if (ok && Transparent) {
    // 1 (white) where transparent.
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } maskInfo{};
    maskInfo.header = info.header;
    maskInfo.header.biBitCount = 1;
    maskInfo.header.biClrUsed = 2;
    maskInfo.colors[1] = RGBQUAD{255, 255, 255, 0};
    FlipRows(Mask.data(), MaskStride(), Height);
    Display->mask = CreateBitmap(Width, Height, 1, 1, nullptr);
    ok = Display->mask &&
         SetDIBits(screen, Display->mask, 0, Height, Mask.data(), reinterpret_cast<BITMAPINFO*>(&maskInfo),
                   DIB_RGB_COLORS) == Height;
    if (ok) {
      // The transparent pixels of the image become black, for the XOR.
      TSelected image(Display->image), mask(Display->mask);
      ok = image.DC() && mask.DC() && BitBlt(image.DC(), 0, 0, Width, Height, mask.DC(), 0, 0, kDSna);
    }
  }
  ReleaseDC(nullptr, screen);
  // The device bitmaps are the picture now.
  std::vector<uint8_t>().swap(Pixels);
  std::vector<uint8_t>().swap(Mask);
  return ok;
}

namespace {

// A new bitmap of the same size and form holding the same pixels.
HBITMAP CopyBitmap(HBITMAP source, int width, int height, bool mono) {
  if (!source) return nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP copy = mono ? CreateBitmap(width, height, 1, 1, nullptr) : CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (!copy) return nullptr;
  TSelected from(source), to(copy);
  if (!from.DC() || !to.DC() || !BitBlt(to.DC(), 0, 0, width, height, from.DC(), 0, 0, SRCCOPY)) {
    DeleteObject(copy);
    return nullptr;
  }
  return copy;
}

}  // namespace

bool TFrame::CopyDisplay(const TFrame& source) {
  FreeDisplay();
  Display = new TFrameDisplay;
  const TFrameDisplay& from = *source.Display;
  bool ok = true;
  if (from.image) ok = (Display->image = CopyBitmap(from.image, Width, Height, false)) != nullptr;
  if (ok && from.mask) ok = (Display->mask = CopyBitmap(from.mask, Width, Height, true)) != nullptr;
  // The save bitmaps are filled when the frame is composed.
  if (ok && from.saveImage) {
    HDC screen = GetDC(nullptr);
    Display->saveImage = CreateCompatibleBitmap(screen, Width, Height);
    ReleaseDC(nullptr, screen);
    Display->saveMask = CreateBitmap(Width, Height, 1, 1, nullptr);
    ok = Display->saveImage && Display->saveMask;
  }
  return ok;
}

void TFrame::FreeDisplay() {
  if (!Display) return;
  for (HBITMAP b : {Display->image, Display->mask, Display->saveImage, Display->saveMask})
    if (b) DeleteObject(b);
  delete Display;
  Display = nullptr;
}

}  // namespace htmlgif

bool TGIFImage::MakeDisplay() {
  FreeDisplay();
  display_ = new TGIFDisplay;
  bool ok = display_->composite.Make(width_, height_, false, BLACKNESS);
  if (ok && isTransparent_)
    ok = display_->mask.Make(width_, height_, true, WHITENESS) &&
         display_->scratch.Make(width_, height_, false, BLACKNESS);
  display_->scratchWidth = width_;
  display_->scratchHeight = height_;
  if (!ok) {
    FreeDisplay();
    return false;
  }
  Compose(1);
  return true;
}

void TGIFImage::FreeDisplay() {
  if (!display_) return;
  delete display_->frameOne;
  delete display_->frameOneMask;
  display_->composite.Free();
  display_->mask.Free();
  display_->scratch.Free();
  delete display_;
  display_ = nullptr;
}

HDC TGIFImage::CompositeDC() const {
  return display_ ? display_->composite.dc : nullptr;
}

HDC TGIFImage::MaskCompositeDC() const {
  return display_ ? display_->mask.dc : nullptr;
}

void TGIFImage::MakeFrameOneCopies() {
  htmlgif::TFrame* f = Frame(1);
  if (!display_ || display_->frameOne || !f || !f->Display) return;
  // Composed afresh rather than copied from the composite, which may show
  // a later frame by now.
  TGIFSurface picture, mask;
  if (!picture.Make(width_, height_, false, BLACKNESS) ||
      (isTransparent_ && !mask.Make(width_, height_, true, WHITENESS))) {
    picture.Free();
    mask.Free();
    return;
  }
  if (f->Display->image) {
    TSelected image(f->Display->image);
    BitBlt(picture.dc, f->Left, f->Top, f->Width, f->Height, image.DC(), 0, 0, SRCCOPY);
    if (mask.dc) {
      if (f->Display->mask) {
        TSelected frameMask(f->Display->mask);
        BitBlt(mask.dc, f->Left, f->Top, f->Width, f->Height, frameMask.DC(), 0, 0, SRCCOPY);
      } else {
        PatBlt(mask.dc, f->Left, f->Top, f->Width, f->Height, BLACKNESS);
      }
    }
  }
  display_->frameOne = new TBitmap;
  display_->frameOne->SetHandle(picture.Release());
  if (mask.dc) {
    display_->frameOneMask = new TBitmap;
    display_->frameOneMask->SetHandle(mask.Release());
  }
}

TBitmap* TGIFImage::Bitmap() {
  if (empty_ || noDisplay_ || !display_) return nullptr;
  MakeFrameOneCopies();
  return display_->frameOne;
}

TBitmap* TGIFImage::Mask() {
  if (empty_ || noDisplay_ || !display_ || !isTransparent_) return nullptr;
  MakeFrameOneCopies();
  return display_->frameOneMask;
}

void TGIFImage::Compose(int index) {
  htmlgif::TFrame* f = Frame(index);
  if (!display_ || !f || !f->Display || !f->Display->image) return;
  const int x = f->Left, y = f->Top, w = f->Width, h = f->Height;
  HDC composite = display_->composite.dc;
  HDC mask = display_->mask.dc;
  if (f->Disposal == 3) {
    TSelected saveImage(f->Display->saveImage), saveMask(f->Display->saveMask);
    BitBlt(saveImage.DC(), 0, 0, w, h, composite, x, y, SRCCOPY);
    if (mask) BitBlt(saveMask.DC(), 0, 0, w, h, mask, x, y, SRCCOPY);
  }
  TSelected image(f->Display->image);
  if (f->Transparent) {
    TSelected frameMask(f->Display->mask);
    // A monochrome source gives white for 1 and black for 0.
    SetBkColor(composite, RGB(255, 255, 255));
    SetTextColor(composite, RGB(0, 0, 0));
    if (mask) BitBlt(mask, x, y, w, h, frameMask.DC(), 0, 0, SRCAND);
    BitBlt(composite, x, y, w, h, frameMask.DC(), 0, 0, SRCAND);
    BitBlt(composite, x, y, w, h, image.DC(), 0, 0, SRCINVERT);
  } else {
    if (mask) PatBlt(mask, x, y, w, h, BLACKNESS);
    BitBlt(composite, x, y, w, h, image.DC(), 0, 0, SRCCOPY);
  }
}

void TGIFImage::Dispose(int index) {
  htmlgif::TFrame* f = Frame(index);
  if (!display_ || !f || !f->Display || f->Width == 0 || f->Height == 0) return;
  const int x = f->Left, y = f->Top, w = f->Width, h = f->Height;
  HDC composite = display_->composite.dc;
  HDC mask = display_->mask.dc;
  if (f->Disposal == 2) {
    PatBlt(composite, x, y, w, h, BLACKNESS);
    if (mask) PatBlt(mask, x, y, w, h, WHITENESS);
  } else if (f->Disposal == 3 && f->Display->saveImage) {
    TSelected saveImage(f->Display->saveImage), saveMask(f->Display->saveMask);
    BitBlt(composite, x, y, w, h, saveImage.DC(), 0, 0, SRCCOPY);
    if (mask) BitBlt(mask, x, y, w, h, saveMask.DC(), 0, 0, SRCCOPY);
  }
}

int TGIFImage::ShownFrame() const {
  if (firstStep_) return currentFrame_;
  return currentFrame_ > 1 ? currentFrame_ - 1 : numFrames_;
}

namespace {

uint32_t Interval(int delay, int speed) {
  int v = MulDiv(delay, 100, speed > 0 ? speed : 100);
  return static_cast<uint32_t>(std::max(v, 1));
}

}  // namespace

void TGIFImage::SetAnimate(bool value) {
  if (value == animate_) return;
  if (value) {
    if (numFrames_ < 2) return;
    animate_ = true;
    firstStep_ = true;
    currentInterval_ = Interval(Frame(currentFrame_)->Delay, Speed);
    lastTime_ = timeGetTime();
  } else {
    animate_ = false;
    const int shown = ShownFrame();
    currentFrame_ = 1;
    firstStep_ = true;
    if (shown > 1) {
      Dispose(shown);
      Compose(1);
    }
  }
}

void TGIFImage::SetCurrentFrame(int value) {
  if (numFrames_ == 0) return;
  Dispose(ShownFrame());
  if (value > numFrames_) value = 1;
  if (value < 1) value = numFrames_;
  currentFrame_ = value;
  // The frame set here is the one showing: the next step moves on from it.
  firstStep_ = true;
  Compose(currentFrame_);
}

bool TGIFImage::AnimationStep() {
  if (!animate_ || empty_ || noDisplay_ || !display_) return false;
  uint32_t now = timeGetTime();
  if (now - lastTime_ < currentInterval_) return false;
  lastTime_ = now;
  if (loopLimit_ > 0 && ShownFrame() == numFrames_) {
    if (loopCount_ >= loopLimit_) {
      SetAnimate(false);
      return true;
    }
    ++loopCount_;
  }
  bool composed = false;
  if (!firstStep_) {
    Dispose(currentFrame_ > 1 ? currentFrame_ - 1 : numFrames_);
    Compose(currentFrame_);
    if (display_->lastWindow) InvalidateRect(display_->lastWindow, &display_->lastRect, FALSE);
    composed = true;
  }
  firstStep_ = false;
  currentInterval_ = Interval(Frame(currentFrame_)->Delay, Speed);
  currentFrame_ = currentFrame_ < numFrames_ ? currentFrame_ + 1 : 1;
  return composed;
}

void TGIFImage::SetLastDraw(HWND window, const RECT& rect) {
  if (!display_) return;
  display_->lastWindow = window;
  display_->lastRect = rect;
}

void TGIFImage::Draw(TCanvas& canvas, int x, int y, int w, int h, HWND window) {
  if (!Visible || empty_ || noDisplay_ || !display_ || numFrames_ == 0 || w <= 0 || h <= 0) return;
  HDC dc = canvas.Handle();
  HDC composite = display_->composite.dc;
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  if (!display_->mask.dc) {
    StretchBlt(dc, x, y, w, h, composite, 0, 0, width_, height_, SRCCOPY);
  } else {
    // The page background, the mask's hole in it and the picture are put
    // together off screen and shown in one copy.
    TGIFSurface& scratch = display_->scratch;
    if (display_->scratchWidth != w || display_->scratchHeight != h) {
      scratch.Free();
      display_->scratchWidth = display_->scratchHeight = 0;
      if (!scratch.Make(w, h, false, BLACKNESS)) {
        scratch.Free();
        SetStretchBltMode(dc, oldMode);
        return;
      }
      display_->scratchWidth = w;
      display_->scratchHeight = h;
    }
    HDC s = scratch.dc;
    HPALETTE oldPalette = nullptr;
    if (htmlun2::ThePalette) {
      oldPalette = SelectPalette(s, htmlun2::ThePalette, FALSE);
      RealizePalette(s);
    }
    htmlun2::TDib* tile = GIFBackground.Tile;
    const int tw = tile ? tile->Info->bmiHeader.biWidth : 0;
    const int th = tile ? std::abs(tile->Info->bmiHeader.biHeight) : 0;
    if (tw > 0 && th > 0) {
      // The scratch DC's (0, 0) is (x, y) of the canvas: the tiles start
      // where the page's tiling puts them there.
      const int ox = int(((int64_t(x) - GIFBackground.OriginX) % tw + tw) % tw);
      const int oy = int(((int64_t(y) - GIFBackground.OriginY) % th + th) % th);
      for (int ty = -oy; ty < h; ty += th)
        for (int tx = -ox; tx < w; tx += tw) tile->DrawDIB(s, tx, ty, tw, th, SRCCOPY);
    } else {
      HBRUSH brush = CreateSolidBrush(clPaletteRelative | (ColorToRGB(GIFBackground.Color) & 0xFFFFFF));
      RECT r{0, 0, w, h};
      FillRect(s, &r, brush);
      DeleteObject(brush);
    }
    SetStretchBltMode(s, COLORONCOLOR);
    SetBkColor(s, RGB(255, 255, 255));
    SetTextColor(s, RGB(0, 0, 0));
    StretchBlt(s, 0, 0, w, h, display_->mask.dc, 0, 0, width_, height_, SRCAND);
    // The composite is black wherever the mask is white.
    StretchBlt(s, 0, 0, w, h, composite, 0, 0, width_, height_, SRCPAINT);
    BitBlt(dc, x, y, w, h, s, 0, 0, SRCCOPY);
    if (oldPalette) SelectPalette(s, oldPalette, FALSE);
  }
  SetStretchBltMode(dc, oldMode);
  display_->lastWindow = window;
  display_->lastRect = RECT{x, y, x + w, y + h};
  if (animate_) AnimationStep();
}
