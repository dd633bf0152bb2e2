// Registry and process helpers of the settings tests.
#pragma once

#include <windows.h>

#include <string>

namespace appsettings {

const char kVendorKey[] = "Software\\Dorn Aldwick Software";
const char kMainKey[] = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

// Runs a command line and returns what it wrote to standard output.
std::string RunAndCapture(const std::string& cmdline);
// reg.exe's view of one key (no leading "\"): "HKCU\..." etc.
std::string RegQuery(const std::string& key);
// True when reg.exe lists the value with that type ("REG_DWORD" ...).
bool RegQueryHasValue(const std::string& output, const std::string& name, const std::string& type);

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void DeleteTree(HKEY root, const std::string& key);
bool KeyExists(HKEY root, const std::string& key);

// Puts a key's default value in place for the life of the object and then
// brings the old one back (or removes the key when it was missing; its
// parent must exist).
class DefaultValueGuard {
 public:
  DefaultValueGuard(HKEY root, const std::string& key, const std::string& value);
  ~DefaultValueGuard();

 private:
  HKEY root_;
  std::string key_, old_;
  bool hadKey_ = false, hadValue_ = false;
};

}  // namespace appsettings
