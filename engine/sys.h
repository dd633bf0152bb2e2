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

// Creates a new, empty file with a unique name beginning with prefix in the
// system's temporary directory and opens it for binary writing.
FILE* SysCreateTempFile(const std::string& prefix, std::string& nameOut);

bool SysDeleteFile(const std::string& path);

bool SysFileExists(const std::string& path);

// True when both names lead to the same existing file (or directory), even
// through links or different spellings of one path.
bool SysSameFile(const std::string& a, const std::string& b);
