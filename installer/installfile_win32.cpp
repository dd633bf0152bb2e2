#include <windows.h>
#include <ole2.h>

#include "installfile_sys.h"
#include "win/forms.h"

bool SysFileReplaceable(const std::string& path) {
  // An exclusive open fails while anybody holds the file, a loaded image
  // included, which a rename aside would not show.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool SysMoveFileAtReboot(const std::string& from, const std::string& to) {
  // Without REPLACE_EXISTING the rename at boot fails on the old file that
  // is still there, and the new one never takes its place.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != 0;
}

bool SysWriteIniString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

bool SysIniSectionExists(const std::string& file, const std::string& section) {
  char buffer[16];
  DWORD n = GetPrivateProfileSectionA(section.c_str(), buffer, sizeof buffer, file.c_str());
  return n > 0;
}

uint32_t SysLastError() { return GetLastError(); }

bool SysCreateMachineKey(const std::string& key) {
  std::string path = !key.empty() && key[0] == '\\' ? key.substr(1) : key;
  HKEY h;
  LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
  if (r != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(r));
    return false;
  }
  RegCloseKey(h);
  return true;
}

unsigned SysWinExecHidden(const std::string& commandLine) { return WinExec(commandLine.c_str(), SW_HIDE); }

TSysRegisterResult SysRegisterServer(const std::string& path, long& result, uint32_t& lastError) {
  OleInitialize(nullptr);
  TSysRegisterResult outcome = srOk;
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    lastError = GetLastError();
    outcome = srLoadFailed;
  } else {
    using TRegister = HRESULT(STDAPICALLTYPE*)();
    auto reg = reinterpret_cast<TRegister>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    if (!reg) {
      lastError = GetLastError();
      outcome = srNoEntry;
    } else {
      result = reg();
      if (result != S_OK) outcome = srFailed;
    }
    FreeLibrary(module);
  }
  OleUninitialize();
  return outcome;
}

bool SysAskOkCancel(const std::string& text) {
  int answer = Application ? Application->MessageBox(text, "Information", MB_OKCANCEL | MB_ICONINFORMATION)
                           : MessageBoxA(nullptr, text.c_str(), "Information", MB_OKCANCEL | MB_ICONINFORMATION);
  return answer == IDOK;
}

int SysBeginBusy() {
  if (!Screen) return crDefault;
  int saved = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  return saved;
}

void SysEndBusy(int saved) {
  if (Screen) Screen->SetCursor(saved);
}
