#include "imagelist.h"

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomImageList::~TCustomImageList() {
  Destroying();
  Release();
}

void TCustomImageList::Release() {
  if (handle_ && !ShareImages) ImageList_Destroy(handle_);
  handle_ = nullptr;
}

void TCustomImageList::CreateList() {
  Release();
  ShareImages = false;
  handle_ = ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4);
}

void TCustomImageList::SetHandle(HIMAGELIST h) {
  if (h == handle_) return;
  Release();
  handle_ = h;
  if (h) ImageList_GetIconSize(h, &width_, &height_);
}

int TCustomImageList::Width() const { return width_; }
int TCustomImageList::Height() const { return height_; }

void TCustomImageList::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  if (handle_ && !ShareImages) ImageList_SetIconSize(handle_, width, height);
}

int TCustomImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

int TCustomImageList::AddIcon(HICON icon) {
  if (!handle_) CreateList();
  return ImageList_ReplaceIcon(handle_, -1, icon);
}

bool TCustomImageList::Overlay(int index, int overlay) {
  if (!handle_ || overlay < 0 || overlay >= 15 || !ImageList_SetOverlayImage(handle_, index, overlay + 1)) return false;
  overlays_[overlay] = index;
  return true;
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, TDrawingStyle style, int overlay) {
  if (!handle_ || index < 0) return;
  UINT flags = ILD_TRANSPARENT;
  if (style == dsSelected || style == dsFocus) flags |= (style == dsSelected ? ILD_SELECTED : ILD_FOCUS);
  COLORREF blend = ColorToRGB(BlendColor);
  COLORREF fg = (flags & (ILD_SELECTED | ILD_FOCUS)) ? blend : CLR_DEFAULT;
  int own = (overlay >= 0 && overlay < 15) ? overlays_[overlay] : -1;
  if (overlay >= 0 && overlay < 15 && own < 0) flags |= INDEXTOOVERLAYMASK(static_cast<UINT>(overlay) + 1);
  ImageList_DrawEx(handle_, index, canvas.Handle(), x, y, 0, 0, CLR_NONE, fg, flags);
  if (own >= 0) ImageList_DrawEx(handle_, own, canvas.Handle(), x, y, 0, 0, CLR_NONE, fg, flags);
}
