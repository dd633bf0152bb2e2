// The install object tree.  Every installable thing of the setup form is a
// container; its children are kept in install order (by registered type,
// then by Order), and it carries the install messages: negative codes are
// broadcast to its dialog children, positive codes are reported upwards by
// files to their file containers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "exceptions.h"
#include "installinfo.h"
#include "installmsg.h"
#include "netlocation.h"
#include "pathspec.h"

enum TInstallType { itFull, itDefault, itCompact, itAlways, itCustom };

class TInstallTypeSet {
 public:
  TInstallTypeSet() = default;
  TInstallTypeSet(std::initializer_list<TInstallType> types) {
    for (TInstallType t : types) Include(t);
  }
  static TInstallTypeSet FromBits(unsigned bits) {
    TInstallTypeSet s;
    s.bits_ = bits & 0x1F;
    return s;
  }
  unsigned Bits() const { return bits_; }
  bool Contains(TInstallType t) const { return (bits_ >> t) & 1u; }
  void Include(TInstallType t) { bits_ |= 1u << t; }
  void Exclude(TInstallType t) { bits_ &= ~(1u << t); }
  bool Empty() const { return bits_ == 0; }
  bool operator==(const TInstallTypeSet& o) const { return bits_ == o.bits_; }
  bool operator!=(const TInstallTypeSet& o) const { return bits_ != o.bits_; }

 private:
  unsigned bits_ = 0;
};

// Registered types: the install order of siblings.
enum : int {
  rtFileContainer = 1000,
  rtInstallFile = 2000,
  rtShellLinkGroup = 7000,
  rtShellLink = 8000,
  rtInstallRegistry = 8500,
  rtDialog = 9000,
};

class TInstallContainer;
class TFileRelated;
using TInstallContainerNotifyEvent = std::function<void(TInstallContainer* Sender)>;

class TInstallContainer : public TComponent {
 public:
  explicit TInstallContainer(TComponent* owner);
  ~TInstallContainer() override;

  // Published.
  bool Include() const { return include_; }
  void SetInclude(bool value) { include_ = value; }
  TInstallTypeSet InstallTypes() const { return installTypes_; }
  void SetInstallTypes(TInstallTypeSet value);
  int Order() const { return order_; }
  void SetOrder(int value);
  const std::string& DestDir() const { return destDir_; }
  virtual void SetDestDir(const std::string& value);
  TCustomPathSpecifier* DestDirType() const { return destDirType_; }
  virtual void SetDestDirType(TCustomPathSpecifier* value);
  TInstallContainerNotifyEvent OnAfterProcess;
  TInstallContainerNotifyEvent OnBeforeProcess;
  // Not published: called when an included object starts installing.
  TInstallContainerNotifyEvent OnIncluded;

  // Run state.
  bool Processed() const { return processed_; }
  void SetProcessed(bool value) { processed_ = value; }
  uint8_t Installable() const { return installable_; }
  TInstallType CurrentInstallType() const { return currentInstallType_; }
  // Sets the type on every object below, depth first, then here.
  void SetCurrentInstallType(TInstallType type);
  TInstallContainer* MessageTarget() const { return messageTarget_; }
  void SetMessageTarget(TInstallContainer* target) { messageTarget_ = target; }

  // Children in install order.
  int ChildrenCount() const { return static_cast<int>(children_.size()); }
  TInstallContainer* Children(int index) const;
  int ChildCount(int registeredType) const;
  TInstallContainer* Child(int index, int registeredType) const;

  // The install-type part of the included test.
  bool InstallTypeMatches() const;
  // Include and the install-type test together.
  bool Included() const { return include_ && InstallTypeMatches(); }

  void SendInstallMessage(TInstallContainer* sender, int code, TObject* parameter);
  void PopStatus();
  // Order 0, 1, 2, ... restarting with each registered type.
  void Renumber();

  virtual int FileContainerCount();
  virtual TInstallContainer* FileContainers(int index);
  virtual void ContainerDestroyed(TInstallContainer* other);
  virtual void PushStatus(const std::string& text);
  virtual void ChildNotify(TInstallContainer* sender, int code, TObject* parameter);
  virtual void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter);
  virtual std::string GetDestDir();
  virtual int RegisteredType() const;
  virtual void AddChild(TInstallContainer* child);
  virtual void Install();
  virtual void Process();
  virtual void AfterReboot();
  virtual void Retranslate();
  virtual void RemoveChild(TInstallContainer* child);
  virtual void WriteUninstallLog(const std::string& key);

  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  bool IsLoading() const { return (ComponentState() & csLoading) != 0; }
  uint8_t installable_ = 0;
  bool destDirTypeStreamed_ = false;

 private:
  std::vector<TInstallContainer*> children_;
  bool include_ = true;
  bool processed_ = false;
  TInstallTypeSet installTypes_{itAlways};
  TInstallType currentInstallType_ = itAlways;
  TInstallContainer* messageTarget_ = nullptr;
  int order_ = -1;
  std::string destDir_;
  TCustomPathSpecifier* destDirType_ = nullptr;
};

class TInstallObject : public TInstallContainer {
 public:
  explicit TInstallObject(TComponent* owner);
  TInstallContainer* Container() const { return container_; }
  // A new object dropped on a designed form joins the driver with the
  // driver's folder.  It needs the object's registered type, which the
  // constructor cannot ask yet, so the designer calls it once the object
  // is built.
  void JoinDriver();
  virtual void SetContainer(TInstallContainer* value);

  void ContainerDestroyed(TInstallContainer* other) override;
  void Loaded() override;
  void PublishProperties(TPropList& list) const override;

 private:
  TInstallContainer* container_ = nullptr;
  bool createdDesigning_ = false;
  bool containerStreamed_ = false;
};

class TFileContainer;

class TFileRelated : public TInstallObject {
 public:
  explicit TFileRelated(TComponent* owner);
  ~TFileRelated() override;
  const std::string& ArchiveFile() const { return archiveFile_; }
  virtual void SetArchiveFile(const std::string& value);
  TCustomPathSpecifier* ArchiveFileType() const { return archiveFileType_; }
  virtual void SetArchiveFileType(TCustomPathSpecifier* value);
  // The specifier's expansion followed by ArchiveFile, no trailing backslash.
  virtual std::string GetArchivePath();
  bool Net() const { return net_; }
  virtual void SetNet(bool value) { net_ = value; }
  TNetInstallLocation* NetLocation() const { return netLocation_; }
  virtual void SetNetLocation(TNetInstallLocation* value);
  TDataReceivedEvent OnDataReceived;

  // The downloaded copy of this object's archive part ("" before).
  const std::string& LocalArchive() const { return localArchive_; }
  // Reports one block of this object's download up the tree.
  virtual void DownloadProgress(const std::string& name, int32_t bytes, int32_t received, int32_t total);
  // Downloads this object's archive part into a temporary file.
  virtual void Download();
  // A local archive that still exists, taken from the run record when
  // this run has none yet.
  virtual bool HasLocalArchive();
  virtual void RecordLocalArchive(const std::string& path);
  // The file container this object belongs to, or nil.
  TFileContainer* FileContainer() const;

  // What a status report of a file that needed no transfer shows.
  virtual int32_t StatusFileSize() { return 0; }
  virtual std::string StatusFileName() { return Name(); }

  void SetContainer(TInstallContainer* value) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;

 private:
  std::string archiveFile_;
  TCustomPathSpecifier* archiveFileType_ = nullptr;
  bool net_ = false;
  TNetInstallLocation* netLocation_ = nullptr;
  std::string localArchive_;
};

enum TFileContainerState { fcsNone, fcsCompress, fcsInstall, fcsCopy };

using TInstallFileNotifyEvent = std::function<void(TObject* Sender, TFileRelated* File)>;
using TInstallFileStatusEvent = std::function<void(TObject* Sender, TFileRelated* File, TFileStatusParameter* Status)>;
using TInstallFileNewDiskEvent =
    std::function<void(TObject* Sender, TFileRelated* File, int DiskNumber, std::string& Path)>;

class TCustomInstallFile;
using TAfterProcessFilesEvent = std::function<void(TObject* Sender, bool Aborted)>;

// Options of a build's Compress.
enum : unsigned {
  coForceNetFilesLocal = 1,  // every file goes into the local archives
  coForceFilesNet = 2,       // every file goes into its web part
  coIncludeAll = 4,          // excluded files too
};

// Files, groups and the driver build on it.
class TFileContainer : public TFileRelated {
 public:
  explicit TFileContainer(TComponent* owner);
  ~TFileContainer() override;
  int RegisteredType() const override { return rtFileContainer; }

  bool AllowChangeDir() const { return allowChangeDir_; }
  void SetAllowChangeDir(bool value) { allowChangeDir_ = value; }
  bool AllowChoice() const { return allowChoice_; }
  void SetAllowChoice(bool value) { allowChoice_ = value; }
  TStrings* Description() const { return description_; }
  void SetDescription(TStrings* value);
  virtual std::string GroupName() const { return groupName_; }
  virtual void SetGroupName(const std::string& value) { groupName_ = value; }

  TFileContainerState State() const { return state_; }
  // Runs that operation, then the state is fcsNone again.
  virtual void SetState(TFileContainerState value);
  // The state an operation runs in, without running anything.
  void SetRunState(TFileContainerState value) { state_ = value; }
  // The included size of the run and the bytes of files finished so far.
  int64_t TotalSize() const { return totalSize_; }
  void SetTotalSize(int64_t value) { totalSize_ = value; }
  int64_t BytesDoneTotal() const { return bytesDone_; }
  void SetBytesDoneTotal(int64_t value) { bytesDone_ = value; }

  TInstallFileNewDiskEvent OnNewDisk;
  TInstallFileNotifyEvent OnReplacing;
  TInstallFileStatusEvent OnStatus;
  TInstallContainerNotifyEvent OnShowCopyFileDlg;
  TAfterProcessFilesEvent OnCloseCopyFileDlg;

  virtual void NewDisk(TFileRelated* file, TDiskParameter* disk);
  virtual void Replacing(TFileRelated* file);
  virtual void Status(TFileRelated* file, TFileStatusParameter* status);
  // Archive sizes of the included files (all with All); Deep adds the
  // included sub-containers.
  virtual int64_t SizeSum(bool all, bool deep);
  virtual void Copy();
  // Frees every install file of this container.
  virtual void ClearFiles();
  virtual void Compress(unsigned options);
  // The file (here or below) whose source is path, case-free.
  virtual TCustomInstallFile* FindFile(const std::string& path);
  virtual int64_t CompressedSizeSum(bool all);
  virtual std::string LocalArchivePath() { return LocalArchive(); }
  virtual int64_t ShallowSize(bool all) { return SizeSum(all, false); }
  virtual int64_t DeepSize(bool all) { return SizeSum(all, true); }
  virtual void ReadArchiveInfo();
  virtual void ReadSourceInfo();
  virtual bool NeedsDownload();

  void Process() override;
  void ChildNotify(TInstallContainer* sender, int code, TObject* parameter) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  // The files of this container, and its file containers, in install order.
  std::vector<TCustomInstallFile*> Files() const;
  std::vector<TFileContainer*> SubContainers() const;
  // The archives this build writes; each is deleted before its first file.
  void CompressInto(unsigned options, std::vector<std::string>& cleared);

 private:
  void FillOverall(TFileStatusParameter* status);
  TFileRelated* FileParameter(TObject* parameter);
  TFileContainerState state_ = fcsNone;
  int64_t totalSize_ = 0;
  int64_t bytesDone_ = 0;
  bool allowChangeDir_ = true;
  bool allowChoice_ = true;
  TStringList* description_;
  std::string groupName_;
};

// Every live install container, in creation order.
const std::vector<TInstallContainer*>& InstallObjectList();
// The root of the tree (the install driver) and its product information;
// the driver registers itself, nullptr clears it.
void RegisterInstallDriver(TInstallContainer* driver, TInstallInformation* information);
TInstallContainer* InstallDriver();
// What the driver must be owned by; a container owned by one creates the
// standard path specifiers that the form lacks.
bool IsFormOrDataModule(TComponent* component);

extern const char* const UninstallKeyPrefix;
