#include "forms.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "appthread.h"
#include "stdctrls.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

const UINT CM_RELEASE = WM_APP + 0x3B01;
const UINT_PTR kHintShowTimer = 1;
const UINT_PTR kHintHideTimer = 2;
// While a hint is waiting or shown: the mouse may leave its control without
// any message reaching us (into another program's window, off the window
// altogether, or over a child that keeps its mouse to itself).
const UINT_PTR kHintCheckTimer = 3;
const UINT kHintCheckInterval = 100;
const char kAppClass[] = "TMorvaneApplication";

// Made during static initialisation, on the thread that runs main: that
// thread is the GUI thread.
struct GlobalsInit {
  GlobalsInit() {
    Application = new TApplication(nullptr);
    Screen = new TScreen(Application);
  }
} g_globals_init;

// Puts a top-level window in or out of the topmost band. Some window
// managers keep an owned window topmost once it was; it leaves the band
// while briefly unowned.
void SetTopmost(HWND wnd, bool topmost) {
  if (topmost) {
    SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return;
  }
  SetWindowPos(wnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST)) return;
  LONG_PTR owner = GetWindowLongPtrA(wnd, GWLP_HWNDPARENT);
  SetWindowLongPtrA(wnd, GWLP_HWNDPARENT, 0);
  SetWindowPos(wnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowLongPtrA(wnd, GWLP_HWNDPARENT, owner);
}

struct DisabledWindows {
  HWND except;
  std::vector<HWND> list;
};

BOOL CALLBACK DisableProc(HWND wnd, LPARAM lp) {
  auto* d = reinterpret_cast<DisabledWindows*>(lp);
  if (wnd != d->except && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
    d->list.push_back(wnd);
    EnableWindow(wnd, FALSE);
  }
  return TRUE;
}

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The caption's accelerator is the character after a single "&" ("&&"
// shows one "&").
bool HasAccelerator(const std::string& caption, char ch) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return UpperChar(caption[i + 1]) == UpperChar(ch);
  }
  return false;
}

bool ShownAndEnabled(TControl* c) {
  if (!c->Visible() || !c->Enabled()) return false;
  auto* w = dynamic_cast<TWinControl*>(c);
  return !w || (w->HandleAllocated() && IsWindowVisible(w->Handle()));
}

bool TakesAccelerator(TControl* c, char ch) {
  if (auto* label = dynamic_cast<TCustomLabel*>(c)) return label->ShowAccelChar && HasAccelerator(label->Caption(), ch);
  if (dynamic_cast<TButtonControl*>(c)) return HasAccelerator(c->Caption(), ch);
  return false;
}

// In the order the controls were put on their parents, as a dialog's own
// controls are searched; hidden pages and disabled parts are passed over.
void FindAccelerators(TWinControl* parent, char ch, std::vector<TControl*>& found) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (!ShownAndEnabled(c)) continue;
    if (TakesAccelerator(c, ch)) found.push_back(c);
    if (auto* w = dynamic_cast<TWinControl*>(c)) FindAccelerators(w, ch, found);
  }
}

// A label's letter goes to its focus control, or else to the next control
// after it that can take the focus, the way a dialog's static text does.
TWinControl* LabelTarget(TCustomLabel* label) {
  if (TWinControl* f = label->FocusControl()) return f->CanFocus() ? f : nullptr;
  TWinControl* parent = label->Parent();
  if (!parent) return nullptr;
  bool after = false;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (c == label) {
      after = true;
      continue;
    }
    auto* w = dynamic_cast<TWinControl*>(c);
    if (after && w && ShownAndEnabled(w) && w->CanFocus()) return w;
  }
  return nullptr;
}

}  // namespace

LRESULT CALLBACK AppWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (!Application || Application->handle_ != wnd) return DefWindowProcA(wnd, msg, wp, lp);
  TMessage m{msg, wp, lp, 0};
  try {
    Application->WndProc(m);
  } catch (...) {
    Application->HandleException(Application);
  }
  return m.Result;
}

int DefaultMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path);
  size_t slash = exe.find_last_of("\\/");
  std::string base = exe.substr(slash == std::string::npos ? 0 : slash + 1);
  size_t dot = base.rfind('.');
  title_ = dot == std::string::npos ? base : base.substr(0, dot);
}

TApplication::~TApplication() {
  // OnDestroy handlers of all forms run while every form still exists.
  for (int i = ComponentCount() - 1; i >= 0; --i)
    if (TForm* f = dynamic_cast<TForm*>(Components(i))) f->DoDestroy();
  delete hint_window_;
  hint_window_ = nullptr;
  DestroyComponents();
  if (handle_) DestroyWindow(handle_);
}

void TApplication::Initialize() {
  if (handle_) return;
  InitThreadSynchronization();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = AppWindowProc;
  wc.hInstance = inst;
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kAppClass;
  RegisterClassA(&wc);
  // The owner of every form: the taskbar shows its title.
  handle_ = CreateWindowExA(0, kAppClass, title_.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                            0, 0, nullptr, nullptr, inst, nullptr);
  if (show_hint_ && !hint_window_) hint_window_ = HintWindowClass(this);
}

void TApplication::FormCreated(TForm* f) {
  if (!main_form_) main_form_ = f;
  f->DoCreate();
}

std::string TApplication::ExeName() const {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  if (handle_) SetWindowTextA(handle_, t.c_str());
}

void TApplication::Run() {
  Initialize();
  if (main_form_) main_form_->Show();
  while (!terminated_) {
    try {
      HandleMessage([this] { return terminated_; });
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::Terminate() {
  terminated_ = true;
  // The quit message belongs in the GUI thread's queue, whoever asks.
  if (IsGuiThread())
    PostQuitMessage(0);
  else
    PostThreadMessageA(GuiThreadID(), WM_QUIT, 0, 0);
}

bool TApplication::IsKeyMsg(MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  TWinControl* direct = TWinControl::FindControl(msg.hwnd);
  TWinControl* c = direct;
  // Keys typed into the inner edit of a combo box belong to the combo.
  for (HWND h = msg.hwnd; !c && h; h = GetParent(h)) c = TWinControl::FindControl(h);
  if (!c) return false;
  WPARAM key = msg.wParam;
  if (c->HandleKeyDown(key, msg.lParam)) return true;
  msg.wParam = key;
  if (direct) direct->key_done_ = true;
  return false;
}

bool TApplication::IsMnemonicMsg(MSG& msg) {
  if (msg.message != WM_SYSCHAR && msg.message != WM_CHAR) return false;
  const char ch = static_cast<char>(msg.wParam);
  const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
  if (!letter) return false;
  // Up through child windows only: the parent of a message box is the
  // form that owns it, whose letters are not the box's.
  TWinControl* c = nullptr;
  for (HWND h = msg.hwnd; !c && h; h = (GetWindowLongA(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr)
    c = TWinControl::FindControl(h);
  if (!c) return false;
  if (msg.message == WM_CHAR) {
    if (GetKeyState(VK_CONTROL) < 0) return false;
    // An edit, a list or a combo takes the letter itself (typing, search).
    const UINT code = static_cast<UINT>(SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)));
    if (code & (DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
    if (msg.hwnd != c->Handle()) return false;
  }
  TForm* form = GetParentForm(c);
  if (!form || !form->Enabled() || !IsWindowEnabled(form->Handle())) return false;
  std::vector<TControl*> found;
  FindAccelerators(form, ch, found);
  if (found.empty()) return false;
  // A letter marked twice moves on to the next of its controls, the one
  // that does not have the focus already.
  TWinControl* focused = TWinControl::FindControl(GetFocus());
  TControl* target = found.front();
  TWinControl* labelTarget = nullptr;
  for (TControl* f : found) {
    auto* label = dynamic_cast<TCustomLabel*>(f);
    TWinControl* to = label ? LabelTarget(label) : static_cast<TWinControl*>(f);
    if (to && to != focused) {
      target = f;
      labelTarget = label ? to : nullptr;
      break;
    }
  }
  CancelHint();
  if (dynamic_cast<TCustomLabel*>(target)) {
    if (!labelTarget) labelTarget = LabelTarget(static_cast<TCustomLabel*>(target));
    if (labelTarget) labelTarget->SetFocus();
    return true;
  }
  // As a click: a button is pressed, a box toggled, a radio button chosen,
  // and each takes the focus as under the mouse.
  SendMessageA(static_cast<TWinControl*>(target)->Handle(), BM_CLICK, 0, 0);
  return true;
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  // A press of F1 on the keyboard also brings the system's own F1 message,
  // which the default window handling turns into a help request; the key
  // up below answers that press already.
  const UINT kSystemF1 = 0x004D;
  if (msg.message == kSystemF1 && help_key_down_) return true;
  if (IsMnemonicMsg(msg)) {
    FreeDeviceContexts();
    return true;
  }
  if (!IsKeyMsg(msg)) {
    // F1 is answered before its key up reaches the windows, so that the
    // page is the one of the form active at the press, whatever a key-up
    // handler shows; a handler asking again is not answered twice.
    const bool helpKeyUp = msg.message == WM_KEYUP && msg.wParam == VK_F1 && help_key_down_;
    if (helpKeyUp) {
      help_key_down_ = false;
      // As for the key down: keys in the inner edit of a combo box belong
      // to the combo.
      TWinControl* c = nullptr;
      for (HWND h = msg.hwnd; !c && h; h = GetParent(h)) c = TWinControl::FindControl(h);
      if (c) ContextHelp(c);
    }
    const bool outer = help_key_answered_;
    help_key_answered_ = helpKeyUp;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    help_key_answered_ = outer;
  }
  FreeDeviceContexts();
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  CheckSynchronize();
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage(const std::function<bool()>& done) {
  MSG msg;
  if (!ProcessMessage(msg)) Idle(done);
}

void TApplication::Idle(const std::function<bool()>& done) {
  FreeDeviceContexts();
  if (OnIdle) OnIdle(this);
  if (CheckSynchronize()) return;
  if (done && done()) return;
  WaitMessage();
}

void TApplication::Minimize() {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TForm* f = Screen->Forms(i);
    if (f->Visible() && f->HandleAllocated()) ShowWindow(f->Handle(), SW_SHOWMINNOACTIVE);
  }
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TForm* f = Screen->Forms(i);
    if (f->Visible() && f->HandleAllocated() && IsIconic(f->Handle())) ShowWindow(f->Handle(), SW_RESTORE);
  }
  if (OnRestore) OnRestore(this);
}

void TApplication::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_TIMER:
      if (m.WParam == kHintShowTimer) {
        KillTimer(handle_, kHintShowTimer);
        if (hint_control_) ActivateHint(hint_control_);
      } else if (m.WParam == kHintHideTimer) {
        HideHint();
      } else if (m.WParam == kHintCheckTimer) {
        CheckHintTimer();
      }
      return;
    case CM_RELEASE: {
      TForm* f = reinterpret_cast<TForm*>(m.LParam);
      auto it = std::find(to_release_.begin(), to_release_.end(), f);
      if (it != to_release_.end()) {
        to_release_.erase(it);
        delete f;
      }
      return;
    }
    case WM_CLOSE:
      if (main_form_) main_form_->Close();
      return;
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_RESTORE) {
        Restore();
        return;
      }
      if ((m.WParam & 0xFFF0) == SC_MINIMIZE) {
        Minimize();
        return;
      }
      break;
  }
  m.Result = DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam);
}

void TApplication::HintMouseMessage(TControl* control) {
  if (!handle_) return;
  if (control == hint_control_) return;
  HideHint();
  hint_control_ = control;
  KillTimer(handle_, kHintShowTimer);
  if (show_hint_ && control && control->ShowHint() && !control->Hint().empty()) {
    SetTimer(handle_, kHintShowTimer, static_cast<UINT>(std::max(HintPause, 1)), nullptr);
    SetTimer(handle_, kHintCheckTimer, kHintCheckInterval, nullptr);
  }
}

void TApplication::CheckHintTimer() {
  TControl* c = hint_control_;
  bool inside = false;
  if (c) {
    POINT p;
    GetCursorPos(&p);
    // The control's own window, or for a control without one its parent's.
    TWinControl* owner = dynamic_cast<TWinControl*>(c);
    if (!owner) owner = c->Parent();
    if (owner && owner->HandleAllocated() && IsWindowVisible(owner->Handle())) {
      const HWND own = owner->Handle();
      RECT r;
      if (owner == c) {
        GetWindowRect(own, &r);
      } else {
        POINT tl = c->ClientToScreen(POINT{0, 0});
        r = RECT{tl.x, tl.y, tl.x + c->Width(), tl.y + c->Height()};
      }
      HWND under = WindowFromPoint(p);
      // The hint window lets the mouse through; a child of the control
      // (a combo's edit) still counts as the control.
      const bool ours = under && (under == own || IsChild(own, under) || under == HintWindow());
      inside = ours && PtInRect(&r, p);
    }
  }
  if (inside) return;
  KillTimer(handle_, kHintCheckTimer);
  KillTimer(handle_, kHintShowTimer);
  HideHint();
  // Coming back to the same control shows its hint again.
  hint_control_ = nullptr;
}

void TApplication::CancelHint() {
  if (!handle_) return;
  KillTimer(handle_, kHintShowTimer);
  HideHint();
}

void TApplication::HideHint() {
  KillTimer(handle_, kHintHideTimer);
  if (hint_window_) hint_window_->HideHint();
  hint_shown_for_ = nullptr;
}

bool TApplication::HintVisible() const { return hint_window_ && hint_window_->Showing(); }

HWND TApplication::HintWindow() const { return hint_window_ ? hint_window_->Handle() : nullptr; }

void TApplication::SetShowHint(bool v) {
  if (v == show_hint_) return;
  show_hint_ = v;
  if (v) {
    if (handle_ && !hint_window_) hint_window_ = HintWindowClass(this);
  } else {
    CancelHint();
    hint_control_ = nullptr;
    delete hint_window_;
    hint_window_ = nullptr;
  }
}

void TApplication::ActivateHint(TControl* control) {
  if (!hint_window_ || !control) return;
  const std::string& text = control->Hint();
  hint_window_->SetColor(HintColor);
  RECT r = hint_window_->CalcHintRect(300, text);
  POINT p;
  GetCursorPos(&p);
  OffsetRect(&r, p.x, p.y + 20);
  hint_window_->ActivateHint(r, text);
  hint_shown_for_ = control;
  SetTimer(handle_, kHintHideTimer, static_cast<UINT>(std::max(HintHidePause, 1)), nullptr);
}

void TApplication::ControlDestroyed(TControl* c) {
  if (c == hint_control_ || c == hint_shown_for_) {
    hint_control_ = nullptr;
    if (handle_) {
      KillTimer(handle_, kHintShowTimer);
      HideHint();
    }
  }
  if (c == main_form_ && (c->ComponentState() & csDestroying)) main_form_ = nullptr;
}

bool TApplication::HelpCommand(WORD command, intptr_t data) {
  bool call_help = true;
  bool result = false;
  if (OnHelp) result = OnHelp(command, data, call_help);
  // No help viewer is started by the library itself: the hook decides.
  return result;
}

bool TApplication::HelpContext(intptr_t context) { return HelpCommand(HELP_CONTEXT, context); }

void TApplication::ContextHelp(TControl* control) {
  if (HelpFile.empty() || help_key_answered_) return;
  int ctx = 0;
  for (TControl* c = control; c && !ctx; c = c->Parent()) ctx = c->HelpContext;
  HelpContext(ctx);
}

void TApplication::HelpKeyDown() { help_key_down_ = true; }

void TApplication::HandleException(TObject* sender) {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    if (OnException)
      OnException(sender, e);
    else
      ShowException(e);
  } catch (...) {
    Exception e("Unknown exception");
    if (OnException)
      OnException(sender, e);
    else
      ShowException(e);
  }
}

void TApplication::ShowException(const std::exception& e) {
  std::string msg = e.what();
  if (!msg.empty() && msg.back() > '.') msg += '.';
  MessageBox(msg, title_, MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  HWND owner = IsGuiThread() ? GetActiveWindow() : nullptr;
  TMessageBoxFunc f = MessageBoxFunction;
  return f ? f(owner, text, caption, flags) : DefaultMessageBox(owner, text, caption, flags);
}

// ---------------------------------------------------------------- TScreen

HCURSOR TScreen::Cursors(TCursor c) const {
  if (c <= 0) return CursorHandle(c);
  auto it = cursors_.find(c);
  return it != cursors_.end() ? it->second : LoadCursor(nullptr, IDC_ARROW);
}

void TScreen::SetCursors(TCursor c, HCURSOR cursor) {
  if (c <= 0) return;
  if (cursor) cursors_[c] = cursor;
  else cursors_.erase(c);
  if (cursor_ == c) SetCursor(c);
}

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  if (c != crDefault) {
    ::SetCursor(CursorHandle(c));
  } else {
    POINT p;
    GetCursorPos(&p);
    SetCursorPos(p.x, p.y);  // lets the control under the mouse set its own
  }
}

THourGlassHold::THourGlassHold() : saved_(Screen ? Screen->Cursor() : crDefault) {
  if (Screen) Screen->SetCursor(crHourGlass);
}

THourGlassHold::~THourGlassHold() {
  if (Screen) Screen->SetCursor(saved_);
}

// ---------------------------------------------------------------- TForm

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  Application->Initialize();
  visible_ = false;
  parent_color_ = false;
  parent_font_ = false;
  parent_show_hint_ = false;
  show_hint_ = false;
  color_ = clBtnFace;
  left_ = 100;
  top_ = 100;
  width_ = 400;
  height_ = 300;
  canvas_ = new TControlCanvas(this);
  Screen->forms_.push_back(this);
  CreateHandle();
}

TForm::~TForm() {
  DoDestroy();
  Destroying();
  auto& v = Screen->forms_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  if (Screen->active_form_ == this) Screen->active_form_ = nullptr;
  auto& r = Application->to_release_;
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
  if (Application->main_form_ == this) Application->main_form_ = nullptr;
}

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::DoDestroy() {
  if (destroy_fired_) return;
  destroy_fired_ = true;
  if (OnDestroy) OnDestroy(this);
}

void TForm::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  p.ExStyle = 0;
  switch (border_style_) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsSingle: p.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: p.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog: p.Style |= WS_POPUP | WS_CAPTION; p.ExStyle |= WS_EX_DLGMODALFRAME; break;
    case bsToolWindow: p.Style |= WS_CAPTION; p.ExStyle |= WS_EX_TOOLWINDOW; break;
    case bsSizeToolWin: p.Style |= WS_CAPTION | WS_THICKFRAME; p.ExStyle |= WS_EX_TOOLWINDOW; break;
  }
  if (border_style_ != bsNone && (border_icons_ & biSystemMenu)) {
    p.Style |= WS_SYSMENU;
    if (border_style_ != bsDialog && border_style_ != bsToolWindow && border_style_ != bsSizeToolWin) {
      if (border_icons_ & biMinimize) p.Style |= WS_MINIMIZEBOX;
      if (border_icons_ & biMaximize) p.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (form_style_ == fsStayOnTop) p.ExStyle |= WS_EX_TOPMOST;
  if (!enabled_) p.Style |= WS_DISABLED;
  p.WndParent = Application->Handle();
  if (parent_) {
    // A form placed inside another control (a wizard page in its frame).
    p.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0);
    p.ExStyle = 0;
    p.WndParent = parent_->Handle();
  }
}

void TForm::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  // Top-level and child windows differ in kind: make the window anew.
  bool had = HandleAllocated();
  if (had) DestroyHandle();
  TControl::SetParent(parent);
  if (had || (parent && parent->HandleAllocated())) CreateHandle();
}

void TForm::InitWnd() {
  TWinControl::InitWnd();
  UpdateBoundsFromWindow();
}

void TForm::ApplyStyle() {
  if (!handle_) return;
  TCreateParams p;
  CreateParams(p);
  DWORD vis = GetWindowLongA(handle_, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
  SetWindowLongA(handle_, GWL_STYLE, static_cast<LONG>(p.Style | vis));
  SetWindowLongA(handle_, GWL_EXSTYLE, static_cast<LONG>(p.ExStyle));
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (!parent_) SetTopmost(handle_, form_style_ == fsStayOnTop);
}

void TForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  ApplyStyle();
}

void TForm::SetBorderIcons(TBorderIcons v) {
  if (v == border_icons_) return;
  border_icons_ = v;
  ApplyStyle();
}

void TForm::SetFormStyle(TFormStyle v) {
  if (v == form_style_) return;
  form_style_ = v;
  ApplyStyle();
}

TWindowState TForm::WindowState() {
  if (handle_ && IsIconic(handle_)) return wsMinimized;
  if (handle_ && IsZoomed(handle_)) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState v) {
  if (!handle_) return;
  int cmd = v == wsMinimized ? SW_MINIMIZE : v == wsMaximized ? SW_MAXIMIZE : SW_RESTORE;
  if (visible_)
    ShowWindow(handle_, cmd);
  else
    pending_state_ = v;
}

void TForm::SetBounds(int left, int top, int width, int height) {
  if (handle_ && (IsIconic(handle_) || IsZoomed(handle_))) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(handle_, &wp);
    wp.rcNormalPosition = RECT{left, top, left + width, top + height};
    SetWindowPlacement(handle_, &wp);
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    return;
  }
  TWinControl::SetBounds(left, top, width, height);
}

RECT TForm::ClientRect() { return TWinControl::ClientRect(); }

void TForm::CenterOnScreen() {
  if (parent_) return;
  SetBounds((Screen->Width() - width_) / 2, (Screen->Height() - height_) / 2, width_, height_);
}

void TForm::SetVisible(bool v) {
  if (v == visible_) return;
  if (v && Position == poScreenCenter) CenterOnScreen();
  visible_ = v;
  if (!handle_) return;
  if (v && parent_) {
    ShowWindow(handle_, SW_SHOWNA);
    if (align_ != alNone) parent_->AlignControls();
  } else if (v) {
    // A state chosen while hidden applies now.
    ShowWindow(handle_, pending_state_ == wsMinimized   ? SW_SHOWMINIMIZED
                        : pending_state_ == wsMaximized ? SW_SHOWMAXIMIZED
                                                        : SW_SHOW);
    pending_state_ = wsNormal;
    // A style switched while hidden may not have reached the z-order.
    SetTopmost(handle_, form_style_ == fsStayOnTop);
    SetForegroundWindow(handle_);
    shown_once_ = true;
  } else {
    ShowWindow(handle_, SW_HIDE);
    if (Application) Application->CancelHint();
  }
}

void TForm::Show() {
  SetVisible(true);
  BringToFront();
}

void TForm::BringToFront() {
  if (parent_) {
    TWinControl::BringToFront();
    if (handle_) SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return;
  }
  if (handle_ && visible_) {
    SetWindowPos(handle_, form_style_ == fsStayOnTop ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(handle_);
  }
}

void TForm::DoShow() {
  if (OnShow && !(ComponentState() & csDestroying)) OnShow(this);
}

void TForm::DoHide() {
  if (OnHide && !(ComponentState() & csDestroying)) OnHide(this);
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (modal_) {
    ModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

void TForm::Release() {
  auto& r = Application->to_release_;
  if (std::find(r.begin(), r.end(), this) == r.end()) r.push_back(this);
  PostMessageA(Application->Handle(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(this));
}

int TForm::ShowModal() {
  if (visible_ || modal_) throw Exception("Cannot make a visible window modal");
  Application->CancelHint();
  HWND previous = GetActiveWindow();
  if (GetCapture()) ReleaseCapture();
  DisabledWindows disabled{handle_, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableProc, reinterpret_cast<LPARAM>(&disabled));
  modal_ = true;
  ModalResult = mrNone;
  try {
    Show();
    for (;;) {
      Application->HandleMessage([this] { return ModalResult != mrNone || Application->Terminated(); });
      if (Application->Terminated()) ModalResult = mrCancel;
      if (ModalResult != mrNone) {
        // The form may refuse to close; then the loop goes on.
        if (!CloseQuery()) {
          ModalResult = mrNone;
          continue;
        }
        TCloseAction action = caHide;
        if (OnClose) OnClose(this, action);
        if (action == caNone) {
          ModalResult = mrNone;
          continue;
        }
        break;
      }
    }
  } catch (...) {
    modal_ = false;
    for (HWND w : disabled.list) EnableWindow(w, TRUE);
    Hide();
    throw;
  }
  for (HWND w : disabled.list) EnableWindow(w, TRUE);
  modal_ = false;
  Hide();
  if (previous && IsWindow(previous)) SetActiveWindow(previous);
  return ModalResult;
}

void TForm::SetActiveControl(TWinControl* c) {
  active_control_ = c;
  if (c && visible_ && active_ && c->CanFocus()) c->SetFocus();
}

void TForm::ControlRemoved(TControl* c) {
  for (TControl* a = active_control_; a; a = a->Parent()) {
    if (a == c) {
      active_control_ = nullptr;
      return;
    }
  }
}

void TForm::FocusChanged(TWinControl* c) {
  if (c != this) active_control_ = c;
}

void TForm::SelectNext(TWinControl* current, bool forward) {
  std::vector<TWinControl*> all, list;
  GetTabOrderList(all);
  for (TWinControl* w : all)
    if ((w->TabStop || w == current) && w->CanFocus() && w->HandleAllocated()) list.push_back(w);
  if (list.empty()) return;
  auto it = std::find(list.begin(), list.end(), current);
  size_t i;
  if (it == list.end())
    i = forward ? 0 : list.size() - 1;
  else {
    size_t at = static_cast<size_t>(it - list.begin());
    i = forward ? (at + 1) % list.size() : (at + list.size() - 1) % list.size();
  }
  list[i]->SetFocus();
}

bool TForm::DialogKey(WORD key, TShiftState shift, TWinControl* from) {
  if (key == VK_TAB) {
    if (shift & (ssCtrl | ssAlt)) return false;
    SelectNext(from, !(shift & ssShift));
    return true;
  }
  if (key != VK_RETURN && key != VK_ESCAPE) return false;
  if (key == VK_RETURN) {
    if (TButton* b = dynamic_cast<TButton*>(from)) {
      b->Click();
      return true;
    }
  }
  std::vector<TWinControl*> all;
  GetTabOrderList(all);
  for (TWinControl* w : all) {
    TButton* b = dynamic_cast<TButton*>(w);
    if (!b || !b->CanFocus()) continue;
    if ((key == VK_RETURN && b->Default()) || (key == VK_ESCAPE && b->Cancel)) {
      b->Click();
      return true;
    }
  }
  return false;
}

void TForm::Paint() {
  if (OnPaint && !(ComponentState() & csDestroying)) OnPaint(this);
}

void TForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_GETMINMAXINFO: {
      DefaultHandler(m);
      auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
      if (Constraints.MinWidth > 0) info->ptMinTrackSize.x = std::max<LONG>(info->ptMinTrackSize.x, Constraints.MinWidth);
      if (Constraints.MinHeight > 0)
        info->ptMinTrackSize.y = std::max<LONG>(info->ptMinTrackSize.y, Constraints.MinHeight);
      return;
    }
    case WM_CLOSE:
      Close();
      return;
    case WM_SHOWWINDOW:
      if (m.LParam == 0) {
        if (m.WParam)
          DoShow();
        else
          DoHide();
      }
      break;
    case WM_ACTIVATE:
      DefaultHandler(m);
      if (LOWORD(m.WParam) != WA_INACTIVE) {
        active_ = true;
        Screen->active_form_ = this;
        if (active_control_ && active_control_->CanFocus() && active_control_->HandleAllocated())
          ::SetFocus(active_control_->Handle());
        if (OnActivate && !(ComponentState() & csDestroying)) OnActivate(this);
      } else {
        active_ = false;
        if (OnDeactivate && !(ComponentState() & csDestroying)) OnDeactivate(this);
      }
      return;
    case WM_SETFOCUS:
      // The form itself has nothing to type into: pass focus on.
      DefaultHandler(m);
      if (active_control_ && active_control_ != this && active_control_->CanFocus() &&
          active_control_->HandleAllocated())
        ::SetFocus(active_control_->Handle());
      return;
    case WM_HELP:
      Application->ContextHelp(active_control_ ? static_cast<TControl*>(active_control_) : this);
      m.Result = TRUE;
      return;
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_RESTORE && IsIconic(handle_)) {
        DefaultHandler(m);
        Application->Restore();
        return;
      }
      break;
    case WM_MOVE:
    case WM_SIZE:
      if (IsIconic(handle_) || IsZoomed(handle_)) {
        // The fields keep the normal-state rectangle.
        DefaultHandler(m);
        if (m.Msg == WM_SIZE) {
          AlignControls();
          Resize();
        }
        return;
      }
      break;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TScrollBox

TScrollBox::TScrollBox(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 185;
  height_ = 41;
  TabStop = false;
}

void TScrollBox::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TScrollBox::UpdateScrollBars() {
  if (!handle_ || updating_) return;
  updating_ = true;
  // Up to two passes: one bar appearing can make the other necessary.
  for (int pass = 0; pass < 2; ++pass) {
    int w = 0, h = 0;
    for (TControl* c : controls_) {
      if (!c->Visible() || c->Align() != alNone) continue;
      w = std::max(w, c->Left() + hpos_ + c->Width());
      h = std::max(h, c->Top() + vpos_ + c->Height());
    }
    RECT r;
    GetClientRect(handle_, &r);
    hrange_ = w;
    vrange_ = h;
    bool hb = w > r.right, vb = h > r.bottom;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = hb ? w - 1 : 0;
    si.nPage = hb ? static_cast<UINT>(r.right) : 0;
    int hp = hb ? std::min(hpos_, std::max(0, w - static_cast<int>(r.right))) : 0;
    si.nPos = hp;
    if (hb != hbar_) ShowScrollBar(handle_, SB_HORZ, hb);
    SetScrollInfo(handle_, SB_HORZ, &si, TRUE);
    si.nMax = vb ? h - 1 : 0;
    si.nPage = vb ? static_cast<UINT>(r.bottom) : 0;
    int vp = vb ? std::min(vpos_, std::max(0, h - static_cast<int>(r.bottom))) : 0;
    si.nPos = vp;
    if (vb != vbar_) ShowScrollBar(handle_, SB_VERT, vb);
    SetScrollInfo(handle_, SB_VERT, &si, TRUE);
    bool changed = hb != hbar_ || vb != vbar_;
    hbar_ = hb;
    vbar_ = vb;
    if (hp != hpos_ || vp != vpos_) ScrollBy(hp - hpos_, vp - vpos_);
    if (!changed) break;
  }
  updating_ = false;
}

void TScrollBox::ScrollBy(int dx, int dy) {
  if (!dx && !dy) return;
  bool was = updating_;
  updating_ = true;
  hpos_ += dx;
  vpos_ += dy;
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->Align() == alNone) c->SetBounds(c->Left() - dx, c->Top() - dy, c->Width(), c->Height());
  if (handle_) {
    SetScrollPos(handle_, SB_HORZ, hpos_, TRUE);
    SetScrollPos(handle_, SB_VERT, vpos_, TRUE);
    InvalidateRect(handle_, nullptr, TRUE);
  }
  updating_ = was;
}

void TScrollBox::Scroll(int bar, int code) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  GetScrollInfo(handle_, bar, &si);
  int pos = si.nPos;
  int page = static_cast<int>(si.nPage);
  switch (code) {
    case SB_LINEUP: pos -= 8; break;
    case SB_LINEDOWN: pos += 8; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = si.nTrackPos; break;
    case SB_TOP: pos = si.nMin; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: return;
  }
  pos = std::max(si.nMin, std::min(pos, si.nMax - std::max(page - 1, 0)));
  if (bar == SB_HORZ)
    ScrollBy(pos - hpos_, 0);
  else
    ScrollBy(0, pos - vpos_);
}

void TScrollBox::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_HSCROLL:
      if (!m.LParam) {
        Scroll(SB_HORZ, LOWORD(m.WParam));
        return;
      }
      break;
    case WM_VSCROLL:
      if (!m.LParam) {
        Scroll(SB_VERT, LOWORD(m.WParam));
        return;
      }
      break;
    case WM_SIZE:
      TWinControl::WndProc(m);
      UpdateScrollBars();
      return;
  }
  TWinControl::WndProc(m);
}
