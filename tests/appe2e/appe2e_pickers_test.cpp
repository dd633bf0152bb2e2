// Morvane32's picker lists as a user meets them, with the real mouse: a
// file dragged out of a picker onto another program's window, a file and
// a folder dragged from one picker onto another, and the lists' detailed
// view.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::Mouse;
using remoteui::WaitUntil;

namespace {

const std::string kMain = "Software\\Dorn Aldwick Software\\Morvane\\1.9";
enum { kPageExpert = 1, kPageOptions = 3 };
enum { kOptionFilelists = 3 };

// Answers this program's own messages (the calls of the other program's
// drag loop into our drop target arrive as messages) for ms.
void Pump(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

// Presses the left button at 'from', moves to 'to' in steps, lets 'over'
// look while the pointer rests there, and releases.
void DragWithMouse(POINT from, POINT to, const std::function<void()>& over) {
  Mouse(from);
  Pump(250);
  Mouse(from, MOUSEEVENTF_LEFTDOWN);
  Pump(250);
  for (int i = 1; i <= 12; ++i) {
    Mouse(POINT{from.x + (to.x - from.x) * i / 12, from.y + (to.y - from.y) * i / 12});
    Pump(60);
  }
  Pump(500);
  if (over) over();
  Mouse(to, MOUSEEVENTF_LEFTUP);
  Pump(800);
}

POINT Center(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// An item's rectangle on the screen, asked of the list inside its process.
RECT RemoteItemRect(HANDLE process, HWND list, int index, int part) {
  RECT r{part, 0, 0, 0};
  void* at = VirtualAllocEx(process, nullptr, sizeof r, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!at) return RECT{};
  WriteProcessMemory(process, at, &r, sizeof r, nullptr);
  DWORD_PTR ok = 0;
  SendMessageTimeoutA(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(at),
                      SMTO_ABORTIFHUNG, 10000, &ok);
  ReadProcessMemory(process, at, &r, sizeof r, nullptr);
  VirtualFreeEx(process, at, 0, MEM_RELEASE);
  if (!ok) return RECT{};
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A window of this program that takes drops and notes what they offer.
class RecordingTarget : public IDropTarget {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
      *out = static_cast<IDropTarget*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    ++enters;
    Note(data);
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override { return S_OK; }
  STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    ++drops;
    Note(data);
    // Taken as a copy that this window never makes: nothing happens on disk.
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }

  ULONG refs = 1;
  int enters = 0, drops = 0;
  std::set<CLIPFORMAT> offered, given;
  std::vector<std::string> files;
  std::string text;

 private:
  void Note(IDataObject* data) {
    IEnumFORMATETC* e = nullptr;
    if (SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, &e)) && e) {
      FORMATETC f;
      while (e->Next(1, &f, nullptr) == S_OK) offered.insert(f.cfFormat);
      e->Release();
    }
    const CLIPFORMAT idlist = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CFSTR_SHELLIDLIST));
    for (CLIPFORMAT cf : {idlist, CLIPFORMAT(CF_HDROP), CLIPFORMAT(CF_TEXT)}) {
      FORMATETC f{cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      STGMEDIUM m{};
      if (data->GetData(&f, &m) != S_OK) continue;
      given.insert(cf);
      if (cf == CF_HDROP) {
        files.clear();
        HDROP drop = static_cast<HDROP>(m.hGlobal);
        const UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
          char name[MAX_PATH] = "";
          DragQueryFileA(drop, i, name, sizeof name);
          files.push_back(name);
        }
      } else if (cf == CF_TEXT) {
        if (const char* p = static_cast<const char*>(GlobalLock(m.hGlobal))) text = p;
        GlobalUnlock(m.hGlobal);
      }
      ReleaseStgMedium(&m);
    }
  }
};

class Pickers : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Join(ScratchDir(), "pickers");
    programDir = Join(root, "program");
    from = Join(root, "from");
    to = Join(root, "to");
    for (const std::string& d : {programDir, from, to}) MakeDirs(d);
    WriteFileText(Join(from, "pick.txt"), "the chosen file");
    WriteFileText(Join(from, "other.txt"), "another file");
    MakeDirs(Join(from, "inner"));
    WriteFileText(Join(from, "inner\\deep.txt"), "a file one level down");
    WriteFileText(Join(to, "kept.txt"), "already there");
    const std::string built = Join(BuildDir(), "app");
    ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(built, "Morvane32.exe")), ToUnixPath(programDir)}), 0);
    // The expert pairs start in the two folders: the first source in
    // "from", the final state in "to".
    DeleteUserKey(kMain);
    SetUserValue(kMain, "Restore Expert Filelists", 1);
    SetUserValue(kMain, "Restore Expert Filelists amount", 1);
    SetUserValue(kMain, "Restore Expert Filelists contents 0", to + "\x01");
    SetUserValue(kMain, "Restore Expert Filelists contents 1", from + "\x01");
    // No stored Explorer column widths: the lists take their defaults.
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "DirectoryCols");
      RegCloseKey(key);
    }
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  }
  void TearDown() override {
    OleUninitialize();
    DeleteUserKey(kMain);
  }

  HWND Need(HWND top, const std::string& name) {
    HWND w = p.Control(top, name);
    EXPECT_NE(w, nullptr) << "no control named " << name;
    return w;
  }

  int IndexOf(HWND list, const std::string& name) {
    int index = -1;
    WaitUntil(
        [&] {
          const auto items = p.ListItems(list);
          auto it = std::find(items.begin(), items.end(), name);
          index = it == items.end() ? -1 : static_cast<int>(it - items.begin());
          return index >= 0;
        },
        10000);
    return index;
  }

  void Shot(const std::string& name) {
    p.Send(main, WM_NULL);
    Pump(250);
    Screenshot("appe2e_pickers_" + name);
  }

  remoteui::Program p;
  HWND main = nullptr;
  std::string root, programDir, from, to;
};

}  // namespace

TEST_F(Pickers, DragOutDropOntoAnotherPickerAndDetailedView) {
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << p.DescribeWindows();
  p.SelectTab(Need(main, "pagectrl_Main"), kPageExpert);
  HWND source = Need(main, "filelist_ExpertSource1"), dest = Need(main, "filelist_ExpertDest");
  ASSERT_TRUE(source && dest);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(source) && IsWindowVisible(dest); }, 5000));
  const int pick = IndexOf(source, "pick.txt");
  ASSERT_GE(pick, 0) << "the first source list does not show its folder";
  ASSERT_GE(IndexOf(dest, "kept.txt"), 0) << "the final-state list does not show its folder";
  const std::vector<std::string> fromBefore = remoteui::FolderEntries(from), toBefore = remoteui::FolderEntries(to);

  // Out of the picker onto a window of this program, over the screen's
  // right part, above everything.
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  HWND drop = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "drop here", WS_POPUP | WS_VISIBLE | WS_BORDER, sw - 240, 120,
                              200, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(drop, nullptr);
  RecordingTarget target;
  ASSERT_EQ(S_OK, RegisterDragDrop(drop, &target));
  Pump(300);
  RECT r;
  GetWindowRect(drop, &r);
  DragWithMouse(Center(RemoteItemRect(p.Process(), source, pick, LVIR_ICON)), Center(r), nullptr);
  EXPECT_GE(target.enters, 1) << "the drag never reached another program's window";
  EXPECT_EQ(1, target.drops);
  const CLIPFORMAT idlist = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CFSTR_SHELLIDLIST));
  const std::set<CLIPFORMAT> three{idlist, CLIPFORMAT(CF_HDROP), CLIPFORMAT(CF_TEXT)};
  EXPECT_EQ(three, target.offered);
  EXPECT_EQ(three, target.given);
  ASSERT_EQ(1u, target.files.size());
  EXPECT_TRUE(lstrcmpiA(Join(from, "pick.txt").c_str(), target.files[0].c_str()) == 0) << target.files[0];
  EXPECT_TRUE(lstrcmpiA((Join(from, "pick.txt") + "\r\n").c_str(), target.text.c_str()) == 0) << target.text;
  RevokeDragDrop(drop);
  DestroyWindow(drop);

  // From one picker onto the other: the final state becomes the file.
  const int pick2 = IndexOf(source, "pick.txt");
  RECT destRect;
  GetWindowRect(dest, &destRect);
  DragWithMouse(Center(RemoteItemRect(p.Process(), source, pick2, LVIR_ICON)),
                POINT{(destRect.left + destRect.right) / 2, destRect.bottom - 30}, [&] { Shot("drag_over_picker"); });
  const int chosen = IndexOf(dest, "pick.txt");
  ASSERT_GE(chosen, 0) << "the final-state list did not open the file's folder";
  EXPECT_EQ(std::vector<int>{chosen}, p.SelectedItems(dest));
  const auto shown = p.ListItems(dest);
  EXPECT_EQ(shown.end(), std::find(shown.begin(), shown.end(), "kept.txt"));
  EXPECT_EQ(fromBefore, remoteui::FolderEntries(from)) << "a drop moved or copied a file";
  EXPECT_EQ(toBefore, remoteui::FolderEntries(to)) << "a drop moved or copied a file";
  Shot("dropped_on_picker");

  // A folder dropped onto a picker opens there.
  const int inner = IndexOf(source, "inner");
  ASSERT_GE(inner, 0);
  DragWithMouse(Center(RemoteItemRect(p.Process(), source, inner, LVIR_ICON)),
                POINT{(destRect.left + destRect.right) / 2, destRect.bottom - 30}, nullptr);
  EXPECT_GE(IndexOf(dest, "deep.txt"), 0) << "the dropped folder did not open";
  EXPECT_EQ(fromBefore, remoteui::FolderEntries(from));
  EXPECT_EQ(toBefore, remoteui::FolderEntries(to));

  // The detailed view, chosen on the options page, shows the four columns
  // at their default widths and rows that a click selects.
  p.SelectTab(Need(main, "pagectrl_Main"), kPageOptions);
  p.SelectTab(Need(main, "pagectrl_Options"), kOptionFilelists);
  HWND detailed = p.ControlByText(main, "Button", "Detailed list");
  ASSERT_NE(detailed, nullptr);
  p.Click(detailed);
  p.SelectTab(Need(main, "pagectrl_Main"), kPageExpert);
  ASSERT_TRUE(WaitUntil([&] { return (GetWindowLongA(source, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT; }, 5000));
  for (HWND list : {source, dest}) {
    HWND header = reinterpret_cast<HWND>(p.Send(list, LVM_GETHEADER));
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(IsWindowVisible(header));
    EXPECT_EQ(4, p.Send(header, HDM_GETITEMCOUNT));
    std::vector<LRESULT> widths;
    for (int i = 0; i < 4; ++i) widths.push_back(p.Send(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i)));
    EXPECT_EQ((std::vector<LRESULT>{200, 60, 100, 120}), widths);
  }
  const int other = IndexOf(source, "other.txt");
  ASSERT_GE(other, 0);
  const RECT row = RemoteItemRect(p.Process(), source, other, LVIR_LABEL);
  ASSERT_GT(row.right - row.left, 20) << "the row has no width";
  const POINT at = Center(row);
  Mouse(at);
  Pump(150);
  Mouse(at, MOUSEEVENTF_LEFTDOWN);
  Mouse(at, MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(WaitUntil([&] { return p.SelectedItems(source) == std::vector<int>{other}; }, 5000));
  Shot("detailed_view");

  p.Post(main, WM_CLOSE);
  EXPECT_EQ(0, p.WaitExit(20000));
}
