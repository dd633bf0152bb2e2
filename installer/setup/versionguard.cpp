#include "versionguard.h"

#include <windows.h>

#include "win/registry.h"

bool InstalledFileTypeIsNewer() {
  try {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKey("Morvane", false)) return false;
    return StrToInt(reg.ReadString("MorvaneVersion")) > SetupFileTypeVersion;
  } catch (const std::exception&) {
    // A value of another type or no number at all: this setup's entries
    // are written as usual.
    return false;
  }
}
