// The shell list against Wine's real namespace: real folders and files,
// real change notifications, Wine's menus, clipboard and confirmations, and
// real drag loops driven with SendInput.  One form, shown once, holds the
// lists; the groups below run in order on it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../shelllayer/shell_test_common.h"
#include "classes.h"
#include "gui_test_support.h"
#include "sysutils.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/shellole.h"
#include "win/stdctrls.h"
#include "win/shellcombo.h"
#include "win/shelllist.h"
#include "win/shelltree.h"
#include "win/shellutils.h"

// The toolchain's headers give this interface no identifier for __uuidof.
__CRT_UUID_DECL(IShellDetails, 0x000214EC, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

using shelltest::ModifiedTextOf;
using shelltest::Parse;
using shelltest::Scratch;
using shelltest::TPidl;
using testsupport::Join;
using testsupport::Pump;

namespace {

int Unix(const std::string& program, const std::vector<std::string>& args) {
  return testsupport::RunUnix(program, args);
}

// A recording drop target: what reached it and with which keys and effect.
class TRecordingTarget : public TComObject<IDropTarget> {
 public:
  int enters = 0, overs = 0, leaves = 0, drops = 0;
  DWORD enterOffered = 0, dropKeys = 0, dropEffect = 0;
  DWORD answer = DROPEFFECT_COPY;
  std::vector<uint8_t> idList;
  std::vector<std::string> files;
  std::string text;
  STDMETHODIMP DragEnter(IDataObject* d, DWORD, POINTL, DWORD* effect) override {
    ++enters;
    enterOffered = *effect;
    Record(d);
    *effect &= answer;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    ++overs;
    *effect &= answer;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override {
    ++leaves;
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject* d, DWORD keys, POINTL, DWORD* effect) override {
    ++drops;
    dropKeys = keys;
    dropEffect = *effect;
    Record(d);
    *effect &= answer;
    return S_OK;
  }

 private:
  void Record(IDataObject* d) {
    if (!d) return;
    FORMATETC f = {CF_IDLIST, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m = {};
    if (d->GetData(&f, &m) == S_OK) {
      auto* p = static_cast<const uint8_t*>(GlobalLock(m.hGlobal));
      idList.assign(p, p + GlobalSize(m.hGlobal));
      GlobalUnlock(m.hGlobal);
      ReleaseStgMedium(&m);
    }
    f.cfFormat = CF_HDROP;
    if (d->GetData(&f, &m) == S_OK) {
      files.clear();
      HDROP drop = static_cast<HDROP>(m.hGlobal);
      UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < n; ++i) {
        char name[MAX_PATH * 2] = {};
        DragQueryFileA(drop, i, name, sizeof(name));
        files.push_back(name);
      }
      ReleaseStgMedium(&m);
    }
    f.cfFormat = CF_TEXT;
    if (d->GetData(&f, &m) == S_OK) {
      text = static_cast<const char*>(GlobalLock(m.hGlobal));
      GlobalUnlock(m.hGlobal);
      ReleaseStgMedium(&m);
    }
  }
};

// The list the suite drives: it counts refreshes and can put a recording
// target in place of the shell's drop targets.
class TTestList : public TPTShellList {
 public:
  using TPTShellList::TPTShellList;
  int prepared = 0;
  std::vector<DWORD> prepareTimes;
  void PrepareFilter() override {
    ++prepared;
    prepareTimes.push_back(GetTickCount());
    TPTShellList::PrepareFilter();
  }
  // Name of the item whose target is replaced ("" = the empty area).
  bool replaceTargets = false;
  std::string replacedName;
  TComPtr<TRecordingTarget> recorder;
  HRESULT ItemDropTarget(TListItem* item, IDropTarget** target) override {
    if (replaceTargets) {
      auto* d = item ? static_cast<TPTShListData*>(item->Data) : nullptr;
      std::string name = d ? d->FileName() : "";
      if (name == replacedName) {
        *target = recorder.Get();
        recorder->AddRef();
        return S_OK;
      }
    }
    return TPTShellList::ItemDropTarget(item, target);
  }
  void FillWith(IShellFolder* folder, LPCITEMIDLIST pidl) {
    Items().BeginUpdate();
    Items().Clear();
    Items().EndUpdate();
    Fill(folder, pidl);
  }
  void Incremental() { IncrementalRefresh(); }
};

TForm* g_form = nullptr;
TTestList* g_list = nullptr;
TTestList* g_other = nullptr;
TButton* g_default = nullptr;
int g_defaultClicks = 0;
int g_inserted = 0, g_deleted = 0;

const char kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Writes the "DirectoryCols" value (null: removes it).
void SetDirectoryCols(const uint8_t* bytes, DWORD size) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kExplorerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &key, nullptr));
  if (bytes)
    RegSetValueExA(key, "DirectoryCols", 0, REG_BINARY, bytes, size);
  else
    RegDeleteValueA(key, "DirectoryCols");
  RegCloseKey(key);
}

class ListEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
    // No "DirectoryCols" value, so the first lists get the default widths.
    SetDirectoryCols(nullptr, 0);
    g_form = new TForm(Application);
    g_form->SetBounds(20, 20, 900, 560);
    g_form->SetCaption("Shell list");
    auto make = [](int left, int top, int w, int h) {
      auto* l = new TTestList(g_form);
      l->SetBounds(left, top, w, h);
      l->SetViewStyle(vsReport);
      l->MultiSelect = true;
      l->OnItemInserted = [](TObject*, TListItem*) { ++g_inserted; };
      l->OnDeleteItem = [](TObject*, TListItem*, TPTShListData* d) {
        EXPECT_NE(nullptr, d);
        ++g_deleted;
      };
      l->SetParent(g_form);
      return l;
    };
    g_list = make(260, 40, 620, 300);
    g_other = make(260, 350, 620, 160);
    g_default = new TButton(g_form);
    g_default->SetBounds(20, 480, 100, 28);
    g_default->SetCaption("Default");
    g_default->SetDefault(true);
    g_default->OnClick = [](TObject*) { ++g_defaultClicks; };
    g_default->SetParent(g_form);
    g_form->Show();
    Pump(300);
  }
  void TearDown() override {
    delete g_form;
    g_form = nullptr;
  }
};
::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new ListEnvironment);

std::string ItemText(TPTCustomShellList* l, int index, int column) {
  char buf[512] = {};
  ListView_GetItemText(l->Handle(), index, column, buf, sizeof buf);
  return buf;
}

int IndexOf(TPTCustomShellList* l, const std::string& caption) {
  for (int i = 0; i < l->Items().Count(); ++i)
    if (SameText(ItemText(l, i, 0), caption)) return i;
  return -1;
}

std::vector<std::string> Captions(TPTCustomShellList* l) {
  std::vector<std::string> r;
  for (int i = 0; i < l->Items().Count(); ++i) r.push_back(ItemText(l, i, 0));
  std::sort(r.begin(), r.end());
  return r;
}

void Show(TPTCustomShellList* l, const std::string& path) {
  l->Folder().SetPath(path);
  Pump(50);
}

// Waits (pumping) until the condition holds; false after ms.
bool WaitFor(const std::function<bool()>& cond, int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (!cond()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    Pump(20);
  }
  return true;
}

POINT ItemCentre(TPTCustomShellList* l, int index) {
  RECT r = {};
  r.left = LVIR_LABEL;
  SendMessageA(l->Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return l->ClientToScreen(POINT{r.left + 12, (r.top + r.bottom) / 2});
}

void SelectOnly(TPTCustomShellList* l, const std::vector<std::string>& names) {
  ListView_SetItemState(l->Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  for (const std::string& n : names) {
    int i = IndexOf(l, n);
    EXPECT_GE(i, 0) << n;
    ListView_SetItemState(l->Handle(), i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
}

void Key(WORD vk, bool ctrl = false) {
  if (ctrl) testsupport::SendKey(VK_CONTROL, false);
  testsupport::SendKey(vk, false);
  testsupport::SendKey(vk, true);
  if (ctrl) testsupport::SendKey(VK_CONTROL, true);
  Pump(120);
}

void TypeText(const std::string& s) {
  for (char c : s) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wScan = in[1].ki.wScan = static_cast<WORD>(static_cast<unsigned char>(c));
    in[0].ki.dwFlags = KEYEVENTF_UNICODE;
    in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
  }
  Pump(150);
}

// Presses a button of a dialog with this title once it shows.
class TDialogAnswerer {
 public:
  TDialogAnswerer(const char* title, int button) : title_(title) {
    worker_ = std::thread([this, button] {
      for (int i = 0; i < 400 && !stop_; ++i) {
        if (HWND dlg = FindWindowA(nullptr, title_)) {
          PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
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

// The visible popup menu, or null.
HWND VisibleMenu() {
  HWND m = FindWindowA("#32768", nullptr);
  return m && IsWindowVisible(m) ? m : nullptr;
}

// A plain topmost window registered with a recording drop target.
HWND MakeTargetWindow(int x, int y, TRecordingTarget* target) {
  HWND w = shelltest::MakeTopmostWindow(x, y, 160);
  if (target) RegisterDragDrop(w, target);
  return w;
}

// A mouse drag from a helper thread while this thread pumps (the drag loop
// runs inside the pumping): press at 'from', move in steps to 'to', then
// 'during' (on the helper thread), then release.
void DragWithMouse(POINT from, POINT to, bool right, const std::function<void()>& during = nullptr) {
  const DWORD down = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  const DWORD up = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  testsupport::SendMouse(from, 0);
  std::atomic<bool> done{false};
  std::thread mover([&] {
    INPUT in = testsupport::MouseInput(from, down);
    SendInput(1, &in, sizeof in);
    Sleep(150);
    for (int i = 1; i <= 12; ++i) {
      in = testsupport::MouseInput(POINT{from.x + (to.x - from.x) * i / 12, from.y + (to.y - from.y) * i / 12}, 0);
      SendInput(1, &in, sizeof in);
      Sleep(50);
    }
    Sleep(250);
    if (during) during();
    in = testsupport::MouseInput(to, up);
    SendInput(1, &in, sizeof in);
    Sleep(300);
    done = true;
  });
  WaitFor([&] { return done.load(); }, 15000);
  mover.join();
  Pump(200);
}

std::vector<std::string> ClipboardFiles() {
  std::vector<std::string> names;
  TComPtr<IDataObject> clip;
  if (OleGetClipboard(clip.Put()) != S_OK) return names;
  FORMATETC f = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m = {};
  if (clip->GetData(&f, &m) != S_OK) return names;
  HDROP drop = static_cast<HDROP>(m.hGlobal);
  UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < n; ++i) {
    char name[MAX_PATH] = {};
    DragQueryFileA(drop, i, name, sizeof name);
    names.push_back(name);
  }
  ReleaseStgMedium(&m);
  std::sort(names.begin(), names.end());
  return names;
}

// ------------------------------------------------------------------ listing

TEST(ShellList, ListsARealFolderWithItsDetails) {
  const std::string dir = Scratch("listing");
  testsupport::WriteFileText(Join(dir, "one.txt"), "1");
  testsupport::WriteFileText(Join(dir, "k1024.bin"), std::string(1024, 'k'));
  testsupport::WriteFileText(Join(dir, "k1025.bin"), std::string(1025, 'k'));
  testsupport::MakeDirs(Join(dir, "sub"));
  ASSERT_EQ(0, Unix("/usr/bin/truncate", {"-s", "5G", testsupport::ToUnixPath(Join(dir, "big.bin"))}));
  ASSERT_EQ(0, Unix("/usr/bin/touch", {"-d", "2020-03-04 05:06:07", testsupport::ToUnixPath(Join(dir, "one.txt"))}));

  // Default widths without a "DirectoryCols" value, before any list kept
  // widths of its own.
  Show(g_list, dir);
  ASSERT_EQ(2, g_list->ColumnMode());
  ASSERT_EQ(4, g_list->Columns().Count());
  const char* titles[] = {"Name", "Size", "Type", "Modified"};
  const int widths[] = {200, 60, 100, 120};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(titles[i], g_list->Columns()[i]->Caption());
    EXPECT_EQ(widths[i], g_list->Columns()[i]->Width()) << i;
  }
  EXPECT_EQ(taRightJustify, g_list->Columns()[1]->Alignment());

  EXPECT_EQ((std::vector<std::string>{"big.bin", "k1024.bin", "k1025.bin", "one.txt", "sub"}), Captions(g_list));
  auto size = [&](const char* name) { return ItemText(g_list, IndexOf(g_list, name), 1); };
  EXPECT_EQ("1KB", size("one.txt"));
  EXPECT_EQ("1KB", size("k1024.bin"));
  EXPECT_EQ("2KB", size("k1025.bin"));
  EXPECT_EQ("5,242,880KB", size("big.bin"));
  EXPECT_EQ("", size("sub"));
  const int one = IndexOf(g_list, "one.txt");
  EXPECT_EQ(ModifiedTextOf(Join(dir, "one.txt")), ItemText(g_list, one, 3));
  EXPECT_NE(std::string::npos, ItemText(g_list, one, 3).find("2020")) << ItemText(g_list, one, 3);
  SHFILEINFOA info = {};
  SHGetFileInfoA(Join(dir, "one.txt").c_str(), 0, &info, sizeof info, SHGFI_TYPENAME);
  EXPECT_EQ(info.szTypeName, ItemText(g_list, one, 2));
  EXPECT_FALSE(ItemText(g_list, IndexOf(g_list, "sub"), 2).empty());

  // Icons from the system image list; names, icons and types as the file
  // information of each item's absolute list gives them (three files of
  // one type among them).
  for (const char* name : {"one.txt", "sub", "big.bin", "k1024.bin", "k1025.bin"}) {
    LVITEMA it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = IndexOf(g_list, name);
    ASSERT_TRUE(ListView_GetItem(g_list->Handle(), &it));
    TPidl p = Parse(Join(dir, name));
    EXPECT_EQ(SysImageIndex(p.get(), SHGFI_SMALLICON), it.iImage) << name;
    SHFILEINFOA fi = {};
    ASSERT_TRUE(SHGetFileInfoA(reinterpret_cast<LPCSTR>(p.get()), 0, &fi, sizeof fi,
                               SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_TYPENAME));
    EXPECT_EQ(fi.szDisplayName, ItemText(g_list, it.iItem, 0)) << name;
    EXPECT_EQ(fi.szTypeName, ItemText(g_list, it.iItem, 2)) << name;
  }
  EXPECT_EQ(ListView_GetImageList(g_list->Handle(), LVSIL_SMALL), SystemImageList(false));

  // Item data, and its checked cast.
  TPTShListData* d = g_list->ItemData(one);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ("one.txt", d->FileName());
  EXPECT_TRUE(SameText(Join(dir, "one.txt"), d->FullPath()));
  EXPECT_EQ(nullptr, g_list->SelectedData());
  int foreign = 0;
  TListItem* item = g_list->Items()[one];
  item->Data = &foreign;
  EXPECT_THROW(g_list->ItemData(one), Exception);
  item->Data = d;
  // A caption cut to a small buffer keeps its terminating zero.
  char small[4] = {'x', 'x', 'x', 'x'};
  ListView_GetItemText(g_list->Handle(), one, 0, small, sizeof small);
  EXPECT_STREQ("one", small);

  // Custom draw: every stage, and the item prepaint stage with the data.
  int stages = 0;
  std::vector<TPTShListData*> drawn;
  g_list->OnCustomDrawShEx = [&](TObject*, TPTCustomDraw*, TListItem*, TPTShListData*) { ++stages; };
  g_list->OnCustomDrawSh = [&](TObject*, TPTCustomDraw* cd, TListItem* it, TPTShListData* data) {
    EXPECT_EQ(4, cd->DrawStage());
    EXPECT_EQ(it->Data, data);
    drawn.push_back(data);
  };
  g_list->Invalidate();
  Pump(150);
  g_list->OnCustomDrawShEx = nullptr;
  g_list->OnCustomDrawSh = nullptr;
  EXPECT_GE(drawn.size(), 5u);
  EXPECT_GT(stages, static_cast<int>(drawn.size()));
  EXPECT_NE(drawn.end(), std::find(drawn.begin(), drawn.end(), d));
  EXPECT_FALSE(g_list->DesignHitTest(5, 5));
  // The shell's request for a shell browser: there is none here.
  EXPECT_EQ(0, SendMessageA(g_list->Handle(), kListGetBrowserMessage, 0, 0));

  // The first item has the focus, none the selection.
  EXPECT_TRUE(g_list->Items()[0]->Focused());
  EXPECT_EQ(0, g_list->SelCount());
}

TEST(ShellList, ListsTwelveHundredFilesAndRefreshesIncrementally) {
  const std::string dir = Scratch("many");
  for (int i = 0; i < 1200; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%04d.dat", i);
    HANDLE h = CreateFileA(Join(dir, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(h);
  }
  DWORD start = GetTickCount();
  Show(g_other, dir);
  DWORD fill = GetTickCount() - start;
  EXPECT_EQ(1200, g_other->Items().Count());
  testsupport::WriteFileText(Join(dir, "zzz-new.dat"), "n");
  start = GetTickCount();
  g_other->Incremental();
  DWORD incremental = GetTickCount() - start;
  EXPECT_EQ(1201, g_other->Items().Count());
  std::printf("fill of 1,200 files: %lu ms; incremental refresh: %lu ms\n", static_cast<unsigned long>(fill),
              static_cast<unsigned long>(incremental));
}

// Processor time of this process so far, in ms.
double ProcessMs() {
  FILETIME c, e, k, u;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
  auto ms = [](const FILETIME& f) { return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e4; };
  return ms(k) + ms(u);
}

std::string ManyFiles(const std::string& name, int count) {
  const std::string dir = Scratch(name);
  const std::string script = "cd '" + testsupport::ToUnixPath(dir) + "' && seq -f 'file%05g.dat' 0 " +
                             std::to_string(count - 1) + " | xargs touch";
  EXPECT_EQ(0, Unix("/bin/sh", {"-c", script}));
  return dir;
}

// What Wine's own namespace costs for a folder: the enumeration with the
// attributes the list asks for, and a sort by the folder's order.
double WineListingMs(const std::string& dir, size_t& count) {
  const double start = ProcessMs();
  TComPtr<IShellFolder> folder;
  TPidl pidl = Parse(dir);
  PidlToFolder(pidl.get(), folder.Put());
  TComPtr<IEnumIDList> items;
  folder->EnumObjects(nullptr, 0xE0, items.Put());
  std::vector<LPITEMIDLIST> all;
  LPITEMIDLIST rel = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &rel, &fetched) == S_OK && fetched == 1) {
    ULONG at = 0xF20B0000;
    LPCITEMIDLIST one[1] = {rel};
    folder->GetAttributesOf(1, one, &at);
    all.push_back(rel);
  }
  std::sort(all.begin(), all.end(), [&](LPITEMIDLIST a, LPITEMIDLIST b) {
    return static_cast<short>(HRESULT_CODE(folder->CompareIDs(0, a, b))) < 0;
  });
  count = all.size();
  for (LPITEMIDLIST p : all) CoTaskMemFree(p);
  return ProcessMs() - start;
}

// Milliseconds of the performance counter: the tick count moves in steps
// of up to 16 ms under Wine, too coarse for waits of a few tens of ms.
double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Runs action while another thread keeps asking the form to answer; the
// processor time the action took comes back, the longest wait for an
// answer in longestWait.
double WhileAsking(const std::function<void()>& action, DWORD& longestWait) {
  std::atomic<bool> done{false}, finished{false};
  std::atomic<DWORD> longest{0};
  HWND form = g_form->Handle();
  std::thread asker([&] {
    while (!done) {
      const double t = NowMs();
      DWORD_PTR r = 0;
      SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &r);
      const DWORD waited = static_cast<DWORD>(NowMs() - t + 0.5);
      if (waited > longest) longest = waited;
      Sleep(20);
    }
    finished = true;
  });
  Pump(100);
  const double start = ProcessMs();
  action();
  const double spent = ProcessMs() - start;
  done = true;
  // The asker may be waiting for this thread's answer.
  while (!finished) Pump(10);
  asker.join();
  longestWait = longest;
  return spent;
}

// Fills the list with dir (and lets it paint) while the form is asked.
double ListFillMs(TPTCustomShellList* l, const std::string& dir, DWORD& longestWait) {
  return WhileAsking([&] { Show(l, dir); }, longestWait);
}

// A real click on a column's header, and time to paint after it.
void ClickHeader(TPTCustomShellList* l, int column) {
  HWND header = ListView_GetHeader(l->Handle());
  RECT r = {};
  Header_GetItemRect(header, column, &r);
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(header, &p);
  testsupport::SendMouse(p, 0);
  testsupport::SendClick(p, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(200);
}

TEST(ShellList, TwentyThousandFilesCostTheirShareAndTheWindowKeepsAnswering) {
  // Processor time, not wall time, is compared: other work shares the
  // machine.  The figures are printed for the record; the list must show
  // every file.
  const int counts[] = {8000, 20000};
  for (int n : counts) {
    const std::string dir = ManyFiles("files" + std::to_string(n), n);
    size_t wineCount = 0;
    const double wine = WineListingMs(dir, wineCount);
    DWORD wait = 0;
    const double ours = ListFillMs(g_other, dir, wait);
    EXPECT_EQ(n, g_other->Items().Count());
    EXPECT_EQ(static_cast<size_t>(n), wineCount);
    std::printf("%d files: Wine's enumeration and sort %.0f ms, the list's fill %.0f ms of processor time; "
                "longest wait for the window %lu ms\n",
                n, wine, ours, static_cast<unsigned long>(wait));
  }
  // Sorted again by a user's clicks: by name descending, then by size;
  // the rows painted after each sort ask for their texts afresh.
  const int column[] = {0, 1};
  const char* const by[] = {"name, descending", "size"};
  for (int c = 0; c < 2; ++c) {
    Pump(GetDoubleClickTime() + 100);  // two clicks, not a double click
    DWORD wait = 0;
    const double sorting = WhileAsking([&] { ClickHeader(g_other, column[c]); }, wait);
    EXPECT_EQ(c == 0 ? -1 : 2, g_other->SortColumn());
    // Sizes alike, the name order (ascending) decides.
    EXPECT_EQ(c == 0 ? "file19999.dat" : "file00000.dat", ItemText(g_other, 0, 0));
    std::printf("sorting 20000 files by %s: %.0f ms of processor time; longest wait for the window %lu ms\n", by[c],
                sorting, static_cast<unsigned long>(wait));
  }
  // The last rows, shown by the End key after the sorts.
  g_other->SetFocus();
  Pump(50);
  DWORD endWait = 0;
  const double toEnd = WhileAsking([&] {
    testsupport::PressKey(VK_END);
    Pump(200);
  }, endWait);
  EXPECT_TRUE(g_other->Items()[19999]->Focused());
  EXPECT_EQ("file19999.dat", ItemText(g_other, 19999, 0));
  std::printf("the End key in 20000 files: %.0f ms of processor time; longest wait for the window %lu ms\n", toEnd,
              static_cast<unsigned long>(endWait));
  // Leaving them: every item and its data go, the window still answering.
  DWORD wait = 0;
  const double leaving = ListFillMs(g_other, Scratch("listing"), wait);
  std::printf("leaving 20000 files: %.0f ms of processor time; longest wait for the window %lu ms\n", leaving,
              static_cast<unsigned long>(wait));
}

// ------------------------------------------------------------------ columns

// A real Wine folder that also answers the details view object, from that
// folder's own IShellFolder2 details (Wine's folders offer none).
class TDetailsFolder : public TComObject<IShellFolder> {
 public:
  explicit TDetailsFolder(IShellFolder* real) : real_(real) { real->QueryInterface(IID_IShellFolder2, real2_.PutVoid()); }
  class TDetails : public TComObject<IShellDetails> {
   public:
    explicit TDetails(IShellFolder2* f) : f_(f) {}
    STDMETHODIMP GetDetailsOf(PCUITEMID_CHILD pidl, UINT column, SHELLDETAILS* sd) override {
      return f_->GetDetailsOf(pidl, column, sd);
    }
    STDMETHODIMP ColumnClick(UINT) override { return E_NOTIMPL; }

   private:
    TComPtr<IShellFolder2> f_;
  };
  STDMETHODIMP ParseDisplayName(HWND w, IBindCtx* b, LPWSTR n, ULONG* e, PIDLIST_RELATIVE* p, ULONG* a) override {
    return real_->ParseDisplayName(w, b, n, e, p, a);
  }
  STDMETHODIMP EnumObjects(HWND w, SHCONTF f, IEnumIDList** e) override { return real_->EnumObjects(w, f, e); }
  STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE p, IBindCtx* b, REFIID r, void** o) override {
    return real_->BindToObject(p, b, r, o);
  }
  STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE p, IBindCtx* b, REFIID r, void** o) override {
    return real_->BindToStorage(p, b, r, o);
  }
  STDMETHODIMP CompareIDs(LPARAM l, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) override {
    return real_->CompareIDs(l, a, b);
  }
  STDMETHODIMP CreateViewObject(HWND w, REFIID r, void** o) override {
    if (IsEqualIID(r, IID_IShellDetails) && real2_) {
      *o = static_cast<IShellDetails*>(new TDetails(real2_.Get()));
      static_cast<IShellDetails*>(*o)->AddRef();
      return S_OK;
    }
    return real_->CreateViewObject(w, r, o);
  }
  STDMETHODIMP GetAttributesOf(UINT n, PCUITEMID_CHILD_ARRAY a, SFGAOF* f) override {
    return real_->GetAttributesOf(n, a, f);
  }
  STDMETHODIMP GetUIObjectOf(HWND w, UINT n, PCUITEMID_CHILD_ARRAY a, REFIID r, UINT* res, void** o) override {
    return real_->GetUIObjectOf(w, n, a, r, res, o);
  }
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD p, SHGDNF f, STRRET* n) override {
    return real_->GetDisplayNameOf(p, f, n);
  }
  STDMETHODIMP SetNameOf(HWND w, PCUITEMID_CHILD p, LPCWSTR n, SHGDNF f, PITEMID_CHILD* o) override {
    return real_->SetNameOf(w, p, n, f, o);
  }

 private:
  TComPtr<IShellFolder> real_;
  TComPtr<IShellFolder2> real2_;
};

std::vector<int> Widths(TPTCustomShellList* l) {
  std::vector<int> w;
  for (int i = 0; i < l->Columns().Count(); ++i) w.push_back(ListView_GetColumnWidth(l->Handle(), i));
  return w;
}

TEST(ShellList, ColumnWidthsFromTheRegistryTheUserAndTheDetailsProvider) {
  const std::string a = Scratch("colsA"), b = Scratch("colsB");
  testsupport::WriteFileText(Join(a, "x.txt"), "x");
  testsupport::WriteFileText(Join(b, "y.txt"), "y");
  const uint8_t four[8] = {44, 1, 70, 0, 90, 0, 150, 0};  // 300, 70, 90, 150
  SetDirectoryCols(four, sizeof four);
  Show(g_list, a);
  EXPECT_EQ((std::vector<int>{300, 70, 90, 150}), Widths(g_list));
  uint8_t tooLong[23] = {};
  std::memset(tooLong, 9, sizeof tooLong);
  SetDirectoryCols(tooLong, sizeof tooLong);
  Show(g_list, b);
  EXPECT_EQ((std::vector<int>{200, 60, 100, 120}), Widths(g_list));
  // A value of two widths sets those two; the others keep their defaults.
  const uint8_t two[4] = {250, 0, 80, 0};
  SetDirectoryCols(two, sizeof two);
  Show(g_list, a);
  EXPECT_EQ((std::vector<int>{250, 80, 100, 120}), Widths(g_list));
  SetDirectoryCols(nullptr, 0);
  Show(g_list, b);
  EXPECT_EQ((std::vector<int>{200, 60, 100, 120}), Widths(g_list));

  // The user drags the border of "Name" 60 pixels to the right; the width
  // survives the move to another folder.
  HWND header = ListView_GetHeader(g_list->Handle());
  RECT r = {};
  Header_GetItemRect(header, 0, &r);
  POINT from = {r.right - 1, (r.top + r.bottom) / 2};
  ClientToScreen(header, &from);
  testsupport::SendMouse(from, 0);
  testsupport::SendDrag(from, POINT{from.x + 60, from.y}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(200);
  const int dragged = ListView_GetColumnWidth(g_list->Handle(), 0);
  EXPECT_GT(dragged, 240);
  Show(g_list, a);
  EXPECT_EQ(dragged, ListView_GetColumnWidth(g_list->Handle(), 0));
  EXPECT_EQ(2, g_list->ColumnMode());

  // Columns from a details provider: titles, alignments, 7 x the characters
  // it asks for, and the texts it gives.
  TTestList* fresh = new TTestList(g_form);
  fresh->SetBounds(10, 10, 200, 100);
  fresh->SetViewStyle(vsReport);
  fresh->SetOptions(fresh->Options() & ~PtsloBit(ptsloAutoFill));
  fresh->SetParent(g_form);
  ShellColumnWidths()->Clear();
  TPidl pidl = Parse(a);
  TComPtr<IShellFolder> real;
  ASSERT_EQ(S_OK, PidlToFolder(pidl.get(), real.Put()));
  TComPtr<IShellFolder2> real2;
  ASSERT_EQ(S_OK, real->QueryInterface(IID_IShellFolder2, real2.PutVoid()));
  TComPtr<IShellFolder> wrapper(new TDetailsFolder(real.Get()));
  // Filled straight from the wrapper: no columns before, so nothing is
  // written to the (emptied) width store.
  fresh->FillWith(wrapper.Get(), pidl.get());
  EXPECT_EQ(1, fresh->ColumnMode());
  int columns = 0;
  for (;; ++columns) {
    SHELLDETAILS sd = {};
    if (FAILED(real2->GetDetailsOf(nullptr, static_cast<UINT>(columns), &sd))) break;
    ASSERT_LT(columns, fresh->Columns().Count());
    TListColumn* c = fresh->Columns()[columns];
    EXPECT_EQ(StrRetToString(nullptr, &sd.str), c->Caption());
    EXPECT_EQ(7 * sd.cxChar, c->Width()) << columns;
    const TAlignment want = (sd.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT    ? taRightJustify
                            : (sd.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? taCenter
                                                                             : taLeftJustify;
    EXPECT_EQ(want, c->Alignment()) << columns;
  }
  EXPECT_GE(columns, 4);
  EXPECT_EQ(columns, fresh->Columns().Count());
  ASSERT_EQ(1, fresh->Items().Count());
  TPTShListData* d = fresh->ItemData(0);
  for (int c = 1; c < columns; ++c) {
    SHELLDETAILS sd = {};
    ASSERT_EQ(S_OK, real2->GetDetailsOf(d->RelativePidl(), static_cast<UINT>(c), &sd));
    EXPECT_EQ(StrRetToString(d->RelativePidl(), &sd.str), ItemText(fresh, 0, c)) << c;
  }
  delete fresh;
}

// ------------------------------------------------------------------ filter

TEST(ShellList, FileFilterKeepsFoldersAndRefillsOnlyWithAutoFill) {
  const std::string dir = Scratch("filter");
  for (const char* f : {"a.txt", "b.dat", "c.doc", "d.TXT"}) testsupport::WriteFileText(Join(dir, f), f);
  testsupport::MakeDirs(Join(dir, "folder.doc"));
  Show(g_other, dir);
  const std::vector<std::string> all = {"a.txt", "b.dat", "c.doc", "d.TXT", "folder.doc"};
  EXPECT_EQ(all, Captions(g_other));
  g_other->SetFileFilter("*.txt;;*.dat");
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.dat", "d.TXT", "folder.doc"}), Captions(g_other));
  for (const char* f : {"*", "*.*"}) {
    g_other->SetFileFilter("*.doc");
    g_other->SetFileFilter(f);
    EXPECT_EQ(all, Captions(g_other)) << f;
  }
  // The empty filter: no refill by itself, and everything at the next one.
  g_other->SetFileFilter("*.dat");
  g_other->SetFileFilter("");
  EXPECT_EQ((std::vector<std::string>{"b.dat", "folder.doc"}), Captions(g_other));
  g_other->Refill();
  EXPECT_EQ(all, Captions(g_other));
  g_other->SetOptions(g_other->Options() & ~PtsloBit(ptsloAutoFill));
  g_other->SetFileFilter("*.dat");
  EXPECT_EQ(all, Captions(g_other));
  g_other->Refill();
  EXPECT_EQ((std::vector<std::string>{"b.dat", "folder.doc"}), Captions(g_other));
  g_other->SetOptions(g_other->Options() | PtsloBit(ptsloAutoFill));
  g_other->SetFileFilter("");
}

// ------------------------------------------------------------------ sorting

TEST(ShellList, SizeHeaderClickedTwiceSortsUpThenDown) {
  const std::string dir = Scratch("sorting");
  const int sizes[] = {700, 5, 3000, 90000, 20};
  for (int i = 0; i < 5; ++i)
    testsupport::WriteFileText(Join(dir, std::string(1, static_cast<char>('e' - i)) + ".bin"), std::string(sizes[i], 's'));
  Show(g_list, dir);
  auto order = [&]() {
    std::vector<int64_t> r;
    for (int i = 0; i < g_list->Items().Count(); ++i) {
      WIN32_FILE_ATTRIBUTE_DATA a = {};
      GetFileAttributesExA(g_list->ItemData(i)->FullPath().c_str(), GetFileExInfoStandard, &a);
      r.push_back(a.nFileSizeLow);
    }
    return r;
  };
  HWND header = ListView_GetHeader(g_list->Handle());
  RECT r = {};
  Header_GetItemRect(header, 1, &r);
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(header, &p);
  testsupport::SendMouse(p, 0);
  testsupport::SendClick(p, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(150);
  EXPECT_EQ(2, g_list->SortColumn());
  std::vector<int64_t> up = order();
  EXPECT_TRUE(std::is_sorted(up.begin(), up.end())) << ::testing::PrintToString(up);
  Pump(GetDoubleClickTime() + 100);  // two clicks, not a double click
  testsupport::SendClick(p, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(150);
  EXPECT_EQ(-2, g_list->SortColumn());
  std::vector<int64_t> down = order();
  EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend())) << ::testing::PrintToString(down);
  EXPECT_EQ(5u, down.size());
}

// ------------------------------------------------------------------ refresh

TEST(ShellList, RefreshesAfterRealChangesOnceForABurst) {
  const std::string dir = Scratch("dynamic");
  testsupport::WriteFileText(Join(dir, "first.txt"), "1");
  Show(g_list, dir);
  g_list->SetFocus();
  Pump(100);
  ASSERT_EQ(1, g_list->Items().Count());
  ASSERT_EQ(0, Unix("/usr/bin/touch", {testsupport::ToUnixPath(Join(dir, "unix.txt"))}));
  EXPECT_TRUE(WaitFor([] { return IndexOf(g_list, "unix.txt") >= 0; }, 4000));
  ASSERT_EQ(0, Unix("/bin/rm", {testsupport::ToUnixPath(Join(dir, "first.txt"))}));
  EXPECT_TRUE(WaitFor([] { return IndexOf(g_list, "first.txt") < 0; }, 4000));
  EXPECT_EQ(1, g_list->Items().Count());

  // Two changes 300 ms apart: one refresh, about 400 ms after the second.
  Pump(600);
  g_list->prepared = 0;
  g_list->prepareTimes.clear();
  ASSERT_EQ(0, Unix("/usr/bin/touch", {testsupport::ToUnixPath(Join(dir, "burst1.txt"))}));
  Pump(300);
  ASSERT_EQ(0, Unix("/usr/bin/touch", {testsupport::ToUnixPath(Join(dir, "burst2.txt"))}));
  const DWORD second = GetTickCount();
  EXPECT_TRUE(WaitFor([] { return g_list->prepared > 0; }, 4000));
  Pump(1000);
  EXPECT_EQ(1, g_list->prepared);
  ASSERT_FALSE(g_list->prepareTimes.empty());
  const DWORD delay = g_list->prepareTimes[0] - second;
  EXPECT_GE(delay, 350u);
  EXPECT_LE(delay, 1200u);
  EXPECT_EQ(3, g_list->Items().Count());
  std::printf("refresh %lu ms after the second change\n", static_cast<unsigned long>(delay));

  // A new folder of our own: its change message is ignored.
  g_list->prepared = 0;
  ASSERT_TRUE(g_list->CreateNewFolder(false));
  EXPECT_TRUE(testsupport::FileExists(Join(dir, "New Folder")));
  EXPECT_EQ(1, g_list->prepared);  // the list's own incremental refresh
  EXPECT_GE(IndexOf(g_list, "New Folder"), 0);
  Pump(1500);
  EXPECT_EQ(1, g_list->prepared);
  // ... and once more, in edit mode.
  ASSERT_TRUE(g_list->CreateNewFolder(true));
  EXPECT_TRUE(testsupport::FileExists(Join(dir, "New Folder (2)")));
  EXPECT_TRUE(WaitFor([] { return ListView_GetEditControl(g_list->Handle()) != nullptr; }, 2000));
  HWND edit = ListView_GetEditControl(g_list->Handle());
  char text[64] = {};
  GetWindowTextA(edit, text, sizeof text);
  EXPECT_STREQ("New Folder (2)", text);
  Key(VK_ESCAPE);
  EXPECT_EQ(nullptr, ListView_GetEditControl(g_list->Handle()));
}

// ------------------------------------------------------------------ keys

TEST(ShellList, KeysAndMouseRunTheShellsCommands) {
  const std::string dir = Scratch("keys");
  for (const char* f : {"x1.txt", "x2.txt", "victim.txt"}) testsupport::WriteFileText(Join(dir, f), f);
  const std::string inner = Join(dir, "inner");
  testsupport::MakeDirs(inner);
  testsupport::WriteFileText(Join(inner, "deep.txt"), "d");
  {
    TComPtr<IShellLinkA> link;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid()));
    link->SetPath(inner.c_str());
    TComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, link.As(&file));
    ASSERT_EQ(S_OK, file->Save(AnsiToWide(Join(dir, "innerlink.lnk")).c_str(), TRUE));
  }
  int boxes = 0;
  Application->MessageBoxFunction = [&](HWND, const std::string&, const std::string&, UINT) {
    ++boxes;
    return IDOK;
  };
  int opened = 0;
  g_list->OnDblClickOpen = [&](TObject*, bool& handled) {
    ++opened;
    handled = true;  // never the shell's default command (an editor)
  };
  Show(g_list, dir);
  g_list->SetFocus();
  Pump(100);
  const int count = g_list->Items().Count();
  ASSERT_EQ(5, count);

  Key('A', true);
  EXPECT_EQ(count, g_list->SelCount());

  SelectOnly(g_list, {"x1.txt", "x2.txt"});
  OleSetClipboard(nullptr);
  Key('C', true);
  const std::vector<std::string> both = {Join(dir, "x1.txt"), Join(dir, "x2.txt")};
  EXPECT_EQ(both, ClipboardFiles());
  OleSetClipboard(nullptr);
  Key('X', true);
  EXPECT_EQ(both, ClipboardFiles());
  EXPECT_TRUE(testsupport::FileExists(Join(dir, "x1.txt")));

  // Paste with nothing selected goes through the folder's background menu.
  ListView_SetItemState(g_list->Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  Key('V', true);
  Pump(200);
  EXPECT_EQ(0, boxes);
  EXPECT_EQ(nullptr, FindWindowA("#32770", nullptr));

  // F2 without a focused item edits nothing.
  Key(VK_F2);
  EXPECT_EQ(nullptr, ListView_GetEditControl(g_list->Handle()));

  // Del, once Wine's confirmation is answered.
  SelectOnly(g_list, {"victim.txt"});
  {
    TDialogAnswerer yes("Confirm file deletion", IDYES);
    Key(VK_DELETE);
    EXPECT_TRUE(WaitFor([&] { return yes.Answered(); }, 5000));
  }
  EXPECT_TRUE(WaitFor([&] { return !testsupport::FileExists(Join(dir, "victim.txt")); }, 3000));
  EXPECT_TRUE(WaitFor([] { return IndexOf(g_list, "victim.txt") < 0; }, 4000));

  // Enter on a folder and on a link to one navigates; Backspace goes up.
  SelectOnly(g_list, {"inner"});
  Key(VK_RETURN);
  EXPECT_TRUE(SameText(inner, g_list->Folder().GetPath()));
  EXPECT_EQ(0, g_defaultClicks);
  EXPECT_GE(IndexOf(g_list, "deep.txt"), 0);
  Key(VK_BACK);
  EXPECT_TRUE(SameText(dir, g_list->Folder().GetPath()));
  // A link to a folder is not a folder: Enter on it is the form's, a
  // double click follows it.
  const std::string linkName = IndexOf(g_list, "innerlink") >= 0 ? "innerlink" : "innerlink.lnk";
  Pump(GetDoubleClickTime());
  POINT link = ItemCentre(g_list, IndexOf(g_list, linkName));
  testsupport::SendMouse(link, 0);
  testsupport::SendClick(link, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  testsupport::SendClick(link, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(200);
  EXPECT_TRUE(SameText(inner, g_list->Folder().GetPath())) << g_list->Folder().GetPath();
  Key(VK_BACK);
  ASSERT_TRUE(SameText(dir, g_list->Folder().GetPath()));

  // Enter on a file is the form's: its default button is clicked.
  SelectOnly(g_list, {"x1.txt"});
  Key(VK_RETURN);
  EXPECT_EQ(1, g_defaultClicks);
  EXPECT_EQ(0, opened);
  EXPECT_TRUE(SameText(dir, g_list->Folder().GetPath()));

  // A double click on a file asks OnDblClickOpen; on a folder it navigates.
  Pump(GetDoubleClickTime());
  POINT file = ItemCentre(g_list, IndexOf(g_list, "x1.txt"));
  testsupport::SendMouse(file, 0);
  testsupport::SendClick(file, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  testsupport::SendClick(file, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(200);
  EXPECT_EQ(1, opened);
  Pump(GetDoubleClickTime());
  POINT folder = ItemCentre(g_list, IndexOf(g_list, "inner"));
  testsupport::SendMouse(folder, 0);
  testsupport::SendClick(folder, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  testsupport::SendClick(folder, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(200);
  EXPECT_TRUE(SameText(inner, g_list->Folder().GetPath()));
  g_list->OnDblClickOpen = nullptr;
  Application->MessageBoxFunction = nullptr;
  Pump(GetDoubleClickTime());
}

// ------------------------------------------------------------------ menus

TEST(ShellList, ContextMenuOfTheSelectionReachesTheClipboard) {
  const std::string dir = Scratch("menu");
  testsupport::WriteFileText(Join(dir, "m1.txt"), "m");
  testsupport::WriteFileText(Join(dir, "m2.txt"), "m");
  Show(g_list, dir);
  std::vector<std::string> hints;
  g_list->OnPopupHint = [&](TObject*, std::string& h) { hints.push_back(h); };
  SelectOnly(g_list, {"m2.txt"});
  OleSetClipboard(nullptr);
  std::atomic<bool> found{false};
  std::vector<std::string> texts;
  std::thread chooser([&] {
    HWND menu = nullptr;
    for (int i = 0; i < 200 && !(menu = VisibleMenu()); ++i) Sleep(20);
    if (!menu) return;
    HMENU h = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
    int steps = 0;
    for (int i = 0; i < GetMenuItemCount(h); ++i) {
      char text[128] = {};
      GetMenuStringA(h, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      texts.push_back(text);
      if (GetMenuState(h, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) continue;
      ++steps;
      if (std::string(text).find("Copy") != std::string::npos) {
        found = true;
        break;
      }
    }
    for (int i = 0; i < steps; ++i) {
      testsupport::SendKey(VK_DOWN, false);
      testsupport::SendKey(VK_DOWN, true);
      Sleep(60);
    }
    testsupport::SendKey(VK_RETURN, false);
    testsupport::SendKey(VK_RETURN, true);
  });
  POINT p = ItemCentre(g_list, IndexOf(g_list, "m2.txt"));
  testsupport::SendMouse(p, 0);
  testsupport::SendClick(p, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  WaitFor([&] { return found.load() && !VisibleMenu(); }, 5000);
  chooser.join();
  Pump(200);
  EXPECT_TRUE(found) << ::testing::PrintToString(texts);
  EXPECT_EQ((std::vector<std::string>{Join(dir, "m2.txt")}), ClipboardFiles());
  EXPECT_GE(hints.size(), 2u);
  g_list->OnPopupHint = nullptr;
  EXPECT_EQ(nullptr, VisibleMenu());
}

// ------------------------------------------------------------------ renaming

TEST(ShellList, RenamesOnDiskAndRefusesTakenAndOverlongNames) {
  const std::string dir = Scratch("rename");
  testsupport::WriteFileText(Join(dir, "before.txt"), "b");
  testsupport::WriteFileText(Join(dir, "taken.txt"), "t");
  Show(g_list, dir);
  g_list->SetFocus();
  std::vector<std::string> edited;
  g_list->OnEdited = [&](TObject*, TListItem*, std::string& s) { edited.push_back(s); };

  SelectOnly(g_list, {"before.txt"});
  Key(VK_F2);
  ASSERT_NE(nullptr, ListView_GetEditControl(g_list->Handle()));
  TypeText("after.txt");
  Key(VK_RETURN);
  EXPECT_TRUE(testsupport::FileExists(Join(dir, "after.txt")));
  EXPECT_FALSE(testsupport::FileExists(Join(dir, "before.txt")));
  int i = IndexOf(g_list, "after.txt");
  ASSERT_GE(i, 0);
  EXPECT_EQ("after.txt", g_list->ItemData(i)->FileName());
  EXPECT_EQ((std::vector<std::string>{"after.txt"}), edited);

  // A name that is taken, and one the shell's buffer cannot hold: the item
  // and its data stay, OnEdited still fires.
  const std::string overlong(300, 'n');
  for (const std::string& name : {std::string("taken.txt"), overlong}) {
    SelectOnly(g_list, {"after.txt"});
    Key(VK_F2);
    HWND edit = ListView_GetEditControl(g_list->Handle());
    ASSERT_NE(nullptr, edit);
    SetWindowTextA(edit, name.c_str());
    Key(VK_RETURN);
    Pump(100);
    i = IndexOf(g_list, "after.txt");
    ASSERT_GE(i, 0) << name.size();
    EXPECT_EQ("after.txt", g_list->ItemData(i)->FileName());
    EXPECT_EQ(name, edited.back());
    EXPECT_TRUE(testsupport::FileExists(Join(dir, "after.txt")));
    EXPECT_TRUE(testsupport::FileExists(Join(dir, "taken.txt")));
  }
  EXPECT_EQ(3u, edited.size());
  // The refused renames leave no change message to be swallowed.
  ASSERT_EQ(0, Unix("/usr/bin/touch", {testsupport::ToUnixPath(Join(dir, "later.txt"))}));
  EXPECT_TRUE(WaitFor([] { return IndexOf(g_list, "later.txt") >= 0; }, 4000));
  g_list->OnEdited = nullptr;
}

// ------------------------------------------------------------------ drag out

TEST(ShellList, DragOutOffersTheSelectionInTheShellsFormats) {
  const std::string dir = Scratch("dragout");
  for (const char* f : {"d1.txt", "d2.txt", "d3.txt"}) testsupport::WriteFileText(Join(dir, f), f);
  Show(g_list, dir);
  SelectOnly(g_list, {"d3.txt", "d1.txt"});
  auto* target = new TRecordingTarget;
  TComPtr<TRecordingTarget> holder(target);
  HWND window = MakeTargetWindow(1050, 100, target);
  Pump(200);
  DragWithMouse(ItemCentre(g_list, IndexOf(g_list, "d1.txt")), POINT{1130, 180}, false);
  EXPECT_EQ(1, target->drops);
  EXPECT_FALSE(g_list->Busy());

  // In list order, each item equal to Wine's own item of the same file.
  std::vector<std::string> inOrder;
  for (int i = 0; i < g_list->Items().Count(); ++i)
    if (g_list->Items()[i]->Selected()) inOrder.push_back(g_list->ItemData(i)->FullPath());
  ASSERT_EQ(2u, inOrder.size());
  EXPECT_EQ(inOrder, target->files);
  EXPECT_EQ(inOrder[0] + "\r\n" + inOrder[1] + "\r\n", target->text);
  shell::TIdListArrayView view;
  ASSERT_TRUE(shell::ReadIdListArray(target->idList.data(), target->idList.size(), &view));
  ASSERT_EQ(2u, view.items.size());
  TPidl folderPidl = Parse(dir);
  EXPECT_EQ(0, ComparePidls(reinterpret_cast<LPCITEMIDLIST>(view.parent), folderPidl.get()));
  TComPtr<IShellFolder> folder;
  ASSERT_EQ(S_OK, PidlToFolder(folderPidl.get(), folder.Put()));
  for (size_t i = 0; i < 2; ++i) {
    const std::string name = inOrder[i].substr(inOrder[i].find_last_of('\\') + 1);
    std::wstring w = AnsiToWide(name);
    LPITEMIDLIST child = nullptr;
    ULONG eaten = 0;
    ASSERT_EQ(S_OK, folder->ParseDisplayName(nullptr, nullptr, &w[0], &eaten, &child, nullptr));
    TPidl childHolder(child);
    TComPtr<IDataObject> wine;
    LPCITEMIDLIST one[1] = {child};
    ASSERT_EQ(S_OK, folder->GetUIObjectOf(nullptr, 1, one, IID_IDataObject, nullptr, wine.PutVoid()));
    FORMATETC f = {CF_IDLIST, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m = {};
    ASSERT_EQ(S_OK, wine->GetData(&f, &m));
    shell::TIdListArrayView wineView;
    ASSERT_TRUE(shell::ReadIdListArray(GlobalLock(m.hGlobal), GlobalSize(m.hGlobal), &wineView));
    EXPECT_EQ(0, HRESULT_CODE(folder->CompareIDs(0, reinterpret_cast<LPCITEMIDLIST>(view.items[i]),
                                                 reinterpret_cast<LPCITEMIDLIST>(wineView.items[0]))))
        << name;
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
  }
  // The allowed effects are the selection's abilities.
  std::vector<LPCITEMIDLIST> sel;
  for (int i = 0; i < g_list->Items().Count(); ++i)
    if (g_list->Items()[i]->Selected()) sel.push_back(g_list->ItemData(i)->RelativePidl());
  ULONG attrs = 7;
  ASSERT_EQ(S_OK, g_list->ShellFolder()->GetAttributesOf(2, sel.data(), &attrs));
  EXPECT_EQ(attrs & 7, target->enterOffered);
  EXPECT_NE(0u, target->enterOffered);
  RevokeDragDrop(window);
  DestroyWindow(window);

  // Onto the list's own empty space: refused with the left button, copy and
  // never move with the right one.
  g_list->recorder.Reset(new TRecordingTarget);
  g_list->replaceTargets = true;
  g_list->replacedName = "";
  SelectOnly(g_list, {"d2.txt"});
  POINT empty = g_list->ClientToScreen(POINT{300, 260});
  // A file moved away while the drag runs: its change message is not lost
  // to the busy list, which refills when the drag ends.
  DragWithMouse(ItemCentre(g_list, IndexOf(g_list, "d2.txt")), empty, false, [&] {
    Unix("/bin/mv", {testsupport::ToUnixPath(Join(dir, "d3.txt")), testsupport::ToUnixPath(Join(dir, "..\\d3.txt"))});
    Sleep(600);
  });
  EXPECT_EQ(0, g_list->recorder->drops);
  EXPECT_TRUE(WaitFor([] { return IndexOf(g_list, "d3.txt") < 0; }, 1000));
  EXPECT_EQ(2, g_list->Items().Count());
  // A right click while the drag runs cancels it and opens no menu.
  bool menuSeen = false;
  DragWithMouse(ItemCentre(g_list, IndexOf(g_list, "d2.txt")), empty, false, [&] {
    INPUT in[2] = {testsupport::MouseInput(empty, MOUSEEVENTF_RIGHTDOWN),
                   testsupport::MouseInput(empty, MOUSEEVENTF_RIGHTUP)};
    SendInput(2, in, sizeof in[0]);
    Sleep(500);
    if (HWND m = VisibleMenu()) {
      menuSeen = true;
      PostMessageA(m, WM_KEYDOWN, VK_ESCAPE, 0);
    }
  });
  EXPECT_FALSE(menuSeen);
  EXPECT_EQ(0, g_list->recorder->drops);
  EXPECT_EQ(nullptr, VisibleMenu());
  SelectOnly(g_list, {"d2.txt"});
  DragWithMouse(ItemCentre(g_list, IndexOf(g_list, "d2.txt")), empty, true);
  // Wine's target of the right button would show its drop menu; ours
  // records.
  EXPECT_EQ(1, g_list->recorder->drops);
  EXPECT_EQ(DWORD(MK_RBUTTON), g_list->recorder->dropKeys & (MK_LBUTTON | MK_RBUTTON));
  EXPECT_EQ(0u, g_list->recorder->dropEffect & DROPEFFECT_MOVE);
  EXPECT_NE(0u, g_list->recorder->dropEffect & DROPEFFECT_COPY);
  g_list->replaceTargets = false;
  g_list->recorder.Clear();
  EXPECT_EQ(2, g_list->Items().Count());
}

// ------------------------------------------------------------------ drag in

TEST(ShellList, DragInLetsTheShellTargetUnderTheCursorDecide) {
  const std::string dir = Scratch("dragin"), src = Scratch("dragsrc");
  testsupport::MakeDirs(Join(dir, "target"));
  testsupport::WriteFileText(Join(dir, "plain.txt"), "p");
  testsupport::WriteFileText(Join(src, "in.txt"), "in");
  Show(g_list, dir);
  TPidl srcPidl = Parse(src);
  TComPtr<IShellFolder> srcFolder;
  ASSERT_EQ(S_OK, PidlToFolder(srcPidl.get(), srcFolder.Put()));
  std::wstring w = AnsiToWide("in.txt");
  LPITEMIDLIST child = nullptr;
  ULONG eaten = 0;
  ASSERT_EQ(S_OK, srcFolder->ParseDisplayName(nullptr, nullptr, &w[0], &eaten, &child, nullptr));
  TPidl childHolder(child);
  TComPtr<IDataObject> wine;
  LPCITEMIDLIST one[1] = {child};
  ASSERT_EQ(S_OK, srcFolder->GetUIObjectOf(nullptr, 1, one, IID_IDataObject, nullptr, wine.PutVoid()));

  // The answer over the folder item is the shell target's own.
  const int index = IndexOf(g_list, "target");
  ASSERT_GE(index, 0);
  POINT centre = ItemCentre(g_list, index);
  POINTL pt = {centre.x, centre.y};
  IDropTarget* ours = g_list->OleDropTarget();
  ASSERT_NE(nullptr, ours);
  TPidl targetPidl = Parse(Join(dir, "target"));
  for (DWORD keys : {DWORD(MK_LBUTTON), DWORD(MK_LBUTTON | MK_CONTROL), DWORD(MK_LBUTTON | MK_SHIFT)}) {
    TComPtr<IDropTarget> shellTarget;
    ASSERT_EQ(S_OK, PidlDropTarget(nullptr, targetPidl.get(), shellTarget.Put()));
    DWORD want = 7, got = 7;
    shellTarget->DragEnter(wine.Get(), keys, pt, &want);
    shellTarget->DragLeave();
    EXPECT_EQ(S_OK, ours->DragEnter(wine.Get(), keys, pt, &got));
    EXPECT_EQ(want, got & 7) << keys;
    EXPECT_EQ(want != 0, (ListView_GetItemState(g_list->Handle(), index, LVIS_DROPHILITED) & LVIS_DROPHILITED) != 0);
    ours->DragLeave();
    EXPECT_EQ(0u, ListView_GetItemState(g_list->Handle(), index, LVIS_DROPHILITED));
  }

  // What reaches the target at Drop: the recorded button added to the key
  // state, the effect limited to what the dragged items allow.
  g_list->recorder.Reset(new TRecordingTarget);
  g_list->replaceTargets = true;
  g_list->replacedName = "target";
  DWORD e = 7;
  EXPECT_EQ(S_OK, ours->DragEnter(wine.Get(), MK_RBUTTON, pt, &e));
  EXPECT_TRUE(ListView_GetItemState(g_list->Handle(), index, LVIS_DROPHILITED) & LVIS_DROPHILITED);
  e = 7;
  EXPECT_EQ(S_OK, ours->Drop(wine.Get(), 0, pt, &e));
  EXPECT_EQ(1, g_list->recorder->drops);
  EXPECT_EQ(DWORD(MK_RBUTTON), g_list->recorder->dropKeys);
  EXPECT_EQ(7 & DragEffectsOf(wine.Get()), g_list->recorder->dropEffect);
  EXPECT_EQ(0u, ListView_GetItemState(g_list->Handle(), index, LVIS_DROPHILITED));
  g_list->replaceTargets = false;

  // A real drag loop over the folder item with Ctrl held: highlighted while
  // the cursor rests there (the screenshot), cancelled with Escape.
  HWND start = MakeTargetWindow(1050, 100, nullptr);
  Pump(200);
  POINT from = {1130, 180};
  testsupport::SendMouse(from, 0);
  INPUT press = testsupport::MouseInput(from, MOUSEEVENTF_LEFTDOWN);
  SendInput(1, &press, sizeof press);
  Pump(150);
  std::atomic<bool> highlighted{false};
  HWND lv = g_list->Handle();
  std::thread mover([&] {
    Sleep(150);
    testsupport::SendKey(VK_CONTROL, false);
    for (int i = 1; i <= 12; ++i) {
      INPUT in = testsupport::MouseInput(
          POINT{from.x + (centre.x - from.x) * i / 12, from.y + (centre.y - from.y) * i / 12}, 0);
      SendInput(1, &in, sizeof in);
      Sleep(50);
    }
    Sleep(400);
    highlighted = (SendMessageA(lv, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_DROPHILITED) &
                   LVIS_DROPHILITED) != 0;
    testsupport::Screenshot("shelllist_drag_highlight");
    testsupport::SendKey(VK_ESCAPE, false);
    testsupport::SendKey(VK_ESCAPE, true);
    Sleep(100);
    testsupport::SendKey(VK_CONTROL, true);
    INPUT up = testsupport::MouseInput(centre, MOUSEEVENTF_LEFTUP);
    SendInput(1, &up, sizeof up);
  });
  TComPtr<IDropSource> source(new TDropSource_shlvtv(MK_LBUTTON));
  DWORD effect = 0;
  EXPECT_EQ(DRAGDROP_S_CANCEL, DoDragDrop(wine.Get(), source.Get(), 7, &effect));
  mover.join();
  Pump(200);
  EXPECT_TRUE(highlighted);
  EXPECT_EQ(0u, ListView_GetItemState(g_list->Handle(), index, LVIS_DROPHILITED));
  EXPECT_TRUE(testsupport::FileExists(Join(src, "in.txt")));
  DestroyWindow(start);
  g_list->recorder.Clear();
}

// ------------------------------------------------------------------ links

TEST(ShellList, FollowsALinkedTreeAndCombo) {
  const std::string base = Scratch("links");
  char name[8];
  for (int i = 0; i < 12; ++i) {
    std::snprintf(name, sizeof name, "f%02d", i);
    testsupport::MakeDirs(Join(base, name));
    testsupport::WriteFileText(Join(Join(base, name), std::string(name) + ".txt"), name);
  }
  testsupport::WriteFileText(Join(base, "top.txt"), "t");
  auto* combo = new TPTShellCombo(g_form);
  combo->SetBounds(10, 8, 240, 24);
  combo->SetParent(g_form);
  auto* tree = new TPTShellTree(g_form);
  tree->SetBounds(10, 40, 240, 430);
  tree->SetParent(g_form);
  TPidl basePidl = Parse(base);
  tree->BaseFolder()->SetPidl(basePidl.get());
  combo->SetShellTree(tree);
  ASSERT_EQ(tree, combo->ShellTree());
  tree->CurrentFolder()->SetPath(Join(base, "f00"));
  Pump(100);

  // Linking passes the tree's folder to the list.
  tree->SetShellList(g_list);
  EXPECT_EQ(g_list, tree->ShellList());
  EXPECT_EQ(tree, g_list->ShellTree());
  EXPECT_TRUE(SameText(Join(base, "f00"), g_list->Folder().GetPath())) << g_list->Folder().GetPath();
  // A combo that follows a tree takes no list.
  combo->SetShellList(g_other);
  EXPECT_EQ(nullptr, combo->ShellList());
  EXPECT_EQ(nullptr, g_other->ShellCombo());

  // Ten keyboard moves: one refill, about 500 ms after the last.
  tree->SetFocus();
  Pump(100);
  g_list->prepared = 0;
  g_list->prepareTimes.clear();
  for (int i = 0; i < 10; ++i) {
    testsupport::SendKey(VK_DOWN, false);
    testsupport::SendKey(VK_DOWN, true);
    Pump(60);
  }
  const DWORD last = GetTickCount();
  EXPECT_TRUE(WaitFor([] { return g_list->prepared > 0; }, 3000));
  Pump(700);
  EXPECT_EQ(1, g_list->prepared);
  ASSERT_FALSE(g_list->prepareTimes.empty());
  const DWORD delay = g_list->prepareTimes[0] - last;
  EXPECT_GE(delay, 400u);
  EXPECT_LE(delay, 1300u);
  std::printf("list refill %lu ms after the tenth key\n", static_cast<unsigned long>(delay));
  EXPECT_TRUE(SameText(Join(base, "f10"), g_list->Folder().GetPath())) << g_list->Folder().GetPath();
  EXPECT_GE(IndexOf(g_list, "f10.txt"), 0);

  // A mouse click refills at once.
  TTreeNode* f03 = tree->FindChild(tree->Selected()->Parent(), "f03");
  ASSERT_NE(nullptr, f03);
  RECT r = f03->DisplayRect();
  POINT p = tree->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  testsupport::SendMouse(p, 0);
  g_list->prepared = 0;
  testsupport::SendClick(p, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(150);
  EXPECT_EQ(1, g_list->prepared);
  EXPECT_TRUE(SameText(Join(base, "f03"), g_list->Folder().GetPath()));

  // Up from the list goes through the tree; the combo follows the tree.
  g_list->GoUp(1);
  Pump(100);
  EXPECT_TRUE(SameText(base, g_list->Folder().GetPath())) << g_list->Folder().GetPath();
  EXPECT_TRUE(SameText(base, combo->Locator()->GetPath()));
  EXPECT_EQ(13, g_list->Items().Count());
  testsupport::Screenshot("shelllist_linked_form");

  // Folders hidden while a tree is linked come back when it is unlinked.
  g_list->SetOptions(g_list->Options() | PtsloBit(ptsloHideFoldersWhenLinkedToTree));
  g_list->Refill();
  EXPECT_EQ((std::vector<std::string>{"top.txt"}), Captions(g_list));
  tree->SetShellList(nullptr);
  EXPECT_EQ(nullptr, g_list->ShellTree());
  EXPECT_EQ(13, g_list->Items().Count());
  tree->SetShellList(g_list);
  EXPECT_EQ(1, g_list->Items().Count());
  g_list->SetOptions(g_list->Options() & ~PtsloBit(ptsloHideFoldersWhenLinkedToTree));

  // Freeing the linked tree leaves a list that works on its own.
  delete tree;
  EXPECT_EQ(nullptr, g_list->ShellTree());
  EXPECT_EQ(nullptr, combo->ShellTree());
  Show(g_list, Join(base, "f05"));
  EXPECT_GE(IndexOf(g_list, "f05.txt"), 0);
  g_list->GoUp(1);
  EXPECT_TRUE(SameText(base, g_list->Folder().GetPath()));
  // A combo without a tree takes the list, and the two move together.
  combo->SetShellList(g_other);
  EXPECT_EQ(g_other, combo->ShellList());
  EXPECT_EQ(combo, g_other->ShellCombo());
  combo->Locator()->SetPath(Join(base, "f07"));
  EXPECT_TRUE(SameText(Join(base, "f07"), g_other->Folder().GetPath()));
  g_other->Folder().SetPath(Join(base, "f08"));
  EXPECT_TRUE(SameText(Join(base, "f08"), combo->Locator()->GetPath()));
  delete combo;
  EXPECT_EQ(nullptr, g_other->ShellCombo());
  g_other->Refill();
  EXPECT_GE(IndexOf(g_other, "f08.txt"), 0);
}

// ------------------------------------------------------------------ the end

TEST(ShellList, EveryItemDataIsFreedOnce) {
  Show(g_list, Scratch("listing"));
  testsupport::Screenshot("shelllist_form");
  EXPECT_GT(g_inserted, 1200);
  delete g_other;
  g_other = nullptr;
  delete g_list;
  g_list = nullptr;
  EXPECT_EQ(g_inserted, g_deleted);
}

}  // namespace
