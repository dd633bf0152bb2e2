#include "registry.h"

#include <cstring>
#include <vector>

namespace {

TRegDataType DataTypeOf(DWORD type) {
  switch (type) {
    case REG_SZ: return rdString;
    case REG_EXPAND_SZ: return rdExpandString;
    case REG_DWORD: return rdInteger;
    case REG_BINARY: return rdBinary;
    default: return rdUnknown;
  }
}

[[noreturn]] void InvalidType(const std::string& name) {
  throw ERegistryException("Invalid data type for '" + name + "'");
}

[[noreturn]] void GetFailed(const std::string& name) {
  throw ERegistryException("Failed to get data for '" + name + "'");
}

// Splits "\path" / "path" into the path and whether it is relative.
std::string StripRoot(const std::string& key, bool& relative) {
  relative = key.empty() || key[0] != '\\';
  return relative ? key : key.substr(1);
}

// Deletes 'name' below 'parent' with everything under it.
bool DeleteTree(HKEY parent, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    std::vector<std::string> subkeys;
    char buf[1024];
    for (DWORD i = 0;; ++i) {
      DWORD len = sizeof buf;
      if (RegEnumKeyExA(key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subkeys.emplace_back(buf, len);
    }
    for (const auto& s : subkeys) DeleteTree(key, s);
    RegCloseKey(key);
  }
  return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

}  // namespace

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY key) {
  if (key == rootKey_) return;
  CloseKey();
  rootKey_ = key;
}

HKEY TRegistry::BaseKey(bool relative) const { return currentKey_ && relative ? currentKey_ : rootKey_; }

void TRegistry::ChangeKey(HKEY key, const std::string& path) {
  CloseKey();
  currentKey_ = key;
  currentPath_ = path;
}

void TRegistry::CloseKey() {
  if (!currentKey_) return;
  if (!LazyWrite) RegFlushKey(currentKey_);
  RegCloseKey(currentKey_);
  currentKey_ = nullptr;
  currentPath_.clear();
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  bool relative;
  std::string path = StripRoot(key, relative);
  HKEY opened = nullptr;
  LONG rc;
  if (!canCreate || path.empty())
    rc = RegOpenKeyExA(BaseKey(relative), path.c_str(), 0, access_, &opened);
  else
    rc = RegCreateKeyExA(BaseKey(relative), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr,
                         &opened, nullptr);
  if (rc != ERROR_SUCCESS) return false;
  if (currentKey_ && relative)
    path = currentPath_.empty() ? path : path.empty() ? currentPath_ : currentPath_ + "\\" + path;
  ChangeKey(opened, path);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  REGSAM saved = access_;
  access_ = KEY_READ;
  bool ok = OpenKey(key, false);
  access_ = saved;
  return ok;
}

bool TRegistry::CreateKey(const std::string& key) {
  bool relative;
  std::string path = StripRoot(key, relative);
  HKEY created;
  if (RegCreateKeyExA(BaseKey(relative), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &created, nullptr) != ERROR_SUCCESS)
    throw ERegistryException("Failed to create key " + key);
  RegCloseKey(created);
  return true;
}

bool TRegistry::DeleteKey(const std::string& key) {
  bool relative;
  std::string path = StripRoot(key, relative);
  if (path.empty()) return false;  // never the root or the current key itself
  return DeleteTree(BaseKey(relative), path);
}

bool TRegistry::KeyExists(const std::string& key) {
  bool relative;
  std::string path = StripRoot(key, relative);
  HKEY opened;
  if (RegOpenKeyExA(BaseKey(relative), path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

bool TRegistry::HasSubKeys() {
  DWORD count = 0;
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return false;
  return count > 0;
}

void TRegistry::GetKeyNames(TStrings* list) {
  list->Clear();
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  char buf[1024];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof buf;
    if (RegEnumKeyExA(key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    list->Add(std::string(buf, len));
  }
}

void TRegistry::GetValueNames(TStrings* list) {
  list->Clear();
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  std::vector<char> buf(32768);
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    if (RegEnumValueA(key, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    list->Add(std::string(buf.data(), len));
  }
}

bool TRegistry::GetDataInfo(const std::string& name, TRegDataInfo& info) {
  DWORD type = 0, size = 0;
  info = TRegDataInfo();
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  info.RegData = DataTypeOf(type);
  info.DataSize = static_cast<int>(size);
  return true;
}

int TRegistry::GetDataSize(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.DataSize : -1;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.RegData : rdUnknown;
}

bool TRegistry::ValueExists(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

bool TRegistry::DeleteValue(const std::string& name) {
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  return RegDeleteValueA(key, name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::GetRaw(const std::string& name, std::string& data, DWORD& type) {
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  // The value may grow between the two calls; retry until it fits.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return false;
    data.assign(size, '\0');
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return false;
    data.resize(size);
    return true;
  }
  return false;
}

void TRegistry::PutData(const std::string& name, const void* data, DWORD size, DWORD type) {
  HKEY key = currentKey_ ? currentKey_ : rootKey_;
  if (RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

std::string TRegistry::ReadString(const std::string& name) {
  std::string data;
  DWORD type;
  if (!GetRaw(name, data, type)) return std::string();
  if (type != REG_SZ && type != REG_EXPAND_SZ) InvalidType(name);
  // Stored strings normally end in a zero, but need not.
  size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), REG_SZ);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), REG_EXPAND_SZ);
}

int TRegistry::ReadInteger(const std::string& name) {
  std::string data;
  DWORD type;
  if (!GetRaw(name, data, type)) GetFailed(name);
  if (type != REG_DWORD || data.size() != 4) InvalidType(name);
  int32_t v;
  std::memcpy(&v, data.data(), 4);
  return v;
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  int32_t v = value;
  PutData(name, &v, 4, REG_DWORD);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

double TRegistry::ReadFloat(const std::string& name) {
  std::string data;
  DWORD type;
  if (!GetRaw(name, data, type)) GetFailed(name);
  if (type != REG_BINARY || data.size() != sizeof(double)) InvalidType(name);
  double v;
  std::memcpy(&v, data.data(), sizeof v);
  return v;
}

void TRegistry::WriteFloat(const std::string& name, double value) { PutData(name, &value, sizeof value, REG_BINARY); }

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int bufSize) {
  std::string data;
  DWORD type;
  if (!GetRaw(name, data, type)) GetFailed(name);
  if (type != REG_BINARY && type != REG_NONE) InvalidType(name);
  if (static_cast<int64_t>(data.size()) > bufSize) InvalidType(name);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return static_cast<int>(data.size());
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int bufSize) {
  if (bufSize < 0) throw ERegistryException("Failed to set data for '" + name + "'");
  PutData(name, buffer, static_cast<DWORD>(bufSize), REG_BINARY);
}
