#include "fontdesc.h"

void TFontDesc::AssignDesc(const TFontDesc& other) {
  name_ = other.name_;
  height_ = other.height_;
  color_ = other.color_;
  style_ = other.style_;
}

void TFontDesc::Assign(const TFontDesc& other) {
  AssignDesc(other);
  ShapeChanged();
}

void TFontDesc::SetName(const std::string& v) {
  if (v != name_) {
    name_ = v;
    ShapeChanged();
  }
}

void TFontDesc::SetHeight(int v) {
  if (v != height_) {
    height_ = v;
    ShapeChanged();
  }
}

int TFontDesc::Size() const { return -MulDiv(height_, 72, PixelsPerInch()); }
void TFontDesc::SetSize(int points) { SetHeight(-MulDiv(points, PixelsPerInch(), 72)); }

void TFontDesc::SetColor(TColor v) {
  // Colour needs no new font object, so it is reported without one.
  if (v != color_) {
    color_ = v;
    Notify();
  }
}

void TFontDesc::SetStyle(TFontStyles v) {
  if (v != style_) {
    style_ = v;
    ShapeChanged();
  }
}
