// The painted controls of the setup window, also used by the patch
// creator: a colour gradient that fills its parent, and a label drawn at
// any angle with a raised, sunken or shadowed look.
#pragma once

#include "paintgeometry.h"
#include "win/stdctrls.h"

using paintgeom::TDirection;
using paintgeom::bdUp;
using paintgeom::bdDown;
using paintgeom::bdLeft;
using paintgeom::bdRight;
using paintgeom::bdHorzIn;
using paintgeom::bdHorzOut;
using paintgeom::bdVertIn;
using paintgeom::bdVertOut;

class TBackdrop : public TGraphicControl {
 public:
  explicit TBackdrop(TComponent* AOwner);

  TDirection Direction() const { return direction_; }
  void SetDirection(TDirection v);
  TColor StartColor() const { return start_color_; }
  void SetStartColor(TColor v);
  TColor EndColor() const { return end_color_; }
  void SetEndColor(TColor v);

  void Paint() override;
  void PublishProperties(TPropList& list) const override;

 private:
  TDirection direction_ = bdUp;
  TColor start_color_ = 16711680;
  TColor end_color_ = 0;
};

enum T3DEffectShort { A3dNormal, A3dResit, A3dRaised, A3dShadowed };

// The look of a TRotate3DLabel; every change is reported through OnChange.
class TLabelStyle : public TPersistent {
 public:
  int Angle() const { return angle_; }
  // Values outside 0..359 become 0.
  void SetAngle(int v);
  T3DEffectShort AStyle3D() const { return style_; }
  void SetAStyle3D(T3DEffectShort v);
  TColor AShadeRightBottom() const { return right_bottom_; }
  void SetAShadeRightBottom(TColor v);
  TColor AShadeLeftTop() const { return left_top_; }
  // Ignored while AShadeLTSet is true.
  void SetAShadeLeftTop(TColor v);
  bool AShadeLTSet() const { return lt_set_; }
  // True forces the left-top shade to white; false brings back the colour
  // it had before.
  void SetAShadeLTSet(bool v);
  int AHShadeOffSet() const { return h_offset_; }
  void SetAHShadeOffSet(int v);
  int AVShadeOffSet() const { return v_offset_; }
  void SetAVShadeOffSet(int v);

  TNotifyEvent OnChange;
  void PublishProperties(TPropList& list) const override;

 private:
  void Changed();
  int angle_ = 0;
  T3DEffectShort style_ = A3dRaised;
  TColor right_bottom_ = 8421504;
  TColor left_top_ = 16777215;
  TColor remembered_left_top_ = 16777215;
  bool lt_set_ = true;
  int h_offset_ = 5;
  int v_offset_ = -5;
};

class TRotate3DLabel : public TCustomLabel {
 public:
  explicit TRotate3DLabel(TComponent* AOwner);

  TLabelStyle& LabelStyle() { return style_; }
  TLabelStyle* LabelStylePtr() { return &style_; }
  bool MyTransparent() const { return my_transparent_; }
  // False paints a flat label on a rotated rectangle in Color, which
  // starts as the parent's colour.
  void SetMyTransparent(bool v);

  void Paint() override;
  void PublishProperties(TPropList& list) const override;

 private:
  TLabelStyle style_;
  bool my_transparent_ = true;
};
