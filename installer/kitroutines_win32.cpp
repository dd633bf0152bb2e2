// Windows halves of the kit routines: system queries and the registry.
#include <windows.h>

#include "classes.h"
#include "exceptions.h"
#include "kitroutines.h"
#include "translator.h"
#include "win/inifiles.h"
#include "win/registry.h"

namespace {

HKEY RootHandle(TRootKeys root) {
  switch (root) {
    case hkClassesRoot: return HKEY_CLASSES_ROOT;
    case hkCurrentConfig: return HKEY_CURRENT_CONFIG;
    case hkCurrentUser: return HKEY_CURRENT_USER;
    case hkDynData: return HKEY_DYN_DATA;
    case hkLocalMachine: return HKEY_LOCAL_MACHINE;
    case hkUsers: return HKEY_USERS;
  }
  return HKEY_CURRENT_USER;
}

// Keys are written from the root ("\Software\..."), whatever key a
// registry object may have open.
std::string FromRoot(const std::string& key) {
  return !key.empty() && key[0] == '\\' ? key : "\\" + key;
}

void DeleteTree(TRootKeys root, const std::string& key) {
  TStringList names;
  {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(RootHandle(root));
    if (!reg.OpenKey(FromRoot(key), false)) return;
    reg.GetKeyNames(&names);
    reg.CloseKey();
  }
  for (int i = 0; i < names.Count(); ++i) DeleteTree(root, key + "\\" + names[i]);
  TRegistry reg;
  reg.SetRootKey(RootHandle(root));
  reg.DeleteKey(FromRoot(key));
}

// Development-environment versions whose object repository the build step
// registers the setup project in.
struct IdeVersion {
  const char* versionKey;
  const char* repositoryFile;
};
const char kIdeVendorKey[] = "\\Software\\Development Studio";
const IdeVersion kIdeVersions[3] = {
    {"\\1.0", "Repository1.ini"}, {"\\2.0", "Repository2.ini"}, {"\\3.0", "Repository3.ini"}};

}  // namespace

// ---- Windows helpers ----

std::string ShortPathName(const std::string& path) {
  char buffer[401];
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  if (n == 0 || n >= sizeof(buffer)) return std::string();
  return std::string(buffer, n);
}

int GetWindowsVersion() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info))
    throw EAPIRoutines("Could not get information about the current version of Windows");
#pragma GCC diagnostic pop
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s: return 0;
    case VER_PLATFORM_WIN32_WINDOWS: return 1;
    case VER_PLATFORM_WIN32_NT: {
      std::string version = IntToStr(info.dwMajorVersion) + "." + IntToStr(info.dwMinorVersion);
      return version.find("3.5") != std::string::npos ? 3 : 2;
    }
    default: return 4;
  }
}

std::string MakeTempFileName(bool keep) {
  char dir[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof(dir), dir);
  if (n == 0 || n > sizeof(dir)) throw EAPIRoutines("Cannot create a temporary file");
  char name[MAX_PATH + 1];
  if (GetTempFileNameA(dir, "bat", 0, name) == 0 || name[0] == '\0')
    throw EAPIRoutines("Cannot create a temporary file");
  if (!keep) DeleteFileA(name);
  return name;
}

std::string GetSystemDir() {
  char buffer[MAX_PATH + 1];
  UINT n = GetSystemDirectoryA(buffer, sizeof(buffer));
  if (n == 0 || n > sizeof(buffer))
    throw EAPIRoutines("Could not retrieve the system directroy from windows");
  return std::string(buffer, n);
}

std::string GetWindowsDir() {
  char buffer[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(buffer, sizeof(buffer));
  if (n == 0 || n > sizeof(buffer))
    throw EAPIRoutines("Could not retrieve the windows directory from windows");
  return std::string(buffer, n);
}

// ---- registry ----

TRootKeys RootKeyOf(uintptr_t hkey, TRootKeys defaultRoot) {
  HKEY h = reinterpret_cast<HKEY>(hkey);
  for (TRootKeys r : {hkClassesRoot, hkCurrentConfig, hkCurrentUser, hkDynData, hkLocalMachine,
                      hkUsers})
    if (RootHandle(r) == h) return r;
  return defaultRoot;
}

void WriteRegistryString(TRootKeys root, const std::string& key, const std::string& name,
                         const std::string& value) {
  TRegistry reg;
  reg.SetRootKey(RootHandle(root));
  try {
    if (!reg.OpenKey(FromRoot(key), true)) throw ERegistryException(key);
    reg.WriteString(name, value);
  } catch (const Exception&) {
    throw EIRCannotWriteValue(
        Format("Cannot install into registry. Key: %s Ident: %s Value %s", {key, name, value}));
  }
}

void WriteRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                          int value) {
  TRegistry reg;
  reg.SetRootKey(RootHandle(root));
  try {
    if (!reg.OpenKey(FromRoot(key), true)) throw ERegistryException(key);
    reg.WriteInteger(name, value);
  } catch (const Exception&) {
    throw EIRCannotWriteValue(key);
  }
}

std::string ReadRegistryString(TRootKeys root, const std::string& key, const std::string& name,
                               const std::string& defaultValue) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(RootHandle(root));
  try {
    if (!reg.OpenKey(FromRoot(key), false) || !reg.ValueExists(name)) return defaultValue;
    return reg.ReadString(name);
  } catch (const Exception&) {
    return defaultValue;
  }
}

int ReadRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                        int defaultValue) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(RootHandle(root));
  try {
    if (!reg.OpenKey(FromRoot(key), false) || !reg.ValueExists(name)) return defaultValue;
    return reg.ReadInteger(name);
  } catch (const Exception&) {
    return defaultValue;
  }
}

void DeleteRegistryKeyTree(TRootKeys root, const std::string& key) {
  try {
    DeleteTree(root, key);
  } catch (const Exception&) {
    // every failure is ignored: what could be removed is gone
  }
}

bool AddRunOnceValue(const std::string& name, const std::string& command, bool unique) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  try {
    if (!reg.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true)) return false;
    std::string valueName = name;
    for (int n = 1; unique && reg.ValueExists(valueName); ++n) valueName = name + IntToStr(n);
    reg.WriteString(valueName, command);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// ---- object repository ----

std::string FindObjectRepository(int ide) {
  if (ide < 0 || ide > 2) throw Exception(Format("Unknown development environment version %d", {ide}));
  const IdeVersion& v = kIdeVersions[ide];
  const std::string versionKey = std::string(kIdeVendorKey) + v.versionKey;
  std::string fileName;
  std::string baseDir = ReadRegistryString(hkCurrentUser, versionKey + "\\repository", "BaseDir", "");
  if (!baseDir.empty()) {
    fileName = AddBackslash(baseDir) + v.repositoryFile;
  } else {
    std::string rootDir = ReadRegistryString(hkLocalMachine, versionKey, "RootDir", "");
    if (rootDir.empty())
      throw Exception(Format(TranslateText("The RootDir entry under HKEY_LOCAL_MACHINE%s is blank"),
                             {versionKey}));
    fileName = AddBackslash(rootDir) + "Bin\\" + v.repositoryFile;
  }
  if (!FileExists(fileName))
    throw Exception(Format(TranslateText("Could not find the Object Repository file %s"), {fileName}));
  return fileName;
}

void RemoveRepositorySections(const std::string& fileName, const std::string& text) {
  TStringList sections;
  ListIniSections(fileName, &sections);
  if (sections.Count() <= 1) return;
  TIniFile ini(fileName);
  for (int i = 0; i < sections.Count(); ++i)
    if (UpperCase(sections[i]).find(text) != std::string::npos) ini.EraseSection(sections[i]);
}
