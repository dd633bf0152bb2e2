// Floats, list levels and font runs driven by the input: the margins keep
// their invariants (a float sits clear of the floats before it, the margins
// never cross the band's edges inwards past a placed float) and lookups by
// position always land on a run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "htmlsubs.h"

using namespace htmlsubs;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IndentManager m;
  TFontDefaults d;
  TFontList runs;
  int width = size ? data[0] * 8 : 0;
  m.Reset(0, width);
  m.BandWidth = width;
  int y = 0, pos = 0;
  runs.Add(new TFontObj(new TMyFont, 0));
  for (size_t i = 1; i + 2 < size; i += 3) {
    const int op = data[i] % 6, a = data[i + 1], b = data[i + 2];
    switch (op) {
      case 0:
      case 1: {
        TFloatObj f;
        f.Align = op == 0 ? AlignLeft : AlignRight;
        f.BoxWidth = a * 4;
        f.BoxHeight = b;
        f.HSpace = b % 21;
        int left = m.LeftAt(y), right = m.RightAt(y);
        m.PlaceFloat(y, f);
        if (op == 0) {
          Check(f.FloatX == left - m.LeftEdge);
          if (f.BoxHeight > 0) Check(m.LeftAt(y) >= left + f.BoxWidth + f.HSpace);
        } else {
          Check(f.FloatX == right - f.BoxWidth);
          if (f.BoxHeight > 0) Check(m.RightAt(y) <= right - f.BoxWidth - f.HSpace);
        }
        break;
      }
      case 2:
        m.SetListLevel(y, a % 8);
        Check(m.ListLevel == a % 8);
        break;
      case 3:
        y += a;
        break;
      case 4: {
        auto* f = new TMyFont;
        f->SetStyle(b & 15);
        f->SetScaleSize(d, a % 40);
        pos += b;
        runs.Add(new TFontObj(f, pos));
        break;
      }
      default: {
        int cl, cr, index;
        m.ClearLines(cl, cr);
        Check(cl >= 0 && cr >= 0);
        Check(m.BelowListFloats() >= 1);
        int p = a * b;
        TFontObj* r = runs.RunAt(p, index);
        Check(r && index >= 0 && r == runs.Run(index));
        Check(runs.RunLengthAt(p, (p > pos ? p : pos) + 1) > 0);
        Check(r->TextHeight > 0 && r->RunHeight >= r->TextHeight);
        break;
      }
    }
  }
  Check(m.FloatsBottom() >= 0);
  return 0;
}
