#include "imagecombolayout.h"

#include <climits>

namespace {

int Held(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

}  // namespace

TPTImageComboEntryLayout ImageComboEntryLayout(int left, int top, int bottom, int indent, int indentPixels,
                                               bool hasImages, int imageWidth, int imageHeight, int textWidth) {
  TPTImageComboEntryLayout l{};
  long long x = static_cast<long long>(indent) * indentPixels + left + 2;
  l.IconX = Held(x);
  // Integer division rounds towards zero, also for entries above the origin.
  l.IconY = Held((static_cast<long long>(top) + bottom - (hasImages ? imageHeight : 0)) / 2);
  long long text_left = hasImages ? x + imageWidth + 4 - 1 : x + 4 - 1;
  l.TextLeft = Held(text_left);
  l.TextRight = Held(text_left + textWidth + 3);
  l.CaptionX = Held(text_left + 1);
  l.CaptionY = Held(static_cast<long long>(top) + 1);
  return l;
}
