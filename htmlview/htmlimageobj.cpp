#include "htmlimageobj.h"

#include <cctype>
#include <memory>

#include "gifimage.h"
#include "htmlmap.h"
#include "htmlscan.h"
#include "htmlsections.h"

namespace htmlsubs {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int Max(int a, int b) { return a > b ? a : b; }

}  // namespace

TImageObj::TImageObj(int pos, const htmlun2::TAttributeList* attributes) {
  ImagePos = pos;
  Align = AlignBottom;
  HSpace = 5;
  for (int i = 0; attributes && i < attributes->Count(); ++i) {
    const htmlun2::TAttribute* a = attributes->Attr(i);
    switch (a->Which) {
      case readhtml::AlignAttr: {
        const std::string v = Upper(a->Name);
        if (v == "TOP")
          Align = AlignTop;
        else if (v == "MIDDLE" || v == "ABSMIDDLE")
          Align = AlignMiddle;
        else if (v == "LEFT")
          Align = AlignLeft;
        else if (v == "RIGHT")
          Align = AlignRight;
        break;
      }
      case readhtml::SrcAttr:
        Src = a->Name;
        break;
      case readhtml::AltAttr:
        AltText = a->Name;
        break;
      case readhtml::BorderAttr:
        NoBorder = a->Value == 0;
        break;
      case readhtml::WidthAttr:
        if (a->Name.find('%') == std::string::npos) AttrWidth = ImageSide(a->Value);
        break;
      case readhtml::HeightAttr:
        AttrHeight = ImageSide(a->Value);
        break;
      case readhtml::HSpaceAttr:
        HSpace = ImageHSpace(a->Value);
        break;
      case readhtml::TranspAttr:
        Transparent = 1;
        break;
      case readhtml::IsMapAttr:
        IsMap = true;
        break;
      case readhtml::UseMapAttr: {
        UseMap = true;
        std::string name = Upper(a->Name);
        if (!name.empty() && name[0] == '#') name.erase(0, 1);
        UseMapName = name;
        break;
      }
      default:
        break;
    }
  }
}

TImageObj::~TImageObj() {
  if (OwnerList) {
    OwnerList->ForgetImage(this);
    if (AsGif(Image)) OwnerList->AnimatedImages.Remove(Image);
  }
  delete gifCopy_;
  use_.Release();
}

TImageObj* TImageObj::CloneFrom(const TImageObj& src, TSectionList* owner) {
  auto* c = new TImageObj(src.ImagePos, nullptr);
  c->BoxHeight = src.BoxHeight;
  c->BoxWidth = src.BoxWidth;
  c->Align = src.Align;
  c->HSpace = src.HSpace;
  c->FloatX = src.FloatX;
  c->AttrHeight = src.AttrHeight;
  c->AttrWidth = src.AttrWidth;
  c->PicHeight = src.PicHeight;
  c->PicWidth = src.PicWidth;
  c->Sized = src.Sized;
  c->Src = src.Src;
  c->expanded_ = src.expanded_;
  c->AltText = src.AltText;
  c->NoBorder = src.NoBorder;
  c->Mask = src.Mask;
  c->OwnerList = owner ? owner : src.OwnerList;
  c->Transparent = src.Transparent;
  c->IsMap = src.IsMap;
  c->UseMap = src.UseMap;
  c->HasBorder = src.HasBorder;
  c->ShownX = src.ShownX;
  c->ShownY = src.ShownY;
  c->UseMapName = src.UseMapName;
  c->ImageControl = src.ImageControl;
  c->use_.CopyFrom(src.use_);
  c->Image = src.Image;
  if (TGIFImage* gif = AsGif(src.Image)) {
    // The copy animates on its own.
    std::unique_ptr<TGIFImage> own = TGIFImage::CreateCopy(*gif);
    if (own) {
      c->gifCopy_ = own.release();
      c->Image = c->gifCopy_;
    }
    if (c->OwnerList) c->OwnerList->AnimatedImages.Add(c->Image);
  }
  return c;
}

bool TImageObj::IsPlaceholder() const {
  return !OwnerList || !OwnerList->ViewImages || Image == ErrorPicture();
}

void TImageObj::Measure(TSectionList& list, ThtMeasure& canvas, const TFontObj* fontObj) {
  OwnerList = &list;
  if (list.ViewImages && !Image) {
    if (!expanded_) Src = list.ExpandName(Src);
    expanded_ = true;
    bool fromCache = false;
    uint8_t transp = Transparent;
    TObject* mask = nullptr;
    TObject* image = list.FetchImage(Src, transp, mask, use_, &fromCache);
    if (!image) {
      Image = ErrorPicture();
      Mask = ErrorPictureMask();
      Transparent = 1;
    } else {
      if (TGIFImage* gif = AsGif(image)) {
        if (fromCache) {
          std::unique_ptr<TGIFImage> own = TGIFImage::CreateCopy(*gif);
          if (own) {
            gifCopy_ = own.release();
            image = gifCopy_;
          }
        }
        list.AnimatedImages.Add(image);
      }
      Image = image;
      Mask = mask;
      Transparent = transp;
    }
  }
  int naturalWidth = 0, naturalHeight = 0;
  PictureSize(list.ViewImages ? Image : DefPicture(), naturalWidth, naturalHeight);
  const bool placeholder = IsPlaceholder();
  if (!Sized) {
    if (!placeholder) {
      SizeImage(AttrWidth, AttrHeight, naturalWidth, naturalHeight, PicWidth, PicHeight);
      Sized = true;
    } else if (AttrWidth > 0 && AttrHeight > 0) {
      PicWidth = AttrWidth;
      PicHeight = AttrHeight;
      Sized = true;
    } else {
      PicWidth = ImageSide(naturalWidth);
      PicHeight = ImageSide(naturalHeight);
    }
  }
  if (placeholder && !Sized) {
    // Room for the ALT text beside the 24-pixel icon.
    PicWidth = Max(PicWidth, 24);
    PicHeight = Max(PicHeight, 24);
    if (!AltText.empty()) {
      TFontDesc arial;
      arial.SetName("Arial");
      arial.SetSize(8);
      canvas.SelectFont(arial);
      PicWidth = ImageSide(Max(PicWidth, canvas.TextWidth(AltText) + 2 + 24));
      PicHeight = ImageSide(Max(PicHeight, canvas.Metrics().Height));
    }
  }
  BoxHeight = PicHeight;
  BoxWidth = PicWidth;
  HasBorder = fontObj && !fontObj->Link.URL.empty() && !NoBorder;
  if (HasBorder) {
    BoxHeight += 2;
    BoxWidth += 2;
  }
}

void TImageList::CloneFrom(const TImageList& src, TSectionList* owner) {
  Clear();
  for (int i = 0; i < src.Count(); ++i) {
    TPictureObj* from = src.Picture(i);
    if (auto* image = dynamic_cast<TImageObj*>(from)) {
      Add(TImageObj::CloneFrom(*image, owner));
      continue;
    }
    auto* pic = new TPictureObj;
    pic->ImagePos = from->ImagePos;
    pic->Align = from->Align;
    pic->BoxWidth = from->BoxWidth;
    pic->BoxHeight = from->BoxHeight;
    pic->HSpace = from->HSpace;
    pic->FloatX = from->FloatX;
    Add(pic);
  }
}

TPictureObj* TImageList::ImageAt(int pos) const {
  for (int i = 0; i < Count(); ++i)
    if (Picture(i)->ImagePos == pos) return Picture(i);
  return nullptr;
}

int TImageList::BoxHeightAt(int pos, int& align) const {
  TPictureObj* p = ImageAt(pos);
  if (!p) return -1;
  align = p->Align;
  return p->BoxHeight;
}

int TImageList::BoxWidthAt(int pos, int& align) const {
  TPictureObj* p = ImageAt(pos);
  if (!p) return -1;
  align = p->Align;
  return p->BoxWidth;
}

int TImageList::DistanceToImage(int pos) const {
  for (int i = 0; i < Count(); ++i)
    if (Picture(i)->ImagePos >= pos) return Picture(i)->ImagePos - pos;
  return 9999;
}

bool TImageList::ImageHit(const TSectionList& list, int x, int y, TFormControlBase*& control, TObject*& mapItem,
                          bool& inMap, bool& isMap, int& pos, int& yInImage, int& xInImage, TImageObj** hit) const {
  control = nullptr;
  mapItem = nullptr;
  inMap = false;
  isMap = false;
  for (int i = 0; i < Count(); ++i) {
    auto* image = dynamic_cast<TImageObj*>(Picture(i));
    if (!image) continue;
    const int border = image->HasBorder ? 2 : 0;
    const long long w = image->BoxWidth - border, h = image->BoxHeight - border;
    const long long dx = static_cast<long long>(x) - image->ShownX, dy = static_cast<long long>(y) - image->ShownY;
    if (dx < 0 || dy < 0 || dx >= w || dy >= h) continue;
    xInImage = static_cast<int>(dx);
    yInImage = static_cast<int>(dy);
    isMap = image->IsMap;
    pos = image->ImagePos;
    control = image->ImageControl;
    if (hit) *hit = image;
    if (image->UseMap) {
      for (int m = 0; m < list.ImageMaps.Count(); ++m) {
        auto* map = static_cast<htmlun2::TMapItem*>(list.ImageMaps.Items(m));
        if (Upper(map->MapName) == image->UseMapName) {
          mapItem = map;
          inMap = true;
          break;
        }
      }
    }
    return true;
  }
  return false;
}

}  // namespace htmlsubs
