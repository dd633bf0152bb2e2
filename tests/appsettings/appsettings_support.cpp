#include "appsettings_support.h"

#include <vector>

#include "test_support.h"

namespace appsettings {

std::string RunAndCapture(const std::string& cmdline) {
  std::string out;
  testsupport::RunWindows(cmdline, &out);
  return out;
}

std::string RegQuery(const std::string& key) { return RunAndCapture("reg.exe query \"" + key + "\""); }

bool RegQueryHasValue(const std::string& output, const std::string& name, const std::string& type) {
  return output.find("    " + name + "    " + type + "    ") != std::string::npos ||
         output.find("    " + name + "    " + type + "\r") != std::string::npos;
}

namespace {

HKEY Create(HKEY root, const std::string& key) {
  HKEY k = nullptr;
  RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  return k;
}

}  // namespace

bool KeyExists(HKEY root, const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  HKEY k = Create(root, key);
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  HKEY k = Create(root, key);
  RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(k);
}

void DeleteTree(HKEY root, const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
    std::vector<std::string> subkeys;
    char buf[512];
    for (DWORD i = 0;; ++i) {
      DWORD len = sizeof buf;
      if (RegEnumKeyExA(k, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subkeys.emplace_back(buf, len);
    }
    RegCloseKey(k);
    for (const auto& s : subkeys) DeleteTree(root, key + "\\" + s);
  }
  RegDeleteKeyA(root, key.c_str());
}

DefaultValueGuard::DefaultValueGuard(HKEY root, const std::string& key, const std::string& value)
    : root_(root), key_(key), hadKey_(KeyExists(root, key)) {
  HKEY k;
  if (hadKey_ && RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
    char buf[2048];
    DWORD size = sizeof buf - 1, type;
    hadValue_ = RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS;
    buf[size] = '\0';
    old_ = buf;
    RegCloseKey(k);
  }
  SetString(root, key, "", value);
}

DefaultValueGuard::~DefaultValueGuard() {
  HKEY k;
  if (!hadKey_)
    DeleteTree(root_, key_);
  else if (hadValue_)
    SetString(root_, key_, "", old_);
  else if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
    RegDeleteValueA(k, nullptr);
    RegCloseKey(k);
  }
}

}  // namespace appsettings
