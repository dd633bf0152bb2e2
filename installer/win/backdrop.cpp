#include "backdrop.h"

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

COLORREF Plain(TColor c) { return ColorToRGB(c) & 0xFFFFFF; }

}  // namespace

// ---------------------------------------------------------------- TBackdrop

TBackdrop::TBackdrop(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 100;
  height_ = 100;
  align_ = alClient;
}

void TBackdrop::SetDirection(TDirection v) {
  if (v == direction_) return;
  direction_ = v;
  Invalidate();
}

void TBackdrop::SetStartColor(TColor v) {
  if (v == start_color_) return;
  start_color_ = v;
  Invalidate();
}

void TBackdrop::SetEndColor(TColor v) {
  if (v == end_color_) return;
  end_color_ = v;
  Invalidate();
}

void TBackdrop::Paint() {
  TCanvas& c = Canvas();
  const bool down = paintgeom::BandsRunDown(direction_);
  const int S = down ? height_ : width_;
  c.Brush().SetStyle(bsSolid);
  auto fill = [&](int from, int to) {
    c.FillRect(down ? RECT{0, from, width_, to} : RECT{from, 0, to, height_});
  };
  for (const paintgeom::Band& b : paintgeom::GradientBands(direction_, Plain(start_color_), Plain(end_color_), S)) {
    c.Brush().SetColor(b.Color);
    fill(b.From, b.To);
    if (b.Mirrored) fill(b.MirrorFrom, b.MirrorTo);
  }
}

void TBackdrop::PublishProperties(TPropList& list) const {
  TGraphicControl::PublishProperties(list);
  list.push_back(EnumProp<TBackdrop>(
      "Direction", {"bdUp", "bdDown", "bdLeft", "bdRight", "bdHorzIn", "bdHorzOut", "bdVertIn", "bdVertOut"},
      &TBackdrop::Direction, &TBackdrop::SetDirection));
  list.push_back(IntProp<TBackdrop>("StartColor", &TBackdrop::StartColor, &TBackdrop::SetStartColor));
  list.push_back(IntProp<TBackdrop>("EndColor", &TBackdrop::EndColor, &TBackdrop::SetEndColor));
}

// ---------------------------------------------------------------- TLabelStyle

void TLabelStyle::Changed() {
  if (OnChange) OnChange(this);
}

void TLabelStyle::SetAngle(int v) {
  angle_ = paintgeom::NormalizeAngle(v);
  Changed();
}

void TLabelStyle::SetAStyle3D(T3DEffectShort v) {
  style_ = v;
  Changed();
}

void TLabelStyle::SetAShadeRightBottom(TColor v) {
  right_bottom_ = v;
  Changed();
}

void TLabelStyle::SetAShadeLeftTop(TColor v) {
  if (lt_set_) return;
  left_top_ = v;
  Changed();
}

void TLabelStyle::SetAShadeLTSet(bool v) {
  if (v == lt_set_) return;
  lt_set_ = v;
  if (v) {
    remembered_left_top_ = left_top_;
    left_top_ = clWhite;
  } else {
    left_top_ = remembered_left_top_;
  }
  Changed();
}

void TLabelStyle::SetAHShadeOffSet(int v) {
  h_offset_ = v;
  Changed();
}

void TLabelStyle::SetAVShadeOffSet(int v) {
  v_offset_ = v;
  Changed();
}

void TLabelStyle::PublishProperties(TPropList& list) const {
  TPersistent::PublishProperties(list);
  using S = TLabelStyle;
  list.push_back(IntProp<S>("Angle", &S::Angle, &S::SetAngle));
  list.push_back(EnumProp<S>("AStyle3D", {"A3dNormal", "A3dResit", "A3dRaised", "A3dShadowed"}, &S::AStyle3D,
                             &S::SetAStyle3D));
  list.push_back(IntProp<S>("AShadeRightBottom", &S::AShadeRightBottom, &S::SetAShadeRightBottom));
  list.push_back(IntProp<S>("AShadeLeftTop", &S::AShadeLeftTop, &S::SetAShadeLeftTop));
  list.push_back(BoolProp<S>("AShadeLTSet", &S::AShadeLTSet, &S::SetAShadeLTSet));
  list.push_back(IntProp<S>("AHShadeOffSet", &S::AHShadeOffSet, &S::SetAHShadeOffSet));
  list.push_back(IntProp<S>("AVShadeOffSet", &S::AVShadeOffSet, &S::SetAVShadeOffSet));
}

// ---------------------------------------------------------------- TRotate3DLabel

TRotate3DLabel::TRotate3DLabel(TComponent* AOwner) : TCustomLabel(AOwner) {
  auto_size_ = false;
  transparent_ = true;
  font_.SetName("Arial");
  font_.SetStyle(fsBold);
  style_.OnChange = [this](TObject*) { Invalidate(); };
}

void TRotate3DLabel::SetMyTransparent(bool v) {
  if (v == my_transparent_) return;
  my_transparent_ = v;
  if (!v) SetParentColor(true);
  Invalidate();
}

void TRotate3DLabel::Paint() {
  const std::string text = Caption();
  const int angle = style_.Angle();
  // Opaque labels paint flat; the stored 3-D style is left as it is so
  // that it comes back with transparency.
  const T3DEffectShort look = my_transparent_ ? style_.AStyle3D() : A3dNormal;
  int highlight = 0, shade = 0;
  if (look == A3dResit) highlight = 1, shade = -1;
  if (look == A3dRaised) highlight = -1, shade = 1;

  TCanvas& c = Canvas();
  HDC dc = c.Handle();
  if (!dc) return;
  LOGFONTA lf;
  font_.FillLogFont(lf);
  lf.lfEscapement = angle * 10;
  lf.lfOrientation = angle * 10;
  lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  HFONT rotated = CreateFontIndirectA(&lf);
  HGDIOBJ old_font = SelectObject(dc, rotated);
  SIZE ext{0, 0};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &ext);
  const int w = ext.cx, h = ext.cy;
  const paintgeom::IPoint o = paintgeom::RotatedTextOrigin(angle, w, h, width_, height_);

  if (!my_transparent_) {
    auto corners = paintgeom::RotatedBackground(angle, w, h, width_, height_);
    POINT pts[4];
    for (int i = 0; i < 4; ++i) pts[i] = POINT{corners[static_cast<size_t>(i)].X, corners[static_cast<size_t>(i)].Y};
    HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
    HPEN pen = CreatePen(PS_SOLID, 1, ColorToRGB(Color()));
    HGDIOBJ old_brush = SelectObject(dc, brush), old_pen = SelectObject(dc, pen);
    ::Polygon(dc, pts, 4);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(brush);
    DeleteObject(pen);
  }

  SetBkMode(dc, TRANSPARENT);
  auto out = [&](TColor color, int x, int y) {
    SetTextColor(dc, ColorToRGB(color));
    TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
  };
  if (look == A3dResit || look == A3dRaised || look == A3dShadowed) {
    if (look != A3dShadowed) out(style_.AShadeLeftTop(), o.X + highlight, o.Y + highlight);
    if (look == A3dShadowed)
      out(style_.AShadeRightBottom(), o.X + style_.AHShadeOffSet(), o.Y + style_.AVShadeOffSet());
    else
      out(style_.AShadeRightBottom(), o.X + shade, o.Y + shade);
  }
  out(font_.Color(), o.X, o.Y);
  SelectObject(dc, old_font);
  DeleteObject(rotated);
}

void TRotate3DLabel::PublishProperties(TPropList& list) const {
  TCustomLabel::PublishProperties(list);
  using L = TRotate3DLabel;
  list.push_back(ObjProp<L>("LabelStyle", &L::LabelStylePtr));
  list.push_back(BoolProp<L>("MyTransparent", &L::MyTransparent, &L::SetMyTransparent));
  list.push_back(StrProp<L>("Caption", &L::Caption, &L::SetCaption));
  list.push_back(IntProp<L>("Color", &L::Color, &L::SetColor));
  list.push_back(IntProp<L>("Left", &L::Left, &L::SetLeft));
  list.push_back(IntProp<L>("Top", &L::Top, &L::SetTop));
  list.push_back(IntProp<L>("Width", &L::Width, &L::SetWidth));
  list.push_back(IntProp<L>("Height", &L::Height, &L::SetHeight));
}
