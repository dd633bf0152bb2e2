// The one place where the document model measures text.  The Win32 half asks
// GDI through a screen device context; the POSIX half answers with fixed
// metrics derived from the font's size and style, so layout arithmetic runs
// natively under the sanitizers and the fuzzer.
#pragma once

#include <string>

#include "fontdesc.h"

// The drawing surface (Win32 only; natively drawing only advances Y).
class TCanvas;

namespace htmlsubs {

// A clip rectangle in canvas coordinates.
struct ThtRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct THtFontMetrics {
  int Height = 0;            // cell height (ascent + descent)
  int ExternalLeading = 0;
  int Overhang = 0;
  int Descent = 0;
  int Ascent = 0;
};

// A measuring surface: one font selected at a time.
class ThtMeasure {
 public:
  virtual ~ThtMeasure() = default;
  virtual void SelectFont(const TFontDesc& font) = 0;
  virtual THtFontMetrics Metrics() = 0;
  // Width of the first n characters of s in the selected font.
  virtual int TextWidth(const char* s, int n) = 0;
  int TextWidth(const std::string& s) { return TextWidth(s.data(), static_cast<int>(s.size())); }
  // How many of the first n characters of s fit in width w (binary search
  // against the extent, as layout breaks lines).
  int FitCount(const char* s, int n, int w);
};

// The process's screen measuring surface (created on first use).
ThtMeasure& ScreenMeasure();

}  // namespace htmlsubs
