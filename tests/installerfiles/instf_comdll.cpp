// A self-registering component: registration writes a key below HKCU and
// records the folder it was registered from.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneTest\\ComDll", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  char dir[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, dir);
  RegSetValueExA(key, "CurrentDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir), lstrlenA(dir) + 1);
  RegCloseKey(key);
  return S_OK;
}
