// The file system, clock and command line on a POSIX system (the native
// build, where the portable code is tested).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utime.h>

#include <cstring>
#include <ctime>
#include <fstream>

#include "sysutils.h"

const char PathDelim = '/';

namespace {
bool StatOf(const std::string& name, struct stat& st) { return !name.empty() && ::stat(name.c_str(), &st) == 0; }
}  // namespace

bool FileExists(const std::string& name) {
  struct stat st;
  return StatOf(name, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& name) {
  struct stat st;
  return StatOf(name, st) && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& name) { return ::mkdir(name.c_str(), 0777) == 0; }
bool RemoveDir(const std::string& name) { return ::rmdir(name.c_str()) == 0; }
bool DeleteFile(const std::string& name) { return !DirectoryExists(name) && ::unlink(name.c_str()) == 0; }

bool RenameFile(const std::string& oldName, const std::string& newName) {
  // Like the Windows call, renaming never replaces an existing file.
  if (::access(newName.c_str(), F_OK) == 0) return false;
  return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

std::string GetCurrentDir() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool SetCurrentDir(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

int64_t FileSizeOf(const std::string& name) {
  struct stat st;
  if (!StatOf(name, st) || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

namespace {
int DosFromTime(time_t t) {
  struct tm lt;
  if (!localtime_r(&t, &lt)) return -1;
  if (lt.tm_year < 80 || lt.tm_year > 207) return -1;
  unsigned date = ((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday;
  unsigned tod = (lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2);
  return static_cast<int>((date << 16) | tod);
}
}  // namespace

int FileAge(const std::string& name) {
  struct stat st;
  if (!StatOf(name, st) || S_ISDIR(st.st_mode)) return -1;
  return DosFromTime(st.st_mtime);
}

bool FileSetDate(const std::string& name, int dosDateTime) {
  unsigned v = static_cast<unsigned>(dosDateTime);
  struct tm lt {};
  lt.tm_year = static_cast<int>((v >> 25) + 80);
  lt.tm_mon = static_cast<int>(((v >> 21) & 15)) - 1;
  lt.tm_mday = static_cast<int>((v >> 16) & 31);
  lt.tm_hour = static_cast<int>((v >> 11) & 31);
  lt.tm_min = static_cast<int>((v >> 5) & 63);
  lt.tm_sec = static_cast<int>((v & 31) * 2);
  lt.tm_isdst = -1;
  time_t t = mktime(&lt);
  if (t == static_cast<time_t>(-1)) return false;
  struct utimbuf ub {t, t};
  return ::utime(name.c_str(), &ub) == 0;
}

std::string ExpandFileName(const std::string& name) {
  if (name.empty()) return GetCurrentDir();
  std::string full = name[0] == '/' ? name : GetCurrentDir() + "/" + name;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty())
    out = "/";
  else if (name.back() == '/')
    out += "/";
  return out;
}

THandle FileOpen(const std::string& name, unsigned mode) {
  int flags;
  switch (mode & 3) {
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
  }
  if (DirectoryExists(name)) return INVALID_FILE_HANDLE;
  int fd = ::open(name.c_str(), flags | O_CLOEXEC);
  return fd < 0 ? INVALID_FILE_HANDLE : fd;
}

THandle FileCreate(const std::string& name, unsigned) {
  int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? INVALID_FILE_HANDLE : fd;
}

int FileRead(THandle handle, void* buffer, int count) {
  if (count <= 0) return count == 0 ? 0 : -1;
  int done = 0;
  while (done < count) {
    ssize_t n = ::read(static_cast<int>(handle), static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? done : -1;
    if (n == 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

int FileWrite(THandle handle, const void* buffer, int count) {
  if (count <= 0) return count == 0 ? 0 : -1;
  int done = 0;
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(handle), static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += static_cast<int>(n);
  }
  return done;
}

int64_t FileSeek(THandle handle, int64_t offset, int origin) {
  int whence = origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool FileTruncate(THandle handle) {
  off_t pos = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  return pos >= 0 && ::ftruncate(static_cast<int>(handle), pos) == 0;
}

void FileClose(THandle handle) {
  if (handle != INVALID_FILE_HANDLE) ::close(static_cast<int>(handle));
}

int GetLastOSError() { return errno; }

std::string SysErrorMessage(int code) { return std::strerror(code); }

TDateTime Now() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  time_t t = tv.tv_sec;
  struct tm lt;
  localtime_r(&t, &lt);
  return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
         EncodeTime(lt.tm_hour, lt.tm_min, lt.tm_sec > 59 ? 59 : lt.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

TDateTime Date() {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  return EncodeDate(y, m, d);
}

TDateTime Time() {
  TDateTime n = Now();
  int64_t days = static_cast<int64_t>(n);
  return n - static_cast<double>(days);
}

namespace {
const std::vector<std::string>& Arguments() {
  static const std::vector<std::string> args = [] {
    std::vector<std::string> a;
    std::ifstream f("/proc/self/cmdline", std::ios::binary);
    std::string item;
    while (std::getline(f, item, '\0')) a.push_back(item);
    return a;
  }();
  return args;
}
}  // namespace

std::string ParamStr(int index) {
  if (index == 0) {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, n) : std::string();
  }
  const auto& a = Arguments();
  return index > 0 && static_cast<size_t>(index) < a.size() ? a[index] : std::string();
}

int ParamCount() {
  const auto& a = Arguments();
  return a.empty() ? 0 : static_cast<int>(a.size()) - 1;
}
