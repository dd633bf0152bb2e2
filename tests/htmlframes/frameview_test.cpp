// The frame viewer on a real form under Wine: a nested frame set loaded from
// files and laid out by its ROWS and COLS, an image frame, the document
// requests, link targets followed from real mouse messages (the clicked
// frame is freed by some of them), a frame set that includes itself, the
// history and border dragging.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "htmlsections.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/frameview.h"

using namespace framview;
using testsupport::Pump;

namespace {

constexpr int kWidth = 804, kHeight = 404;

std::string Dir() {
  static std::string dir = testsupport::ScratchDir();
  return dir;
}

std::string PathOf(const std::string& name) { return testsupport::Join(Dir(), name); }

void Write(const std::string& name, const std::string& text) { testsupport::WriteFileText(PathOf(name), text); }

// A page whose links each fill a large line of their own.
std::string LinkPage(const std::string& title, const std::vector<std::pair<std::string, std::string>>& links) {
  std::string page = "<html><head><title>" + title + "</title></head><body><font size=7>" + title + "<br>";
  for (const auto& [href, target] : links) {
    page += "<a href=\"" + href + "\"";
    if (!target.empty()) page += " target=\"" + target + "\"";
    page += ">" + href + "</a><br>";
  }
  return page + "</font></body></html>";
}

void WritePages() {
  Write("top.htm",
        "<html><head><title>Top set</title><base target=\"a\"></head>\n"
        "<frameset cols=\"25%,75%\">\n"
        "  <frame name=\"left\" src=\"left.htm\">\n"
        "  <frameset rows=\"100,*,2*\">\n"
        "    <frame name=\"a\" src=\"a.htm\">\n"
        "    <frame name=\"b\" src=\"PIC.GIF\" noresize scrolling=\"no\">\n"
        "    <frame name=\"c\" src=\"sub.htm\">\n"
        "  </frameset>\n"
        "  <noframes>No frames</noframes>\n"
        "</frameset></html>\n");
  Write("sub.htm",
        "<frameset cols=\"*,*\"><frame name=\"s1\" src=\"inner.htm\"><frame name=\"s2\" src=\"a.htm\"></frameset>");
  Write("left.htm", LinkPage("Left", {{"b.htm", "a"}, {"nowhere.htm", "newwin"}, {"c.htm", "_self"}, {"d.htm", ""}, {"#end", "_self"}}));
  Write("inner.htm", LinkPage("Inner", {{"b.htm", "_parent"}, {"top2.htm", "_top"}}));
  Write("a.htm", "<html><head><title>A</title></head><body bgcolor=\"#FFFFC0\">Page A</body></html>");
  Write("b.htm", "<html><head><title>B</title></head><body bgcolor=\"#C0FFC0\">Page B</body></html>");
  Write("c.htm", "<html><body>Page C</body></html>");
  Write("d.htm", "<html><body>Page D</body></html>");
  Write("top2.htm", "<frameset rows=\"*,*\"><frame name=\"t1\" src=\"a.htm\"><frame name=\"t2\" src=\"b.htm\"></frameset>");
  Write("self.htm", "<frameset rows=\"20,*\"><frame src=\"a.htm\"><frame name=\"me\" src=\"self.htm\"></frameset>");
  std::string out;
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/convert", {"-size", "40x40", "xc:#FF0000", testsupport::ToUnixPath(PathOf("PIC.GIF"))}, &out), 0) << out;
}

// The frame's window rectangle in the viewer's client coordinates.
RECT RectIn(TFrameViewer* v, TControl* c) {
  POINT tl = c->ClientToScreen(POINT{0, 0});
  tl = v->ScreenToClient(tl);
  return RECT{tl.x, tl.y, tl.x + c->Width(), tl.y + c->Height()};
}

std::string TextOf(THTMLViewer* v) {
  v->SelectAll();
  std::string text = v->SelText();
  v->Document().SelStartPos = v->Document().SelEndPos = 0;
  v->PaintPanel().Invalidate();
  return text;
}

// A panel point over the link to url, found through the document.
bool FindLink(THTMLViewer* v, const std::string& url, POINT& at) {
  TPaintPanel& panel = v->PaintPanel();
  for (int y = 2; y < panel.Height(); y += 3)
    for (int x = 2; x < panel.Width(); x += 6) {
      htmlun2::TUrlTarget link;
      htmlsubs::TFormControlBase* control = nullptr;
      if (v->Document().LinkAt(htmlsubs::ScreenMeasure(), x - 10, y + v->Document().ScrollTop, link, control) &&
          link.URL == url) {
        at = POINT{x, y};
        return true;
      }
    }
  return false;
}

// A press and release on the panel as the system delivers them.
void ClickPanel(THTMLViewer* v, POINT at) {
  HWND panel = v->PaintPanel().Handle();
  const LPARAM lp = MAKELPARAM(at.x, at.y);
  SendMessageA(panel, WM_MOUSEMOVE, 0, lp);
  SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, lp);
  SendMessageA(panel, WM_LBUTTONUP, 0, lp);
}

class FrameViewerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    WritePages();
    form = new TForm(Application);
    form->SetBounds(10, 10, kWidth + 40, kHeight + 60);
    viewer = new TFrameViewer(form);
    viewer->SetParent(form);
    viewer->SetBounds(8, 8, kWidth, kHeight);
    form->Show();
    Pump(100);
  }
  static void TearDownTestSuite() {
    delete form;
    form = nullptr;
  }
  void SetUp() override {
    viewer->OnBlankWindowRequest = nullptr;
    viewer->OnStringsRequest = nullptr;
    viewer->OnFileRequest = nullptr;
    viewer->OnProcessing = nullptr;
    viewer->OnHistoryChange = nullptr;
    viewer->SetHistoryMaxCount(0);
  }
  TFrame* Named(const std::string& name) { return viewer->CurFrameSet()->FrameNamed(name); }
  static TForm* form;
  static TFrameViewer* viewer;
};

TForm* FrameViewerTest::form = nullptr;
TFrameViewer* FrameViewerTest::viewer = nullptr;

TEST_F(FrameViewerTest, NestedSetsLoadAndFramesMatchTheirSizes) {
  viewer->LoadFromFile(PathOf("top.htm"));
  Pump(200);
  TFrameSet* set = viewer->CurFrameSet();
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(viewer->DocumentTitle(), "Top set");
  EXPECT_EQ(set->BorderSize, 2);
  EXPECT_FALSE(set->Rows);
  // left, a, b, c and the two frames of c's own frame-set document.
  ASSERT_EQ(set->Frames.size(), 6u);
  // The set's 800 x 400 inside its border of 2: columns 200 and 600, then
  // rows 100, 100 and 200 in the right column.
  RECT left = RectIn(viewer, Named("left"));
  EXPECT_EQ(left.left, 2);
  EXPECT_EQ(left.top, 2);
  EXPECT_EQ(left.right - left.left, 200);
  EXPECT_EQ(left.bottom - left.top, 400);
  RECT a = RectIn(viewer, Named("a")), b = RectIn(viewer, Named("b")), c = RectIn(viewer, Named("c"));
  EXPECT_EQ(a.left, 202);
  EXPECT_EQ(a.right - a.left, 600);
  EXPECT_EQ(a.bottom - a.top, 100);
  EXPECT_EQ(b.top, a.bottom);
  EXPECT_EQ(b.bottom - b.top, 100);
  EXPECT_EQ(c.top, b.bottom);
  EXPECT_EQ(c.bottom - c.top, 200);
  // c's document is a frame set of its own: two halves of c.
  TFrame* cf = Named("c");
  ASSERT_NE(cf->FrameSet(), nullptr);
  EXPECT_EQ(cf->HTMLViewer(), nullptr);
  RECT s1 = RectIn(viewer, Named("s1")), s2 = RectIn(viewer, Named("s2"));
  EXPECT_EQ(s1.left, c.left);
  EXPECT_EQ(s1.right - s1.left, 300);
  EXPECT_EQ(s2.left, s1.right);
  EXPECT_EQ(s2.bottom - s2.top, 200);

  // The upper-case .GIF is shown as an image: its red is on the screen.
  THTMLViewer* pic = Named("b")->HTMLViewer();
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->FileType(), 2);
  EXPECT_EQ(pic->ScrollBars(), ssNone);
  viewer->Repaint();
  Pump(300);
  bool red = false;
  for (int y = 0; y < 60 && !red; y += 2)
    for (int x = 0; x < 80 && !red; x += 2) red = testsupport::ScreenPixel(&pic->PaintPanel(), x, y) == RGB(255, 0, 0);
  EXPECT_TRUE(red);
  EXPECT_FALSE(testsupport::Screenshot("htmlframes_nested").empty());
  EXPECT_NE(TextOf(Named("s2")->HTMLViewer()).find("Page A"), std::string::npos);

  // A resize keeps the division in proportion.
  viewer->SetBounds(8, 8, 404, 204);
  Pump(50);
  EXPECT_EQ(Named("left")->Width(), 100);
  EXPECT_EQ(Named("c")->Height(), 100);
  viewer->SetBounds(8, 8, kWidth, kHeight);
  Pump(50);
  EXPECT_EQ(Named("left")->Width(), 200);

  // Display properties reach every frame's viewer, and frames made later.
  viewer->SetDefFontSize(14);
  viewer->SetDefHotSpotColor(clRed);
  for (TFrame* f : viewer->CurFrameSet()->Frames)
    if (f->HTMLViewer()) {
      EXPECT_EQ(f->HTMLViewer()->DefFontSize(), 14);
      EXPECT_EQ(f->HTMLViewer()->DefHotSpotColor(), clRed);
    }
  // Without a border the frames touch and each gets a bevel of 2.
  std::string longPage = "<html><body>";
  for (int i = 0; i < 200; ++i) longPage += "Line " + std::to_string(i) + "<br>";
  Write("long.htm", longPage + "</body></html>");
  Write("flat.htm", "<frameset cols=\"*,*\" border=\"0\"><frame name=\"f1\" src=\"long.htm\"><frame src=\"b.htm\"></frameset>");
  viewer->LoadFromFile(PathOf("flat.htm"));
  Pump(50);
  EXPECT_EQ(viewer->CurFrameSet()->BorderSize, 0);
  EXPECT_EQ(RectIn(viewer, Named("f1")).left, 0);
  EXPECT_EQ(Named("f1")->Width(), kWidth / 2);
  EXPECT_EQ(Named("f1")->BevelWidth(), 2);
  EXPECT_EQ(Named("f1")->HTMLViewer()->DefFontSize(), 14);
  EXPECT_EQ(Named("f1")->HTMLViewer()->Width(), kWidth / 2 - 4);
  // A reload reads every frame again and keeps each reading position.
  THTMLViewer* f1 = Named("f1")->HTMLViewer();
  f1->ScrollTo(500);
  const int pos = f1->VScrollBar().Position32();
  EXPECT_GT(pos, 0);
  Write("long.htm", longPage + "Reloaded</body></html>");
  viewer->Reload();
  Pump(50);
  EXPECT_EQ(Named("f1")->HTMLViewer()->VScrollBar().Position32(), pos);
  EXPECT_NE(TextOf(Named("f1")->HTMLViewer()).find("Reloaded"), std::string::npos);
  viewer->SetDefFontSize(12);
  viewer->SetDefHotSpotColor(clBlue);
}

TEST_F(FrameViewerTest, OnlyTheFirstAssignedRequestIsAsked) {
  std::vector<std::string> asked;
  int fileAsks = 0;
  TStringList page;
  page.SetText("<html><body>From strings</body></html>");
  viewer->OnStringsRequest = [&](TObject*, const std::string& src, TStrings*& strings) {
    asked.push_back(src);
    strings = src == "a.htm" ? &page : nullptr;
  };
  viewer->OnFileRequest = [&](TObject*, const std::string&, std::string&) { ++fileAsks; };
  viewer->LoadFromFile(PathOf("top.htm"));
  Pump(50);
  EXPECT_EQ(fileAsks, 0);
  // The sources come as the page wrote them; the image is not asked for.
  EXPECT_NE(std::find(asked.begin(), asked.end(), "a.htm"), asked.end());
  EXPECT_NE(std::find(asked.begin(), asked.end(), "left.htm"), asked.end());
  EXPECT_EQ(std::find(asked.begin(), asked.end(), "PIC.GIF"), asked.end());
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("From strings"), std::string::npos);
  viewer->OnStringsRequest = nullptr;
  viewer->OnFileRequest = nullptr;
}

TEST_F(FrameViewerTest, SelLengthCountsTheSelectedCharacters) {
  Write("paras.htm", "<html><body><h2>Head</h2><p>alpha beta</p><p>gamma<br>delta</body></html>");
  viewer->LoadFromFile(PathOf("paras.htm"));
  Pump(50);
  ASSERT_EQ(viewer->CurFrameSet()->Frames.size(), 1u);
  THTMLViewer* v = viewer->CurFrameSet()->Frames[0]->HTMLViewer();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(viewer->SelLength(), 0);
  v->SelectAll();
  const std::string text = v->SelText();
  ASSERT_NE(text.find("gamma"), std::string::npos);
  // The copied text holds line ends the text positions do not.
  EXPECT_GT(static_cast<int>(text.size()), v->Document().SelEndPos - v->Document().SelStartPos);
  EXPECT_EQ(viewer->SelLength(), static_cast<int>(text.size()));
}

TEST_F(FrameViewerTest, TargetsFromClicksInsideFrames) {
  viewer->LoadFromFile(PathOf("top.htm"));
  Pump(50);
  std::vector<bool> processing;
  viewer->OnProcessing = [&](TObject*, bool on) { processing.push_back(on); };
  std::string blankTarget, blankUrl;
  viewer->OnBlankWindowRequest = [&](TObject*, const std::string& t, const std::string& u) {
    blankTarget = t;
    blankUrl = u;
  };
  THTMLViewer* left = Named("left")->HTMLViewer();
  ASSERT_NE(left, nullptr);
  POINT at;

  // A named frame.
  ASSERT_TRUE(FindLink(left, "b.htm", at));
  ClickPanel(left, at);
  Pump(100);
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("Page B"), std::string::npos);
  EXPECT_EQ(processing, (std::vector<bool>{true, false}));

  // Only a destination: the frame keeps its document and file.
  ASSERT_TRUE(FindLink(left, "#end", at));
  ClickPanel(left, at);
  Pump(100);
  EXPECT_EQ(Named("left")->HTMLViewer(), left);
  EXPECT_EQ(Named("left")->Source, ExpandFileName(PathOf("left.htm")) + "#end");

  // No target: the frame set's BASE target.
  ASSERT_TRUE(FindLink(left, "d.htm", at));
  ClickPanel(left, at);
  Pump(100);
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("Page D"), std::string::npos);

  // A name no frame has.
  ASSERT_TRUE(FindLink(left, "nowhere.htm", at));
  ClickPanel(left, at);
  Pump(100);
  EXPECT_EQ(blankTarget, "newwin");
  EXPECT_EQ(blankUrl, "nowhere.htm");

  // _self: the frame that holds the link.
  ASSERT_TRUE(FindLink(left, "c.htm", at));
  ClickPanel(left, at);
  Pump(100);
  ASSERT_NE(Named("left")->HTMLViewer(), nullptr);
  EXPECT_NE(TextOf(Named("left")->HTMLViewer()).find("Page C"), std::string::npos);

  // _parent and _top from the frame inside c's own document: both free the
  // clicked frame and its viewer.
  THTMLViewer* inner = Named("s1")->HTMLViewer();
  ASSERT_NE(inner, nullptr);
  ASSERT_TRUE(FindLink(inner, "b.htm", at));
  ClickPanel(inner, at);
  Pump(100);
  EXPECT_EQ(Named("s1"), nullptr);
  TFrame* c = Named("c");
  ASSERT_NE(c->HTMLViewer(), nullptr);
  EXPECT_EQ(c->FrameSet(), nullptr);
  EXPECT_NE(TextOf(c->HTMLViewer()).find("Page B"), std::string::npos);

  viewer->LoadFromFile(PathOf("top.htm"));
  Pump(50);
  inner = Named("s1")->HTMLViewer();
  ASSERT_TRUE(FindLink(inner, "top2.htm", at));
  ClickPanel(inner, at);
  Pump(100);
  EXPECT_EQ(viewer->CurrentFile(), ExpandFileName(PathOf("top2.htm")));
  ASSERT_NE(Named("t2"), nullptr);
  EXPECT_EQ(Named("left"), nullptr);
  EXPECT_NE(TextOf(Named("t2")->HTMLViewer()).find("Page B"), std::string::npos);
  viewer->Repaint();
  Pump(200);
  EXPECT_FALSE(testsupport::Screenshot("htmlframes_top").empty());
}

TEST_F(FrameViewerTest, SelfIncludingSetStopsAtTheLimit) {
  viewer->LoadFromFile(PathOf("self.htm"));
  Pump(100);
  // Follow the frame named "me" down: each holds the set again until the
  // last, which shows the error document.
  TSubFrameSet* set = viewer->CurFrameSet();
  int levels = 1;
  TFrame* last = nullptr;
  while (set) {
    last = static_cast<TFrame*>(set->List.at(1));
    set = last->FrameSet();
    if (set) ++levels;
  }
  EXPECT_EQ(levels, kMaxFrameSetDepth);
  ASSERT_NE(last->HTMLViewer(), nullptr);
  const std::string text = TextOf(last->HTMLViewer());
  EXPECT_NE(text.find("Can't load "), std::string::npos) << text;
  EXPECT_NE(text.find("self.htm"), std::string::npos) << text;
  // A missing file is shown the same way.
  Write("missing.htm", "<frameset rows=\"*\"><frame name=\"m\" src=\"gone.htm\"></frameset>");
  viewer->LoadFromFile(PathOf("missing.htm"));
  Pump(50);
  EXPECT_NE(TextOf(Named("m")->HTMLViewer()).find("Can't load "), std::string::npos);
}

TEST_F(FrameViewerTest, HistoryKeepsTwoAndStepsBackAndForward) {
  int changes = 0;
  viewer->OnHistoryChange = [&](TObject*) { ++changes; };
  viewer->SetHistoryMaxCount(2);
  viewer->LoadFromFile(PathOf("a.htm"));
  viewer->LoadFromFile(PathOf("top.htm"));
  viewer->LoadFromFile(PathOf("top2.htm"));
  Pump(50);
  ASSERT_EQ(viewer->History().Count(), 2);
  EXPECT_EQ(viewer->History().Entry(0).File, ExpandFileName(PathOf("top2.htm")));
  EXPECT_EQ(viewer->History().Entry(1).File, ExpandFileName(PathOf("top.htm")));
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(viewer->BackButtonEnabled());
  EXPECT_FALSE(viewer->FwdButtonEnabled());

  // A frame's navigation is a step of its own.
  viewer->GoBack();
  Pump(50);
  EXPECT_EQ(viewer->CurrentFile(), ExpandFileName(PathOf("top.htm")));
  ASSERT_NE(Named("left"), nullptr);
  EXPECT_FALSE(viewer->BackButtonEnabled());
  EXPECT_TRUE(viewer->FwdButtonEnabled());
  viewer->GoFwd();
  Pump(50);
  EXPECT_EQ(viewer->CurrentFile(), ExpandFileName(PathOf("top2.htm")));
  EXPECT_FALSE(viewer->FwdButtonEnabled());

  // A frame loaded by a link is a step of its own; back shows the old
  // page in that frame without reloading the set.
  viewer->LoadFromFile(PathOf("top.htm"));
  Pump(50);
  TFrame* left = Named("left");
  POINT at{};
  ASSERT_TRUE(FindLink(left->HTMLViewer(), "b.htm", at));
  ClickPanel(left->HTMLViewer(), at);
  Pump(100);
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("Page B"), std::string::npos);
  ASSERT_EQ(viewer->History().Count(), 2);
  EXPECT_EQ(viewer->History().Entry(1).File, viewer->History().Entry(0).File);
  viewer->GoBack();
  Pump(50);
  EXPECT_EQ(Named("left"), left);
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("Page A"), std::string::npos);
  EXPECT_TRUE(viewer->FwdButtonEnabled());
  viewer->GoFwd();
  Pump(50);
  EXPECT_NE(TextOf(Named("a")->HTMLViewer()).find("Page B"), std::string::npos);
  // A smaller maximum empties the list.
  viewer->SetHistoryMaxCount(1);
  EXPECT_EQ(viewer->History().Count(), 0);
  EXPECT_FALSE(viewer->BackButtonEnabled());
}

TEST_F(FrameViewerTest, BorderDragResizesNeighboursUnlessNoResize) {
  viewer->LoadFromFile(PathOf("top.htm"));
  viewer->Repaint();
  Pump(100);
  TFrame* left = Named("left");
  THTMLViewer* lv = left->HTMLViewer();
  ASSERT_NE(lv, nullptr);
  // Press 3 pixels inside the left frame's right edge, move 100 to the
  // right, release: the mouse is captured by the set while dragging.
  const int y = 150;
  POINT down{lv->PaintPanel().Width() - 3, y};
  SendMessageA(lv->PaintPanel().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
  HWND capture = GetCapture();
  ASSERT_EQ(capture, viewer->CurFrameSet()->Handle());
  POINT screen = lv->PaintPanel().ClientToScreen(down);
  POINT to{screen.x + 100, screen.y};
  ScreenToClient(capture, &to);
  SendMessageA(capture, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x - 50, to.y));
  SendMessageA(capture, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
  SendMessageA(capture, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  Pump(50);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(left->Width(), 300);
  EXPECT_EQ(Named("a")->Width(), 500);
  EXPECT_EQ(RectIn(viewer, Named("a")).left, 302);
  // The new division holds through a resize.
  viewer->SetBounds(8, 8, 404, kHeight);
  Pump(50);
  EXPECT_EQ(left->Width(), 150);
  viewer->SetBounds(8, 8, kWidth, kHeight);
  Pump(50);

  // The border under frame a touches b, which has NORESIZE: no drag.
  THTMLViewer* av = Named("a")->HTMLViewer();
  const int aHeight = Named("a")->Height();
  POINT edge{40, av->PaintPanel().Height() - 2};
  SendMessageA(av->PaintPanel().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(edge.x, edge.y));
  EXPECT_NE(GetCapture(), viewer->CurFrameSet()->Handle());
  SendMessageA(av->PaintPanel().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(edge.x, edge.y + 40));
  Pump(50);
  EXPECT_EQ(Named("a")->Height(), aHeight);
  // The border between b and c is blocked too; the one inside c is not.
  THTMLViewer* s1 = Named("s1")->HTMLViewer();
  const int s1Width = Named("s1")->Width();
  POINT inner{s1->PaintPanel().Width() - 2, 40};
  SendMessageA(s1->PaintPanel().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inner.x, inner.y));
  capture = GetCapture();
  ASSERT_EQ(capture, Named("c")->FrameSet()->Handle());
  POINT p = s1->PaintPanel().ClientToScreen(inner);
  p.x -= 60;
  ScreenToClient(capture, &p);
  SendMessageA(capture, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageA(capture, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  Pump(50);
  EXPECT_EQ(Named("s1")->Width(), s1Width - 60);
}

}  // namespace
