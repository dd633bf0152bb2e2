// Buttons with pictures: the push button with a glyph and the flat speed
// button that can stay down in a group.
#pragma once

#include "stdctrls.h"

// A push button that draws a glyph beside its caption. The glyph's
// bottom-left pixel is its transparent colour.
class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner);
  TBitmap& Glyph() { return glyph_; }
  int Spacing = 4;

 protected:
  void CreateParams(TCreateParams& p) override;
  void WndProc(TMessage& m) override;
  void DrawItem(const DRAWITEMSTRUCT& d);
  TBitmap glyph_;
};

// Draws glyph and caption centred in r (glyph left of the text).
void DrawGlyphAndCaption(HDC dc, RECT r, TBitmap& glyph, const std::string& caption, TFont& font, bool enabled,
                         int spacing);

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  // Buttons of one parent with the same non-zero GroupIndex work like
  // radio buttons: pressing one releases the others.
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int v);
  bool Down() const { return down_; }
  void SetDown(bool v);
  // In a group, whether the down button can be pressed up again.
  bool AllowAllUp = false;
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { flat_ = v; Invalidate(); }
  TBitmap& Glyph() { return glyph_; }
  int Spacing = 4;
  void Click() override;
  void Paint() override;

 protected:
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override;
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override;
  void TextChanged() override { Invalidate(); }

 private:
  void ReleaseOthers();
  int group_index_ = 0;
  bool down_ = false;
  bool pressing_ = false;
  bool flat_ = false;
  TBitmap glyph_;
};
