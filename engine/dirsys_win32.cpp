#include <windows.h>
#include <io.h>

#include <algorithm>
#include <ctime>

#include "dirsys.h"

namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// The name in the ANSI code page; false when a character has no exact
// counterpart there. A best-fit stand-in ("e" for an accented letter the page
// lacks) would name another file, so it counts as lost too.
bool Narrow(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  BOOL lost = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, &lost);
  if (n <= 0) return false;
  out.assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      &lost);
  return !lost && Widen(out) == text;
}

}  // namespace

// Listed through the wide calls: the ANSI ones turn a name the code page
// cannot hold into "?"s silently, and the scan would then fail to open a
// file that exists.
bool SysListDirectory(const std::string& path, std::vector<SysDirEntry>& entries) {
  entries.clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/' && pattern.back() != ':') pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(Widen(pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    // An empty directory still lists "." and ".."; only a missing or
    // unreadable one fails here (an empty drive root reports no files).
    return GetLastError() == ERROR_FILE_NOT_FOUND && SysIsDirectory(path);
  }
  do {
    std::wstring wide = fd.cFileName;
    if (wide == L"." || wide == L"..") continue;
    SysDirEntry e;
    e.outsideCodePage = !Narrow(wide, e.name);
    if (e.outsideCodePage) {
      // Shown to the user only: the code page's default characters.
      int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
      e.name.assign(static_cast<size_t>(n > 0 ? n : 0), '?');
      if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &e.name[0], n, nullptr, nullptr);
    }
    e.isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entries.push_back(e);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(entries.begin(), entries.end(),
            [](const SysDirEntry& a, const SysDirEntry& b) { return a.name < b.name; });
  return true;
}

bool SysIsDirectory(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SysDirectoryIdentity(const std::string& path, SysDirectoryId& id) {
  // Backup semantics lets CreateFile open a directory.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return false;
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool SysArgumentOutsideCodePage(std::string& received) {
  const wchar_t* line = GetCommandLineW();
  if (!line) return false;
  const std::vector<std::wstring> args = SysSplitCommandLineWide(line);
  // The program's own name is not among the names the run opens.
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    std::string narrow;
    if (Narrow(arg, narrow)) continue;
    int n = WideCharToMultiByte(CP_ACP, 0, arg.data(), static_cast<int>(arg.size()), nullptr, 0, nullptr, nullptr);
    received.assign(static_cast<size_t>(n > 0 ? n : 0), '?');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, arg.data(), static_cast<int>(arg.size()), &received[0], n, nullptr, nullptr);
    return true;
  }
  return false;
}

bool SysFileModifiedLocal(FILE* file, SysLocalTime& out) {
  if (!file) return false;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME written, local;
  SYSTEMTIME st;
  if (!GetFileTime(h, nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToSystemTime(&local, &st))
    return false;
  out.year = st.wYear;
  out.month = st.wMonth;
  out.day = st.wDay;
  out.hour = st.wHour;
  out.minute = st.wMinute;
  out.second = st.wSecond;
  return true;
}

SysLocalTime SysNowLocal() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  SysLocalTime out;
  out.year = st.wYear;
  out.month = st.wMonth;
  out.day = st.wDay;
  out.hour = st.wHour;
  out.minute = st.wMinute;
  out.second = st.wSecond;
  return out;
}

std::string SysFullPath(const std::string& path) {
  char buf[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return path;
  return std::string(buf, n);
}

char SysPathListSeparator() { return ';'; }
char SysPathSeparator() { return '\\'; }

bool SysRunAndWait(const std::string& commandLine, bool hide, unsigned long* exitCode) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = hide ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::vector<char> buf(commandLine.begin(), commandLine.end());
  buf.push_back('\0');
  if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  if (exitCode) *exitCode = GetExitCodeProcess(pi.hProcess, &code) ? code : 1;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return true;
}
