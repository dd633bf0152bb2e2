// The data the shell tree, list and combo hang on their nodes, items and
// entries, and the routines the three share: splitting ID lists, drop
// targets of folders, the effects a drag allows, send-to, new folders,
// item details, time conversions and file-name sets.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "sysutils.h"
#include "win/comobj.h"
#include "win/shellutils.h"

class TStream;

class TPTShTreeData {
 public:
  explicit TPTShTreeData(void* owner = nullptr) : owner_(owner) {}
  virtual ~TPTShTreeData();
  TPTShTreeData(const TPTShTreeData&) = delete;
  TPTShTreeData& operator=(const TPTShTreeData&) = delete;

  void Init(TPTShTreeData* parent, IMalloc* allocator, LPCITEMIDLIST relativePidl);
  void* Owner() const { return owner_; }
  TPTShTreeData* Parent() const { return parent_; }
  LPCITEMIDLIST RelativePidl() const { return relative_; }
  LPCITEMIDLIST AbsolutePidl();
  // Bound on first use; null when the bind fails.
  IShellFolder* Folder();
  void SetRelativePidl(LPCITEMIDLIST pidl);
  void ClearCache();
  std::string Path();
  HRESULT DropTarget(HWND owner, IDropTarget** target);

 private:
  void FreeList(LPITEMIDLIST& p);
  void* owner_;
  TPTShTreeData* parent_ = nullptr;
  LPITEMIDLIST relative_ = nullptr;
  LPITEMIDLIST absolute_ = nullptr;
  TComPtr<IShellFolder> folder_;
  TComPtr<IMalloc> allocator_;
};

// What a list item needs of the list that holds it: the shell list becomes
// this later.
class TPTShListOwner {
 public:
  virtual ~TPTShListOwner();
  virtual IShellFolder* ShellFolder() = 0;
  virtual LPCITEMIDLIST FolderPidl() = 0;
  virtual IMalloc* ShellAllocator() = 0;
  // The folder's details provider, or null.
  virtual IShellDetails* ShellDetails() { return nullptr; }
};

class TPTShListData {
 public:
  explicit TPTShListData(TPTShListOwner* owner) : owner_(owner) {}
  ~TPTShListData();
  TPTShListData(const TPTShListData&) = delete;
  TPTShListData& operator=(const TPTShListData&) = delete;

  TPTShListOwner* Owner() const { return owner_; }
  LPCITEMIDLIST RelativePidl() const { return relative_; }
  void SetRelativePidl(LPCITEMIDLIST pidl);
  LPCITEMIDLIST AbsolutePidl();
  ULONG Attributes();
  bool IsFolder();
  bool IsLink();
  // Whether the item still exists.  Wine answers the shell's validate
  // query with success for deleted files, so a file-system item's path is
  // also checked.
  bool Validate();
  std::string DisplayName();
  std::string FileName();
  std::string FullPath();
  std::string ColumnText(int column);

  // The details texts (filled by LoadDetails).
  bool DetailsLoaded = false;
  std::string SizeText, TypeText, ModifiedText;

 private:
  TPTShListOwner* owner_;
  LPITEMIDLIST absolute_ = nullptr;
  LPITEMIDLIST relative_ = nullptr;
  bool nameLoaded_ = false;
  std::string displayName_;
};

class TPTShComboData {
 public:
  TPTShComboData(void* owner, IShellFolder* parentFolder, LPCITEMIDLIST parentPidl, LPCITEMIDLIST relativePidl);
  ~TPTShComboData();
  TPTShComboData(const TPTShComboData&) = delete;
  TPTShComboData& operator=(const TPTShComboData&) = delete;
  void* Owner() const { return owner_; }
  IShellFolder* ParentFolder() const { return folder_.Get(); }
  LPCITEMIDLIST ParentPidl() const { return parent_; }
  LPCITEMIDLIST RelativePidl() const { return relative_; }
  LPCITEMIDLIST AbsolutePidl() const { return absolute_; }

 private:
  void* owner_;
  TComPtr<IShellFolder> folder_;
  LPITEMIDLIST parent_ = nullptr, relative_ = nullptr, absolute_ = nullptr;
};

// The desktop (empty list) is split as the desktop directory's path.  A
// one-item list: the desktop folder, no parent, a copy of the item.  The
// caller frees both lists (ShellFree).
HRESULT SplitPidl(LPCITEMIDLIST pidl, IShellFolder** folder, LPITEMIDLIST* parentPidl, LPITEMIDLIST* childPidl);
HRESULT PidlDropTarget(HWND owner, LPCITEMIDLIST pidl, IDropTarget** target);
HRESULT PathDropTarget(HWND owner, const std::string& path, IDropTarget** target);
// The copy, move and link effects every item of the data object's "Shell
// IDList Array" allows; 0 when there is none or it is malformed.
DWORD DragEffectsOf(IDataObject* dataObject);
HRESULT SendToTarget(const std::string& targetName, IDataObject* dataObject);
// Makes "New Folder", "New Folder (2)", ... under the parent; a failure is
// shown in a message box and answers false.
bool MakeNewFolder(const std::string& parentPath, std::string& name);
// Raises an Exception with the platform's text of a failure code.
void CheckResult(HRESULT hr);
TDateTime FileTimeToDateTime(const FILETIME& fileTime);
TDateTime SystemTimeToDateTime(const SYSTEMTIME& systemTime);
std::string SizeText(uint64_t bytes);
void LoadDetails(TPTShListData* data);
// Forgets the type names LoadDetails keeps by extension (a list does so at
// each fill, so a file type registered meanwhile shows at the next one).
void ForgetTypeNames();

typedef std::set<std::string> TNameSet;
void SplitMasks(const std::string& text, std::vector<std::string>& list);
void CollectFileNames(TNameSet& set, const std::string& pattern);
bool InNameSet(const TNameSet& set, const std::string& name);
// The list view's column count, then each width, as 32-bit values.
void WriteColumnWidths(TStream* stream, HWND listView);
