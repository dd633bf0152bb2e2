#include "htmlpalette.h"

namespace htmlun2 {

int ColorBitsOf(int bitsPixel, int planes) {
  int bits = bitsPixel * planes;
  if (bits < 5) return 4;
  if (bits > 8) return 24;
  return 8;
}

void FillViewerPalette(TPaletteColor (&entries)[256]) {
  static const uint8_t levels[6] = {0x37, 0x73, 0xA5, 0xCD, 0xEB, 0xFF};
  int i = 10;
  for (uint8_t b : levels)
    for (uint8_t g : levels)
      for (uint8_t r : levels) {
        if (r == 0xFF && g == 0xFF && b == 0xFF) continue;
        entries[i++] = TPaletteColor{r, g, b, 0};
      }
  for (int k = 1; k <= 24; ++k) {
    uint8_t v = uint8_t(5 * k + 130);
    entries[224 + k] = TPaletteColor{v, v, v, 0};
  }
}

}  // namespace htmlun2
