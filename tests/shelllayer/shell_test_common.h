// Shared pieces of the shell suites under Wine.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_support.h"
#include "win/comobj.h"
#include "win/shelldata.h"
#include "win/shellutils.h"

namespace shelltest {

struct TPidlFree {
  void operator()(ITEMIDLIST* p) const { ShellFree(p); }
};
typedef std::unique_ptr<ITEMIDLIST, TPidlFree> TPidl;

// A subfolder of the suite's scratch folder, made when missing.
inline std::string Scratch(const std::string& sub) {
  std::string dir = testsupport::Join(testsupport::ScratchDir(), sub);
  testsupport::MakeDirs(dir);
  return dir;
}

// The absolute ID list of a path (a failure is the caller's failure).
inline TPidl Parse(const std::string& path) {
  LPITEMIDLIST p = nullptr;
  HRESULT hr = PathToPidl(path, &p);
  EXPECT_EQ(S_OK, hr) << path;
  return TPidl(p);
}

// The send-to folder, made when the prefix has none yet.
inline std::string SendToFolder() {
  std::string dir = SpecialFolderPath(nullptr, CSIDL_SENDTO);
  if (dir.empty()) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_SENDTO | CSIDL_FLAG_CREATE, nullptr, 0, path);
    dir = SpecialFolderPath(nullptr, CSIDL_SENDTO);
  }
  return dir;
}

// A minimal owner list for item data: one real folder.
class TFolderOwner : public TPTShListOwner {
 public:
  explicit TFolderOwner(const std::string& path);
  IShellFolder* ShellFolder() override { return folder_.Get(); }
  LPCITEMIDLIST FolderPidl() override { return pidl_.get(); }
  IMalloc* ShellAllocator() override { return ShellMalloc(); }
  IShellFolder* Folder() { return folder_.Get(); }
  // The relative list of a name in the folder (ShellFree), or null.
  LPITEMIDLIST Child(const std::string& name);

 private:
  TPidl pidl_;
  TComPtr<IShellFolder> folder_;
};

// A link made with the platform's IShellLinkA.
inline HRESULT MakeLink(const std::string& lnk, const std::string& target, const std::string& args,
                        const std::string& description, const std::string& icon, int iconIndex,
                        const std::string& workDir, int showCmd, WORD hotKey) {
  TComPtr<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid());
  if (FAILED(hr)) return hr;
  link->SetPath(target.c_str());
  if (!args.empty()) link->SetArguments(args.c_str());
  if (!description.empty()) link->SetDescription(description.c_str());
  if (!icon.empty()) link->SetIconLocation(icon.c_str(), iconIndex);
  link->SetWorkingDirectory(workDir.c_str());
  link->SetShowCmd(showCmd);
  link->SetHotkey(hotKey);
  TComPtr<IPersistFile> file;
  hr = link.As(&file);
  if (FAILED(hr)) return hr;
  return file->Save(AnsiToWide(lnk).c_str(), TRUE);
}

inline void SetEvenFileTime(const std::string& path) {
  SYSTEMTIME st = {2021, 6, 2, 15, 10, 20, 30, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
}

// The local last-write time of a file as the item data shows it.
inline std::string ModifiedTextOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a);
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  char date[128] = {}, time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof(date));
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof(time));
  return std::string(date) + " " + time;
}

// A plain topmost window of size x size at (x, y), shown: a drag source or
// target of the tests' own (a static control would let the mouse through to
// what is below it, HTTRANSPARENT, so a drag would never find it).
inline HWND MakeTopmostWindow(int x, int y, int size) {
  static ATOM cls = 0;
  if (!cls) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "ShellTestWindow";
    cls = RegisterClassA(&wc);
  }
  HWND w = CreateWindowExA(WS_EX_TOPMOST, "ShellTestWindow", "", WS_POPUP | WS_VISIBLE | WS_BORDER, x, y, size, size,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(w);
  return w;
}

}  // namespace shelltest
