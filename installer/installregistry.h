// Registry objects: one key with a list of typed values, written after the
// files and links of their container, and logged for the uninstaller.
#pragma once

#include <functional>
#include <string>

#include "container.h"
#include "kitroutines.h"

// What the registry objects, links and the uninstaller need of the install
// driver beyond the files' hooks.  The driver fills Information; while it
// is empty, the Information property the driver publishes is used.
struct TInstallDriverInfoHooks {
  std::function<TInstallInformation*()> Information;
  // The kit's own directory on the building machine (the library search
  // path entry holding the kit's marker file); "" or an exception when it
  // cannot be found.
  std::function<std::string()> KitDirectory;
};
TInstallDriverInfoHooks& InstallDriverInfoHooks();
// The driver's product information, or nil when there is no driver.
TInstallInformation* InstallDriverInformation();

enum TKeySpecifier { ksAbsolute, ksCompanyName, ksProductName, ksVersion };
enum TRegistryEntryType { retText, retInteger, retBoolean };

class TCustomInstallRegistry;
class TRegistryEntries;

class TRegistryEntry : public TCollectionItem {
 public:
  explicit TRegistryEntry(TCollection* collection);
  ~TRegistryEntry() override;

  TRegistryEntryType EntryType() const { return entryType_; }
  void SetEntryType(TRegistryEntryType value) { entryType_ = value; }
  const std::string& Ident() const { return ident_; }
  void SetIdent(const std::string& value) { ident_ = value; }
  const std::string& Text() const { return text_; }
  void SetText(const std::string& value);
  int Integer() const { return integer_; }
  void SetInteger(int value);
  bool Boolean() const { return boolean_; }
  void SetBoolean(bool value);
  TCustomPathSpecifier* PathSpecifier() const { return pathSpecifier_; }
  void SetPathSpecifier(TCustomPathSpecifier* value);

  // The registry object the entry belongs to.
  TCustomInstallRegistry* RegistryObject() const { return owner_; }
  void SetRegistryObject(TCustomInstallRegistry* value);
  // Text with every "%p" replaced by the specifier's expansion.
  std::string EntryText();
  // The specifier went away: the entry keeps its type and text.
  void DropPathSpecifier() { pathSpecifier_ = nullptr; }

  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;

 private:
  bool Loading() const;
  TRegistryEntryType entryType_ = retText;
  std::string ident_;
  std::string text_;
  int integer_ = 0;
  bool boolean_ = false;
  TCustomPathSpecifier* pathSpecifier_ = nullptr;
  TCustomInstallRegistry* owner_ = nullptr;
};

class TRegistryEntries : public TCollection {
 public:
  explicit TRegistryEntries(TCustomInstallRegistry* owner);
  TRegistryEntry* Items(int index) const { return static_cast<TRegistryEntry*>(TCollection::Items(index)); }
  TRegistryEntry* Add() { return static_cast<TRegistryEntry*>(TCollection::Add()); }
  TCustomInstallRegistry* RegistryObject() const { return owner_; }

 private:
  TCustomInstallRegistry* owner_;
};

using TBeforeWriteEntry = std::function<void(TObject* Sender, TRegistryEntry* Entry, bool& Write)>;

class TCustomInstallRegistry : public TInstallObject {
 public:
  explicit TCustomInstallRegistry(TComponent* owner);
  ~TCustomInstallRegistry() override;
  int RegisteredType() const override { return rtInstallRegistry; }

  TRootKeys RootKey() const { return rootKey_; }
  void SetRootKey(TRootKeys value) { rootKey_ = value; }
  const std::string& Key() const { return key_; }
  void SetKey(const std::string& value);
  TKeySpecifier KeySpecifierType() const { return keySpecifierType_; }
  void SetKeySpecifierType(TKeySpecifier value);
  TRegistryEntries* Entries() const { return entries_; }
  void SetEntries(TRegistryEntries* value);
  TBeforeWriteEntry OnBeforeWriteEntry;

  // The key that is written, from the specifier type.
  std::string KeyPath();

  void Process() override;
  void WriteUninstallLog(const std::string& key) override;
  void ContainerDestroyed(TInstallContainer* other) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;
  bool LoadingNow() const { return IsLoading(); }

 private:
  TRootKeys rootKey_ = hkLocalMachine;
  std::string key_ = "\\SOFTWARE\\MyStuff";
  TKeySpecifier keySpecifierType_ = ksAbsolute;
  TRegistryEntries* entries_;
};

class TInstallRegistry : public TCustomInstallRegistry {
 public:
  using TCustomInstallRegistry::TCustomInstallRegistry;
};

// Every live registry object, in creation order.
const std::vector<TCustomInstallRegistry*>& InstallRegistryList();

// Opens, creating, the key under root; false when it cannot.
bool CreateRegistryKey(TRootKeys root, const std::string& key);
