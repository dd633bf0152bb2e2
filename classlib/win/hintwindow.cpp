#include "hintwindow.h"

#include "forms.h"

namespace {

const char kHintClass[] = "TMorvaneHintWindow";

// The pop-up saves what it covers, so hiding it does not make the windows
// below repaint; our window procedure is put in when the window exists.
void RegisterHintClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.style = CS_SAVEBITS | CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kHintClass;
  RegisterClassA(&wc);
  done = true;
}

}  // namespace

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  visible_ = false;
  parent_color_ = false;
  color_ = Application ? Application->HintColor : clInfoBk;
  Canvas().Font().SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& p) {
  TCustomControl::CreateParams(p);
  RegisterHintClass();
  p.WinClassName = kHintClass;
  p.Style = WS_POPUP | WS_BORDER;
  p.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  p.WndParent = Application ? Application->Handle() : nullptr;
}

void THintWindow::InitWnd() {
  TCustomControl::InitWnd();
  // The class is ours in all but name: paint and erase like our own windows.
  own_class_ = true;
}

void THintWindow::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_NCHITTEST:
      m.Result = HTTRANSPARENT;
      return;
    case WM_MOUSEACTIVATE:
      m.Result = MA_NOACTIVATE;
      return;
  }
  TCustomControl::WndProc(m);
}

RECT THintWindow::CalcHintRect(int max_width, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Canvas().Font().Handle());
  RECT r{0, 0, max_width, 0};
  DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  r.right += 6;
  r.bottom += 6;
  return r;
}

void THintWindow::ActivateHint(const RECT& rect, const std::string& text) {
  HWND h = Handle();
  SetCaption(text);
  SetWindowPos(h, HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  UpdateBoundsFromWindow();
  InvalidateRect(h, nullptr, TRUE);
}

void THintWindow::HideHint() {
  if (handle_ && IsWindowVisible(handle_)) ShowWindow(handle_, SW_HIDE);
}

bool THintWindow::Showing() const { return handle_ && IsWindowVisible(handle_); }

void THintWindow::Paint() {
  RECT r;
  GetClientRect(handle_, &r);
  TCanvas& c = Canvas();
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  c.FillRect(r);
  c.Brush().SetStyle(bsClear);
  InflateRect(&r, -2, -2);
  c.DrawText(Caption(), r, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
}
