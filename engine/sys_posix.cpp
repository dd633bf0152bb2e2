#include "sys.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

FILE* SysOpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SysOpenFileSize(FILE* file, uint64_t& size) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool SysOpenFileStamp(FILE* file, SysFileStamp& stamp) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return false;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.written = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

FILE* SysCreateTempFile(const std::string& prefix, std::string& nameOut) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp");
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix + "XXXXXX";
  std::string buffer = pattern;
  int fd = mkstemp(&buffer[0]);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(buffer.c_str());
    return nullptr;
  }
  nameOut = buffer;
  return file;
}

bool SysDeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool SysFileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool SysSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
