// Context menus of real items, their verbs on the OLE clipboard and on the
// file system, and the owner-drawn send-to submenu.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "shell_test_common.h"
#include "sysutils.h"
#include "test_support.h"
#include "win/shellmenu.h"

using namespace shelltest;
using testsupport::Join;

namespace {

struct TItemMenu {
  TComPtr<IContextMenu> handler;
  HMENU menu = nullptr;
  ~TItemMenu() {
    if (menu) DestroyMenu(menu);
  }
};

void QueryMenuOf(TFolderOwner& owner, LPCITEMIDLIST child, TItemMenu& m) {
  IContextMenu* h = nullptr;
  HRESULT hr = QueryItemMenu(owner.Folder(), nullptr, {child}, kFirstMenuId, CMF_NORMAL, &h, &m.menu);
  m.handler = TComPtr<IContextMenu>::Adopt(h);
  // Success with the number of ids used.
  EXPECT_TRUE(SUCCEEDED(hr)) << hr;
}

// Presses Yes in the shell's own confirmation dialog once it appears.
class TDialogAnswerer {
 public:
  explicit TDialogAnswerer(const char* title) : title_(title) {
    worker_ = std::thread([this] {
      for (int i = 0; i < 500 && !stop_; ++i) {
        HWND dlg = FindWindowA(nullptr, title_);
        if (dlg) {
          PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
          answered_ = true;
          return;
        }
        Sleep(20);
      }
    });
  }
  ~TDialogAnswerer() {
    stop_ = true;
    worker_.join();
  }
  bool Answered() const { return answered_; }

 private:
  const char* title_;
  std::atomic<bool> stop_{false}, answered_{false};
  std::thread worker_;
};

TEST(ShellMenus, VerbsOfRealItems) {
  const std::string base = Scratch("menus");
  const std::string file = Join(base, "victim.txt");
  testsupport::WriteFileText(file, "contents");
  TFolderOwner owner(base);
  TPidl child(owner.Child("victim.txt"));
  ASSERT_TRUE(child);

  TItemMenu m;
  QueryMenuOf(owner, child.get(), m);
  ASSERT_TRUE(m.handler);
  ASSERT_NE(nullptr, m.menu);
  const int items = GetMenuItemCount(m.menu);
  EXPECT_GT(items, 3);
  for (const char* verb : {"copy", "cut", "delete", "properties", "COPY"})
    EXPECT_GE(FindVerb(m.handler.Get(), verb), 0) << verb;
  EXPECT_NE(FindVerb(m.handler.Get(), "copy"), FindVerb(m.handler.Get(), "delete"));
  EXPECT_EQ(-1, FindVerb(m.handler.Get(), "frobnicate"));

  // Help texts of every command, and none for what is not a command.
  int calls = 0;
  for (int i = 0; i < items; ++i) {
    UINT id = GetMenuItemID(m.menu, i);
    UINT state = GetMenuState(m.menu, static_cast<UINT>(i), MF_BYPOSITION);
    MenuHelpText(id, state & (MF_POPUP | MF_SEPARATOR), m.handler.Get(), [&](const std::string& t) {
      ++calls;
      if (state & (MF_POPUP | MF_SEPARATOR)) {
        EXPECT_EQ("", t);
      }
    });
  }
  EXPECT_EQ(items, calls);
  std::string text = "unset";
  MenuHelpText(10, 0, m.handler.Get(), [&](const std::string& t) { text = t; });
  EXPECT_EQ("", text);
  MenuHelpText(kFirstMenuId, MF_POPUP, m.handler.Get(), [&](const std::string& t) { text = t + "."; });
  EXPECT_EQ(".", text);

  // An unknown verb runs nothing, not the first command.
  OleSetClipboard(nullptr);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), InvokeVerb(m.handler.Get(), nullptr, "frobnicate"));
  EXPECT_TRUE(testsupport::FileExists(file));
  {
    TComPtr<IDataObject> clip;
    ASSERT_EQ(S_OK, OleGetClipboard(clip.Put()));
    FORMATETC f = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_NE(S_OK, clip->QueryGetData(&f));
  }

  // "copy" puts the item on the OLE clipboard in both shell formats.
  ASSERT_EQ(S_OK, InvokeVerb(m.handler.Get(), nullptr, "copy"));
  {
    TComPtr<IDataObject> clip;
    ASSERT_EQ(S_OK, OleGetClipboard(clip.Put()));
    FORMATETC f = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, clip->GetData(&f, &medium));
    HDROP drop = static_cast<HDROP>(medium.hGlobal);
    ASSERT_EQ(1u, DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0));
    char name[MAX_PATH] = {};
    DragQueryFileA(drop, 0, name, MAX_PATH);
    EXPECT_TRUE(SameText(file, name)) << name;
    ReleaseStgMedium(&medium);
    f.cfFormat = CF_IDLIST;
    ASSERT_EQ(S_OK, clip->GetData(&f, &medium));
    shell::TIdListArrayView view;
    const void* block = GlobalLock(medium.hGlobal);
    ASSERT_TRUE(shell::ReadIdListArray(block, GlobalSize(medium.hGlobal), &view));
    ASSERT_EQ(1u, view.items.size());
    TPidl whole(ConcatPidls(nullptr, reinterpret_cast<LPCITEMIDLIST>(view.parent),
                            reinterpret_cast<LPCITEMIDLIST>(view.items[0])));
    EXPECT_TRUE(SameText(file, PidlToPath(whole.get())));
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
  }
  OleSetClipboard(nullptr);

  // "delete" goes through the shell's confirmation, answered Yes here.
  {
    TDialogAnswerer yes("Confirm file deletion");
    EXPECT_EQ(S_OK, InvokeVerb(m.handler.Get(), nullptr, "delete"));
    for (int i = 0; i < 200 && testsupport::FileExists(file); ++i) testsupport::Pump(10);
    EXPECT_TRUE(yes.Answered());
  }
  EXPECT_FALSE(testsupport::FileExists(file));
}

// The window that owns the real menu: it hands the menu messages to the
// send-to menu as a control would.
TSendToMenu* g_menu = nullptr;
HMENU g_sub = nullptr;
int g_measured = 0, g_drawn = 0;

LRESULT CALLBACK MenuOwnerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(wp) == g_sub) g_menu->Fill(g_sub);
      return 0;
    case WM_MEASUREITEM:
      g_menu->MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
      ++g_measured;
      return TRUE;
    case WM_DRAWITEM:
      g_menu->DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lp));
      ++g_drawn;
      return TRUE;
    case WM_MENUCHAR:
      if (reinterpret_cast<HMENU>(lp) == g_sub) return g_menu->MenuChar(static_cast<char>(LOWORD(wp)), g_sub);
      break;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

void Key(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

void RunRealMenu() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MenuOwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = "ShellMenuOwner";
  RegisterClassA(&wc);
  HWND owner = CreateWindowA("ShellMenuOwner", "menu owner", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, owner);
  SetForegroundWindow(owner);
  HMENU top = CreatePopupMenu();
  g_sub = CreatePopupMenu();
  AppendMenuA(top, MF_STRING, 40, "&Open");
  AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(g_sub), "Se&nd To");
  TSendToMenu menu(1000);
  g_menu = &menu;
  menu.Prepare(g_sub);
  g_measured = g_drawn = 0;
  std::string shot;
  std::thread keys([&] {
    // Wait for the menu window, open the submenu by its mnemonic, look, and
    // type the one letter that names a single entry.
    for (int i = 0; i < 200 && !FindWindowA("#32768", nullptr); ++i) Sleep(10);
    Sleep(100);
    Key('N');
    Sleep(400);
    shot = testsupport::Screenshot("shell_sendto_menu");
    Key('A');
    Sleep(300);
    // Whatever happens, the menu does not stay open.
    Key(VK_ESCAPE);
    Key(VK_ESCAPE);
  });
  UINT chosen = static_cast<UINT>(TrackPopupMenu(top, TPM_RETURNCMD | TPM_LEFTALIGN, 120, 120, 0, owner, nullptr));
  keys.join();
  EXPECT_EQ("alpha.txt", menu.EntryName(chosen)) << chosen;
  EXPECT_EQ(3, GetMenuItemCount(g_sub));
  EXPECT_GE(g_measured, 3);
  EXPECT_GE(g_drawn, 3);
  EXPECT_FALSE(shot.empty());
  DestroyMenu(top);
  DestroyWindow(owner);
  g_menu = nullptr;
}

TEST(ShellMenus, SendToSubmenu) {
  const std::string sendTo = SendToFolder();
  ASSERT_FALSE(sendTo.empty());
  // Only the entries of this test in the folder.
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(Join(sendTo, "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(Join(sendTo, fd.cFileName).c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  for (const char* n : {"alpha.txt", "Beta.txt", "bravo.txt"}) testsupport::WriteFileText(Join(sendTo, n), "");

  HMENU top = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  AppendMenuA(sub, MF_STRING, 500, "something the handler put");
  AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Se&nd To");
  TSendToMenu menu(1000);
  menu.Prepare(sub);
  ASSERT_EQ(1, GetMenuItemCount(sub));
  EXPECT_EQ(UINT(kSendToPlaceholderId), GetMenuItemID(sub, 0));
  EXPECT_TRUE(GetMenuState(sub, 0, MF_BYPOSITION) & MF_GRAYED);
  char text[16] = {};
  GetMenuStringA(sub, 0, text, sizeof(text), MF_BYPOSITION);
  EXPECT_STREQ("xxx", text);

  ASSERT_TRUE(menu.Fill(sub));
  EXPECT_FALSE(menu.Fill(sub));  // filled once, on the first opening
  ASSERT_EQ(3, GetMenuItemCount(sub));
  ASSERT_EQ(3, menu.EntryCount());
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION) & MF_OWNERDRAW);
    names.push_back(menu.EntryName(GetMenuItemID(sub, i)));
  }
  EXPECT_EQ("", menu.EntryName(999));
  const int beta = static_cast<int>(std::find(names.begin(), names.end(), "Beta.txt") - names.begin());
  const int bravo = static_cast<int>(std::find(names.begin(), names.end(), "bravo.txt") - names.begin());
  const int alpha = static_cast<int>(std::find(names.begin(), names.end(), "alpha.txt") - names.begin());
  ASSERT_TRUE(beta < 3 && bravo < 3 && alpha < 3);

  MENUITEMINFOA mii = {};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_DATA;
  GetMenuItemInfoA(sub, 0, TRUE, &mii);
  MEASUREITEMSTRUCT mis = {};
  mis.CtlType = ODT_MENU;
  mis.itemID = GetMenuItemID(sub, 0);
  mis.itemData = mii.dwItemData;
  menu.MeasureItem(&mis);
  EXPECT_EQ(UINT(GetSystemMetrics(SM_CYMENU) + 2), mis.itemHeight);
  EXPECT_GT(mis.itemWidth, 40u);

  // Drawn selected: the highlight colour behind the icon and text.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 200, 40);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  DRAWITEMSTRUCT dis = {};
  dis.CtlType = ODT_MENU;
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = ODS_SELECTED;
  dis.hDC = dc;
  dis.rcItem = {0, 0, 200, static_cast<LONG>(mis.itemHeight)};
  dis.itemData = mii.dwItemData;
  menu.DrawItem(&dis);
  EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 2, 2));
  EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 190, static_cast<int>(mis.itemHeight) - 2));
  bool textDrawn = false;
  for (int x = 32; x < 90 && !textDrawn; ++x)
    for (int y = 2; y < static_cast<int>(mis.itemHeight) && !textDrawn; ++y)
      textDrawn = GetPixel(dc, x, y) == GetSysColor(COLOR_HIGHLIGHTTEXT);
  EXPECT_TRUE(textDrawn);
  dis.itemState = 0;
  menu.DrawItem(&dis);
  EXPECT_EQ(GetSysColor(COLOR_MENU), GetPixel(dc, 2, 2));
  SelectObject(dc, oldBmp);
  DeleteObject(bmp);
  DeleteDC(dc);

  // Menu characters: the next "b" entry after the highlighted one, with
  // wrap-round; a unique letter executes; no match closes.
  auto hilite = [&](int pos) {
    for (int i = 0; i < 3; ++i) {
      MENUITEMINFOA s = {};
      s.cbSize = sizeof(s);
      s.fMask = MIIM_STATE;
      s.fState = i == pos ? MFS_HILITE : 0;
      SetMenuItemInfoA(sub, static_cast<UINT>(i), TRUE, &s);
    }
  };
  hilite(-1);
  const int firstB = std::min(beta, bravo), secondB = std::max(beta, bravo);
  EXPECT_EQ(MAKELRESULT(firstB, MNC_SELECT), menu.MenuChar('b', sub));
  hilite(firstB);
  EXPECT_EQ(MAKELRESULT(secondB, MNC_SELECT), menu.MenuChar('B', sub));
  hilite(secondB);
  EXPECT_EQ(MAKELRESULT(firstB, MNC_SELECT), menu.MenuChar('b', sub));
  EXPECT_EQ(MAKELRESULT(alpha, MNC_EXECUTE), menu.MenuChar('a', sub));
  EXPECT_EQ(MAKELRESULT(0, MNC_CLOSE), menu.MenuChar('z', sub));
  DestroyMenu(top);

  // A real menu: opened from the keyboard, filled when the submenu opens,
  // drawn by us, and a unique letter runs its entry.
  RunRealMenu();
  for (const char* n : {"alpha.txt", "Beta.txt", "bravo.txt"}) DeleteFileA(Join(sendTo, n).c_str());
}

}  // namespace
