// Text appended with random fonts, pictures, images with attributes, form
// controls and floats, then laid out at random widths: layout always ends,
// every character lands on exactly one line, every position maps to a point
// and back, and width limits and link hit tests stay in bounds.
#include <cstddef>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <string>

#include "htmlscan.h"
#include "htmltext.h"

using namespace htmlsubs;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class TBoxControl : public TFormControlBase {
 public:
  TBoxControl(int w, int h) : w_(w), h_(h) {}
  bool HasWindow() const override { return true; }
  int ControlWidth() const override { return w_; }
  int ControlHeight() const override { return h_; }

 private:
  int w_, h_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TSectionList doc;
  // Images stay placeholders: nothing is read from disk.
  doc.ViewImages = false;
  TFreeList controls;
  TMyFont base;
  TSection* s = data[1] & 64 ? new TPreFormated(&doc, data[0] % 4, base, nullptr, 1)
                             : new TSection(&doc, data[0] % 4, base, nullptr, 1 + data[1] % 3);
  s->SetClearSide(data[0] & 16 ? "left" : "both");
  if (!(data[0] & 32)) s->ClearSide = 0;
  doc.Add(s);
  size_t i = 2;
  for (; i + 2 < size && data[i] != 0xFF; i += 3) {
    const int a = data[i + 1], b = data[i + 2];
    switch (data[i] % 6) {
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
      case 2: {
        auto* c = new TBoxControl(a * 4, b);
        c->OnBaseline = a & 1;
        controls.Add(c);
        s->InsertControl(c);
        break;
      }
      case 3: {
        static const char* const kAlign[] = {"top", "middle", "left", "right", "bottom"};
        htmlun2::TAttributeList attrs;
        const int w = (a - 128) * 300, h = (b - 128) * 16777216;
        attrs.AddAttribute(readhtml::WidthAttr, w, std::to_string(w) + (b & 1 ? "%" : ""));
        attrs.AddAttribute(readhtml::HeightAttr, h, std::to_string(h));
        attrs.AddAttribute(readhtml::HSpaceAttr, a & 4 ? INT_MIN : a * 8388608 - 1000000000, "");
        attrs.AddAttribute(readhtml::AlignAttr, 0, kAlign[b % 5]);
        if (a & 2) attrs.AddAttribute(readhtml::AltAttr, 0, std::string(static_cast<size_t>(a % 40), 'w'));
        s->InsertImage(&attrs);
        break;
      }
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
    int mn = -1, mx = -1;
    s->WidthLimits(m, mn, mx);
    Check(mn >= 0 && mx >= 0);
    TUrlTarget link;
    TFormControlBase* control = nullptr;
    doc.LinkAt(m, data[i], data[i + 1] * 4, link, control);
    for (int p = 0; p < s->PosCount; ++p) {
      int x, y, cx, cy, ch, back;
      Check(s->PointOfPosition(m, p, x, y));
      (void)s->PositionAt(m, x, y - s->LastTop, cx, cy, ch, back);
    }
  }
  return 0;
}
