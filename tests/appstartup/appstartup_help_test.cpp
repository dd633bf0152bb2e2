// The help hook in this process: which form's page F1 opens, the contents
// page, and the folder the pages are looked up in.
#include <windows.h>

#include <gtest/gtest.h>

#include "appstartup_support.h"
#include "helphook.h"
#include "mainform.h"
#include "progressform.h"
#include "test_support.h"

using namespace appstartup;

namespace {

void Activate(TForm* form) {
  form->Show();
  SetForegroundWindow(form->Handle());
  for (int i = 0; i < 100 && Screen->ActiveForm() != form; ++i) {
    Application->ProcessMessages();
    Sleep(20);
  }
  ASSERT_EQ(Screen->ActiveForm(), form);
}

std::string Folder(const std::string& name) {
  std::string dir = testsupport::Join(testsupport::ScratchDir(), name);
  testsupport::MakeDirs(dir);
  return dir;
}

}  // namespace

TEST(HelpKey, OpensThePageOfTheActiveFormBelowTheCurrentFolder) {
  BrowserRecorder recorder;
  Application->Initialize();
  Application->CreateForm(Form1);
  Application->CreateForm(Form2);
  Application->HelpFile = "dummy";
  InstallHelpHook();
  const std::string first = Folder("first"), second = Folder("second");

  Activate(Form1);
  Form1->pagectrl_Main->SetActivePage(Form1->page_Options);
  SetCurrentDirectoryA(first.c_str());
  Application->HelpCommand(HELP_CONTEXT, 0);
  // Not the folder the program was started in: the one current at F1.
  Activate(Form2);
  SetCurrentDirectoryA(second.c_str());
  Application->HelpCommand(HELP_CONTEXT, 0);
  Application->HelpCommand(HELP_CONTENTS, 0);
  SetCurrentDirectoryA("C:\\");
  Application->HelpCommand(HELP_CONTENTS, 0);

  auto starts = recorder.Wait(4);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_TRUE(EndsWith(starts[0], " " + first + "\\help\\Form1_page_Options.html")) << starts[0];
  EXPECT_TRUE(EndsWith(starts[1], " " + second + "\\help\\Form2.html")) << starts[1];
  EXPECT_TRUE(EndsWith(starts[2], " " + second + "\\help\\index.html")) << starts[2];
  EXPECT_TRUE(EndsWith(starts[3], " C:\\help\\index.html")) << starts[3];

  // Other commands start nothing, and no help file is ever asked for.
  HelpDummyClass hook;
  bool callHelp = true;
  EXPECT_TRUE(hook.HelpHandler(HELP_QUIT, 0, callHelp));
  EXPECT_FALSE(callHelp);
  callHelp = true;
  EXPECT_TRUE(hook.HelpHandler(HELP_CONTENTS, 0, callHelp));
  EXPECT_FALSE(callHelp);
  EXPECT_EQ(recorder.Wait(6).size(), 5u);
  // Out of the way of the screenshots of the program.
  Form2->Hide();
  Form1->Hide();
}
