// The viewer's font: a font description that also knows its place in the
// document's size scale and whether it belongs to preformatted text.
#pragma once

#include <string>

#include "fontdesc.h"

namespace htmlsubs {

// The document's font defaults; the section list carries them.
struct TFontDefaults {
  std::string DefaultFace = "Times New Roman";
  std::string DefaultPreFace = "Courier New";
  int DefaultSize = 12;
  TColor DefaultColor = 0;
  TColor LinkColor = 0xFF0000;
};

// Colours handed to drawing are relative to the shared palette.
constexpr TColor PaletteRelative = 0x02000000u;

class TMyFont : public TFontDesc {
 public:
  // The size on a scale where 12 is the document's default size.
  int ScaleSize = 12;
  // Takes the preformatted face when the document's defaults are applied.
  bool PreFace = false;

  void Assign(const TMyFont& other) {
    ScaleSize = other.ScaleSize;
    PreFace = other.PreFace;
    TFontDesc::Assign(other);
  }
  using TFontDesc::Assign;

  void SetScaleSize(const TFontDefaults& list, int size) {
    ScaleSize = size;
    SetSize(MulDiv(list.DefaultSize, size, 12));
  }
  // Face, size and colour from the document's defaults.
  void ApplyDefaults(const TFontDefaults& list, TColor color) {
    SetName(PreFace ? list.DefaultPreFace : list.DefaultFace);
    SetSize(MulDiv(list.DefaultSize, ScaleSize, 12));
    SetColor(color | PaletteRelative);
  }
};

}  // namespace htmlsubs
