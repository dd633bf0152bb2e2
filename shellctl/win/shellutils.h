// The shell layer's Windows routines: the platform and common-controls
// version, the shell's task allocator, ID lists against the real
// namespace, display names, the system image list, numbered-insert
// formatting, shell links, and the start and end of the shell units
// (COM, OLE and the "Shell IDList Array" clipboard format).
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "idlist.h"

class TMemoryStream;

// The file version of comctl32.dll: least significant half first, then the
// most significant one; both 0 when it could not be read.
struct TComCtlVersion {
  DWORD LS;
  DWORD MS;
};
extern TComCtlVersion COMCTL32_VER;
enum : DWORD { kComCtl471 = 0x00040047 };
// The operating-system version record, filled at start.
extern OSVERSIONINFOA ShellPlatform;
// The registered "Shell IDList Array" clipboard format.
extern CLIPFORMAT CF_IDLIST;

bool IsWinNT();

// The shell's task allocator.
IMalloc* ShellMalloc();
void* ShellAlloc(size_t size);
void ShellFree(void* p);  // ignores null
// The portable list routines' allocator made from an IMalloc (null: the
// shell's task allocator).
class TMallocPidlAllocator : public shell::TPidlAllocator {
 public:
  explicit TMallocPidlAllocator(IMalloc* malloc = nullptr) : malloc_(malloc) {}
  void* Alloc(size_t size) override;
  void Free(void* p) override;

 private:
  IMalloc* malloc_;
};

inline shell::CPidl Bytes(LPCITEMIDLIST p) { return reinterpret_cast<shell::CPidl>(p); }
inline LPITEMIDLIST AsPidl(shell::Pidl p) { return reinterpret_cast<LPITEMIDLIST>(p); }

UINT PidlSize(LPCITEMIDLIST pidl);
// Copies made with 'alloc' (null: the shell's task allocator); absent when
// the allocation fails.
LPITEMIDLIST CopyPidl(IMalloc* alloc, LPCITEMIDLIST pidl);
LPITEMIDLIST ConcatPidls(IMalloc* alloc, LPCITEMIDLIST first, LPCITEMIDLIST second);
// The empty list (the desktop), made with the shell's allocator.
LPITEMIDLIST EmptyPidl();

// 0 when both are absent or empty, -1 when exactly one is, otherwise the
// desktop's comparison (negative, 0, positive); 0x7FFFFFFF when that fails.
int ComparePidls(LPCITEMIDLIST a, LPCITEMIDLIST b);
HRESULT DesktopFolder(IShellFolder** out);
HRESULT PidlToFolder(LPCITEMIDLIST pidl, IShellFolder** folder);
// Fails with ERROR_FILENAME_EXCED_RANGE for a path over 260 characters
// rather than parsing a cut-short path, which may name another folder.
HRESULT PathToPidl(const std::string& path, LPITEMIDLIST* pidl);
std::string PidlToPath(LPCITEMIDLIST pidl);
HRESULT SpecialFolderPidl(HWND owner, int csidl, LPITEMIDLIST* pidl);
std::string SpecialFolderPath(HWND owner, int csidl);
// kind 0 normal, 1 in folder, 2 for parsing.  With no folder the desktop's
// name of the whole list.
std::string GetDisplayName(IShellFolder* folder, LPCITEMIDLIST pidl, int kind);
std::string StrRetToString(LPCITEMIDLIST pidl, STRRET* strret);
int SysImageIndex(LPCITEMIDLIST pidl, UINT flags);
HIMAGELIST SystemImageList(bool large);

// Fills "%1".."%n" from 'inserts' (highIndex + 1 of them) through the
// platform's message formatter.  A format naming an insert that was not
// given gets empty text there.
std::string FormatStrPos(const std::string& format, const std::string* inserts, int highIndex);
std::string FormatStrPos(const std::string& format, const std::vector<std::string>& inserts);

struct TLinkData {
  std::string Path;
  std::string Reserved;  // not read
  std::string Description;
  std::string Arguments;
  std::string IconLocation;
  int IconIndex = 0;
  std::string WorkingDirectory;
  int ShowCmd = 0;
  int HotKey = 0;
  LPITEMIDLIST IdList = nullptr;  // the caller's, freed with ShellFree
  WIN32_FIND_DATAA FindData = {};
};
HRESULT ReadShellLink(const std::string& fileName, TLinkData& link, bool wantIdList);

// One ID list seen as an array of items.  Results belong to the object and
// live until its next call.
class TPTIdListArray {
 public:
  explicit TPTIdListArray(LPCITEMIDLIST pidl) : pidl_(pidl) {}
  ~TPTIdListArray();
  TPTIdListArray(const TPTIdListArray&) = delete;
  TPTIdListArray& operator=(const TPTIdListArray&) = delete;
  int Count() const;
  // A one-item list; item 0 of the empty list is the empty list.
  LPCITEMIDLIST Items(int index);
  // The first Count - n items; absent when n exceeds Count.
  LPCITEMIDLIST Parent(int n);

 private:
  void SetCache(LPITEMIDLIST p);
  [[noreturn]] void RangeError(int index) const;
  LPCITEMIDLIST pidl_;
  LPITEMIDLIST cache_ = nullptr;
};

namespace shell95 {
typedef HRESULT(WINAPI* TSHGetDataFromIDListA)(IShellFolder*, LPCITEMIDLIST, int, void*, int);
// Bound by name at start; null when shell32 lacks it.
extern TSHGetDataFromIDListA SHGetDataFromIDListA;
}  // namespace shell95

// Fills the menu shortcut table (texts 52587-52593) once.
void LoadShortCutTable();

// The shared column-width store of the shell list and its 22-byte copy of
// the "DirectoryCols" value.
TMemoryStream* ShellColumnWidths();
uint8_t* ShellDirectoryCols();
// The byte count of that copy.
uint32_t& ShellDirectoryColsLength();
enum { kDirectoryColsSize = 22 };

// Start and end of the shell units: the platform and version records, the
// task allocator, COM and shell32's optional entry, CF_IDLIST, the width
// store and OLE.  Every program that links the controls runs the start
// during its static initialisation, on the thread that runs main (its GUI
// thread), before any form exists, and the end at exit; nobody calls them.
// The end releases what the units hold before OLE and COM are ended.
void ShellUnitsStart();
void ShellUnitsEnd();
