#include "appsettings_support.h"

#include <vector>

namespace appsettings {

std::string RunAndCapture(std::string cmdline) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(nullptr, &cmdline[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (ok) {
    char buf[4096];
    DWORD n;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
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
    : root_(root), key_(key) {
  // Remember the outermost key that this guard creates, to remove it whole.
  std::string missing;
  for (size_t pos = 0; pos != std::string::npos;) {
    pos = key.find('\\', pos + 1);
    std::string part = key.substr(0, pos);
    if (!KeyExists(root, part)) {
      missing = part;
      break;
    }
  }
  hadKey_ = missing.empty();
  if (!hadKey_) key_ = missing;
  HKEY k;
  if (hadKey_ && RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
    char buf[2048];
    DWORD size = sizeof buf, type;
    if (RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      hadValue_ = true;
      old_.assign(buf, size && buf[size - 1] == '\0' ? size - 1 : size);
    }
    RegCloseKey(k);
  }
  SetString(root, key, "", value);
}

DefaultValueGuard::~DefaultValueGuard() {
  if (!hadKey_) {
    DeleteTree(root_, key_);
  } else if (hadValue_) {
    SetString(root_, key_, "", old_);
  } else {
    HKEY k;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
      RegDeleteValueA(k, nullptr);
      RegCloseKey(k);
    }
  }
}

}  // namespace appsettings
