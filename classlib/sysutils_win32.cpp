// The file system, clock and command line over Win32.
#include <windows.h>

#include "sysutils.h"

const char PathDelim = '\\';

namespace {
DWORD AttributesOf(const std::string& name) {
  if (name.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(name.c_str());
}
}  // namespace

bool FileExists(const std::string& name) {
  DWORD a = AttributesOf(name);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& name) {
  DWORD a = AttributesOf(name);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDir(const std::string& name) { return CreateDirectoryA(name.c_str(), nullptr) != 0; }
bool RemoveDir(const std::string& name) { return RemoveDirectoryA(name.c_str()) != 0; }
bool DeleteFile(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }
bool RenameFile(const std::string& oldName, const std::string& newName) {
  return MoveFileA(oldName.c_str(), newName.c_str()) != 0;
}

std::string GetCurrentDir() {
  char buf[MAX_PATH * 4];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool SetCurrentDir(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()) != 0; }

int64_t FileSizeOf(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int FileAge(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  FILETIME local;
  WORD date, time;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int>((static_cast<unsigned>(date) << 16) | time);
}

bool FileSetDate(const std::string& name, int dosDateTime) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  unsigned v = static_cast<unsigned>(dosDateTime);
  FILETIME local, utc;
  bool ok = DosDateTimeToFileTime(static_cast<WORD>(v >> 16), static_cast<WORD>(v & 0xFFFF), &local) &&
            LocalFileTimeToFileTime(&local, &utc) && SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
  return ok;
}

std::string ExpandFileName(const std::string& name) {
  if (name.empty()) return GetCurrentDir();
  char buf[MAX_PATH * 4];
  char* filePart = nullptr;
  DWORD n = GetFullPathNameA(name.c_str(), sizeof buf, buf, &filePart);
  if (n == 0 || n >= sizeof buf) return name;
  return std::string(buf, n);
}

THandle FileOpen(const std::string& name, unsigned mode) {
  static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  unsigned a = mode & 3, s = (mode & 0xF0) >> 4;
  if (a > 2 || s > 4) return INVALID_FILE_HANDLE;
  HANDLE h = CreateFileA(name.c_str(), access[a], share[s], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<THandle>(h);
}

THandle FileCreate(const std::string& name, unsigned shareMode) {
  static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  unsigned s = (shareMode & 0xF0) >> 4;
  if (s > 4) return INVALID_FILE_HANDLE;
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, share[s], nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<THandle>(h);
}

int FileRead(THandle handle, void* buffer, int count) {
  if (count < 0) return -1;
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer, static_cast<DWORD>(count), &n, nullptr)) {
    // A pipe whose writer has gone is at its end, not broken.
    DWORD err = GetLastError();
    return err == ERROR_BROKEN_PIPE || err == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return static_cast<int>(n);
}

int FileWrite(THandle handle, const void* buffer, int count) {
  if (count < 0) return -1;
  DWORD n = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(handle), buffer, static_cast<DWORD>(count), &n, nullptr)) return -1;
  return static_cast<int>(n);
}

int64_t FileSeek(THandle handle, int64_t offset, int origin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = offset;
  DWORD method = origin == soCurrent ? FILE_CURRENT : origin == soEnd ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle), dist, &pos, method)) return -1;
  return pos.QuadPart;
}

bool FileTruncate(THandle handle) { return SetEndOfFile(reinterpret_cast<HANDLE>(handle)) != 0; }

void FileClose(THandle handle) {
  if (handle != INVALID_FILE_HANDLE) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

int GetLastOSError() { return static_cast<int>(GetLastError()); }

std::string SysErrorMessage(int code) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

TDateTime Date() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

TDateTime Time() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

std::string ParamStr(int index) {
  if (index == 0) {
    char buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n < sizeof buf ? n : 0);
  }
  std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
  return index > 0 && static_cast<size_t>(index) < args.size() ? args[index] : std::string();
}

int ParamCount() {
  std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
  return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}
