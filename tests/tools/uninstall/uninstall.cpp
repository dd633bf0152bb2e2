// Test-only stand-in for the product's uninstaller ("uninstall.exe"), which
// the setup program installs but does not contain.  It takes the product
// name (all arguments joined by blanks) and undoes what the installation
// logged under the product's uninstall key:
//   - "Files", "Files1", ...: files and links, deleted;
//   - "ActiveX": "0;" programs run with /UNREGSERVER, "1;" libraries through
//     DllUnregisterServer, then deleted;
//   - "RegistryKeys": each logged value removed, then each logged key when
//     nothing is left in it, deepest first;
// A file counted under SharedDLLs loses one count and goes only at zero.
// Folders left empty go (never the shell's own folders), then the uninstall
// key, and after this program has ended a batch file removes the program
// and its folder.  Exit code 0 when the product was found, 1 otherwise.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

const char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kSharedDLLs[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string StripLeadingBackslash(const std::string& key) {
  size_t i = key.find_first_not_of('\\');
  return i == std::string::npos ? std::string() : key.substr(i);
}

bool ReadString(HKEY root, const std::string& key, const std::string& name, std::string& value) {
  HKEY h;
  if (RegOpenKeyExA(root, StripLeadingBackslash(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  char buf[4096];
  DWORD size = sizeof(buf) - 1, type = 0;
  LONG r = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return false;
  if (type == REG_DWORD && size == 4) {
    DWORD v;
    memcpy(&v, buf, 4);
    value = std::to_string(v);
    return true;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  buf[size] = 0;
  value = buf;
  return true;
}

bool ReadDword(HKEY root, const std::string& key, const std::string& name, DWORD& value) {
  std::string text;
  if (!ReadString(root, key, name, text)) return false;
  char* end = nullptr;
  unsigned long v = strtoul(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  value = v;
  return true;
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY h;
  if (RegOpenKeyExA(root, StripLeadingBackslash(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// The "Entries" count and "File<n>" values of one log subkey.
std::vector<std::string> LoggedFiles(const std::string& key) {
  std::vector<std::string> files;
  std::string entries;
  if (!ReadString(HKEY_LOCAL_MACHINE, key, "Entries", entries)) return files;
  long n = strtol(entries.c_str(), nullptr, 10);
  for (long i = 1; i <= n && i < 100000; ++i) {
    std::string path;
    if (ReadString(HKEY_LOCAL_MACHINE, key, "File" + std::to_string(i), path) && !path.empty())
      files.push_back(path);
  }
  return files;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  while (s.size() > 3 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  return s;
}

// The shell's folders, which an uninstall must never remove even when it
// leaves them empty.
std::set<std::string> ProtectedFolders() {
  std::set<std::string> folders;
  const int ids[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS,          CSIDL_STARTMENU,
                     CSIDL_STARTUP,          CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILES_COMMON,
                     CSIDL_WINDOWS,          CSIDL_SYSTEM,            CSIDL_COMMON_PROGRAMS,
                     CSIDL_COMMON_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                     CSIDL_APPDATA,          CSIDL_PROFILE};
  for (int id : ids) {
    char path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0])
      folders.insert(Upper(path));
  }
  char temp[MAX_PATH] = {};
  if (GetTempPathA(MAX_PATH, temp)) folders.insert(Upper(temp));
  return folders;
}

// The folder and those above it that may go once empty.
std::vector<std::string> RemovableChain(const std::string& folder, const std::set<std::string>& protect) {
  std::vector<std::string> chain;
  for (std::string dir = folder; dir.size() > 3 && !protect.count(Upper(dir)); dir = ParentOf(dir))
    chain.push_back(dir);
  return chain;
}

// One count less for a shared file; true when nobody else uses it.
bool ReleaseShared(const std::string& path) {
  std::vector<std::string> names;
  char shortName[MAX_PATH] = {};
  if (GetShortPathNameA(path.c_str(), shortName, MAX_PATH)) names.push_back(shortName);
  names.push_back(path);
  HKEY h;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDLLs, 0, KEY_READ | KEY_WRITE, &h) != ERROR_SUCCESS) return true;
  bool last = true;
  for (const std::string& name : names) {
    DWORD count = 0, size = sizeof(count), type = 0;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
      continue;
    if (count > 1) {
      --count;
      RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
      last = false;
    } else {
      RegDeleteValueA(h, name.c_str());
    }
    break;
  }
  RegCloseKey(h);
  return last;
}

void RunAndWait(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

void UnregisterLibrary(const std::string& path) {
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) return;
  using Entry = HRESULT(__stdcall*)();
  if (auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(lib, "DllUnregisterServer"))))
    entry();
  FreeLibrary(lib);
}

struct TLoggedKey {
  HKEY Root;
  std::string Key;
  std::vector<std::string> Values;
};

HKEY RootOf(DWORD ordinal) {
  switch (ordinal) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_CONFIG;
    case 2: return HKEY_CURRENT_USER;
    case 3: return HKEY_DYN_DATA;
    case 5: return HKEY_USERS;
    default: return HKEY_LOCAL_MACHINE;
  }
}

std::vector<TLoggedKey> LoggedKeys(const std::string& productKey) {
  std::vector<TLoggedKey> keys;
  const std::string list = productKey + "\\RegistryKeys";
  std::string entries;
  if (!ReadString(HKEY_LOCAL_MACHINE, list, "Entries", entries)) return keys;
  long n = strtol(entries.c_str(), nullptr, 10);
  for (long i = 1; i <= n && i < 100000; ++i) {
    const std::string own = list + "\\RegistryKey" + std::to_string(i);
    TLoggedKey k;
    DWORD root = 4;
    if (!ReadString(HKEY_LOCAL_MACHINE, own, "Key", k.Key) || StripLeadingBackslash(k.Key).empty()) continue;
    ReadDword(HKEY_LOCAL_MACHINE, own, "Root", root);
    k.Root = RootOf(root);
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (own + "\\Entries").c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
      for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD size = sizeof(name);
        if (RegEnumValueA(h, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        k.Values.push_back(name);
      }
      RegCloseKey(h);
    }
    keys.push_back(k);
  }
  return keys;
}

bool KeyIsEmpty(HKEY root, const std::string& key) {
  HKEY h;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0, values = 0;
  LONG r = RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr);
  RegCloseKey(h);
  return r == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

void RemoveLoggedKeys(const std::vector<TLoggedKey>& keys) {
  for (const TLoggedKey& k : keys) {
    HKEY h;
    if (RegOpenKeyExA(k.Root, StripLeadingBackslash(k.Key).c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) continue;
    for (const std::string& value : k.Values) RegDeleteValueA(h, value.c_str());
    RegCloseKey(h);
  }
  std::vector<TLoggedKey> deepest = keys;
  std::stable_sort(deepest.begin(), deepest.end(), [](const TLoggedKey& a, const TLoggedKey& b) {
    return std::count(a.Key.begin(), a.Key.end(), '\\') > std::count(b.Key.begin(), b.Key.end(), '\\');
  });
  for (const TLoggedKey& k : deepest) {
    std::string key = StripLeadingBackslash(k.Key);
    while (!key.empty() && key.back() == '\\') key.pop_back();
    if (KeyIsEmpty(k.Root, key)) RegDeleteKeyA(k.Root, key.c_str());
  }
}

void DeleteKeyTree(HKEY root, const std::string& key) {
  HKEY h;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE, &h) == ERROR_SUCCESS) {
    std::vector<std::string> subs;
    for (DWORD index = 0;; ++index) {
      char name[256];
      DWORD size = sizeof(name);
      if (RegEnumKeyExA(h, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subs.push_back(name);
    }
    RegCloseKey(h);
    for (const std::string& s : subs) DeleteKeyTree(root, key + "\\" + s);
  }
  RegDeleteKeyA(root, key.c_str());
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The program cannot delete its own file while it runs: a hidden batch
// waits for it to end, removes it and the folders it leaves empty, then
// itself.
void RemoveSelfAfterExit(const std::set<std::string>& protect) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  char temp[MAX_PATH] = {};
  if (!GetTempPathA(MAX_PATH, temp)) return;
  char batch[MAX_PATH] = {};
  if (!GetTempFileNameA(temp, "uni", 0, batch)) return;
  std::string batchPath = batch;
  DeleteFileA(batch);
  batchPath = batchPath.substr(0, batchPath.find_last_of('.')) + ".bat";
  FILE* f = fopen(batchPath.c_str(), "w");
  if (!f) return;
  fprintf(f, "@echo off\r\nset /a tries=0\r\n:again\r\n");
  fprintf(f, "del /f %s >nul 2>&1\r\n", Quoted(self).c_str());
  fprintf(f, "if not exist %s goto gone\r\n", Quoted(self).c_str());
  fprintf(f, "set /a tries=tries+1\r\nif %%tries%% lss 3000 goto again\r\n:gone\r\n");
  for (const std::string& dir : RemovableChain(ParentOf(self), protect))
    fprintf(f, "rmdir %s >nul 2>&1\r\n", Quoted(dir).c_str());
  fprintf(f, "del %s >nul 2>&1\r\n", Quoted(batchPath).c_str());
  fclose(f);
  std::string command = "cmd.exe /c " + Quoted(batchPath);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(command.begin(), command.end());
  cmd.push_back('\0');
  // No inherited handles: whoever waits for this program's output must not
  // wait for the batch too.
  if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr,
                     temp, &si, &pi)) {
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string product;
  for (int i = 1; i < argc; ++i) product += (i > 1 ? " " : "") + std::string(argv[i]);
  const std::string productKey = kUninstallPrefix + product;
  if (product.empty() || !KeyExists(HKEY_LOCAL_MACHINE, productKey)) {
    fprintf(stderr, "uninstall: no installed product \"%s\"\n", product.c_str());
    return 1;
  }
  const std::set<std::string> protect = ProtectedFolders();
  std::set<std::string> folders;

  // Files and links, in every log subkey that exists.
  for (int part = 0; part < 100; ++part) {
    const std::string key = productKey + "\\Files" + (part ? std::to_string(part) : std::string());
    if (!KeyExists(HKEY_LOCAL_MACHINE, key)) {
      if (part) break;
      continue;
    }
    for (const std::string& path : LoggedFiles(key)) {
      if (!ReleaseShared(path)) continue;
      DeleteFileA(path.c_str());
      folders.insert(ParentOf(path));
    }
  }

  for (const std::string& entry : LoggedFiles(productKey + "\\ActiveX")) {
    if (entry.size() < 3 || entry[1] != ';') continue;
    const std::string path = entry.substr(2);
    if (!ReleaseShared(path)) continue;
    if (entry[0] == '0')
      RunAndWait(Quoted(path) + " /UNREGSERVER");
    else
      UnregisterLibrary(path);
    DeleteFileA(path.c_str());
    folders.insert(ParentOf(path));
  }

  RemoveLoggedKeys(LoggedKeys(productKey));

  // Deepest folders first, each chain up to the first folder still in use.
  std::vector<std::string> ordered(folders.begin(), folders.end());
  std::sort(ordered.begin(), ordered.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& folder : ordered)
    for (const std::string& dir : RemovableChain(folder, protect))
      if (!RemoveDirectoryA(dir.c_str())) break;

  DeleteKeyTree(HKEY_LOCAL_MACHINE, productKey);
  RemoveSelfAfterExit(protect);
  return 0;
}
