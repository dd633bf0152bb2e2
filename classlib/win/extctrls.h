// Panels, radio groups, images and timers.
#pragma once

#include <memory>

#include "stdctrls.h"

enum TPanelBevel { bvNone, bvLowered, bvRaised };
// Declared by both this header and its sibling: one definition whichever
// comes first.
#ifndef MORVANE_TBORDERSTYLE
#define MORVANE_TBORDERSTYLE
enum TBorderStyle { bsNoBorder, bsSingleBorder };
#endif

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TPanelBevel BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TPanelBevel v) { bevel_inner_ = v; Realign(); }
  TPanelBevel BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TPanelBevel v) { bevel_outer_ = v; Realign(); }
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int v) { bevel_width_ = std::max(v, 1); Realign(); }
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int v) { border_width_ = std::max(v, 0); Realign(); }
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  TAlignment Alignment = taCenter;

 protected:
  void CreateParams(TCreateParams& p) override;
  void Paint() override;
  void AdjustClientRect(RECT& r) override;
  void TextChanged() override { Invalidate(); }
  void Realign() { AlignControls(); Invalidate(); }
  TPanelBevel bevel_inner_ = bvNone, bevel_outer_ = bvRaised;
  int bevel_width_ = 1, border_width_ = 0;
  TBorderStyle border_style_ = bsNoBorder;
};

// Draws a 3-D frame: top-left in one colour, bottom-right in the other;
// the rectangle shrinks by width.
void Frame3D(TCanvas& canvas, RECT& rect, TColor top_color, TColor bottom_color, int width);

class TRadioGroup : public TGroupBox {
 public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;
  // One radio button per line.
  TStrings& Items() { return items_; }
  int ItemIndex() const { return item_index_; }
  // Checks that button (or none for -1) and runs OnClick.
  void SetItemIndex(int i);
  int Columns() const { return columns_; }
  void SetColumns(int v);
  TRadioButton* Buttons(int i) const { return buttons_[static_cast<size_t>(i)]; }

 protected:
  void Resize() override;
  void SetEnabled(bool v) override;
  void ParentFontChanged() override;
  void FontChanged() override;

 private:
  void Rebuild();
  void ArrangeButtons();
  TStringList items_;
  std::vector<TRadioButton*> buttons_;
  int item_index_ = -1;
  int columns_ = 1;
  bool updating_ = false;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  TPicture& Picture() { return picture_; }
  // Drawing on the image draws on its bitmap (made at the control's size
  // when empty).
  TCanvas& Canvas();
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v) { stretch_ = v; Invalidate(); }
  bool Center() const { return center_; }
  void SetCenter(bool v) { center_ = v; Invalidate(); }
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v);
  void Paint() override;

 private:
  void PictureChanged();
  TPicture picture_;
  bool stretch_ = false, center_ = false, auto_size_ = false;
};

// A graphic control whose drawing is its OnPaint handler's, on its canvas.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  void Paint() override;
  TNotifyEvent OnPaint;
};

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;

 private:
  void Update();
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND wnd_ = nullptr;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};
