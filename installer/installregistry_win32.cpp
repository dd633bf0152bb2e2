#include <windows.h>

#include "installregistry.h"
#include "win/registry.h"

namespace {

HKEY RootHandleOf(TRootKeys root) {
  switch (root) {
    case hkClassesRoot: return HKEY_CLASSES_ROOT;
    case hkCurrentConfig: return HKEY_CURRENT_CONFIG;
    case hkCurrentUser: return HKEY_CURRENT_USER;
    case hkDynData: return HKEY_DYN_DATA;
    case hkLocalMachine: return HKEY_LOCAL_MACHINE;
    case hkUsers: return HKEY_USERS;
  }
  return HKEY_LOCAL_MACHINE;
}

}  // namespace

bool CreateRegistryKey(TRootKeys root, const std::string& key) {
  TRegistry reg;
  reg.SetRootKey(RootHandleOf(root));
  std::string path = key;
  while (!path.empty() && path[0] == '\\') path.erase(0, 1);
  try {
    return reg.OpenKey("\\" + path, true);
  } catch (const Exception&) {
    return false;
  }
}
