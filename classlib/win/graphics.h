// Colours, GDI objects, the canvas and bitmaps over Win32 GDI.
// Every GDI object a class creates is owned by it and deleted when it is
// replaced or destroyed; a canvas deselects its objects before that happens.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sysutils.h"

// 0x00BBGGRR, or a system colour (high bit set, low byte the COLOR_ index),
// optionally with the palette-relative flag 0x02000000.
typedef uint32_t TColor;

const TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
             clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
             clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
             clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
const TColor clSystemColor = 0x80000000u;
const TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR, clBackground = clSystemColor | COLOR_BACKGROUND,
             clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION, clWindow = clSystemColor | COLOR_WINDOW,
             clWindowText = clSystemColor | COLOR_WINDOWTEXT, clBtnFace = clSystemColor | COLOR_BTNFACE,
             clBtnShadow = clSystemColor | COLOR_BTNSHADOW, clGrayText = clSystemColor | COLOR_GRAYTEXT,
             clBtnText = clSystemColor | COLOR_BTNTEXT, clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT,
             clHighlight = clSystemColor | COLOR_HIGHLIGHT, clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT,
             cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW, cl3DLight = clSystemColor | COLOR_3DLIGHT,
             clInfoText = clSystemColor | COLOR_INFOTEXT, clInfoBk = clSystemColor | COLOR_INFOBK;
const TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;
const TColor clPaletteRelative = 0x02000000;

// The COLORREF GDI takes: system colours resolved, the palette-relative flag kept.
COLORREF ColorToRGB(TColor c);


#include "fontdesc.h"

// The font description with its GDI font, made when first needed.
class TFont : public TFontDesc {
 public:
  TFont();
  ~TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  // From another TFont everything is copied, charset and escapement too;
  // from a bare description only what it holds.
  void Assign(const TFont& other);
  using TFontDesc::Assign;

  int Charset() const { return charset_; }
  void SetCharset(int v);
  // Tenths of a degree, counter-clockwise.
  int Escapement() const { return escapement_; }
  void SetEscapement(int v);
  // Created on first use; replaced after every change.
  HFONT Handle();
  void FillLogFont(LOGFONTA& lf) const;

 protected:
  int PixelsPerInch() const override;
  void ShapeChanged() override;

 private:
  int charset_ = DEFAULT_CHARSET;
  int escapement_ = 0;
  HFONT handle_ = nullptr;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmNot, pmXor, pmMerge, pmMask };

class TPen : public TObject {
 public:
  TPen() = default;
  ~TPen();
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  void Assign(const TPen& other);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  int Width() const { return width_; }
  void SetWidth(int v);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle v);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode v);
  HPEN Handle();
  TNotifyEvent OnChange;

 private:
  void Changed();
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
  HPEN handle_ = nullptr;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TObject {
 public:
  TBrush() = default;
  ~TBrush();
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  void Assign(const TBrush& other);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle v);
  HBRUSH Handle();
  TNotifyEvent OnChange;

 private:
  void Changed();
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  HBRUSH handle_ = nullptr;
};

class TBitmap;
class TIcon;

// Text formats of TCanvas::DrawText are the DT_ flags of Win32.
class TCanvas : public TObject {
 public:
  TCanvas();
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The device context, acquired on demand (see CreateHandle).
  HDC Handle();
  // Attaches a DC the canvas does not own (nullptr detaches). Objects the
  // canvas selected into the old DC are deselected first.
  void SetHandle(HDC dc);
  bool HandleAllocated() const { return dc_ != nullptr; }

  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  POINT PenPos() const { return pen_pos_; }
  void SetPenPos(POINT p) { MoveTo(p.x, p.y); }

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Polyline(const std::vector<POINT>& points);
  void Polygon(const std::vector<POINT>& points);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  void RoundRect(int x1, int y1, int x2, int y2, int w, int h);
  void Ellipse(int x1, int y1, int x2, int y2);
  void FillRect(const RECT& r);
  void FrameRect(const RECT& r);
  void TextOut(int x, int y, const std::string& text);
  void TextRect(const RECT& r, int x, int y, const std::string& text);
  SIZE TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  // Returns the height of the drawn text; DT_CALCRECT updates r.
  int DrawText(const std::string& text, RECT& r, UINT format);
  TColor Pixel(int x, int y);
  void SetPixel(int x, int y, TColor c);
  void CopyRect(const RECT& dest, TCanvas& source, const RECT& src);
  void Draw(int x, int y, TBitmap& bitmap);
  void Draw(int x, int y, TIcon& icon);
  void StretchDraw(const RECT& dest, TBitmap& bitmap);
  // The part of the canvas that drawing can reach, in its coordinates
  // (empty without a DC).
  RECT ClipRect();
  DWORD CopyMode = SRCCOPY;

 protected:
  // Gives a canvas without a DC the chance to acquire one.
  virtual void CreateHandle() {}
  // Selects font, pen and brush as they are now.
  void RequiredState();
  void DeselectObjects();
  HDC dc_ = nullptr;

 private:
  TFont font_;
  TPen pen_;
  TBrush brush_;
  POINT pen_pos_{0, 0};
  HGDIOBJ old_font_ = nullptr, old_pen_ = nullptr, old_brush_ = nullptr;
  HFONT sel_font_ = nullptr;
  HPEN sel_pen_ = nullptr;
  HBRUSH sel_brush_ = nullptr;
};

// A top-down 32-bit DIB section with its own memory DC; or, in its
// monochrome form (masks), a 1-bit device-dependent bitmap; or any
// device-dependent bitmap it was handed.  Only the DIB form has scan lines.
// An optional palette is selected into its DC and realised.
class TBitmap : public TObject {
 public:
  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  void Assign(const TBitmap& other);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Keeps the pixels that still fit; new area is white.
  void SetSize(int width, int height);
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  bool Empty() const { return bitmap_ == nullptr; }
  // The bitmap stays selected into this object's DC: draw from Canvas()
  // rather than selecting the handle elsewhere.
  HBITMAP Handle() const { return bitmap_; }
  // Takes over a device-dependent bitmap (deleted with this object); its
  // size and form come from the bitmap itself.
  void SetHandle(HBITMAP bitmap);
  // Hands the bitmap out, deselected: the caller owns it and this object
  // is empty.
  HBITMAP ReleaseHandle();
  // Switching form keeps the picture: to 1 bit, pixels of the canvas's
  // brush colour become white and all others black, as GDI converts.
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool v);
  HPALETTE Palette() const { return palette_; }
  // Takes over a palette (deleted when replaced or with this object).
  void SetPalette(HPALETTE palette);
  TCanvas& Canvas();
  // Row y as 0x00RRGGBB words.
  uint32_t* ScanLine(int y);
  // Reads a .bmp file / a bitmap resource of the program; returns false
  // and leaves the bitmap unchanged when it cannot.
  bool LoadFromFile(const std::string& path);
  bool LoadFromResourceName(HINSTANCE instance, const std::string& name);
  // Takes a copy of a device-dependent bitmap.
  bool LoadFromHandle(HBITMAP bitmap);
  void Clear();
  TNotifyEvent OnChange;

 private:
  void Release();
  // Makes bmp (of the given size; bits for a DIB section) the picture,
  // copying what of the old picture still fits when keep is set.
  void Install(HBITMAP bmp, uint32_t* bits, int width, int height, bool keep);
  HBITMAP NewBitmap(int width, int height, uint32_t** bits) const;
  void SelectPaletteIntoDC();
  int width_ = 0, height_ = 0;
  bool monochrome_ = false;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  HPALETTE palette_ = nullptr;
  HPALETTE old_palette_ = nullptr;
  HDC dc_ = nullptr;
  uint32_t* bits_ = nullptr;
  TCanvas* canvas_ = nullptr;
};

class TIcon : public TObject {
 public:
  TIcon() = default;
  ~TIcon();
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;
  HICON Handle() const { return icon_; }
  // The icon is owned (destroyed with this object) unless shared is true.
  void SetHandle(HICON icon, bool shared = false);
  bool LoadFromResourceName(HINSTANCE instance, const std::string& name);
  int Width() const;
  int Height() const;
  bool Empty() const { return icon_ == nullptr; }

 private:
  HICON icon_ = nullptr;
  bool shared_ = false;
};

// What TImage shows.
class TPicture : public TObject {
 public:
  TPicture() {
    bitmap_.OnChange = [this](TObject*) {
      if (OnChange) OnChange(this);
    };
  }
  TBitmap& Bitmap() { return bitmap_; }
  int Width() const { return bitmap_.Width(); }
  int Height() const { return bitmap_.Height(); }
  TNotifyEvent OnChange;

 private:
  TBitmap bitmap_;
};
