#include <windows.h>
#include <io.h>

#include <algorithm>
#include <ctime>

#include "dirsys.h"

bool SysListDirectory(const std::string& path, std::vector<SysDirEntry>& entries) {
  entries.clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/' && pattern.back() != ':') pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    // An empty directory still lists "." and ".."; only a missing or
    // unreadable one fails here (an empty drive root reports no files).
    return GetLastError() == ERROR_FILE_NOT_FOUND && SysIsDirectory(path);
  }
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    SysDirEntry e;
    e.name = name;
    e.isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entries.push_back(e);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(entries.begin(), entries.end(),
            [](const SysDirEntry& a, const SysDirEntry& b) { return a.name < b.name; });
  return true;
}

bool SysIsDirectory(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

bool SysRunAndWait(const std::string& commandLine, bool hide) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = hide ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::vector<char> buf(commandLine.begin(), commandLine.end());
  buf.push_back('\0');
  if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return true;
}
