// A ROWS or COLS value read and used to divide lengths, as a frame set does
// at its first sizing, its later resizes and a border move.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framesize.h"

using namespace framview;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // The first four bytes give two lengths; the rest is the value.
  const int first = data[0] | (data[1] << 8);
  const int second = data[2] | ((data[3] & 0x7F) << 8);
  std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  std::vector<TDimension> dims = ReadDimensions(text);
  Check(dims.size() <= static_cast<size_t>(kMaxDimensions));
  for (TDimension d : dims) Check(d <= kMaxPixels && d >= -(100 + kMaxPercent) && d != 0 - 100 && d != 0);
  TFrameSizes sizes;
  sizes.SetDimensions(dims);
  sizes.Resize(first);
  sizes.Resize(second);
  for (int s : sizes.Sizes()) Check(s >= 0 && s <= 20 * kMaxPixels + second);
  if (sizes.Count() > 1) {
    sizes.MoveBorder(0, second / 2, 4);
    sizes.Resize(first);
    for (int s : sizes.Sizes()) Check(s >= 0);
  }
  return 0;
}
