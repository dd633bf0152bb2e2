// The document's timer, animations and palette over Win32.
#include <windows.h>

#include "htmlimageobj.h"
#include "win/controls.h"
#include "win/extctrls.h"
#include "gifimage.h"
#include "htmlsections.h"
#include "win/graphics.h"
#include "win/htmlimages.h"

namespace htmlsubs {

void TSectionList::MakeTimer(TComponent* owner) {
  if (!owner) return;
  AnimationTimer = new TTimer(owner);
  AnimationTimer->SetEnabled(false);
  AnimationTimer->SetInterval(50);
  AnimationTimer->OnTimer = [this](TObject*) { AnimationStep(); };
}

void TSectionList::FreeTimer() {
  delete AnimationTimer;
  AnimationTimer = nullptr;
}

void TSectionList::EnableTimer(bool on) {
  if (AnimationTimer) AnimationTimer->SetEnabled(on);
}

void TSectionList::RewindAnimations() {
  for (int i = 0; i < AnimatedImages.Count(); ++i) {
    auto* gif = static_cast<TGIFImage*>(AnimatedImages.Items(i));
    // Stopping shows the first frame again.
    gif->SetAnimate(false);
    if (!ForPrint) gif->SetAnimate(true);
  }
}

bool TSectionList::PanelRect(ThtRect& rect) {
  if (!ControlParent) return false;
  RECT r{};
  if (!GetClientRect(ControlParent->Handle(), &r)) return false;
  rect = ThtRect{r.left, r.top, r.right, r.bottom};
  return true;
}

void TSectionList::AnimationStep() {
  for (int i = 0; i < AnimatedImages.Count(); ++i) {
    auto* gif = static_cast<TGIFImage*>(AnimatedImages.Items(i));
    if (WasDrawn(gif)) gif->AnimationStep();
  }
}

namespace {

// The picture stays selected into its own DC, where its bits cannot be
// read: a copy is taken through an unselected bitmap.
htmlun2::TDib* MakeTile(TBitmap& picture) {
  HDC screen = GetDC(nullptr);
  HBITMAP copy = CreateCompatibleBitmap(screen, picture.Width(), picture.Height());
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, copy);
  BitBlt(dc, 0, 0, picture.Width(), picture.Height(), picture.Canvas().Handle(), 0, 0, SRCCOPY);
  SelectObject(dc, old);
  DeleteDC(dc);
  htmlun2::TDib* tile = nullptr;
  try {
    tile = new htmlun2::TDib(screen, copy);
  } catch (const Exception&) {
    tile = nullptr;  // transparent GIFs then lie on the plain colour
  }
  DeleteObject(copy);
  ReleaseDC(nullptr, screen);
  return tile;
}

}  // namespace

// Also tells transparent GIFs which colour lies under them on this page.
void* TSectionList::SelectDocPalette(TCanvas& canvas) {
  GIFBackground.Color = Background;
  auto* back = dynamic_cast<TBitmap*>(GetBackImage());
  if (back && !backTile_ && !back->Empty()) backTile_ = MakeTile(*back);
  // The page's tiles start at the top of the document.
  GIFBackground.Tile = static_cast<htmlun2::TDib*>(backTile_);
  GIFBackground.OriginX = 0;
  GIFBackground.OriginY = -ScrollTop;
  if (!htmlun2::ThePalette) return nullptr;
  HDC dc = canvas.Handle();
  HPALETTE old = SelectPalette(dc, htmlun2::ThePalette, TRUE);
  RealizePalette(dc);
  return old;
}

void TSectionList::RestorePalette(TCanvas& canvas, void* old) {
  if (old) SelectPalette(canvas.Handle(), static_cast<HPALETTE>(old), TRUE);
}

namespace {

bool IsWhiteBackground(const TSectionList& list) {
  if (list.ForPrint) return true;
  if ((list.Background & 0xFFFFFF) == 0xFFFFFF && (list.Background & clSystemColor) == 0) return true;
  return list.Background == clWindow && GetSysColor(COLOR_WINDOW) == RGB(255, 255, 255);
}

}  // namespace

void Draw3DFrame(TSectionList& list, TCanvas& canvas, int x1, bool raised, int y1, int x2, int y2) {
  HDC dc = canvas.Handle();
  TColor light, dark;
  if (list.ForPrint && GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1) {
    light = dark = clBlack;
  } else {
    light = IsWhiteBackground(list) ? clSilver : clBtnHighlight;
    dark = clBtnShadow;
  }
  const TColor first = raised ? light : dark, second = raised ? dark : light;
  const TColor oldColor = canvas.Pen().Color();
  canvas.Pen().SetColor(first);
  canvas.MoveTo(x1, y1);
  canvas.LineTo(x1, y2);
  canvas.LineTo(x2, y2);
  canvas.Pen().SetColor(second);
  canvas.LineTo(x2, y1);
  canvas.LineTo(x1, y1);
  canvas.Pen().SetColor(oldColor);
}

}  // namespace htmlsubs
