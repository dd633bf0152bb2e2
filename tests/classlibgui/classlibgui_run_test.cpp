// The application's own message loop: Run until the main form closes, with
// keys going through the loop's key handling. A binary of its own, since a
// finished Run leaves the application terminated.
#include <gtest/gtest.h>
#include <windows.h>

#include "win/appthread.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

namespace {

class MainForm : public TForm {
 public:
  explicit MainForm(TComponent* owner) : TForm(owner) {
    edit = new TEdit(this);
    edit->SetParent(this);
    ok = new TButton(this);
    ok->SetBounds(10, 40, 75, 25);
    ok->SetDefault(true);
    ok->SetParent(this);
    ActiveControlSet();
  }
  void ActiveControlSet() { SetActiveControl(edit); }
  TEdit* edit;
  TButton* ok;
};

class Worker : public TThread {
 public:
  std::atomic<bool>* flag;

 protected:
  void Execute() override {
    Sleep(100);
    *flag = true;
  }
};

}  // namespace

TEST(Run, MainFormClosingEndsRunAndKeysPassTheLoop) {
  Application->Initialize();
  MainForm* main = nullptr;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  std::vector<std::string> events;
  main->ok->OnClick = [&](TObject*) { events.push_back("default button"); };
  main->edit->OnKeyPress = [&](TObject*, char& c) { events.push_back(std::string("char ") + c); };
  Application->HelpFile = "dummy";
  Application->OnHelp = [&](WORD cmd, intptr_t, bool& call) {
    call = false;
    events.push_back("help " + std::to_string(cmd));
    return true;
  };
  bool closing_asked = false;
  main->OnCloseQuery = [&](TObject*, bool& can) { closing_asked = true; };
  std::atomic<bool> worker_done{false};

  TTimer t(nullptr);
  t.SetInterval(100);
  int step = 0;
  t.OnTimer = [&](TObject*) {
    HWND e = main->edit->Handle();
    switch (step++) {
      case 0:
        main->edit->SetFocus();
        // Posted, as the keyboard would: they go through Run's loop.
        PostMessageA(e, WM_KEYDOWN, 'A', 1);
        PostMessageA(e, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(e, WM_KEYDOWN, VK_F1, 1);
        PostMessageA(e, WM_KEYUP, VK_F1, 0xC0000001);
        break;
      case 1: {
        Worker* w = new Worker;
        w->flag = &worker_done;
        w->FreeOnTerminate = true;
        w->Start();
        break;
      }
      case 3:
        t.SetEnabled(false);
        PostMessageA(main->Handle(), WM_CLOSE, 0, 0);
        break;
    }
  };
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(closing_asked);
  EXPECT_TRUE(worker_done);
  // The character of A is queued behind the keys posted with it. Enter
  // pressed the default button and made no character of its own.
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "default button");
  EXPECT_EQ(events[1], "help 1");
  EXPECT_EQ(events[2], "char a");
  EXPECT_EQ(main->edit->Text(), "a");
}
