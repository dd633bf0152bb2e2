// More controls, form behaviour, and a screenshot of a form holding every
// kind of control.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "test_support.h"
#include "win/buttons.h"
#include "win/comctrls.h"
#include "win/dialogs.h"
#include "win/extctrls.h"
#include "gui_test_support.h"
#include "win/forms.h"
#include "win/menus.h"
#include "win/stdctrls.h"

using testsupport::Pump;
using testsupport::ScreenPixel;

namespace {

template <class T>
T* Make(TWinControl* parent, int l, int t, int w, int h) {
  T* c = new T(GetParentForm(parent) ? static_cast<TComponent*>(GetParentForm(parent)) : parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

// Draws straight onto the screen from a setter, the way progress meters do,
// without waiting for a paint message.
class DirectBar : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  void SetFilled(int px) {
    filled_ = px;
    Canvas().Brush().SetColor(clRed);
    RECT r{0, 0, filled_, Height()};
    Canvas().FillRect(r);
  }
  void Paint() override {
    Canvas().Brush().SetColor(clWhite);
    RECT r{0, 0, Width(), Height()};
    Canvas().FillRect(r);
  }

 private:
  int filled_ = 0;
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(20, 20, 600, 450);
  }
  void TearDown() override { delete form; }
  TForm* form;
};

}  // namespace

TEST_F(ControlsTest, PageControlSwitchesSheetsOnTabClicks) {
  TPageControl* pc = Make<TPageControl>(form, 10, 10, 300, 200);
  TTabSheet* a = new TTabSheet(form);
  a->SetName("page_Expert");
  a->SetCaption("Expert");
  a->SetPageControl(pc);
  TTabSheet* b = new TTabSheet(form);
  b->SetName("page_Options");
  b->SetCaption("Options");
  b->SetPageControl(pc);
  int changes = 0;
  pc->OnChange = [&](TObject*) { ++changes; };
  form->Show();
  Pump(30);
  EXPECT_EQ(pc->ActivePage(), a);
  EXPECT_TRUE(a->Visible());
  EXPECT_FALSE(b->Visible());
  RECT d = pc->DisplayRect();
  EXPECT_EQ(a->Left(), d.left);
  EXPECT_EQ(a->Width(), d.right - d.left);

  // A click on the second tab.
  RECT tab;
  SendMessageA(pc->Handle(), TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab));
  LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
  SendMessageA(pc->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(pc->Handle(), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(pc->ActivePage(), b);
  EXPECT_EQ(pc->ActivePage()->Name(), "page_Options");
  EXPECT_TRUE(b->Visible());
  EXPECT_FALSE(a->Visible());
  EXPECT_EQ(changes, 1);

  // A hidden tab drops out of the tab row; freeing the active page picks
  // another.
  a->SetTabVisible(false);
  EXPECT_EQ(SendMessageA(pc->Handle(), TCM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(b->TabIndex(), 0);
  delete b;
  EXPECT_EQ(pc->PageCount(), 1);
  pc->SetActivePageIndex(0);
  EXPECT_EQ(pc->ActivePage(), a);
}

TEST_F(ControlsTest, TabControlAndChildFormAsPage) {
  // The wizard frame: a tab control above a panel that hosts page forms.
  TTabControl* tabs = Make<TTabControl>(form, 0, 0, 400, 30);
  tabs->SetAlign(alTop);
  tabs->Tabs().Add("Welcome");
  tabs->Tabs().Add("Folder");
  EXPECT_EQ(tabs->TabIndex(), 0);
  tabs->SetTabIndex(1);
  EXPECT_EQ(SendMessageA(tabs->Handle(), TCM_GETCURSEL, 0, 0), 1);
  TPanel* host = Make<TPanel>(form, 0, 0, 100, 100);
  host->SetAlign(alClient);
  TForm* page = new TForm(form);
  page->SetBorderStyle(bsNone);
  page->SetParent(host);
  page->SetAlign(alClient);
  TButton* next = Make<TButton>(page, 10, 10, 75, 25);
  next->SetDefault(true);
  int pressed = 0;
  next->OnClick = [&](TObject*) { ++pressed; };
  TEdit* e = Make<TEdit>(page, 10, 50, 100, 21);
  form->Show();
  page->Show();
  Pump(30);
  EXPECT_TRUE(GetWindowLongA(page->Handle(), GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(GetParent(page->Handle()), host->Handle());
  EXPECT_EQ(page->Width(), host->ClientWidth() - 2);  // inside the raised bevel
  EXPECT_EQ(GetParentForm(e), form);
  // Enter in the page's edit presses the page's default button.
  e->SetFocus();
  SendMessageA(e->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(pressed, 1);
}

TEST_F(ControlsTest, ScrollBoxShowsBarsOnlyWhenChildrenOverflow) {
  TScrollBox* box = Make<TScrollBox>(form, 10, 10, 200, 150);
  TPanel* p = Make<TPanel>(box, 0, 0, 100, 50);
  form->Show();
  Pump(20);
  EXPECT_FALSE(box->HorzScrollBarVisible());
  p->SetBounds(0, 0, 500, 50);
  EXPECT_TRUE(box->HorzScrollBarVisible());
  EXPECT_FALSE(box->VertScrollBarVisible());
  EXPECT_LT(box->ClientHeight(), 150 - 4 - 10);  // the bar takes room
  SendMessageA(box->Handle(), WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  EXPECT_GT(box->HorzPosition(), 0);
  EXPECT_EQ(p->Left(), -box->HorzPosition());
  p->SetWidth(50);
  EXPECT_FALSE(box->HorzScrollBarVisible());
  EXPECT_EQ(box->HorzPosition(), 0);
  EXPECT_EQ(p->Left(), 0);
}

TEST_F(ControlsTest, SpeedButtonGroupsPopupMenusAndDialogs) {
  TSpeedButton* a = new TSpeedButton(form);
  a->SetBounds(10, 10, 25, 25);
  a->SetParent(form);
  TSpeedButton* b = new TSpeedButton(form);
  b->SetBounds(40, 10, 25, 25);
  b->SetParent(form);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  a->SetDown(true);
  form->Show();
  Pump(20);
  SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 20));
  SendMessageA(form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(50, 20));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  // Without AllowAllUp the last down button stays down.
  SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 20));
  SendMessageA(form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(50, 20));
  EXPECT_TRUE(b->Down());

  // A context menu: OnPopup ticks an item before the choice is made.
  TPopupMenu* menu = new TPopupMenu(form);
  const char* names[] = {"Small icons", "Large icons", "Detailed list", "Multicolumn"};
  int chosen = -1;
  for (int i = 0; i < 4; ++i) {
    TMenuItem* it = new TMenuItem(form);
    it->Caption = names[i];
    it->SetTag(i + 1);
    it->OnClick = [&chosen](TObject* s) { chosen = static_cast<int>(static_cast<TMenuItem*>(s)->Tag()); };
    menu->Items().Add(it);
  }
  menu->OnPopup = [&](TObject*) { menu->Items().Items(2)->Checked = true; };
  TListBox* list = Make<TListBox>(form, 100, 10, 100, 100);
  list->PopupMenu = menu;
  static TPopupMenu* seen_menu;
  TPopupMenu::ChooseHook = [](TPopupMenu* m) {
    seen_menu = m;
    return m->Items().Items(3);
  };
  POINT p = list->ClientToScreen(POINT{5, 5});
  SendMessageA(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), MAKELPARAM(p.x, p.y));
  TPopupMenu::ChooseHook = nullptr;
  EXPECT_EQ(seen_menu, menu);
  EXPECT_EQ(menu->PopupComponent, list);
  EXPECT_TRUE(menu->Items().Items(2)->Checked);
  EXPECT_EQ(chosen, 4);

  // The save dialog: filter, options and the chosen name come through.
  TSaveDialog dlg(nullptr);
  dlg.Filter = "Patch files (*.utp)|*.utp|All files|*.*";
  dlg.FileName = "YourPatch.utp";
  dlg.Options |= ofOverwritePrompt;
  static std::string seen_filter;
  static DWORD seen_flags;
  TOpenDialog::RunHook = [](OPENFILENAMEA* ofn, bool save) -> BOOL {
    seen_filter.assign(ofn->lpstrFilter, 40);
    seen_flags = ofn->Flags;
    EXPECT_TRUE(save);
    EXPECT_STREQ(ofn->lpstrFile, "YourPatch.utp");
    lstrcpyA(ofn->lpstrFile, "C:\\out\\new.utp");
    ofn->nFilterIndex = 2;
    return TRUE;
  };
  ASSERT_TRUE(dlg.Execute());
  TOpenDialog::RunHook = nullptr;
  EXPECT_EQ(seen_filter.substr(0, 22), std::string("Patch files (*.utp)\0*.", 22));
  EXPECT_TRUE(seen_flags & OFN_OVERWRITEPROMPT);
  EXPECT_EQ(dlg.FileName, "C:\\out\\new.utp");
  EXPECT_EQ(dlg.FilterIndex, 2);
}

TEST_F(ControlsTest, GraphicControlDrawsOutsidePaintMessages) {
  DirectBar* bar = new DirectBar(form);
  bar->SetBounds(20, 20, 100, 18);
  bar->SetParent(form);
  form->Show();
  Pump(50);
  EXPECT_EQ(ScreenPixel(bar, 50, 9), RGB(255, 255, 255));
  bar->SetFilled(60);
  Pump(20);  // no paint message comes: the red stays
  EXPECT_EQ(ScreenPixel(bar, 50, 9), RGB(255, 0, 0));
  EXPECT_EQ(ScreenPixel(bar, 70, 9), RGB(255, 255, 255));
  // Nothing spills outside the control.
  EXPECT_NE(ScreenPixel(bar, 50, 20), RGB(255, 0, 0));
}

TEST_F(ControlsTest, FormStylesPlacementTitleAndExceptions) {
  form->SetBorderStyle(bsDialog);
  EXPECT_FALSE(GetWindowLongA(form->Handle(), GWL_STYLE) & WS_THICKFRAME);
  form->Position = poScreenCenter;
  form->SetBounds(0, 0, 300, 200);
  form->SetFormStyle(fsStayOnTop);
  form->Show();
  Pump(20);
  EXPECT_TRUE(GetWindowLongA(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  // Switched while the window is up, as an "always on top" box does.
  form->SetFormStyle(fsNormal);
  EXPECT_FALSE(GetWindowLongA(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  form->SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(GetWindowLongA(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  form->SetFormStyle(fsNormal);
  EXPECT_EQ(form->Left(), (Screen->Width() - 300) / 2);
  EXPECT_EQ(form->Top(), (Screen->Height() - 200) / 2);

  // A minimised form keeps and takes its normal-state rectangle.
  form->SetWindowState(wsMinimized);
  Pump(20);
  EXPECT_EQ(form->WindowState(), wsMinimized);
  form->SetBounds(70, 40, 300, 200);
  EXPECT_EQ(form->Left(), 70);
  form->SetWindowState(wsNormal);
  Pump(20);
  RECT r;
  GetWindowRect(form->Handle(), &r);
  EXPECT_EQ(r.left, 70);
  EXPECT_EQ(r.top, 40);

  Application->SetTitle("Morvane Tapmend 1.9");
  char t[64];
  GetWindowTextA(Application->Handle(), t, sizeof t);
  EXPECT_STREQ(t, "Morvane Tapmend 1.9");

  // An exception from an event handler reaches the standard exception box.
  std::string shown, caption;
  Application->MessageBoxFunction = [&](HWND, const std::string& text, const std::string& cap, UINT) {
    shown = text;
    caption = cap;
    return IDOK;
  };
  TButton* b = Make<TButton>(form, 10, 10, 75, 25);
  b->OnClick = [](TObject*) { throw Exception("Can't locate file: index.html"); };
  SendMessageA(b->Handle(), BM_CLICK, 0, 0);
  Application->MessageBoxFunction = nullptr;
  EXPECT_EQ(shown, "Can't locate file: index.html.");
  EXPECT_EQ(caption, "Morvane Tapmend 1.9");

  // Close on a non-main form hides it; caFree frees it after the message.
  TForm* other = new TForm(Application);
  bool destroyed = false;
  other->OnDestroy = [&](TObject*) { destroyed = true; };
  other->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  other->Show();
  other->Close();
  EXPECT_FALSE(destroyed);
  Pump(20);
  EXPECT_TRUE(destroyed);
}

TEST_F(ControlsTest, ScreenshotOfEveryControl) {
  form->SetCaption("Every control");
  form->SetBounds(10, 10, 640, 480);
  TLabel* label = Make<TLabel>(form, 10, 10, 100, 15);
  label->SetCaption("A label");
  TButton* button = Make<TButton>(form, 10, 30, 80, 25);
  button->SetCaption("&Button");
  TBitBtn* bit = Make<TBitBtn>(form, 100, 30, 90, 25);
  bit->SetCaption("&Bit button");
  bit->Glyph().SetSize(12, 12);
  bit->Glyph().Canvas().Brush().SetColor(clFuchsia);
  RECT gr{0, 0, 12, 12};
  bit->Glyph().Canvas().FillRect(gr);
  bit->Glyph().Canvas().Brush().SetColor(clGreen);
  bit->Glyph().Canvas().Ellipse(1, 1, 11, 11);
  TSpeedButton* speed = new TSpeedButton(form);
  speed->SetBounds(200, 30, 40, 25);
  speed->SetCaption("Up");
  speed->SetParent(form);
  TCheckBox* check = Make<TCheckBox>(form, 10, 60, 110, 20);
  check->SetCaption("Check box");
  check->SetChecked(true);
  TRadioButton* radio = Make<TRadioButton>(form, 130, 60, 110, 20);
  radio->SetCaption("Radio button");
  radio->SetChecked(true);
  TRadioGroup* group = Make<TRadioGroup>(form, 10, 85, 230, 90);
  group->SetCaption(" Radio group ");
  group->Items().Add("Use default settings");
  group->Items().Add("Center it on screen");
  group->Items().Add("Restore old position");
  group->SetItemIndex(1);
  TGroupBox* gb = Make<TGroupBox>(form, 250, 10, 180, 90);
  gb->SetCaption(" Group box ");
  TEdit* edit = Make<TEdit>(gb, 10, 25, 150, 21);
  edit->SetText("An edit");
  TEdit* pw = Make<TEdit>(gb, 10, 55, 150, 21);
  pw->SetPasswordChar('*');
  pw->SetText("secret");
  TMemo* memo = Make<TMemo>(form, 10, 185, 230, 60);
  memo->Lines().Add("A memo");
  memo->Lines().Add("with two lines");
  TComboBox* combo = Make<TComboBox>(form, 250, 110, 180, 21);
  combo->Items().Add("TO");
  combo->Items().Add("CC");
  combo->SetItemIndex(0);
  TListBox* list = Make<TListBox>(form, 250, 140, 180, 70);
  list->SetMultiSelect(true);
  for (const char* s : {"one", "two", "three"}) list->Items().Add(s);
  list->SetSelected(0, true);
  list->SetSelected(2, true);
  TScrollBar* bar = Make<TScrollBar>(form, 250, 220, 180, 17);
  bar->SetParams(50, 0, 100);
  TProgressBar* progress = Make<TProgressBar>(form, 250, 245, 180, 18);
  progress->SetPosition(60);
  TPanel* panel = Make<TPanel>(form, 10, 255, 230, 40);
  panel->SetCaption("Panel");
  panel->SetBevelInner(bvLowered);
  TScrollBox* box = Make<TScrollBox>(form, 440, 10, 180, 100);
  TLabel* inbox = Make<TLabel>(box, 5, 5, 300, 15);
  inbox->SetCaption("A wide label inside a scroll box, wider than the box");
  TPageControl* pages = Make<TPageControl>(form, 440, 120, 180, 120);
  TTabSheet* s1 = new TTabSheet(form);
  s1->SetCaption("Page one");
  s1->SetPageControl(pages);
  TTabSheet* s2 = new TTabSheet(form);
  s2->SetCaption("Two");
  s2->SetPageControl(pages);
  TLabel* onpage = Make<TLabel>(s1, 10, 10, 100, 15);
  onpage->SetCaption("On page one");
  TTabControl* tabs = Make<TTabControl>(form, 440, 250, 180, 60);
  tabs->Tabs().Add("Tab A");
  tabs->Tabs().Add("Tab B");
  TImage* image = Make<TImage>(form, 10, 305, 64, 64);
  TCanvas& ic = image->Canvas();
  ic.Brush().SetColor(clNavy);
  RECT ir{0, 0, 64, 64};
  ic.FillRect(ir);
  ic.Brush().SetColor(clYellow);
  ic.Ellipse(8, 8, 56, 56);
  form->Show();
  Pump(300);
  EXPECT_EQ(ScreenPixel(image, 32, 32), RGB(255, 255, 0));
  EXPECT_EQ(ScreenPixel(image, 2, 2), RGB(0, 0, 128));
  EXPECT_TRUE(box->HorzScrollBarVisible());
  std::string shot = testsupport::Screenshot("classlibgui_every_control");
  EXPECT_FALSE(shot.empty());
}

TEST(Resources, FormsWithControlsGiveBackTheirWindowsAndGdiObjects) {
  Application->Initialize();
  TForm* f = new TForm(Application);
  TPanel* p = Make<TPanel>(f, 0, 0, 100, 50);
  p->SetAlign(alTop);
  TLabel* l = Make<TLabel>(p, 5, 5, 50, 15);
  l->SetCaption("label");
  TEdit* e = Make<TEdit>(f, 5, 60, 80, 21);
  e->SetColor(clYellow);
  TComboBox* c = Make<TComboBox>(f, 5, 90, 80, 21);
  c->Items().Add("x");
  TRadioGroup* g = Make<TRadioGroup>(f, 100, 60, 100, 80);
  g->Items().Add("a");
  g->Items().Add("b");
  TBitBtn* b = Make<TBitBtn>(f, 5, 120, 80, 25);
  b->Glyph().SetSize(8, 8);
  f->Show();
  Pump(20);
  HGDIOBJ form_font = f->Font().Handle();
  f->Font().SetHeight(-13);  // reaches every child with ParentFont
  EXPECT_EQ(GetObjectType(form_font), 0u);
  EXPECT_EQ(l->Font().Height(), -13);
  HGDIOBJ edit_font = e->Font().Handle();
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(e->Handle(), WM_GETFONT, 0, 0)), edit_font);
  // The edit's background brush, made when the edit paints.
  HDC dc = GetDC(e->Handle());
  HGDIOBJ edit_brush = reinterpret_cast<HGDIOBJ>(
      SendMessageA(f->Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(e->Handle())));
  ReleaseDC(e->Handle(), dc);
  EXPECT_EQ(GetObjectType(edit_brush), static_cast<DWORD>(OBJ_BRUSH));
  HGDIOBJ glyph = b->Glyph().Handle();
  std::vector<HWND> windows{f->Handle(), p->Handle(), e->Handle(), c->Handle(), g->Handle(), g->Buttons(1)->Handle(),
                            b->Handle()};
  delete f;
  for (HWND w : windows) EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(GetObjectType(edit_font), 0u);
  EXPECT_EQ(GetObjectType(edit_brush), 0u);
  EXPECT_EQ(GetObjectType(glyph), 0u);
}

TEST_F(ControlsTest, MemoKeepsEnterAndGivesTabAway) {
  TButton* def = Make<TButton>(form, 10, 10, 75, 25);
  def->SetDefault(true);
  int pressed = 0;
  def->OnClick = [&](TObject*) { ++pressed; };
  TMemo* memo = Make<TMemo>(form, 10, 40, 200, 80);
  TEdit* after = Make<TEdit>(form, 10, 130, 100, 21);
  form->Show();
  Pump(20);
  memo->SetFocus();
  SendMessageA(memo->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(pressed, 0);  // a memo takes Enter for a new line
  SendMessageA(memo->Handle(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(after->Focused());
  memo->WantTabs = true;
  memo->SetFocus();
  SendMessageA(memo->Handle(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(memo->Focused());
  // Enter in a plain edit is the default button's.
  after->SetFocus();
  SendMessageA(after->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(pressed, 1);
  // A key handler that swallows Enter keeps the default button out.
  after->OnKeyDown = [](TObject*, WORD& key, TShiftState) {
    if (key == VK_RETURN) key = 0;
  };
  SendMessageA(after->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(pressed, 1);
}

TEST_F(ControlsTest, LabelsSizeThemselvesAndListsReportMouseChoices) {
  TLabel* l = Make<TLabel>(form, 100, 10, 10, 10);
  l->SetCaption("Currently analysed File:");
  TBitmap m(1, 1);
  m.Canvas().Font().Assign(l->Font());
  EXPECT_EQ(l->Width(), m.Canvas().TextWidth("Currently analysed File:"));
  EXPECT_EQ(l->Height(), m.Canvas().TextHeight("C"));
  l->SetCaption("two\r\nlines");
  EXPECT_GE(l->Height(), 2 * m.Canvas().TextHeight("C"));

  TListBox* lb = Make<TListBox>(form, 10, 60, 150, 100);
  lb->Items().Add("first");
  lb->Items().Add("second");
  int clicks = 0, dbl = 0;
  lb->OnClick = [&](TObject*) { ++clicks; };
  lb->OnDblClick = [&](TObject*) { ++dbl; };
  form->Show();
  Pump(20);
  int y = lb->ItemHeight() + lb->ItemHeight() / 2;  // on the second item
  SendMessageA(lb->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, y));
  SendMessageA(lb->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, y));
  EXPECT_EQ(lb->ItemIndex(), 1);
  EXPECT_EQ(clicks, 1);
  SendMessageA(lb->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, y));
  SendMessageA(lb->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, y));
  EXPECT_EQ(dbl, 1);

  TCheckBox* cb = Make<TCheckBox>(form, 200, 60, 100, 20);
  cb->AllowGrayed = true;
  SendMessageA(cb->Handle(), BM_CLICK, 0, 0);
  SendMessageA(cb->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(cb->State(), cbGrayed);
  EXPECT_EQ(SendMessageA(cb->Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  SendMessageA(cb->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(cb->State(), cbUnchecked);

  TProgressBar* pb = Make<TProgressBar>(form, 200, 100, 100, 16);
  pb->SetPosition(150);
  EXPECT_EQ(pb->Position(), 100);
  EXPECT_EQ(SendMessageA(pb->Handle(), PBM_GETPOS, 0, 0), 100);
}

TEST_F(ControlsTest, BitButtonGlyphKeepsItsTransparentColourOut) {
  TBitBtn* b = Make<TBitBtn>(form, 10, 10, 60, 40);
  TBitmap& g = b->Glyph();
  g.SetSize(10, 10);
  RECT all{0, 0, 10, 10};
  g.Canvas().Brush().SetColor(clFuchsia);  // bottom-left pixel: transparent
  g.Canvas().FillRect(all);
  g.Canvas().SetPixel(5, 5, clRed);
  form->Show();
  Pump(50);
  // No caption: the glyph sits in the middle of the face.
  int x0 = (60 - 10) / 2, y0 = (40 - 10) / 2;
  bool red = false, fuchsia = false;
  for (int y = y0 - 2; y < y0 + 12; ++y)
    for (int x = x0 - 2; x < x0 + 12; ++x) {
      COLORREF c = ScreenPixel(b, x, y);
      red |= c == RGB(255, 0, 0);
      fuchsia |= c == RGB(255, 0, 255);
    }
  EXPECT_TRUE(red);
  EXPECT_FALSE(fuchsia);
}

TEST_F(ControlsTest, MinimisingTheApplicationAndRestoringFromAForm) {
  form->Show();
  Pump(20);
  int minimized = 0, restored = 0;
  Application->OnMinimize = [&](TObject*) { ++minimized; };
  Application->OnRestore = [&](TObject*) { ++restored; };
  Application->Minimize();
  Pump(20);
  EXPECT_EQ(minimized, 1);
  EXPECT_TRUE(IsIconic(form->Handle()));
  // The user restores the form from its minimised state.
  SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  Pump(20);
  EXPECT_EQ(restored, 1);
  EXPECT_FALSE(IsIconic(form->Handle()));
  Application->OnMinimize = nullptr;
  Application->OnRestore = nullptr;
}

namespace {

// A key as the keyboard delivers it to the focused window: WM_SYSKEYDOWN
// with Alt held, or a plain WM_KEYDOWN, through the application's loop.
void PressKey(WORD vk, bool alt) {
  HWND to = GetFocus() ? GetFocus() : GetActiveWindow();
  const UINT scan = MapVirtualKeyA(vk, 0);
  const LPARAM context = alt ? (1 << 29) : 0;
  PostMessageA(to, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, 1 | (scan << 16) | context);
  PostMessageA(to, alt ? WM_SYSKEYUP : WM_KEYUP, vk, 1 | (scan << 16) | context | 0xC0000000u);
  Pump(60);
}

}  // namespace

TEST_F(ControlsTest, AcceleratorLettersReachTheControlsTheyMark) {
  TPageControl* pc = Make<TPageControl>(form, 10, 10, 400, 300);
  TTabSheet* first = new TTabSheet(form);
  first->SetPageControl(pc);
  TTabSheet* second = new TTabSheet(form);
  second->SetPageControl(pc);
  // A text that marks a letter, a label with the same letter, and the
  // fields after each.
  TLabel* text = Make<TLabel>(first, 8, 8, 300, 16);
  text->SetCaption("Type a name, or choose from the E&xisting ones.");
  TEdit* name = Make<TEdit>(first, 8, 30, 200, 22);
  name->TabStop = true;
  TLabel* existing = Make<TLabel>(first, 8, 60, 200, 16);
  existing->SetCaption("E&xisting");
  TListBox* list = Make<TListBox>(first, 8, 80, 200, 80);
  list->TabStop = true;
  TLabel* pointed = Make<TLabel>(first, 220, 8, 100, 16);
  pointed->SetCaption("&Name");
  pointed->SetFocusControl(name);
  int okClicks = 0, hiddenClicks = 0;
  TButton* ok = Make<TButton>(first, 8, 170, 90, 25);
  ok->SetCaption("&Go on");
  ok->TabStop = true;
  ok->OnClick = [&](TObject*) { ++okClicks; };
  TCheckBox* box = Make<TCheckBox>(first, 110, 170, 120, 20);
  box->SetCaption("&Keep");
  TButton* hidden = Make<TButton>(second, 8, 8, 90, 25);
  hidden->SetCaption("&Hidden");
  hidden->OnClick = [&](TObject*) { ++hiddenClicks; };
  form->Show();
  form->SetActiveControl(name);
  Pump(50);
  ASSERT_EQ(GetFocus(), name->Handle());

  // The letter marked twice moves to the next of its fields each time.
  PressKey('X', true);
  EXPECT_EQ(GetFocus(), list->Handle()) << "first Alt+X";
  PressKey('X', true);
  EXPECT_EQ(GetFocus(), name->Handle()) << "second Alt+X";
  // A label's own focus control wins over the control after it.
  list->SetFocus();
  PressKey('N', true);
  EXPECT_EQ(GetFocus(), name->Handle());
  // Letters typed into an edit are the edit's.
  name->SetText("");
  PressKey('G', false);
  EXPECT_EQ(okClicks, 0);
  EXPECT_EQ(name->Text(), "g");
  // Alt presses the button from the edit; then, on the button, which takes
  // no characters, the letter alone toggles the box.
  PressKey('G', true);
  EXPECT_EQ(okClicks, 1);
  ok->SetFocus();
  PressKey('K', false);
  EXPECT_TRUE(box->Checked());
  // Nothing on a hidden page, and a disabled control is passed over.
  PressKey('H', true);
  EXPECT_EQ(hiddenClicks, 0);
  ok->SetEnabled(false);
  name->SetFocus();
  PressKey('G', true);
  EXPECT_EQ(okClicks, 1);
}
