// Image lists: a thin wrapper over the system's image lists.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "classes.h"
#include "graphics.h"

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  ~TCustomImageList() override;

  // Makes a new, owned list of the current size.
  void CreateList();
  HIMAGELIST Handle() const { return handle_; }
  // Takes over h; with ShareImages set the wrapper never destroys it (the
  // system image list must outlive every wrapper over it).
  void SetHandle(HIMAGELIST h);
  bool ShareImages = false;

  int Width() const;
  int Height() const;
  void SetSize(int width, int height);
  int Count() const;
  // Returns the new image's index, -1 when the list refused it.
  int AddIcon(HICON icon);
  // Makes image 'index' the overlay image number 'overlay' (0 to 14).
  bool Overlay(int index, int overlay);

  // Draws image 'index' at (x, y); overlay -1 draws none. A selected image
  // is blended with BlendColor.
  void Draw(TCanvas& canvas, int x, int y, int index, TDrawingStyle style = dsNormal, int overlay = -1);
  TColor BlendColor = clHighlight;

 private:
  void Release();
  HIMAGELIST handle_ = nullptr;
  int width_ = 16, height_ = 16;
  // The images Overlay made overlays, drawn by Draw itself: the emulated
  // platform ignores the overlay bits of a draw call.
  int overlays_[15] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

class TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
};
