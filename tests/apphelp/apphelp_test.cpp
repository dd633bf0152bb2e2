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
#include "htmlcanvas.h"
#include "htmlsections.h"
#include "win/htmlviewer.h"
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

// A link whose path escapes its blank as "%20", clicked in the help window,
// opens the page in the folder with the blank.
TEST(HelpWindow, LinkWithAnEscapedBlankOpensItsPage) {
  Application->Initialize();
  const std::string program = Join(ScratchDir(), "escaped links");
  const std::string help = Join(program, "help");
  MakeDirs(Join(help, "sub dir"));
  const auto write = [](const std::string& path, const std::string& html) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fputs(html.c_str(), f);
    std::fclose(f);
  };
  write(Join(help, "index.html"),
        "<html><head><title>Morvane Help</title></head><body>"
        "<a href=\"sub%20dir/p1.html\">FOLLOWME to the page</a></body></html>");
  write(Join(Join(help, "sub dir"), "p1.html"),
        "<html><head><title>Morvane Help: the page</title></head><body>Arrived.</body></html>");
  ASSERT_TRUE(SetCurrentDirectoryA(program.c_str()));
  Application->CreateForm(form_Help);
  ASSERT_NE(form_Help, nullptr);
  form_Help->Show();
  ASSERT_EQ(MessageOf([] { form_Help->OpenHelpPage("index.html"); }), "<no exception>");
  Pump(100);

  THTMLViewer* viewer = form_Help->htmlview_Help;
  htmlsubs::TSectionList& doc = viewer->Document();
  const int pos = doc.SearchText(0, "FOLLOWME", true);
  ASSERT_GE(pos, 0);
  int x = 0, y = 0;
  ASSERT_TRUE(doc.PointOfPosition(htmlsubs::ScreenMeasure(), pos + 1, x, y));
  const LPARAM at = MAKELPARAM(x + 10, y - doc.ScrollTop + 4);
  HWND panel = viewer->PaintPanel().Handle();
  std::string error = "<no exception>";
  try {
    SendMessageA(panel, WM_MOUSEMOVE, 0, at);
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(panel, WM_LBUTTONUP, 0, at);
    Pump(100);
  } catch (const std::exception& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "<no exception>");
  EXPECT_TRUE(EndsWith(viewer->CurrentFile(), "\\sub dir\\p1.html")) << viewer->CurrentFile();
  EXPECT_EQ(viewer->DocumentTitle(), "Morvane Help: the page");
  delete form_Help;
  form_Help = nullptr;
}
