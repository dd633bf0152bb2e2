#include "shellutils.h"

#include <cstring>
#include <memory>

#include "classes.h"
#include "shelltext.h"
#include "sysutils.h"
#include "win/comobj.h"
#include "win/shconsts.h"

TComCtlVersion COMCTL32_VER = {0, 0};
OSVERSIONINFOA ShellPlatform = {};
CLIPFORMAT CF_IDLIST = 0;

namespace shell95 {
TSHGetDataFromIDListA SHGetDataFromIDListA = nullptr;
}

namespace {

IMalloc* g_malloc = nullptr;
HMODULE g_shell32 = nullptr;
bool g_comStarted = false, g_oleStarted = false, g_started = false;
bool g_overlaysInstalled = false;
TMemoryStream* g_widths = nullptr;
uint8_t g_directoryCols[kDirectoryColsSize] = {};
uint32_t g_directoryColsLength = 0;

void ReadComCtlVersion() {
  COMCTL32_VER = {0, 0};
  char name[] = "comctl32.dll";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(name, &handle);
  if (size == 0) return;
  std::vector<uint8_t> info(size);
  if (!GetFileVersionInfoA(name, 0, size, info.data())) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  char root[] = "\\";
  if (!VerQueryValueA(info.data(), root, reinterpret_cast<void**>(&fixed), &len) || !fixed ||
      len < sizeof(VS_FIXEDFILEINFO))
    return;
  COMCTL32_VER.LS = fixed->dwFileVersionLS;
  COMCTL32_VER.MS = fixed->dwFileVersionMS;
}

// Two overlay images from shell32 for the 4.71 controls, which lack them.
void InstallOverlays() {
  HMODULE lib = LoadLibraryA("shell32.dll");
  if (!lib) return;
  SHFILEINFOA info = {};
  HIMAGELIST small = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  HIMAGELIST large =
      reinterpret_cast<HIMAGELIST>(SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX));
  for (int i = 0; i < 2; ++i) {
    const struct {
      HIMAGELIST list;
      int size;
    } targets[] = {{small, 16}, {large, 32}};
    for (const auto& t : targets) {
      if (!t.list) continue;
      HICON icon = static_cast<HICON>(
          LoadImageA(lib, MAKEINTRESOURCEA(29 + i), IMAGE_ICON, t.size, t.size, LR_SHARED));
      if (!icon) continue;
      int index = ImageList_AddIcon(t.list, icon);
      if (index >= 0) ImageList_SetOverlayImage(t.list, index, i + 1);
      DestroyIcon(icon);
    }
  }
  g_overlaysInstalled = true;
  FreeLibrary(lib);
}

// The highest "%n" (1-99) the format names; "%%" and the other escapes
// are skipped.
int HighestInsert(const std::string& format) {
  int highest = 0;
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '%') continue;
    char c = format[i + 1];
    if (c >= '1' && c <= '9') {
      int n = c - '0';
      if (i + 2 < format.size() && format[i + 2] >= '0' && format[i + 2] <= '9') n = n * 10 + (format[i + 2] - '0');
      if (n > highest) highest = n;
    }
    ++i;  // the character after '%' is never the start of another insert
  }
  return highest;
}

}  // namespace

// ---------------------------------------------------------------------------

bool IsWinNT() {
  if (ShellPlatform.dwOSVersionInfoSize == 0) {
    ShellPlatform.dwOSVersionInfoSize = sizeof(ShellPlatform);
    GetVersionExA(&ShellPlatform);
  }
  return ShellPlatform.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

IMalloc* ShellMalloc() {
  if (!g_malloc) SHGetMalloc(&g_malloc);
  return g_malloc;
}

void* ShellAlloc(size_t size) {
  IMalloc* m = ShellMalloc();
  return m ? m->Alloc(size) : nullptr;
}

void ShellFree(void* p) {
  if (!p) return;
  if (IMalloc* m = ShellMalloc()) m->Free(p);
}

void* TMallocPidlAllocator::Alloc(size_t size) { return malloc_ ? malloc_->Alloc(size) : ShellAlloc(size); }

void TMallocPidlAllocator::Free(void* p) {
  if (!p) return;
  if (malloc_)
    malloc_->Free(p);
  else
    ShellFree(p);
}

UINT PidlSize(LPCITEMIDLIST pidl) { return shell::PidlSize(Bytes(pidl)); }

LPITEMIDLIST CopyPidl(IMalloc* alloc, LPCITEMIDLIST pidl) {
  TMallocPidlAllocator a(alloc);
  return AsPidl(shell::CopyPidl(&a, Bytes(pidl)));
}

LPITEMIDLIST ConcatPidls(IMalloc* alloc, LPCITEMIDLIST first, LPCITEMIDLIST second) {
  TMallocPidlAllocator a(alloc);
  return AsPidl(shell::ConcatPidls(&a, Bytes(first), Bytes(second)));
}

LPITEMIDLIST EmptyPidl() {
  auto* p = static_cast<uint8_t*>(ShellAlloc(2));
  if (p) p[0] = p[1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(p);
}

HRESULT DesktopFolder(IShellFolder** out) { return SHGetDesktopFolder(out); }

int ComparePidls(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  const bool aNone = !a || a->mkid.cb == 0, bNone = !b || b->mkid.cb == 0;
  if (!a && !b) return 0;
  if (!a || !b) return -1;
  if (aNone && bNone) return 0;
  if (aNone || bNone) return -1;
  TComPtr<IShellFolder> desktop;
  if (FAILED(DesktopFolder(desktop.Put())) || !desktop) return 0x7FFFFFFF;
  HRESULT hr = desktop->CompareIDs(0, a, b);
  if (FAILED(hr)) return 0x7FFFFFFF;
  return static_cast<short>(HRESULT_CODE(hr));
}

HRESULT PidlToFolder(LPCITEMIDLIST pidl, IShellFolder** folder) {
  if (!folder) return E_POINTER;
  *folder = nullptr;
  TComPtr<IShellFolder> desktop;
  HRESULT hr = DesktopFolder(desktop.Put());
  if (FAILED(hr)) return hr;
  if (!pidl || pidl->mkid.cb == 0) {
    *folder = desktop.Detach();
    return S_OK;
  }
  return desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(folder));
}

HRESULT PathToPidl(const std::string& path, LPITEMIDLIST* pidl) {
  if (!pidl) return E_POINTER;
  *pidl = nullptr;
  wchar_t wide[MAX_PATH + 1];
  if (!AnsiToWide(path, wide, MAX_PATH + 1)) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  TComPtr<IShellFolder> desktop;
  HRESULT hr = DesktopFolder(desktop.Put());
  if (FAILED(hr)) return hr;
  ULONG eaten = 0;
  return desktop->ParseDisplayName(nullptr, nullptr, wide, &eaten, pidl, nullptr);
}

std::string PidlToPath(LPCITEMIDLIST pidl) {
  static const USHORT empty = 0;
  char buffer[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListA(pidl ? pidl : reinterpret_cast<LPCITEMIDLIST>(&empty), buffer)) return std::string();
  return buffer;
}

HRESULT SpecialFolderPidl(HWND owner, int csidl, LPITEMIDLIST* pidl) {
  if (!pidl) return E_POINTER;
  *pidl = nullptr;
  return SHGetSpecialFolderLocation(owner, csidl & 0x7F, pidl);
}

std::string SpecialFolderPath(HWND owner, int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl & 0xFF, &pidl)) || !pidl) return std::string();
  std::string path = PidlToPath(pidl);
  ShellFree(pidl);
  return path;
}

std::string GetDisplayName(IShellFolder* folder, LPCITEMIDLIST pidl, int kind) {
  static const DWORD kFlags[] = {SHGDN_NORMAL, SHGDN_INFOLDER, SHGDN_FORPARSING};
  if (kind < 0 || kind > 2) return std::string();
  TComPtr<IShellFolder> desktop;
  if (!folder) {
    if (FAILED(DesktopFolder(desktop.Put())) || !desktop) return std::string();
    folder = desktop.Get();
  }
  static const USHORT empty = 0;
  if (!pidl) pidl = reinterpret_cast<LPCITEMIDLIST>(&empty);
  STRRET sr = {};
  if (FAILED(folder->GetDisplayNameOf(pidl, kFlags[kind], &sr))) return std::string();
  return StrRetToString(pidl, &sr);
}

std::string StrRetToString(LPCITEMIDLIST pidl, STRRET* strret) {
  if (!strret) return std::string();
  switch (strret->uType) {
    case STRRET_WSTR: {
      std::string s = WideToAnsi(strret->pOleStr);
      if (strret->pOleStr) {
        ShellFree(strret->pOleStr);
        strret->pOleStr = nullptr;
      }
      return s;
    }
    case STRRET_OFFSET:
      if (!pidl) return std::string();
      return reinterpret_cast<const char*>(pidl) + strret->uOffset;
    case STRRET_CSTR:
      return std::string(strret->cStr, strnlen(strret->cStr, sizeof(strret->cStr)));
    default:
      return std::string();
  }
}

int SysImageIndex(LPCITEMIDLIST pidl, UINT flags) {
  SHFILEINFOA info = {};
  if (!SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl), 0, &info, sizeof(info), flags | SHGFI_SYSICONINDEX | SHGFI_PIDL))
    return -1;
  return info.iIcon;
}

HIMAGELIST SystemImageList(bool large) {
  if (!g_overlaysInstalled && IsWinNT() && COMCTL32_VER.MS == kComCtl471) InstallOverlays();
  SHFILEINFOA info = {};
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | (large ? 0 : SHGFI_SMALLICON)));
}

std::string FormatStrPos(const std::string& format, const std::string* inserts, int highIndex) {
  if (format.empty()) return std::string();
  if (highIndex > 49) throw Exception("FormatStrPos: Too many substitution strings");
  const int given = highIndex + 1 > 0 ? highIndex + 1 : 0;
  // The formatter reads as many arguments as the format names, so the
  // array reaches the highest one named; the missing ones are empty.
  const int named = HighestInsert(format);
  std::vector<DWORD_PTR> args(static_cast<size_t>(named > given ? named : given) + 1, 0);
  static const char kEmpty[] = "";
  for (size_t i = 0; i < args.size(); ++i)
    args[i] = reinterpret_cast<DWORD_PTR>(static_cast<int>(i) < given ? inserts[i].c_str() : kEmpty);
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           format.c_str(), 0, 0, reinterpret_cast<LPSTR>(&buffer), 256,
                           reinterpret_cast<va_list*>(args.data()));
  std::string out;
  if (buffer) {
    out.assign(buffer, n);
    LocalFree(buffer);
  }
  return out;
}

std::string FormatStrPos(const std::string& format, const std::vector<std::string>& inserts) {
  return FormatStrPos(format, inserts.data(), static_cast<int>(inserts.size()) - 1);
}

HRESULT ReadShellLink(const std::string& fileName, TLinkData& link, bool wantIdList) {
  TComPtr<IShellLinkA> shellLink;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, shellLink.PutVoid());
  if (FAILED(hr)) return hr;
  TComPtr<IPersistFile> file;
  hr = shellLink.As(&file);
  if (FAILED(hr)) return hr;
  std::wstring wide = AnsiToWide(fileName);
  hr = file->Load(wide.c_str(), STGM_READ);
  if (FAILED(hr)) return hr;
  hr = shellLink->Resolve(nullptr, SLR_ANY_MATCH);
  if (FAILED(hr)) return hr;
  char buffer[MAX_PATH + 1];
  auto text = [&](std::string& field) {
    field = buffer;
  };
  buffer[0] = 0;
  hr = shellLink->GetPath(buffer, sizeof(buffer), &link.FindData, 0);
  if (FAILED(hr)) return hr;
  text(link.Path);
  buffer[0] = 0;
  hr = shellLink->GetArguments(buffer, sizeof(buffer));
  if (FAILED(hr)) return hr;
  text(link.Arguments);
  buffer[0] = 0;
  hr = shellLink->GetDescription(buffer, sizeof(buffer));
  if (FAILED(hr)) return hr;
  text(link.Description);
  buffer[0] = 0;
  hr = shellLink->GetIconLocation(buffer, sizeof(buffer), &link.IconIndex);
  if (FAILED(hr)) return hr;
  text(link.IconLocation);
  buffer[0] = 0;
  hr = shellLink->GetWorkingDirectory(buffer, sizeof(buffer));
  if (FAILED(hr)) return hr;
  text(link.WorkingDirectory);
  hr = shellLink->GetShowCmd(&link.ShowCmd);
  if (FAILED(hr)) return hr;
  WORD hotKey = 0;
  hr = shellLink->GetHotkey(&hotKey);
  if (FAILED(hr)) return hr;
  link.HotKey = hotKey;
  if (wantIdList)
    hr = shellLink->GetIDList(&link.IdList);
  else
    link.IdList = nullptr;
  return hr;
}

// ---------------------------------------------------------------------------

TPTIdListArray::~TPTIdListArray() { SetCache(nullptr); }

void TPTIdListArray::SetCache(LPITEMIDLIST p) {
  ShellFree(cache_);
  cache_ = p;
}

void TPTIdListArray::RangeError(int index) const {
  throw Exception(Format("TPTIdListArray - index %d out of range", {index}));
}

int TPTIdListArray::Count() const { return shell::PidlItemCount(Bytes(pidl_)); }

LPCITEMIDLIST TPTIdListArray::Items(int index) {
  const int count = Count();
  // On the empty list only item 0, the empty list itself, exists.
  if (index < 0 || (count > 0 && index >= count) || (count == 0 && index != 0)) RangeError(index);
  if (count == 0) {
    SetCache(EmptyPidl());
    return cache_;
  }
  shell::CPidl item = shell::PidlItem(Bytes(pidl_), index);
  TMallocPidlAllocator a;
  shell::Pidl one = shell::CopyPidlFirst(&a, item, 1);
  SetCache(AsPidl(one));
  return cache_;
}

LPCITEMIDLIST TPTIdListArray::Parent(int n) {
  if (n < 0) RangeError(n);
  const int count = Count();
  if (!pidl_ || n > count) {
    SetCache(nullptr);
    return nullptr;
  }
  TMallocPidlAllocator a;
  SetCache(AsPidl(shell::CopyPidlFirst(&a, Bytes(pidl_), count - n)));
  return cache_;
}

// ---------------------------------------------------------------------------

void LoadShortCutTable() { shell::LoadShortCutTable([](uint32_t id) { return LoadShellString(id); }); }

TMemoryStream* ShellColumnWidths() {
  if (!g_widths) g_widths = new TMemoryStream;
  return g_widths;
}

uint8_t* ShellDirectoryCols() { return g_directoryCols; }

uint32_t& ShellDirectoryColsLength() { return g_directoryColsLength; }

void ShellUnitsStart() {
  if (g_started) return;
  g_started = true;
  ShellPlatform = {};
  IsWinNT();
  ShellMalloc();
  ReadComCtlVersion();
  g_comStarted = SUCCEEDED(CoInitialize(nullptr));
  g_shell32 = LoadLibraryA("shell32.dll");
  shell95::SHGetDataFromIDListA =
      g_shell32 ? reinterpret_cast<shell95::TSHGetDataFromIDListA>(
                      reinterpret_cast<void*>(GetProcAddress(g_shell32, "SHGetDataFromIDListA")))
                : nullptr;
  CF_IDLIST = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CFSTR_SHELLIDLIST));
  ShellColumnWidths();
  std::memset(g_directoryCols, 0, sizeof(g_directoryCols));
  g_directoryColsLength = 0;
  g_oleStarted = SUCCEEDED(OleInitialize(nullptr));
}

void ShellUnitsEnd() {
  if (!g_started) return;
  g_started = false;
  delete g_widths;
  g_widths = nullptr;
  if (g_malloc) {
    g_malloc->Release();
    g_malloc = nullptr;
  }
  if (g_oleStarted) OleUninitialize();
  g_oleStarted = false;
  shell95::SHGetDataFromIDListA = nullptr;
  if (g_shell32) FreeLibrary(g_shell32);
  g_shell32 = nullptr;
  if (g_comStarted) CoUninitialize();
  g_comStarted = false;
}

namespace {

// The controls' unit start: part of every program that uses a shell control,
// since each of them needs this file.  Its globals above are constant
// initialised, so they are ready whatever the order of the program's units.
struct TShellUnitsLife {
  TShellUnitsLife() { ShellUnitsStart(); }
  ~TShellUnitsLife() { ShellUnitsEnd(); }
} g_shellUnits;

}  // namespace
