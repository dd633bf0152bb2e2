// The tree view and image lists driven through their real windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "gui_test_support.h"
#include "win/forms.h"
#include "win/imagelist.h"
#include "win/treeview.h"

using testsupport::Pump;

namespace {

int CALLBACK Reverse(LPARAM a, LPARAM b, LPARAM) {
  return -lstrcmpA(reinterpret_cast<TTreeNode*>(a)->Text().c_str(), reinterpret_cast<TTreeNode*>(b)->Text().c_str());
}

HIMAGELIST SystemSmallList() {
  SHFILEINFOA fi{};
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, MAX_PATH);
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(dir, 0, &fi, sizeof fi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

class ViewsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    form = new TForm(Application);
    form->SetBounds(20, 20, 500, 400);
    tree = new TTreeView(form);
    tree->SetBounds(10, 10, 220, 300);
    tree->SetParent(form);
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
};
TForm* ViewsTest::form = nullptr;
TTreeView* ViewsTest::tree = nullptr;

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
