#include "uninstallexe.h"

#include "installregistry.h"
#include "kitroutines.h"

namespace {
const char kUninstaller[] = "uninstall.exe";
}

TUninstallEXE::TUninstallEXE(TComponent* owner) : TCustomInstallFile(owner) {
  SetFileName(kUninstaller);
  SetDestName(kUninstaller);
  if (!owner || !(owner->ComponentState() & csDesigning)) return;
  try {
    auto& hooks = InstallDriverInfoHooks();
    std::string dir = hooks.KitDirectory ? hooks.KitDirectory() : std::string();
    if (!dir.empty() && FileExists(AddBackslash(dir) + kUninstaller)) SetIncludeFromDir(RemoveBackslash(dir));
  } catch (const Exception&) {
    // without the kit directory the designer picks the file by hand
  }
}

std::string TUninstallEXE::UninstallString() {
  TInstallInformation* info = InstallDriverInformation();
  if (!info)
    throw IEUninstallEXE(
        "%s could not write information about the uninstall to the registry because there was no TInstall "
        "component",
        {Name()});
  // Quoted: an unquoted path with a blank may start another program
  // ("C:\Program.exe").  The product name stays as the plain arguments.
  return "\"" + GetDestDir() + "\\" + DestName() + "\" " + info->ProductName;
}

void TUninstallEXE::WriteUninstallLog(const std::string& key) {
  std::string command = UninstallString();
  WriteRegistryString(hkLocalMachine, key, "DisplayName", InstallDriverInformation()->ProductName);
  WriteRegistryString(hkLocalMachine, key, "UninstallString", command);
}
