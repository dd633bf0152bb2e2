// Measuring through GDI: the font is made from its description and selected
// into a screen-compatible memory context that lives for the process.
#include <windows.h>

#include <cstring>

#include "htmlcanvas.h"

namespace htmlsubs {
namespace {

class TGdiMeasure : public ThtMeasure {
 public:
  TGdiMeasure() { dc_ = CreateCompatibleDC(nullptr); }
  ~TGdiMeasure() override {
    if (old_) SelectObject(dc_, old_);
    if (font_) DeleteObject(font_);
    if (dc_) DeleteDC(dc_);
  }
  void SelectFont(const TFontDesc& f) override {
    LOGFONTA lf = {};
    lf.lfHeight = f.Height();
    lf.lfWeight = (f.Style() & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (f.Style() & fsItalic) ? 1 : 0;
    lf.lfUnderline = (f.Style() & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (f.Style() & fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, f.Name().c_str(), LF_FACESIZE);
    // Layout selects a font for every piece of text it measures, mostly the
    // one already selected; making a GDI font each time is what costs.
    if (font_ && std::memcmp(&lf, &lf_, sizeof lf) == 0) return;
    lf_ = lf;
    HFONT nf = CreateFontIndirectA(&lf);
    HGDIOBJ prev = SelectObject(dc_, nf);
    if (!old_) old_ = prev;
    if (font_) DeleteObject(font_);
    font_ = nf;
  }
  THtFontMetrics Metrics() override {
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc_, &tm);
    THtFontMetrics m;
    m.Height = tm.tmHeight;
    m.ExternalLeading = tm.tmExternalLeading;
    m.Overhang = tm.tmOverhang;
    m.Descent = tm.tmDescent;
    m.Ascent = tm.tmAscent;
    return m;
  }
  int TextWidth(const char* s, int n) override {
    if (n <= 0) return 0;
    SIZE sz = {};
    GetTextExtentPoint32A(dc_, s, n, &sz);
    return sz.cx;
  }

 private:
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
  LOGFONTA lf_ = {};
};

}  // namespace

ThtMeasure& ScreenMeasure() {
  static TGdiMeasure measure;
  return measure;
}

}  // namespace htmlsubs
