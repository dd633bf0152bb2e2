// Text appended with random fonts, pictures and floats, then laid out at
// random widths: layout always ends, every character lands on exactly one
// line, and every position maps to a point and back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmltext.h"

using namespace htmlsubs;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TSectionList doc;
  TMyFont base;
  auto* s = new TSection(&doc, data[0] % 4, base, nullptr, 1 + data[1] % 3);
  s->SetClearSide(data[0] & 16 ? "left" : "both");
  if (!(data[0] & 32)) s->ClearSide = 0;
  doc.Add(s);
  size_t i = 2;
  for (; i + 2 < size && data[i] != 0xFF; i += 3) {
    const int a = data[i + 1], b = data[i + 2];
    switch (data[i] % 4) {
      case 0: {
        TMyFont f;
        f.SetHeight(-(a % 64));
        f.SetStyle(b & 15);
        s->SwitchFont(f, b % 3);
        break;
      }
      case 1:
        s->InsertPicture(b % 5, a * 8, b, a - 128);
        break;
      default:
        s->AppendText(std::string(static_cast<size_t>(a % 12), static_cast<char>('a' + b % 26)) +
                      (b & 1 ? " " : ""));
    }
  }
  ThtMeasure& m = ScreenMeasure();
  for (++i; i + 1 < size; i += 2) {
    int width = data[i] * 16 + data[i + 1] % 16;
    int scrollWidth = 0, curs = 0;
    doc.Arrange(m, 0, width, scrollWidth, curs);
    int chars = 0;
    for (int k = 0; k < s->LaidLines.Count(); ++k) {
      Check(s->Line(k)->FirstChar == chars || s->Line(k)->CharCount == 0);
      chars += s->Line(k)->CharCount;
    }
    Check(chars == s->PosCount);
    for (int p = 0; p < s->PosCount; ++p) {
      int x, y, cx, cy, ch, back;
      Check(s->PointOfPosition(m, p, x, y));
      (void)s->PositionAt(m, x, y - s->LastTop, cx, cy, ch, back);
    }
  }
  return 0;
}
