// Platform half of the install files: replacing files in use, running and
// loading self-registering components, INI lines and the message box.
#pragma once

#include <cstdint>
#include <string>

// True when nothing holds the file open in a way that would stop it from
// being replaced now.
bool SysFileReplaceable(const std::string& path);
bool SysMoveFileAtReboot(const std::string& from, const std::string& to);
bool SysWriteIniString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value);
bool SysIniSectionExists(const std::string& file, const std::string& section);
uint32_t SysLastError();
// Opens, creating it when missing, a key below HKEY_LOCAL_MACHINE.
bool SysCreateMachineKey(const std::string& key);
// Starts a command line hidden; the start's result (below 32 is a failure).
unsigned SysWinExecHidden(const std::string& commandLine);
enum TSysRegisterResult { srOk, srLoadFailed, srNoEntry, srFailed };
// Loads the library and calls its DllRegisterServer between OleInitialize
// and OleUninitialize; 'result' is what the call returned.
TSysRegisterResult SysRegisterServer(const std::string& path, long& result, uint32_t& lastError);
// An information box with OK and Cancel through the application's hook;
// true for OK.
bool SysAskOkCancel(const std::string& text);
// The program-wide hourglass; returns what to restore.
int SysBeginBusy();
void SysEndBusy(int saved);
