// Seeding and clearing the current user's registry keys in the Windows
// tests (header only: the support library itself does not use gtest).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Removes key below HKEY_CURRENT_USER with everything under it.
inline void DeleteUserKey(const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &k) != 0) return;
  char name[256];
  DWORD size = sizeof name;
  std::vector<std::string> subkeys;
  for (DWORD i = 0; RegEnumKeyExA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0; ++i, size = sizeof name)
    subkeys.push_back(name);
  RegCloseKey(k);
  for (const std::string& sub : subkeys) DeleteUserKey(key + "\\" + sub);
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

inline void SetUserValue(const std::string& key, const std::string& name, DWORD value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
  RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(k);
}

inline void SetUserValue(const std::string& key, const std::string& name, const std::string& value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

}  // namespace testsupport
