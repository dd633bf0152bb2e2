// The BMP reader under the viewer's picture loading.  BMP files come from
// pages and from disk, so every size and offset they claim is checked
// against the bytes actually there before anything is allocated or read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace htmlun2 {

// The most pixels a picture may have (the GIF decoder's limit too); a file
// claiming more gives no bitmap rather than an allocation of gigabytes.
constexpr int64_t MaxImagePixels = int64_t(1) << 24;

struct TBmpPixels {
  int Width = 0;
  int Height = 0;
  // Width * Height pixels, top row first, each 0x00RRGGBB.
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Reads a whole BMP file (file header first): the core and info headers and
// their later versions; 1, 4, 8, 16, 24 and 32 bits a pixel; uncompressed,
// RLE8, RLE4 and bit fields; bottom-up and top-down rows.  False, with out
// left empty, for anything malformed, truncated or over the pixel limit.
bool ReadBmp(const uint8_t* data, size_t size, TBmpPixels& out);

}  // namespace htmlun2
