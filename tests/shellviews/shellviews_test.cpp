// The custom-draw view bases and the image combo driven through their real
// windows, side by side with the class library's own views.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/imagecombo.h"
#include "win/imagelist.h"
#include "win/treelist.h"
#include "imagecombolayout.h"

using testsupport::PressKey;
using testsupport::Pump;
using testsupport::SendClick;
using testsupport::SendDrag;
using testsupport::SendMouse;

namespace {

// The screen's pixels of a rectangle in a window's client coordinates.
struct Pixels {
  int w = 0, h = 0;
  std::vector<COLORREF> p;
  COLORREF At(int x, int y) const { return p[static_cast<size_t>(y) * w + x]; }
};

Pixels Grab(HWND wnd, RECT r) {
  Pixels px;
  px.w = r.right - r.left;
  px.h = r.bottom - r.top;
  POINT o{r.left, r.top};
  ClientToScreen(wnd, &o);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = px.w;
  bi.bmiHeader.biHeight = -px.h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, px.w, px.h, screen, o.x, o.y, SRCCOPY);
  GdiFlush();
  px.p.resize(static_cast<size_t>(px.w) * px.h);
  const uint32_t* q = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < px.p.size(); ++i) px.p[i] = RGB((q[i] >> 16) & 255, (q[i] >> 8) & 255, q[i] & 255);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return px;
}

Pixels GrabClient(TWinControl* c) {
  RECT r;
  GetClientRect(c->Handle(), &r);
  return Grab(c->Handle(), r);
}

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

bool Reddish(COLORREF c) { return GetRValue(c) > 180 && GetGValue(c) < 90 && GetBValue(c) < 90; }

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

HIMAGELIST SystemSmallList() {
  SHFILEINFOA fi{};
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, MAX_PATH);
  return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(dir, 0, &fi, sizeof fi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

int SystemIconOf(const std::string& path) {
  SHFILEINFOA fi{};
  SHGetFileInfoA(path.c_str(), 0, &fi, sizeof fi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return fi.iIcon;
}

std::string ItemText(TTreeNode* n) { return n->Text(); }
std::string ItemText(TListItem* i) { return i->Caption(); }

std::vector<TPopupMenu*> g_shown;
TMenuItem* RecordMenu(TPopupMenu* m) {
  g_shown.push_back(m);
  return nullptr;
}

const char* const kNames[] = {"alpha", "bravo", "charlie", "delta", "echo"};

class ShellViewsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(10, 10, 900, 560);
    pt_tree = new TPTCustomTreeView(form);
    lib_tree = new TTreeView(form);
    pt_list = new TPTCustomListView(form);
    lib_list = new TListView(form);
    int x = 10;
    for (TCustomTreeView* t : {static_cast<TCustomTreeView*>(pt_tree), static_cast<TCustomTreeView*>(lib_tree)}) {
      t->SetBounds(x, 10, 160, 150);
      t->SetParent(form);
      for (const char* n : kNames) t->Items().AddChild(nullptr, n);
      x += 170;
    }
    for (TCustomListView* l : {static_cast<TCustomListView*>(pt_list), static_cast<TCustomListView*>(lib_list)}) {
      l->SetBounds(x, 10, 190, 150);
      l->SetViewStyle(vsReport);
      TListColumn* c = l->Columns().Add();
      c->SetCaption("Name");
      c->SetWidth(150);
      l->SetParent(form);
      x += 200;
    }
    for (const char* n : kNames) lib_list->Items().Add()->SetCaption(n);
    pt_list->OnItemInserted = [](TObject*, TListItem*) { ++inserted; };
    for (const char* n : kNames) pt_list->Items().Add()->SetCaption(n);

    sys = new TImageList(form);
    sys->ShareImages = true;
    sys->SetHandle(SystemSmallList());
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, MAX_PATH);
    folder_icon = SystemIconOf(windir);
    program_icon = SystemIconOf(std::string(windir) + "\\notepad.exe");

    combo = new TPTImageCombo(form);
    combo->SetBounds(10, 180, 220, 20);
    combo->Font().SetSize(8);
    combo->SetImages(sys);
    combo->SetParent(form);
    plain = new TPTCombobox(form);
    plain->SetBounds(250, 180, 150, 20);
    for (const char* n : kNames) plain->Items().Add(n);
    plain->SetParent(form);
    // No real menu may block the test: the hook records what would show.
    TPopupMenu::ChooseHook = RecordMenu;
    form->Show();
    Pump(100);
  }
  static void TearDownTestSuite() {
    TPopupMenu::ChooseHook = nullptr;
    delete form;
    form = nullptr;
  }
  void SetUp() override {
    SetForegroundWindow(form->Handle());
    plain->SetFocus();
    Pump(20);
  }
  static void RepaintViews() {
    for (TWinControl* c : {static_cast<TWinControl*>(pt_tree), static_cast<TWinControl*>(lib_tree),
                           static_cast<TWinControl*>(pt_list), static_cast<TWinControl*>(lib_list)})
      RedrawWindow(c->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump(30);
  }
  static TTreeNode* PtNode(int i) {
    TTreeNode* n = pt_tree->Items().GetFirstNode();
    while (i-- > 0) n = n->GetNextSibling();
    return n;
  }

  static TForm* form;
  static TPTCustomTreeView* pt_tree;
  static TTreeView* lib_tree;
  static TPTCustomListView* pt_list;
  static TListView* lib_list;
  static TImageList* sys;
  static TPTImageCombo* combo;
  static TPTCombobox* plain;
  static int inserted, folder_icon, program_icon;
};
TForm* ShellViewsTest::form = nullptr;
TPTCustomTreeView* ShellViewsTest::pt_tree = nullptr;
TTreeView* ShellViewsTest::lib_tree = nullptr;
TPTCustomListView* ShellViewsTest::pt_list = nullptr;
TListView* ShellViewsTest::lib_list = nullptr;
TImageList* ShellViewsTest::sys = nullptr;
TPTImageCombo* ShellViewsTest::combo = nullptr;
TPTCombobox* ShellViewsTest::plain = nullptr;
int ShellViewsTest::inserted = 0;
int ShellViewsTest::folder_icon = 0;
int ShellViewsTest::program_icon = 0;

// Runs the three custom-draw checks on one base against its library twin;
// 'row' is the third entry's text rectangle in both.
template <class View, class Twin, class Event>
void CustomDrawChecks(View* view, Twin* twin, Event View::*event, RECT row, void (*repaint)()) {
  repaint();
  Pixels base = GrabClient(twin);
  Pixels same = GrabClient(view);
  ASSERT_EQ(base.p.size(), same.p.size());
  EXPECT_TRUE(base.p == same.p) << "without events the base draws as the library's view";

  COLORREF window = ColorToRGB(clWindow);
  // Whole_row: the entry's lines to its left belong to it too.
  auto differing_outside = [&](const Pixels& now, bool whole_row) {
    RECT band = row;
    if (whole_row) {
      band.left = 0;
      band.right = now.w;
    }
    int n = 0;
    for (int y = 0; y < now.h; ++y)
      for (int x = 0; x < now.w; ++x)
        if (!Inside(band, x, y) && now.At(x, y) != base.At(x, y)) ++n;
    return n;
  };

  // Only the brush: the text background of that entry, nothing else.
  view->*event = [](TObject*, TPTCustomDraw* cd, auto* item) {
    if (item && ItemText(item) == "charlie")
      cd->Brush().SetColor(clYellow);
  };
  repaint();
  Pixels brushed = GrabClient(view);
  EXPECT_EQ(differing_outside(brushed, false), 0);
  // The text's ink stays; its smoothed edges blend with the new colour.
  auto ink = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 200; };
  int yellow = 0, text_same = 0, text = 0;
  for (int y = row.top; y < row.bottom; ++y)
    for (int x = row.left; x < row.right; ++x) {
      if (brushed.At(x, y) == RGB(255, 255, 0)) ++yellow;
      if (ink(base.At(x, y))) {
        ++text;
        if (ink(brushed.At(x, y))) ++text_same;
      }
    }
  EXPECT_GT(yellow, (row.right - row.left) * (row.bottom - row.top) / 2);
  EXPECT_GT(text, 0);
  EXPECT_EQ(text_same, text) << "the font stays";

  // A bold red font: red text on that entry only.
  view->*event = [](TObject*, TPTCustomDraw* cd, auto* item) {
    if (item && ItemText(item) == "charlie") {
      cd->Font().SetStyle(fsBold);
      cd->Font().SetColor(clRed);
    }
  };
  repaint();
  Pixels red = GrabClient(view);
  int red_in = 0, red_out = 0;
  for (int y = 0; y < red.h; ++y)
    for (int x = 0; x < red.w; ++x)
      if (Reddish(red.At(x, y))) ++(y >= row.top && y < row.bottom ? red_in : red_out);
  EXPECT_GT(red_in, 10);
  EXPECT_EQ(red_out, 0);

  // Skipping the default drawing leaves the entry undrawn.
  view->*event = [](TObject*, TPTCustomDraw* cd, auto* item) {
    if (item && ItemText(item) == "charlie") cd->SkipDefault = true;
  };
  repaint();
  Pixels skipped = GrabClient(view);
  int drawn = 0;
  for (int y = row.top; y < row.bottom; ++y)
    for (int x = row.left; x < row.right; ++x)
      drawn += skipped.At(x, y) != window;
  EXPECT_EQ(drawn, 0);
  EXPECT_EQ(differing_outside(skipped, true), 0);

  // While designing the view draws as the library's, events or not.
  view->SetDesigning(true);
  repaint();
  EXPECT_TRUE(GrabClient(view).p == base.p);
  view->SetDesigning(false);
  view->*event = nullptr;
}


TEST_F(ShellViewsTest, TreeCustomDrawAgainstTheLibraryTree) {
  CustomDrawChecks(pt_tree, lib_tree, &TPTCustomTreeView::OnCustomDraw, PtNode(2)->DisplayRect(),
                   &ShellViewsTest::RepaintViews);
}

TEST_F(ShellViewsTest, ListCustomDrawAgainstTheLibraryList) {
  EXPECT_EQ(inserted, 5);
  CustomDrawChecks(pt_list, lib_list, &TPTCustomListView::OnCustomDraw, pt_list->Items()[2]->DisplayRect(drLabel),
                   &ShellViewsTest::RepaintViews);
}


TEST_F(ShellViewsTest, ContextMenusFromTheMouseAndTheKeyboard) {
  TPopupMenu own(form), replaced(form);
  pt_tree->PopupMenu = &own;
  TTreeNode* asked = nullptr;
  int asks = 0;
  pt_tree->OnGetPopupMenu = [&](TObject*, TTreeNode* n, POINT, TPopupMenu*& m) {
    ++asks;
    asked = n;
    m = &replaced;
  };
  auto right_click = [](TControl* c, POINT p) {
    POINT s = c->ClientToScreen(p);
    SendMouse(s, 0);
    SendClick(s, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    Pump(40);
  };
  g_shown.clear();
  right_click(pt_tree, Centre(PtNode(1)->DisplayRect()));
  EXPECT_EQ(asked, PtNode(1));
  EXPECT_EQ(g_shown, std::vector<TPopupMenu*>{&replaced}) << "the replaced menu alone";
  EXPECT_EQ(replaced.PopupComponent, pt_tree);

  g_shown.clear();
  asks = 0;
  right_click(pt_tree, POINT{80, 140});
  EXPECT_TRUE(g_shown.empty()) << "no menu on empty space";
  EXPECT_EQ(asks, 0);

  // Shift+F10 without a selection: the tree's own menu at its client origin.
  pt_tree->SetFocus();
  pt_tree->SetSelected(nullptr);
  Pump(20);
  ASSERT_EQ(pt_tree->Selected(), nullptr);
  PressKey(VK_F10, true);
  Pump(40);
  EXPECT_EQ(g_shown, std::vector<TPopupMenu*>{&own});
  POINT origin = pt_tree->ClientToScreen(POINT{0, 0});
  EXPECT_EQ(own.PopupPoint.x, origin.x);
  EXPECT_EQ(own.PopupPoint.y, origin.y);
  EXPECT_EQ(asks, 0);

  // The application key on the list: the focused item's label centre.
  pt_list->PopupMenu = &own;
  pt_list->SetFocus();
  pt_list->Items()[3]->SetFocused(true);
  Pump(20);
  g_shown.clear();
  PressKey(VK_APPS);
  Pump(40);
  EXPECT_EQ(g_shown, std::vector<TPopupMenu*>{&own});
  POINT label = pt_list->ClientToScreen(Centre(pt_list->Items()[3]->DisplayRect(drLabel)));
  EXPECT_EQ(own.PopupPoint.x, label.x);
  EXPECT_EQ(own.PopupPoint.y, label.y);
  EXPECT_EQ(own.PopupComponent, pt_list);

  pt_tree->PopupMenu = nullptr;
  pt_list->PopupMenu = nullptr;
  pt_tree->OnGetPopupMenu = nullptr;
}

TEST_F(ShellViewsTest, BothBeginDragNotificationsSetTheFlag) {
  POINT s = pt_list->ClientToScreen(Centre(pt_list->Items()[1]->DisplayRect(drLabel)));
  for (bool right : {false, true}) {
    pt_list->DragStarted = false;
    SendMouse(s, 0);
    SendDrag(s, POINT{s.x + 24, s.y + 30}, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN,
             right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(pt_list->DragStarted) << (right ? "right" : "left");
  }
  g_shown.clear();
}

TEST_F(ShellViewsTest, PlainComboEventsFromTheKeyboard) {
  int closeups = 0, oks = 0, cancels = 0;
  plain->OnCloseUp = [&](TObject*) { ++closeups; };
  plain->OnSelEndOk = [&](TObject*) { ++oks; };
  plain->OnSelEndCancel = [&](TObject*) { ++cancels; };
  EXPECT_EQ(plain->Style(), csDropDown);
  EXPECT_EQ(plain->DropDownCount, 8);
  PressKey(VK_F4);
  EXPECT_TRUE(plain->DroppedDown());
  PressKey(VK_RETURN);
  EXPECT_EQ(closeups, 1);
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(cancels, 0);
  PressKey(VK_F4);
  PressKey(VK_ESCAPE);
  EXPECT_EQ(closeups, 2);
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(plain->DroppedDown());
}

// The leftmost column of a rectangle that is not the window colour.
int FirstInk(HWND wnd, RECT r) {
  Pixels px = Grab(wnd, r);
  COLORREF window = ColorToRGB(clWindow);
  for (int x = 0; x < px.w; ++x)
    for (int y = 0; y < px.h; ++y)
      if (px.At(x, y) != window) return r.left + x;
  return -1;
}

TEST_F(ShellViewsTest, ImageComboEntriesDrawnAndKeptThroughReCreation) {
  EXPECT_EQ(combo->ItemHeight(), 16) << "16-pixel images, 8-point font";
  EXPECT_EQ(combo->IndentPixels(), 12);
  ASSERT_TRUE(sys->Overlay(folder_icon, 0));
  TPTImageComboItem* zero = combo->AddItem("Zero", folder_icon, 0);
  TPTImageComboItem* three = combo->AddItem("Three", folder_icon, 3);
  combo->AddItem("Plain", program_icon, 0);
  TPTImageComboItem* marked = combo->AddItem("Marked", program_icon, 0);
  TPTImageComboItem* chosen = combo->AddItem("Chosen", program_icon, 0);
  three->Data = reinterpret_cast<void*>(static_cast<intptr_t>(sizeof(void*) == 8 ? (1LL << 40) : 0x5000));
  EXPECT_EQ(chosen->Index, 4);
  EXPECT_EQ(combo->Item(1), three);
  combo->SetOverlay(marked, -1);

  SendMouse(POINT{850, 520}, 0);  // away from the list
  combo->SetFocus();
  combo->SetItemIndex(4);
  combo->SetDroppedDown(true);
  Pump(80);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
  HWND lb = info.hwndList;
  auto row = [&](int i) {
    RECT r{};
    SendMessageA(lb, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  };
  EXPECT_EQ(row(0).bottom - row(0).top, 16);
  EXPECT_EQ(FirstInk(lb, row(1)) - FirstInk(lb, row(0)), 36);

  auto icon_rect = [&](int i) {
    RECT r = row(i);
    TPTImageComboEntryLayout l = ImageComboEntryLayout(r.left, r.top, r.bottom, 0, 12, true, 16, 16, 0);
    return RECT{l.IconX, l.IconY, l.IconX + 16, l.IconY + 16};
  };
  EXPECT_TRUE(Grab(lb, icon_rect(2)).p == Grab(lb, icon_rect(3)).p) << "overlay -1 draws none";
  combo->SetOverlay(marked, 0);
  RedrawWindow(lb, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Pump(30);
  EXPECT_FALSE(Grab(lb, icon_rect(2)).p == Grab(lb, icon_rect(3)).p) << "overlay 0 draws one";

  // The selected entry's highlight covers its caption and 3 pixels more.
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, combo->Font().Handle());
  SIZE ext{};
  GetTextExtentPoint32A(dc, "Chosen", 6, &ext);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  RECT r4 = row(4);
  TPTImageComboEntryLayout l4 = ImageComboEntryLayout(r4.left, r4.top, r4.bottom, 0, 12, true, 16, 16, ext.cx);
  Pixels sel = Grab(lb, r4);
  int mid = (r4.bottom - r4.top) / 2;
  COLORREF highlight = ColorToRGB(clHighlight), window = ColorToRGB(clWindow);
  EXPECT_EQ(sel.At(l4.TextRight - 1 - r4.left, mid), highlight);
  EXPECT_EQ(sel.At(l4.TextRight - r4.left, mid), window);
  EXPECT_EQ(sel.At(l4.TextLeft - r4.left, mid), highlight);
  EXPECT_EQ(sel.At(l4.TextLeft - 1 - r4.left, mid), window);
  combo->SetDroppedDown(false);
  Pump(30);

  // The face shows every entry flush left.
  combo->SetItemIndex(0);
  combo->Repaint();
  Pump(30);
  int face0 = FirstInk(combo->Handle(), info.rcItem);
  combo->SetItemIndex(1);
  combo->Repaint();
  Pump(30);
  EXPECT_EQ(FirstInk(combo->Handle(), info.rcItem), face0);
  EXPECT_GE(face0, 0);

  // The same height keeps the window; a new one makes a new window with
  // every entry still there.
  int deleted = 0;
  combo->OnDeleteItem = [&](TObject*, TPTImageComboItem*) { ++deleted; };
  HWND before = combo->Handle();
  combo->SetItemHeight(16);
  EXPECT_EQ(combo->Handle(), before);
  combo->SetItemHeight(20);
  EXPECT_NE(combo->Handle(), before);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), 20);
  ASSERT_EQ(combo->Items().Count(), 5);
  EXPECT_EQ(combo->Item(0), zero);
  EXPECT_EQ(combo->Item(1), three);
  EXPECT_EQ(three->Caption, "Three");
  EXPECT_EQ(three->Indent, 3);
  EXPECT_EQ(three->ImageIndex, folder_icon);
  EXPECT_EQ(three->Data, reinterpret_cast<void*>(static_cast<intptr_t>(sizeof(void*) == 8 ? (1LL << 40) : 0x5000)));
  EXPECT_EQ(combo->Item(3)->OverlayIndex, 0);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(deleted, 0);
  combo->SetItemHeight(16);
  combo->OnDeleteItem = nullptr;

  // Destroying a combo reports each item once; an entry without one is
  // refused by the checked cast and skipped.
  auto* other = new TPTImageCombo(form);
  other->SetBounds(430, 180, 120, 20);
  other->SetParent(form);
  for (int i = 0; i < 3; ++i) other->AddItem("e" + std::to_string(i), program_icon, i);
  other->Items().Add("stray");
  EXPECT_THROW(other->Item(3), EInvalidCast);
  std::vector<TPTImageComboItem*> gone;
  other->OnDeleteItem = [&](TObject*, TPTImageComboItem* it) { gone.push_back(it); };
  delete other;
  EXPECT_EQ(gone.size(), 3u);
  EXPECT_EQ(std::set<TPTImageComboItem*>(gone.begin(), gone.end()).size(), 3u);
}

TEST_F(ShellViewsTest, ScreenshotOfCustomDrawnViewsAndTheOpenImageCombo) {
  pt_tree->OnCustomDraw = [](TObject*, TPTCustomDraw* cd, TTreeNode* n) {
    if (n && n->Text() == "charlie") {
      cd->Font().SetStyle(fsBold);
      cd->Font().SetColor(clRed);
    }
  };
  pt_list->OnCustomDraw = [](TObject*, TPTCustomDraw* cd, TListItem* i) {
    if (i && i->Caption() == "delta") cd->Brush().SetColor(clYellow);
  };
  RepaintViews();
  combo->SetFocus();
  combo->SetDroppedDown(true);
  Pump(120);
  std::string shot = testsupport::Screenshot("shellviews");
  if (!shot.empty()) printf("screenshot: %s\n", shot.c_str());
  combo->SetDroppedDown(false);
  pt_tree->OnCustomDraw = nullptr;
  pt_list->OnCustomDraw = nullptr;
}

}  // namespace
