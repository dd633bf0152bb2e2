// The few operating-system services the scanner, the matcher and the packer
// driver need: directory listings, file times, path handling and starting a
// program.  One half per platform (dirsys_win32.cpp, dirsys_posix.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct SysDirEntry {
  std::string name;
  bool isDirectory = false;
  bool hidden = false;  // hidden attribute; on POSIX a name beginning with "."
  // Windows: the name has characters the ANSI code page lacks; name then
  // holds the code page's stand-ins ("?"), which open nothing.
  bool outsideCodePage = false;
};

// Lists a directory without "." and "..", sorted by name so that the order
// (and with it the patch file) does not depend on the file system.  False
// when the path cannot be opened as a directory.
bool SysListDirectory(const std::string& path, std::vector<SysDirEntry>& entries);

bool SysIsDirectory(const std::string& path);

// What makes a directory one and the same however it is reached (device and
// inode, or volume and file index), to see a link lead back into a
// directory already entered.
struct SysDirectoryId {
  uint64_t volume = 0, index = 0;
  bool operator==(const SysDirectoryId& o) const { return volume == o.volume && index == o.index; }
};
bool SysDirectoryIdentity(const std::string& path, SysDirectoryId& id);

// Windows: the first argument (after the program's name) of the process's
// command line that the ANSI code page cannot hold, as the program received
// it (with "?" in place of the lost characters); false when there is none
// (always elsewhere).
bool SysArgumentOutsideCodePage(std::string& received);

struct SysLocalTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Last modification time of an open file as local time.
bool SysFileModifiedLocal(FILE* file, SysLocalTime& out);

// The current time as local time.
SysLocalTime SysNowLocal();

// The path made absolute (relative to the current directory), without
// requiring that it exists.
std::string SysFullPath(const std::string& path);

// Separator between the parts of the PATH environment variable.
char SysPathListSeparator();

// The platform's own separator of full paths.
char SysPathSeparator();

// Starts a command line (program and arguments, quoted in the usual Windows
// way) and waits for it without time-out; the console window stays hidden
// when hide is set.  False when the program could not be started.
// exitCode, when given, receives the program's exit code (or 128 + the
// signal that ended it).
bool SysRunAndWait(const std::string& commandLine, bool hide, unsigned long* exitCode = nullptr);

// Splits a command line into arguments by the Windows runtime rules: blanks
// separate, double quotes group, backslashes are literal except before a quote.
std::vector<std::string> SysSplitCommandLine(const std::string& commandLine);
std::vector<std::wstring> SysSplitCommandLineWide(const std::wstring& commandLine);
