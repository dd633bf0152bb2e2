// A percentage shown as a row (or column) of solid blocks in a sunken or
// raised frame. The meter has no window of its own; it draws on its
// parent's surface.
#pragma once

#include <cstdint>

#include "win/controls.h"

enum StyleType : uint8_t { st95None = 0, st95Lowered = 1, st95Raised = 2 };

class TW95Meter : public TGraphicControl {
 public:
  explicit TW95Meter(TComponent* AOwner);

  int Percent() const { return percent_; }
  // Raising the value only adds blocks over the face (no flicker); lowering
  // it, or reaching 0, repaints the whole meter first.
  void SetPercent(int v);
  TColor BackGroundColor() const { return background_; }
  void SetBackGroundColor(TColor v);
  TColor SegmentColor() const { return segment_color_; }
  void SetSegmentColor(TColor v);
  // Values of 0 and below are ignored.
  int SegmentWidth() const { return segment_width_; }
  void SetSegmentWidth(int v);
  int SegmentGap() const { return segment_gap_; }
  void SetSegmentGap(int v);
  StyleType EdgeStyle() const { return edge_style_; }
  void SetEdgeStyle(StyleType v);

  void Paint() override;

 private:
  void DrawSegments();
  // Direct drawing outside a paint message needs a visible parent window:
  // without one there is nothing to draw on, and a hidden meter must not
  // show up on its parent.
  bool CanDrawNow();
  void Redraw();

  int32_t percent_ = 0;
  TColor background_ = clBtnFace;
  TColor segment_color_ = clNavy;
  int32_t segment_width_ = 8;
  int32_t segment_gap_ = 2;
  StyleType edge_style_ = st95Lowered;
};
