#include "appstartup_support.h"

#include <cstdlib>

#include "settings.h"
#include "sysutils.h"
#include "test_support.h"

namespace appstartup {

void SetDword(const std::string& key, const std::string& name, DWORD value) {
  HKEY k;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) return;
  RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(k);
}

void SetString(const std::string& key, const std::string& name, const std::string& value) {
  HKEY k;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) return;
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

void DeleteTree(const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
  char name[256];
  DWORD size = sizeof name;
  std::vector<std::string> children;
  for (DWORD i = 0; RegEnumKeyExA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, size = sizeof name)
    children.push_back(name);
  RegCloseKey(k);
  for (const std::string& child : children) DeleteTree(key + "\\" + child);
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

long long RegQueryDword(const std::string& key, const std::string& name) {
  std::string out;
  if (testsupport::RunWindows("reg.exe query \"HKCU\\" + key + "\" /v \"" + name + "\"", &out) != 0) return -1;
  // A line such as "    left    REG_DWORD    0xd3".
  size_t at = out.find(name + "    REG_DWORD");
  if (at == std::string::npos) return -1;
  at = out.find("0x", at);
  return at == std::string::npos ? -1 : std::strtoll(out.c_str() + at, nullptr, 16);
}

BrowserRecorder::BrowserRecorder() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  program_ = ExtractFilePath(self) + "appstartup_recorder.exe";
  record_ = testsupport::Join(testsupport::ScratchDir(), "browser-starts.txt");
  DeleteFileA(record_.c_str());
  SetEnvironmentVariableA("APPSTARTUP_RECORD", record_.c_str());
  SetDword(kMainKey, "Default browser", bkCustom);
  SetString(kMainKey, "custom browser path", program_);
  SetString(kMainKey, "custom browser args", "%1");
  DefaultBrowser = bkCustom;
  CustomBrowserPath = program_;
  CustomBrowserArgs = "%1";
}

std::vector<std::string> BrowserRecorder::Wait(size_t count) {
  std::vector<std::string> lines;
  for (int i = 0; i < 200; ++i) {
    lines.clear();
    if (testsupport::FileExists(record_)) {
      auto bytes = testsupport::ReadFileBytes(record_);
      std::string line;
      for (char c : bytes) {
        if (c == '\n') {
          lines.push_back(line);
          line.clear();
        } else if (c != '\r') {
          line += c;
        }
      }
    }
    if (lines.size() >= count) break;
    Sleep(50);
  }
  return lines;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace appstartup
