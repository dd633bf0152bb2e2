// A container control with a frame in its non-client area (one of eleven
// styles) and optionally a caption: the group boxes and the splitter panes
// around the shell pickers.
#pragma once

#include "win/controls.h"

enum TPTFrameStyle {
  ptfsNone,
  ptfsGroup,
  ptfsLowered,
  ptfsRaised,
  ptfsDint,
  ptfsBump,
  ptfsSingle,
  ptfsHorzLine,
  ptfsHorzEdge,
  ptfsVertLine,
  ptfsVertEdge
};

class TPTCustomGroup : public TCustomControl {
 public:
  explicit TPTCustomGroup(TComponent* AOwner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  int FrameSpace() const { return frame_space_; }
  void SetFrameSpace(int v);
  TPTFrameStyle FrameStyle() const { return frame_style_; }
  // Re-creates the window: the non-client size depends on the style.
  void SetFrameStyle(TPTFrameStyle v);

  // Every child takes the same value.
  void SetEnabled(bool v) override;

  // The frame's widths (left, top, right, bottom) for the current style,
  // caption and font.
  RECT FrameInsets();

  // Draws the frame on a canvas over the whole window rectangle 'rect'.
  virtual void PaintFrame(TCanvas& canvas, const RECT& rect);

  void WndProc(TMessage& m) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  void Paint() override;
  void TextChanged() override;
  void ColorChanged() override;
  void FontChanged() override;
  // The size of the caption in the control's font on dc; an empty caption
  // (or a lone "&") is measured as " ".
  SIZE MeasureCaption(HDC dc);
  // Has the window recompute and repaint its frame without moving.
  void FrameChanged();

  TAlignment alignment_ = taCenter;
  int frame_space_ = 2;
  bool frame_changed_ = false;
  TPTFrameStyle frame_style_ = ptfsGroup;

 private:
  int CaptionLineHeight();
  void PaintNonClient();
};

class TPTGroup : public TPTCustomGroup {
 public:
  using TPTCustomGroup::TPTCustomGroup;
};
