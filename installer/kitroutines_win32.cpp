// Windows halves of the kit routines: system queries and the registry.
#include <windows.h>

#include "classes.h"
#include "exceptions.h"
#include "kitroutines.h"
#include "translator.h"

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

// Keys are written from the root ("\Software\..."); the API wants them
// without the leading backslash.
std::string SubKey(const std::string& key) {
  return !key.empty() && key[0] == '\\' ? key.substr(1) : key;
}

// A registry key that is closed however the caller leaves.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  bool Open(TRootKeys root, const std::string& key, REGSAM access) {
    return RegOpenKeyExA(RootHandle(root), SubKey(key).c_str(), 0, access, &h_) == ERROR_SUCCESS;
  }
  bool Create(TRootKeys root, const std::string& key) {
    return RegCreateKeyExA(RootHandle(root), SubKey(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, &h_, nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

bool SetString(HKEY key, const std::string& name, const std::string& value) {
  return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool ValueExists(HKEY key, const std::string& name) {
  return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteTree(TRootKeys root, const std::string& key) {
  std::vector<std::string> names;
  {
    Key k;
    if (!k.Open(root, key, KEY_READ)) return;
    char name[MAX_PATH + 1];
    for (DWORD i = 0;; ++i) {
      DWORD len = sizeof(name);
      LONG rc = RegEnumKeyExA(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(name, len);
    }
  }
  for (const std::string& n : names) DeleteTree(root, key + "\\" + n);
  RegDeleteKeyA(RootHandle(root), SubKey(key).c_str());
}

// Development-environment versions whose object repository the build step
// registers the setup project in.
struct IdeVersion {
  const char* versionKey;
  const char* repositoryFile;
};
const char kIdeVendorKey[] = "\\Software\\Development Studio";
const IdeVersion kIdeVersions[3] = {
    {"\\1.0", "REPOSITORY.INI"}, {"\\2.0", "REPOSITORY.INI"}, {"\\3.0", "REPOSIT30.INI"}};

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
  Key k;
  if (!k.Create(root, key) || !SetString(k.get(), name, value))
    throw EIRCannotWriteValue(
        Format("Cannot install into registry. Key: %s Ident: %s Value %s", {key, name, value}));
}

void WriteRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                          int value) {
  Key k;
  DWORD data = static_cast<DWORD>(value);
  if (!k.Create(root, key) ||
      RegSetValueExA(k.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                     sizeof(data)) != ERROR_SUCCESS)
    throw EIRCannotWriteValue(key);
}

std::string ReadRegistryString(TRootKeys root, const std::string& key, const std::string& name,
                               const std::string& defaultValue) {
  Key k;
  if (!k.Open(root, key, KEY_READ)) return defaultValue;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return defaultValue;
  std::string data(size, '\0');
  if (size > 0 && RegQueryValueExA(k.get(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
    return defaultValue;
  data.resize(size);
  size_t end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  return data;
}

int ReadRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                        int defaultValue) {
  Key k;
  if (!k.Open(root, key, KEY_READ)) return defaultValue;
  DWORD type = 0, data = 0, size = sizeof(data);
  if (RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(data))
    return defaultValue;
  return static_cast<int>(data);
}

void DeleteRegistryKeyTree(TRootKeys root, const std::string& key) { DeleteTree(root, key); }

bool AddRunOnceValue(const std::string& name, const std::string& command, bool unique) {
  Key k;
  if (!k.Create(hkLocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"))
    return false;
  std::string valueName = name;
  for (int n = 1; unique && ValueExists(k.get(), valueName); ++n) valueName = name + IntToStr(n);
  return SetString(k.get(), valueName, command);
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
  for (int i = 0; i < sections.Count(); ++i)
    if (UpperCase(sections[i]).find(text) != std::string::npos)
      WritePrivateProfileStringA(sections[i].c_str(), nullptr, nullptr, fileName.c_str());
}
