// The Win32 side of the viewer's image helpers: device-independent copies,
// large blocks, BMP pictures with transparency masks, transparent drawing,
// the display's colour depth and palette, the built-in pictures and the
// link cursor, and the small drawing routines of ALT text and form controls.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bmpread.h"
#include "classes.h"
#include "win/graphics.h"

namespace htmlun2 {

// Blocks of this size or more come from movable global memory.
const size_t GlobalBlockSize = 65280;
// The largest device-independent image accepted: a 32-bit picture at the
// pixel limit.  Anything claiming more raises EOutOfMemory.
const uint64_t MaxDibBytes = uint64_t(MaxImagePixels) * 4;

// A block from the heap, or from global memory when large; EOutOfMemory
// when it cannot be had.
class AllocRec : public TObject {
 public:
  explicit AllocRec(size_t size);
  ~AllocRec() override;
  void* Ptr = nullptr;
  size_t ASize = 0;
  HGLOBAL AHandle = nullptr;
};

// A device-independent copy of a bitmap (not selected into any DC).
class TDib : public TObject {
 public:
  // dc may be null (the screen's is used); ThePalette, when there is one,
  // is selected for the copy.
  TDib(HDC dc, HBITMAP bitmap);
  ~TDib() override;
  void DrawDIB(HDC dc, int x, int y, int w, int h, DWORD rop);
  HBITMAP CreateDIBitmap(HDC dc);
  BITMAPINFO* Info = nullptr;
  int InfoSize = 0;
  void* Bits = nullptr;
  size_t BitsSize = 0;

 private:
  AllocRec* block_ = nullptr;
  std::vector<uint8_t> info_;
};

// The image size of a bitmap's copy: rows rounded up to 32 bits, in 64 bits
// so that no claimed size can wrap.
uint64_t DibImageSize(int width, int height, int bitCount);

// The screen: 4, 8 or 24; the viewer's palette at 8 bits, else null.
extern int ColorBits;
extern HPALETTE ThePalette;
// The placeholder while an image is missing, the broken-image picture and
// its mask (white where transparent).
extern TBitmap* DefBitMap;
extern TBitmap* ErrorBitMap;
extern TBitmap* ErrorBitmapMask;
// The screen cursor number of the link cursor.
const int LinkCursor = 1;

// Unit start and end (start is run once however often it is called).
void StartHtmlImages();
void EndHtmlImages();
// The 256-colour palette of 8-bit screens, over the system palette.
HPALETTE MakeViewerPalette();

// A 32-bit picture of a BMP file's bytes; null when they are not a readable BMP.
TBitmap* LoadBmpBitmap(const uint8_t* data, size_t size);
// A device-dependent copy for the screen (through ThePalette); the source
// is freed.
TBitmap* ConvertToDisplay(TBitmap* source);
// A monochrome mask of one colour (the lower-left pixel's without a valid
// colour): white where the picture has that colour, black elsewhere.
TBitmap* GetImageMask(TBitmap& bitmap, bool colorValid, TColor color);
// transparent: 0 none, 1 the lower-left pixel's colour, 2 (set here for a
// ".gif" name with one) the GIF's transparent colour.
TBitmap* GetImageAndMaskFromFile(const std::string& name, uint8_t& transparent, TBitmap*& mask);
TBitmap* GetBitmapAndMaskFromStream(TStream* stream, uint8_t& transparent, TBitmap*& mask);
// Draws the picture stretched to (x, y, w, h) where the mask is black.
void FinishTransparentBitmap(HDC dc, TBitmap& bitmap, TBitmap& mask, int x, int y, int w, int h);

void WrapText(TCanvas& canvas, int x1, int y1, int x2, int y2, const std::string& s);
int GetTextExtent(HDC dc, const char* p, int n);
void FormControlRect(TCanvas& canvas, int x1, int y1, int x2, int y2, bool raised);

}  // namespace htmlun2
