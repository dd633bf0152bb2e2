#include "shelllocator.h"

#include "win/forms.h"
#include "locatorstream.h"
#include "shellutils.h"

TPTShellLocator::~TPTShellLocator() { FreeList(); }

void TPTShellLocator::FreeList() {
  ShellFree(pidl_);
  pidl_ = nullptr;
}

LPCITEMIDLIST TPTShellLocator::GetPidl() {
  if (kind_ == 1 && !pidl_) {
    HWND owner = Application ? Application->Handle() : nullptr;
    LPITEMIDLIST p = nullptr;
    if (SUCCEEDED(SpecialFolderPidl(owner, specialFolder_, &p))) pidl_ = p;
  }
  return pidl_;
}

void TPTShellLocator::SetPidl(LPCITEMIDLIST pidl) {
  bool change;
  if (kind_ == 1)
    change = true;
  else if (pidl_) {
    // A comparison the shell cannot make is taken as equal.
    int c = ComparePidls(pidl_, pidl);
    change = c != 0 && c != 0x7FFFFFFF;
  } else
    change = pidl != nullptr;
  // Taken before the old list goes: the new one may be a part of it.
  LPITEMIDLIST copy = pidl && PidlSize(pidl) > 2 ? CopyPidl(nullptr, pidl) : nullptr;
  kind_ = 0;
  FreeList();
  pidl_ = copy;
  specialFolder_ = CSIDL_DRIVES;
  if (change) Changed();
}

std::string TPTShellLocator::GetPath() {
  LPCITEMIDLIST p = GetPidl();
  // No list is the desktop, whose path is its folder on disk; a special
  // folder that cannot be had has none.
  if (!p && kind_ == 1) return std::string();
  return PidlToPath(p);
}

void TPTShellLocator::SetPath(const std::string& path) {
  LPITEMIDLIST p = nullptr;
  if (SUCCEEDED(PathToPidl(path, &p)) && p) {
    try {
      SetPidl(p);
    } catch (...) {
      ShellFree(p);
      throw;
    }
    ShellFree(p);
  } else
    SetPidl(nullptr);
}

void TPTShellLocator::SetSpecialFolder(int csidl) {
  bool change = kind_ != 1 || specialFolder_ != csidl;
  FreeList();
  kind_ = 1;
  specialFolder_ = csidl;
  if (change) Changed();
}

bool TPTShellLocator::Equals(TPTShellLocator* other) {
  if (other == this) return true;
  if (other->kind_ != kind_) return false;
  if (kind_ == 1) return other->specialFolder_ == specialFolder_;
  if (!pidl_ || !other->pidl_) return !pidl_ && !other->pidl_;
  return ComparePidls(pidl_, other->pidl_) == 0;
}

void TPTShellLocator::Assign(TPersistent* source) {
  if (!source) {
    if (pidl_) {
      FreeList();
      kind_ = 0;
      Changed();
    }
    return;
  }
  auto* other = dynamic_cast<TPTShellLocator*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (Equals(other)) return;
  LPITEMIDLIST copy = other->kind_ == 0 && other->pidl_ ? CopyPidl(nullptr, other->pidl_) : nullptr;
  FreeList();
  kind_ = other->kind_;
  if (kind_ == 0)
    pidl_ = copy;
  else
    specialFolder_ = other->specialFolder_;
  Changed();
}

void TPTShellLocator::Changed() {
  if (OnChange) OnChange(this);
}

void TPTShellLocator::DefineProperties(std::vector<TPTBinaryProperty>& props) {
  TPTBinaryProperty p;
  p.Name = "Pidl";
  p.ReadData = [this](TStream* s) { ReadPidl(s); };
  p.WriteData = [this](TStream* s) { WritePidl(s); };
  p.HasData = shell::LocatorPidlStored(kind_, Bytes(pidl_));
  props.push_back(p);
}

void TPTShellLocator::ReadPidl(TStream* stream) {
  shell::TLocatorPidlValue value;
  shell::ReadLocatorPidl(stream, &value);
  LPITEMIDLIST copy = nullptr;
  if (value.Kind == 0) {
    copy = static_cast<LPITEMIDLIST>(ShellAlloc(value.List.size()));
    if (!copy) throw EOutOfMemory("Out of memory");
    memcpy(copy, value.List.data(), value.List.size());
  }
  FreeList();
  kind_ = value.Kind;
  if (kind_ == 0)
    pidl_ = copy;
  else
    specialFolder_ = value.SpecialFolder;
}

void TPTShellLocator::WritePidl(TStream* stream) {
  shell::WriteLocatorPidl(stream, kind_, static_cast<uint8_t>(specialFolder_), kind_ == 0 ? Bytes(pidl_) : nullptr);
}
