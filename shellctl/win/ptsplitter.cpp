#include "ptsplitter.h"

#include <windowsx.h>

#include "ptgeometry.h"
#include "win/forms.h"

namespace {

// The 8 x 8 checkerboard that patterns the drag outline: white where x and
// y parity differ. Made on first use, gone with the program.
struct CheckerBitmap {
  HBITMAP bitmap = nullptr;
  ~CheckerBitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
  HBITMAP Get() {
    if (!bitmap) {
      // Rows are word aligned; the leftmost pixel is the high bit.
      static const WORD rows[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
      bitmap = CreateBitmap(8, 8, 1, 1, rows);
    }
    return bitmap;
  }
};
CheckerBitmap g_checker;

const DWORD kPatInvert = 0x5A0049;

bool IsDesigning(const TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }

}  // namespace

// ---------------------------------------------------------------- TPTPane

TPTPane::TPTPane(TComponent* AOwner) : TPTGroup(AOwner) { frame_style_ = ptfsLowered; }

void TPTPane::SetActive(bool v) {
  if (v == active_) return;
  active_ = v;
  Invalidate();
}

void TPTPane::Paint() {
  TPTGroup::Paint();
  if (!active_ || !IsDesigning(this)) return;
  TCanvas& c = Canvas();
  RECT r;
  GetClientRect(handle_, &r);
  c.Pen().SetColor(clBlack);
  c.Pen().SetStyle(psDot);
  c.Brush().SetStyle(bsClear);
  c.Rectangle(r);
  c.Pen().SetStyle(psSolid);
}

void TPTPane::WndProc(TMessage& m) {
  // At design time a click picks the pane the designer works on; the
  // click itself stays the designer's.
  if (m.Msg == WM_LBUTTONDOWN && IsDesigning(this))
    if (auto* s = dynamic_cast<TPTSplitter*>(parent_)) s->ActivatePane(this);
  TPTGroup::WndProc(m);
}

void TPTPane::PublishProperties(TPropList& list) const {
  TPTGroup::PublishProperties(list);
  list.push_back(IntProp<TPTPane>("MinSize", &TPTPane::MinSize, &TPTPane::SetMinSize));
  list.push_back(IntProp<TPTPane>("Index", &TPTPane::Index, &TPTPane::SetIndex));
}

// ---------------------------------------------------------------- TPTSplitter

TPTSplitter::TPTSplitter(TComponent* AOwner) : TCustomControl(AOwner) {
  width_ = 200;
  height_ = 140;
}

int TPTSplitter::Extent() { return style_ == ptstHorizontal ? height_ : width_; }

void TPTSplitter::SetStyle(TPTSplitterStyle v) {
  if (v == style_) return;
  style_ = v;
  LayoutPanes();
  Invalidate();
}

void TPTSplitter::SetSplitterWidth(int v) {
  if (v == splitter_width_) return;
  splitter_width_ = v;
  LayoutPanes();
  Invalidate();
}

void TPTSplitter::SetPosition(int value, bool updateRatio) {
  if (pane1_ && pane2_) value = ptgeom::ClampSplitPosition(value, pane1_->MinSize(), pane2_->MinSize(), Extent());
  if (value == position_) return;
  position_ = value;
  LayoutPanes();
  if (updateRatio) StoreRatio();
  Change();
}

void TPTSplitter::StoreRatio() { ptgeom::StoreRatio(ratio_, position_, Extent()); }

void TPTSplitter::LayoutPanes() {
  if (!pane1_ || !pane2_ || !handle_ || (ComponentState() & csLoading)) return;
  RECT cr = ClientRect();
  if (style_ == ptstVertical) {
    pane1_->SetBoundsRect(RECT{0, 0, position_, cr.bottom});
    pane2_->SetBoundsRect(RECT{position_ + splitter_width_, 0, cr.right, cr.bottom});
  } else {
    pane1_->SetBoundsRect(RECT{0, 0, cr.right, position_});
    pane2_->SetBoundsRect(RECT{0, position_ + splitter_width_, cr.right, cr.bottom});
  }
}

void TPTSplitter::Change() {
  if (OnChange) OnChange(this);
}

void TPTSplitter::DoResize() {
  if (proportional_) SetPosition(ptgeom::ProportionalPosition(Extent(), ratio_), false);
  TCustomControl::Resize();
}

void TPTSplitter::Resize() {
  if (ComponentState() & csLoading) return;
  DoResize();
  LayoutPanes();
}

void TPTSplitter::DoSplitterDrag(int pos) {
  if (OnSplitterDrag) OnSplitterDrag(this, pos);
}

void TPTSplitter::DoSplitterDrop(int pos) {
  StoreRatio();
  if (OnSplitterDrop) OnSplitterDrop(this, pos);
}

void TPTSplitter::CreateHandle() {
  TCustomControl::CreateHandle();
  if (!handle_ || !IsDesigning(this) || !controls_.empty() || (ComponentState() & (csLoading | csReading))) return;
  // A splitter just placed on a form gets its two panes, which are then
  // stored with the form like any other control.
  TComponent* owner = Owner() ? Owner() : this;
  TPTPane* made[2];
  for (int i = 0; i < 2; ++i) {
    TPTPane* p = new TPTPane(owner);
    p->SetDesigning(true);
    // An unnamed splitter has unnamed panes: "_pane1" would clash with
    // the panes of the next one.
    std::string name = Name().empty() ? std::string() : Name() + "_pane" + std::to_string(i + 1);
    p->SetName(name);
    p->SetCaption(name);
    p->SetIndex(i);
    p->SetParent(this);
    made[i] = p;
  }
  pane1_ = made[0];
  pane2_ = made[1];
  pane1_->FreeNotification(this);
  pane2_->FreeNotification(this);
  LayoutPanes();
}

void TPTSplitter::SetName(const std::string& name) {
  TCustomControl::SetName(name);
  if (!(ComponentState() & (csLoading | csReading))) RenamePanes();
}

void TPTSplitter::RenamePanes() {
  if (Name().empty()) return;
  if (pane1_) pane1_->SetName(Name() + "_pane1");
  if (pane2_) pane2_->SetName(Name() + "_pane2");
}

void TPTSplitter::FindPanes() {
  for (TControl* c : controls_) {
    auto* p = dynamic_cast<TPTPane*>(c);
    if (!p) continue;
    if (p->Index() == 0 && !pane1_) pane1_ = p;
    if (p->Index() == 1 && !pane2_) pane2_ = p;
  }
  if (pane1_) pane1_->FreeNotification(this);
  if (pane2_) pane2_->FreeNotification(this);
}

void TPTSplitter::Loaded() {
  TCustomControl::Loaded();
  FindPanes();
  if (pane1_ && pane2_ && !IsDesigning(this)) pane1_->SetActive(true);
  StoreRatio();
  LayoutPanes();
}

void TPTSplitter::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == pane1_) pane1_ = nullptr;
  if (component == pane2_) pane2_ = nullptr;
}

void TPTSplitter::ActivatePane(TPTPane* pane) {
  if (pane1_) pane1_->SetActive(pane == pane1_);
  if (pane2_) pane2_->SetActive(pane == pane2_);
}

bool TPTSplitter::FullDrag() const {
  switch (full_drag_mode_) {
    case ptfdOff: return false;
    case ptfdOn: return true;
    case ptfdUser: {
      BOOL on = FALSE;
      return SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0) && on;
    }
  }
  return false;
}

void TPTSplitter::DrawDragLine() {
  if (!handle_ || drag_coord_ < 0) return;
  // Not clipped by the panes: the outline runs over them.
  HDC dc = GetDCEx(handle_, nullptr, DCX_CACHE | DCX_LOCKWINDOWUPDATE);
  if (!dc) return;
  RECT cr;
  GetClientRect(handle_, &cr);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, OPAQUE);
  SetROP2(dc, R2_COPYPEN);
  HBRUSH brush = CreatePatternBrush(g_checker.Get());
  HGDIOBJ old = SelectObject(dc, brush);
  int at = drag_coord_ - grab_offset_;
  if (style_ == ptstVertical)
    PatBlt(dc, at, 0, splitter_width_, cr.bottom, kPatInvert);
  else
    PatBlt(dc, 0, at, cr.right, splitter_width_, kPatInvert);
  SelectObject(dc, old);
  DeleteObject(brush);
  ReleaseDC(handle_, dc);
}

int TPTSplitter::ClampCoord(int coord) {
  return ptgeom::ClampDragCoord(coord, grab_offset_, Pane1MinSize(), Pane2MinSize(), Extent());
}

void TPTSplitter::StartDrag(TMouseButton button, int coord) {
  SetCapture(handle_);
  drag_button_ = button;
  int edge = position_;
  if (pane1_) edge = style_ == ptstVertical ? pane1_->BoundsRect().right : pane1_->BoundsRect().bottom;
  grab_offset_ = coord - edge;
  int c = ClampCoord(coord);
  full_drag_now_ = FullDrag();
  dragging_ = true;
  drag_coord_ = -1;
  DragTo(c);
}

void TPTSplitter::DragTo(int c) {
  if (c == drag_coord_) return;
  if (!full_drag_now_) {
    if (drag_coord_ >= 0) DrawDragLine();
    drag_coord_ = c;
    if (drag_coord_ >= 0) DrawDragLine();
  } else {
    drag_coord_ = c;
    SetPosition(c - grab_offset_, true);
  }
  DoSplitterDrag(drag_coord_);
}

void TPTSplitter::EndDrag() {
  if (!dragging_) return;
  if (!full_drag_now_) DrawDragLine();
  dragging_ = false;
  drag_coord_ = -1;
  if (handle_ && GetCapture() == handle_) ReleaseCapture();
}

void TPTSplitter::WndProc(TMessage& m) {
  // The bar's own mouse handling replaces the inherited one: the mouse
  // events of the splitter itself are not fired.
  int coord = style_ == ptstVertical ? GET_X_LPARAM(m.LParam) : GET_Y_LPARAM(m.LParam);
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
      if (Application) Application->CancelHint();
      if (dragging_) {
        EndDrag();
      } else {
        bool left = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK;
        bool right = m.Msg == WM_RBUTTONDOWN || m.Msg == WM_RBUTTONDBLCLK;
        if (left)
          StartDrag(mbLeft, coord);
        else if (right && IsDesigning(this) && !(m.WParam & MK_SHIFT))
          StartDrag(mbRight, coord);
      }
      m.Result = 0;
      return;
    }
    case WM_MOUSEMOVE:
      if (Application) Application->HintMouseMessage(this);
      if (dragging_) DragTo(ClampCoord(coord));
      m.Result = 0;
      return;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      TMouseButton b = m.Msg == WM_LBUTTONUP ? mbLeft : m.Msg == WM_RBUTTONUP ? mbRight : mbMiddle;
      if (dragging_ && b == drag_button_) {
        DragTo(ClampCoord(coord));
        int pos = drag_coord_ - grab_offset_;
        EndDrag();
        SetPosition(pos, true);
        LayoutPanes();
        DoSplitterDrop(position_);
      }
      m.Result = 0;
      return;
    }
    case WM_CANCELMODE:
      EndDrag();
      break;
    case WM_CAPTURECHANGED:
      if (dragging_ && reinterpret_cast<HWND>(m.LParam) != handle_) EndDrag();
      break;
    case WM_SETCURSOR:
      // Over the splitter's own client area, i.e. over the bar.
      if (LOWORD(m.LParam) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == handle_) {
        ::SetCursor(LoadCursor(nullptr, style_ == ptstHorizontal ? IDC_SIZENS : IDC_SIZEWE));
        m.Result = TRUE;
        return;
      }
      break;
  }
  TCustomControl::WndProc(m);
}

void TPTSplitter::PublishProperties(TPropList& list) const {
  TCustomControl::PublishProperties(list);
  using S = TPTSplitter;
  const std::vector<std::string> frames = {"ptfsNone",   "ptfsGroup",    "ptfsLowered",  "ptfsRaised",
                                           "ptfsDint",   "ptfsBump",     "ptfsSingle",   "ptfsHorzLine",
                                           "ptfsHorzEdge", "ptfsVertLine", "ptfsVertEdge"};
  list.push_back(IntProp<S>("Pane1Color", &S::Pane1Color, &S::SetPane1Color));
  list.push_back(IntProp<S>("Pane2Color", &S::Pane2Color, &S::SetPane2Color));
  list.push_back(EnumProp<S>("Pane1FrameStyle", frames, &S::Pane1FrameStyle, &S::SetPane1FrameStyle));
  list.push_back(EnumProp<S>("Pane2FrameStyle", frames, &S::Pane2FrameStyle, &S::SetPane2FrameStyle));
  list.push_back(IntProp<S>("Pane1MinSize", &S::Pane1MinSize, &S::SetPane1MinSize));
  list.push_back(IntProp<S>("Pane2MinSize", &S::Pane2MinSize, &S::SetPane2MinSize));
  list.push_back(EnumProp<S>("Style", {"ptstVertical", "ptstHorizontal"}, &S::Style, &S::SetStyle));
  list.push_back(IntProp<S>("SplitterWidth", &S::SplitterWidth, &S::SetSplitterWidth));
  list.push_back(IntProp<S>("Position", &S::Position, [](S* s, int v) { s->SetPosition(v); }));
  list.push_back(EnumProp<S>("FullDragMode", {"ptfdOff", "ptfdOn", "ptfdUser"}, &S::FullDragMode,
                             &S::SetFullDragMode));
  list.push_back(BoolProp<S>("Proportional", &S::Proportional, &S::SetProportional));
  list.push_back(IntProp<S>("Color", &S::Color, &S::SetColor));
  list.push_back(BoolProp<S>("Enabled", &S::Enabled, &S::SetEnabled));
}
