#include <windows.h>

#include "filetime.h"
#include "versionres_sys.h"

bool LoadVersionData(const std::string& fileName, std::vector<unsigned char>& data) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) return false;
  data.assign(size, 0);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, data.data())) {
    data.clear();
    return false;
  }
  return true;
}

bool QueryFixedVersion(std::vector<unsigned char>& data, TFixedVersionFields& fields) {
  void* block = nullptr;
  UINT length = 0;
  if (data.empty() || !VerQueryValueA(data.data(), "\\", &block, &length) || block == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  fields.FileVersionMS = info->dwFileVersionMS;
  fields.FileVersionLS = info->dwFileVersionLS;
  fields.ProductVersionMS = info->dwProductVersionMS;
  fields.ProductVersionLS = info->dwProductVersionLS;
  fields.FileOS = info->dwFileOS;
  fields.FileType = info->dwFileType;
  fields.FileSubtype = info->dwFileSubtype;
  return true;
}

bool QueryVersionString(std::vector<unsigned char>& data, const std::string& path,
                        std::string& value) {
  void* block = nullptr;
  UINT length = 0;
  if (data.empty() || !VerQueryValueA(data.data(), path.c_str(), &block, &length) ||
      block == nullptr)
    return false;
  // The length counts characters including the terminator, but not every
  // resource compiler stores one: stop at the first zero within it.
  const char* text = static_cast<const char*>(block);
  size_t n = 0;
  while (n < length && text[n] != '\0') ++n;
  value.assign(text, n);
  return true;
}

bool QueryVersionTranslations(std::vector<unsigned char>& data, std::vector<uint32_t>& pairs) {
  pairs.clear();
  void* block = nullptr;
  UINT length = 0;
  if (data.empty() || !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &block, &length) || !block)
    return false;
  const WORD* words = static_cast<const WORD*>(block);
  for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
    pairs.push_back(static_cast<uint32_t>(words[i]) << 16 | words[i + 1]);
  return !pairs.empty();
}

bool OpenedFileDate(const std::string& fileName, TDateTime& date) {
  HANDLE h = CreateFileA(fileName.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return FileDateTime(fileName, date);
}
