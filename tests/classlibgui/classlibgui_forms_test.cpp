// Forms and controls as real windows, driven by real messages.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "win/buttons.h"
#include "win/comctrls.h"
#include "win/dialogs.h"
#include "win/extctrls.h"
#include "gui_test_support.h"
#include "win/forms.h"
#include "win/menus.h"
#include "win/stdctrls.h"
#include "test_support.h"

using testsupport::Pump;
using testsupport::ScreenPixel;

namespace {

template <class T>
T* Make(TWinControl* parent, int l, int t, int w, int h) {
  T* c = new T(parent->Owner() ? parent->Owner() : parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

struct MessageBoxAnswer {
  std::string text, caption;
  int answer = IDOK;
  int calls = 0;
  MessageBoxAnswer() {
    Application->MessageBoxFunction = [this](HWND, const std::string& t, const std::string& c, UINT) {
      text = t;
      caption = c;
      ++calls;
      return answer;
    };
  }
  ~MessageBoxAnswer() { Application->MessageBoxFunction = nullptr; }
};

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(40, 40, 500, 400);
  }
  void TearDown() override { delete form; }
  TForm* form;
};

}  // namespace

TEST_F(FormsTest, AlignLaysOutEdgesThenClient) {
  TPanel* top = Make<TPanel>(form, 0, 0, 10, 30);
  top->SetAlign(alTop);
  TPanel* bottom = Make<TPanel>(form, 0, 0, 10, 20);
  bottom->SetAlign(alBottom);
  TPanel* left = Make<TPanel>(form, 0, 0, 50, 10);
  left->SetAlign(alLeft);
  TPanel* client = Make<TPanel>(form, 0, 0, 10, 10);
  client->SetAlign(alClient);
  int resized = 0, activated = 0;
  form->OnResize = [&](TObject*) { ++resized; };
  form->OnActivate = [&](TObject*) { ++activated; };
  form->Show();
  Pump(50);
  EXPECT_GE(activated, 1);
  EXPECT_EQ(Screen->ActiveForm(), form);
  EXPECT_TRUE(form->Active());
  int cw = form->ClientWidth(), ch = form->ClientHeight();
  EXPECT_EQ(top->BoundsRect().right, cw);
  EXPECT_EQ(top->Height(), 30);
  EXPECT_EQ(bottom->Top(), ch - 20);
  EXPECT_EQ(left->Top(), 30);
  EXPECT_EQ(left->Height(), ch - 50);
  EXPECT_EQ(client->Left(), 50);
  EXPECT_EQ(client->Top(), 30);
  EXPECT_EQ(client->Width(), cw - 50);
  EXPECT_EQ(client->Height(), ch - 50);

  // Resizing the form re-aligns; hiding an edge control gives its room away.
  int before = resized;
  form->SetClientSize(300, 200);
  Pump(20);
  EXPECT_GT(resized, before);
  EXPECT_EQ(form->ClientWidth(), 300);
  EXPECT_EQ(client->Width(), 250);
  EXPECT_EQ(client->Height(), 150);
  top->Hide();
  EXPECT_EQ(client->Top(), 0);
  EXPECT_EQ(client->Height(), 180);
}

TEST_F(FormsTest, ButtonsCheckBoxesAndRadiosAnswerClicks) {
  TButton* b = Make<TButton>(form, 10, 10, 80, 25);
  int clicks = 0;
  b->OnClick = [&](TObject* s) {
    EXPECT_EQ(s, b);
    ++clicks;
  };
  TCheckBox* cb = Make<TCheckBox>(form, 10, 40, 120, 20);
  cb->SetCaption("Check");
  int cb_clicks = 0;
  cb->OnClick = [&](TObject*) { ++cb_clicks; };
  TRadioButton* r1 = Make<TRadioButton>(form, 10, 70, 120, 20);
  TRadioButton* r2 = Make<TRadioButton>(form, 10, 90, 120, 20);
  form->Show();
  Pump(20);

  SendMessageA(b->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  SendMessageA(cb->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(cb->Checked());
  EXPECT_EQ(SendMessageA(cb->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(cb->Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(cb->Checked());
  EXPECT_EQ(cb_clicks, 2);
  cb->SetChecked(true);  // a change in code is a click too
  EXPECT_EQ(cb_clicks, 3);
  EXPECT_EQ(SendMessageA(cb->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);

  SendMessageA(r1->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(r1->Checked());
  SendMessageA(r2->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(r2->Checked());
  EXPECT_FALSE(r1->Checked());
  EXPECT_EQ(SendMessageA(r1->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // A radio group reports the chosen line.
  TRadioGroup* g = Make<TRadioGroup>(form, 200, 10, 200, 100);
  g->Items().Add("Use default settings");
  g->Items().Add("Center it on screen");
  g->Items().Add("Restore old position");
  int g_clicks = 0;
  g->OnClick = [&](TObject*) { ++g_clicks; };
  g->SetItemIndex(2);
  EXPECT_TRUE(g->Buttons(2)->Checked());
  SendMessageA(g->Buttons(1)->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(g->ItemIndex(), 1);
  EXPECT_FALSE(g->Buttons(2)->Checked());
  EXPECT_EQ(g_clicks, 2);
}

TEST_F(FormsTest, EditTakesTypedTextWithLimitsAndEvents) {
  TEdit* e = Make<TEdit>(form, 10, 10, 150, 21);
  TEdit* other = Make<TEdit>(form, 10, 40, 150, 21);
  int changes = 0, exits = 0;
  e->OnChange = [&](TObject*) { ++changes; };
  e->OnExit = [&](TObject*) { ++exits; };
  e->SetMaxLength(5);
  form->Show();
  Pump(20);
  e->SetFocus();
  for (char ch : std::string("abcdefg")) SendMessageA(e->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  EXPECT_EQ(e->Text(), "abcde");
  EXPECT_EQ(changes, 5);
  other->SetFocus();
  EXPECT_EQ(exits, 1);

  e->SetPasswordChar('*');
  EXPECT_EQ(SendMessageA(e->Handle(), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(e->Text(), "abcde");
  e->SetText("xy");
  EXPECT_EQ(changes, 6);

  TMemo* m = Make<TMemo>(form, 200, 10, 200, 100);
  m->Lines().Add("first");
  m->Lines().Add("second");
  EXPECT_EQ(m->Text(), "first\r\nsecond");
  EXPECT_EQ(m->Lines().Count(), 2);
  m->Lines().SetText("a\nb\nc");
  EXPECT_EQ(m->Lines().Get(2), "c");
}

TEST_F(FormsTest, ListAndComboBoxes) {
  TListBox* lb = Make<TListBox>(form, 10, 10, 150, 120);
  lb->Items().Add("one");  // before the window: kept and handed over
  lb->SetMultiSelect(true);
  lb->Items().Add("two");
  lb->Items().Add("three");
  EXPECT_EQ(lb->Items().Count(), 3);
  EXPECT_EQ(lb->Items().Get(1), "two");
  lb->SetSelected(0, true);
  lb->SetSelected(2, true);
  EXPECT_EQ(lb->SelCount(), 2);
  EXPECT_TRUE(lb->Selected(2));
  EXPECT_FALSE(lb->Selected(1));
  lb->Items().Delete(0);
  EXPECT_EQ(lb->Items().Get(0), "two");
  EXPECT_THROW(lb->Items().Get(5), EStringListError);

  TComboBox* cb = Make<TComboBox>(form, 200, 10, 150, 21);
  cb->SetStyle(csDropDownList);
  cb->Items().Add("TO");
  cb->Items().Add("CC");
  cb->Items().Add("BCC");
  int changes = 0;
  cb->OnChange = [&](TObject*) { ++changes; };
  cb->SetItemIndex(1);
  EXPECT_EQ(cb->Text(), "CC");
  EXPECT_LT(cb->Height(), 40);  // the closed height, not the list's
  form->Show();
  Pump(20);
  // The user picks with the keyboard.
  cb->SetFocus();
  SendMessageA(cb->Handle(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(cb->ItemIndex(), 2);
  EXPECT_EQ(changes, 1);
}

TEST_F(FormsTest, ScrollBarKeeps32BitPositions) {
  TScrollBar* sb = Make<TScrollBar>(form, 10, 10, 200, 17);
  sb->SetParams(100000, 0, 5000000);
  int changes = 0;
  sb->OnChange = [&](TObject*) { ++changes; };
  SendMessageA(form->Handle(), WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(sb->Handle()));
  EXPECT_EQ(sb->Position(), 100001);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  GetScrollInfo(sb->Handle(), SB_CTL, &si);
  EXPECT_EQ(si.nPos, 100001);
  EXPECT_EQ(changes, 1);
  sb->SetPosition(9000000);  // clamped to the range
  EXPECT_EQ(sb->Position(), 5000000);
}

TEST_F(FormsTest, ShowModalEndsWithTheButtonsModalResult) {
  TButton* ok = Make<TButton>(form, 10, 10, 75, 25);
  ok->ModalResult = mrOk;
  ok->SetDefault(true);
  TButton* cancel = Make<TButton>(form, 100, 10, 75, 25);
  cancel->ModalResult = mrCancel;
  cancel->Cancel = true;
  TEdit* e = Make<TEdit>(form, 10, 50, 100, 21);
  e->TabStop = true;

  TTimer timer(nullptr);
  timer.SetInterval(50);
  int step = 0;
  timer.OnTimer = [&](TObject*) {
    if (step++ == 0) SendMessageA(ok->Handle(), BM_CLICK, 0, 0);
  };
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(form->Visible());

  // Enter in an edit presses the default button, Esc the cancel button.
  step = 5;
  timer.OnTimer = [&](TObject*) {
    timer.SetEnabled(false);
    e->SetFocus();
    PostMessageA(e->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  };
  timer.SetEnabled(true);
  EXPECT_EQ(form->ShowModal(), mrOk);
  timer.OnTimer = [&](TObject*) {
    timer.SetEnabled(false);
    PostMessageA(e->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
  };
  timer.SetEnabled(true);
  EXPECT_EQ(form->ShowModal(), mrCancel);

  // OnCloseQuery can refuse; closing a modal form is a cancel.
  int asked = 0;
  form->OnCloseQuery = [&](TObject*, bool& can) { can = ++asked > 1; };
  timer.OnTimer = [&](TObject*) {
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    if (asked >= 1) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST_F(FormsTest, ShowModalEndsAtOnceWhenAClickSentFromAnotherThreadSetsTheResult) {
  TButton* ok = Make<TButton>(form, 10, 10, 75, 25);
  ok->ModalResult = mrOk;
  // Another thread (as another process would) clicks while the loop
  // waits, and nothing else arrives for three seconds; then it pokes the
  // queue so that a loop left asleep still ends.
  std::atomic<DWORD> clicked{0};
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HWND button = ok->Handle();
  std::thread other([&] {
    Sleep(400);
    SendMessageA(button, BM_CLICK, 0, 0);
    clicked = GetTickCount();
    if (WaitForSingleObject(stop, 3000) == WAIT_TIMEOUT) PostMessageA(button, WM_NULL, 0, 0);
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  const DWORD closed = GetTickCount();
  SetEvent(stop);
  other.join();
  CloseHandle(stop);
  ASSERT_NE(clicked.load(), 0u);
  EXPECT_LT(closed - clicked, 1000u) << "the modal form stayed up until some other message came";
}

TEST_F(FormsTest, KeyPreviewAndF1Help) {
  TEdit* e = Make<TEdit>(form, 10, 10, 100, 21);
  e->HelpContext = 77;
  std::vector<std::string> seen;
  form->KeyPreview = true;
  form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    seen.push_back("form");
    if (key == 'X') key = 0;
  };
  e->OnKeyDown = [&](TObject*, WORD&, TShiftState) { seen.push_back("edit"); };
  form->Show();
  Pump(20);
  SendMessageA(e->Handle(), WM_KEYDOWN, 'A', 0);
  SendMessageA(e->Handle(), WM_KEYDOWN, 'X', 0);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "form");
  EXPECT_EQ(seen[1], "edit");
  EXPECT_EQ(seen[2], "form");  // the form ate X

  std::vector<std::pair<WORD, intptr_t>> help;
  Application->OnHelp = [&](WORD cmd, intptr_t data, bool& call) {
    help.emplace_back(cmd, data);
    call = false;
    return true;
  };
  // A press of F1 as the keyboard makes it, through the program's loop.
  auto pressF1 = [&] {
    PostMessageA(e->Handle(), WM_KEYDOWN, VK_F1, 0x003B0001);
    Pump(20);
    const size_t down = help.size();
    PostMessageA(e->Handle(), WM_KEYUP, VK_F1, 0xC03B0001);
    Pump(20);
    return down;
  };
  pressF1();
  EXPECT_TRUE(help.empty());  // no help file named: F1 is not routed
  Application->HelpFile = "dummy";
  EXPECT_EQ(pressF1(), 0u) << "help came on key down";
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].first, HELP_CONTEXT);
  EXPECT_EQ(help[0].second, 77);
  // A form that asks for help from its own key up: still one page a press,
  // and the one of the control the key was pressed in.
  form->OnKeyUp = [&](TObject*, WORD& key, TShiftState) {
    if (key == VK_F1) Application->ContextHelp(form);
  };
  help.clear();
  for (int press = 1; press <= 2; ++press) {
    pressF1();
    ASSERT_EQ(help.size(), static_cast<size_t>(press)) << "F1 press " << press;
    EXPECT_EQ(help.back().second, 77);
  }
  // A press whose key down the form ate is answered by the form's key up.
  form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    if (key == VK_F1) key = 0;
  };
  pressF1();
  ASSERT_EQ(help.size(), 3u);
  EXPECT_EQ(help.back().second, 0);
  form->OnKeyDown = nullptr;
  Application->HelpFile.clear();
  Application->OnHelp = nullptr;
}

TEST_F(FormsTest, HintsShowOverTheControlOnSeveralLines) {
  Application->HintPause = 50;
  TButton* b = Make<TButton>(form, 20, 20, 100, 30);
  b->SetHint("first line\r\nsecond line");
  form->SetShowHint(true);
  form->Show();
  Pump(30);
  // The pointer really over the button (a move the display reports late
  // would otherwise land on the form and cancel the hint).
  testsupport::SendMouse(b->ClientToScreen(POINT{10, 10}), 0);
  SendMessageA(b->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  for (int waited = 0; waited < 2000 && !Application->HintVisible(); waited += 20) Pump(20);
  ASSERT_TRUE(Application->HintVisible());
  char text[100] = {};
  GetWindowTextA(Application->HintWindow(), text, sizeof text);
  EXPECT_STREQ(text, "first line\r\nsecond line");
  RECT r;
  GetWindowRect(Application->HintWindow(), &r);
  TBitmap m(1, 1);
  EXPECT_GE(r.bottom - r.top, 2 * m.Canvas().TextHeight("A"));
  testsupport::Screenshot("classlibgui_hint");
  // Gone after the hide pause; a control without hint shows none.
  Application->HintHidePause = 100;
  b->SetHint("short");
  SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(300, 300));
  Pump(150);
  EXPECT_FALSE(Application->HintVisible());
  Application->HintHidePause = 2500;
  Application->HintPause = 500;
}

TEST_F(FormsTest, GraphicControlsPaintInTheirParentAndTakeClicks) {
  TPanel* panel = Make<TPanel>(form, 0, 0, 200, 100);
  panel->SetColor(clBlue);
  panel->SetBevelOuter(bvNone);
  TLabel* label = Make<TLabel>(panel, 10, 10, 80, 20);
  label->SetAutoSize(false);
  label->SetBounds(10, 10, 80, 20);
  label->SetColor(clYellow);
  int clicks = 0;
  label->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  Pump(50);
  EXPECT_EQ(ScreenPixel(panel, 150, 80), RGB(0, 0, 255));
  EXPECT_EQ(ScreenPixel(label, 70, 15), RGB(255, 255, 0));
  SendMessageA(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageA(panel->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(clicks, 1);
}

TEST_F(FormsTest, CursorsFocusAndCapture) {
  TPanel* panel = Make<TPanel>(form, 0, 0, 200, 100);
  TLabel* label = Make<TLabel>(panel, 10, 10, 80, 20);
  label->SetCaption("Click here");
  label->SetCursor(crHandPoint);
  TEdit* a = Make<TEdit>(form, 10, 120, 100, 21);
  TEdit* b = Make<TEdit>(form, 10, 150, 100, 21);
  form->Show();
  Pump(30);

  // The control under the mouse chooses the cursor; the screen's cursor
  // overrides every control's.
  // The real move is answered by its own WM_SETCURSOR; let it pass first,
  // or it may set the cursor again after the checks below.
  testsupport::SendMouse(label->ClientToScreen(POINT{5, 5}), 0);
  Pump(50);
  SendMessageA(panel->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(panel->Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
  Screen->SetCursor(crHourGlass);
  SendMessageA(panel->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(panel->Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
  Screen->SetCursor(crDefault);

  // Tab moves through the tab stops in tab order; the form remembers
  // where the focus is.
  b->SetTabOrder(0);
  a->SetFocus();
  EXPECT_EQ(form->ActiveControl(), a);
  SendMessageA(a->Handle(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(b->Focused());  // wraps round; the panel is no tab stop
  b->SetFocus();
  EXPECT_EQ(form->ActiveControl(), b);
  EXPECT_TRUE(b->Focused());

  label->SetMouseCapture(true);
  EXPECT_TRUE(label->MouseCapture());
  EXPECT_EQ(GetCapture(), panel->Handle());
  label->SetMouseCapture(false);
  EXPECT_FALSE(label->MouseCapture());
}
