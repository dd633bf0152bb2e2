// Native halves: there is nothing to register and nobody to ask here, and
// a POSIX file can always be replaced by a rename.
#include <errno.h>

#include <fstream>

#include "installfile_sys.h"
#include "sysutils.h"

bool SysFileReplaceable(const std::string&) { return true; }
bool SysMoveFileAtReboot(const std::string&, const std::string&) { return false; }
bool SysWriteIniString(const std::string&, const std::string&, const std::string&, const std::string&) {
  return false;
}
bool SysIniSectionExists(const std::string&, const std::string&) { return false; }
uint32_t SysLastError() { return static_cast<uint32_t>(errno); }
bool SysCreateMachineKey(const std::string&) {
  errno = ENOSYS;
  return false;
}
unsigned SysWinExecHidden(const std::string&) { return 2; }
TSysRegisterResult SysRegisterServer(const std::string&, long&, uint32_t& lastError) {
  lastError = 0;
  return srLoadFailed;
}
bool SysAskOkCancel(const std::string&) { return false; }
int SysBeginBusy() { return 0; }
void SysEndBusy(int) {}
