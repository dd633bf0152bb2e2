// File services of the patch writer: sizes beyond 32 bits, temporary files,
// deleting and recognising one file under two names. One half per platform
// (sys_win32.cpp, sys_posix.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Opens a file by its name in the platform's (ANSI) encoding.
FILE* SysOpenFile(const std::string& path, const char* mode);

// Size of an open file; false when it cannot be determined.
bool SysOpenFileSize(FILE* file, uint64_t& size);

// Size and last write of an open file, the time as finely as the file system
// keeps it: two stamps differ when the file was written in between.
struct SysFileStamp {
  uint64_t size = 0;
  int64_t written = 0;  // platform units, only compared
  bool operator==(const SysFileStamp& o) const { return size == o.size && written == o.written; }
  bool operator!=(const SysFileStamp& o) const { return !(*this == o); }
};
bool SysOpenFileStamp(FILE* file, SysFileStamp& stamp);

// Creates a new, empty file with a unique name beginning with prefix in the
// system's temporary directory and opens it for binary writing.
FILE* SysCreateTempFile(const std::string& prefix, std::string& nameOut);

bool SysDeleteFile(const std::string& path);

bool SysFileExists(const std::string& path);

// True when both names lead to the same existing file (or directory), even
// through links or different spellings of one path.
bool SysSameFile(const std::string& a, const std::string& b);
