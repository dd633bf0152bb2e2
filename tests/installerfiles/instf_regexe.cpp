// A program that registers itself when started with /REGSERVER: a key
// below HKCU with the folder it was started in.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2 || lstrcmpiA(argv[1], "/REGSERVER") != 0) return 1;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneTest\\ComExe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return 2;
  char dir[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, dir);
  RegSetValueExA(key, "CurrentDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir), lstrlenA(dir) + 1);
  RegSetValueExA(key, "Program", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[0]), lstrlenA(argv[0]) + 1);
  RegCloseKey(key);
  return 0;
}
