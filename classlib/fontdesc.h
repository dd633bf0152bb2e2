// A font as a description only: face, size, style and colour, with the
// change event.  Portable code (the HTML viewer's font records and its
// parser) keeps fonts in this form; the Win32 TFont adds the GDI handle.
#pragma once

#include <cstdint>
#include <string>

#include "sysutils.h"

// 0x00BBGGRR, or a system colour (high bit set, low byte the system colour
// index), optionally with the palette-relative flag 0x02000000.
typedef uint32_t TColor;

enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
typedef unsigned TFontStyles;

class TFontDesc : public TObject {
 public:
  // The window-text system colour, the colour a new font draws in.
  static constexpr TColor DefaultColor = 0x80000008u;

  TFontDesc() = default;
  // Copies face, height, style and colour and reports one change.
  void Assign(const TFontDesc& other);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& v);
  // Character height in pixels, negative as in LOGFONT (character height
  // rather than cell height).
  int Height() const { return height_; }
  void SetHeight(int v);
  // Points at the resolution of PixelsPerInch.
  int Size() const;
  void SetSize(int points);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v);

  TNotifyEvent OnChange;

 protected:
  // The screen's vertical resolution where there is a screen.
  virtual int PixelsPerInch() const { return 96; }
  // A change of face, height or style: what a drawn glyph looks like.
  virtual void ShapeChanged() { Notify(); }
  void Notify() {
    if (OnChange) OnChange(this);
  }
  void AssignDesc(const TFontDesc& other);

 private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TColor color_ = DefaultColor;
  TFontStyles style_ = 0;
};
