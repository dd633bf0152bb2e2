// The viewer's font: a font description that also knows its place in the
// document's size scale and whether it belongs to preformatted text.
#pragma once

#include "fontdesc.h"

namespace htmlsubs {

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
};

}  // namespace htmlsubs
