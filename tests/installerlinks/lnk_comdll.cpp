// A self-registering component for the uninstall test: registering and
// unregistering each leave a mark below HKCU, apart from the keys that the
// installation logs.
#include <windows.h>

namespace {
HRESULT Mark(const char* name) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneLinksComDll", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  DWORD one = 1;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
  RegCloseKey(key);
  return S_OK;
}
}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() { return Mark("Registered"); }
extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return Mark("Unregistered"); }
