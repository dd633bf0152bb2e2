#include "sys.h"

#include <windows.h>

#include <io.h>

FILE* SysOpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SysOpenFileSize(FILE* file, uint64_t& size) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER li;
  if (!GetFileSizeEx(handle, &li)) return false;
  size = static_cast<uint64_t>(li.QuadPart);
  return true;
}

bool SysOpenFileStamp(FILE* file, SysFileStamp& stamp) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  // Size and last write alone: the whole file information also asks for
  // the volume's serial number, which costs Wine a round trip to its mount
  // manager for every file (twice per scanned file, seconds on a tree of
  // thousands).
  LARGE_INTEGER size;
  FILETIME written;
  if (!GetFileSizeEx(handle, &size) || !GetFileTime(handle, nullptr, nullptr, &written)) return false;
  stamp.size = static_cast<uint64_t>(size.QuadPart);
  stamp.written = static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
  return true;
}

FILE* SysCreateTempFile(const std::string& prefix, std::string& nameOut) {
  char dir[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof(dir), dir);
  if (n == 0 || n > MAX_PATH) return nullptr;
  char name[MAX_PATH + 1];
  // GetTempFileName creates the file, so the name is ours alone.
  if (GetTempFileNameA(dir, prefix.c_str(), 0, name) == 0) return nullptr;
  FILE* file = std::fopen(name, "wb");
  if (!file) {
    DeleteFileA(name);
    return nullptr;
  }
  nameOut = name;
  return file;
}

bool SysDeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool SysFileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  // Backup semantics lets the same call open directories.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != 0;
}

}  // namespace

bool SysSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!FileIdentity(a, ia) || !FileIdentity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}
