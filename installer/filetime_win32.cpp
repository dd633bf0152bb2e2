#include <windows.h>

#include "filetime.h"

namespace {

const int64_t kTicksPerMs = 10000;
// Milliseconds from 1601-01-01, where file times count from, to 1899-12-30.
const int64_t kEpochMs = 109205LL * 86400000LL;

TDateTime FromFileTime(const FILETIME& local) {
  const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime);
  return MillisecondsToDateTime(ticks / kTicksPerMs - kEpochMs);
}

}  // namespace

bool FileDateTime(const std::string& path, TDateTime& date) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local))
    return false;
  date = FromFileTime(local);
  return true;
}

bool SetFileDateTime(const std::string& path, TDateTime date) {
  if (!UsableFileDateTime(date)) return false;
  const uint64_t ticks = static_cast<uint64_t>((DateTimeToMilliseconds(date) + kEpochMs) * kTicksPerMs);
  FILETIME local{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, utc;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, nullptr, &utc) != FALSE;
  CloseHandle(h);
  return ok;
}
