#include "win/w95meter.h"

#include "meter.h"

TW95Meter::TW95Meter(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(Left(), Top(), 100, 18); }

bool TW95Meter::CanDrawNow() {
  TWinControl* parent = Parent();
  if (!Visible() || !parent || !parent->HandleAllocated()) return false;
  return IsWindowVisible(parent->Handle()) != FALSE;
}

void TW95Meter::Redraw() {
  if (CanDrawNow()) Paint();
}

void TW95Meter::SetPercent(int v) {
  if (v == percent_) return;
  const bool decrease = v < percent_;
  percent_ = v < 0 ? 0 : (v > 100 ? 100 : v);
  if (!CanDrawNow()) return;
  if (percent_ == 0 || decrease || (ComponentState() & csDesigning)) Paint();
  DrawSegments();
}

void TW95Meter::SetBackGroundColor(TColor v) {
  if (v == background_) return;
  background_ = v;
  Redraw();
}

void TW95Meter::SetSegmentColor(TColor v) {
  if (v == segment_color_) return;
  segment_color_ = v;
  Redraw();
}

void TW95Meter::SetSegmentWidth(int v) {
  if (v <= 0 || v == segment_width_) return;
  segment_width_ = v;
  Redraw();
}

void TW95Meter::SetSegmentGap(int v) {
  if (v <= 0 || v == segment_gap_) return;
  segment_gap_ = v;
  Redraw();
}

void TW95Meter::SetEdgeStyle(StyleType v) {
  if (v == edge_style_) return;
  edge_style_ = v;
  Redraw();
}

void TW95Meter::Paint() {
  TCanvas& canvas = Canvas();
  const int w = Width(), h = Height();
  canvas.Brush().SetColor(background_);
  if (edge_style_ == st95None) {
    canvas.Pen().SetWidth(0);
    canvas.Pen().SetColor(background_);
    canvas.Rectangle(0, 0, w, h);
  } else {
    const bool lowered = edge_style_ == st95Lowered;
    canvas.Pen().SetWidth(2);
    canvas.Pen().SetColor(lowered ? clGray : clWhite);
    canvas.MoveTo(0, h);
    canvas.LineTo(0, 0);
    canvas.LineTo(w - 1, 0);
    canvas.Pen().SetColor(lowered ? clWhite : clGray);
    canvas.LineTo(w - 1, h - 1);
    canvas.LineTo(0, h - 1);
    canvas.Pen().SetWidth(0);
    canvas.Brush().SetColor(background_);
    canvas.Pen().SetColor(background_);
    canvas.Rectangle(1, 1, w - 1, h - 1);
  }
  if (percent_ > 0) DrawSegments();
}

void TW95Meter::DrawSegments() {
  TCanvas& canvas = Canvas();
  canvas.Pen().SetColor(segment_color_);
  canvas.Brush().SetColor(segment_color_);
  for (const MeterBlock& b : MeterBlocks(Width(), Height(), segment_width_, segment_gap_, percent_))
    canvas.Rectangle(b.left, b.top, b.right, b.bottom);
}
