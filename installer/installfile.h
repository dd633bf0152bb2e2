// Install files and file groups: each file is taken from its archive
// (downloaded first when it lives on the network), compared with what the
// machine has, written, registered and logged for the uninstaller.  A
// destination in use is replaced at the next reboot.  While designing, the
// same components compress their sources into archives and copy them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compress.h"
#include "container.h"
#include "versionres.h"

enum TDistributeType { dtTraditional, dtWeb, dtTraditionalNet };

// What the files need of the install driver, which fills these in; an
// empty hook reads as "no driver" (not running, no run record, the
// distribution type dtTraditionalNet).
struct TInstallDriverHooks {
  std::function<TDistributeType()> DistributeType;
  // "\SOFTWARE\Quenlow\Install\<run>", or "" when the run is not recorded.
  std::function<std::string()> RunKeyPath;
  std::function<void(const std::string& name, int kind)> AddUnfinished;
  std::function<void()> SetRebootNeeded;
  // True while the driver runs an installation.
  std::function<bool()> Running;
  // Build side: the folder below which the web parts are written.
  std::function<std::string()> NetworkPath;
};
TInstallDriverHooks& InstallDriverHooks();
TDistributeType CurrentDistributeType();

// Platform calls that tests replace to take the other branches.
struct TInstallFileSystem {
  // As GetWindowsVersion: 1 for the Windows 95 family, 2 for NT.
  std::function<int()> WindowsVersion;
  // Registers 'from' to be moved onto 'to' when Windows restarts.
  std::function<bool(const std::string& from, const std::string& to)> MoveFileAtReboot;
};
TInstallFileSystem& InstallFileSystem();

// The network location shared by the install objects and the driver, made
// with the first install file when nobody made one before.
TNetInstallLocation* SharedNetInstallLocation();

// The archive reader shared by the whole installation.
TQnlwCompress* GlobalArchiveReader();
// True once the user cancelled the copy: the copy page's Cancel sets the
// shared reader's abort flag and the download flag.  Every extraction
// clears its reader's flag when it starts, so the run asks this between
// files too, or a Cancel that came after a file's last buffer would be
// lost with the next file.
bool InstallCopyCancelled();

enum TInstallFileType { iftNormal, iftJustADLL, iftApplicationSpecificDLL, iftVendorSharedDLL, iftSystemWideDLL };
enum TInstallFileState { ifsNone, ifsCompress, ifsInstall, ifsCopying };

// One entry of a development environment's object repository.
class TObjectRepositoryEntry : public TPersistent {
 public:
  std::string Name, Page, Type, Description, Author, Icon, Ancestor;
  bool OverwriteSameFileName = true;
  bool RaiseExceptionOnFailure = false;
  bool RegisterIt = false;
  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;
  // Writes the entry for the installed file into environment 'ide'.
  void Write(int ide, const std::string& destPath, const std::string& destDir);
};

class TRepository : public TPersistent {
 public:
  TRepository();
  TObjectRepositoryEntry* Entry(int i) const { return entries_[i].get(); }
  TObjectRepositoryEntry* Entry1() const { return Entry(0); }
  TObjectRepositoryEntry* Entry2() const { return Entry(1); }
  TObjectRepositoryEntry* Entry3() const { return Entry(2); }
  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;

 private:
  std::unique_ptr<TObjectRepositoryEntry> entries_[3];
};

class TInstallFileGroup : public TFileContainer {
 public:
  explicit TInstallFileGroup(TComponent* owner);
  TlzhCommand AddToArchive() const { return addToArchive_; }
  void SetAddToArchive(TlzhCommand value) { addToArchive_ = value; }
  // "Group #" with the number of file containers of its container, or
  // "Unnamed File Group", while none is set.
  std::string GroupName() const override;
  // Frees every file whose source no longer exists.
  void RemoveMissingFiles();
  void PublishProperties(TPropList& list) const override;

 private:
  TlzhCommand addToArchive_ = lzcOverwrite;
};

class TCustomInstallFile : public TFileRelated {
 public:
  explicit TCustomInstallFile(TComponent* owner);
  ~TCustomInstallFile() override;
  int RegisteredType() const override { return rtInstallFile; }

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& value);
  const std::string& IncludeFromDir() const { return includeFromDir_; }
  void SetIncludeFromDir(const std::string& value);
  const std::string& DestName() const { return destName_; }
  void SetDestName(const std::string& value);
  TlzhCommand AddToArchive() const { return addToArchive_; }
  void SetAddToArchive(TlzhCommand value) { addToArchive_ = value; }
  bool ActiveX() const { return activeX_; }
  void SetActiveX(bool value);
  TInstallFileType FileType() const { return fileType_; }
  void SetFileType(TInstallFileType value);
  TOverwriteType OverwriteMode() const { return overwriteMode_; }
  void SetOverwriteMode(TOverwriteType value) { overwriteMode_ = value; }
  bool RegisterAsHelp() const { return registerAsHelp_; }
  void SetRegisterAsHelp(bool value) { registerAsHelp_ = value; }
  bool UpdateDLLCounter() const { return updateDLLCounter_; }
  void SetUpdateDLLCounter(bool value) { updateDLLCounter_ = value; }
  TRepository* Repository() const { return repository_.get(); }
  TInstallFileState State() const { return state_; }
  // Runs compress, install or copy of this file, then ifsNone again.
  void SetState(TInstallFileState value);

  TInstallFileNotifyEvent OnBeforeInstall, OnAfterInstall, OnBeforeCopy, OnAfterCopy, OnBeforeCompress,
      OnAfterCompress, OnReplacing;
  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;

  // Archive information, from the archive's header or the remote list.
  int32_t ArchiveCompressedSize() const { return archiveCompressedSize_; }
  TDateTime ArchiveDate() const { return archiveDate_; }
  int32_t ArchiveSize() const { return archiveSize_; }
  const std::string& ArchiveVersion() const { return archiveVersion_; }
  void SetArchiveInfo(int32_t compressedSize, TDateTime date, int32_t size, const std::string& version);

  // Run flags.
  bool ReplaceDecided() const { return replaceDecided_; }
  bool Deferred() const { return deferred_; }
  bool DestExisted() const { return destExisted_; }
  bool Compressed() const { return compressed_; }
  bool CompressedNet() const { return compressedNet_; }
  void ClearBuildMarks() { compressed_ = compressedNet_ = false; }

  // IncludeFromDir, a backslash and FileName: the archive entry's name.
  std::string SourcePath() const;
  // The destination directory, a backslash and DestName.
  std::string DestPath();
  // Where the extraction writes: the destination, or the free name beside
  // it when the destination is in use.
  const std::string& WrittenPath() const { return writtenPath_; }

  // A page that asked for the next disk itself marks the file, so that no
  // second prompt follows.
  void MarkDiskHandled() { diskHandled_ = true; }
  // Whether this file's archive part lies on the network in this run.
  bool IsNetFile() const;
  void ReadArchiveInfo();
  // Date, size and file version of the source.
  void ReadSourceInfoOf(const std::string& path);
  void ReadSourceInfo() { ReadSourceInfoOf(SourcePath()); }
  // The source's version information asks for self-registration.
  bool HasSelfRegisterInfo();
  bool IncrementSharedDLLCount();
  void RegisterActiveX();
  // Compresses the file on its own: into its archive, replaced or added
  // to by AddToArchive.
  void Compress(unsigned options);
  // Adds the file to archive (a container's build).
  void CompressInto(const std::string& archive, TlzhCommand command, unsigned options);
  // The archive a build with these options puts the file in.
  std::string BuildArchivePath(unsigned options);
  void Copy();

  void Process() override;
  void AfterReboot() override;
  void WriteUninstallLog(const std::string& key) override;
  void SetContainer(TInstallContainer* value) override;
  void SetDestDirType(TCustomPathSpecifier* value) override;
  int32_t StatusFileSize() override { return archiveSize_; }
  std::string StatusFileName() override { return DestName(); }
  void PublishProperties(TPropList& list) const override;

 protected:
  virtual void ReplaceInUse();

 private:
  void Guess();
  void CheckDuplicate(TInstallContainer* container, const std::string& path);
  void CheckShortName(const std::string& name, TInstallFileType type);
  bool DecideWrite();
  void Extract();
  void ScheduleReplaceAtReboot();
  void AfterInstallSteps();
  void Notify(int code, TObject* parameter);
  void HookReader(TQnlwCompress* reader, int statusCode);
  void ReaderNewDisk(TQnlwCompress* reader, int disk, std::string& path);
  void ReaderStatus(const TlzhFileStats& stats, int code);
  std::string ArchiveToRead();
  TQnlwCompress* ReaderFor(const std::string& archive, std::unique_ptr<TQnlwCompress>& own);

  std::string fileName_, includeFromDir_, destName_;
  TlzhCommand addToArchive_ = lzcOverwrite;
  bool activeX_ = false;
  TInstallFileType fileType_ = iftNormal;
  TOverwriteType overwriteMode_ = owAlways;
  bool registerAsHelp_ = false;
  bool updateDLLCounter_ = false;
  std::unique_ptr<TRepository> repository_;
  TInstallFileState state_ = ifsNone;

  int32_t archiveCompressedSize_ = 0;
  TDateTime archiveDate_ = 0;
  int32_t archiveSize_ = 0;
  std::string archiveVersion_;

  bool replaceDecided_ = false, deferred_ = false, destExisted_ = false;
  bool compressed_ = false, compressedNet_ = false;
  bool diskHandled_ = false;
  std::string writtenPath_;
};

class TInstallFile : public TCustomInstallFile {
 public:
  using TCustomInstallFile::TCustomInstallFile;
};

// Every live install file, in creation order.
const std::vector<TCustomInstallFile*>& InstallFileList();
// Files whose ActiveX registration failed during their install in a run;
// the driver registers them again after the whole tree.
std::vector<TCustomInstallFile*>& ActiveXQueue();
// Registers the queued files in queue order; a failure ends it with its
// exception.
void RegisterActiveXQueue();

const char* const SharedDLLsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const HelpKey = "\\SOFTWARE\\Microsoft\\Windows\\Help";
