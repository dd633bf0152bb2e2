// The colour arithmetic of the viewer's display: the depth it works at and
// the 256-colour palette it uses on 8-bit screens (the GDI object is made by
// the Win32 side from these entries).
#pragma once

#include <cstdint>

namespace htmlun2 {

struct TPaletteColor {
  uint8_t Red, Green, Blue, Flags;
};

// 4, 8 or 24 from the screen's bits a pixel times its planes.
int ColorBitsOf(int bitsPixel, int planes);

// Over a table already holding the system palette: the 6 x 6 x 6 cube
// without white at indices 10-224 (blue slowest, red fastest), 24 greys at
// 225-248; 0-9 and 249-255 keep the system colours.
void FillViewerPalette(TPaletteColor (&entries)[256]);

}  // namespace htmlun2
