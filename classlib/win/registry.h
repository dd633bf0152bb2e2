// Access to the Windows registry through one open key at a time.
#pragma once

#include <windows.h>

#include <string>

#include "classes.h"
#include "sysutils.h"

MORVANE_EXCEPTION(ERegistryException, Exception);

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
  TRegDataType RegData = rdUnknown;
  int DataSize = 0;
};

class TRegistry : public TObject {
 public:
  // The root is HKEY_CURRENT_USER; keys open with 'access'.
  explicit TRegistry(REGSAM access = KEY_ALL_ACCESS);
  ~TRegistry() override;

  HKEY RootKey() const { return rootKey_; }
  // Closes the current key.
  void SetRootKey(HKEY key);
  HKEY CurrentKey() const { return currentKey_; }
  // The current key's path below the root, without a leading "\".
  const std::string& CurrentPath() const { return currentPath_; }
  REGSAM Access() const { return access_; }
  void SetAccess(REGSAM access) { access_ = access; }
  // When false, closing a key flushes it to disk.
  bool LazyWrite = true;

  // A key beginning with "\" is taken from the root, any other from the
  // current key (or the root when none is open).  The opened key becomes
  // the current one.  A missing key gives false, never an exception.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  // Creates the key (relative as for OpenKey) without opening it; raises
  // ERegistryException "Failed to create key <key>" when it cannot.
  bool CreateKey(const std::string& key);
  // Deletes the key with all its subkeys.
  bool DeleteKey(const std::string& key);
  bool KeyExists(const std::string& key);
  bool HasSubKeys();
  void GetKeyNames(TStrings* list);

  // Values of the current key; an empty name is the key's default value.
  bool ValueExists(const std::string& name);
  bool DeleteValue(const std::string& name);
  void GetValueNames(TStrings* list);
  bool GetDataInfo(const std::string& name, TRegDataInfo& info);
  int GetDataSize(const std::string& name);  // -1 when missing
  TRegDataType GetDataType(const std::string& name);

  // A missing string reads as ""; the other reads raise ERegistryException
  // for a missing value or one of another type or size.  Failed writes
  // raise ERegistryException "Failed to set data for '<name>'".
  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  int ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, int value);
  bool ReadBool(const std::string& name);
  void WriteBool(const std::string& name, bool value);
  // Floats and dates are stored as the 8 bytes of a double, in binary.
  double ReadFloat(const std::string& name);
  void WriteFloat(const std::string& name, double value);
  TDateTime ReadDateTime(const std::string& name) { return ReadFloat(name); }
  void WriteDateTime(const std::string& name, TDateTime value) { WriteFloat(name, value); }
  // Copies the binary value into 'buffer' and returns its size; a value
  // larger than 'bufSize' raises instead of being cut.
  int ReadBinaryData(const std::string& name, void* buffer, int bufSize);
  void WriteBinaryData(const std::string& name, const void* buffer, int bufSize);

 private:
  HKEY BaseKey(bool relative) const;
  void ChangeKey(HKEY key, const std::string& path);
  void PutData(const std::string& name, const void* data, DWORD size, DWORD type);
  // Reads the raw value; false when it is missing.
  bool GetRaw(const std::string& name, std::string& data, DWORD& type);

  HKEY rootKey_ = HKEY_CURRENT_USER;
  HKEY currentKey_ = nullptr;
  std::string currentPath_;
  REGSAM access_;
};
