#include "htmlattrs.h"

namespace htmlun2 {

TFreeList::~TFreeList() { Clear(); }

void TFreeList::Clear() {
  // Taken out of the list before it is freed, so that a destructor that
  // looks at the list never meets a dangling item.
  while (Count() > 0) {
    TObject* obj = Objects(Count() - 1);
    Delete(Count() - 1);
    delete obj;
  }
}

bool TAttributeList::Find(TAttrKind which, TAttribute*& attr) const {
  for (int i = 0; i < Count(); ++i)
    if (Attr(i)->Which == which) {
      attr = Attr(i);
      return true;
    }
  return false;
}

}  // namespace htmlun2
