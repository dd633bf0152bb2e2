#include "ptframe.h"

namespace {

void Line3(TCanvas& c, TColor color, POINT a, POINT b, POINT d) {
  c.Pen().SetColor(color);
  c.Pen().SetStyle(psSolid);
  c.Polyline({a, b, d});
}

void Line2(TCanvas& c, TColor color, POINT a, POINT b) {
  c.Pen().SetColor(color);
  c.Pen().SetStyle(psSolid);
  c.MoveTo(a.x, a.y);
  c.LineTo(b.x, b.y);
}

const TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;

}  // namespace

TPTCustomGroup::TPTCustomGroup(TComponent* AOwner) : TCustomControl(AOwner) {
  width_ = 64;
  height_ = 48;
  click_events_ = true;
  // Paint fills the client area itself (unless the colour is clNone).
  erase_background_ = false;
}

void TPTCustomGroup::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}

void TPTCustomGroup::SetFrameSpace(int v) {
  if (v == frame_space_) return;
  frame_space_ = v;
  Invalidate();
}

void TPTCustomGroup::SetFrameStyle(TPTFrameStyle v) {
  if (v == frame_style_) return;
  frame_style_ = v;
  frame_changed_ = true;
  RecreateWnd();
}

void TPTCustomGroup::SetEnabled(bool v) {
  if (v == enabled_) return;
  TCustomControl::SetEnabled(v);
  for (TControl* c : std::vector<TControl*>(controls_)) c->SetEnabled(v);
  Invalidate();
  if (frame_style_ == ptfsGroup) FrameChanged();
}

void TPTCustomGroup::TextChanged() {
  Invalidate();
  if (frame_style_ == ptfsGroup) FrameChanged();
}

void TPTCustomGroup::ColorChanged() {
  TCustomControl::ColorChanged();
  if (frame_style_ == ptfsGroup) FrameChanged();
}

void TPTCustomGroup::FontChanged() {
  TCustomControl::FontChanged();
  if (frame_style_ == ptfsGroup) FrameChanged();
}

void TPTCustomGroup::FrameChanged() {
  if (!handle_) return;
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TPTCustomGroup::CaptionLineHeight() {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font_.Handle());
  SIZE s{0, 0};
  GetTextExtentPoint32A(dc, "0", 1, &s);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return s.cy;
}

SIZE TPTCustomGroup::MeasureCaption(HDC dc) {
  std::string t = Caption();
  if (t.empty() || t == "&") t = " ";
  SIZE s{0, 0};
  HGDIOBJ old = SelectObject(dc, font_.Handle());
  GetTextExtentPoint32A(dc, t.data(), static_cast<int>(t.size()), &s);
  SelectObject(dc, old);
  return s;
}

RECT TPTCustomGroup::FrameInsets() {
  switch (frame_style_) {
    case ptfsGroup:
      return RECT{2, Caption().empty() ? 2 : CaptionLineHeight(), 2, 2};
    case ptfsLowered:
    case ptfsRaised:
      return RECT{2, 2, 2, 2};
    case ptfsDint:
    case ptfsBump:
    case ptfsSingle:
      return RECT{1, 1, 1, 1};
    case ptfsHorzLine: return RECT{0, 2, 0, 0};
    case ptfsHorzEdge: return RECT{0, 2, 0, 2};
    case ptfsVertLine: return RECT{2, 0, 0, 0};
    case ptfsVertEdge: return RECT{2, 0, 2, 0};
    case ptfsNone: break;
  }
  return RECT{0, 0, 0, 0};
}

void TPTCustomGroup::PaintFrame(TCanvas& c, const RECT& rect) {
  const int L = rect.left, T = rect.top, R = rect.right - 1, B = rect.bottom - 1;
  switch (frame_style_) {
    case ptfsLowered:
    case ptfsRaised: {
      bool low = frame_style_ == ptfsLowered;
      Line3(c, low ? clBtnShadow : clBtnHighlight, {L, B - 1}, {L, T}, {R, T});
      Line3(c, low ? cl3DDkShadow : clBtnFace, {L + 1, B - 2}, {L + 1, T + 1}, {R - 1, T + 1});
      Line3(c, low ? clBtnFace : clBtnShadow, {L + 1, B - 1}, {R - 1, B - 1}, {R - 1, T});
      Line3(c, low ? clBtnHighlight : cl3DDkShadow, {L, B}, {R, B}, {R, T - 1});
      break;
    }
    case ptfsDint:
    case ptfsBump: {
      bool dint = frame_style_ == ptfsDint;
      Line3(c, dint ? clBtnShadow : clBtnHighlight, {L, B - 1}, {L, T}, {R, T});
      Line3(c, dint ? clBtnHighlight : clBtnShadow, {L, B}, {R, B}, {R, T - 1});
      break;
    }
    case ptfsSingle:
      c.Brush().SetColor(clWindowFrame);
      c.FrameRect(RECT{L, T, R + 1, B + 1});
      break;
    case ptfsHorzEdge:
      Line2(c, clBtnShadow, {L, B - 1}, {R + 1, B - 1});
      Line2(c, clBtnHighlight, {L, B}, {R + 1, B});
      [[fallthrough]];
    case ptfsHorzLine:
      Line2(c, clBtnShadow, {L, T}, {R + 1, T});
      Line2(c, clBtnHighlight, {L, T + 1}, {R + 1, T + 1});
      break;
    case ptfsVertEdge:
      Line2(c, clBtnShadow, {R - 1, T}, {R - 1, B + 1});
      Line2(c, clBtnHighlight, {R, T}, {R, B + 1});
      [[fallthrough]];
    case ptfsVertLine:
      Line2(c, clBtnShadow, {L, T}, {L, B + 1});
      Line2(c, clBtnHighlight, {L + 1, T}, {L + 1, B + 1});
      break;
    case ptfsGroup: {
      std::string caption = Caption();
      int th = caption.empty() ? 2 : CaptionLineHeight();
      int top = T + th / 2;
      c.Brush().SetStyle(bsClear);
      c.Pen().SetStyle(psSolid);
      c.Pen().SetColor(clBtnHighlight);
      c.Rectangle(L + 1, top + 1, R + 1, B + 1);
      c.Pen().SetColor(clBtnShadow);
      c.Rectangle(L, top, R, B);
      if (caption.empty()) break;
      const UINT flags = DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS;
      RECT tr{L + 8, T, R - 8, T + th};
      RECT calc = tr;
      c.DrawText(caption, calc, flags | DT_CALCRECT);
      if (calc.right < tr.right) tr.right = calc.right;
      // The text breaks the line: its box in the control's colour first.
      c.Brush().SetStyle(bsSolid);
      c.Brush().SetColor(Color());
      c.FillRect(tr);
      c.Brush().SetStyle(bsClear);
      if (enabled_) {
        c.Font().SetColor(font_.Color());
        c.DrawText(caption, tr, flags);
      } else {
        RECT hr = tr;
        OffsetRect(&hr, 1, 1);
        c.Font().SetColor(clBtnHighlight);
        c.DrawText(caption, hr, flags);
        c.Font().SetColor(clBtnShadow);
        c.DrawText(caption, tr, flags);
      }
      break;
    }
    case ptfsNone:
      break;
  }
}

void TPTCustomGroup::PaintNonClient() {
  if (frame_style_ == ptfsNone) return;
  HDC dc = GetWindowDC(handle_);
  if (!dc) return;
  RECT wr, cr;
  GetWindowRect(handle_, &wr);
  GetClientRect(handle_, &cr);
  MapWindowPoints(handle_, nullptr, reinterpret_cast<POINT*>(&cr), 2);
  OffsetRect(&cr, -wr.left, -wr.top);
  RECT whole{0, 0, wr.right - wr.left, wr.bottom - wr.top};
  ExcludeClipRect(dc, cr.left, cr.top, cr.right, cr.bottom);
  {
    TCanvas c;
    c.SetHandle(dc);
    c.Font().Assign(font_);
    c.Brush().SetColor(Color());
    c.Brush().SetStyle(bsSolid);
    c.FillRect(whole);
    PaintFrame(c, whole);
    c.SetHandle(nullptr);
  }
  ReleaseDC(handle_, dc);
}

void TPTCustomGroup::Paint() {
  TCanvas& c = Canvas();
  RECT r;
  GetClientRect(handle_, &r);
  c.Font().Assign(font_);
  if (Color() != clNone) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    c.FillRect(r);
  }
  if (frame_style_ == ptfsGroup) return;
  std::string caption = Caption();
  if (caption.empty()) return;
  r.left += frame_space_;
  r.right -= frame_space_;
  // One line, centred vertically by the measured caption height.
  const int th = MeasureCaption(c.Handle()).cy;
  r.top = (r.bottom - th) / 2;
  r.bottom = r.top + th;
  UINT flags = DT_SINGLELINE | DT_END_ELLIPSIS;
  flags |= alignment_ == taLeftJustify ? DT_LEFT : alignment_ == taRightJustify ? DT_RIGHT : DT_CENTER;
  c.Brush().SetStyle(bsClear);
  c.DrawText(caption, r, flags);
}

void TPTCustomGroup::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_NCCALCSIZE: {
      DefaultHandler(m);
      RECT* r = reinterpret_cast<RECT*>(m.LParam);
      RECT in = FrameInsets();
      r->left += in.left;
      r->top += in.top;
      r->right -= in.right;
      r->bottom -= in.bottom;
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return;
    }
    case WM_NCPAINT:
      PaintNonClient();
      m.Result = 0;
      return;
    case WM_SIZE: {
      TCustomControl::WndProc(m);
      if (!Caption().empty() || (ComponentState() & csDesigning) || frame_changed_) {
        frame_changed_ = false;
        if (handle_) RedrawWindow(handle_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
      }
      return;
    }
  }
  TCustomControl::WndProc(m);
}

void TPTCustomGroup::PublishProperties(TPropList& list) const {
  TCustomControl::PublishProperties(list);
  using G = TPTCustomGroup;
  list.push_back(EnumProp<G>("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, &G::Alignment,
                             &G::SetAlignment));
  list.push_back(IntProp<G>("FrameSpace", &G::FrameSpace, &G::SetFrameSpace));
  list.push_back(EnumProp<G>("FrameStyle",
                             {"ptfsNone", "ptfsGroup", "ptfsLowered", "ptfsRaised", "ptfsDint", "ptfsBump",
                              "ptfsSingle", "ptfsHorzLine", "ptfsHorzEdge", "ptfsVertLine", "ptfsVertEdge"},
                             &G::FrameStyle, &G::SetFrameStyle));
  list.push_back(StrProp<G>("Caption", &G::Caption, &G::SetCaption));
  list.push_back(IntProp<G>("Color", &G::Color, &G::SetColor));
  list.push_back(BoolProp<G>("Enabled", &G::Enabled, &G::SetEnabled));
}
