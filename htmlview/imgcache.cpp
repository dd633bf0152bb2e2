#include "imgcache.h"

namespace htmlun2 {

TStringBitmapList* BitmapList = nullptr;

TBitmapItem::~TBitmapItem() {
  delete MImage;
  delete Mask;
}

TStringBitmapList::TStringBitmapList() { SetSorted(true); }

TStringBitmapList::~TStringBitmapList() { TStringBitmapList::Clear(); }

void TStringBitmapList::Clear() {
  while (Count() > 0) Free(Count() - 1);
}

void TStringBitmapList::Free(int index) {
  TBitmapItem* item = Item(index);
  Delete(index);
  delete item;
}

TObject* TStringBitmapList::GetImage(int index) {
  TBitmapItem* item = Item(index);
  item->AccessCount = 0;
  ++item->UsageCount;
  return item->MImage;
}

void TStringBitmapList::DecUsage(const std::string& name) {
  int i = IndexOf(name);
  if (i >= 0) --Item(i)->UsageCount;
}

void TStringBitmapList::SetCacheCount(int n) {
  for (int i = Count() - 1; i >= 0; --i)
    if (Item(i)->AccessCount > n && Item(i)->UsageCount <= 0) Free(i);
  MaxCache = n;
}

void TStringBitmapList::BumpAndCheck() {
  for (int i = Count() - 1; i >= 0; --i) {
    TBitmapItem* item = Item(i);
    ++item->AccessCount;
    if (item->AccessCount > MaxCache && item->UsageCount <= 0) Free(i);
  }
}

void TStringBitmapList::PurgeCache() {
  for (int i = Count() - 1; i >= 0; --i)
    if (Item(i)->UsageCount <= 0) Free(i);
}

void StartImageCache() {
  if (!BitmapList) BitmapList = new TStringBitmapList;
}

void EndImageCache() {
  delete BitmapList;
  BitmapList = nullptr;
}

}  // namespace htmlun2
