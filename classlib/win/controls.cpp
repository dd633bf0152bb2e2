#include "controls.h"

#include <mutex>
#include <unordered_map>

#include <windowsx.h>

#include <algorithm>

#include "forms.h"
#include "menus.h"

LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

namespace {

const char kControlProp[] = "MorvaneControl";
// The component's name as a global atom, for tools outside the process
// (the whole-program tests) that find controls without seeing the objects.
const char kComponentNameProp[] = "MorvaneComponentName";
const char kControlClass[] = "TMorvaneControl";
TControl* g_capture_control = nullptr;  // a graphic control holding the capture
std::vector<TControlCanvas*> g_canvases_with_dc;
int g_next_id = 100;

bool IsDestroying(const TComponent* c) { return (c->ComponentState() & csDestroying) != 0; }

// Events are not fired into a form that is being torn down: its derived
// part (the handlers' state) is already gone.
bool EventsAllowed(TControl* c) {
  if (IsDestroying(c)) return false;
  for (TControl* p = c->Parent(); p; p = p->Parent())
    if (IsDestroying(p)) return false;
  return true;
}

void RegisterControlClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ControlWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kControlClass;
  RegisterClassA(&wc);
  done = true;
}

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK && msg != WM_MOUSEWHEEL; }

}  // namespace

HCURSOR CursorHandle(TCursor c) {
  // Positive numbers are the program's own cursors, installed on Screen.
  if (c > 0) return Screen ? Screen->Cursors(c) : LoadCursor(nullptr, IDC_ARROW);
  LPCSTR id;
  switch (c) {
    case crNone: return nullptr;
    case crCross: id = IDC_CROSS; break;
    case crIBeam: id = IDC_IBEAM; break;
    case crSizeNESW: id = IDC_SIZENESW; break;
    case crSizeNS: id = IDC_SIZENS; break;
    case crSizeNWSE: id = IDC_SIZENWSE; break;
    case crSizeWE: id = IDC_SIZEWE; break;
    case crUpArrow: id = IDC_UPARROW; break;
    case crHourGlass: id = IDC_WAIT; break;
    case crNo: id = IDC_NO; break;
    case crAppStart: id = IDC_APPSTARTING; break;
    case crHelp: id = IDC_HELP; break;
    case crHandPoint: id = IDC_HAND; break;
    case crSizeAll: id = IDC_SIZEALL; break;
    default: id = IDC_ARROW; break;
  }
  return LoadCursor(nullptr, id);
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState MouseShiftState(WPARAM keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

// ---------------------------------------------------------------- TControlCanvas

void TControlCanvas::SetPaintDC(HDC dc) {
  ReleaseOwnDC();
  SetHandle(dc);
}

void TControlCanvas::CreateHandle() {
  HWND wnd = control_->ParentHandleForDrawing();
  if (!wnd) return;
  HDC dc = GetDCEx(wnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) return;
  if (!dynamic_cast<TWinControl*>(control_)) {
    // A graphic control draws in its parent's window, in its own
    // coordinates and no further than its bounds.
    SetViewportOrgEx(dc, control_->Left(), control_->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
  }
  owned_wnd_ = wnd;
  owned_dc_ = dc;
  SetHandle(dc);
  g_canvases_with_dc.push_back(this);
}

void TControlCanvas::ReleaseOwnDC() {
  if (!owned_dc_) return;
  SetHandle(nullptr);
  ReleaseDC(owned_wnd_, owned_dc_);
  owned_dc_ = nullptr;
  owned_wnd_ = nullptr;
  g_canvases_with_dc.erase(std::remove(g_canvases_with_dc.begin(), g_canvases_with_dc.end(), this),
                           g_canvases_with_dc.end());
}

void FreeDeviceContexts() {
  while (!g_canvases_with_dc.empty()) g_canvases_with_dc.back()->ReleaseOwnDC();
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  font_.OnChange = [this](TObject*) {
    if (!setting_font_) parent_font_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  if (g_capture_control == this) {
    g_capture_control = nullptr;
    ReleaseCapture();
  }
  if (Application) Application->ControlDestroyed(this);
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw Exception("A control cannot have itself as its parent");
  if (parent_) {
    Invalidate();
    parent_->RemoveControl(this);
  }
  if (parent) {
    parent->InsertControl(this);
    ParentFontChanged();
    ParentColorChanged();
    Invalidate();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  Invalidate();
  bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
  if (parent_ && align_ != alNone) parent_->RequestAlign();
  if (parent_) parent_->ChildBoundsChanged(this);
  if (resized) Resize();
}

RECT TControl::ClientRect() { return RECT{0, 0, width_, height_}; }

void TControl::SetClientSize(int width, int height) { SetBounds(left_, top_, width, height); }

POINT TControl::ClientToScreen(POINT p) {
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    if (w->HandleAllocated()) {
      ::ClientToScreen(w->Handle(), &p);
      return p;
    }
  }
  if (parent_) {
    p.x += left_;
    p.y += top_;
    return parent_->ClientToScreen(p);
  }
  return p;
}

POINT TControl::ScreenToClient(POINT p) {
  POINT o = ClientToScreen(POINT{0, 0});
  return POINT{p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign a) {
  if (a == align_) return;
  align_ = a;
  if (parent_) parent_->RequestAlign();
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (parent_) {
    parent_->Invalidate();
    if (align_ != alNone) parent_->RequestAlign();
  }
  if (!v && Application) Application->ControlDestroyed(this);
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Invalidate();
}

std::string TControl::Text() { return text_; }

void TControl::SetText(const std::string& s) {
  if (s == text_) return;
  text_ = s;
  TextChanged();
}

bool TControl::ShowHint() const {
  if (parent_show_hint_ && parent_) return parent_->ShowHint();
  return show_hint_;
}

void TControl::SetShowHint(bool v) {
  show_hint_ = v;
  parent_show_hint_ = false;
}

void TControl::SetParentFont(bool v) {
  parent_font_ = v;
  if (v) ParentFontChanged();
}

void TControl::SetColor(TColor c) {
  parent_color_ = false;
  if (c == color_) return;
  color_ = c;
  ColorChanged();
}

void TControl::SetParentColor(bool v) {
  parent_color_ = v;
  if (v) ParentColorChanged();
}

void TControl::FontChanged() { Invalidate(); }

void TControl::ParentFontChanged() {
  if (!parent_font_ || !parent_) return;
  setting_font_ = true;
  font_.Assign(parent_->Font());
  setting_font_ = false;
}

void TControl::ParentColorChanged() {
  if (!parent_color_ || !parent_) return;
  if (color_ != parent_->Color()) {
    color_ = parent_->Color();
    ColorChanged();
  }
}

bool TControl::MouseCapture() {
  if (g_capture_control == this) return true;
  TWinControl* w = dynamic_cast<TWinControl*>(this);
  return w && w->HandleAllocated() && GetCapture() == w->Handle();
}

void TControl::SetMouseCapture(bool v) {
  if (v == MouseCapture()) return;
  TWinControl* w = dynamic_cast<TWinControl*>(this);
  if (v) {
    if (w) {
      g_capture_control = nullptr;
      SetCapture(w->Handle());
    } else if (parent_ && parent_->HandleAllocated()) {
      SetCapture(parent_->Handle());
      g_capture_control = this;
    }
  } else {
    g_capture_control = nullptr;
    ReleaseCapture();
  }
}

HWND TControl::ParentHandleForDrawing() { return parent_ ? parent_->ParentHandleForDrawing() : nullptr; }

void TControl::Invalidate() {
  if (!parent_ || !parent_->HandleAllocated() || width_ <= 0 || height_ <= 0) return;
  RECT r = BoundsRect();
  InvalidateRect(parent_->Handle(), &r, TRUE);
}

void TControl::Update() {
  if (parent_) parent_->Update();
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& v = parent_->controls_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& v = parent_->controls_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.insert(v.begin(), this);
  Invalidate();
}

void TControl::Click() {
  if (OnClick && EventsAllowed(this)) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick && EventsAllowed(this)) OnDblClick(this);
}

void TControl::Resize() {
  if (OnResize && EventsAllowed(this)) OnResize(this);
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseDown && EventsAllowed(this)) OnMouseDown(this, b, s, x, y);
}

void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseUp && EventsAllowed(this)) OnMouseUp(this, b, s, x, y);
}

void TControl::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove && EventsAllowed(this)) OnMouseMove(this, s, x, y);
}

LRESULT TControl::Perform(UINT msg, WPARAM wp, LPARAM lp) {
  TMessage m{msg, wp, lp, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.Msg)) {
    int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    TShiftState s = MouseShiftState(m.WParam);
    switch (m.Msg) {
      case WM_MOUSEMOVE:
        if (Application) Application->HintMouseMessage(this);
        MouseMove(s, x, y);
        break;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (Application) Application->CancelHint();
        if (click_events_) {
          clicked_ = true;
          if (!dynamic_cast<TWinControl*>(this)) SetMouseCapture(true);
        }
        if (m.Msg == WM_LBUTTONDBLCLK) {
          s |= ssDouble;
          DblClick();
        }
        MouseDown(mbLeft, s, x, y);
        break;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK:
        MouseDown(mbRight, s | (m.Msg == WM_RBUTTONDBLCLK ? ssDouble : 0), x, y);
        break;
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
        MouseDown(mbMiddle, s, x, y);
        break;
      case WM_LBUTTONUP: {
        bool was_clicked = clicked_;
        clicked_ = false;
        if (g_capture_control == this) SetMouseCapture(false);
        MouseUp(mbLeft, s, x, y);
        if (was_clicked && x >= 0 && y >= 0 && x < width_ && y < height_) Click();
        break;
      }
      case WM_RBUTTONUP: MouseUp(mbRight, s, x, y); break;
      case WM_MBUTTONUP: MouseUp(mbMiddle, s, x, y); break;
    }
  }
  DefaultHandler(m);
}

// ---------------------------------------------------------------- TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), canvas_(new TControlCanvas(this)) {}

TGraphicControl::~TGraphicControl() { delete canvas_; }

void TGraphicControl::WndProc(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    // Sent by the parent's paint cycle with the DC already set up.
    canvas_->SetPaintDC(reinterpret_cast<HDC>(m.WParam));
    Paint();
    canvas_->SetPaintDC(nullptr);
    return;
  }
  TControl::WndProc(m);
}

// ---------------------------------------------------------------- TWinControl

namespace {

// Which control a window of ours belongs to. Asked for every message and
// every notification, so it is answered here rather than by a window
// property, which Wine looks up in its server at each call. The property
// is still set, for tools that look at our windows from outside.
std::mutex g_controls_lock;
std::unordered_map<HWND, TWinControl*>& ControlsByWindow() {
  static std::unordered_map<HWND, TWinControl*> map;
  return map;
}

void BindControl(HWND wnd, TWinControl* c) {
  SetPropA(wnd, kControlProp, c);
  std::lock_guard<std::mutex> hold(g_controls_lock);
  ControlsByWindow()[wnd] = c;
}

void UnbindControl(HWND wnd) {
  RemovePropA(wnd, kControlProp);
  std::lock_guard<std::mutex> hold(g_controls_lock);
  ControlsByWindow().erase(wnd);
}

TWinControl* ControlOf(HWND wnd) {
  std::lock_guard<std::mutex> hold(g_controls_lock);
  auto it = ControlsByWindow().find(wnd);
  return it == ControlsByWindow().end() ? nullptr : it->second;
}

}  // namespace

LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  TWinControl* c = ControlOf(wnd);
  if (!c && msg == WM_NCCREATE) {
    c = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    if (c) {
      c->handle_ = wnd;
      BindControl(wnd, c);
    }
  }
  if (!c) return DefWindowProcA(wnd, msg, wp, lp);
  TMessage m{msg, wp, lp, 0};
  try {
    c->WndProc(m);
  } catch (...) {
    // An exception must not unwind through the system's window code.
    if (Application) Application->HandleException(c);
  }
  return m.Result;
}

// A system control whose window is being made: it may send its parent
// messages about itself (WM_MEASUREITEM) before CreateWindowEx has returned
// the handle that would find it.
static TWinControl* g_creating_control = nullptr;

// The control a list's owner-draw message is about: the combo box for the
// list window a combo box drops down.
static TWinControl* OwnerDrawControl(HWND parent, HWND item, UINT id) {
  TWinControl* c = TWinControl::FindControl(item);
  if (!c && item) c = TWinControl::FindControl(GetParent(item));
  if (!c && !item) c = TWinControl::FindControl(GetDlgItem(parent, static_cast<int>(id)));
  return c;
}

// The window's name mark follows the component's name; "" removes it.
static void MarkWithName(HWND wnd, const std::string& name) {
  if (ATOM old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropA(wnd, kComponentNameProp))))
    GlobalDeleteAtom(old);
  if (!name.empty())
    SetPropA(wnd, kComponentNameProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomA(name.c_str()))));
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

void TWinControl::SetName(const std::string& name) {
  TControl::SetName(name);
  if (handle_) MarkWithName(handle_, Name());
}

TWinControl::~TWinControl() {
  Destroying();
  if (Application) Application->ControlDestroyed(this);
  DestroyHandle();
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    // Children go with their parent, whoever owns them.
    delete c;
  }
  delete canvas_;
  canvas_ = nullptr;
  if (color_brush_) DeleteObject(color_brush_);
}

TWinControl* TWinControl::FindControl(HWND wnd) {
  return wnd ? ControlOf(wnd) : nullptr;
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return handle_;
}

void TWinControl::HandleNeeded() {
  if (handle_) return;
  if (parent_) parent_->HandleNeeded();
  CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& p) {
  p.Caption = text_;
  p.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (visible_) p.Style |= WS_VISIBLE;
  if (!enabled_) p.Style |= WS_DISABLED;
  if (TabStop) p.Style |= WS_TABSTOP;
  p.X = left_;
  p.Y = top_;
  p.Width = width_;
  p.Height = height_;
  p.WndParent = parent_ ? parent_->Handle() : nullptr;
}

void TWinControl::CreateWnd() {
  RegisterControlClass();
  TCreateParams p;
  CreateParams(p);
  if (!p.WndParent && (p.Style & WS_CHILD)) return;  // nowhere to live yet
  HMENU id = (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(g_next_id++)) : nullptr;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  if (p.WinClassName.empty()) {
    own_class_ = true;
    default_proc_ = DefWindowProcA;
    CreateWindowExA(p.ExStyle, kControlClass, p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height, p.WndParent,
                    id, inst, this);
  } else {
    own_class_ = false;
    TWinControl* outer = g_creating_control;
    g_creating_control = this;
    HWND h = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width,
                             p.Height, p.WndParent, id, inst, nullptr);
    g_creating_control = outer;
    if (h) {
      handle_ = h;
      BindControl(h, this);
      default_proc_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc)));
    }
  }
  if (!handle_) throw EOutOfResources("Error creating window");
}

void TWinControl::CreateHandle() {
  if (handle_) return;
  CreateWnd();
  if (!handle_) return;
  MarkWithName(handle_, Name());
  InitWnd();
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->CreateHandle();
  }
  AlignControls();
}

void TWinControl::InitWnd() {
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  HWND h = handle_;
  if (canvas_) canvas_->ReleaseOwnDC();
  DestroyWindow(h);
  // WM_NCDESTROY has cleared handle_ unless the window was already gone.
  handle_ = nullptr;
}

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  bool had_focus = Focused();
  // Children's windows go with ours and are made again with it.
  DestroyHandle();
  CreateHandle();
  if (had_focus) SetFocus();
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (handle_ && !parent) DestroyHandle();
  TControl::SetParent(parent);
  if (parent && parent->HandleAllocated()) {
    if (handle_)
      ::SetParent(handle_, parent->Handle());
    else
      CreateHandle();
  }
}

void TWinControl::InsertControl(TControl* c) {
  c->parent_ = this;
  controls_.push_back(c);
  if (auto* w = dynamic_cast<TWinControl*>(c)) tab_list_.push_back(w);
  if (c->align_ != alNone) RequestAlign();
  ChildBoundsChanged(c);
}

void TWinControl::RemoveControl(TControl* c) {
  if (TForm* f = GetParentForm(this)) f->ControlRemoved(c);
  controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
  tab_list_.erase(std::remove(tab_list_.begin(), tab_list_.end(), c), tab_list_.end());
  c->parent_ = nullptr;
  if (!IsDestroying(this)) {
    if (c->align_ != alNone) RequestAlign();
    ChildBoundsChanged(c);
  }
}

TControl* TWinControl::ControlAtPos(POINT p, bool allow_disabled) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (!c->visible_ || (!c->enabled_ && !allow_disabled)) continue;
    if (p.x >= c->left_ && p.y >= c->top_ && p.x < c->left_ + c->width_ && p.y < c->top_ + c->height_) return c;
  }
  return nullptr;
}

void TWinControl::UpdateBoundsFromWindow() {
  if (!handle_) return;
  RECT r;
  GetWindowRect(handle_, &r);
  HWND p = GetParent(handle_);
  if (p && (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD)) MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
  bool resized = (r.right - r.left) != width_ || (r.bottom - r.top) != height_;
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
  if (resized && parent_ && align_ != alNone) parent_->RequestAlign();
  if (parent_) parent_->ChildBoundsChanged(this);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (!handle_) {
    TControl::SetBounds(left, top, width, height);
    AlignControls();
    return;
  }
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  // WM_SIZE/WM_MOVE bring the new values back into the fields.
  SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateBoundsFromWindow();
}

RECT TWinControl::ClientRect() {
  if (handle_) {
    RECT r;
    GetClientRect(handle_, &r);
    return r;
  }
  return TControl::ClientRect();
}

void TWinControl::SetClientSize(int width, int height) {
  RECT c = ClientRect();
  SetBounds(left_, top_, width_ - (c.right - c.left) + width, height_ - (c.bottom - c.top) + height);
}

void TWinControl::SetVisible(bool v) {
  if (v == visible_) return;
  TControl::SetVisible(v);
  if (handle_) ShowWindow(handle_, v ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (handle_) EnableWindow(handle_, v);
}

std::string TWinControl::Text() {
  if (!handle_) return text_;
  int n = GetWindowTextLengthA(handle_);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = GetWindowTextA(handle_, &s[0], n + 1);
  s.resize(static_cast<size_t>(std::max(n, 0)));
  return s;
}

void TWinControl::SetText(const std::string& s) {
  text_ = s;
  if (handle_) {
    if (Text() == s) return;
    SetWindowTextA(handle_, s.c_str());
  }
  TextChanged();
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::Update() {
  if (handle_) UpdateWindow(handle_);
}

int TWinControl::TabOrder() const {
  if (!parent_) return -1;
  auto& t = parent_->tab_list_;
  auto it = std::find(t.begin(), t.end(), this);
  return it == t.end() ? -1 : static_cast<int>(it - t.begin());
}

void TWinControl::SetTabOrder(int v) {
  if (!parent_) return;
  auto& t = parent_->tab_list_;
  t.erase(std::remove(t.begin(), t.end(), this), t.end());
  v = std::max(0, std::min(v, static_cast<int>(t.size())));
  t.insert(t.begin() + v, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) {
  for (TWinControl* w : tab_list_) {
    list.push_back(w);
    w->GetTabOrderList(list);
  }
}

bool TWinControl::CanFocus() {
  for (TWinControl* w = this; w; w = w->parent_)
    if (!w->visible_ || !w->enabled_) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (Handle()) ::SetFocus(handle_);
}

bool TWinControl::Focused() { return handle_ && GetFocus() == handle_; }

void TWinControl::RequestAlign() {
  if (aligning_ || IsDestroying(this)) return;
  AlignControls();
}

void TWinControl::AlignControls() {
  if (aligning_) return;
  ++aligning_;
  RECT r = ClientRect();
  AdjustClientRect(r);
  // Edges first, in this order; each side's controls by their position.
  const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign a : order) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->align_ == a && c->visible_) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->top_ < y->top_;
        case alBottom: return x->top_ + x->height_ > y->top_ + y->height_;
        case alLeft: return x->left_ < y->left_;
        case alRight: return x->left_ + x->width_ > y->left_ + y->width_;
        default: return false;
      }
    });
    for (TControl* c : list) {
      int w = r.right - r.left, h = r.bottom - r.top;
      switch (a) {
        case alTop:
          c->SetBounds(r.left, r.top, w, c->height_);
          r.top += c->height_;
          break;
        case alBottom:
          c->SetBounds(r.left, r.bottom - c->height_, w, c->height_);
          r.bottom -= c->height_;
          break;
        case alLeft:
          c->SetBounds(r.left, r.top, c->width_, h);
          r.left += c->width_;
          break;
        case alRight:
          c->SetBounds(r.right - c->width_, r.top, c->width_, h);
          r.right -= c->width_;
          break;
        case alClient:
          c->SetBounds(r.left, r.top, std::max(w, 0), std::max(h, 0));
          break;
        default: break;
      }
    }
  }
  --aligning_;
}

void TWinControl::FontChanged() {
  if (handle_) {
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
    Invalidate();
  }
  for (TControl* c : controls_) c->ParentFontChanged();
}

void TWinControl::ColorChanged() {
  Invalidate();
  for (TControl* c : controls_) c->ParentColorChanged();
}

void TWinControl::ParentFontChanged() { TControl::ParentFontChanged(); }
void TWinControl::ParentColorChanged() { TControl::ParentColorChanged(); }

HBRUSH TWinControl::ColorBrush() {
  if (!color_brush_ || brush_color_ != color_) {
    if (color_brush_) DeleteObject(color_brush_);
    color_brush_ = CreateSolidBrush(ColorToRGB(color_));
    brush_color_ = color_;
  }
  return color_brush_;
}

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
  if (OnKeyDown && EventsAllowed(this)) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift) {
  if (OnKeyUp && EventsAllowed(this)) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress && EventsAllowed(this)) OnKeyPress(this, key);
}

void TWinControl::DoEnter() {
  if (OnEnter && EventsAllowed(this)) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit && EventsAllowed(this)) OnExit(this);
}

bool TWinControl::HandleKeyDown(WPARAM& wp, LPARAM) {
  WORD key = static_cast<WORD>(wp);
  TShiftState shift = KeyboardShiftState();
  TForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview) {
    form->KeyDown(key, shift);
    if (!key) return true;
  }
  KeyDown(key, shift);
  if (!key) return true;
  wp = key;
  if (Application) Application->CancelHint();
  if (key == VK_F1 && shift == 0 && Application) {
    // Answered on key up, once.
    Application->HelpKeyDown();
    return true;
  }
  if (form && (key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE)) {
    if (!WantsKey(key) && form->DialogKey(key, shift, this)) return true;
  }
  return false;
}

bool TWinControl::WantsKey(WORD key) {
  if (!handle_) return false;
  MSG msg{handle_, WM_KEYDOWN, key, 0, 0, {0, 0}};
  UINT code = static_cast<UINT>(SendMessageA(handle_, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg)));
  if (key == VK_TAB) return (code & DLGC_WANTTAB) != 0;
  return (code & DLGC_WANTALLKEYS) != 0;
}

bool TWinControl::HasGraphicChildren() const {
  for (TControl* c : controls_)
    if (!dynamic_cast<TWinControl*>(c) && c->visible_) return true;
  return false;
}

void TWinControl::PaintControls(HDC dc) {
  for (TControl* c : controls_) {
    if (dynamic_cast<TWinControl*>(c) || !c->visible_ || c->width_ <= 0 || c->height_ <= 0) continue;
    RECT clip;
    if (GetClipBox(dc, &clip) != NULLREGION) {
      RECT b = c->BoundsRect(), i;
      if (!IntersectRect(&i, &clip, &b)) continue;
    }
    int saved = SaveDC(dc);
    SetViewportOrgEx(dc, c->left_, c->top_, nullptr);
    IntersectClipRect(dc, 0, 0, c->width_, c->height_);
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
  }
}

void TWinControl::DefaultHandler(TMessage& m) {
  if (handle_ && default_proc_)
    m.Result = CallWindowProcA(default_proc_, handle_, m.Msg, m.WParam, m.LParam);
  else if (handle_)
    m.Result = DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam);
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_COMMAND:
      if (m.LParam) {
        if (TWinControl* c = FindControl(reinterpret_cast<HWND>(m.LParam))) {
          if (c != this) {
            m.Result = c->Perform(CN_COMMAND, m.WParam, m.LParam);
            return;
          }
        }
      }
      break;
    case WM_NOTIFY: {
      NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
      TWinControl* c = h ? FindControl(h->hwndFrom) : nullptr;
      if (c && c != this) {
        m.Result = c->Perform(CN_NOTIFY, m.WParam, m.LParam);
        return;
      }
      break;
    }
    case WM_DRAWITEM: {
      DRAWITEMSTRUCT* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
      TWinControl* c = (d && d->CtlType != ODT_MENU) ? OwnerDrawControl(handle_, d->hwndItem, d->CtlID) : nullptr;
      if (c && c != this) {
        m.Result = c->Perform(CN_DRAWITEM, m.WParam, m.LParam);
        return;
      }
      break;
    }
    case WM_MEASUREITEM: {
      MEASUREITEMSTRUCT* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
      if (!mi || mi->CtlType == ODT_MENU) break;
      TWinControl* c = OwnerDrawControl(handle_, nullptr, mi->CtlID);
      if (!c && g_creating_control && g_creating_control->parent_ == this) c = g_creating_control;
      if (c && c != this) {
        m.Result = c->Perform(CN_MEASUREITEM, m.WParam, m.LParam);
        return;
      }
      break;
    }
    case WM_DELETEITEM: {
      DELETEITEMSTRUCT* d = reinterpret_cast<DELETEITEMSTRUCT*>(m.LParam);
      TWinControl* c = d ? OwnerDrawControl(handle_, d->hwndItem, d->CtlID) : nullptr;
      if (c && c != this) {
        m.Result = c->Perform(CN_DELETEITEM, m.WParam, m.LParam);
        return;
      }
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSCROLLBAR: {
      TWinControl* c = FindControl(reinterpret_cast<HWND>(m.LParam));
      if (c && c != this) {
        m.Result = c->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
        return;
      }
      break;
    }
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(m.WParam);
      SetTextColor(dc, ColorToRGB(enabled_ ? font_.Color() : clGrayText));
      SetBkColor(dc, ColorToRGB(color_));
      m.Result = reinterpret_cast<LRESULT>(ColorBrush());
      return;
    }
    case WM_PAINT:
      if (own_class_) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(handle_, &ps);
        if (canvas_) {
          canvas_->SetPaintDC(dc);
          Paint();
          canvas_->SetPaintDC(nullptr);
        }
        PaintControls(dc);
        EndPaint(handle_, &ps);
        return;
      }
      if (HasGraphicChildren()) {
        // A Win32 control with windowless children: they go on top.
        DefaultHandler(m);
        HDC dc = GetDC(handle_);
        PaintControls(dc);
        ReleaseDC(handle_, dc);
        return;
      }
      break;
    case WM_ERASEBKGND:
      if (own_class_) {
        if (erase_background_) {
          RECT r;
          GetClientRect(handle_, &r);
          ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, ColorBrush());
        }
        m.Result = 1;
        return;
      }
      break;
    case WM_SIZE:
      DefaultHandler(m);
      UpdateBoundsFromWindow();
      AlignControls();
      Resize();
      return;
    case WM_MOVE:
      DefaultHandler(m);
      UpdateBoundsFromWindow();
      return;
    case WM_SETFOCUS:
      DefaultHandler(m);
      if (TForm* f = GetParentForm(this)) f->FocusChanged(this);
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DefaultHandler(m);
      DoExit();
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (key_done_) {
        key_done_ = false;
      } else {
        if (HandleKeyDown(m.WParam, m.LParam)) return;
      }
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(m.WParam);
      TShiftState shift = KeyboardShiftState();
      TForm* form = GetParentForm(this);
      if (form && form != this && form->KeyPreview) {
        form->KeyUp(key, shift);
        if (!key) return;
      }
      KeyUp(key, shift);
      if (!key) return;
      m.WParam = key;
      break;
    }
    case WM_CHAR: {
      char ch = static_cast<char>(m.WParam);
      TForm* form = GetParentForm(this);
      if (form && form != this && form->KeyPreview) {
        form->KeyPress(ch);
        if (!ch) return;
      }
      KeyPress(ch);
      if (!ch) return;
      m.WParam = static_cast<unsigned char>(ch);
      break;
    }
    case WM_SETCURSOR:
      if (LOWORD(m.LParam) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == handle_) {
        TCursor cur = Screen ? Screen->Cursor() : crDefault;
        if (cur == crDefault) {
          POINT p;
          GetCursorPos(&p);
          ::ScreenToClient(handle_, &p);
          TControl* c = ControlAtPos(p, false);
          cur = (c && c->cursor_ != crDefault) ? c->cursor_ : cursor_;
        }
        if (cur != crDefault) {
          ::SetCursor(CursorHandle(cur));
          m.Result = TRUE;
          return;
        }
      }
      break;
    case WM_CONTEXTMENU: {
      POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
      if (p.x == -1 && p.y == -1) GetCursorPos(&p);
      POINT cp = p;
      ::ScreenToClient(handle_, &cp);
      // A child window passes on a context menu it had no menu for; then
      // only this control's own menu may answer, not that of whichever
      // control is under the mouse (for a key, the mouse may be anywhere).
      HWND from = reinterpret_cast<HWND>(m.WParam);
      TControl* c = (from && from != handle_) ? nullptr : ControlAtPos(cp, false);
      if (!c || dynamic_cast<TWinControl*>(c)) c = this;
      for (; c; c = c->parent_) {
        if (c->PopupMenu && c->PopupMenu->AutoPopup) {
          c->PopupMenu->PopupComponent = c;
          c->PopupMenu->Popup(p.x, p.y);
          return;
        }
        if (c == this) break;
      }
      break;
    }
    case WM_CAPTURECHANGED:
      if (g_capture_control && g_capture_control->parent_ == this) g_capture_control = nullptr;
      break;
    case WM_NCDESTROY: {
      DefaultHandler(m);
      UnbindControl(handle_);
      MarkWithName(handle_, "");
      if (!own_class_ && default_proc_) SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(default_proc_));
      handle_ = nullptr;
      return;
    }
    default:
      break;
  }
  if (IsMouseMessage(m.Msg)) {
    // A graphic child under the mouse (or holding the capture) gets the
    // message in its own coordinates.
    POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    TControl* target = nullptr;
    if (g_capture_control && g_capture_control->parent_ == this)
      target = g_capture_control;
    else if (GetCapture() != handle_ || !own_class_)
      target = ControlAtPos(p, false);
    if (target && !dynamic_cast<TWinControl*>(target)) {
      TMessage cm{m.Msg, m.WParam, MAKELPARAM(p.x - target->left_, p.y - target->top_), 0};
      target->WndProc(cm);
      m.Result = cm.Result;
      return;
    }
  }
  TControl::WndProc(m);
}

// ---------------------------------------------------------------- TCustomControl

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) { canvas_ = new TControlCanvas(this); }

TForm* GetParentForm(TControl* c) {
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TForm*>(c);
}
