#include "htmlcanvas.h"

namespace htmlsubs {

int ThtMeasure::FitCount(const char* s, int n, int w) {
  if (n <= 0 || w <= 0) return 0;
  int lo = 0, hi = n;  // lo fits, hi is the first count not known to fit
  if (TextWidth(s, n) <= w) return n;
  while (hi - lo > 1) {
    int mid = lo + (hi - lo) / 2;
    if (TextWidth(s, mid) <= w)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

}  // namespace htmlsubs
