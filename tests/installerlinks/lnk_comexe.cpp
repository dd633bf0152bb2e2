// A self-registering program for the uninstall test: /REGSERVER and
// /UNREGSERVER each leave a mark below HKCU.
#include <windows.h>

int main(int argc, char** argv) {
  const char* mark = nullptr;
  if (argc >= 2 && lstrcmpiA(argv[1], "/REGSERVER") == 0) mark = "ExeRegistered";
  if (argc >= 2 && lstrcmpiA(argv[1], "/UNREGSERVER") == 0) mark = "ExeUnregistered";
  if (!mark) return 1;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneLinksComDll", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 2;
  DWORD one = 1;
  RegSetValueExA(key, mark, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
  RegCloseKey(key);
  return 0;
}
