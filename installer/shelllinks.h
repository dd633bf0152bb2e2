// The program's menu folders and its shortcuts: a main program-menu
// folder, sub-folders below it, shell links (".LNK" files, or Program
// Manager items on systems without the shell's link object) and Internet
// shortcuts (".URL").  Every link made is logged for the uninstaller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "container.h"

class TCustomShellLinkGroup : public TInstallObject {
 public:
  explicit TCustomShellLinkGroup(TComponent* owner);
  int RegisteredType() const override { return rtShellLinkGroup; }
  void Process() override;
  // A group goes with its container.
  void ContainerDestroyed(TInstallContainer* other) override;
};

class TMainLinkGroup : public TCustomShellLinkGroup {
 public:
  explicit TMainLinkGroup(TComponent* owner);
  ~TMainLinkGroup() override;
  // Always the program menu.
  void SetDestDirType(TCustomPathSpecifier* value) override;
  void SetContainer(TInstallContainer* value) override;
  void Loaded() override;
};

class TSubLinkGroup : public TCustomShellLinkGroup {
 public:
  explicit TSubLinkGroup(TComponent* owner);
  ~TSubLinkGroup() override;
  // Always the main group's folder.
  void SetDestDirType(TCustomPathSpecifier* value) override;
  void SetContainer(TInstallContainer* value) override;
  void Loaded() override;
};

enum TMethodType { mtAutoDetect, mtShellLinkInterface, mtProgramManager };

class TCustomInstallShellLink : public TInstallObject {
 public:
  explicit TCustomInstallShellLink(TComponent* owner);
  ~TCustomInstallShellLink() override;
  int RegisteredType() const override { return rtShellLink; }

  const std::string& LinkName() const { return linkName_; }
  void SetLinkName(const std::string& value);
  TInstallContainer* ObjectLink() const { return objectLink_; }
  void SetObjectLink(TInstallContainer* value);
  const std::string& ObjectLocation() const { return objectLocation_; }
  void SetObjectLocation(const std::string& value);
  TCustomPathSpecifier* ObjectLocationType() const { return objectLocationType_; }
  void SetObjectLocationType(TCustomPathSpecifier* value);
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& value) { parameters_ = value; }
  uint16_t HotKey() const { return hotKey_; }
  void SetHotKey(uint16_t value) { hotKey_ = value; }
  TMethodType Method() const { return method_; }
  void SetMethod(TMethodType value) { method_ = value; }

  // What the link points at, and where the link file is made.
  std::string TargetPath();
  std::string LinkPath();
  // The file or group folder of ObjectLink.
  std::string ObjectLinkPath();

  void Process() override;
  void WriteUninstallLog(const std::string& key) override;
  void ContainerDestroyed(TInstallContainer* other) override;
  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  void MakeShellLink();
  void MakeInternetShortcut();
  void MakeProgramManagerItem();

 private:
  std::string linkName_;
  TInstallContainer* objectLink_ = nullptr;
  std::string objectLocation_;
  TCustomPathSpecifier* objectLocationType_ = nullptr;
  std::string parameters_;
  uint16_t hotKey_ = 0;
  TMethodType method_ = mtAutoDetect;
  bool comInitialized_ = false;
};

class TInstallShellLink : public TCustomInstallShellLink {
 public:
  using TCustomInstallShellLink::TCustomInstallShellLink;
};

class TInstallMainLink : public TCustomInstallShellLink {
 public:
  explicit TInstallMainLink(TComponent* owner);
  void SetContainer(TInstallContainer* value) override;
};

class TInstallSubLink : public TCustomInstallShellLink {
 public:
  explicit TInstallSubLink(TComponent* owner);
  void SetContainer(TInstallContainer* value) override;
};

// Makes the groups, links, registry objects and the uninstaller known to
// the setup form's loader.
void RegisterLinkAndRegistryClasses();

// The program-wide lists.
TMainLinkGroup* MainLinkGroup();

// What is wrong with a program-menu folder the user typed (parts joined by
// backslashes, below the programs folder): it must stay inside the
// programs folder, and each part must be a name a folder can have.
enum TProgramFolderFault { pffNone, pffLeavesPrograms, pffBadName };
TProgramFolderFault CheckProgramFolderName(const std::string& name);
const std::vector<TSubLinkGroup*>& SubLinkGroupList();
const std::vector<TCustomInstallShellLink*>& InstallShellLinkList();

// ---- what the platform half provides ----

// An OLE call of the shell-link object failed with Code.
class EShellLinkOle : public Exception {
 public:
  EShellLinkOle(long code, const std::string& message) : Exception(message), Code(code) {}
  long Code;
};

// CoInitialize's result for this thread.
long InitializeShellLinks();
// Saves a shell link at linkPath; OLE failures raise EShellLinkOle, a
// path that does not fit the wide buffer raises Exception.
void SaveShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                   const std::string& workingDir, uint16_t hotKey);
// Writes one value into an INI file; false when it could not.
bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);
