#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "dirsys.h"

extern char** environ;

bool SysListDirectory(const std::string& path, std::vector<SysDirEntry>& entries) {
  entries.clear();
  DIR* dir = opendir(path.empty() ? "." : path.c_str());
  if (!dir) return false;
  while (dirent* d = readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    SysDirEntry e;
    e.name = name;
    e.hidden = name[0] == '.';
    // The listing tells plain files and directories apart on most file
    // systems; only links and entries of unknown kind are looked at.
    if (d->d_type == DT_REG || d->d_type == DT_DIR) {
      e.isDirectory = d->d_type == DT_DIR;
      entries.push_back(e);
      continue;
    }
    struct stat st;
    // A link to a directory is followed like the directory itself; a broken
    // link is listed as a file so that opening it reports the problem.
    bool known = fstatat(dirfd(dir), name.c_str(), &st, 0) == 0;
    e.isDirectory = known && S_ISDIR(st.st_mode);
    // Pipes, sockets and devices are no files to patch, and opening a pipe
    // would block the scan until some writer appears.
    if (known && !e.isDirectory && !S_ISREG(st.st_mode)) continue;
    entries.push_back(e);
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const SysDirEntry& a, const SysDirEntry& b) { return a.name < b.name; });
  return true;
}

bool SysIsDirectory(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  closedir(dir);
  return true;
}

bool SysDirectoryIdentity(const std::string& path, SysDirectoryId& id) {
  struct stat st;
  if (stat(path.empty() ? "." : path.c_str(), &st) != 0) return false;
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

// Names are bytes here and reach the patch as they are.
bool SysArgumentOutsideCodePage(std::string&) { return false; }

bool SysFileModifiedLocal(FILE* file, SysLocalTime& out) {
  struct stat st;
  if (!file || fstat(fileno(file), &st) != 0) return false;
  time_t t = st.st_mtime;
  struct tm lt;
  if (!localtime_r(&t, &lt)) return false;
  out.year = lt.tm_year + 1900;
  out.month = lt.tm_mon + 1;
  out.day = lt.tm_mday;
  out.hour = lt.tm_hour;
  out.minute = lt.tm_min;
  out.second = lt.tm_sec;
  return true;
}

SysLocalTime SysNowLocal() {
  time_t t = time(nullptr);
  struct tm lt;
  SysLocalTime out;
  if (!localtime_r(&t, &lt)) return out;
  out.year = lt.tm_year + 1900;
  out.month = lt.tm_mon + 1;
  out.day = lt.tm_mday;
  out.hour = lt.tm_hour;
  out.minute = lt.tm_min;
  out.second = lt.tm_sec;
  return out;
}

std::string SysFullPath(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) {
      std::string base = cwd;
      if (base.back() != '/') base += '/';
      full = base + full;
    }
  }
  // Fold "." and ".." lexically: the file need not exist.
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
  std::string result;
  for (const auto& p : parts) result += "/" + p;
  return result.empty() ? "/" : result;
}

char SysPathListSeparator() { return ':'; }
char SysPathSeparator() { return '/'; }

bool SysRunAndWait(const std::string& commandLine, bool hide, unsigned long* exitCode) {
  std::vector<std::string> args = SysSplitCommandLine(commandLine);
  if (args.empty()) return false;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The archiver must never sit waiting for keyboard input; hidden output
  // goes nowhere, like a hidden console window.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (hide) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  if (exitCode)
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
  return true;
}
