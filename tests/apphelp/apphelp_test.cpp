// The help window: made in a folder without help pages it stays empty;
// from the program's folder it shows every page the help key can name,
// goes back one page, hides on Esc and reports a missing page.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "exception_text.h"
#include "gui_test_support.h"
#include "helpform.h"
#include "test_support.h"

using namespace testsupport;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(HelpWindow, PagesContentsGoBackEscAndAMissingFolder) {
  Application->Initialize();
  EXPECT_EQ(Tform_Help::WidthForScreen(1600), 768);
  EXPECT_EQ(Tform_Help::WidthForScreen(800), 600);

  // Made where there is no "help" folder: no error, an empty viewer.
  const std::string empty = Join(ScratchDir(), "no help here");
  MakeDirs(empty);
  ASSERT_TRUE(SetCurrentDirectoryA(empty.c_str()));
  Application->CreateForm(form_Help);
  ASSERT_NE(form_Help, nullptr);
  EXPECT_EQ(form_Help->Width(), Tform_Help::WidthForScreen(GetSystemMetrics(SM_CXSCREEN)));
  EXPECT_EQ(form_Help->panel_Browser->Height(), form_Help->ClientHeight() - 50);
  EXPECT_EQ(form_Help->panel_Browser->Width(), form_Help->ClientWidth());
  EXPECT_EQ(form_Help->htmlview_Help->CurrentFile(), "");
  EXPECT_NE(MessageOf([] { form_Help->OpenHelpPage("index.html"); }).find("Can't locate file: "),
            std::string::npos);

  // The program's folder with its pages.
  const std::string program = Join(ScratchDir(), "program");
  CopyTree(Join(SourceDir(), "help"), Join(program, "help"));
  ASSERT_TRUE(SetCurrentDirectoryA(program.c_str()));
  for (const char* page : {"index.html", "Form1_page_RCS.html", "Form1_page_Expert.html", "Form1_page_Wizard.html",
                           "Form1_page_Options.html", "Form1_page_About.html", "Form2.html", "Form3.html",
                           "Form4.html", "form_Help.html"}) {
    EXPECT_EQ(MessageOf([page] { form_Help->OpenHelpPage(page); }), "<no exception>") << page;
    EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), page)) << form_Help->htmlview_Help->CurrentFile();
    EXPECT_NE(form_Help->htmlview_Help->DocumentTitle().find("Morvane Help"), std::string::npos) << page;
  }

  // Contents, then one page further and back.
  SendMessageA(form_Help->Button1->Handle(), BM_CLICK, 0, 0);
  Pump(100);
  EXPECT_TRUE(form_Help->Visible());
  EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), "index.html"));
  Screenshot("apphelp_index");
  form_Help->OpenHelpPage("Form1_page_Wizard.html");
  Pump(100);
  Screenshot("apphelp_wizard");
  SendMessageA(form_Help->Button2->Handle(), BM_CLICK, 0, 0);
  Pump(50);
  EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), "index.html"));

  // Esc hides it and keeps the page.
  SendMessageA(form_Help->htmlview_Help->Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  Pump(50);
  EXPECT_FALSE(form_Help->Visible());
  EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), "index.html"));

  // A fresh window has one page in its history: Go Back does nothing.
  delete form_Help;
  form_Help = new Tform_Help(Application);
  EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), "index.html"));
  SendMessageA(form_Help->Button2->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(EndsWith(form_Help->htmlview_Help->CurrentFile(), "index.html"));
  delete form_Help;
  form_Help = nullptr;
}
