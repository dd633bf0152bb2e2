#include "win/htmlimages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "htmlpalette.h"
#include "htmlutil.h"
#include "imgcache.h"
#include "win/extctrls.h"
#include "win/forms.h"

namespace htmlun2 {

int ColorBits = 24;
HPALETTE ThePalette = nullptr;
TBitmap* DefBitMap = nullptr;
TBitmap* ErrorBitMap = nullptr;
TBitmap* ErrorBitmapMask = nullptr;

// ---------------------------------------------------------------- blocks

AllocRec::AllocRec(size_t size) : ASize(size) {
  if (size >= GlobalBlockSize) {
    AHandle = GlobalAlloc(GMEM_MOVEABLE, size);
    if (AHandle) Ptr = GlobalLock(AHandle);
    if (!Ptr) {
      if (AHandle) GlobalFree(AHandle);
      AHandle = nullptr;
      throw EOutOfMemory("Out of memory");
    }
  } else {
    Ptr = std::malloc(size ? size : 1);
    if (!Ptr) throw EOutOfMemory("Out of memory");
  }
}

AllocRec::~AllocRec() {
  if (AHandle) {
    GlobalUnlock(AHandle);
    GlobalFree(AHandle);
  } else {
    std::free(Ptr);
  }
}

// ---------------------------------------------------------------- TDib

uint64_t DibImageSize(int width, int height, int bitCount) {
  if (width <= 0 || height <= 0 || bitCount <= 0) return 0;
  return (uint64_t(width) * uint64_t(bitCount) + 31) / 32 * 4 * uint64_t(height);
}

TDib::TDib(HDC dc, HBITMAP bitmap) {
  BITMAP bm{};
  if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) throw EOutOfResources("Out of system resources");
  InfoSize = int(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  info_.assign(size_t(InfoSize), 0);
  Info = reinterpret_cast<BITMAPINFO*>(info_.data());
  BITMAPINFOHEADER& h = Info->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = bm.bmWidth;
  h.biHeight = bm.bmHeight;
  h.biPlanes = 1;
  h.biBitCount = WORD(bm.bmPlanes * bm.bmBitsPixel);
  h.biCompression = BI_RGB;
  uint64_t size = DibImageSize(bm.bmWidth, std::abs(bm.bmHeight), h.biBitCount);
  if (size == 0 || size > MaxDibBytes) throw EOutOfMemory("Out of memory");
  BitsSize = size_t(size);
  block_ = new AllocRec(BitsSize);
  Bits = block_->Ptr;

  HDC use = dc ? dc : GetDC(nullptr);
  HPALETTE old = nullptr;
  if (ThePalette) {
    old = SelectPalette(use, ThePalette, FALSE);
    RealizePalette(use);
  }
  int lines = GetDIBits(use, bitmap, 0, UINT(std::abs(bm.bmHeight)), Bits, Info, DIB_RGB_COLORS);
  if (old) SelectPalette(use, old, FALSE);
  if (!dc) ReleaseDC(nullptr, use);
  if (lines == 0) {
    delete block_;
    block_ = nullptr;
    // Short of GDI memory without a DC of the caller's: give back what the
    // cache holds before reporting it.
    if (!dc && BitmapList) BitmapList->PurgeCache();
    throw EOutOfResources("Out of system resources");
  }
}

TDib::~TDib() { delete block_; }

void TDib::DrawDIB(HDC dc, int x, int y, int w, int h, DWORD rop) {
  StretchDIBits(dc, x, y, w, h, 0, 0, Info->bmiHeader.biWidth, std::abs(Info->bmiHeader.biHeight), Bits, Info,
                DIB_RGB_COLORS, rop);
}

HBITMAP TDib::CreateDIBitmap(HDC dc) {
  return ::CreateDIBitmap(dc, &Info->bmiHeader, CBM_INIT, Bits, Info, DIB_RGB_COLORS);
}

// ---------------------------------------------------------------- palette and unit

HPALETTE MakeViewerPalette() {
  std::vector<uint8_t> mem(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY), 0);
  LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(mem.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 256;
  HDC screen = GetDC(nullptr);
  GetSystemPaletteEntries(screen, 0, 256, lp->palPalEntry);
  ReleaseDC(nullptr, screen);
  TPaletteColor entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = TPaletteColor{lp->palPalEntry[i].peRed, lp->palPalEntry[i].peGreen, lp->palPalEntry[i].peBlue,
                               lp->palPalEntry[i].peFlags};
  FillViewerPalette(entries);
  for (int i = 0; i < 256; ++i)
    lp->palPalEntry[i] = PALETTEENTRY{entries[i].Red, entries[i].Green, entries[i].Blue, entries[i].Flags};
  return CreatePalette(lp);
}

namespace {

bool g_started = false;

TBitmap* ResourceBitmap(HINSTANCE instance, int id, bool monochrome) {
  TBitmap* b = new TBitmap;
  b->SetMonochrome(monochrome);
  if (!b->LoadFromResourceName(instance, "#" + std::to_string(id))) {
    delete b;
    return nullptr;
  }
  return b;
}

bool EndsWithGif(const std::string& name) {
  return name.size() >= 4 && LowerCase(name.substr(name.size() - 4)) == ".gif";
}

}  // namespace

void StartHtmlImages() {
  if (g_started) return;
  g_started = true;
  HDC screen = GetDC(nullptr);
  ColorBits = ColorBitsOf(GetDeviceCaps(screen, BITSPIXEL), GetDeviceCaps(screen, PLANES));
  ReleaseDC(nullptr, screen);
  if (ColorBits == 8) ThePalette = MakeViewerPalette();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ErrorBitMap = ResourceBitmap(instance, 1001, false);
  DefBitMap = ResourceBitmap(instance, 1002, false);
  ErrorBitmapMask = ResourceBitmap(instance, 1005, true);
  HCURSOR link = LoadCursorA(instance, MAKEINTRESOURCEA(1003));
  if (link && Screen) Screen->SetCursors(LinkCursor, link);
  StartImageCache();
}

void EndHtmlImages() {
  if (!g_started) return;
  g_started = false;
  if (ThePalette) DeleteObject(ThePalette);
  ThePalette = nullptr;
  delete DefBitMap;
  delete ErrorBitMap;
  delete ErrorBitmapMask;
  DefBitMap = ErrorBitMap = ErrorBitmapMask = nullptr;
  EndImageCache();
}

namespace {

// The unit's end, at process exit: the palette, the built-in pictures and
// the cached pictures go back to the system.
struct TImagesEnd {
  ~TImagesEnd() { EndHtmlImages(); }
} g_imagesEnd;

}  // namespace

// ---------------------------------------------------------------- pictures

TBitmap* LoadBmpBitmap(const uint8_t* data, size_t size) {
  TBmpPixels px;
  if (!ReadBmp(data, size, px)) return nullptr;
  TBitmap* b = new TBitmap(px.Width, px.Height);
  if (b->Empty()) {
    delete b;
    return nullptr;
  }
  for (int y = 0; y < px.Height; ++y) std::memcpy(b->ScanLine(y), &px.Pixels[size_t(y) * px.Width], size_t(px.Width) * 4);
  return b;
}

TBitmap* ConvertToDisplay(TBitmap* source) {
  if (!source) return nullptr;
  HBITMAP bmp = source->ReleaseHandle();
  delete source;
  if (!bmp) return nullptr;
  HDC screen = GetDC(nullptr);
  HPALETTE old = nullptr;
  if (ThePalette) {
    old = SelectPalette(screen, ThePalette, FALSE);
    RealizePalette(screen);
  }
  HBITMAP ddb = nullptr;
  try {
    TDib dib(screen, bmp);
    ddb = dib.CreateDIBitmap(screen);
  } catch (...) {
    if (old) SelectPalette(screen, old, FALSE);
    ReleaseDC(nullptr, screen);
    DeleteObject(bmp);
    throw;
  }
  if (old) SelectPalette(screen, old, FALSE);
  ReleaseDC(nullptr, screen);
  DeleteObject(bmp);
  if (!ddb) return nullptr;
  TBitmap* out = new TBitmap;
  out->SetHandle(ddb);
  return out;
}

TBitmap* GetImageMask(TBitmap& bitmap, bool colorValid, TColor color) {
  if (bitmap.Empty()) return nullptr;
  HDC src = bitmap.Canvas().Handle();
  if (!colorValid) color = GetPixel(src, 0, bitmap.Height() - 1);
  TBitmap* mask = new TBitmap;
  mask->SetMonochrome(true);
  mask->SetSize(bitmap.Width(), bitmap.Height());
  if (mask->Empty()) {
    delete mask;
    return nullptr;
  }
  // Colour to 1 bit: the source's background colour becomes white.
  COLORREF oldBk = SetBkColor(src, (ColorToRGB(color) & 0xFFFFFF) | clPaletteRelative);
  BitBlt(mask->Canvas().Handle(), 0, 0, bitmap.Width(), bitmap.Height(), src, 0, 0, SRCCOPY);
  SetBkColor(src, oldBk);
  return mask;
}

TBitmap* GetImageAndMaskFromFile(const std::string& name, uint8_t& transparent, TBitmap*& mask) {
  mask = nullptr;
  if (!FileExists(name)) return nullptr;
  TMemoryStream data;
  try {
    TFileStream f(name, fmOpenRead | fmShareDenyWrite);
    data.CopyFrom(&f, 0);
  } catch (const Exception&) {
    return nullptr;
  }
  data.SetPosition(0);
  uint32_t gifColor = 0;
  if (EndsWithGif(name) && GetGifTransparentColor(&data, gifColor)) transparent = 2;
  TBitmap* bmp = LoadBmpBitmap(static_cast<const uint8_t*>(data.Memory()), size_t(data.Size()));
  if (!bmp) return nullptr;
  if (transparent != 0) {
    mask = GetImageMask(*bmp, transparent == 2, gifColor);
    if (!mask) {
      delete bmp;
      return nullptr;
    }
  }
  return ConvertToDisplay(bmp);
}

TBitmap* GetBitmapAndMaskFromStream(TStream* stream, uint8_t& transparent, TBitmap*& mask) {
  mask = nullptr;
  if (!stream) return nullptr;
  int64_t size = stream->Size();
  if (size < 20 || size > int64_t(MaxDibBytes) + 4096) return nullptr;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  stream->SetPosition(0);
  if (stream->Read(data.data(), int(size)) != int(size) || data[0] != 'B' || data[1] != 'M') return nullptr;
  TBitmap* bmp = LoadBmpBitmap(data.data(), data.size());
  if (!bmp) return nullptr;
  if (transparent == 1) mask = GetImageMask(*bmp, false, 0);
  return ConvertToDisplay(bmp);
}

void FinishTransparentBitmap(HDC dc, TBitmap& bitmap, TBitmap& mask, int x, int y, int w, int h) {
  if (w < 2 || h < 2 || bitmap.Empty() || mask.Empty()) return;
  const int bw = bitmap.Width(), bh = bitmap.Height();
  HDC pic = bitmap.Canvas().Handle();
  HDC mdc = mask.Canvas().Handle();

  // The picture is masked in place below; a copy restores it afterwards.
  HDC saveDC = CreateCompatibleDC(dc);
  HBITMAP save = CreateCompatibleBitmap(pic, bw, bh);
  HGDIOBJ oldSave = SelectObject(saveDC, save);
  BitBlt(saveDC, 0, 0, bw, bh, pic, 0, 0, SRCCOPY);

  HDC invDC = CreateCompatibleDC(dc);
  HBITMAP inv = CreateBitmap(bw, bh, 1, 1, nullptr);
  HGDIOBJ oldInv = SelectObject(invDC, inv);
  BitBlt(invDC, 0, 0, bw, bh, mdc, 0, 0, NOTSRCCOPY);

  // Black where the picture goes, the background kept where it is clear.
  int oldMode = SetStretchBltMode(dc, BLACKONWHITE);
  COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  StretchBlt(dc, x, y, w, h, mdc, 0, 0, bw, bh, SRCAND);

  // The picture black where it is clear, then laid over the hole.
  COLORREF picBk = SetBkColor(pic, RGB(255, 255, 255));
  COLORREF picText = SetTextColor(pic, RGB(0, 0, 0));
  BitBlt(pic, 0, 0, bw, bh, invDC, 0, 0, SRCAND);
  SetStretchBltMode(dc, WHITEONBLACK);
  StretchBlt(dc, x, y, w, h, pic, 0, 0, bw, bh, SRCPAINT);

  BitBlt(pic, 0, 0, bw, bh, saveDC, 0, 0, SRCCOPY);
  SetBkColor(pic, picBk);
  SetTextColor(pic, picText);
  SetStretchBltMode(dc, oldMode);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
  SelectObject(invDC, oldInv);
  DeleteObject(inv);
  DeleteDC(invDC);
  SelectObject(saveDC, oldSave);
  DeleteObject(save);
  DeleteDC(saveDC);
}

// ---------------------------------------------------------------- drawing

void WrapText(TCanvas& canvas, int x1, int y1, int x2, int y2, const std::string& s) {
  const int lineHeight = canvas.TextHeight("A");
  const int width = x2 - x1;
  int y = y1;
  std::string line;
  size_t at = 0;
  while (at <= s.size()) {
    size_t space = s.find(' ', at);
    std::string word = s.substr(at, space == std::string::npos ? std::string::npos : space - at);
    at = space == std::string::npos ? s.size() + 1 : space + 1;
    if (word.empty()) continue;
    std::string longer = line.empty() ? word : line + " " + word;
    if (line.empty() || canvas.TextWidth(longer) <= width) {
      line = longer;
      continue;
    }
    if (y + lineHeight > y2) return;
    canvas.TextOut(x1, y, line);
    y += lineHeight;
    line = word;
  }
  if (!line.empty() && y + lineHeight <= y2) canvas.TextOut(x1, y, line);
}

int GetTextExtent(HDC dc, const char* p, int n) {
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc, p, n, &size);
  return size.cx;
}

void FormControlRect(TCanvas& canvas, int x1, int y1, int x2, int y2, bool raised) {
  TColor penColor = canvas.Pen().Color(), brushColor = canvas.Brush().Color();
  int penWidth = canvas.Pen().Width();
  TPenStyle penStyle = canvas.Pen().Style();
  TBrushStyle brushStyle = canvas.Brush().Style();

  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clWhite);
  canvas.FillRect(RECT{x1, y1, x2, y2});
  HDC dc = canvas.Handle();
  RECT r{x1, y1, x2, y2};
  if (GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1) {
    Frame3D(canvas, r, clBlack, clBlack, 1);
  } else {
    TColor lit = raised ? clSilver : clBtnShadow, dark = raised ? clBtnShadow : clSilver;
    Frame3D(canvas, r, lit, dark, 2);
  }

  canvas.Pen().SetColor(penColor);
  canvas.Pen().SetWidth(penWidth);
  canvas.Pen().SetStyle(penStyle);
  canvas.Brush().SetColor(brushColor);
  canvas.Brush().SetStyle(brushStyle);
}

}  // namespace htmlun2
