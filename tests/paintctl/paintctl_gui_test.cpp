// The painted controls as real windows under Wine: one form, shown once,
// with a splitter, a group of each frame style, a backdrop and a rotated
// label; the mouse is moved and pressed through SendInput.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "test_support.h"
#include "loader.h"
#include "win/backdrop.h"
#include "win/backdropreg.h"
#include "win/balloonhint.h"
#include "win/forms.h"
#include "win/ptframe.h"
#include "win/ptsplitter.h"

using testsupport::Pump;

namespace {

COLORREF PixelAt(int x, int y) {
  HDC dc = GetDC(nullptr);
  COLORREF v = GetPixel(dc, x, y);
  ReleaseDC(nullptr, dc);
  return v;
}

// A pixel of a window in window coordinates (the frame included).
COLORREF WindowPixel(TWinControl* w, int x, int y) {
  RECT r;
  GetWindowRect(w->Handle(), &r);
  return PixelAt(r.left + x, r.top + y);
}

COLORREF Sys(int index) { return GetSysColor(index) & 0xFFFFFF; }

void SendMouse(DWORD flags, int x = 0, int y = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  if (flags & MOUSEEVENTF_MOVE) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((x * 65535LL + (sw - 1) / 2) / (sw - 1));
    in.mi.dy = static_cast<LONG>((y * 65535LL + (sh - 1) / 2) / (sh - 1));
    flags |= MOUSEEVENTF_ABSOLUTE;
  }
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}

// Under Wine a synthetic move can come back from the X server a little
// later, putting the pointer where it was before; the move is repeated
// until the pointer stays where it was sent.
void MouseTo(TControl* c, int x, int y) {
  POINT want = c->ClientToScreen(POINT{x, y});
  SendMouse(MOUSEEVENTF_MOVE, want.x, want.y);
  int stable = 0;
  for (int i = 0; i < 50 && stable < 4; ++i) {
    Pump(15);
    POINT p;
    GetCursorPos(&p);
    if (p.x == want.x && p.y == want.y) {
      ++stable;
    } else {
      stable = 0;
      SendMouse(MOUSEEVENTF_MOVE, want.x, want.y);
    }
  }
}

// Whether 'seen' holds the values of 'want' in that order and nothing else
// (echoed moves may repeat a value).
bool SameMoves(const std::vector<int>& seen, const std::vector<int>& want) {
  size_t i = 0;
  for (int v : seen) {
    if (i < want.size() && v == want[i]) {
      ++i;
      continue;
    }
    if (std::find(want.begin(), want.end(), v) == want.end()) return false;
  }
  return i == want.size();
}

void Press(DWORD flag) {
  SendMouse(flag);
  Pump(30);
}

// Waits up to a second for a condition, handling messages meanwhile.
bool WaitFor(const std::function<bool()>& cond) {
  for (int i = 0; i < 100; ++i) {
    if (cond()) return true;
    Pump(10);
  }
  return cond();
}

// The screen under a window, as COLORREF values.
struct Grab {
  int W = 0, H = 0;
  std::vector<COLORREF> px;
  // The whole window, or only its client area.
  explicit Grab(HWND w, bool client = false) {
    RECT r;
    GetWindowRect(w, &r);
    if (client) {
      GetClientRect(w, &r);
      MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    W = r.right - r.left, H = r.bottom - r.top;
    TBitmap b(W, H);
    HDC screen = GetDC(nullptr);
    BitBlt(b.Canvas().Handle(), 0, 0, W, H, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint32_t v = b.ScanLine(y)[x];
        px.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
      }
  }
  COLORREF At(int x, int y) const { return px[static_cast<size_t>(y * W + x)]; }
};

struct Scene {
  TForm* form = nullptr;
  TPTSplitter* split = nullptr;
  TPTGroup* groups[11] = {};
  TPTGroup* holder = nullptr;
  TPTGroup* children[2] = {};
  TPTGroup* hinted = nullptr;
  TPTGroup* backdrop_host = nullptr;
  TBackdrop* backdrop = nullptr;
  TPTGroup* label_host = nullptr;
  TRotate3DLabel* label = nullptr;
  int mouse_downs = 0;
  std::vector<int> drags, drops;
};
Scene* g = nullptr;

template <class T>
T* Make(TWinControl* parent, int l, int t, int w, int h) {
  T* c = new T(g->form);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

// A splitter with its panes, put together the way the form loader does.
TPTSplitter* MakeSplitter(TWinControl* parent, int l, int t, int w, int h) {
  TPTSplitter* s = new TPTSplitter(g->form);
  s->Loading();
  s->SetBounds(l, t, w, h);
  s->SetParent(parent);
  for (int i = 0; i < 2; ++i) {
    TPTPane* p = new TPTPane(g->form);
    p->SetIndex(i);
    p->SetParent(s);
  }
  s->Loaded();
  return s;
}

class PaintCtlEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
    g = new Scene;
    Application->CreateForm(g->form);
    g->form->SetBounds(20, 20, 1000, 540);
    g->form->SetCaption("paint controls");
    g->split = MakeSplitter(g->form, 10, 10, 400, 200);
    g->split->SetPosition(150);
    g->split->OnMouseDown = [](TObject*, TMouseButton, TShiftState, int, int) { ++g->mouse_downs; };
    g->split->OnSplitterDrag = [](TObject*, int p) { g->drags.push_back(p); };
    g->split->OnSplitterDrop = [](TObject*, int p) { g->drops.push_back(p); };
    for (int i = 0; i < 11; ++i) {
      TPTGroup* gr = Make<TPTGroup>(g->form, 10 + i * 84, 230, 76, 60);
      gr->SetFrameStyle(static_cast<TPTFrameStyle>(i));
      gr->SetColor(clBtnFace);
      g->groups[i] = gr;
    }
    g->groups[ptfsGroup]->SetCaption("Group");
    g->groups[ptfsLowered]->SetCaption("Low");
    g->holder = Make<TPTGroup>(g->form, 10, 310, 200, 60);
    g->holder->SetCaption("Holder");
    for (int i = 0; i < 2; ++i) g->children[i] = Make<TPTGroup>(g->holder, 10 + i * 90, 20, 80, 30);
    g->hinted = Make<TPTGroup>(g->form, 700, 340, 100, 40);
    g->hinted->SetFrameStyle(ptfsNone);
    g->hinted->SetHint("Balloon text");
    g->hinted->SetShowHint(true);
    g->backdrop_host = Make<TPTGroup>(g->form, 935, 10, 50, 256);
    g->backdrop_host->SetFrameStyle(ptfsNone);
    g->backdrop = new TBackdrop(g->form);
    g->backdrop->SetParent(g->backdrop_host);
    g->label_host = Make<TPTGroup>(g->form, 400, 380, 260, 120);
    g->label_host->SetFrameStyle(ptfsNone);
    g->label_host->SetColor(RGB(200, 230, 200));
    g->label = Make<TRotate3DLabel>(g->label_host, 0, 0, 260, 120);
    g->label->SetCaption("Morvane");
    g->label->Font().SetSize(14);
    g->label->Font().SetColor(clNavy);
    g->form->Show();
    Pump(200);
  }
  void TearDown() override {
    delete g->form;
    delete g;
    g = nullptr;
  }
};
::testing::Environment* const kEnv = ::testing::AddGlobalTestEnvironment(new PaintCtlEnv);

int Pane1Right() { return g->split->GetPane(0)->BoundsRect().right; }

}  // namespace

TEST(Splitter, OutlineDragMovesThePanesOnReleaseOnly) {
  TPTSplitter* s = g->split;
  s->SetFullDragMode(ptfdOff);
  ASSERT_EQ(Pane1Right(), 150);
  EXPECT_EQ(s->GetPane(1)->Left(), 153);
  g->drags.clear();
  g->drops.clear();
  COLORREF face = Sys(COLOR_BTNFACE);
  MouseTo(s, 151, 100);
  // The split cursor over the bar.
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZEWE));
  Press(MOUSEEVENTF_LEFTDOWN);
  ASSERT_TRUE(s->Dragging());
  for (int x = 171; x <= 231; x += 20) MouseTo(s, x, 100);
  EXPECT_EQ(Pane1Right(), 150);
  EXPECT_TRUE(SameMoves(g->drags, {151, 171, 191, 211, 231}));  // the press and every move
  // The bar's outline at 230 (the grab offset is 1): the checkerboard
  // inverts the pixels of equal x and y parity and leaves the others.
  POINT o = s->ClientToScreen(POINT{0, 0});
  for (int y = 40; y < 44; ++y)
    for (int x = 230; x < 233; ++x) {
      COLORREF want = ((x + y) & 1) == 0 ? (~face & 0xFFFFFF) : face;
      EXPECT_EQ(PixelAt(o.x + x, o.y + y), want) << x << "," << y;
    }
  testsupport::Screenshot("paintctl_splitter_outline");
  Press(MOUSEEVENTF_LEFTUP);
  EXPECT_FALSE(s->Dragging());
  EXPECT_EQ(Pane1Right(), 230);
  EXPECT_EQ(s->GetPane(1)->Left(), 233);
  ASSERT_EQ(g->drops.size(), 1u);
  EXPECT_EQ(g->drops[0], 230);
  EXPECT_EQ(s->Position(), 230);
  Pump(50);
  // The outline is gone with the drag.
  EXPECT_EQ(PixelAt(o.x + 200, o.y + 40), face);
  // Past the second pane's minimum: the drop is clamped.
  MouseTo(s, 231, 100);
  Press(MOUSEEVENTF_LEFTDOWN);
  MouseTo(s, 395, 100);
  Press(MOUSEEVENTF_LEFTUP);
  ASSERT_EQ(g->drops.size(), 2u);
  EXPECT_EQ(g->drops[1], 400 - 20);
  EXPECT_EQ(Pane1Right(), 380);
  EXPECT_EQ(g->mouse_downs, 0);
  s->SetPosition(150);
}

TEST(Splitter, FullDragMovesThePanesWithTheMouse) {
  TPTSplitter* s = g->split;
  s->SetFullDragMode(ptfdOn);
  g->drags.clear();
  MouseTo(s, 151, 100);
  Press(MOUSEEVENTF_LEFTDOWN);
  for (int x = 161; x <= 191; x += 10) {
    MouseTo(s, x, 100);
    EXPECT_TRUE(WaitFor([&] { return Pane1Right() == x - 1; })) << x;
  }
  EXPECT_TRUE(SameMoves(g->drags, {151, 161, 171, 181, 191}));
  Press(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(s->Position(), 190);
  // The user setting decides for ptfdUser.
  BOOL saved = FALSE;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &saved, 0);
  s->SetFullDragMode(ptfdUser);
  for (BOOL full : {TRUE, FALSE}) {
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, full, nullptr, 0);
    s->SetPosition(150);
    MouseTo(s, 151, 100);
    Press(MOUSEEVENTF_LEFTDOWN);
    MouseTo(s, 201, 100);
    EXPECT_EQ(Pane1Right(), full ? 200 : 150) << "full drag " << full;
    Press(MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(Pane1Right(), 200);
  }
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, saved, nullptr, 0);
  // The right button ends a left drag where it is, without a drop.
  s->SetFullDragMode(ptfdOff);
  s->SetPosition(150);
  g->drops.clear();
  MouseTo(s, 151, 100);
  Press(MOUSEEVENTF_LEFTDOWN);
  MouseTo(s, 181, 100);
  Press(MOUSEEVENTF_RIGHTDOWN);
  EXPECT_FALSE(s->Dragging());
  Press(MOUSEEVENTF_RIGHTUP);
  Press(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(g->drops.empty());
  EXPECT_EQ(Pane1Right(), 150);
  EXPECT_EQ(GetCapture(), nullptr);
  // Another window taking the capture, or cancel mode, ends a drag too.
  for (int how = 0; how < 2; ++how) {
    MouseTo(s, 151, 100);
    Press(MOUSEEVENTF_LEFTDOWN);
    MouseTo(s, 171, 100);
    ASSERT_TRUE(s->Dragging());
    if (how == 0)
      SetCapture(g->form->Handle());
    else
      SendMessageA(s->Handle(), WM_CANCELMODE, 0, 0);
    EXPECT_FALSE(s->Dragging()) << how;
    ReleaseCapture();
    Press(MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(Pane1Right(), 150);
  }
  EXPECT_TRUE(g->drops.empty());
  EXPECT_EQ(g->mouse_downs, 0);
}

TEST(Splitter, ResizingKeepsTheProportionAndTheMinimums) {
  TPTSplitter* s = MakeSplitter(g->form, 420, 10, 120, 400);
  EXPECT_EQ(GetOrdProp(s, "FullDragMode"), ptfdUser);
  EXPECT_EQ(GetOrdProp(s, "SplitterWidth"), 3);
  EXPECT_EQ(GetOrdProp(s, "Pane1FrameStyle"), ptfsLowered);
  EXPECT_EQ(GetOrdProp(s, "Pane2MinSize"), 20);
  EXPECT_EQ(GetOrdProp(s, "Pane1Color"), static_cast<int64_t>(clBtnFace));
  EXPECT_EQ(GetOrdProp(s->GetPane(1), "Index"), 1);
  EXPECT_EQ(GetOrdProp(g->groups[0], "Alignment"), taCenter);
  EXPECT_EQ(GetOrdProp(g->groups[0], "FrameSpace"), 2);
  TPTGroup fresh(nullptr);
  EXPECT_EQ(GetOrdProp(&fresh, "FrameStyle"), ptfsGroup);
  EXPECT_EQ(fresh.Width(), 64);
  EXPECT_EQ(fresh.Height(), 48);
  s->SetStyle(ptstHorizontal);
  s->SetPane1MinSize(240);
  s->SetPane2MinSize(24);
  s->SetPosition(10);
  EXPECT_EQ(s->Position(), 240);
  s->SetPosition(1000);
  EXPECT_EQ(s->Position(), 376);
  EXPECT_EQ(s->GetPane(1)->Top(), 379);
  s->SetPane1MinSize(20);
  s->SetPane2MinSize(20);
  s->SetPosition(100);
  s->SetHeight(200);
  EXPECT_EQ(s->Position(), 50);
  EXPECT_EQ(s->GetPane(0)->Height(), 50);
  s->SetProportional(false);
  s->SetPosition(100);
  s->SetHeight(400);
  EXPECT_EQ(s->Position(), 100);
  // A splitter squeezed to nothing keeps a usable ratio.
  s->SetProportional(true);
  s->SetHeight(0);
  s->SetPosition(30);
  EXPECT_TRUE(s->Ratio() == s->Ratio() && s->Ratio() < 1.0f);
  delete s;
}

TEST(Splitter, DesignTimePanesAreNamedAfterTheSplitter) {
  TPTSplitter* s = new TPTSplitter(g->form);
  s->SetDesigning(true);
  s->SetName("split");
  s->SetBounds(560, 10, 300, 200);
  s->SetParent(g->form);
  ASSERT_NE(s->GetPane(0), nullptr);
  ASSERT_NE(s->GetPane(1), nullptr);
  EXPECT_EQ(s->GetPane(0)->Name(), "split_pane1");
  EXPECT_EQ(s->GetPane(1)->Name(), "split_pane2");
  EXPECT_EQ(s->GetPane(0)->Caption(), "split_pane1");
  EXPECT_EQ(s->GetPane(1)->Index(), 1);
  s->SetName("other");
  EXPECT_EQ(s->GetPane(0)->Name(), "other_pane1");
  EXPECT_EQ(s->GetPane(1)->Name(), "other_pane2");
  EXPECT_EQ(g->form->FindComponent("other_pane2"), s->GetPane(1));
  // At design time the right button drags too, unless Shift is down.
  s->SetFullDragMode(ptfdOn);
  const int bar = s->Position() + 1;
  SendMessageA(s->Handle(), WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(bar, 50));
  EXPECT_FALSE(s->Dragging());
  SendMessageA(s->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(bar, 50));
  EXPECT_TRUE(s->Dragging());
  SendMessageA(s->Handle(), WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(bar + 40, 50));
  SendMessageA(s->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(bar + 40, 50));
  EXPECT_FALSE(s->Dragging());
  EXPECT_EQ(s->Position(), bar + 39);
  ReleaseCapture();
  // A design-time click makes a pane the active one: it shows a broken
  // black line round its client area.
  TPTPane* p2 = s->GetPane(1);
  SendMessageA(p2->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageA(p2->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_TRUE(p2->Active());
  EXPECT_FALSE(s->GetPane(0)->Active());
  Pump(50);
  auto blacks = [](TPTPane* p) {
    int black = 0, other = 0;
    for (int x = 0; x < 40; ++x) (testsupport::ScreenPixel(p, x, 0) == 0 ? black : other)++;
    return std::make_pair(black, other);
  };
  auto active = blacks(p2), inactive = blacks(s->GetPane(0));
  EXPECT_GT(active.first, 5);
  EXPECT_GT(active.second, 5);  // broken, not solid
  EXPECT_EQ(inactive.first, 0);
  delete s;
}

TEST(GroupFrame, EachStyleInsetsTheClientAndDrawsItsLines) {
  const COLORREF shadow = Sys(COLOR_BTNSHADOW), hilite = Sys(COLOR_BTNHIGHLIGHT), face = Sys(COLOR_BTNFACE),
                 dark = Sys(COLOR_3DDKSHADOW), frame = Sys(COLOR_WINDOWFRAME);
  TBitmap m(1, 1);
  m.Canvas().Font().Assign(g->groups[ptfsGroup]->Font());
  const int th = m.Canvas().TextHeight("0");
  const RECT insets[11] = {{0, 0, 0, 0}, {2, th, 2, 2}, {2, 2, 2, 2}, {2, 2, 2, 2}, {1, 1, 1, 1}, {1, 1, 1, 1},
                           {1, 1, 1, 1}, {0, 2, 0, 0},  {0, 2, 0, 2}, {2, 0, 0, 0}, {2, 0, 2, 0}};
  for (int i = 0; i < 11; ++i) {
    TPTGroup* gr = g->groups[i];
    SCOPED_TRACE("style " + std::to_string(i));
    RECT wr, cr;
    GetWindowRect(gr->Handle(), &wr);
    GetClientRect(gr->Handle(), &cr);
    POINT co{0, 0};
    ClientToScreen(gr->Handle(), &co);
    EXPECT_EQ(co.x - wr.left, insets[i].left);
    EXPECT_EQ(co.y - wr.top, insets[i].top);
    EXPECT_EQ(wr.right - co.x - cr.right, insets[i].right);
    EXPECT_EQ(wr.bottom - co.y - cr.bottom, insets[i].bottom);
  }
  const int R = 75, B = 59, mx = 40, my = 30;
  auto px = [](int style, int x, int y) { return WindowPixel(g->groups[style], x, y); };
  // Lowered: shadow and dark shadow top-left, face and highlight bottom-right.
  EXPECT_EQ(px(ptfsLowered, 0, my), shadow);
  EXPECT_EQ(px(ptfsLowered, 1, my), dark);
  EXPECT_EQ(px(ptfsLowered, mx, 0), shadow);
  EXPECT_EQ(px(ptfsLowered, mx, 1), dark);
  EXPECT_EQ(px(ptfsLowered, R - 1, my), face);
  EXPECT_EQ(px(ptfsLowered, R, my), hilite);
  EXPECT_EQ(px(ptfsLowered, mx, B - 1), face);
  EXPECT_EQ(px(ptfsLowered, mx, B), hilite);
  EXPECT_EQ(px(ptfsRaised, 0, my), hilite);
  EXPECT_EQ(px(ptfsRaised, 1, my), face);
  EXPECT_EQ(px(ptfsRaised, R - 1, my), shadow);
  EXPECT_EQ(px(ptfsRaised, mx, B), dark);
  EXPECT_EQ(px(ptfsDint, 0, my), shadow);
  EXPECT_EQ(px(ptfsDint, mx, 0), shadow);
  EXPECT_EQ(px(ptfsDint, R, my), hilite);
  EXPECT_EQ(px(ptfsDint, mx, B), hilite);
  EXPECT_EQ(px(ptfsBump, 0, my), hilite);
  EXPECT_EQ(px(ptfsBump, R, my), shadow);
  for (POINT p : {POINT{0, my}, POINT{R, my}, POINT{mx, 0}, POINT{mx, B}}) EXPECT_EQ(px(ptfsSingle, p.x, p.y), frame);
  EXPECT_EQ(px(ptfsHorzLine, mx, 0), shadow);
  EXPECT_EQ(px(ptfsHorzLine, mx, 1), hilite);
  EXPECT_EQ(px(ptfsHorzLine, mx, B), face);
  EXPECT_EQ(px(ptfsHorzEdge, mx, B - 1), shadow);
  EXPECT_EQ(px(ptfsHorzEdge, mx, B), hilite);
  EXPECT_EQ(px(ptfsVertLine, 0, my), shadow);
  EXPECT_EQ(px(ptfsVertLine, 1, my), hilite);
  EXPECT_EQ(px(ptfsVertLine, R, my), face);
  EXPECT_EQ(px(ptfsVertEdge, R - 1, my), shadow);
  EXPECT_EQ(px(ptfsVertEdge, R, my), hilite);
  // Group: the etched rectangle's top runs through the caption's middle.
  const int top = th / 2;
  EXPECT_EQ(px(ptfsGroup, R - 3, top), shadow);
  EXPECT_EQ(px(ptfsGroup, R - 3, top + 1), hilite);
  EXPECT_EQ(px(ptfsGroup, 0, my), shadow);
  EXPECT_EQ(px(ptfsGroup, 1, my), hilite);
  EXPECT_EQ(px(ptfsGroup, R - 1, my), shadow);
  EXPECT_EQ(px(ptfsGroup, R, my), hilite);
  EXPECT_EQ(px(ptfsGroup, mx, B), hilite);
  // Its caption breaks the line from left + 8.
  int text = 0;
  for (int x = 8; x < 40; ++x)
    for (int y = 0; y < th; ++y)
      if (px(ptfsGroup, x, y) == 0) ++text;
  EXPECT_GT(text, 10);
  EXPECT_NE(px(ptfsGroup, 9, top), shadow);
}

TEST(GroupFrame, CaptionsInTheClientAreaAndEnabledForChildren) {
  const COLORREF face = Sys(COLOR_BTNFACE);
  // ptfsGroup draws its caption on the frame only.
  TPTGroup* gr = g->groups[ptfsGroup];
  Grab in_group(gr->Handle(), true);
  EXPECT_EQ(std::count(in_group.px.begin(), in_group.px.end(), face), static_cast<long>(in_group.px.size()));
  // ptfsLowered centres it.
  TPTGroup* low = g->groups[ptfsLowered];
  auto text_box = [&] {
    Grab a(low->Handle(), true);
    RECT r{a.W, a.H, -1, -1};
    for (int y = 0; y < a.H; ++y)
      for (int x = 0; x < a.W; ++x)
        if (a.At(x, y) != face)
          r.left = std::min<LONG>(r.left, x), r.right = std::max<LONG>(r.right, x), r.top = std::min<LONG>(r.top, y),
          r.bottom = std::max<LONG>(r.bottom, y);
    return r;
  };
  RECT cr = low->ClientRect();
  RECT tb = text_box();
  ASSERT_GE(tb.right, 0);
  EXPECT_NEAR((tb.left + tb.right) / 2.0, cr.right / 2.0, 2.5);
  EXPECT_NEAR((tb.top + tb.bottom) / 2.0, cr.bottom / 2.0, 2.5);
  // Left aligned: the text starts after FrameSpace.
  low->SetAlignment(taLeftJustify);
  low->SetFrameSpace(6);
  Pump(50);
  tb = text_box();
  EXPECT_GE(tb.left, 6);
  EXPECT_LE(tb.left, 8);
  low->SetAlignment(taCenter);
  low->SetFrameSpace(2);
  testsupport::Screenshot("paintctl_frames");
  // Disabling passes on to every child, enabling too.
  g->holder->SetEnabled(false);
  Pump(50);
  // The disabled caption: highlight one pixel down-right under the shadow.
  {
    int shadow = 0, hilite = 0, black = 0;
    for (int y = 0; y < 12; ++y)
      for (int x = 8; x < 40; ++x) {
        COLORREF c = WindowPixel(g->holder, x, y);
        shadow += c == Sys(COLOR_BTNSHADOW), hilite += c == Sys(COLOR_BTNHIGHLIGHT), black += c == 0;
      }
    EXPECT_GT(shadow, 10);
    EXPECT_GT(hilite, 10);
    EXPECT_EQ(black, 0);
  }
  EXPECT_FALSE(g->children[0]->Enabled());
  EXPECT_FALSE(g->children[1]->Enabled());
  EXPECT_FALSE(IsWindowEnabled(g->children[1]->Handle()));
  g->holder->SetEnabled(true);
  EXPECT_TRUE(g->children[0]->Enabled());
  EXPECT_TRUE(g->children[1]->Enabled());
  // A style change re-makes the window with the new frame.
  TPTGroup* v = g->groups[ptfsVertLine];
  v->SetFrameStyle(ptfsRaised);
  POINT co{0, 0};
  ClientToScreen(v->Handle(), &co);
  RECT wr;
  GetWindowRect(v->Handle(), &wr);
  EXPECT_EQ(co.y - wr.top, 2);
  v->SetFrameStyle(ptfsVertLine);
  Pump(50);
}

namespace {

// Moves the mouse off every hinted control and onto c, and waits for the
// application's hint timer to show the balloon.
bool ShowHintOver(TControl* c, int x, int y) {
  MouseTo(g->form, 900, 20);
  WaitFor([] { return !Application->HintVisible(); });
  MouseTo(c, x, y);
  return WaitFor([] { return Application->HintVisible(); });
}

}  // namespace

TEST(Balloon, TheHintTimerShowsABalloonOverTheScreen) {
  TTalvoHint* th = new TTalvoHint(g->form);
  EXPECT_EQ(Application->HintPause, 600);
  th->SetHintPauseTime(60);
  EXPECT_EQ(Application->HintPause, 60);
  auto* nh = dynamic_cast<TNewHint*>(Application->HintWindowControl());
  ASSERT_NE(nh, nullptr);
  EXPECT_EQ(nh->Canvas().Font().Color(), 0xFF0000u);
  EXPECT_EQ(nh->Canvas().Font().Name(), "MS Sans Serif");
  ASSERT_TRUE(ShowHintOver(g->hinted, 10, 20));
  HWND hw = Application->HintWindow();
  EXPECT_EQ(nh->Controller(), th);
  EXPECT_TRUE(GetWindowLongA(hw, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetActiveWindow(), g->form->Handle());
  EXPECT_EQ(nh->Direction(), hdUpRight);
  POINT m;
  GetCursorPos(&m);
  RECT r;
  GetWindowRect(hw, &r);
  EXPECT_EQ(r.left, m.x);
  EXPECT_EQ(r.bottom, m.y + 15);
  testsupport::Screenshot("paintctl_balloon");
  Grab a(hw);
  const int W = a.W, H = a.H;
  const COLORREF yellow = RGB(255, 255, 0), purple = RGB(128, 0, 128), blue = RGB(0, 0, 255),
                 face = Sys(COLOR_BTNFACE);
  EXPECT_EQ(a.At(3, (H - 14) / 2), yellow);
  EXPECT_EQ(a.At(W / 2, 0), RGB(0, 0, 0));
  EXPECT_EQ(a.At(0, 0), face);        // the form through the cut corner
  EXPECT_EQ(a.At(W - 1, 0), face);
  // The shadow strips: dots where x and y have the same parity.
  for (POINT p : {POINT{W - 3, 15}, POINT{W - 2, 15}, POINT{30, H - 12}, POINT{31, H - 12}}) {
    bool dot = ((p.x + p.y) & 1) == 0;
    EXPECT_EQ(a.At(p.x, p.y), dot ? purple : face) << p.x << "," << p.y;
  }
  int text = 0;
  for (int y = 3; y < H - 15; ++y)
    for (int x = 8; x < W - 6; ++x)
      if (a.At(x, y) == blue) ++text;
  EXPECT_GT(text, 20);
  // Painted again, the balloon is the same.
  InvalidateRect(hw, nullptr, TRUE);
  UpdateWindow(hw);
  Pump(30);
  Grab again(hw);
  EXPECT_TRUE(again.px == a.px);
}

TEST(Balloon, PlacementNearTheEdgeAndTheDirectionHandler) {
  TForm* edge = new TForm(Application);
  edge->SetBorderStyle(bsNone);
  int sw = GetSystemMetrics(SM_CXSCREEN);
  edge->SetBounds(sw - 100, 600, 100, 60);
  TPTGroup* e = new TPTGroup(edge);
  e->SetBounds(0, 0, 100, 60);
  e->SetParent(edge);
  e->SetHint("Balloon text");
  e->SetShowHint(true);
  edge->Show();
  Pump(50);
  auto* nh = dynamic_cast<TNewHint*>(Application->HintWindowControl());
  ASSERT_NE(nh, nullptr);
  ASSERT_TRUE(ShowHintOver(e, 50, 30));
  EXPECT_EQ(nh->Direction(), hdUpLeft);
  POINT m;
  GetCursorPos(&m);
  RECT r;
  GetWindowRect(Application->HintWindow(), &r);
  EXPECT_EQ(r.left, m.x + 6 - (r.right - r.left - 16));
  EXPECT_LE(r.right, sw);
  // A handler that turns one control's balloon down-right.
  TTalvoHint* th = nh->Controller();
  ASSERT_NE(th, nullptr);
  std::vector<TControl*> asked;
  th->OnSelectHintDirection = [&](TControl* c, THintDirection& d) {
    asked.push_back(c);
    if (c == g->hinted) d = hdDownRight;
  };
  ASSERT_TRUE(ShowHintOver(g->hinted, 10, 20));
  EXPECT_EQ(nh->Direction(), hdDownRight);
  GetCursorPos(&m);
  GetWindowRect(Application->HintWindow(), &r);
  EXPECT_EQ(r.top, m.y + 15);
  EXPECT_EQ(th->HintDirection(), hdUpRight);
  ASSERT_TRUE(ShowHintOver(e, 50, 30));
  EXPECT_EQ(nh->Direction(), hdUpLeft);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], g->hinted);
  EXPECT_EQ(asked[1], e);
  th->OnSelectHintDirection = nullptr;
  // A new font goes to the hint window made anew.
  TFont f;
  f.Assign(th->HintFont());
  f.SetColor(clRed);
  th->SetHintFont(f);
  nh = dynamic_cast<TNewHint*>(Application->HintWindowControl());
  ASSERT_NE(nh, nullptr);
  EXPECT_EQ(nh->Canvas().Font().Color(), static_cast<TColor>(clRed));
  // Without a controller on the main form the hint keeps the plain look.
  delete th;
  ASSERT_TRUE(ShowHintOver(g->hinted, 10, 20));
  EXPECT_EQ(nh->Controller(), nullptr);
  Grab plain(Application->HintWindow());
  EXPECT_EQ(plain.At(plain.W / 2, plain.H - 2), ColorToRGB(Application->HintColor));
  EXPECT_EQ(std::count(plain.px.begin(), plain.px.end(), RGB(255, 255, 0)), 0);
  MouseTo(g->form, 900, 20);
  WaitFor([] { return !Application->HintVisible(); });
  delete edge;
}

TEST(Backdrop, BandsFromTheFirstToTheSecondColourRepaintedOnChange) {
  // 256 high: one band a row.
  TBackdrop* b = g->backdrop;
  EXPECT_EQ(b->Width(), 50);  // it fills its parent
  EXPECT_EQ(b->Height(), 256);
  const COLORREF blue = RGB(0, 0, 255), black = RGB(0, 0, 0);
  auto px = [b](int x, int y) { return testsupport::ScreenPixel(b, x, y); };
  EXPECT_EQ(px(25, 0), blue);
  EXPECT_EQ(px(25, 255), black);
  EXPECT_EQ(px(25, 128), RGB(0, 0, 127));
  b->SetDirection(bdHorzOut);
  Pump(50);
  EXPECT_EQ(px(25, 0), blue);
  EXPECT_EQ(px(25, 255), blue);
  // The mirrored halves meet in the middle in the second colour.
  EXPECT_EQ(px(25, 127), black);
  EXPECT_EQ(px(25, 128), black);
  EXPECT_EQ(px(25, 126), RGB(0, 0, 2));
  b->SetDirection(bdRight);
  Pump(50);
  EXPECT_LE(GetBValue(px(0, 100)), 3);
  EXPECT_GE(GetBValue(px(49, 100)), 252);
  b->SetDirection(bdUp);
  Pump(30);
}

namespace {

// The label host's pixels and the box of those in one colour.
struct LabelShot : Grab {
  LabelShot() : Grab(g->label_host->Handle()) {}
  int Count(COLORREF c) const { return static_cast<int>(std::count(px.begin(), px.end(), c)); }
  RECT Box(COLORREF c) const {
    RECT r{W, H, -1, -1};
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (At(x, y) == c) r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y),
                           r.right = std::max<LONG>(r.right, x + 1), r.bottom = std::max<LONG>(r.bottom, y + 1);
    return r;
  }
};

const COLORREF kFace = RGB(0, 0, 128), kWhite = RGB(255, 255, 255), kGrey = RGB(128, 128, 128);

}  // namespace

TEST(RotatedLabel, RaisedLookAngleAndTheFlatOpaqueLabel) {
  TRotate3DLabel* l = g->label;
  TLabelStyle& st = l->LabelStyle();
  EXPECT_EQ(st.AStyle3D(), A3dRaised);
  st.SetAngle(360);
  EXPECT_EQ(st.Angle(), 0);
  Pump(50);
  {
    // Raised: white one pixel up-left, grey one pixel down-right.
    LabelShot a;
    int fx = -1, fy = -1, lx = -1, ly = -1;
    for (int i = 0; i < a.W * a.H && fx < 0; ++i)
      if (a.px[static_cast<size_t>(i)] == kFace) fx = i % a.W, fy = i / a.W;
    for (int i = a.W * a.H - 1; i >= 0 && lx < 0; --i)
      if (a.px[static_cast<size_t>(i)] == kFace) lx = i % a.W, ly = i / a.W;
    ASSERT_GE(fx, 1);
    EXPECT_EQ(a.At(fx - 1, fy - 1), kWhite);
    EXPECT_EQ(a.At(lx + 1, ly + 1), kGrey);
    RECT box = a.Box(kFace);
    EXPECT_GT(box.right - box.left, box.bottom - box.top);
    // Centred on the control.
    EXPECT_NEAR((box.left + box.right) / 2.0, 130, 4);
    EXPECT_NEAR((box.top + box.bottom) / 2.0, 60, 6);
  }
  st.SetAngle(90);
  Pump(50);
  testsupport::Screenshot("paintctl_label_raised");
  {
    LabelShot a;
    RECT box = a.Box(kFace);
    EXPECT_GT(box.bottom - box.top, 2 * (box.right - box.left));
    EXPECT_NEAR((box.top + box.bottom) / 2.0, 60, 4);
  }
  st.SetAngle(30);
  l->SetMyTransparent(false);
  l->SetColor(clRed);
  Pump(50);
  testsupport::Screenshot("paintctl_backdrop_label");
  {
    LabelShot a;
    EXPECT_GT(a.Count(RGB(255, 0, 0)), 500);
    EXPECT_GT(a.Count(kFace), 20);
    EXPECT_EQ(a.Count(kWhite), 0);
    EXPECT_EQ(a.Count(kGrey), 0);
    EXPECT_EQ(a.At(0, 0), RGB(200, 230, 200));
    // The rectangle is turned: its topmost red pixel is right of its leftmost.
    RECT red = a.Box(RGB(255, 0, 0));
    int top_x = -1;
    for (int x = 0; x < a.W && top_x < 0; ++x)
      if (a.At(x, red.top) == RGB(255, 0, 0)) top_x = x;
    EXPECT_GT(top_x, red.left + 20);
  }
  EXPECT_EQ(st.AStyle3D(), A3dRaised);
  l->SetMyTransparent(true);
  Pump(50);
  {
    LabelShot a;
    EXPECT_EQ(a.Count(RGB(255, 0, 0)), 0);
    EXPECT_GT(a.Count(kWhite), 20);
    EXPECT_GT(a.Count(kGrey), 20);
  }
  // The forced white left-top shade and the colour it remembers.
  st.SetAShadeLTSet(false);
  st.SetAShadeLeftTop(clYellow);
  st.SetAShadeLTSet(true);
  EXPECT_EQ(st.AShadeLeftTop(), clWhite);
  st.SetAShadeLeftTop(clRed);
  EXPECT_EQ(st.AShadeLeftTop(), clWhite);
  st.SetAShadeLTSet(false);
  EXPECT_EQ(st.AShadeLeftTop(), clYellow);
  st.SetAShadeLTSet(true);
  st.SetAngle(0);
}

TEST(RotatedLabel, TheSetupLoaderMakesBothByClassName) {
  RegisterBackdropControls();
  TComponent owner(nullptr);
  std::vector<TComponent*> made = LoadForm(
      &owner, {{"TBackdrop", "Back", {{"Direction", "bdHorzIn"}, {"StartColor", "255"}, {"EndColor", "65280"}}},
               {"TRotate3DLabel",
                "Title",
                {{"Caption", "Setup"},
                 {"LabelStyle.Angle", "45"},
                 {"LabelStyle.AShadeLTSet", "False"},
                 {"LabelStyle.AShadeLeftTop", "255"},
                 {"LabelStyle.AStyle3D", "A3dShadowed"},
                 {"MyTransparent", "False"}}}});
  ASSERT_EQ(made.size(), 2u);
  auto* b = dynamic_cast<TBackdrop*>(made[0]);
  auto* l = dynamic_cast<TRotate3DLabel*>(made[1]);
  ASSERT_TRUE(b && l);
  EXPECT_EQ(b->Name(), "Back");
  EXPECT_EQ(b->Direction(), bdHorzIn);
  EXPECT_EQ(b->StartColor(), 255u);
  EXPECT_EQ(b->EndColor(), 65280u);
  EXPECT_EQ(l->Caption(), "Setup");
  EXPECT_EQ(l->LabelStyle().Angle(), 45);
  EXPECT_FALSE(l->LabelStyle().AShadeLTSet());
  EXPECT_EQ(l->LabelStyle().AShadeLeftTop(), 255u);
  EXPECT_EQ(l->LabelStyle().AStyle3D(), A3dShadowed);
  EXPECT_FALSE(l->MyTransparent());
  // Defaults as published.
  EXPECT_EQ(GetOrdProp(l, "MyTransparent"), 0);
  TBackdrop fresh(nullptr);
  EXPECT_EQ(GetOrdProp(&fresh, "Direction"), bdUp);
  EXPECT_EQ(GetOrdProp(&fresh, "StartColor"), 16711680);
  EXPECT_EQ(GetOrdProp(&fresh, "EndColor"), 0);
}
