// Controls: the visual component tree over Win32 windows.
//
// A TWinControl owns one window, made as soon as its parent has one (forms
// make theirs at construction), so properties apply to the window at once.
// Windowless TGraphicControls live in their parent's window: the parent
// paints them and forwards their mouse messages. Notifications a Win32
// control sends to its parent (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*,
// WM_DRAWITEM, WM_MEASUREITEM, WM_DELETEITEM, scroll messages) are reflected back to the child as CN_*.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "graphics.h"

// The frame of panels and tree views.
enum TBorderStyle { bsNoBorder, bsSingleBorder };

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

const UINT CN_BASE = 0xBC00;
const UINT CN_COMMAND = CN_BASE + WM_COMMAND;
const UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
const UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
const UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
const UINT CN_DELETEITEM = CN_BASE + WM_DELETEITEM;
const UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
const UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
const UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
const UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
const UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
const UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
const UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

typedef unsigned TShiftState;
const TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;

// Negative values are the stock cursors; 0 means "the parent's / arrow".
typedef int TCursor;
const TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
              crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crNo = -18,
              crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;
HCURSOR CursorHandle(TCursor c);

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

class TWinControl;
class TPopupMenu;
class TForm;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
  virtual RECT ClientRect();
  int ClientWidth() { RECT r = ClientRect(); return r.right - r.left; }
  int ClientHeight() { RECT r = ClientRect(); return r.bottom - r.top; }
  virtual void SetClientSize(int width, int height);
  void SetClientWidth(int w) { SetClientSize(w, ClientHeight()); }
  void SetClientHeight(int h) { SetClientSize(ClientWidth(), h); }
  POINT ClientToScreen(POINT p);
  POINT ScreenToClient(POINT p);

  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);
  // The text of the control: a window's text, a label's caption.
  virtual std::string Text();
  virtual void SetText(const std::string& s);
  std::string Caption() { return Text(); }
  void SetCaption(const std::string& s) { SetText(s); }

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h) { hint_ = h; }
  // With ParentShowHint (the default) the parent's setting holds.
  bool ShowHint() const;
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool v) { parent_show_hint_ = v; }

  TFont& Font() { return font_; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool v);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c) { cursor_ = c; }
  int HelpContext = 0;
  TPopupMenu* PopupMenu = nullptr;

  bool MouseCapture();
  void SetMouseCapture(bool v);

  virtual void Invalidate();
  // Paints now what is invalid.
  virtual void Update();
  void Repaint() { Invalidate(); Update(); }
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  virtual void Click();
  LRESULT Perform(UINT msg, WPARAM wp, LPARAM lp);
  virtual void WndProc(TMessage& m);

  // The window that shows this control: its own or its parent's.
  virtual HWND ParentHandleForDrawing();

  TNotifyEvent OnClick, OnDblClick, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  virtual void DefaultHandler(TMessage& m) { m.Result = 0; }
  virtual void FontChanged();
  virtual void ColorChanged() { Invalidate(); }
  virtual void TextChanged() { Invalidate(); }
  virtual void ParentFontChanged();
  virtual void ParentColorChanged();
  virtual void Resize();
  virtual void MouseDown(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseUp(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseMove(TShiftState s, int x, int y);
  virtual void DblClick();
  // Controls that turn a press and release inside them into Click.
  bool click_events_ = false;
  // The text of a windowless control; for a windowed one, the text its
  // window is made with.
  std::string text_;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  bool show_hint_ = false, parent_show_hint_ = true;
  TFont font_;
  bool parent_font_ = true, parent_color_ = true;
  bool setting_font_ = false;
  TColor color_ = clBtnFace;
  TCursor cursor_ = crDefault;
  bool clicked_ = false;

  friend class TWinControl;
};

// Shift state from the keyboard and, for mouse messages, the key flags.
TShiftState KeyboardShiftState();
TShiftState MouseShiftState(WPARAM keys);

// A canvas that draws on a control's window, acquiring a DC when first used
// outside a paint message and giving it back when the message loop next
// goes idle (FreeDeviceContexts).
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* control) : control_(control) {}
  ~TControlCanvas() override { ReleaseOwnDC(); }
  // Used by the paint cycle: a DC that the canvas does not own.
  void SetPaintDC(HDC dc);
  void ReleaseOwnDC();

 protected:
  void CreateHandle() override;

 private:
  TControl* control_;
  HWND owned_wnd_ = nullptr;
  HDC owned_dc_ = nullptr;
};
void FreeDeviceContexts();

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  // A Win32 class to subclass ("BUTTON", "EDIT" ...), empty for our own.
  std::string WinClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_[static_cast<size_t>(i)]; }
  TControl* ControlAtPos(POINT p, bool allow_disabled);

  void SetParent(TWinControl* parent) override;
  void SetBounds(int left, int top, int width, int height) override;
  // Also marks the window with the name (see controls.cpp).
  void SetName(const std::string& name) override;
  RECT ClientRect() override;
  void SetClientSize(int width, int height) override;
  void SetVisible(bool v) override;
  void SetEnabled(bool v) override;
  std::string Text() override;
  void SetText(const std::string& s) override;
  void Invalidate() override;
  void Update() override;
  HWND ParentHandleForDrawing() override { return handle_; }

  int TabOrder() const;
  void SetTabOrder(int v);
  bool TabStop = false;
  virtual bool CanFocus();
  virtual void SetFocus();
  bool Focused();
  // Tab order of the whole subtree, the way Tab moves through it.
  void GetTabOrderList(std::vector<TWinControl*>& list);
  void AlignControls();

  static TWinControl* FindControl(HWND wnd);

  TNotifyEvent OnEnter, OnExit;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void WndProc(TMessage& m) override;
  // The key-down path: key events (the form first when it previews keys),
  // F1 help, dialog keys. True when the key was used up.
  bool HandleKeyDown(WPARAM& key, LPARAM flags);
  // Paints the graphic children on dc (in this window's coordinates).
  void PaintControls(HDC dc);
  bool HasGraphicChildren() const;

 protected:
  virtual void CreateParams(TCreateParams& p);
  // Makes the window and those of the children.
  virtual void CreateHandle();
  virtual void CreateWnd();
  // Called once the window exists: applies the stored properties.
  virtual void InitWnd();
  virtual void DestroyHandle();
  void RecreateWnd();
  void DefaultHandler(TMessage& m) override;
  void FontChanged() override;
  void ColorChanged() override;
  void ParentFontChanged() override;
  void ParentColorChanged() override;
  virtual void KeyDown(WORD& key, TShiftState shift);
  virtual void KeyUp(WORD& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();
  // The rectangle aligned children share.
  virtual void AdjustClientRect(RECT& r) {}
  // Whether Tab, Enter or Esc are for the control rather than the form;
  // by default what the window answers to WM_GETDLGCODE.
  virtual bool WantsKey(WORD key);
  virtual void Paint() {}
  // Brush for WM_CTLCOLOR*: the control's colour.
  HBRUSH ColorBrush();
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  void RequestAlign();
  virtual void UpdateBoundsFromWindow();
  // A child moved, resized, came or went (scroll boxes re-measure).
  virtual void ChildBoundsChanged(TControl* child) {}

  HWND handle_ = nullptr;
  WNDPROC default_proc_ = nullptr;
  std::vector<TControl*> controls_;  // z-order / creation order
  std::vector<TWinControl*> tab_list_;
  TControlCanvas* canvas_ = nullptr;  // own-class windows that paint
  bool own_class_ = true;
  bool erase_background_ = true;
  int aligning_ = 0;
  HBRUSH color_brush_ = nullptr;
  TColor brush_color_ = 0;
  bool key_done_ = false;

  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend class TControl;
  friend class TApplication;
};

// A windowed control that draws itself (Paint on its Canvas).
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  TCanvas& Canvas() { return *canvas_; }
};

// A control without a window, painted by its parent.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas& Canvas() { return *canvas_; }
  virtual void Paint() {}
  void WndProc(TMessage& m) override;

 protected:
  TControlCanvas* canvas_;
};

// The form that holds a control, or nullptr.
TForm* GetParentForm(TControl* c);
