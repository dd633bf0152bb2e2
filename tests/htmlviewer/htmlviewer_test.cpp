// The viewer on one form, shown once: pages from a documentation package
// and the project's own help-like pages, links and history, scroll bars and
// 32-bit scrolling, selection, errors that must leave the viewer working,
// form submissions, and the htmlshot tool's picture.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "classes.h"
#include "gui_test_support.h"
#include "htmlcanvas.h"
#include "htmlscan.h"
#include "htmlsections.h"
#include "htmltables.h"
#include "htmltext.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/htmlimages.h"
#include "win/htmlviewer.h"

using testsupport::Join;
using testsupport::Pump;
using testsupport::ScratchDir;
using testsupport::ScreenPixel;
using testsupport::WriteFileText;

namespace {

class ViewerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(20, 20, 520, 420);
    viewer = new THTMLViewer(form);
    viewer->SetParent(form);
    viewer->SetBounds(0, 0, 500, 380);
    form->Show();
    Pump(100);
  }
  static void TearDownTestSuite() {
    delete form;
    form = nullptr;
  }
  void SetUp() override {
    // An error shown by a message handler must not wait for a click.
    Application->MessageBoxFunction = [this](HWND, const std::string& t, const std::string&, UINT) {
      shown.push_back(t);
      return IDOK;
    };
    viewer->OnHotSpotClick = nullptr;
    viewer->SetOnFormSubmit(nullptr);
    viewer->SetHistoryMaxCount(0);
    viewer->Clear();
  }

  void TearDown() override { Application->MessageBoxFunction = nullptr; }

  std::vector<std::string> shown;

  static std::string Page(const std::string& name, const std::string& html) {
    std::string path = Join(ScratchDir(), name);
    WriteFileText(path, html);
    return path;
  }

  // The panel point of the first character of text in the document.
  static POINT PointOf(const std::string& text) {
    htmlsubs::TSectionList& doc = viewer->Document();
    int pos = doc.SearchText(0, text, true);
    EXPECT_GE(pos, 0) << text;
    int x = 0, y = 0;
    EXPECT_TRUE(doc.PointOfPosition(htmlsubs::ScreenMeasure(), pos + 1, x, y)) << text;
    return POINT{x + 10 - viewer->HScrollBar().Position(), y - doc.ScrollTop + 4};
  }

  static void Click(POINT p) {
    HWND panel = viewer->PaintPanel().Handle();
    SendMessageA(panel, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Pump(30);
  }

  static std::string FileName(const std::string& path) {
    size_t s = path.find_last_of("\\/");
    return LowerCase(s == std::string::npos ? path : path.substr(s + 1));
  }

  static TForm* form;
  static THTMLViewer* viewer;
};

TForm* ViewerTest::form = nullptr;
THTMLViewer* ViewerTest::viewer = nullptr;

TEST_F(ViewerTest, RealAndProjectPagesLoadAndPaint) {
  const std::string xfig = Join(testsupport::SourceDir(), "build\\testdata\\gifs\\xfig-doc\\root\\usr\\share\\doc\\xfig\\html");
  // The package's pages come from scripts/fetch-testdata.sh.
  const bool haveXfig = FileExists(Join(xfig, "index.html"));
  std::vector<std::string> pages;
  for (const char* seed : {"help.html", "fonts.html", "nested.html"})
    pages.push_back(Join(testsupport::SourceDir(), std::string("tests\\htmlparse\\corpus\\") + seed));
  if (haveXfig)
    for (const char* name : {"index.html", "drawing.html", "fig-format.html", "frm_faq.html", "screen_image_map.html",
                             "but_frm_drawing.html"})
      pages.push_back(Join(xfig, name));
  for (const std::string& p : pages) {
    ASSERT_TRUE(FileExists(p)) << p;
    viewer->LoadFromFile(p);
    Pump(50);
    EXPECT_FALSE(viewer->Processing());
    EXPECT_GT(viewer->MaxVertical(), 0) << p;
    EXPECT_GT(viewer->Document().Count(), 0) << p;
  }
  // A page of the package whose picture is a GIF with an image map.
  if (haveXfig) {
    viewer->LoadFromFile(Join(xfig, "but_frm_drawing.html"));
    viewer->Repaint();
    Pump(200);
    testsupport::Screenshot("htmlviewer_xfig");
  }
  viewer->LoadFromFile(pages[0]);
  viewer->Repaint();
  Pump(200);
  EXPECT_EQ(viewer->DocumentTitle(), "Creating a patch");
  testsupport::Screenshot("htmlviewer_help");
  // Keys scroll: Page Down moves by a page, Down by one line, Home to 0.
  viewer->SetFocus();
  viewer->Perform(WM_KEYDOWN, VK_NEXT, 0);
  const int page = viewer->VScrollBar().Position32();
  EXPECT_EQ(page, std::min(viewer->VScrollBar().LargeChange, viewer->MaxVertical() - viewer->PaintPanel().Height()));
  viewer->Perform(WM_KEYDOWN, VK_HOME, 0);
  viewer->Perform(WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(viewer->VScrollBar().Position32(), 16);
  EXPECT_EQ(viewer->Document().ScrollTop, 16);
  EXPECT_EQ(viewer->Perform(WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
  if (!haveXfig) GTEST_SKIP() << "the xfig-doc pages are absent: run scripts/fetch-testdata.sh";
}

TEST_F(ViewerTest, LinksAnchorsAndHistory) {
  std::string filler;
  for (int i = 0; i < 80; ++i) filler += "line " + std::to_string(i) + "<br>";
  const std::string a = Page("a.htm", "<title>A</title><a href=\"b.htm#Part\">to b</a> <a href=\"#low\">down</a> "
                                      "<a href=\"pic.jpeg\">pic</a> <a href=\"notes.txt\">notes</a><br>" +
                                          filler + "<a name=low>low here</a>" + filler);
  const std::string b = Page("b.htm", "<title>B</title>" + filler + "<a name=part>part here</a>" + filler);
  const std::string c = Page("c.htm", "<title>C</title>c");
  Page("notes.txt", "text");
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "30x20", "xc:navy", testsupport::ToUnixPath(Join(ScratchDir(), "pic.jpeg"))}), 0);
  std::string covered;
  viewer->OnHotSpotCovered = [&](TObject*, const std::string& src) { covered = src; };
  viewer->SetHistoryMaxCount(10);
  viewer->LoadFromFile(a);
  viewer->ClearHistory();

  // Covering a link reports it; the cursor is the link cursor.
  POINT toB = PointOf("to b");
  SendMessageA(viewer->PaintPanel().Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(toB.x, toB.y));
  EXPECT_EQ(covered, "b.htm#Part");
  EXPECT_EQ(viewer->PaintPanel().Cursor(), htmlun2::LinkCursor);

  // A "#" link scrolls within the page and records history.
  Click(PointOf("down"));
  EXPECT_EQ(FileName(viewer->CurrentFile()), "a.htm");
  const int lowTop = static_cast<htmlsubs::TSectionBase*>(viewer->NameList().Objects(viewer->NameList().IndexOf("LOW")))->LastTop;
  EXPECT_EQ(viewer->VScrollBar().Position32(), lowTop);
  EXPECT_EQ(viewer->History().Count(), 1);

  // A link to another page with a "#" part loads it at the anchor.
  viewer->ScrollTo(0);
  Click(PointOf("to b"));
  EXPECT_EQ(FileName(viewer->CurrentFile()), "b.htm");
  EXPECT_EQ(viewer->DocumentTitle(), "B");
  int index = viewer->NameList().IndexOf("PART");
  ASSERT_GE(index, 0);
  EXPECT_GT(viewer->VScrollBar().Position32(), 0);
  EXPECT_EQ(viewer->VScrollBar().Position32(),
            static_cast<htmlsubs::TSectionBase*>(viewer->NameList().Objects(index))->LastTop);
  EXPECT_EQ(FileName(viewer->History()[0]), "b.htm");
  EXPECT_EQ(FileName(viewer->History()[1]), "a.htm");

  // Reloading the same file keeps the position; another file starts at 0.
  const int kept = viewer->VScrollBar().Position32();
  viewer->LoadFromFile(b);
  EXPECT_EQ(viewer->VScrollBar().Position32(), kept);
  viewer->LoadFromFile(a);
  EXPECT_EQ(viewer->VScrollBar().Position32(), 0);

  // A .txt link does nothing; a .jpeg link shows the image alone.
  Click(PointOf("notes"));
  EXPECT_EQ(FileName(viewer->CurrentFile()), "a.htm");
  Click(PointOf("pic"));
  EXPECT_EQ(FileName(viewer->CurrentFile()), "pic.jpeg");
  EXPECT_EQ(viewer->FileType(), 2);

  // History limited to two: A, B, C leaves C, B; loading B then B, C.
  viewer->SetHistoryMaxCount(2);
  EXPECT_EQ(viewer->History().Count(), 0);
  viewer->LoadFromFile(a);
  viewer->LoadFromFile(b);
  viewer->LoadFromFile(c);
  ASSERT_EQ(viewer->History().Count(), 2);
  EXPECT_EQ(FileName(viewer->History()[0]), "c.htm");
  EXPECT_EQ(FileName(viewer->History()[1]), "b.htm");
  EXPECT_EQ(viewer->TitleHistory()[1], "B");
  viewer->LoadFromFile(viewer->History()[1]);
  ASSERT_EQ(viewer->History().Count(), 2);
  EXPECT_EQ(FileName(viewer->History()[0]), "b.htm");
  EXPECT_EQ(FileName(viewer->History()[1]), "c.htm");
  viewer->OnHotSpotCovered = nullptr;
  EXPECT_TRUE(shown.empty()) << shown[0];
}

// The images of a cell and of the tables in it, in document order.
void ImagesOf(htmlsubs::TCell& cell, std::vector<htmlsubs::TImageObj*>& out) {
  for (int i = 0; i < cell.Count(); ++i) {
    if (auto* s = dynamic_cast<htmlsubs::TSection*>(cell.Section(i))) {
      for (int p = 0; p < s->Pictures.Count(); ++p)
        if (auto* image = dynamic_cast<htmlsubs::TImageObj*>(s->Pictures.Picture(p))) out.push_back(image);
    } else if (auto* t = dynamic_cast<htmlsubs::ThtmlTable*>(cell.Section(i))) {
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (int c = 0; c < t->Row(r)->Count(); ++c) ImagesOf(t->Row(r)->CellObj(c)->Cell, out);
    }
  }
}

TEST_F(ViewerTest, ImagesInTableCellsAnswerClicksLikeImagesOutside) {
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "40x30", "xc:red", testsupport::ToUnixPath(Join(ScratchDir(), "cellpic.gif"))}), 0);
  const std::string page = Page("cells.htm",
      "<a href=\"top.htm\"><img src=cellpic.gif width=40 height=30></a>"
      "<table border=1 cellpadding=4><tr><td>some words first<td><a href=\"cell.htm\"><img src=cellpic.gif width=40 height=30></a>"
      "<td><img src=cellpic.gif width=40 height=30 usemap=\"#m\"><td><a href=\"ismap.htm\"><img src=cellpic.gif width=40 height=30 ismap></a>"
      "</table><map name=m><area shape=rect coords=\"0,0,20,30\" href=\"left.htm\"><area shape=rect coords=\"20,0,40,30\" href=\"right.htm\"></map>"
      "<form action=go.htm><table><tr><td>pick a point<td><input type=image name=pt src=cellpic.gif width=40 height=30></table>"
      "<textarea name=t rows=3 cols=20>line one\r\nline two</textarea></form>");
  std::vector<std::string> clicked, submitted;
  viewer->OnHotSpotClick = [&](TObject*, const std::string& url, bool& handled) {
    clicked.push_back(url);
    handled = true;
  };
  viewer->SetOnFormSubmit([&](TObject*, const std::string& action, const std::string&, TStringList* results) {
    std::string s = action;
    for (int i = 0; i < results->Count(); ++i) s += " " + (*results)[i];
    submitted.push_back(s);
    delete results;
  });
  viewer->LoadFromFile(page);
  viewer->PaintPanel().Repaint();
  Pump(50);
  std::vector<htmlsubs::TImageObj*> images;
  ImagesOf(viewer->Document(), images);
  ASSERT_EQ(images.size(), 5u);
  auto at = [&](htmlsubs::TImageObj* image, int dx, int dy) {
    return POINT{image->ShownX + dx, image->ShownY - viewer->Document().ScrollTop + dy};
  };
  // Near the left edge too: a hit is measured from where the image was drawn.
  Click(at(images[0], 3, 5));
  Click(at(images[1], 3, 5));
  Click(at(images[1], 36, 25));
  Click(at(images[2], 5, 5));
  Click(at(images[2], 30, 5));
  Click(at(images[3], 7, 9));
  std::string all;
  for (const std::string& url : clicked) all += (all.empty() ? "" : "|") + url;
  EXPECT_EQ(all, "top.htm|cell.htm|cell.htm|left.htm|right.htm|ismap.htm?7,9");

  // An image input in a cell submits its form with the point clicked; the
  // text area shows the text it was given.
  Click(at(images[4], 6, 11));
  Pump(50);
  ASSERT_EQ(submitted.size(), 1u);
  EXPECT_NE(submitted[0].find("pt.x=6"), std::string::npos) << submitted[0];
  EXPECT_NE(submitted[0].find("pt.y=11"), std::string::npos) << submitted[0];
  EXPECT_NE(submitted[0].find("line one"), std::string::npos) << submitted[0];
  HWND memo = FindWindowExA(viewer->PaintPanel().Handle(), nullptr, "Edit", nullptr);
  ASSERT_NE(memo, nullptr);
  char text[100] = {};
  GetWindowTextA(memo, text, sizeof text);
  EXPECT_STREQ(text, "line one\r\nline two");
  EXPECT_TRUE(shown.empty()) << shown[0];
}

TEST_F(ViewerTest, ScrollBarsFollowTheDocumentHeight) {
  // The image box sets the height: measure the constant once.
  auto load = [&](int h) {
    std::string html = "<img src=none.gif width=20 height=" + std::to_string(h) + ">";
    viewer->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
    return viewer->MaxVertical();
  };
  const int extra = load(100) - 100;
  const int H = viewer->Height();
  EXPECT_EQ(load(H - 3 - extra), H - 3);
  EXPECT_FALSE(viewer->VScrollBar().Visible());
  EXPECT_EQ(viewer->PaintPanel().Width(), viewer->Width() - 2);
  EXPECT_EQ(load(H - 2 - extra), H - 2);
  EXPECT_TRUE(viewer->VScrollBar().Visible());
  EXPECT_EQ(viewer->PaintPanel().Width(), viewer->Width() - 2 - GetSystemMetrics(SM_CXVSCROLL));
  // The bar's info is sent once for an unchanged set.
  const int calls = viewer->VScrollBar().InfoCalls;
  viewer->Reformat();
  EXPECT_EQ(viewer->VScrollBar().InfoCalls, calls);
}

TEST_F(ViewerTest, ATallDocumentScrollsToItsEndByThumbTracking) {
  std::string html;
  for (int i = 0; i < 6; ++i) html += "<img src=none.gif width=20 height=8000><br>";
  viewer->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
  ASSERT_GT(viewer->MaxVertical(), 40000);
  T32ScrollBar& bar = viewer->VScrollBar();
  ASSERT_TRUE(bar.Visible());
  // Drag the thumb from the top of the bar past its bottom: the bar's own
  // tracking loop reads the move and the release queued for it.
  HWND h = bar.Handle();
  const LPARAM from = MAKELPARAM(bar.Width() / 2, bar.Width() + 4);
  const LPARAM to = MAKELPARAM(bar.Width() / 2, bar.Height() + 10);
  PostMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, to);
  PostMessageA(h, WM_LBUTTONUP, 0, to);
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, from);
  Pump(50);
  const int end = viewer->MaxVertical() - viewer->PaintPanel().Height();
  EXPECT_EQ(bar.Position32(), end);
  EXPECT_EQ(viewer->Document().ScrollTop, end);
  // Line steps from the arrows are 16 pixels, 32-bit too.
  viewer->Perform(WM_VSCROLL, SB_LINEUP, reinterpret_cast<LPARAM>(bar.Handle()));
  EXPECT_EQ(bar.Position32(), end - 16);
}

TEST_F(ViewerTest, TheBackgroundTileFollowsTheScrollPosition) {
  // A 10 x 10 tile, red in its top five rows and blue below.
  const std::string tile = Join(ScratchDir(), "tile.bmp");
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "10x10", "xc:blue", "-fill", "red", "-draw",
                                                       "rectangle 0,0 9,4", "-type", "TrueColor",
                                                       "BMP3:" + testsupport::ToUnixPath(tile)}),
            0);
  std::string lines;
  for (int i = 0; i < 200; ++i) lines += "line<br>";
  const std::string page = Page("tiled.htm", "<body background=tile.bmp>" + lines);
  viewer->LoadFromFile(page);
  TPaintPanel& panel = viewer->PaintPanel();
  const int x = panel.Width() - 4;
  panel.Repaint();
  Pump(30);
  EXPECT_EQ(ScreenPixel(&panel, x, 0), RGB(255, 0, 0));
  EXPECT_EQ(ScreenPixel(&panel, x, 5), RGB(0, 0, 255));
  viewer->ScrollTo(5);
  panel.Repaint();
  Pump(30);
  EXPECT_EQ(ScreenPixel(&panel, x, 0), RGB(0, 0, 255));
  EXPECT_EQ(ScreenPixel(&panel, x, 5), RGB(255, 0, 0));

  // A width change lays the page out again and keeps the section at the top.
  viewer->ScrollTo(600);
  const int before = viewer->Position();
  viewer->SetWidth(420);
  Pump(30);
  EXPECT_EQ(viewer->Position() >> 16, before >> 16);
  viewer->SetWidth(500);
  Pump(30);
}

TEST_F(ViewerTest, DoubleClickSelectsAWord) {
  const std::string html = "<p>alpha beta42 gamma</p>";
  viewer->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
  viewer->SetFocus();
  POINT p = PointOf("beta42");
  p.x += 6;
  HWND panel = viewer->PaintPanel().Handle();
  SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageA(panel, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(viewer->SelText(), "beta42");
  // A drag selects across words, from boundary to boundary.
  htmlsubs::TSectionList& doc = viewer->Document();
  auto boundary = [&](const std::string& text) {
    int x = 0, y = 0;
    doc.PointOfPosition(htmlsubs::ScreenMeasure(), doc.SearchText(0, text, true), x, y);
    return MAKELPARAM(x + 10 + 1, y - doc.ScrollTop + 4);
  };
  SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, boundary("alpha"));
  SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, boundary("gamma"));
  SendMessageA(panel, WM_LBUTTONUP, 0, boundary("gamma"));
  EXPECT_EQ(viewer->SelText(), "alpha beta42 ");
  viewer->SetNoSelect(true);
  EXPECT_EQ(viewer->SelText(), "");
  viewer->SetNoSelect(false);
}

TEST_F(ViewerTest, DraggingBelowTheViewerScrollsAndTheReleaseOutsideEndsThePress) {
  std::string html;
  for (int i = 0; i < 200; ++i) html += "line " + std::to_string(i) + " of the long page<br>";
  const std::string page = Page("long.htm", html);
  viewer->LoadFromFile(page);
  ASSERT_GT(viewer->MaxVertical(), 3 * viewer->PaintPanel().Height());
  auto& panel = viewer->PaintPanel();
  htmlsubs::TSectionList& doc = viewer->Document();
  const POINT start = PointOf("line 3 ");
  const POINT below = viewer->ClientToScreen(POINT{viewer->Width() / 2, viewer->Height() + 25});

  // Press on the text, drag to below the viewer and hold, then let go
  // there. The viewer scrolls in a loop of its own while the button is
  // held, so the hand is another thread.
  testsupport::SendMouse(panel.ClientToScreen(start), 0);
  testsupport::SendMouse(panel.ClientToScreen(start), MOUSEEVENTF_LEFTDOWN);
  std::thread hand([below]() {
    INPUT in = testsupport::MouseInput(below, 0);
    SendInput(1, &in, sizeof in);
    Sleep(150);
    // The display may still report the press's position once after the
    // first move; a hand holding the button moves on a little.
    in = testsupport::MouseInput(POINT{below.x, below.y + 10}, 0);
    SendInput(1, &in, sizeof in);
    Sleep(700);
    in = testsupport::MouseInput(below, MOUSEEVENTF_LEFTUP);
    SendInput(1, &in, sizeof in);
  });
  const DWORD until = GetTickCount() + 1200;
  while (static_cast<int>(until - GetTickCount()) > 0) Pump(20);
  hand.join();
  Pump(100);

  // The page scrolled and the selection followed it past the panel's
  // first view; the release outside the viewer ended the press and the
  // scrolling.
  const int scrolled = viewer->VScrollBar().Position32();
  EXPECT_GT(scrolled, 0);
  int x = 0, y = 0;
  ASSERT_TRUE(doc.PointOfPosition(htmlsubs::ScreenMeasure(), doc.SelEndPos, x, y));
  EXPECT_GT(y, panel.Height());
  EXPECT_GE(y, scrolled);
  EXPECT_LE(std::abs(doc.SelStartPos - (doc.SearchText(0, "line 3 ", true) + 1)), 1);
  Pump(300);
  EXPECT_EQ(viewer->VScrollBar().Position32(), scrolled);
  EXPECT_EQ(GetCapture(), nullptr);
  const std::string selected = viewer->SelText();
  EXPECT_NE(selected.find("line 4 "), std::string::npos);

  // A press outside the viewer that drags into it leaves that selection.
  const POINT outside = form->ClientToScreen(POINT{form->ClientWidth() - 5, form->ClientHeight() - 5});
  testsupport::SendMouse(outside, 0);
  testsupport::SendMouse(outside, MOUSEEVENTF_LEFTDOWN);
  testsupport::SendMouse(panel.ClientToScreen(POINT{60, 100}), 0);
  testsupport::SendMouse(panel.ClientToScreen(POINT{20, 20}), 0);
  testsupport::SendMouse(panel.ClientToScreen(POINT{20, 20}), MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(viewer->SelText(), selected);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ViewerTest, GoingBackTakesThePagesPicturesFromTheCache) {
  const std::string pic = Join(ScratchDir(), "cached.bmp");
  auto makePicture = [&]() {
    ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "37x23", "xc:red", "BMP3:" + testsupport::ToUnixPath(pic)}), 0);
  };
  const std::string withPicture = Page("pictured.htm", "<p>before<img src=\"cached.bmp\">after");
  const std::string other = Page("other.htm", "<p>no pictures here");
  auto picture = [&]() {
    std::vector<htmlsubs::TImageObj*> images;
    ImagesOf(viewer->Document(), images);
    return images.size() == 1 ? images[0] : nullptr;
  };
  viewer->SetHistoryMaxCount(10);
  for (int count : {5, 0}) {
    viewer->SetImageCacheCount(count);
    makePicture();
    viewer->LoadFromFile(withPicture);
    ASSERT_NE(picture(), nullptr);
    EXPECT_FALSE(picture()->IsPlaceholder());
    EXPECT_EQ(picture()->PicWidth, 37);
    viewer->LoadFromFile(other);
    // Once read, the picture is not read again while the cache keeps it.
    std::remove(pic.c_str());
    viewer->LoadFromFile(viewer->History()[1]);
    EXPECT_EQ(FileName(viewer->CurrentFile()), "pictured.htm");
    ASSERT_NE(picture(), nullptr);
    if (count > 0) {
      EXPECT_FALSE(picture()->IsPlaceholder()) << count;
      EXPECT_EQ(picture()->PicWidth, 37);
    } else {
      EXPECT_TRUE(picture()->IsPlaceholder()) << "a cache of 0 keeps nothing no page uses";
    }
    viewer->LoadFromFile(other);
  }
  viewer->SetImageCacheCount(5);
  EXPECT_TRUE(shown.empty());
}

TEST_F(ViewerTest, AnUnusedPictureSurvivesExactlyTheCacheCountOfLoads) {
  // Another viewer set the shared cache to keep nothing; a new viewer's
  // own count holds from its start.
  viewer->SetImageCacheCount(0);
  auto* v = new THTMLViewer(form);
  v->SetParent(form);
  v->SetBounds(0, 0, 300, 200);
  const int count = v->ImageCacheCount();
  EXPECT_EQ(count, 5);
  const std::string pic = Join(ScratchDir(), "kept.bmp");
  const std::string withPicture = Page("kept.htm", "<p>before<img src=\"kept.bmp\">after");
  const std::string other = Page("plain.htm", "<p>no pictures here");
  // The going back is itself the last of the further loads.
  for (int loads : {count, count + 1}) {
    ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "19x11", "xc:blue", "BMP3:" + testsupport::ToUnixPath(pic)}), 0);
    v->LoadFromFile(withPicture);
    std::remove(pic.c_str());
    for (int i = 1; i < loads; ++i) v->LoadFromFile(other);
    v->LoadFromFile(withPicture);
    std::vector<htmlsubs::TImageObj*> images;
    ImagesOf(v->Document(), images);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0]->IsPlaceholder(), loads > count) << loads << " loads";
  }
  delete v;
  viewer->SetImageCacheCount(5);
  EXPECT_TRUE(shown.empty());
}

TEST_F(ViewerTest, LayingAPageWithFormControlsOutAgainMovesNothing) {
  const std::string controls =
      "<select name=s><option>one<option selected>a longer option</select> <input name=q size=12>"
      "<input type=submit><input type=checkbox name=c><input type=radio name=r>"
      "<select name=m size=3><option>a<option>b</select><textarea rows=2 cols=10>t</textarea>";
  const std::string html = "<form>" + controls + "<table border=1><tr><td>" + controls + "<td>x</table></form><p>after";
  // The document's size and every control window's place, as drawn.
  auto laid = [](THTMLViewer* v) {
    v->PaintPanel().Repaint();
    Pump(50);
    std::ostringstream out;
    out << v->MaxVertical() << " " << v->MaxHScroll();
    HWND panel = v->PaintPanel().Handle();
    for (HWND w = GetWindow(panel, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
      RECT r;
      GetWindowRect(w, &r);
      MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
      char cls[32] = {};
      GetClassNameA(w, cls, sizeof cls);
      out << " " << cls << ":" << r.left << "," << r.top << "," << r.right - r.left << "x" << r.bottom - r.top;
    }
    return out.str();
  };
  viewer->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
  const std::string first = laid(viewer);
  EXPECT_NE(first.find("ComboBox:"), std::string::npos) << first;
  viewer->Reformat();
  EXPECT_EQ(laid(viewer), first);
  viewer->Reformat();
  EXPECT_EQ(laid(viewer), first);
  viewer->SetBounds(0, 0, 250, 380);
  const std::string narrow = laid(viewer);
  viewer->Reformat();
  EXPECT_EQ(laid(viewer), narrow);
  viewer->SetBounds(0, 0, 500, 380);
  EXPECT_EQ(laid(viewer), first);

  // A page loaded before its viewer is shown is laid out before the
  // control windows exist; shown, it must look the same.
  auto* hiddenForm = new TForm(Application);
  hiddenForm->SetBounds(20, 20, 520, 420);
  auto* v = new THTMLViewer(hiddenForm);
  v->SetParent(hiddenForm);
  v->SetBounds(0, 0, 500, 380);
  v->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
  hiddenForm->Show();
  Pump(50);
  EXPECT_EQ(laid(v), first);
  v->Reformat();
  EXPECT_EQ(laid(v), first);
  delete hiddenForm;
}

TEST_F(ViewerTest, ErrorsLeaveTheViewerWorking) {
  int processingOn = 0;
  viewer->OnProcessing = [&](TObject*, bool on) { processingOn += on ? 1 : -1; };
  const std::string open = "<h1>x</h1><ul><li>item <!-- never closed";
  EXPECT_THROW(viewer->LoadFromBuffer(open.data(), static_cast<int>(open.size())), readhtml::EParseError);
  EXPECT_FALSE(viewer->Processing());
  EXPECT_EQ(processingOn, 0);
  EXPECT_EQ(viewer->Document().Count(), 0);
  const std::string good = "<body bgcolor=white>fine";
  viewer->LoadFromBuffer(good.data(), static_cast<int>(good.size()));
  EXPECT_EQ(viewer->Document().Count(), 1);

  EXPECT_THROW(viewer->LoadFromFile(Join(ScratchDir(), "missing.htm")), EInOutError);
  EXPECT_FALSE(viewer->Processing());
  viewer->OnProcessing = nullptr;

  // A paint whose bitmap cannot be made reports "Out of Resources"; the
  // next paint works.
  viewer->PaintPanel().FailNextBitmap = true;
  viewer->PaintPanel().Repaint();
  Pump(50);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Out of Resources.");
  viewer->PaintPanel().Repaint();
  Pump(50);
  EXPECT_EQ(ScreenPixel(&viewer->PaintPanel(), 3, viewer->PaintPanel().Height() - 3), RGB(255, 255, 255));
}

TEST_F(ViewerTest, ALayoutErrorLeavesAnEmptyPageAndTheNextLoadWorks) {
  std::string wide = "<table border=1><tr>";
  for (int i = 0; i < 31; ++i) wide += "<td>c" + std::to_string(i);
  wide += "</table>";
  const std::string bad = Page("wide.htm", "<title>Wide</title>" + wide);
  try {
    viewer->LoadFromFile(bad);
    ADD_FAILURE() << "no error";
  } catch (const htmlsubs::EProcessError& e) {
    EXPECT_EQ(e.Message(), "Table has too many Columns");
  }
  EXPECT_FALSE(viewer->Processing());
  EXPECT_EQ(viewer->Document().Count(), 0);
  viewer->PaintPanel().Repaint();
  Pump(30);
  EXPECT_TRUE(shown.empty());
  const std::string good = Page("fine.htm", "<body bgcolor=#0000FF><table border=1><tr><td>one<td>two</table>");
  viewer->LoadFromFile(good);
  viewer->PaintPanel().Repaint();
  Pump(50);
  EXPECT_GT(viewer->MaxVertical(), 0);
  EXPECT_EQ(ScreenPixel(&viewer->PaintPanel(), viewer->PaintPanel().Width() - 5, viewer->PaintPanel().Height() - 5),
            RGB(0, 0, 255));
  EXPECT_TRUE(shown.empty());
}

TEST_F(ViewerTest, QuickEnterPressesDeliverEverySubmission) {
  std::vector<std::string> got;
  viewer->SetOnFormSubmit([&](TObject* sender, const std::string& action, const std::string& method, TStringList* results) {
    EXPECT_EQ(sender, viewer);
    got.push_back(action + " " + method + " " + (results->Count() ? (*results)[0] : std::string()));
    delete results;
  });
  const std::string html = "<form action=find method=post><input name=q value=word></form>";
  viewer->LoadFromBuffer(html.data(), static_cast<int>(html.size()));
  viewer->PaintPanel().Repaint();
  Pump(50);
  HWND edit = FindWindowExA(viewer->PaintPanel().Handle(), nullptr, "Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  // Both presses arrive before the viewer's posted messages are handled.
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageA(edit, WM_CHAR, '\r', 0);
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageA(edit, WM_CHAR, '\r', 0);
  EXPECT_EQ(viewer->PendingSubmissions(), 2u);
  Pump(50);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "find post q=word");
  EXPECT_EQ(got[1], "find post q=word");
  EXPECT_EQ(viewer->PendingSubmissions(), 0u);
}

TEST_F(ViewerTest, PropertiesHoldTheirBounds) {
  viewer->SetDefFontSize(3);
  EXPECT_EQ(viewer->DefFontSize(), 6);
  viewer->SetDefFontSize(12);
  viewer->SetImageCacheCount(50);
  EXPECT_EQ(viewer->ImageCacheCount(), 20);
  viewer->SetImageCacheCount(5);
  viewer->SetDefFontName(std::string(40, 'F'));
  EXPECT_EQ(viewer->DefFontName(), std::string(31, 'F'));
  viewer->SetDefFontName("Times New Roman");
  int changes = 0;
  viewer->OnHistoryChange = [&](TObject*) { ++changes; };
  viewer->SetHistoryMaxCount(3);
  viewer->LoadFromFile(Page("h1.htm", "one"));
  viewer->LoadFromFile(Page("h2.htm", "two"));
  EXPECT_EQ(changes, 2);
  viewer->SetHistoryMaxCount(1);
  EXPECT_EQ(viewer->History().Count(), 0);
  EXPECT_EQ(changes, 3);
  viewer->OnHistoryChange = nullptr;

  // Text sources: a text file and strings as text become preformatted lines.
  viewer->LoadTextFile(Page("notes.txt", "<b>not bold</b>\r\nsecond"));
  EXPECT_EQ(viewer->FileType(), 1);
  EXPECT_EQ(viewer->Document().SearchText(0, "<b>not bold</b>", true) >= 0, true);
  TStringList lines;
  lines.Add("<i>one</i>");
  lines.Add("two");
  viewer->LoadStrings(&lines, true);
  EXPECT_EQ(viewer->CurrentFile(), "");
  EXPECT_GE(viewer->Document().SearchText(0, "<i>one</i>", true), 0);
  viewer->LoadStrings(&lines);
  EXPECT_LT(viewer->Document().SearchText(0, "<i>", true), 0);
  EXPECT_GE(viewer->Document().SearchText(0, "one", true), 0);
  viewer->LoadFromFile(Page("h3.htm", "three"));

  // Link names: relative to the page's folder, URL forms made file names,
  // and left alone under the base "DosPath".
  EXPECT_TRUE(SameText(viewer->HTMLExpandFilename(" sub/x.htm "), Join(ScratchDir(), "sub\\x.htm")));
  EXPECT_EQ(viewer->HTMLExpandFilename("c:\\a\\b.htm"), "c:\\a\\b.htm");
  const std::string dos = "<base href=dospath>x";
  viewer->LoadFromBuffer(dos.data(), static_cast<int>(dos.size()));
  EXPECT_EQ(viewer->Base(), "dospath");
  EXPECT_EQ(viewer->HTMLExpandFilename("sub\\x.htm"), "sub\\x.htm");
}

TEST_F(ViewerTest, AnImageFileWithALongPathLoadsWhole) {
  // A folder name that takes the path past 245 characters (within 259).
  std::string dir = ScratchDir();
  dir = Join(dir, std::string(250 - dir.size() - 10, 'd'));
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string gif = Join(dir, "p.gif");
  ASSERT_GT(gif.size(), 245u);
  ASSERT_LT(gif.size(), 260u);
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "12x10", "xc:red", testsupport::ToUnixPath(gif)}), 0);
  viewer->LoadImageFile(gif);
  EXPECT_EQ(viewer->FileType(), 2);
  auto* s = dynamic_cast<htmlsubs::TSection*>(viewer->Document().Section(0));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->Pictures.Count(), 1);
  auto* image = static_cast<htmlsubs::TImageObj*>(s->Pictures.Items(0));
  viewer->PaintPanel().Repaint();
  Pump(30);
  EXPECT_NE(image->Image, nullptr);
  EXPECT_NE(image->Image, static_cast<TObject*>(htmlun2::ErrorBitMap));
  EXPECT_EQ(image->BoxWidth, 12);
}

TEST_F(ViewerTest, HtmlShotWritesTheViewersPicture) {
  // A 40 x 30 GIF, red on the left, blue on the right, over a lime page.
  const std::string dir = ScratchDir();
  const std::string gifUnix = testsupport::ToUnixPath(Join(dir, "two.gif"));
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "40x30", "xc:red", "-fill", "blue", "-draw",
                                                       "rectangle 20,0 39,29", gifUnix}),
            0);
  const std::string page = Page("shot.htm", "<title>Shot</title><body bgcolor=#00FF00><img src=two.gif><p>text</p>");
  const std::string bmp = Join(dir, "shot.bmp"), txt = Join(dir, "shot.txt");
  std::string out;
  const std::string exe = Join(testsupport::BuildDir(), "tests\\tools\\htmlshot\\htmlshot.exe");
  ASSERT_EQ(testsupport::RunWindows("\"" + exe + "\" --text \"" + txt + "\" \"" + page + "\" 300 200 \"" + bmp + "\"", &out),
            0)
      << out;
  EXPECT_NE(out.find("title: Shot"), std::string::npos) << out;
  EXPECT_NE(out.find("height: "), std::string::npos) << out;
  std::vector<uint8_t> b = testsupport::ReadFileBytes(bmp);
  ASSERT_GT(b.size(), 54u);
  const int w = *reinterpret_cast<const int32_t*>(&b[18]), h = *reinterpret_cast<const int32_t*>(&b[22]);
  ASSERT_EQ(w, 300);
  ASSERT_EQ(h, 200);
  const int stride = (w * 3 + 3) / 4 * 4;
  auto pixel = [&](int x, int y) {
    const uint8_t* p = &b[54 + static_cast<size_t>(h - 1 - y) * stride + static_cast<size_t>(x) * 3];
    return RGB(p[2], p[1], p[0]);
  };
  // Find the picture's red left half and blue right half on the lime page.
  int redX = -1, redY = -1;
  for (int y = 0; y < 60 && redX < 0; ++y)
    for (int x = 0; x < 80; ++x)
      if (pixel(x, y) == RGB(255, 0, 0)) {
        redX = x;
        redY = y;
        break;
      }
  ASSERT_GE(redX, 0);
  EXPECT_EQ(pixel(redX + 25, redY + 5), RGB(0, 0, 255));
  EXPECT_EQ(pixel(redX + 45, redY + 5), RGB(0, 255, 0));
  EXPECT_EQ(pixel(150, 190), RGB(0, 255, 0));
  std::vector<uint8_t> t = testsupport::ReadFileBytes(txt);
  EXPECT_NE(std::string(t.begin(), t.end()).find("text"), std::string::npos);
  testsupport::WriteFileBytes(Join(testsupport::BuildDir(), "screenshots\\htmlshot.bmp"), b);
}

}  // namespace
