// Pictures over Win32: bitmaps and GIF images from the three sources, and
// the drawing of an image object.
#include <windows.h>

#include <vector>

#include "gifimage.h"
#include "htmlimageobj.h"
#include "htmlsections.h"
#include "htmlutil.h"
#include "win/controls.h"
#include "win/graphics.h"
#include "win/htmlimages.h"

namespace htmlsubs {
namespace {

TBitmap* AsBitmap(TObject* picture) { return dynamic_cast<TBitmap*>(picture); }

}  // namespace

TObject* ErrorPicture() {
  htmlun2::StartHtmlImages();
  return htmlun2::ErrorBitMap;
}

TObject* ErrorPictureMask() {
  htmlun2::StartHtmlImages();
  return htmlun2::ErrorBitmapMask;
}

TObject* DefPicture() {
  htmlun2::StartHtmlImages();
  return htmlun2::DefBitMap;
}

void PictureSize(TObject* picture, int& width, int& height) {
  width = height = 0;
  if (TGIFImage* gif = AsGif(picture)) {
    width = gif->Width();
    height = gif->Height();
  } else if (TBitmap* bmp = AsBitmap(picture)) {
    width = bmp->Width();
    height = bmp->Height();
  }
}

TGIFImage* AsGif(TObject* picture) { return dynamic_cast<TGIFImage*>(picture); }

TObject* PictureFromBitmap(TBitmap* bitmap, TColor color, uint8_t& transp, TObject*& mask) {
  mask = nullptr;
  if (!bitmap) return nullptr;
  if (bitmap->Empty()) {
    delete bitmap;
    return nullptr;
  }
  const bool colorGiven = color != static_cast<TColor>(-1);
  if (colorGiven || transp) {
    mask = htmlun2::GetImageMask(*bitmap, colorGiven, colorGiven ? color : 0);
    if (mask) transp = colorGiven ? 2 : 1;
  }
  return bitmap;
}

TObject* PictureFromStream(TStream* stream, uint8_t& transp, TObject*& mask) {
  mask = nullptr;
  uint8_t head[8] = {};
  stream->SetPosition(0);
  const int got = stream->Read(head, sizeof head);
  stream->SetPosition(0);
  const int kind = htmlun2::GetImageKind(head, got > 0 ? size_t(got) : 0);
  if (kind == htmlun2::ikGif87 || kind == htmlun2::ikGif89) {
    bool nonAnimated = true;
    return TGIFImage::CreateFromStream(stream, nonAnimated).release();
  }
  TBitmap* bmpMask = nullptr;
  TBitmap* bmp = htmlun2::GetBitmapAndMaskFromStream(stream, transp, bmpMask);
  mask = bmpMask;
  return bmp;
}

TObject* PictureFromFile(const std::string& name, uint8_t& transp, TObject*& mask) {
  mask = nullptr;
  if (IsGifName(name)) {
    bool nonAnimated = true;
    return TGIFImage::CreateFromFile(name, nonAnimated).release();
  }
  TBitmap* bmpMask = nullptr;
  TBitmap* bmp = htmlun2::GetImageAndMaskFromFile(name, transp, bmpMask);
  mask = bmpMask;
  return bmp;
}

namespace {

void StretchDib(HDC dc, TBitmap& bitmap, int x, int y, int w, int h) {
  try {
    htmlun2::TDib dib(dc, bitmap.Handle());
    dib.DrawDIB(dc, x, y, w, h, SRCCOPY);
  } catch (const Exception&) {
    // A picture too large to copy is left out of the page.
  }
}

}  // namespace

void TImageObj::Render(TCanvas& canvas, int x, int lineTop, int textTop, int textHt, int baseline) {
  if (!OwnerList) return;
  TSectionList& list = *OwnerList;
  const bool placeholderMode = !list.ViewImages || Image == ErrorPicture();
  TObject* picture = list.ViewImages ? Image : DefPicture();
  int y;
  if (Align == AlignTop || IsFloat())
    y = lineTop;
  else if (Align == AlignMiddle)
    y = textTop + textHt / 2 - BoxHeight / 2;
  else
    y = baseline - BoxHeight;
  y -= list.ScrollTop;
  HDC dc = canvas.Handle();
  if (HasBorder) {
    canvas.Brush().SetStyle(bsClear);
    canvas.Pen().SetColor(list.LinkColor | PaletteRelative);
    canvas.Rectangle(x, y, x + BoxWidth, y + BoxHeight);
    canvas.Brush().SetStyle(bsSolid);
    ++x;
    ++y;
  }
  ShownX = x;
  ShownY = y + list.ScrollTop;

  int px = x, py = y, pw = PicWidth, ph = PicHeight;
  bool drawPicture = picture != nullptr;
  if (placeholderMode) {
    px += 4;
    py += 4;
    drawPicture = drawPicture && PicWidth >= 24 && PicHeight >= 24;
  }
  TGIFImage* gif = AsGif(picture);
  if (drawPicture && gif && !list.ForPrint) {
    list.MarkDrawn(this);
    gif->Visible = true;
    gif->SetAnimate(true);
    // Animation steps repaint the picture's place in the viewer's panel.
    HWND window = list.ControlParent ? list.ControlParent->Handle() : nullptr;
    gif->Draw(canvas, px, py, pw, ph, window);
  } else if (drawPicture) {
    TBitmap* bmp = gif ? gif->Bitmap() : AsBitmap(picture);
    TBitmap* mask = gif ? gif->Mask() : AsBitmap(Mask);
    if (bmp && !bmp->Empty()) {
      const bool natural = placeholderMode;
      const int w = natural ? bmp->Width() : pw, h = natural ? bmp->Height() : ph;
      if (!list.ForPrint) {
        if ((Transparent || gif) && mask && !mask->Empty()) {
          htmlun2::FinishTransparentBitmap(dc, *bmp, *mask, px, py, w, h);
        } else if (natural) {
          BitBlt(dc, px, py, w, h, bmp->Canvas().Handle(), 0, 0, SRCCOPY);
        } else {
          HPALETTE old = nullptr;
          if (htmlun2::ThePalette) {
            old = SelectPalette(dc, htmlun2::ThePalette, TRUE);
            RealizePalette(dc);
          }
          const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
          StretchBlt(dc, px, py, w, h, bmp->Canvas().Handle(), 0, 0, bmp->Width(), bmp->Height(), SRCCOPY);
          SetStretchBltMode(dc, oldMode);
          if (old) SelectPalette(dc, old, TRUE);
        }
      } else {
        StretchDib(dc, *bmp, px, py, w, h);
      }
    }
  }
  if (placeholderMode && !HasBorder) {
    if (!AltText.empty()) {
      TFontDesc arial;
      arial.SetName("Arial");
      arial.SetSize(8);
      arial.SetColor(list.DefaultColor | PaletteRelative);
      canvas.Font().Assign(arial);
      canvas.Brush().SetStyle(bsClear);
      htmlun2::WrapText(canvas, x + 24, y + 5, x + PicWidth - 2, y + PicHeight - 2, AltText);
      canvas.Brush().SetStyle(bsSolid);
    }
    Draw3DFrame(list, canvas, x, false, y + PicHeight - 1, x + PicWidth - 1, y);
  }
}

}  // namespace htmlsubs
