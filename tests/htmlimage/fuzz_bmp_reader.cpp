// BMP files reach the viewer from any page: every input must either give a
// picture of the size it claims or be refused, within the pixel limit.  The
// GIF transparent-colour probe reads the same kind of bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bmpread.h"
#include "htmlutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  htmlun2::TBmpPixels px;
  if (htmlun2::ReadBmp(data, size, px)) {
    if (px.Width <= 0 || px.Height <= 0 || int64_t(px.Width) * px.Height > htmlun2::MaxImagePixels ||
        px.Pixels.size() != size_t(px.Width) * size_t(px.Height))
      std::abort();
    uint32_t all = 0;
    for (uint32_t p : px.Pixels) all |= p;
    if (all >> 24) std::abort();
  } else if (!px.Pixels.empty()) {
    std::abort();
  }
  uint32_t color = 0;
  if (htmlun2::GifTransparentColor(data, size, color) && (color >> 24)) std::abort();
  (void)htmlun2::GetImageKind(data, size);
  return 0;
}
