// The structure-only read, then the full read into buffers.  Both walk the
// blocks alike, so they must agree on success and on the frames.
#include <cstdlib>

#include "gifimage.h"

namespace {

bool ReadGif(TGIFImage& image, const uint8_t* data, size_t size, bool structureOnly) {
  TMemoryStream s;
  if (size) s.Write(data, static_cast<int>(size));
  s.SetPosition(0);
  try {
    if (structureOnly)
      image.LoadStructureFromStream(&s);
    else
      image.LoadFromStream(&s);
  } catch (const EGIFError&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TGIFImage structure, full;
  bool a = ReadGif(structure, data, size, true);
  bool b = ReadGif(full, data, size, false);
  if (a != b) std::abort();
  if (!b) return 0;
  if (structure.NumFrames() != full.NumFrames() || structure.Width() != full.Width() ||
      structure.Height() != full.Height())
    std::abort();
  for (int n = 1; n <= full.NumFrames(); ++n) {
    const htmlgif::TFrame& f = *full.Frame(n);
    if (f.Pixels.size() != size_t(f.PixelStride() * f.Height)) std::abort();
    if (f.Transparent && f.Mask.size() != size_t(f.MaskStride() * f.Height)) std::abort();
  }
  return 0;
}
