// Native halves of the kit routines.  There is no registry and no Windows
// folder here: reads answer with their defaults, writes fail as they would
// on a registry that refuses them, and the Windows folders cannot be found.
#include <stdlib.h>
#include <unistd.h>

#include "exceptions.h"
#include "kitroutines.h"

std::string ShortPathName(const std::string& path) {
  return FileExists(path) || DirectoryExists(path) ? path : std::string();
}

int GetWindowsVersion() { return 4; }

std::string MakeTempFileName(bool keep) {
  const char* dir = getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/batXXXXXX";
  int fd = mkstemp(&pattern[0]);
  if (fd < 0) throw EAPIRoutines("Cannot create a temporary file");
  close(fd);
  if (!keep) unlink(pattern.c_str());
  return pattern;
}

std::string GetSystemDir() {
  throw EAPIRoutines("Could not retrieve the system directroy from windows");
}

std::string GetWindowsDir() {
  throw EAPIRoutines("Could not retrieve the windows directory from windows");
}

TRootKeys RootKeyOf(uintptr_t hkey, TRootKeys defaultRoot) {
  // The predefined root handles' values on Windows.
  switch (static_cast<uint32_t>(hkey)) {
    case 0x80000000u: return hkClassesRoot;
    case 0x80000001u: return hkCurrentUser;
    case 0x80000002u: return hkLocalMachine;
    case 0x80000003u: return hkUsers;
    case 0x80000005u: return hkCurrentConfig;
    case 0x80000006u: return hkDynData;
    default: return defaultRoot;
  }
}

void WriteRegistryString(TRootKeys, const std::string& key, const std::string& name,
                         const std::string& value) {
  throw EIRCannotWriteValue(
      Format("Cannot install into registry. Key: %s Ident: %s Value %s", {key, name, value}));
}

void WriteRegistryInteger(TRootKeys, const std::string& key, const std::string&, int) {
  throw EIRCannotWriteValue(key);
}

std::string ReadRegistryString(TRootKeys, const std::string&, const std::string&,
                               const std::string& defaultValue) {
  return defaultValue;
}

int ReadRegistryInteger(TRootKeys, const std::string&, const std::string&, int defaultValue) {
  return defaultValue;
}

void DeleteRegistryKeyTree(TRootKeys, const std::string&) {}

bool AddRunOnceValue(const std::string&, const std::string&, bool) { return false; }

std::string FindObjectRepository(int ide) {
  throw Exception(Format("Unknown development environment version %d", {ide}));
}
