#include "balloonhint.h"

#include <algorithm>
#include <memory>

#include "win/forms.h"

namespace {

// What the screen showed under the current balloon. It lives until the
// next hint or until the window hides, so that every paint of one hint
// (the window uncovered, invalidated) draws the same balloon.
std::unique_ptr<TBitmap> g_snapshot;

TControl* ControlUnder(POINT p) {
  HWND h = WindowFromPoint(p);
  TWinControl* w = nullptr;
  for (; h && !w; h = GetParent(h)) w = TWinControl::FindControl(h);
  if (!w) return nullptr;
  POINT cp = w->ScreenToClient(p);
  TControl* c = w->ControlAtPos(cp, false);
  return (c && !dynamic_cast<TWinControl*>(c)) ? c : w;
}

uint32_t ToScanColor(TColor c) {
  COLORREF v = ColorToRGB(c);
  return (static_cast<uint32_t>(GetRValue(v)) << 16) | (static_cast<uint32_t>(GetGValue(v)) << 8) | GetBValue(v);
}

// Sets the pixels of 'r' that lie in 'rgn' and have x and y of equal parity.
void DotRegion(TBitmap& b, HRGN rgn, const ptgeom::Rc& r, uint32_t color) {
  GdiFlush();
  for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, b.Height()); ++y) {
    uint32_t* row = b.ScanLine(y);
    for (int x = std::max(r.Left, 0); x < std::min(r.Right, b.Width()); ++x)
      if (ptgeom::IsShadowDot(x, y) && PtInRegion(rgn, x, y)) row[x] = color;
  }
}

}  // namespace

// ---------------------------------------------------------------- TTalvoHint

TTalvoHint::TTalvoHint(TComponent* AOwner) : TComponent(AOwner) {
  hint_font_.SetName("MS Sans Serif");
  hint_font_.SetSize(12);
  hint_font_.SetColor(0xFF0000);
  hint_font_.SetStyle(fsBold | fsItalic);
  if (Application) {
    Application->HintPause = 600;
    Application->HintWindowClass = HintWindowClassOf<TNewHint>();
  }
  RemakeHintWindow();
  HandFontOver();
}

void TTalvoHint::RemakeHintWindow() {
  if (!Application) return;
  bool v = Application->ShowHint();
  Application->SetShowHint(!v);
  Application->SetShowHint(v);
}

void TTalvoHint::HandFontOver() {
  if (!Application) return;
  for (int i = 0; i < Application->ComponentCount(); ++i)
    if (auto* h = dynamic_cast<TNewHint*>(Application->Components(i))) {
      h->Canvas().Font().Assign(hint_font_);
      return;
    }
}

void TTalvoHint::SetHintFont(const TFont& f) {
  hint_font_.Assign(f);
  RemakeHintWindow();
  HandFontOver();
}

void TTalvoHint::SetHintPauseTime(int v) {
  if (v == hint_pause_time_) return;
  hint_pause_time_ = v;
  if (Application) Application->HintPause = v;
}

void TTalvoHint::Loaded() {
  TComponent::Loaded();
  RemakeHintWindow();
  HandFontOver();
}

// ---------------------------------------------------------------- TNewHint

TNewHint::TNewHint(TComponent* AOwner) : THintWindow(AOwner) {
  // The balloon covers every pixel of the window with the snapshot.
  erase_background_ = false;
}

TNewHint::~TNewHint() {
  SetController(nullptr);
  g_snapshot.reset();
}

void TNewHint::CreateParams(TCreateParams& p) {
  // The window class saves what the balloon covers.
  THintWindow::CreateParams(p);
  p.Style &= ~static_cast<DWORD>(WS_BORDER);
}

void TNewHint::SetController(TTalvoHint* c) {
  if (c == controller_) return;
  if (controller_) controller_->RemoveFreeNotification(this);
  controller_ = c;
  if (controller_) controller_->FreeNotification(this);
}

void TNewHint::Notification(TComponent* component, TOperation operation) {
  THintWindow::Notification(component, operation);
  if (operation == opRemove && component == controller_) controller_ = nullptr;
}

void TNewHint::ActivateHint(const RECT& rect, const std::string& text) {
  // A balloon still on the screen would end up in its own snapshot.
  if (Showing()) HideHint();
  g_snapshot = std::make_unique<TBitmap>();
  SetCaption(text);
  TTalvoHint* found = nullptr;
  if (TForm* f = Application ? Application->MainForm() : nullptr)
    for (int i = 0; i < f->ComponentCount() && !found; ++i) found = dynamic_cast<TTalvoHint*>(f->Components(i));
  SetController(found);
  if (!controller_) {
    g_snapshot.reset();
    THintWindow::ActivateHint(rect, text);
    return;
  }

  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  POINT m;
  GetCursorPos(&m);
  THintDirection d = controller_->HintDirection();
  {
    // The handler may change the direction for this hint only: whatever it
    // does to the controller, its own direction is put back.
    TTalvoHint* c = controller_;
    THintDirection saved = c->HintDirection();
    struct PutBack {
      TTalvoHint* c;
      THintDirection v;
      ~PutBack() { c->SetHintDirection(v); }
    } put_back{c, saved};
    if (c->OnSelectHintDirection) c->OnSelectHintDirection(ControlUnder(m), d);
  }
  ptgeom::BalloonPlace place =
      ptgeom::PlaceBalloon(d, m.x, m.y, w, h, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  direction_ = place.Direction;
  const int W = ptgeom::BalloonWidth(w), H = ptgeom::BalloonHeight(h, direction_);
  HWND hw = Handle();
  SetWindowPos(hw, nullptr, place.Left, place.Top, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateBoundsFromWindow();

  g_snapshot->SetSize(W, H);
  HDC screen = GetDC(nullptr);
  BitBlt(g_snapshot->Canvas().Handle(), 0, 0, W, H, screen, place.Left, place.Top, SRCCOPY);
  ReleaseDC(nullptr, screen);

  SetWindowPos(hw, HWND_TOPMOST, place.Left, place.Top, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOSIZE);
  InvalidateRect(hw, nullptr, FALSE);
  UpdateWindow(hw);
}

void TNewHint::Paint() {
  if (!controller_ || !g_snapshot || g_snapshot->Empty()) {
    THintWindow::Paint();
    return;
  }
  RECT cr;
  GetClientRect(handle_, &cr);
  const int W = cr.right, H = cr.bottom;
  // Drawn on a copy: the snapshot stays as the screen was.
  TBitmap work;
  work.Assign(*g_snapshot);
  if (work.Width() != W || work.Height() != H) work.SetSize(W, H);
  TCanvas& c = work.Canvas();
  const ptgeom::BalloonShape s = ptgeom::BalloonGeometry(direction_, W, H);
  const uint32_t shadow = ToScanColor(controller_->HintShadowColor());

  HRGN rgn = CreateRoundRectRgn(s.ShadowBox.Left, s.ShadowBox.Top, s.ShadowBox.Right, s.ShadowBox.Bottom, 8, 8);
  DotRegion(work, rgn, s.Strip1, shadow);
  DotRegion(work, rgn, s.Strip2, shadow);
  DeleteObject(rgn);
  if (s.HasPointerShadow) {
    POINT tri[3];
    ptgeom::Rc box{s.Shadow[0].X, s.Shadow[0].Y, s.Shadow[0].X, s.Shadow[0].Y};
    for (int i = 0; i < 3; ++i) {
      const ptgeom::Pt& q = s.Shadow[i];
      tri[i] = POINT{q.X, q.Y};
      box.Left = std::min(box.Left, q.X), box.Right = std::max(box.Right, q.X + 1);
      box.Top = std::min(box.Top, q.Y), box.Bottom = std::max(box.Bottom, q.Y + 1);
    }
    HRGN t = CreatePolygonRgn(tri, 3, ALTERNATE);
    DotRegion(work, t, box, shadow);
    DeleteObject(t);
  }

  const TColor fill = controller_->HintColor();
  c.Pen().SetColor(clBlack);
  c.Pen().SetStyle(psSolid);
  c.Brush().SetColor(fill);
  c.Brush().SetStyle(bsSolid);
  c.RoundRect(s.Box.Left, s.Box.Top, s.Box.Right, s.Box.Bottom, 9, 9);

  const POINT b1{s.Base1.X, s.Base1.Y}, b2{s.Base2.X, s.Base2.Y}, tip{s.Tip.X, s.Tip.Y};
  // The base line in the fill colour opens the box edge for the pointer.
  c.Pen().SetColor(fill);
  c.MoveTo(b1.x, b1.y);
  c.LineTo(b2.x, b2.y);
  c.Polygon({b1, b2, tip});
  c.Pen().SetColor(clBlack);
  c.MoveTo(b2.x, b2.y);
  c.LineTo(tip.x, tip.y);
  c.LineTo(b1.x, b1.y);

  c.Brush().SetStyle(bsClear);
  c.Font().Assign(controller_->HintFont());
  RECT tr{s.TextLeft, s.TextTop, W, H};
  c.DrawText(Caption(), tr, DT_WORDBREAK | DT_NOPREFIX);

  BitBlt(Canvas().Handle(), 0, 0, W, H, c.Handle(), 0, 0, SRCCOPY);
}

void TNewHint::WndProc(TMessage& m) {
  if (m.Msg == WM_SHOWWINDOW && !m.WParam) g_snapshot.reset();
  THintWindow::WndProc(m);
}
