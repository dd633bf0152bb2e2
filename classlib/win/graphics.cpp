#include "graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

COLORREF ColorToRGB(TColor c) {
  if (c & clSystemColor) return GetSysColor(static_cast<int>(c & 0xFF));
  return static_cast<COLORREF>(c & 0x03FFFFFF);
}

namespace {

int ScreenLogPixelsY() {
  HDC dc = GetDC(nullptr);
  int v = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return v > 0 ? v : 96;
}

}  // namespace

// ---------------------------------------------------------------- TFont

TFont::TFont() = default;

TFont::~TFont() {
  if (handle_) DeleteObject(handle_);
}

void TFont::Assign(const TFont& other) {
  AssignDesc(other);
  charset_ = other.charset_;
  escapement_ = other.escapement_;
  ShapeChanged();
}

int TFont::PixelsPerInch() const { return ScreenLogPixelsY(); }

void TFont::ShapeChanged() {
  // The old handle may still be selected into a canvas; the canvas swaps
  // it out when it next draws, so it is only deleted once nothing uses it.
  if (handle_) {
    HFONT old = handle_;
    handle_ = nullptr;
    Notify();
    DeleteObject(old);
    return;
  }
  Notify();
}

void TFont::SetCharset(int v) {
  if (v != charset_) { charset_ = v; ShapeChanged(); }
}
void TFont::SetEscapement(int v) {
  if (v != escapement_) { escapement_ = v; ShapeChanged(); }
}

void TFont::FillLogFont(LOGFONTA& lf) const {
  std::memset(&lf, 0, sizeof lf);
  lf.lfHeight = Height();
  lf.lfEscapement = escapement_;
  lf.lfOrientation = escapement_;
  lf.lfWeight = (Style() & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (Style() & fsItalic) ? 1 : 0;
  lf.lfUnderline = (Style() & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (Style() & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = static_cast<BYTE>(charset_);
  // Only outline fonts can be rotated.
  lf.lfOutPrecision = escapement_ ? OUT_TT_ONLY_PRECIS : OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynA(lf.lfFaceName, Name().c_str(), LF_FACESIZE);
}

HFONT TFont::Handle() {
  if (!handle_) {
    LOGFONTA lf;
    FillLogFont(lf);
    handle_ = CreateFontIndirectA(&lf);
  }
  return handle_;
}

// ---------------------------------------------------------------- TPen

TPen::~TPen() {
  if (handle_) DeleteObject(handle_);
}

void TPen::Changed() {
  HPEN old = handle_;
  handle_ = nullptr;
  if (OnChange) OnChange(this);
  if (old) DeleteObject(old);
}

void TPen::Assign(const TPen& o) {
  color_ = o.color_;
  width_ = o.width_;
  style_ = o.style_;
  mode_ = o.mode_;
  Changed();
}
void TPen::SetColor(TColor v) {
  if (v != color_) { color_ = v; Changed(); }
}
void TPen::SetWidth(int v) {
  if (v != width_) { width_ = v; Changed(); }
}
void TPen::SetStyle(TPenStyle v) {
  if (v != style_) { style_ = v; Changed(); }
}
void TPen::SetMode(TPenMode v) {
  if (v != mode_) { mode_ = v; if (OnChange) OnChange(this); }
}

HPEN TPen::Handle() {
  if (!handle_) {
    static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    handle_ = CreatePen(styles[style_], width_, ColorToRGB(color_));
  }
  return handle_;
}

// ---------------------------------------------------------------- TBrush

TBrush::~TBrush() {
  if (handle_) DeleteObject(handle_);
}

void TBrush::Changed() {
  HBRUSH old = handle_;
  handle_ = nullptr;
  if (OnChange) OnChange(this);
  if (old) DeleteObject(old);
}

void TBrush::Assign(const TBrush& o) {
  color_ = o.color_;
  style_ = o.style_;
  Changed();
}
void TBrush::SetColor(TColor v) {
  if (v != color_ || style_ == bsClear) {
    color_ = v;
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
  }
}
void TBrush::SetStyle(TBrushStyle v) {
  if (v != style_) { style_ = v; Changed(); }
}

HBRUSH TBrush::Handle() {
  if (!handle_) {
    LOGBRUSH lb{};
    lb.lbColor = ColorToRGB(color_);
    switch (style_) {
      case bsSolid: lb.lbStyle = BS_SOLID; break;
      case bsClear: lb.lbStyle = BS_HOLLOW; break;
      default:
        lb.lbStyle = BS_HATCHED;
        lb.lbHatch = static_cast<ULONG_PTR>(style_ - bsHorizontal);
        break;
    }
    handle_ = CreateBrushIndirect(&lb);
  }
  return handle_;
}

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas() {
  // A changed object is swapped into the DC at the next drawing call; the
  // old handle must leave the DC before its owner deletes it.
  font_.OnChange = [this](TObject*) {
    if (dc_ && sel_font_) { SelectObject(dc_, old_font_); sel_font_ = nullptr; old_font_ = nullptr; }
  };
  pen_.OnChange = [this](TObject*) {
    if (dc_ && sel_pen_) { SelectObject(dc_, old_pen_); sel_pen_ = nullptr; old_pen_ = nullptr; }
  };
  brush_.OnChange = [this](TObject*) {
    if (dc_ && sel_brush_) { SelectObject(dc_, old_brush_); sel_brush_ = nullptr; old_brush_ = nullptr; }
  };
}

TCanvas::~TCanvas() { DeselectObjects(); }

HDC TCanvas::Handle() {
  if (!dc_) CreateHandle();
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  DeselectObjects();
  dc_ = dc;
}

void TCanvas::DeselectObjects() {
  if (!dc_) return;
  if (sel_font_) SelectObject(dc_, old_font_);
  if (sel_pen_) SelectObject(dc_, old_pen_);
  if (sel_brush_) SelectObject(dc_, old_brush_);
  sel_font_ = nullptr;
  sel_pen_ = nullptr;
  sel_brush_ = nullptr;
  old_font_ = old_pen_ = old_brush_ = nullptr;
}

void TCanvas::RequiredState() {
  if (!dc_) CreateHandle();
  if (!dc_) return;
  HFONT f = font_.Handle();
  if (sel_font_ != f) {
    HGDIOBJ prev = SelectObject(dc_, f);
    if (!sel_font_) old_font_ = prev;
    sel_font_ = f;
  }
  HPEN p = pen_.Handle();
  if (sel_pen_ != p) {
    HGDIOBJ prev = SelectObject(dc_, p);
    if (!sel_pen_) old_pen_ = prev;
    sel_pen_ = p;
  }
  HBRUSH b = brush_.Handle();
  if (sel_brush_ != b) {
    HGDIOBJ prev = SelectObject(dc_, b);
    if (!sel_brush_) old_brush_ = prev;
    sel_brush_ = b;
  }
  SetTextColor(dc_, ColorToRGB(font_.Color()));
  if (brush_.Style() == bsClear) {
    SetBkMode(dc_, TRANSPARENT);
  } else {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, ColorToRGB(brush_.Color()));
  }
  static const int rops[] = {R2_COPYPEN, R2_NOT, R2_XORPEN, R2_MERGEPEN, R2_MASKPEN};
  SetROP2(dc_, rops[pen_.Mode()]);
}

void TCanvas::MoveTo(int x, int y) {
  RequiredState();
  if (dc_) MoveToEx(dc_, x, y, nullptr);
  pen_pos_ = POINT{x, y};
}

void TCanvas::LineTo(int x, int y) {
  RequiredState();
  if (!dc_) return;
  MoveToEx(dc_, pen_pos_.x, pen_pos_.y, nullptr);
  ::LineTo(dc_, x, y);
  pen_pos_ = POINT{x, y};
}

void TCanvas::Polyline(const std::vector<POINT>& pts) {
  RequiredState();
  if (dc_ && !pts.empty()) ::Polyline(dc_, pts.data(), static_cast<int>(pts.size()));
}

void TCanvas::Polygon(const std::vector<POINT>& pts) {
  RequiredState();
  if (dc_ && !pts.empty()) ::Polygon(dc_, pts.data(), static_cast<int>(pts.size()));
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  RequiredState();
  if (dc_) ::Rectangle(dc_, x1, y1, x2, y2);
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int w, int h) {
  RequiredState();
  if (dc_) ::RoundRect(dc_, x1, y1, x2, y2, w, h);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  RequiredState();
  if (dc_) ::Ellipse(dc_, x1, y1, x2, y2);
}

void TCanvas::FillRect(const RECT& r) {
  RequiredState();
  if (dc_) ::FillRect(dc_, &r, brush_.Handle());
}

void TCanvas::FrameRect(const RECT& r) {
  RequiredState();
  if (dc_) ::FrameRect(dc_, &r, brush_.Handle());
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  RequiredState();
  if (!dc_) return;
  ::TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
  pen_pos_ = POINT{x + TextWidth(text), y};
}

void TCanvas::TextRect(const RECT& r, int x, int y, const std::string& text) {
  RequiredState();
  if (dc_) ExtTextOutA(dc_, x, y, ETO_CLIPPED | (brush_.Style() != bsClear ? ETO_OPAQUE : 0), &r, text.data(),
                       static_cast<UINT>(text.size()), nullptr);
}

SIZE TCanvas::TextExtent(const std::string& text) {
  SIZE s{0, 0};
  RequiredState();
  if (dc_) GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &s);
  return s;
}

int TCanvas::DrawText(const std::string& text, RECT& r, UINT format) {
  RequiredState();
  if (!dc_) return 0;
  return ::DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &r, format);
}

TColor TCanvas::Pixel(int x, int y) {
  RequiredState();
  return dc_ ? static_cast<TColor>(GetPixel(dc_, x, y)) : clNone;
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  RequiredState();
  if (dc_) ::SetPixel(dc_, x, y, ColorToRGB(c));
}

void TCanvas::CopyRect(const RECT& dest, TCanvas& source, const RECT& src) {
  RequiredState();
  source.RequiredState();
  if (!dc_ || !source.dc_) return;
  SetStretchBltMode(dc_, COLORONCOLOR);
  StretchBlt(dc_, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source.dc_, src.left, src.top,
             src.right - src.left, src.bottom - src.top, CopyMode);
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  RECT d{x, y, x + bitmap.Width(), y + bitmap.Height()};
  RECT s{0, 0, bitmap.Width(), bitmap.Height()};
  CopyRect(d, bitmap.Canvas(), s);
}

void TCanvas::Draw(int x, int y, TIcon& icon) {
  RequiredState();
  if (dc_ && !icon.Empty()) DrawIconEx(dc_, x, y, icon.Handle(), 0, 0, 0, nullptr, DI_NORMAL);
}

void TCanvas::StretchDraw(const RECT& dest, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  RECT s{0, 0, bitmap.Width(), bitmap.Height()};
  CopyRect(dest, bitmap.Canvas(), s);
}

RECT TCanvas::ClipRect() {
  RECT r{0, 0, 0, 0};
  HDC dc = Handle();
  if (dc) GetClipBox(dc, &r);
  return r;
}

// ---------------------------------------------------------------- TBitmap

TBitmap::~TBitmap() {
  Release();
  if (palette_) DeleteObject(palette_);
  delete canvas_;
}

// The canvas object survives a resize (callers keep references to it);
// only its DC changes.
void TBitmap::Release() {
  if (canvas_) canvas_->SetHandle(nullptr);
  if (dc_) {
    SelectObject(dc_, old_bitmap_);
    if (old_palette_) SelectPalette(dc_, old_palette_, FALSE);
    DeleteDC(dc_);
    dc_ = nullptr;
  }
  old_palette_ = nullptr;
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bits_ = nullptr;
}

void TBitmap::Clear() {
  Release();
  width_ = height_ = 0;
  if (OnChange) OnChange(this);
}

HBITMAP TBitmap::NewBitmap(int width, int height, uint32_t** bits) const {
  *bits = nullptr;
  if (monochrome_) return CreateBitmap(width, height, 1, 1, nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down: row 0 first in memory
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  if (bmp) *bits = static_cast<uint32_t*>(p);
  return bmp;
}

void TBitmap::SelectPaletteIntoDC() {
  if (!dc_ || !palette_) return;
  HPALETTE prev = SelectPalette(dc_, palette_, FALSE);
  if (!old_palette_) old_palette_ = prev;
  RealizePalette(dc_);
}

void TBitmap::Install(HBITMAP bmp, uint32_t* bits, int width, int height, bool fresh) {
  HDC ndc = CreateCompatibleDC(nullptr);
  HGDIOBJ nold = SelectObject(ndc, bmp);
  if (fresh) {
    // New area is white; what of the old picture fits is kept.
    if (bits) std::fill(bits, bits + static_cast<size_t>(width) * height, 0x00FFFFFFu);
    else PatBlt(ndc, 0, 0, width, height, WHITENESS);
    int w = std::min(width, width_), h = std::min(height, height_);
    if (bitmap_ && dc_ && w > 0 && h > 0) {
      if (bits && bits_) {
        GdiFlush();
        for (int y = 0; y < h; ++y)
          std::memcpy(bits + static_cast<size_t>(y) * width, bits_ + static_cast<size_t>(y) * width_, sizeof(uint32_t) * w);
      } else {
        // Colour to 1 bit: the source's background colour (white) becomes
        // white, every other colour black.
        COLORREF bk = SetBkColor(dc_, RGB(255, 255, 255));
        BitBlt(ndc, 0, 0, w, h, dc_, 0, 0, SRCCOPY);
        SetBkColor(dc_, bk);
      }
    }
  }
  Release();
  bitmap_ = bmp;
  bits_ = bits;
  width_ = width;
  height_ = height;
  dc_ = ndc;
  old_bitmap_ = nold;
  SelectPaletteIntoDC();
  if (canvas_) canvas_->SetHandle(dc_);
  if (OnChange) OnChange(this);
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_ && (bitmap_ || width == 0 || height == 0)) return;
  if (width == 0 || height == 0) {
    Release();
    width_ = width;
    height_ = height;
    if (OnChange) OnChange(this);
    return;
  }
  uint32_t* bits = nullptr;
  HBITMAP bmp = NewBitmap(width, height, &bits);
  if (!bmp) return;
  Install(bmp, bits, width, height, true);
}

void TBitmap::SetMonochrome(bool v) {
  if (v == monochrome_) return;
  monochrome_ = v;
  if (!bitmap_) return;
  uint32_t* bits = nullptr;
  HBITMAP bmp = NewBitmap(width_, height_, &bits);
  if (bmp) Install(bmp, bits, width_, height_, true);
}

void TBitmap::SetHandle(HBITMAP bitmap) {
  if (bitmap == bitmap_) return;
  BITMAP info{};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) {
    if (bitmap) DeleteObject(bitmap);
    Clear();
    return;
  }
  monochrome_ = info.bmBitsPixel == 1 && info.bmPlanes == 1;
  Install(bitmap, nullptr, info.bmWidth, std::abs(info.bmHeight), false);
}

HBITMAP TBitmap::ReleaseHandle() {
  HBITMAP bmp = bitmap_;
  if (dc_) SelectObject(dc_, old_bitmap_);
  bitmap_ = nullptr;
  Release();
  width_ = height_ = 0;
  if (OnChange) OnChange(this);
  return bmp;
}

void TBitmap::SetPalette(HPALETTE palette) {
  if (palette == palette_) return;
  if (dc_ && old_palette_) SelectPalette(dc_, old_palette_, FALSE);
  old_palette_ = nullptr;
  if (palette_) DeleteObject(palette_);
  palette_ = palette;
  SelectPaletteIntoDC();
  if (OnChange) OnChange(this);
}

TCanvas& TBitmap::Canvas() {
  if (!dc_) {
    // An empty bitmap still has a canvas (for text measuring, say).
    dc_ = CreateCompatibleDC(nullptr);
    old_bitmap_ = GetCurrentObject(dc_, OBJ_BITMAP);
    SelectPaletteIntoDC();
  }
  if (!canvas_) canvas_ = new TCanvas;
  canvas_->SetHandle(dc_);
  return *canvas_;
}

uint32_t* TBitmap::ScanLine(int y) {
  if (!bits_ || y < 0 || y >= height_) return nullptr;
  GdiFlush();
  return bits_ + static_cast<size_t>(y) * width_;
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  Release();
  width_ = height_ = 0;
  monochrome_ = other.monochrome_;
  if (other.bitmap_) {
    uint32_t* bits = nullptr;
    HBITMAP bmp = NewBitmap(other.width_, other.height_, &bits);
    if (bmp) {
      Install(bmp, bits, other.width_, other.height_, true);
      if (bits_ && other.bits_) {
        GdiFlush();
        std::memcpy(bits_, other.bits_, sizeof(uint32_t) * width_ * height_);
      } else if (other.dc_) {
        BitBlt(dc_, 0, 0, width_, height_, other.dc_, 0, 0, SRCCOPY);
      }
    }
  }
  if (OnChange) OnChange(this);
}

bool TBitmap::LoadFromHandle(HBITMAP src) {
  BITMAP info;
  if (!src || !GetObjectA(src, sizeof info, &info)) return false;
  Release();
  width_ = height_ = 0;
  SetSize(info.bmWidth, info.bmHeight);
  if (!dc_) return false;
  HDC sdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(sdc, src);
  BitBlt(dc_, 0, 0, width_, height_, sdc, 0, 0, SRCCOPY);
  SelectObject(sdc, old);
  DeleteDC(sdc);
  if (OnChange) OnChange(this);
  return true;
}

bool TBitmap::LoadFromFile(const std::string& path) {
  HBITMAP b = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!b) return false;
  bool ok = LoadFromHandle(b);
  DeleteObject(b);
  return ok;
}

bool TBitmap::LoadFromResourceName(HINSTANCE instance, const std::string& name) {
  HBITMAP b = static_cast<HBITMAP>(LoadImageA(instance, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!b) return false;
  bool ok = LoadFromHandle(b);
  DeleteObject(b);
  return ok;
}

// ---------------------------------------------------------------- TIcon

TIcon::~TIcon() { SetHandle(nullptr); }

void TIcon::SetHandle(HICON icon, bool shared) {
  if (icon_ && !shared_ && icon_ != icon) DestroyIcon(icon_);
  icon_ = icon;
  shared_ = shared;
}

bool TIcon::LoadFromResourceName(HINSTANCE instance, const std::string& name) {
  HICON i = static_cast<HICON>(LoadImageA(instance, name.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (!i) return false;
  SetHandle(i);
  return true;
}

int TIcon::Width() const {
  ICONINFO ii;
  if (!icon_ || !GetIconInfo(icon_, &ii)) return 0;
  BITMAP b{};
  GetObjectA(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof b, &b);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  return b.bmWidth;
}

int TIcon::Height() const {
  ICONINFO ii;
  if (!icon_ || !GetIconInfo(icon_, &ii)) return 0;
  BITMAP b{};
  GetObjectA(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof b, &b);
  int h = ii.hbmColor ? b.bmHeight : b.bmHeight / 2;
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  return h;
}
