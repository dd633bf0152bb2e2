// The application object, the screen, forms and the scroll box.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "controls.h"
#include "hintwindow.h"

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
                    mrAll = 8 };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
typedef unsigned TBorderIcons;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
// Command (HELP_CONTEXT 1, HELP_CONTENTS 3 ...), its data, and whether the
// help file should still be opened; returns whether it was handled.
using THelpEvent = std::function<bool(WORD Command, intptr_t Data, bool& CallHelp)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
// The one way the library shows message boxes; tests replace it to answer
// them. Called from any thread.
using TMessageBoxFunc = std::function<int(HWND Owner, const std::string& Text, const std::string& Caption, UINT Flags)>;

class TButton;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  void Show();
  void Hide() { SetVisible(false); }
  void SetVisible(bool v) override;
  // With a parent the form becomes a borderless child window of it.
  void SetParent(TWinControl* parent) override;
  int ShowModal();
  // Asks OnCloseQuery and then OnClose; a modal form ends with mrCancel.
  void Close();
  bool CloseQuery();
  // Frees the form once the current message has been handled.
  void Release();
  void BringToFront();
  bool Active() const { return active_; }

  int ModalResult = mrNone;
  bool Modal() const { return modal_; }
  bool KeyPreview = false;
  // The smallest outer size the user can drag the form to (0: no limit).
  struct TSizeConstraints {
    int MinWidth = 0;
    int MinHeight = 0;
  } Constraints;

  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons v);
  TPosition Position = poDesigned;
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle v);
  TWindowState WindowState();
  void SetWindowState(TWindowState v);
  // Left/Top/Width/Height of a minimised or maximised form are its
  // normal-state rectangle, so positions can be stored and restored then.
  void SetBounds(int left, int top, int width, int height) override;
  RECT ClientRect() override;

  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* c);
  // Focus to the next (or previous) tab stop after 'current'.
  void SelectNext(TWinControl* current, bool forward);
  TCanvas& Canvas() { return *canvas_; }

  // Dialog keys not used by the focused control: Tab, Enter (default or
  // focused button), Esc (cancel button).
  bool DialogKey(WORD key, TShiftState shift, TWinControl* from);
  void FocusChanged(TWinControl* c);
  // A control leaves the form: the form forgets it as its active control.
  void ControlRemoved(TControl* c);
  // Runs OnCreate; CreateForm calls it once the form is complete.
  void DoCreate();
  // Runs OnDestroy once; the application calls it before freeing its
  // forms, the destructor otherwise (when derived members are gone).
  void DoDestroy();
  void KeyDown(WORD& key, TShiftState shift) override { TWinControl::KeyDown(key, shift); }
  void KeyUp(WORD& key, TShiftState shift) override { TWinControl::KeyUp(key, shift); }
  void KeyPress(char& key) override { TWinControl::KeyPress(key); }

  TNotifyEvent OnCreate, OnShow, OnHide, OnActivate, OnDeactivate, OnDestroy, OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void Paint() override;
  void DoShow();
  void DoHide();

 private:
  void ApplyStyle();
  void CenterOnScreen();
  TFormBorderStyle border_style_ = bsSizeable;
  TBorderIcons border_icons_ = biSystemMenu | biMinimize | biMaximize;
  TFormStyle form_style_ = fsNormal;
  TWindowState pending_state_ = wsNormal;
  TWinControl* active_control_ = nullptr;
  bool modal_ = false;
  bool active_ = false;
  bool shown_once_ = false;
  bool destroy_fired_ = false;

  friend class TApplication;
};

// A container whose children can be larger than it: scroll bars appear as
// needed and move the children.
class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* AOwner);
  // Re-measures the children and updates the scroll bars.
  void UpdateScrollBars();
  bool HorzScrollBarVisible() const { return hbar_; }
  bool VertScrollBarVisible() const { return vbar_; }
  int HorzPosition() const { return hpos_; }
  int VertPosition() const { return vpos_; }
  void ScrollBy(int dx, int dy);
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void ChildBoundsChanged(TControl*) override { UpdateScrollBars(); }

 private:
  void Scroll(int bar, int code);
  bool hbar_ = false, vbar_ = false;
  int hpos_ = 0, vpos_ = 0;
  int hrange_ = 0, vrange_ = 0;
  bool updating_ = false;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  // A cursor for the whole program (crHourGlass while busy); crDefault
  // lets each control show its own.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  TForm* ActiveForm() const { return active_form_; }
  TWinControl* ActiveControl() const { return active_form_ ? active_form_->ActiveControl() : nullptr; }
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TForm* Forms(int i) const { return forms_[static_cast<size_t>(i)]; }
  // The cursor of a number: the standard ones (crDefault and below) and
  // those the program installs under positive numbers; a number with
  // none gives the arrow.
  HCURSOR Cursors(TCursor c) const;
  // Installs a program-defined cursor (a positive number); the handle must
  // stay valid while it is installed (resource cursors are shared and
  // never destroyed).  nullptr removes it.
  void SetCursors(TCursor c, HCURSOR cursor);

 private:
  TCursor cursor_ = crDefault;
  std::map<TCursor, HCURSOR> cursors_;
  TForm* active_form_ = nullptr;
  std::vector<TForm*> forms_;
  friend class TForm;
};

// The hourglass for the whole program while one lives, the cursor it
// replaced after (also when the scope is left by an exception).
class THourGlassHold {
 public:
  THourGlassHold();
  ~THourGlassHold();
  THourGlassHold(const THourGlassHold&) = delete;
  THourGlassHold& operator=(const THourGlassHold&) = delete;

 private:
  TCursor saved_;
};

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  // Creates a form owned by the application; the first becomes MainForm.
  template <class T>
  void CreateForm(T*& ref) {
    T* f = new T(this);
    ref = f;
    FormCreated(f);
  }
  void Run();
  void ProcessMessages();
  // Handles one message, or waits for the next when there is none. A loop
  // that waits for a condition passes it as done: a message sent from
  // another thread or process is handled inside the look at the queue, and
  // when that handling meets the condition there must be no wait after it.
  void HandleMessage(const std::function<bool()>& done = nullptr);
  void Terminate();
  bool Terminated() const { return terminated_; }
  void Minimize();
  void Restore();

  HWND Handle() { return handle_; }
  TForm* MainForm() const { return main_form_; }
  std::string ExeName() const;
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t);

  // Hints: shown after HintPause over a control with ShowHint, hidden after
  // HintHidePause (milliseconds). A hint may have several lines.
  bool ShowHint() const { return show_hint_; }
  // Switching it on makes the hint window anew with HintWindowClass.
  void SetShowHint(bool v);
  THintWindowClass HintWindowClass = HintWindowClassOf<THintWindow>();
  int HintPause = 500;
  int HintHidePause = 2500;
  TColor HintColor = clInfoBk;
  void HintMouseMessage(TControl* control);
  void CancelHint();
  // The hint window (for tests and the like) and what it shows.
  HWND HintWindow() const;
  THintWindow* HintWindowControl() const { return hint_window_; }
  bool HintVisible() const;
  void ActivateHint(TControl* control);

  // Help: F1 and explicit requests go to OnHelp; with a help file name the
  // request counts as help to show.
  std::string HelpFile;
  THelpEvent OnHelp;
  bool HelpCommand(WORD command, intptr_t data);
  bool HelpContext(intptr_t context);
  void ContextHelp(TControl* control);
  // F1 asks for context help once per press, on key up: the library
  // answers a press it saw go down, and drops a request a window's own
  // key-up handler makes for the same press.
  void HelpKeyDown();

  TExceptionEvent OnException;
  TNotifyEvent OnIdle, OnMinimize, OnRestore, OnActivate, OnDeactivate;
  // Shows the current exception (call from a catch block) through
  // OnException or ShowException.
  void HandleException(TObject* sender);
  void ShowException(const std::exception& e);
  int MessageBox(const std::string& text, const std::string& caption, UINT flags);
  TMessageBoxFunc MessageBoxFunction;

  void ControlDestroyed(TControl* c);
  void FormCreated(TForm* f);
  void WndProc(TMessage& m);

 private:
  bool ProcessMessage(MSG& msg);
  bool IsKeyMsg(MSG& msg);
  // An "&" letter of a control on the form of the window the character
  // went to: with Alt, or alone where the focused control takes no
  // characters. True when a control answered it.
  bool IsMnemonicMsg(MSG& msg);
  void Idle(const std::function<bool()>& done);
  void HideHint();
  void CheckHintTimer();

  HWND handle_ = nullptr;
  THintWindow* hint_window_ = nullptr;
  bool show_hint_ = true;
  TForm* main_form_ = nullptr;
  std::string title_;
  bool terminated_ = false;
  bool help_key_down_ = false, help_key_answered_ = false;
  TControl* hint_control_ = nullptr;
  TControl* hint_shown_for_ = nullptr;
  std::vector<TForm*> to_release_;

  friend class TForm;
  friend LRESULT CALLBACK AppWindowProc(HWND, UINT, WPARAM, LPARAM);
};

extern TApplication* Application;
extern TScreen* Screen;

// The default message box: the Win32 one.
int DefaultMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);
