#include "extctrls.h"

#include <algorithm>

#include "forms.h"

void Frame3D(TCanvas& c, RECT& r, TColor top_color, TColor bottom_color, int width) {
  c.Pen().SetWidth(1);
  c.Pen().SetStyle(psSolid);
  for (int i = 0; i < width; ++i) {
    --r.right;
    --r.bottom;
    c.Pen().SetColor(top_color);
    c.Polyline({POINT{r.left, r.bottom}, POINT{r.left, r.top}, POINT{r.right, r.top}});
    c.Pen().SetColor(bottom_color);
    c.Polyline({POINT{r.right, r.top}, POINT{r.right, r.bottom}, POINT{r.left - 1, r.bottom}});
    InflateRect(&r, -1, -1);
    ++r.right;
    ++r.bottom;
  }
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  width_ = 185;
  height_ = 41;
  click_events_ = true;
}

void TPanel::CreateParams(TCreateParams& p) {
  TCustomControl::CreateParams(p);
  if (border_style_ == bsSingleBorder) p.Style |= WS_BORDER;
}

void TPanel::SetBorderStyle(TBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  RecreateWnd();
}

void TPanel::AdjustClientRect(RECT& r) {
  int bevel = border_width_;
  if (bevel_outer_ != bvNone) bevel += bevel_width_;
  if (bevel_inner_ != bvNone) bevel += bevel_width_;
  InflateRect(&r, -bevel, -bevel);
}

void TPanel::Paint() {
  TCanvas& c = Canvas();
  RECT r = ClientRect();
  if (bevel_outer_ != bvNone)
    Frame3D(c, r, bevel_outer_ == bvLowered ? clBtnShadow : clBtnHighlight,
            bevel_outer_ == bvLowered ? clBtnHighlight : clBtnShadow, bevel_width_);
  Frame3D(c, r, color_, color_, border_width_);
  if (bevel_inner_ != bvNone)
    Frame3D(c, r, bevel_inner_ == bvLowered ? clBtnShadow : clBtnHighlight,
            bevel_inner_ == bvLowered ? clBtnHighlight : clBtnShadow, bevel_width_);
  c.Brush().SetColor(color_);
  c.FillRect(r);
  std::string t = Text();
  if (!t.empty()) {
    c.Brush().SetStyle(bsClear);
    c.Font().Assign(font_);
    UINT f = DT_SINGLELINE | DT_VCENTER |
             (Alignment == taCenter ? DT_CENTER : Alignment == taRightJustify ? DT_RIGHT : DT_LEFT);
    c.DrawText(t, r, f);
  }
}

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner) {
  items_.OnChange = [this](TObject*) { Rebuild(); };
}

TRadioGroup::~TRadioGroup() {
  items_.OnChange = nullptr;
  // The buttons are children: ~TWinControl frees them.
}

void TRadioGroup::Rebuild() {
  if (updating_) return;
  updating_ = true;
  while (static_cast<int>(buttons_.size()) > items_.Count()) {
    delete buttons_.back();
    buttons_.pop_back();
  }
  while (static_cast<int>(buttons_.size()) < items_.Count()) {
    TRadioButton* b = new TRadioButton(nullptr);
    size_t index = buttons_.size();
    b->OnClick = [this, index](TObject*) {
      if (updating_) return;
      if (buttons_[index]->Checked()) {
        item_index_ = static_cast<int>(index);
        Click();
      }
    };
    b->SetEnabled(enabled_);
    b->SetParent(this);
    buttons_.push_back(b);
  }
  for (size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->SetText(items_.Get(static_cast<int>(i)));
    buttons_[i]->TabStop = static_cast<int>(i) == std::max(item_index_, 0);
  }
  if (item_index_ >= items_.Count()) item_index_ = -1;
  for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->SetChecked(static_cast<int>(i) == item_index_);
  updating_ = false;
  ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
  if (buttons_.empty()) return;
  RECT r = ClientRect();
  AdjustClientRect(r);
  int cols = std::max(columns_, 1);
  int per_col = (static_cast<int>(buttons_.size()) + cols - 1) / cols;
  int col_w = static_cast<int>(r.right - r.left - 8) / cols;
  int row_h = std::max(static_cast<int>(r.bottom - r.top) / std::max(per_col, 1), 1);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    int col = static_cast<int>(i) / per_col, row = static_cast<int>(i) % per_col;
    int h = std::min(row_h, 17);
    buttons_[i]->SetBounds(r.left + 8 + col * col_w, r.top + row * row_h + (row_h - h) / 2, col_w - 4, h);
  }
}

void TRadioGroup::SetItemIndex(int i) {
  if (i < -1 || i >= items_.Count()) i = -1;
  if (i == item_index_) return;
  item_index_ = i;
  updating_ = true;
  for (size_t k = 0; k < buttons_.size(); ++k) {
    buttons_[k]->SetChecked(static_cast<int>(k) == i);
    buttons_[k]->TabStop = static_cast<int>(k) == std::max(i, 0);
  }
  updating_ = false;
  Click();
}

void TRadioGroup::SetColumns(int v) {
  columns_ = std::max(1, std::min(v, 16));
  ArrangeButtons();
}

void TRadioGroup::Resize() {
  ArrangeButtons();
  TGroupBox::Resize();
}

void TRadioGroup::SetEnabled(bool v) {
  TGroupBox::SetEnabled(v);
  for (TRadioButton* b : buttons_) b->SetEnabled(v);
}

void TRadioGroup::ParentFontChanged() {
  TGroupBox::ParentFontChanged();
  ArrangeButtons();
}

void TRadioGroup::FontChanged() {
  TGroupBox::FontChanged();
  ArrangeButtons();
}

// ---------------------------------------------------------------- TImage

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 105;
  height_ = 105;
}

void TPaintBox::Paint() {
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 105;
  height_ = 105;
  click_events_ = true;
  picture_.OnChange = [this](TObject*) { PictureChanged(); };
}

void TImage::PictureChanged() {
  if (auto_size_ && !picture_.Bitmap().Empty()) SetBounds(left_, top_, picture_.Width(), picture_.Height());
  Invalidate();
}

TCanvas& TImage::Canvas() {
  if (picture_.Bitmap().Empty()) picture_.Bitmap().SetSize(std::max(width_, 1), std::max(height_, 1));
  Invalidate();
  return picture_.Bitmap().Canvas();
}

void TImage::SetAutoSize(bool v) {
  auto_size_ = v;
  PictureChanged();
}

void TImage::Paint() {
  TCanvas& c = *canvas_;
  TBitmap& b = picture_.Bitmap();
  if (b.Empty()) return;
  RECT dest;
  if (stretch_) {
    dest = RECT{0, 0, width_, height_};
  } else if (center_) {
    int x = (width_ - b.Width()) / 2, y = (height_ - b.Height()) / 2;
    dest = RECT{x, y, x + b.Width(), y + b.Height()};
  } else {
    dest = RECT{0, 0, b.Width(), b.Height()};
  }
  c.StretchDraw(dest, b);
}

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &TTimer::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TMorvaneTimer";
    RegisterClassA(&wc);
    registered = true;
  }
  wnd_ = CreateWindowExA(0, "TMorvaneTimer", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Update();
}

TTimer::~TTimer() {
  if (wnd_) {
    KillTimer(wnd_, 1);
    DestroyWindow(wnd_);
  }
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Update();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void TTimer::Update() {
  if (!wnd_) return;
  KillTimer(wnd_, 1);
  if (enabled_ && interval_ > 0) SetTimer(wnd_, 1, interval_, nullptr);
}

LRESULT CALLBACK TTimer::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    TTimer* t = reinterpret_cast<TTimer*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (t && t->enabled_ && t->OnTimer && !(t->ComponentState() & csDestroying)) {
      try {
        t->OnTimer(t);
      } catch (...) {
        Application->HandleException(t);
      }
    }
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}
