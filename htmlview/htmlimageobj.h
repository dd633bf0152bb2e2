// Images of a text section: the image object with its attributes, fetching
// and sizing, the list of a section's images with its position and hit
// queries, and the picture seam (what a fetched picture is on each
// platform).
#pragma once

#include <cstdint>
#include <string>

#include "htmlattrs.h"
#include "htmlcanvas.h"
#include "htmlsubs.h"

class TGIFImage;
class TBitmap;

namespace htmlsubs {

class TSectionList;
class TFormControlBase;

// A picture of a section: its place in the flow and its box.
class TPictureObj : public TFloatObj {
 public:
  int ImagePos = 0;
  bool IsFloat() const { return Align == AlignLeft || Align == AlignRight; }
};

// One IMG (or image input) of a section.
class TImageObj : public TPictureObj {
 public:
  // Reads ALIGN, SRC, ALT, BORDER, WIDTH (not with "%"), HEIGHT, HSPACE,
  // TRANSP, ISMAP and USEMAP; attributes may be null.
  TImageObj(int pos, const htmlun2::TAttributeList* attributes);
  ~TImageObj() override;
  TImageObj(const TImageObj&) = delete;
  TImageObj& operator=(const TImageObj&) = delete;
  // A copy for the document owner (src's when null) that holds its own use
  // of the cached picture (and its own copy of a GIF it animates).
  static TImageObj* CloneFrom(const TImageObj& src, TSectionList* owner = nullptr);

  // Fetches once, sizes once (placeholders every time) and sets the box.
  // fontObj is the run at the image's position (its link gives the border).
  void Measure(TSectionList& list, ThtMeasure& canvas, const TFontObj* fontObj);
  // Draws the image with its left edge at x; lineTop is the top of the
  // line (document Y), textTop and textHt the line's text, baseline the
  // line's baseline (all document Y, the scroll position is taken off
  // here).  Win32 only.
  void Render(TCanvas& canvas, int x, int lineTop, int textTop, int textHt, int baseline);

  bool IsPlaceholder() const;

  int AttrHeight = 0, AttrWidth = 0;
  int PicHeight = 0, PicWidth = 0;
  bool Sized = false;
  std::string Src;
  std::string AltText;
  bool NoBorder = false;
  TObject* Image = nullptr;  // a TBitmap or TGIFImage; not owned
  TObject* Mask = nullptr;   // not owned
  TSectionList* OwnerList = nullptr;
  uint8_t Transparent = 0;
  bool IsMap = false;
  bool UseMap = false;
  bool HasBorder = false;
  int ShownX = 0, ShownY = 0;
  std::string UseMapName;
  TFormControlBase* ImageControl = nullptr;

 private:
  // The use of the cached picture this object holds.
  TCachedImage use_;
  // A GIF this object copied from the cache to animate on its own.
  TGIFImage* gifCopy_ = nullptr;
  // Src has been through the viewer's expansion (once is enough).
  bool expanded_ = false;
};

// The images of a section in ascending ImagePos.
class TImageList : public TFreeList {
 public:
  TPictureObj* Picture(int i) const { return static_cast<TPictureObj*>(Items(i)); }
  void CloneFrom(const TImageList& src, TSectionList* owner = nullptr);
  TPictureObj* ImageAt(int pos) const;
  // BoxHeight / BoxWidth of the image at pos, or -1.
  int BoxHeightAt(int pos, int& align) const;
  int BoxWidthAt(int pos, int& align) const;
  // Distance from pos to the first image at or after it; 9999 when none.
  int DistanceToImage(int pos) const;
  // The first drawn image holding (x, y) in document coordinates.  mapItem
  // is the document's map named by USEMAP (inMap tells whether there is one).
  bool ImageHit(const TSectionList& list, int x, int y, TFormControlBase*& control, TObject*& mapItem,
                bool& inMap, bool& isMap, int& pos, int& yInImage, int& xInImage, TImageObj** hit = nullptr) const;
};

// The picture seam (htmlimageobj_win32.cpp, htmlimageobj_posix.cpp).
// Pictures are TBitmap or TGIFImage on Windows; natively a GIF or a small
// record of a BMP's size, enough for layout.
TObject* ErrorPicture();
TObject* ErrorPictureMask();
TObject* DefPicture();
void PictureSize(TObject* picture, int& width, int& height);
TGIFImage* AsGif(TObject* picture);
// The three sources of FetchImage.  A bitmap handed by the request event
// (it becomes the cache's); a stream, sniffed (GIF data or a bitmap); a
// file, by its extension.  Null when nothing could be made.
TObject* PictureFromBitmap(TBitmap* bitmap, TColor color, uint8_t& transp, TObject*& mask);
TObject* PictureFromStream(TStream* stream, uint8_t& transp, TObject*& mask);
TObject* PictureFromFile(const std::string& name, uint8_t& transp, TObject*& mask);

}  // namespace htmlsubs
