// The data-object protocol and drag and drop through real OLE: the
// clipboard, Wine's own data objects and a real drag loop between two
// windows driven by the mouse.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "shell_test_common.h"
#include "sysutils.h"
#include "test_support.h"
#include "win/shellole.h"

using namespace shelltest;
using testsupport::Join;

namespace {

// A data object holding its own shell blocks for two real files, one of
// them named by a path of 300 characters.
struct TTwoFiles {
  std::string base, first, longName;
  TPidl parent, a, b;
  TComPtr<IDataObject> object;
  TPTDataObject* raw = nullptr;
  TTwoFiles() {
    base = Scratch("ole");
    first = Join(base, "first.txt");
    testsupport::WriteFileText(first, "1");
    testsupport::WriteFileText(Join(base, "second.txt"), "2");
    longName = base + "\\" + std::string(300 - base.size() - 1, 'n');
    parent = Parse(base);
    TFolderOwner owner(base);
    a.reset(owner.Child("first.txt"));
    b.reset(owner.Child("second.txt"));
    raw = new TPTDataObject;
    object.Reset(raw);
    EXPECT_EQ(S_OK, raw->SetShellBlocks(parent.get(), {a.get(), b.get()}, {first, longName}, first));
  }
};

std::vector<std::string> DroppedNames(HGLOBAL block) {
  std::vector<std::string> names;
  HDROP drop = static_cast<HDROP>(block);
  UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < n; ++i) {
    UINT len = DragQueryFileA(drop, i, nullptr, 0);
    std::string s(len + 1, '\0');
    DragQueryFileA(drop, i, &s[0], len + 1);
    s.resize(len);
    names.push_back(s);
  }
  return names;
}

TEST(ShellData, ProtocolCopiesAndRefusals) {
  TTwoFiles t;
  IDataObject* d = t.object.Get();
  FORMATETC f = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
  EXPECT_EQ(HRESULT(0x80040069), d->QueryGetData(&f));
  f.tymed = TYMED_HGLOBAL | TYMED_ISTREAM;
  EXPECT_EQ(S_OK, d->QueryGetData(&f));
  f.dwAspect = DVASPECT_THUMBNAIL;
  EXPECT_EQ(HRESULT(0x80040064), d->QueryGetData(&f));
  f.dwAspect = DVASPECT_CONTENT;
  f.cfFormat = CF_BITMAP;
  EXPECT_EQ(HRESULT(0x80040064), d->QueryGetData(&f));
  STGMEDIUM m = {};
  EXPECT_EQ(HRESULT(0x80040064), d->GetData(&f, &m));
  EXPECT_EQ(E_NOTIMPL, d->GetDataHere(&f, &m));
  EXPECT_EQ(E_NOTIMPL, d->SetData(&f, &m, FALSE));
  FORMATETC canon = f;
  canon.ptd = reinterpret_cast<DVTARGETDEVICE*>(8);
  EXPECT_EQ(E_NOTIMPL, d->GetCanonicalFormatEtc(&f, &canon));
  EXPECT_EQ(nullptr, canon.ptd);
  DWORD conn = 0;
  EXPECT_EQ(HRESULT(0x80040003), d->DAdvise(&f, 0, nullptr, &conn));
  EXPECT_EQ(HRESULT(0x80040003), d->DUnadvise(1));
  IEnumSTATDATA* sd = nullptr;
  EXPECT_EQ(HRESULT(0x80040003), d->EnumDAdvise(&sd));
  IEnumFORMATETC* none = reinterpret_cast<IEnumFORMATETC*>(1);
  EXPECT_EQ(E_NOTIMPL, d->EnumFormatEtc(DATADIR_SET, &none));
  EXPECT_EQ(nullptr, none);

  // The formats in offer order; the enumerator keeps the object alive.
  TComPtr<IEnumFORMATETC> e;
  ASSERT_EQ(S_OK, d->EnumFormatEtc(DATADIR_GET, e.Put()));
  EXPECT_EQ(2, t.raw->RefCount());
  FORMATETC got[4] = {};
  ULONG n = 0;
  EXPECT_EQ(S_FALSE, e->Next(4, got, &n));
  ASSERT_EQ(3u, n);
  EXPECT_EQ(CF_IDLIST, got[0].cfFormat);
  EXPECT_EQ(CF_HDROP, got[1].cfFormat);
  EXPECT_EQ(CF_TEXT, got[2].cfFormat);

  // Copies that outlive the object.
  f.cfFormat = CF_HDROP;
  f.tymed = TYMED_HGLOBAL;
  STGMEDIUM drop = {}, text = {}, ids = {};
  ASSERT_EQ(S_OK, d->GetData(&f, &drop));
  EXPECT_EQ(DWORD(TYMED_HGLOBAL), drop.tymed);
  EXPECT_EQ(nullptr, drop.pUnkForRelease);
  f.cfFormat = CF_TEXT;
  ASSERT_EQ(S_OK, d->GetData(&f, &text));
  f.cfFormat = CF_IDLIST;
  ASSERT_EQ(S_OK, d->GetData(&f, &ids));
  t.object.Clear();
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(S_OK, e->Next(1, got, nullptr));  // the list is still there
  e.Clear();

  EXPECT_EQ((std::vector<std::string>{t.first, t.longName}), DroppedNames(drop.hGlobal));
  EXPECT_EQ(300u, t.longName.size());
  EXPECT_STREQ(t.first.c_str(), static_cast<const char*>(GlobalLock(text.hGlobal)));
  GlobalUnlock(text.hGlobal);
  const void* block = GlobalLock(ids.hGlobal);
  shell::TIdListArrayView view;
  ASSERT_TRUE(shell::ReadIdListArray(block, GlobalSize(ids.hGlobal), &view));
  ASSERT_EQ(2u, view.items.size());
  EXPECT_TRUE(SameText(t.base, PidlToPath(reinterpret_cast<LPCITEMIDLIST>(view.parent))));
  EXPECT_EQ(0, std::memcmp(view.items[1], t.b.get(), PidlSize(t.b.get())));
  GlobalUnlock(ids.hGlobal);
  ReleaseStgMedium(&drop);
  ReleaseStgMedium(&text);
  ReleaseStgMedium(&ids);
}

TEST(ShellData, ThroughTheOleClipboard) {
  TTwoFiles t;
  ASSERT_EQ(S_OK, OleSetClipboard(t.object.Get()));
  {
    TComPtr<IDataObject> clip;
    ASSERT_EQ(S_OK, OleGetClipboard(clip.Put()));
    FORMATETC f = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m = {};
    ASSERT_EQ(S_OK, clip->GetData(&f, &m));
    EXPECT_EQ((std::vector<std::string>{t.first, t.longName}), DroppedNames(m.hGlobal));
    ReleaseStgMedium(&m);
    // Our own "Shell IDList Array" allows what the folder allows for both.
    TComPtr<IShellFolder> folder;
    ASSERT_EQ(S_OK, PidlToFolder(t.parent.get(), folder.Put()));
    LPCITEMIDLIST both[2] = {t.a.get(), t.b.get()};
    ULONG attrs = 7;
    ASSERT_EQ(S_OK, folder->GetAttributesOf(2, both, &attrs));
    EXPECT_EQ(attrs & 7, DragEffectsOf(clip.Get()));
    EXPECT_NE(0u, DragEffectsOf(clip.Get()));
  }
  ASSERT_EQ(S_OK, OleSetClipboard(nullptr));
  EXPECT_EQ(1, t.raw->RefCount());
}

// Hands out one fixed block as "Shell IDList Array".
class TBlockObject : public TComObject<IDataObject> {
 public:
  explicit TBlockObject(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override {
    if (f->cfFormat != CF_IDLIST) return DV_E_FORMATETC;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    std::memcpy(GlobalLock(h), bytes_.data(), bytes_.size());
    GlobalUnlock(h);
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = h;
    m->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return S_OK; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::vector<uint8_t> bytes_;
};

TEST(ShellData, DragEffectsOfWineObjectsAndMalformedBlocks) {
  // A folder on the desktop and "My Computer", both children of the desktop.
  const std::string desk = SpecialFolderPath(nullptr, CSIDL_DESKTOPDIRECTORY);
  ASSERT_FALSE(desk.empty());
  const std::string onDesk = Join(desk, "shelltest-folder");
  CreateDirectoryA(onDesk.c_str(), nullptr);
  TComPtr<IShellFolder> desktop;
  ASSERT_EQ(S_OK, DesktopFolder(desktop.Put()));
  TComPtr<IEnumIDList> items;
  ASSERT_EQ(S_OK, desktop->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put()));
  TPidl folderItem;
  LPITEMIDLIST p = nullptr;
  ULONG fetched = 0;
  while (!folderItem && items->Next(1, &p, &fetched) == S_OK) {
    if (SameText(GetDisplayName(desktop.Get(), p, 2), onDesk))
      folderItem.reset(p);
    else
      ShellFree(p);
  }
  ASSERT_TRUE(folderItem) << "desktop folder not listed";
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(S_OK, SpecialFolderPidl(nullptr, CSIDL_DRIVES, &drives));
  TPidl drivesHolder(drives);

  LPCITEMIDLIST two[2] = {drives, folderItem.get()};
  ULONG first = 7, second = 7;
  ASSERT_EQ(S_OK, desktop->GetAttributesOf(1, &two[0], &first));
  ASSERT_EQ(S_OK, desktop->GetAttributesOf(1, &two[1], &second));
  EXPECT_NE(first & 7, second & 7) << "the two items should differ in what they allow";
  // Wine's desktop answers the two together with the last one's abilities.
  ULONG together = 7;
  desktop->GetAttributesOf(2, two, &together);
  EXPECT_EQ(second & 7, together & 7);
  TComPtr<IDataObject> wine;
  ASSERT_EQ(S_OK, desktop->GetUIObjectOf(nullptr, 2, two, IID_IDataObject, nullptr, wine.PutVoid()));
  EXPECT_EQ(first & second & 7, DragEffectsOf(wine.Get()));
  RemoveDirectoryA(onDesk.c_str());

  // Blocks from another program that do not hold what they claim.
  std::vector<uint8_t> good = shell::BuildIdListArray(Bytes(drives), {Bytes(drives)});
  std::vector<uint8_t> bigCount = good;
  bigCount[0] = 0xE8;
  bigCount[1] = 0x03;
  std::vector<uint8_t> farOffset = good;
  farOffset[8] = 0xFF;
  std::vector<uint8_t> cut(good.begin(), good.end() - 2);
  for (const auto& bad : {bigCount, farOffset, cut}) {
    TComPtr<IDataObject> o(new TBlockObject(bad));
    EXPECT_EQ(0u, DragEffectsOf(o.Get()));
  }
  EXPECT_EQ(0u, DragEffectsOf(nullptr));
}

// ------------------------------------------------------------- drag loop

class TRecordingTarget : public TComObject<IDropTarget> {
 public:
  void Clear() {
    enters = overs = leaves = drops = 0;
    formats.clear();
    dropKeys = 0;
  }
  int enters = 0, overs = 0, leaves = 0, drops = 0;
  std::set<CLIPFORMAT> formats;
  DWORD dropKeys = 0;
  STDMETHODIMP DragEnter(IDataObject* d, DWORD, POINTL, DWORD* effect) override {
    ++enters;
    Record(d);
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    ++overs;
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override {
    ++leaves;
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject* d, DWORD keys, POINTL, DWORD* effect) override {
    ++drops;
    dropKeys = keys;
    Record(d);
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }

 private:
  void Record(IDataObject* d) {
    // As a drop target does: hold the object for a moment, then let go.
    d->AddRef();
    for (CLIPFORMAT cf : {CF_IDLIST, CLIPFORMAT(CF_HDROP), CLIPFORMAT(CF_TEXT)}) {
      FORMATETC f = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      STGMEDIUM m = {};
      if (d->GetData(&f, &m) == S_OK) {
        formats.insert(cf);
        ReleaseStgMedium(&m);
      }
    }
    d->Release();
  }
};

void Mouse(DWORD flags, int x = 0, int y = 0) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  if (flags & MOUSEEVENTF_MOVE) {
    flags |= MOUSEEVENTF_ABSOLUTE;
    in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  }
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof(in));
}

// Moves from the source window onto the target, then ends the drag by
// releasing the left button, or by pressing the right one first.
HRESULT RunDrag(HWND from, HWND to, bool cancelWithRight, IDataObject* data, TDropSource_shlvtv* source,
                DWORD* effect) {
  RECT a, b;
  GetWindowRect(from, &a);
  GetWindowRect(to, &b);
  const int ax = (a.left + a.right) / 2, ay = (a.top + a.bottom) / 2;
  const int bx = (b.left + b.right) / 2, by = (b.top + b.bottom) / 2;
  Mouse(MOUSEEVENTF_MOVE, ax, ay);
  testsupport::Pump(100);
  Mouse(MOUSEEVENTF_LEFTDOWN);
  testsupport::Pump(100);
  std::thread mover([=] {
    Sleep(150);
    for (int i = 1; i <= 10; ++i) {
      Mouse(MOUSEEVENTF_MOVE, ax + (bx - ax) * i / 10, ay + (by - ay) * i / 10);
      Sleep(40);
    }
    Sleep(200);
    if (cancelWithRight) {
      Mouse(MOUSEEVENTF_RIGHTDOWN);
      Sleep(200);
      Mouse(MOUSEEVENTF_RIGHTUP);
    }
    Mouse(MOUSEEVENTF_LEFTUP);
  });
  HRESULT hr = DoDragDrop(data, source, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, effect);
  mover.join();
  testsupport::Pump(100);
  return hr;
}

// The windows of other programs that the pointer's way from one window to
// the other passes over, for the failure message.
std::string ForeignWindowsOnPath(HWND from, HWND to) {
  RECT a, b;
  GetWindowRect(from, &a);
  GetWindowRect(to, &b);
  std::set<HWND> seen;
  std::string found;
  for (int i = 0; i <= 40; ++i) {
    POINT p = {(a.left + a.right) / 2 + ((b.left + b.right) - (a.left + a.right)) / 2 * i / 40,
               (a.top + a.bottom) / 2 + ((b.top + b.bottom) - (a.top + a.bottom)) / 2 * i / 40};
    HWND w = WindowFromPoint(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (!w || pid == GetCurrentProcessId() || !seen.insert(w).second) continue;
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    found += " [" + std::string(cls) + " of process " + std::to_string(pid) + "]";
  }
  return found.empty() ? " none" : found;
}

// A child of the test's one topmost window, which lies under the whole way
// of the pointer.  A drag that passes over another program's drop target
// lends that program the data object: COM's stub for the loan holds three
// references until the other program lets go, whenever that is.
HWND MakeEnd(HWND span, int x) {
  HWND w = CreateWindowExA(0, "ShellTestWindow", "", WS_CHILD | WS_VISIBLE | WS_BORDER, x, 0, 160, 160, span, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(w);
  return w;
}

TEST(ShellDrag, RealDragLoopDropsAndCancels) {
  HWND span = MakeTopmostWindow(40, 60, 440);
  HWND from = MakeEnd(span, 0), to = MakeEnd(span, 280);
  testsupport::Pump(200);
  auto* target = new TRecordingTarget;
  TComPtr<IDropTarget> targetHolder(target);
  ASSERT_EQ(S_OK, RegisterDragDrop(to, target));

  {
    TTwoFiles t;
    auto* source = new TDropSource_shlvtv(MK_LBUTTON);
    TComPtr<IDropSource> sourceHolder(source);
    DWORD effect = 0;
    DWORD start = GetTickCount();
    EXPECT_EQ(DRAGDROP_S_DROP, RunDrag(from, to, false, t.object.Get(), source, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), effect);
    EXPECT_EQ(1, target->drops);
    EXPECT_GE(target->enters, 1);
    EXPECT_EQ((std::set<CLIPFORMAT>{CF_IDLIST, CF_HDROP, CF_TEXT}), target->formats);
    // Only the creators' own references are left.
    EXPECT_EQ(1, t.raw->RefCount()) << "windows of others on the way:" << ForeignWindowsOnPath(from, to);
    EXPECT_EQ(1, source->RefCount());
    std::printf("drag with drop took %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
  }
  {
    target->Clear();
    TTwoFiles t;
    auto* source = new TDropSource_shlvtv(MK_LBUTTON);
    TComPtr<IDropSource> sourceHolder(source);
    DWORD effect = 0;
    EXPECT_EQ(DRAGDROP_S_CANCEL, RunDrag(from, to, true, t.object.Get(), source, &effect));
    EXPECT_EQ(0, target->drops);
    EXPECT_GE(target->enters, 1);
    EXPECT_EQ(target->enters, target->leaves);
    EXPECT_EQ(1, t.raw->RefCount()) << "windows of others on the way:" << ForeignWindowsOnPath(from, to);
    EXPECT_EQ(1, source->RefCount());
  }
  ASSERT_EQ(S_OK, RevokeDragDrop(to));
  EXPECT_EQ(1, target->RefCount());
  DestroyWindow(span);
}

}  // namespace
