// The tree view and image lists driven through their real windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "gui_test_support.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/imagelist.h"
#include "win/listview.h"
#include "win/menus.h"
#include "win/stdctrls.h"
#include "win/treeview.h"

using testsupport::PressKey;
using testsupport::Pump;
using testsupport::SendClick;
using testsupport::SendDrag;
using testsupport::SendKey;
using testsupport::SendMouse;

namespace {

int CALLBACK Reverse(LPARAM a, LPARAM b, LPARAM) {
  return -lstrcmpA(reinterpret_cast<TTreeNode*>(a)->Text().c_str(), reinterpret_cast<TTreeNode*>(b)->Text().c_str());
}

int SystemIconOf(const char* path) {
  SHFILEINFOA fi{};
  SHGetFileInfoA(path, 0, &fi, sizeof fi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return fi.iIcon;
}

HIMAGELIST SystemSmallList() {
  SHFILEINFOA fi{};
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, MAX_PATH);
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(dir, 0, &fi, sizeof fi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

// Texts and images come only from the on-demand hook: the captions stay
// empty, as in the shell list.
class OnDemandList : public TListView {
 public:
  using TListView::TListView;
  int drags = 0;
  bool right_drag = false;
  TListItem* dragged = nullptr;
  static intptr_t Number(TListItem* item) { return reinterpret_cast<intptr_t>(item->Data) - Base(); }
  static intptr_t Base() { return sizeof(void*) == 8 ? static_cast<intptr_t>(1) << 40 : 0x10000; }
  static int Key(intptr_t n) { return static_cast<int>((n * 7919) % 1200); }

 protected:
  void GetDispInfo(TListItem* item, TLVDispInfo& info) override {
    char b[32];
    intptr_t n = Number(item);
    if (info.SubItem == 0)
      snprintf(b, sizeof b, "row%04d", static_cast<int>(n));
    else
      snprintf(b, sizeof b, "%d", Key(n));
    info.Text = b;
    info.ImageIndex = 0;
  }
  void BeginDrag(TListItem* item, bool right) override {
    ++drags;
    dragged = item;
    right_drag = right;
  }
};

int CALLBACK ByKey(LPARAM a, LPARAM b, LPARAM dir) {
  int ka = OnDemandList::Key(OnDemandList::Number(reinterpret_cast<TListItem*>(a)));
  int kb = OnDemandList::Key(OnDemandList::Number(reinterpret_cast<TListItem*>(b)));
  return static_cast<int>(dir) * (ka < kb ? -1 : ka > kb ? 1 : 0);
}

// Mouse input through the system's queue; every event carries its own
// screen position, since the display may still report an earlier one for a
// little while after a move.
// A real click at a control's client point, through the system's input queue.
void ClickAt(TControl* c, POINT p, bool ctrl) {
  POINT s = c->ClientToScreen(p);
  SendMouse(s, 0);
  if (ctrl) SendKey(VK_CONTROL, false);
  SendClick(s, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  if (ctrl) SendKey(VK_CONTROL, true);
  Pump(30);
}

// Counts what the owner-drawn combo's members see.
class DrawnCombo : public TComboBox {
 public:
  using TComboBox::TComboBox;
  ~DrawnCombo() override { DestroyEntries(); }
  int closeups = 0, oks = 0, cancels = 0;
  std::vector<TObject*> deleted;
  std::vector<TObject*>* sink = &deleted;

 protected:
  void CloseUp() override { ++closeups; }
  void SelEndOk() override { ++oks; }
  void SelEndCancel() override { ++cancels; }
  void DeleteItem(int, TObject* data) override { sink->push_back(data); }
};

TObject* Tag(int i) { return reinterpret_cast<TObject*>(OnDemandList::Base() + 0x100 * i); }

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class ViewsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(20, 20, 700, 480);
    tree = new TTreeView(form);
    tree->SetBounds(10, 10, 220, 300);
    tree->SetParent(form);
    list = new OnDemandList(form);
    list->SetBounds(240, 10, 400, 300);
    list->SetViewStyle(vsReport);
    list->MultiSelect = true;
    for (const char* c : {"Name", "Key"}) {
      TListColumn* col = list->Columns().Add();
      col->SetCaption(c);
      col->SetWidth(120);
    }
    list->Columns()[1]->SetAlignment(taRightJustify);
    list->SetParent(form);
    combo = new DrawnCombo(form);
    combo->SetStyle(csOwnerDrawFixed);
    combo->SetItemHeight(18);
    combo->SetBounds(240, 320, 200, 20);
    combo->OnMeasureItem = [](TWinControl* c, int, int& h) {
      if (!static_cast<TWinControl*>(c)->HandleAllocated()) ++measured_while_creating;
      measured_height = h;
    };
    combo->OnDrawItem = [](TWinControl* c, int index, const RECT& r, TOwnerDrawState) {
      TCanvas& cv = static_cast<DrawnCombo*>(c)->Canvas();
      cv.FillRect(r);
      if (index < 0) return;
      RECT mark{r.left + 2, r.top + 3, r.left + 14, r.bottom - 3};
      HBRUSH b = CreateSolidBrush(RGB(0, 160, 0));
      ::FillRect(cv.Handle(), &mark, b);
      DeleteObject(b);
      cv.TextOut(r.left + 18, r.top + 2, static_cast<DrawnCombo*>(c)->Items().Get(index));
    };
    for (int i = 0; i < 4; ++i) combo->Items().AddObject("entry " + std::to_string(i), Tag(i));
    combo->SetParent(form);
    form->Show();
    Pump(50);
  }
  static void TearDownTestSuite() {
    delete form;
    form = nullptr;
  }
  void SetUp() override {
    tree->OnExpanding = nullptr;
    tree->OnDeletion = nullptr;
    tree->Items().Clear();
  }
  static TForm* form;
  static TTreeView* tree;
  static OnDemandList* list;
  static DrawnCombo* combo;
  static int measured_while_creating, measured_height;
};
TForm* ViewsTest::form = nullptr;
TTreeView* ViewsTest::tree = nullptr;
OnDemandList* ViewsTest::list = nullptr;
DrawnCombo* ViewsTest::combo = nullptr;
int ViewsTest::measured_while_creating = 0;
int ViewsTest::measured_height = 0;

}  // namespace

TEST_F(ViewsTest, LazyTreeFilledFromExpandingSortedAndHitTested) {
  int expansions = 0;
  tree->OnExpanding = [&](TObject*, TTreeNode* n, bool& allow) {
    allow = true;
    ++expansions;
    if (n->GetFirstChild()) return;
    int level = 0;
    for (TTreeNode* p = n->Parent(); p; p = p->Parent()) ++level;
    for (const char* s : {"a", "b", "c"}) {
      TTreeNode* c = tree->Items().AddChild(n, n->Text() + s);
      c->SetHasChildren(level < 1);
    }
  };
  TTreeNode* root = tree->Items().AddChild(nullptr, "r");
  root->Data = reinterpret_cast<void*>(static_cast<intptr_t>(0x123456789LL & INTPTR_MAX));
  root->SetHasChildren(true);
  EXPECT_TRUE(root->HasChildren());
  EXPECT_EQ(root->GetFirstChild(), nullptr);
  // The expand button is there though no child is.
  RECT r = root->DisplayRect();
  EXPECT_TRUE(tree->GetHitTestInfoAt(r.left - tree->Indent() + 4, (r.top + r.bottom) / 2) & (1u << htOnButton));
  root->Expand();
  EXPECT_EQ(expansions, 1);
  ASSERT_EQ(root->Count(), 3);
  TTreeNode* ra = root->GetFirstChild();
  EXPECT_TRUE(ra->HasChildren());
  ra->Expand();
  ASSERT_EQ(ra->Count(), 3);
  EXPECT_FALSE(ra->GetFirstChild()->HasChildren());  // third level: leaves
  EXPECT_EQ(tree->Items().Count(), 7);

  ASSERT_TRUE(tree->CustomSort(Reverse, 0, root));
  std::vector<std::string> order;
  for (TTreeNode* c = root->GetFirstChild(); c; c = c->GetNextSibling()) order.push_back(c->Text());
  EXPECT_EQ(order, (std::vector<std::string>{"rc", "rb", "ra"}));
  EXPECT_EQ(root->Data, reinterpret_cast<void*>(static_cast<intptr_t>(0x123456789LL & INTPTR_MAX)));

  Pump(20);
  TTreeNode* last = root->GetFirstChild()->GetNextSibling()->GetNextSibling();
  RECT lr = last->DisplayRect();
  EXPECT_EQ(tree->GetNodeAt((lr.left + lr.right) / 2, (lr.top + lr.bottom) / 2), last);
  EXPECT_EQ(tree->GetNodeAt(200, 290), nullptr);
}

TEST_F(ViewsTest, DeletingAParentReportsChildrenFirst) {
  TTreeNode* p = tree->Items().AddChild(nullptr, "p");
  TTreeNode* c1 = tree->Items().AddChild(p, "c1");
  tree->Items().AddChild(c1, "g");
  tree->Items().AddChildFirst(p, "c0");
  std::vector<std::string> seen;
  tree->OnDeletion = [&](TObject*, TTreeNode* n) { seen.push_back(n->Text()); };
  p->Delete();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen.back(), "p");
  auto pos = [&](const char* s) { return std::find(seen.begin(), seen.end(), s) - seen.begin(); };
  EXPECT_LT(pos("g"), pos("c1"));
  EXPECT_EQ(tree->Items().Count(), 0);
}

TEST_F(ViewsTest, ImagesAskedOnDemandFromTheSharedSystemList) {
  auto* list = new TImageList(nullptr);
  list->ShareImages = true;
  list->SetHandle(SystemSmallList());
  ASSERT_NE(list->Handle(), nullptr);
  HIMAGELIST sys = list->Handle();
  int count = list->Count();
  EXPECT_GT(count, 0);
  EXPECT_EQ(list->Width(), GetSystemMetrics(SM_CXSMICON));
  tree->SetImages(list);
  int asked = 0;
  tree->OnGetImageIndex = [&](TObject*, TTreeNode* n) { ++asked; n->ImageIndex = 0; };
  tree->Items().AddChild(nullptr, "icon");
  tree->Repaint();
  Pump(20);
  EXPECT_GT(asked, 0);
  tree->OnGetImageIndex = nullptr;

  // Overlays drawn through Draw change pixels.
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 64, 16);
  HGDIOBJ old = SelectObject(mem, bmp);
  PatBlt(mem, 0, 0, 64, 16, WHITENESS);
  TCanvas canvas;
  canvas.SetHandle(mem);
  TImageList own(nullptr);
  own.CreateList();
  own.AddIcon(LoadIcon(nullptr, IDI_APPLICATION));
  int ov = own.AddIcon(LoadIcon(nullptr, IDI_ERROR));
  ASSERT_TRUE(own.Overlay(ov, 0));
  own.Draw(canvas, 0, 0, 0);
  own.Draw(canvas, 32, 0, 0, dsNormal, 0);
  int differ = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) differ += GetPixel(mem, x, y) != GetPixel(mem, 32 + x, y);
  EXPECT_GT(differ, 0);
  canvas.SetHandle(nullptr);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);

  // A freed wrapper leaves the system list alive and the view forgets it.
  delete list;
  EXPECT_EQ(tree->Images(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(sys), count);
}

TEST_F(ViewsTest, LabelEditingThroughTheEditWindow) {
  TTreeNode* n = tree->Items().AddChild(nullptr, "old");
  bool refuse = true;
  int editing = 0;
  std::string edited;
  tree->OnEditing = [&](TObject*, TTreeNode*, bool& allow) { ++editing; allow = !refuse; };
  tree->OnEdited = [&](TObject*, TTreeNode*, std::string& s) { edited = s; s += "!"; };
  tree->SetFocus();
  EXPECT_FALSE(n->EditText());
  EXPECT_EQ(editing, 1);
  EXPECT_EQ(n->Text(), "old");
  refuse = false;
  ASSERT_TRUE(n->EditText());
  HWND edit = TreeView_GetEditControl(tree->Handle());
  ASSERT_NE(edit, nullptr);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char c : std::string("new")) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  Pump(20);
  EXPECT_EQ(edited, "new");
  EXPECT_EQ(n->Text(), "new!");
  char buf[32] = {};
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = n->ItemId();
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  SendMessageA(tree->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_STREQ(buf, "new!");
  tree->OnEditing = nullptr;
  tree->OnEdited = nullptr;
}

TEST_F(ViewsTest, ListOnDemandSortedSelectedAndDragged) {
  const int n = 1200;
  int inserted = 0;
  list->OnInsert = [&](TObject*, TListItem* item) {
    ++inserted;
    EXPECT_TRUE(item->Caption().empty());
  };
  list->SetAllocBy(n);
  list->Items().BeginUpdate();
  for (int i = 0; i < n; ++i) list->Items().Add()->Data = reinterpret_cast<void*>(OnDemandList::Base() + i);
  list->Items().EndUpdate();
  list->OnInsert = nullptr;
  EXPECT_EQ(inserted, n);
  ASSERT_EQ(list->Items().Count(), n);

  auto text = [&](int row, int col) {
    char b[64] = {};
    ListView_GetItemText(list->Handle(), row, col, b, sizeof b);
    return std::string(b);
  };
  EXPECT_EQ(text(0, 0), "row0000");
  EXPECT_EQ(text(1199, 0), "row1199");
  EXPECT_EQ(text(3, 1), std::to_string(OnDemandList::Key(3)));

  // Sorting by the key column moves items, never their data.
  auto check_order = [&](int dir) {
    int prev = dir > 0 ? -1 : n;
    for (int i = 0; i < n; ++i) {
      TListItem* item = list->Items()[i];
      ASSERT_NE(item, nullptr);
      intptr_t num = OnDemandList::Number(item);
      ASSERT_TRUE(num >= 0 && num < n);
      int key = OnDemandList::Key(num);
      ASSERT_TRUE(dir > 0 ? key > prev : key < prev) << i;
      prev = key;
      if (i % 97 == 0) {
        char b[16];
        snprintf(b, sizeof b, "row%04d", static_cast<int>(num));
        EXPECT_EQ(text(i, 0), b);
        EXPECT_EQ(item->Index(), i);
      }
    }
  };
  ASSERT_TRUE(list->CustomSort(ByKey, 1));
  check_order(1);
  ASSERT_TRUE(list->CustomSort(ByKey, -1));
  check_order(-1);

  // Ctrl+click with the real mouse selects three rows.
  list->Items()[0]->MakeVisible(false);
  Pump(30);
  TListItem* rows[3] = {list->Items()[0], list->Items()[2], list->Items()[4]};
  ClickAt(list, Centre(rows[0]->DisplayRect(drLabel)), false);
  ClickAt(list, Centre(rows[1]->DisplayRect(drLabel)), true);
  ClickAt(list, Centre(rows[2]->DisplayRect(drLabel)), true);
  EXPECT_EQ(list->SelCount(), 3);
  for (TListItem* r : rows) EXPECT_TRUE(r->Selected());
  EXPECT_FALSE(list->Items()[1]->Selected());
  EXPECT_EQ(list->ItemFocused(), rows[2]);
  EXPECT_EQ(list->GetNextItem(rows[0], sdAll, 1u << isSelected), rows[1]);
  RECT r6 = list->Items()[6]->DisplayRect(drLabel);
  EXPECT_EQ(list->GetItemAt(Centre(r6).x, Centre(r6).y), list->Items()[6]);

  // Dragging over an item starts a drag of that item.
  TListItem* source = list->Items()[6];
  POINT s = list->ClientToScreen(Centre(r6));
  SendMouse(s, 0);
  SendDrag(s, POINT{s.x + 20, s.y + 16}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(list->drags, 1);
  EXPECT_EQ(list->dragged, source) << (list->dragged ? list->dragged->Index() : -1);
  EXPECT_FALSE(list->right_drag);

  // Clearing reports every item once.
  int deleted = 0;
  list->OnDeletion = [&](TObject*, TListItem*) { ++deleted; };
  list->Items().Clear();
  list->OnDeletion = nullptr;
  EXPECT_EQ(deleted, n);
  EXPECT_EQ(list->Items().Count(), 0);
}

TEST_F(ViewsTest, OwnerDrawnComboFromTheKeyboardAndThroughReCreation) {
  // The measure message came while the window was being made.
  EXPECT_GT(measured_while_creating, 0);
  EXPECT_EQ(measured_height, 18);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), 18);

  SetForegroundWindow(form->Handle());
  combo->SetFocus();
  combo->SetItemIndex(0);
  Pump(20);
  PressKey(VK_F4);
  EXPECT_TRUE(combo->DroppedDown());
  PressKey(VK_DOWN);
  PressKey(VK_RETURN);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->closeups, 1);
  EXPECT_EQ(combo->oks, 1);
  EXPECT_EQ(combo->cancels, 0);
  EXPECT_EQ(combo->ItemIndex(), 1);
  PressKey(VK_F4);
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->closeups, 2);
  EXPECT_EQ(combo->cancels, 1);
  EXPECT_EQ(combo->ItemIndex(), 1);

  // A new item height makes a new window with the same entries.
  HWND before = combo->Handle();
  measured_height = 0;
  combo->SetItemHeight(24);
  EXPECT_NE(combo->Handle(), before);
  EXPECT_EQ(measured_height, 24);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), 24);
  EXPECT_TRUE(combo->deleted.empty());
  ASSERT_EQ(combo->Items().Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(combo->Items().Get(i), "entry " + std::to_string(i));
    EXPECT_EQ(combo->Items().Objects(i), Tag(i));
  }
  EXPECT_EQ(combo->ItemIndex(), 1);
  combo->SetItemHeight(18);

  // The final destruction reports every entry once.
  auto* other = new DrawnCombo(form);
  other->SetStyle(csOwnerDrawFixed);
  other->SetBounds(460, 320, 100, 20);
  for (int i = 0; i < 3; ++i) other->Items().AddObject("x", Tag(10 + i));
  other->SetParent(form);
  std::vector<TObject*> gone;
  other->sink = &gone;
  other->Items().Delete(0);
  EXPECT_EQ(gone, std::vector<TObject*>{Tag(10)});
  delete other;
  // The system goes through them from the last.
  EXPECT_EQ(gone, (std::vector<TObject*>{Tag(10), Tag(12), Tag(11)}));
}

TEST_F(ViewsTest, RightClickShowsThePopupMenuUnlessItsAutoPopupIsOff) {
  TPopupMenu menu(form);
  auto* item = new TMenuItem(&menu);
  item->Caption = "&Open";
  item->Hint = "Opens the item";
  menu.Items().Add(item);
  list->PopupMenu = &menu;
  static std::vector<TPopupMenu*> shown;
  shown.clear();
  TPopupMenu::ChooseHook = [](TPopupMenu* m) -> TMenuItem* {
    shown.push_back(m);
    return nullptr;
  };
  auto right_click = [&](POINT p) {
    POINT s = list->ClientToScreen(p);
    SendMouse(s, 0);
    SendClick(s, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  };
  right_click(POINT{200, 200});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], &menu);
  EXPECT_EQ(menu.PopupComponent, list);
  menu.AutoPopup = false;
  right_click(POINT{200, 200});
  EXPECT_EQ(shown.size(), 1u);
  TPopupMenu::ChooseHook = nullptr;
  list->PopupMenu = nullptr;
}

TEST_F(ViewsTest, ScreenshotOfIconsColumnsAndTheOpenCombo) {
  auto* sys = new TImageList(form);
  sys->ShareImages = true;
  sys->SetHandle(SystemSmallList());
  char windir[MAX_PATH], notepad[MAX_PATH];
  GetWindowsDirectoryA(windir, MAX_PATH);
  snprintf(notepad, sizeof notepad, "%s\\notepad.exe", windir);
  int folder = SystemIconOf(windir), program = SystemIconOf(notepad);
  tree->SetImages(sys);
  tree->OnGetImageIndex = [&](TObject*, TTreeNode* n) { n->ImageIndex = n->GetFirstChild() ? folder : program; };
  tree->OnGetSelectedIndex = [&](TObject*, TTreeNode* n) { n->SelectedIndex = n->ImageIndex; };
  TTreeNode* root = tree->Items().AddChild(nullptr, "Windows");
  for (const char* s : {"notepad.exe", "regedit.exe", "winhlp32.exe"}) tree->Items().AddChild(root, s);
  root->Expand();

  list->SetSmallImages(sys);
  for (int i = 0; i < 12; ++i) list->Items().Add()->Data = reinterpret_cast<void*>(OnDemandList::Base() + i);
  combo->SetFocus();
  combo->SetDroppedDown(true);
  Pump(150);
  EXPECT_TRUE(combo->DroppedDown());
  std::string shot = testsupport::Screenshot("classlibviews");
  if (!shot.empty()) printf("screenshot: %s\n", shot.c_str());
  combo->SetDroppedDown(false);
  tree->OnGetImageIndex = nullptr;
  tree->OnGetSelectedIndex = nullptr;
  tree->SetImages(nullptr);
  list->SetSmallImages(nullptr);
  list->Items().Clear();
}
