// The persistent reference to one folder of the shell namespace that the
// shell combo and the shell list own: either an ID list (absent = the
// desktop) or a special folder whose list is asked for once.  Stored in
// form streams as the binary property "Pidl".
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "sysutils.h"

// A binary property a class stores itself: the class library streams
// none, so the owner of a stream calls these.
struct TPTBinaryProperty {
  std::string Name;
  std::function<void(TStream*)> ReadData;
  std::function<void(TStream*)> WriteData;
  bool HasData = false;
};

class TPTShellLocator : public TPersistent {
 public:
  TPTShellLocator() = default;
  ~TPTShellLocator() override;
  TPTShellLocator(const TPTShellLocator&) = delete;
  TPTShellLocator& operator=(const TPTShellLocator&) = delete;

  // Kind 0: the held list (null = the desktop); kind 1: the special
  // folder's list, asked for on first use.  The locator keeps it.
  LPCITEMIDLIST GetPidl();
  void SetPidl(LPCITEMIDLIST pidl);
  std::string GetPath();
  // A path that cannot be parsed makes the locator point at the desktop.
  void SetPath(const std::string& path);
  void Clear() { SetPidl(nullptr); }
  void Assign(TPersistent* source) override;

  uint8_t Kind() const { return kind_; }
  int SpecialFolder() const { return specialFolder_; }
  // Points at a special folder (kind 1); its list is asked for later.
  void SetSpecialFolder(int csidl);
  bool HoldsList() const { return pidl_ != nullptr; }

  virtual void DefineProperties(std::vector<TPTBinaryProperty>& props);
  // The "Pidl" property's bytes.  A malformed stream raises EReadError and
  // leaves the locator as it was.
  void ReadPidl(TStream* stream);
  void WritePidl(TStream* stream);

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  bool Equals(TPTShellLocator* other);
  void FreeList();

  uint8_t kind_ = 0;
  LPITEMIDLIST pidl_ = nullptr;
  int specialFolder_ = CSIDL_DRIVES;
};
