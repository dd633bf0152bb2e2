#include "buttons.h"

#include <algorithm>

void DrawGlyphAndCaption(HDC dc, RECT r, TBitmap& glyph, const std::string& caption, TFont& font, bool enabled,
                         int spacing) {
  HGDIOBJ old_font = SelectObject(dc, font.Handle());
  SIZE ts{0, 0};
  RECT calc{0, 0, 0, 0};
  if (!caption.empty()) {
    DrawTextA(dc, caption.data(), static_cast<int>(caption.size()), &calc, DT_SINGLELINE | DT_CALCRECT);
    ts.cx = calc.right;
    ts.cy = calc.bottom;
  }
  int gw = glyph.Empty() ? 0 : glyph.Width();
  int gh = glyph.Empty() ? 0 : glyph.Height();
  int total = gw + (gw && ts.cx ? spacing : 0) + ts.cx;
  int x = r.left + (r.right - r.left - total) / 2;
  if (gw) {
    int y = r.top + (r.bottom - r.top - gh) / 2;
    // Glyphs are small: pixel by pixel keeps the transparent colour out
    // without a mask bitmap.
    uint32_t transparent = glyph.ScanLine(gh - 1)[0];
    for (int gy = 0; gy < gh; ++gy) {
      const uint32_t* row = glyph.ScanLine(gy);
      for (int gx = 0; gx < gw; ++gx) {
        uint32_t v = row[gx];
        if (v == transparent) continue;
        SetPixelV(dc, x + gx, y + gy, RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
      }
    }
    x += gw + (ts.cx ? spacing : 0);
  }
  if (ts.cx) {
    RECT tr{x, r.top + (r.bottom - r.top - ts.cy) / 2, x + ts.cx, 0};
    tr.bottom = tr.top + ts.cy;
    SetBkMode(dc, TRANSPARENT);
    if (!enabled) {
      OffsetRect(&tr, 1, 1);
      SetTextColor(dc, ColorToRGB(clBtnHighlight));
      DrawTextA(dc, caption.data(), static_cast<int>(caption.size()), &tr, DT_SINGLELINE);
      OffsetRect(&tr, -1, -1);
      SetTextColor(dc, ColorToRGB(clBtnShadow));
    } else {
      SetTextColor(dc, ColorToRGB(font.Color() == clWindowText ? clBtnText : font.Color()));
    }
    DrawTextA(dc, caption.data(), static_cast<int>(caption.size()), &tr, DT_SINGLELINE);
  }
  SelectObject(dc, old_font);
}

// ---------------------------------------------------------------- TBitBtn

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {
  glyph_.OnChange = [this](TObject*) { Invalidate(); };
}

void TBitBtn::CreateParams(TCreateParams& p) {
  TButton::CreateParams(p);
  p.Style &= ~static_cast<DWORD>(BS_DEFPUSHBUTTON);
  p.Style |= BS_OWNERDRAW;
}

void TBitBtn::WndProc(TMessage& m) {
  if (m.Msg == CN_DRAWITEM) {
    DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
    m.Result = TRUE;
    return;
  }
  // An owner-drawn button has no default style of its own to change.
  if (m.Msg == BM_SETSTYLE) {
    Invalidate();
    return;
  }
  TButton::WndProc(m);
}

void TBitBtn::DrawItem(const DRAWITEMSTRUCT& d) {
  RECT r = d.rcItem;
  HDC dc = d.hDC;
  bool pressed = (d.itemState & ODS_SELECTED) != 0;
  bool focused = (d.itemState & ODS_FOCUS) != 0;
  if (default_ || focused) {
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  if (pressed) OffsetRect(&inner, 1, 1);
  DrawGlyphAndCaption(dc, inner, glyph_, Text(), font_, enabled_, Spacing);
  if (focused) {
    RECT f = r;
    InflateRect(&f, -3, -3);
    DrawFocusRect(dc, &f);
  }
}

// ---------------------------------------------------------------- TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 23;
  height_ = 22;
  glyph_.OnChange = [this](TObject*) { Invalidate(); };
}

void TSpeedButton::SetGroupIndex(int v) {
  group_index_ = v;
  if (down_) ReleaseOthers();
}

void TSpeedButton::ReleaseOthers() {
  if (!parent_ || group_index_ == 0) return;
  for (int i = 0; i < parent_->ControlCount(); ++i) {
    TSpeedButton* b = dynamic_cast<TSpeedButton*>(parent_->Controls(i));
    if (b && b != this && b->group_index_ == group_index_ && b->down_) {
      b->down_ = false;
      b->Invalidate();
    }
  }
}

void TSpeedButton::SetDown(bool v) {
  if (group_index_ == 0) v = false;  // only grouped buttons stay down
  if (v == down_) return;
  if (!v && !AllowAllUp) {
    // The group must keep one button down.
    bool other_down = false;
    if (parent_)
      for (int i = 0; i < parent_->ControlCount(); ++i) {
        TSpeedButton* b = dynamic_cast<TSpeedButton*>(parent_->Controls(i));
        if (b && b != this && b->group_index_ == group_index_ && b->down_) other_down = true;
      }
    if (!other_down) return;
  }
  down_ = v;
  if (v) ReleaseOthers();
  Invalidate();
}

void TSpeedButton::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (b == mbLeft && enabled_) {
    pressing_ = true;
    SetMouseCapture(true);
    Invalidate();
  }
  TGraphicControl::MouseDown(b, s, x, y);
}

void TSpeedButton::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  bool was = pressing_;
  pressing_ = false;
  if (b == mbLeft) SetMouseCapture(false);
  Invalidate();
  TGraphicControl::MouseUp(b, s, x, y);
  if (was && b == mbLeft && x >= 0 && y >= 0 && x < width_ && y < height_) {
    if (group_index_ != 0) {
      if (down_) {
        if (AllowAllUp) SetDown(false);
      } else {
        SetDown(true);
      }
    }
    Click();
  }
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::Paint() {
  TCanvas& c = Canvas();
  HDC dc = c.Handle();
  RECT r{0, 0, width_, height_};
  bool sunk = down_ || pressing_;
  HBRUSH face = CreateSolidBrush(ColorToRGB(down_ && !pressing_ ? cl3DLight : clBtnFace));
  FillRect(dc, &r, face);
  DeleteObject(face);
  if (!flat_ || sunk) DrawEdge(dc, &r, sunk ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  if (sunk) OffsetRect(&inner, 1, 1);
  DrawGlyphAndCaption(dc, inner, glyph_, text_, font_, enabled_, Spacing);
}
