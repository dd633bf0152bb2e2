#include "installregistry.h"

#include <algorithm>

namespace {

std::vector<TCustomInstallRegistry*>& RegistryObjects() {
  static std::vector<TCustomInstallRegistry*> list;
  return list;
}

void AddRegistryObject(TCustomInstallRegistry* obj) {
  if (!obj) throw IEInstallRegistryList("Cannot add blank entry to the registry list");
  RegistryObjects().push_back(obj);
}

const char kNoDriver[] = "There is no TInstall component in your project";

}  // namespace

TInstallDriverInfoHooks& InstallDriverInfoHooks() {
  static TInstallDriverInfoHooks hooks;
  return hooks;
}

TInstallInformation* InstallDriverInformation() {
  TInstallContainer* driver = InstallDriver();
  if (!driver) return nullptr;
  if (InstallDriverInfoHooks().Information) return InstallDriverInfoHooks().Information();
  TPropList props;
  driver->PublishProperties(props);
  for (const TPropInfo& p : props)
    if (p.Kind == pkClass && SameText(p.Name, "Information") && p.GetObj)
      return dynamic_cast<TInstallInformation*>(p.GetObj(driver));
  return nullptr;
}

const std::vector<TCustomInstallRegistry*>& InstallRegistryList() { return RegistryObjects(); }

// ---------------------------------------------------------------------------

TRegistryEntry::TRegistryEntry(TCollection* collection) : TCollectionItem(collection) {
  if (auto* entries = dynamic_cast<TRegistryEntries*>(collection)) owner_ = entries->RegistryObject();
}

TRegistryEntry::~TRegistryEntry() = default;

bool TRegistryEntry::Loading() const { return owner_ && owner_->LoadingNow(); }

void TRegistryEntry::SetText(const std::string& value) {
  text_ = value;
  if (!Loading()) entryType_ = retText;
}

void TRegistryEntry::SetInteger(int value) {
  integer_ = value;
  if (!Loading()) entryType_ = retInteger;
}

void TRegistryEntry::SetBoolean(bool value) {
  boolean_ = value;
  if (!Loading()) entryType_ = retBoolean;
}

void TRegistryEntry::SetPathSpecifier(TCustomPathSpecifier* value) {
  if (value && !Loading()) {
    value->Check(owner_);
    text_ = "%p";
    entryType_ = retText;
  }
  pathSpecifier_ = value;
  if (value && owner_) value->FreeNotification(owner_);
}

void TRegistryEntry::SetRegistryObject(TCustomInstallRegistry* value) {
  owner_ = value;
  if (pathSpecifier_ && owner_) pathSpecifier_->FreeNotification(owner_);
}

std::string TRegistryEntry::EntryText() {
  if (!pathSpecifier_) return text_;
  return ExpandPathVariable(text_, pathSpecifier_->Expand(owner_));
}

void TRegistryEntry::Assign(TPersistent* source) {
  auto* o = dynamic_cast<TRegistryEntry*>(source);
  if (!o) return TCollectionItem::Assign(source);
  entryType_ = o->entryType_;
  ident_ = o->ident_;
  text_ = o->text_;
  integer_ = o->integer_;
  boolean_ = o->boolean_;
  pathSpecifier_ = o->pathSpecifier_;
  if (pathSpecifier_ && owner_) pathSpecifier_->FreeNotification(owner_);
}

void TRegistryEntry::PublishProperties(TPropList& list) const {
  TCollectionItem::PublishProperties(list);
  using C = TRegistryEntry;
  list.push_back(EnumProp<C>("EntryType", {"retText", "retInteger", "retBoolean"}, &C::EntryType, &C::SetEntryType));
  list.push_back(StrProp<C>("Ident", &C::Ident, &C::SetIdent));
  list.push_back(StrProp<C>("Text", &C::Text, &C::SetText));
  list.push_back(IntProp<C>("Integer", &C::Integer, &C::SetInteger));
  list.push_back(BoolProp<C>("Boolean", &C::Boolean, &C::SetBoolean));
  list.push_back(ObjProp<C, TCustomPathSpecifier>("PathSpecifier", &C::PathSpecifier, &C::SetPathSpecifier));
}

// ---------------------------------------------------------------------------

TRegistryEntries::TRegistryEntries(TCustomInstallRegistry* owner)
    : TCollection(CollectionItemFactory<TRegistryEntry>(), owner), owner_(owner) {
  if (!owner) throw IERegistryEntries("Cannot create a TRegistryEntries component with a Nil Owner");
}

// ---------------------------------------------------------------------------

TCustomInstallRegistry::TCustomInstallRegistry(TComponent* owner) : TInstallObject(owner) {
  installable_ = 1;
  entries_ = new TRegistryEntries(this);
  AddRegistryObject(this);
}

TCustomInstallRegistry::~TCustomInstallRegistry() {
  auto& list = RegistryObjects();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  delete entries_;
}

void TCustomInstallRegistry::SetKey(const std::string& value) {
  key_ = !IsLoading() && keySpecifierType_ != ksAbsolute ? std::string() : value;
}

void TCustomInstallRegistry::SetKeySpecifierType(TKeySpecifier value) {
  if (IsLoading()) {
    keySpecifierType_ = value;
    return;
  }
  if (value != ksAbsolute) {
    if (!InstallDriver()) throw IEInstallRegistry(kNoDriver);
    key_.clear();
    rootKey_ = hkLocalMachine;
  }
  keySpecifierType_ = value;
}

void TCustomInstallRegistry::SetEntries(TRegistryEntries* value) {
  if (value && value != entries_) entries_->Assign(value);
}

std::string TCustomInstallRegistry::KeyPath() {
  if (keySpecifierType_ == ksAbsolute) return ExcludeTrailingBackslash(key_);
  TInstallInformation* info = InstallDriverInformation();
  if (!info) throw IEInstallRegistry(kNoDriver);
  std::string path = "\\SOFTWARE\\" + info->CompanyName;
  if (keySpecifierType_ == ksCompanyName) return path;
  path += "\\" + info->ProductName;
  if (keySpecifierType_ == ksProductName) return path;
  return path + "\\" + info->Version;
}

void TCustomInstallRegistry::Process() {
  for (int i = 0; i < entries_->Count(); ++i) {
    TRegistryEntry* entry = entries_->Items(i);
    bool write = true;
    if (OnBeforeWriteEntry) OnBeforeWriteEntry(this, entry, write);
    if (!write) continue;
    std::string key = KeyPath();
    if (!CreateRegistryKey(rootKey_, key))
      throw IERegistryEntry("%s cannot create the key %s in the registry", {Name(), key});
    switch (entry->EntryType()) {
      case retText:
        WriteRegistryString(rootKey_, key, entry->Ident(), entry->EntryText());
        break;
      case retInteger:
        WriteRegistryInteger(rootKey_, key, entry->Ident(), entry->Integer());
        break;
      case retBoolean:
        WriteRegistryInteger(rootKey_, key, entry->Ident(), entry->Boolean() ? 1 : 0);
        break;
    }
  }
  TInstallObject::Process();
}

void TCustomInstallRegistry::WriteUninstallLog(const std::string& key) {
  const std::string keys = key + "\\RegistryKeys";
  int n = StrToIntDef(ReadRegistryString(hkLocalMachine, keys, "Entries", "0"), 0) + 1;
  WriteRegistryString(hkLocalMachine, keys, "Entries", IntToStr(n));
  const std::string own = keys + "\\RegistryKey" + IntToStr(n);
  WriteRegistryString(hkLocalMachine, own, "Key", KeyPath());
  WriteRegistryInteger(hkLocalMachine, own, "Root", static_cast<int>(rootKey_));
  for (int i = 0; i < entries_->Count(); ++i) {
    TRegistryEntry* entry = entries_->Items(i);
    WriteRegistryString(hkLocalMachine, own + "\\Entries", entry->Ident(), entry->EntryText());
  }
}

void TCustomInstallRegistry::ContainerDestroyed(TInstallContainer* other) {
  TInstallObject::ContainerDestroyed(other);
  // The driver unregisters itself before the others hear of it going.
  if (!InstallDriver() && keySpecifierType_ != ksAbsolute) keySpecifierType_ = ksAbsolute;
}

void TCustomInstallRegistry::Loaded() {
  TInstallObject::Loaded();
  for (int i = 0; i < entries_->Count(); ++i) entries_->Items(i)->SetRegistryObject(this);
  if (keySpecifierType_ != ksAbsolute) key_.clear();
}

void TCustomInstallRegistry::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation != opRemove) return;
  for (int i = 0; i < entries_->Count(); ++i)
    if (entries_->Items(i)->PathSpecifier() == component) entries_->Items(i)->DropPathSpecifier();
}

void TCustomInstallRegistry::PublishProperties(TPropList& list) const {
  TInstallObject::PublishProperties(list);
  using C = TCustomInstallRegistry;
  list.push_back(EnumProp<C>("RootKey",
                             {"hkClassesRoot", "hkCurrentConfig", "hkCurrentUser", "hkDynData", "hkLocalMachine",
                              "hkUsers"},
                             &C::RootKey, &C::SetRootKey));
  list.push_back(StrProp<C>("Key", &C::Key, &C::SetKey));
  list.push_back(EnumProp<C>("KeySpecifierType", {"ksAbsolute", "ksCompanyName", "ksProductName", "ksVersion"},
                             &C::KeySpecifierType, &C::SetKeySpecifierType));
  list.push_back(ObjProp<C, TRegistryEntries>("Entries", &C::Entries, &C::SetEntries));
}
