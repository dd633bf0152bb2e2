// The image cache: pictures by upper-cased source name with use counts, so
// that an image no page uses survives a few page loads before it is freed.
#pragma once

#include <cstdint>
#include <string>

#include "classes.h"

namespace htmlun2 {

class TBitmapItem : public TObject {
 public:
  // Takes over the picture and the mask (either may be null).
  TBitmapItem(TObject* image, TObject* mask, uint8_t transp) : MImage(image), Mask(mask), Transp(transp) {}
  ~TBitmapItem() override;
  // Page loads since the entry was last taken.
  int AccessCount = 0;
  // Users holding it now.
  int UsageCount = 0;
  TObject* MImage;
  // A monochrome bitmap (white where transparent), or null.
  TObject* Mask;
  uint8_t Transp;
};

// Sorted; the objects are TBitmapItem, owned.
class TStringBitmapList : public TStringList {
 public:
  TStringBitmapList();
  ~TStringBitmapList() override;
  void Clear() override;
  TBitmapItem* Item(int index) const { return static_cast<TBitmapItem*>(Objects(index)); }
  // Marks the entry used by one more page and returns its picture.
  TObject* GetImage(int index);
  void DecUsage(const std::string& name);
  // Frees the unused entries not taken for more than n loads; n becomes
  // the limit for later loads.
  void SetCacheCount(int n);
  // Run at every page load: entries unused for more than MaxCache loads go.
  void BumpAndCheck();
  // Frees every entry no page uses.
  void PurgeCache();
  int MaxCache = 4;

 private:
  void Free(int index);
};

// The one cache of the viewer, made by StartImageCache.
extern TStringBitmapList* BitmapList;
void StartImageCache();
void EndImageCache();

}  // namespace htmlun2
