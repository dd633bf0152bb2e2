// Fixed metrics: a character is half the character height wide (one pixel
// more when bold), the descent is a fifth of the height, italics overhang by
// a sixth.  Simple enough for tests to compute expected positions by hand.
#include <cstdlib>

#include "htmlcanvas.h"

namespace htmlsubs {
namespace {

class TFixedMeasure : public ThtMeasure {
 public:
  void SelectFont(const TFontDesc& font) override {
    int h = std::abs(font.Height());
    if (h < 1) h = 1;
    if (h > 32767) h = 32767;
    h_ = h;
    bold_ = (font.Style() & fsBold) != 0;
    italic_ = (font.Style() & fsItalic) != 0;
  }
  THtFontMetrics Metrics() override {
    THtFontMetrics m;
    m.Descent = h_ / 5;
    m.Height = h_ + m.Descent;
    m.Ascent = m.Height - m.Descent;
    m.Overhang = italic_ ? h_ / 6 : 0;
    return m;
  }
  int TextWidth(const char*, int n) override {
    if (n <= 0) return 0;
    long long w = static_cast<long long>(n) * CharWidth() + (italic_ ? h_ / 6 : 0);
    return w > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(w);
  }
  int CharWidth() const { return (h_ + 1) / 2 + (bold_ ? 1 : 0); }

 private:
  int h_ = 11;
  bool bold_ = false;
  bool italic_ = false;
};

}  // namespace

ThtMeasure& ScreenMeasure() {
  static TFixedMeasure measure;
  return measure;
}

}  // namespace htmlsubs
