#include "installfile.h"

#include <algorithm>

#include "filetime.h"
#include "installfile_sys.h"
#include "kitroutines.h"
#include "translator.h"

namespace {

std::vector<TCustomInstallFile*>& AllFiles() {
  static std::vector<TCustomInstallFile*> list;
  return list;
}

template <class F>
class Finally {
 public:
  explicit Finally(F f) : f_(std::move(f)) {}
  ~Finally() { f_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  F f_;
};
template <class F>
Finally<F> OnExit(F f) {
  return Finally<F>(std::move(f));
}

const char kDestBlank[] =
    "Cannot compress,copy, or install the following file because it's destination directory is blank. File is :%s";
const char kArchiveBlank[] =
    "Cannot either compress or decompress the following file because it's archive file property is blank. File "
    "is :%s";

bool DriverRunning() {
  auto& h = InstallDriverHooks();
  return h.Running && h.Running();
}

std::string RunKeyPath() {
  auto& h = InstallDriverHooks();
  return h.RunKeyPath ? h.RunKeyPath() : std::string();
}

TFileRelated* DriverObject() { return dynamic_cast<TFileRelated*>(InstallDriver()); }

std::string UpperExt(const std::string& name) { return UpperCase(ExtractFileExt(name)); }

bool IsExecutableExt(const std::string& name) {
  std::string ext = UpperExt(name);
  return ext == ".DLL" || ext == ".OCX" || ext == ".BLL" || ext == ".EXE";
}

// The next free "<name>.<n>" of the destination's folder, for a file
// written aside while the destination is in use.
std::string FreeSideName(const std::string& destPath) {
  for (int n = 1; n < 10000; ++n) {
    std::string candidate = ChangeFileExt(destPath, "." + IntToStr(n));
    if (!FileExists(candidate) && !DirectoryExists(candidate)) return candidate;
  }
  throw IECustomInstallFile("Cannot find a free name beside %s", {destPath});
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

TInstallDriverHooks& InstallDriverHooks() {
  static TInstallDriverHooks hooks;
  return hooks;
}

TDistributeType CurrentDistributeType() {
  auto& h = InstallDriverHooks();
  if (InstallDriver() && h.DistributeType) return h.DistributeType();
  return dtTraditionalNet;
}

TInstallFileSystem& InstallFileSystem() {
  static TInstallFileSystem fs{[] { return GetWindowsVersion(); }, SysMoveFileAtReboot};
  return fs;
}

TQnlwCompress* GlobalArchiveReader() {
  static std::unique_ptr<TQnlwCompress> reader(new TQnlwCompress(nullptr));
  return reader.get();
}

namespace {
// File containers being installed now, one inside the other.  The
// outermost one starts with no Cancel pending; a file installed on its
// own has only its reader's flag, which its extraction clears.
int gContainerInstalls = 0;
}  // namespace

bool InstallCopyCancelled() {
  return gContainerInstalls > 0 && (GlobalArchiveReader()->Abort() || NetInstallCancel);
}

TNetInstallLocation* SharedNetInstallLocation() {
  static std::unique_ptr<TNetInstallLocation> made;
  if (!NetInstallLocation) {
    made.reset(new TNetInstallLocation(nullptr));
    NetInstallLocation = made.get();
  }
  return NetInstallLocation;
}

void RegisterActiveXQueue() {
  // Each file leaves the queue once registered; a failure ends the run
  // with the rest still queued.
  std::vector<TCustomInstallFile*> queue = ActiveXQueue();
  for (TCustomInstallFile* f : queue) {
    f->RegisterActiveX();
    auto& q = ActiveXQueue();
    q.erase(std::remove(q.begin(), q.end(), f), q.end());
  }
}

const std::vector<TCustomInstallFile*>& InstallFileList() { return AllFiles(); }

std::vector<TCustomInstallFile*>& ActiveXQueue() {
  static std::vector<TCustomInstallFile*> queue;
  return queue;
}

// ---------------------------------------------------------------------------
// Downloads

void TFileRelated::DownloadProgress(const std::string& name, int32_t bytes, int32_t received, int32_t total) {
  TDownloadStatusParameter status;
  status.Name = name;
  status.Total = total;
  status.Received = received;
  status.Bytes = bytes;
  // An FTP total is only what the server had ready, so the share can pass
  // 100; it is shown within 0..100.
  double pct = total > 0 ? static_cast<double>(received) / total * 100.0 : 0.0;
  status.Percent = static_cast<uint8_t>(std::min(std::max(pct, 0.0), 100.0));
  if (OnDataReceived) OnDataReceived(this, name, bytes, received, total, nullptr);
  SendInstallMessage(this, imDownloadStatus, &status);
  if (TInstallContainer* c = Container()) c->ChildNotify(this, cnDownloadStatus, &status);
}

void TFileRelated::Download() {
  TNetInstallLocation* location = NetLocation();
  bool own = location != nullptr;
  if (!location)
    if (TFileContainer* c = FileContainer()) location = c->NetLocation();
  if (!location) location = NetInstallLocation;
  if (!location) throw IEFileRelated("Could not find a net install location for %s", {Name()});
  if (!location->LoginInformation()->IsFilled()) {
    if (own)
      throw IEFileRelated(
          "%s could not install itself because the TNetLocation component's properties, in the NetLocation "
          "property, have not been filled in",
          {Name()});
    throw IEFileRelated(
        "%s could not install itself because the LoginInformation property of the TInstall component has not been "
        "properly filled in",
        {Name()});
  }
  std::string local = ChangeFileExt(MakeTempFileName(false), ".1");
  std::string remote = Name() + ".1";
  TDataReceivedEvent saved = location->OnDataReceivedStatus;
  location->OnDataReceivedStatus = [this](TObject*, const std::string& file, int32_t bytes, int32_t received,
                                          int32_t total, const char*) { DownloadProgress(file, bytes, received, total); };
  auto restore = OnExit([&] { location->OnDataReceivedStatus = saved; });
  try {
    location->Download(remote, local);
  } catch (...) {
    DeleteFile(local);
    throw;
  }
  // A cancelled download comes back with a cut file: it must neither be
  // installed from nor recorded for the next run.
  if (NetInstallCancel) {
    DeleteFile(local);
    throw EAIUserAbort();
  }
  localArchive_ = local;
  RecordLocalArchive(local);
}

bool TFileRelated::HasLocalArchive() {
  if (!localArchive_.empty() && FileExists(localArchive_)) return true;
  localArchive_.clear();
  std::string key = RunKeyPath();
  if (key.empty()) return false;
  std::string recorded = ReadRegistryString(hkLocalMachine, key + "\\" + Name(), "LocalFile", "");
  // A recorded download that has gone is fetched again.
  if (recorded.empty() || !FileExists(recorded)) return false;
  localArchive_ = recorded;
  return true;
}

void TFileRelated::RecordLocalArchive(const std::string& path) {
  std::string key = RunKeyPath();
  if (key.empty()) return;
  WriteRegistryString(hkLocalMachine, key + "\\" + Name(), "LocalFile", path);
}

// ---------------------------------------------------------------------------
// File containers

void TFileContainer::SetState(TFileContainerState value) {
  if (IsLoading()) return;
  switch (value) {
    case fcsNone: state_ = fcsNone; break;
    case fcsCompress: Compress(0); break;
    case fcsInstall: Process(); break;
    case fcsCopy: Copy(); break;
  }
}

std::vector<TCustomInstallFile*> TFileContainer::Files() const {
  std::vector<TCustomInstallFile*> files;
  for (int i = 0; i < ChildrenCount(); ++i)
    if (auto* f = dynamic_cast<TCustomInstallFile*>(Children(i))) files.push_back(f);
  return files;
}

std::vector<TFileContainer*> TFileContainer::SubContainers() const {
  std::vector<TFileContainer*> subs;
  for (int i = 0; i < ChildrenCount(); ++i)
    if (auto* c = dynamic_cast<TFileContainer*>(Children(i))) subs.push_back(c);
  return subs;
}

void TFileContainer::NewDisk(TFileRelated* file, TDiskParameter* disk) {
  TList list;
  list.Add(static_cast<TObject*>(file));
  list.Add(static_cast<TObject*>(disk));
  ChildNotify(file, cnNewDisk, &list);
}

void TFileContainer::Replacing(TFileRelated* file) { ChildNotify(file, cnReplacing, file); }

void TFileContainer::Status(TFileRelated* file, TFileStatusParameter* status) {
  TList list;
  list.Add(static_cast<TObject*>(file));
  list.Add(static_cast<TObject*>(status));
  ChildNotify(file, cnInstallStatus, &list);
}

int64_t TFileContainer::SizeSum(bool all, bool deep) {
  int64_t sum = 0;
  for (TCustomInstallFile* f : Files())
    if (all || f->Included()) sum += f->ArchiveSize();
  if (deep)
    for (TFileContainer* c : SubContainers())
      if (all || c->Included()) sum += c->SizeSum(all, deep);
  return sum;
}

int64_t TFileContainer::CompressedSizeSum(bool all) {
  int64_t sum = 0;
  for (TCustomInstallFile* f : Files())
    if (all || f->Included()) sum += f->ArchiveCompressedSize();
  for (TFileContainer* c : SubContainers())
    if (all || c->Included()) sum += c->CompressedSizeSum(all);
  return sum;
}

TCustomInstallFile* TFileContainer::FindFile(const std::string& path) {
  for (TCustomInstallFile* f : Files())
    if (SameText(f->SourcePath(), path)) return f;
  for (TFileContainer* c : SubContainers())
    if (TCustomInstallFile* f = c->FindFile(path)) return f;
  return nullptr;
}

void TFileContainer::ClearFiles() {
  for (TCustomInstallFile* f : Files()) delete f;
}

void TFileContainer::ReadArchiveInfo() {
  int busy = SysBeginBusy();
  auto restore = OnExit([&] { SysEndBusy(busy); });
  for (TCustomInstallFile* f : Files()) f->ReadArchiveInfo();
  for (TFileContainer* c : SubContainers()) c->ReadArchiveInfo();
}

void TFileContainer::ReadSourceInfo() {
  int busy = SysBeginBusy();
  auto restore = OnExit([&] { SysEndBusy(busy); });
  for (TCustomInstallFile* f : Files()) f->ReadSourceInfo();
  for (TFileContainer* c : SubContainers()) c->ReadSourceInfo();
}

bool TFileContainer::NeedsDownload() {
  if (CurrentDistributeType() == dtTraditional) return false;
  for (TCustomInstallFile* f : Files())
    if (f->Net() && f->Included() && !f->NetLocation()) return true;
  return false;
}

void TFileContainer::Process() {
  int busy = SysBeginBusy();
  state_ = fcsInstall;
  if (InstallDriver() == this) {
    // A run starts from the archive as it is now, not as the shared
    // reader last saw it.
    GlobalArchiveReader()->SetCompressedFile("");
    GlobalArchiveReader()->SetAbort(false);
  }
  if (gContainerInstalls == 0) {
    GlobalArchiveReader()->SetAbort(false);
    NetInstallCancel = false;
  }
  ++gContainerInstalls;
  auto leave = OnExit([] { --gContainerInstalls; });
  bool cursorBack = false;
  try {
    HasLocalArchive();
    ReadArchiveInfo();
    SendInstallMessage(this, imFileGroupStart, nullptr);
    if (TInstallContainer* parent = Container()) parent->ChildNotify(this, cnContainerStart, this);
    totalSize_ = SizeSum(false, true);
    bytesDone_ = 0;
    if (OnShowCopyFileDlg) OnShowCopyFileDlg(this);
    TInstallContainer::Process();
    // A Cancel that came with the last buffer of the last file.
    if (InstallCopyCancelled()) throw EAIUserAbort();
    if (TInstallContainer* parent = Container()) parent->ChildNotify(this, cnContainerEnd, this);
    SysEndBusy(busy);
    cursorBack = true;
    bool aborted = GlobalArchiveReader()->Abort();
    state_ = fcsNone;
    SendInstallMessage(this, imFilesDone, nullptr);
    if (OnCloseCopyFileDlg) OnCloseCopyFileDlg(this, aborted);
  } catch (...) {
    if (!cursorBack) SysEndBusy(busy);
    state_ = fcsNone;
    throw;
  }
}

void TFileContainer::CompressInto(unsigned options, std::vector<std::string>& cleared) {
  state_ = fcsCompress;
  auto back = OnExit([&] { state_ = fcsNone; });
  for (TCustomInstallFile* f : Files()) {
    if (!(options & coIncludeAll) && !f->Included()) continue;
    // Every archive this build writes starts empty: a stale one would keep
    // entries of an older build or of files no longer in the setup.
    std::string archive = f->BuildArchivePath(options);
    if (std::none_of(cleared.begin(), cleared.end(), [&](const std::string& a) { return SameText(a, archive); })) {
      if (FileExists(archive) && !DeleteFile(archive))
        throw IEFileContainer("%s cannot delete the archive file %s", {Name(), archive});
      cleared.push_back(archive);
    }
    f->CompressInto(archive, lzcOnlyAdd, options);
  }
  for (TFileContainer* c : SubContainers())
    if ((options & coIncludeAll) || c->Included()) c->CompressInto(options, cleared);
}

void TFileContainer::Compress(unsigned options) {
  if ((options & coForceNetFilesLocal) && (options & coForceFilesNet))
    throw IEFileContainer("Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
  // Only the files of this build need their sources; the sizes of the
  // build are those of the sources.
  bool all = (options & coIncludeAll) != 0;
  std::vector<TFileContainer*> pending{this};
  while (!pending.empty()) {
    TFileContainer* c = pending.back();
    pending.pop_back();
    for (TCustomInstallFile* f : c->Files())
      if (all || f->Included()) f->ReadSourceInfo();
    for (TFileContainer* sub : c->SubContainers())
      if (all || sub->Included()) pending.push_back(sub);
  }
  totalSize_ = SizeSum(all, true);
  bytesDone_ = 0;
  std::vector<std::string> cleared;
  CompressInto(options, cleared);
}

void TFileContainer::Copy() {
  state_ = fcsCopy;
  auto back = OnExit([&] { state_ = fcsNone; });
  totalSize_ = 0;
  bytesDone_ = 0;
  for (TCustomInstallFile* f : Files())
    if (f->Included()) {
      f->ReadSourceInfo();
      totalSize_ += f->ArchiveSize();
    }
  for (TCustomInstallFile* f : Files())
    if (f->Included()) f->Copy();
  for (TFileContainer* c : SubContainers())
    if (c->Included()) c->Copy();
}

// ---------------------------------------------------------------------------
// File groups

TInstallFileGroup::TInstallFileGroup(TComponent* owner) : TFileContainer(owner) {}

std::string TInstallFileGroup::GroupName() const {
  std::string name = TFileContainer::GroupName();
  if (!name.empty()) return name;
  if (TInstallContainer* c = Container()) return "Group #" + IntToStr(c->FileContainerCount());
  return "Unnamed File Group";
}

void TInstallFileGroup::RemoveMissingFiles() {
  for (TCustomInstallFile* f : Files())
    if (!FileExists(f->SourcePath())) delete f;
}

void TInstallFileGroup::PublishProperties(TPropList& list) const {
  TFileContainer::PublishProperties(list);
  list.push_back(EnumProp<TInstallFileGroup>("State", {"fcsNone", "fcsCompress", "fcsInstall", "fcsCopy"},
                                             &TInstallFileGroup::State, &TInstallFileGroup::SetState));
  list.push_back(EnumProp<TInstallFileGroup>("AddToArchive", {"lzcOverwrite", "lzcOnlyAdd"},
                                             &TInstallFileGroup::AddToArchive, &TInstallFileGroup::SetAddToArchive));
}

// ---------------------------------------------------------------------------
// Object repository entries

void TObjectRepositoryEntry::Assign(TPersistent* source) {
  auto* o = dynamic_cast<TObjectRepositoryEntry*>(source);
  if (!o) {
    TPersistent::Assign(source);
    return;
  }
  Name = o->Name;
  Page = o->Page;
  Type = o->Type;
  Description = o->Description;
  Author = o->Author;
  Icon = o->Icon;
  Ancestor = o->Ancestor;
  OverwriteSameFileName = o->OverwriteSameFileName;
  RaiseExceptionOnFailure = o->RaiseExceptionOnFailure;
  RegisterIt = o->RegisterIt;
}

void TObjectRepositoryEntry::PublishProperties(TPropList& list) const {
  using C = TObjectRepositoryEntry;
  auto str = [&](const char* name, std::string C::*field) {
    list.push_back(StrProp<C>(
        name, [field](C* c) { return c->*field; }, [field](C* c, const std::string& v) { c->*field = v; }));
  };
  auto flag = [&](const char* name, bool C::*field) {
    list.push_back(BoolProp<C>(
        name, [field](C* c) { return c->*field; }, [field](C* c, bool v) { c->*field = v; }));
  };
  str("Name", &C::Name);
  str("Page", &C::Page);
  str("Type", &C::Type);
  str("Description", &C::Description);
  str("Author", &C::Author);
  str("Icon", &C::Icon);
  str("Ancestor", &C::Ancestor);
  flag("OverwriteSameFileName", &C::OverwriteSameFileName);
  flag("RaiseExceptionOnFailure", &C::RaiseExceptionOnFailure);
  flag("RegisterIt", &C::RegisterIt);
}

void TObjectRepositoryEntry::Write(int ide, const std::string& destPath, const std::string& destDir) {
  if (!RegisterIt) return;
  try {
    std::string file = FindObjectRepository(ide);
    std::string section = ChangeFileExt(destPath, "");
    if (!OverwriteSameFileName && SysIniSectionExists(file, section)) return;
    auto put = [&](const std::string& sec, const std::string& key, const std::string& value) {
      if (!SysWriteIniString(file, sec, key, value))
        throw IEObjectRepositoryEntry("Cannot write to the object repository %s", {file});
    };
    auto placed = [&](const std::string& name) { return name.empty() ? name : AddBackslash(destDir) + name; };
    put("Repository Pages", Page, "");
    put(section, "Name", Name);
    put(section, "Page", Page);
    put(section, "Type", Type);
    put(section, "Description", Description);
    put(section, "Author", Author);
    put(section, "Icon", placed(Icon));
    put(section, "Ancestor", placed(Ancestor));
  } catch (const Exception&) {
    if (RaiseExceptionOnFailure) throw;
  }
}

TRepository::TRepository() {
  for (auto& e : entries_) e.reset(new TObjectRepositoryEntry);
}

void TRepository::Assign(TPersistent* source) {
  auto* o = dynamic_cast<TRepository*>(source);
  if (!o) {
    TPersistent::Assign(source);
    return;
  }
  for (int i = 0; i < 3; ++i) entries_[i]->Assign(o->entries_[i].get());
}

void TRepository::PublishProperties(TPropList& list) const {
  list.push_back(ObjProp<TRepository>("Entry1", &TRepository::Entry1));
  list.push_back(ObjProp<TRepository>("Entry2", &TRepository::Entry2));
  list.push_back(ObjProp<TRepository>("Entry3", &TRepository::Entry3));
}

// ---------------------------------------------------------------------------
// Install files

TCustomInstallFile::TCustomInstallFile(TComponent* owner) : TFileRelated(owner), repository_(new TRepository) {
  AllFiles().push_back(this);
  SharedNetInstallLocation();
}

TCustomInstallFile::~TCustomInstallFile() {
  auto& all = AllFiles();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  auto& queue = ActiveXQueue();
  queue.erase(std::remove(queue.begin(), queue.end(), this), queue.end());
  if (TInstallContainer* c = Container()) c->RemoveChild(this);
}

void TCustomInstallFile::PublishProperties(TPropList& list) const {
  TFileRelated::PublishProperties(list);
  using C = TCustomInstallFile;
  list.push_back(StrProp<C>("FileName", &C::FileName, &C::SetFileName));
  list.push_back(StrProp<C>("IncludeFromDir", &C::IncludeFromDir, &C::SetIncludeFromDir));
  list.push_back(StrProp<C>("DestName", &C::DestName, &C::SetDestName));
  list.push_back(EnumProp<C>("AddToArchive", {"lzcOverwrite", "lzcOnlyAdd"}, &C::AddToArchive, &C::SetAddToArchive));
  list.push_back(BoolProp<C>("ActiveX", &C::ActiveX, &C::SetActiveX));
  list.push_back(EnumProp<C>("FileType",
                             {"iftNormal", "iftJustADLL", "iftApplicationSpecificDLL", "iftVendorSharedDLL",
                              "iftSystemWideDLL"},
                             &C::FileType, &C::SetFileType));
  list.push_back(EnumProp<C>("OverwriteMode", {"owAlways", "owNever", "owVersion", "owDate", "owVersionDate"},
                             &C::OverwriteMode, &C::SetOverwriteMode));
  list.push_back(BoolProp<C>("RegisterAsHelp", &C::RegisterAsHelp, &C::SetRegisterAsHelp));
  list.push_back(BoolProp<C>("UpdateDLLCounter", &C::UpdateDLLCounter, &C::SetUpdateDLLCounter));
  list.push_back(ObjProp<C>("Repository", &C::Repository));
  list.push_back(EnumProp<C>("State", {"ifsNone", "ifsCompress", "ifsInstall", "ifsCopying"}, &C::State,
                             &C::SetState));
}

std::string TCustomInstallFile::SourcePath() const { return includeFromDir_ + "\\" + fileName_; }

std::string TCustomInstallFile::DestPath() { return GetDestDir() + "\\" + destName_; }

void TCustomInstallFile::SetArchiveInfo(int32_t compressedSize, TDateTime date, int32_t size,
                                        const std::string& version) {
  archiveCompressedSize_ = compressedSize;
  archiveDate_ = date;
  archiveSize_ = size;
  archiveVersion_ = version.substr(0, MaxStoredVersionLength);
}

// ---- design-time rules ----

void TCustomInstallFile::CheckDuplicate(TInstallContainer* container, const std::string& path) {
  if (!container) return;
  for (int i = 0; i < container->ChildrenCount(); ++i) {
    auto* other = dynamic_cast<TCustomInstallFile*>(container->Children(i));
    if (other && other != this && SameText(other->SourcePath(), path))
      throw IEfcDuplicateFile("There is already a file with the name :%s", {path});
  }
}

void TCustomInstallFile::CheckShortName(const std::string& name, TInstallFileType type) {
  if (type != iftNormal && name.size() > 12)
    throw IECustomInstallFile(
        "The following file :%s: is specified to be a Shared DLL file. To be installed on the user's system, shared "
        "DLLs must be loaded into the WININIT.INI. However, the WININIT.INI supports only old 8.3 character "
        "filenames",
        {name});
}

void TCustomInstallFile::SetContainer(TInstallContainer* value) {
  if (!IsLoading() && value) {
    if (!dynamic_cast<TFileContainer*>(value))
      throw IECustomInstallFile(
          "The following TInstallFile component %s requires the Container property to be a component descended "
          "from the TFileContainer component",
          {Name()});
    if (!fileName_.empty()) CheckDuplicate(value, SourcePath());
  }
  TFileRelated::SetContainer(value);
}

void TCustomInstallFile::Guess() {
  std::string ext = UpperExt(fileName_);
  if (ext == ".HLP" || ext == ".CNT") registerAsHelp_ = true;
  if (ext == ".OCX" || (FileExists(SourcePath()) && HasSelfRegisterInfo())) SetActiveX(true);
}

void TCustomInstallFile::SetFileName(const std::string& value) {
  if (IsLoading()) {
    fileName_ = value;
    return;
  }
  if (value == fileName_) return;
  std::string path = includeFromDir_ + "\\" + value;
  CheckDuplicate(Container(), path);
  fileName_ = value;
  SetDestName(value);
  Guess();
}

void TCustomInstallFile::SetIncludeFromDir(const std::string& value) {
  if (IsLoading()) {
    includeFromDir_ = value;
    return;
  }
  if (value == includeFromDir_) return;
  CheckDuplicate(Container(), value + "\\" + fileName_);
  includeFromDir_ = value;
  Guess();
}

void TCustomInstallFile::SetDestName(const std::string& value) {
  if (!IsLoading()) CheckShortName(value, fileType_);
  destName_ = value;
}

void TCustomInstallFile::SetActiveX(bool value) {
  bool newly = value && !activeX_;
  activeX_ = value;
  if (newly && !IsLoading()) SetFileType(iftSystemWideDLL);
}

void TCustomInstallFile::SetFileType(TInstallFileType value) {
  if (IsLoading()) {
    fileType_ = value;
    return;
  }
  CheckShortName(destName_, value);
  fileType_ = value;
  switch (value) {
    case iftNormal: return;
    case iftJustADLL:
    case iftApplicationSpecificDLL: overwriteMode_ = owVersionDate; break;
    case iftVendorSharedDLL:
    case iftSystemWideDLL:
      overwriteMode_ = owVersionDate;
      updateDLLCounter_ = true;
      break;
  }
  auto place = [&](TCustomPathSpecifier* type, const std::string& dir) {
    if (!type) return;
    TInstallContainer::SetDestDirType(type);
    SetDestDir(dir);
  };
  if (value == iftApplicationSpecificDLL) place(FindStandardPathSpecifier<TpsMainInstall>(), "\\System");
  if (value == iftVendorSharedDLL) place(FindStandardPathSpecifier<TpsCommonFiles>(), "\\System");
  if (value == iftSystemWideDLL) place(FindStandardPathSpecifier<TpsSystem>(), "");
}

void TCustomInstallFile::SetDestDirType(TCustomPathSpecifier* value) {
  bool changed = value != DestDirType();
  TFileRelated::SetDestDirType(value);
  if (IsLoading() || !changed || !value || !IsExecutableExt(fileName_)) return;
  if (value == FindStandardPathSpecifier<TpsWindow>() || value == FindStandardPathSpecifier<TpsBDEDLL>())
    overwriteMode_ = owVersionDate;
  if (value == FindStandardPathSpecifier<TpsSystem>() && fileType_ != iftSystemWideDLL) SetFileType(iftSystemWideDLL);
}

// ---- information ----

bool TCustomInstallFile::IsNetFile() const {
  TDistributeType type = CurrentDistributeType();
  return type == dtWeb || (type == dtTraditionalNet && Net());
}

TQnlwCompress* TCustomInstallFile::ReaderFor(const std::string& archive, std::unique_ptr<TQnlwCompress>& own) {
  TFileRelated* driver = DriverObject();
  if (driver && SameText(archive, driver->GetArchivePath())) return GlobalArchiveReader();
  own.reset(new TQnlwCompress(nullptr));
  return own.get();
}

std::string TCustomInstallFile::ArchiveToRead() {
  if (!IsNetFile()) return GetArchivePath();
  if (HasLocalArchive()) return LocalArchive();
  TFileContainer* c = FileContainer();
  if (c && c->HasLocalArchive()) return c->LocalArchivePath();
  return std::string();
}

void TCustomInstallFile::ReadArchiveInfo() {
  if (!FileContainer())
    throw IECustomInstallFile(
        "%s cannot perform ReadInfoFromArchive because either no container is assigned or the container is not "
        "TFileContainer",
        {Name()});
  std::string archive = ArchiveToRead();
  // A network file not downloaded yet has its information from the
  // remote list.
  if (archive.empty()) return;
  std::unique_ptr<TQnlwCompress> own;
  TQnlwCompress* reader = ReaderFor(archive, own);
  reader->SetCompressedFile(archive);
  int index = reader->IndexOfFile(SourcePath());
  if (index < 0) return;
  TlzhFileStats stats;
  reader->GetFileStats(index, stats);
  SetArchiveInfo(stats.Header.CompressedSize, stats.Header.Date, stats.Header.Size, stats.Header.Version);
}

void TCustomInstallFile::ReadSourceInfoOf(const std::string& path) {
  THandle h = FileOpen(path, fmOpenRead | fmShareDenyNone);
  if (h == INVALID_FILE_HANDLE)
    throw IECustomInstallFile(
        "Could not open or find the following file when trying to read the Size, Date, and Version :%s", {path});
  FileClose(h);
  int64_t size = FileSizeOf(path);
  TDateTime date = 0;
  if (!FileDateTime(path, date)) date = 0;
  TVersionResource* vr = SharedVersionResource();
  vr->SetFileName(path);
  SetArchiveInfo(archiveCompressedSize_, date, static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX)),
                 vr->VersionInfo()->FileVersion);
}

bool TCustomInstallFile::HasSelfRegisterInfo() {
  std::string value;
  return FindVersionString(SourcePath(), "OLESelfRegister", value);
}

// ---- install ----

void TCustomInstallFile::Notify(int code, TObject* parameter) {
  if (TInstallContainer* c = Container()) c->ChildNotify(this, code, parameter);
}

bool TCustomInstallFile::DecideWrite() {
  // A file that is not there is always written, whatever the rule.
  if (!destExisted_) return true;
  unsigned char d = DecideOverwrite(archiveVersion_, DestPath(), overwriteMode_, archiveDate_);
  // owDate writes when the destination's date cannot be read.
  if (d == odUndecided) return overwriteMode_ == owDate || overwriteMode_ == owVersionDate;
  return d == odReplace;
}

void TCustomInstallFile::ReplaceInUse() {
  if (OnReplacing) OnReplacing(this, this);
  SendInstallMessage(this, imBeforeReplace, this);
  Notify(cnReplacing, this);
  replaceDecided_ = true;
  std::string dest = DestPath();
  writtenPath_ = dest;
  // Nothing is deleted here: a failed extraction must leave the old file.
  // The archive writes beside the destination and replaces it only once the
  // new file is complete, which needs a destination nobody holds.
  if (!FileExists(dest) || SysFileReplaceable(dest)) return;
  deferred_ = true;
  writtenPath_ = FreeSideName(dest);
}

void TCustomInstallFile::ScheduleReplaceAtReboot() {
  std::string dest = DestPath();
  auto& hooks = InstallDriverHooks();
  auto fail = [&] {
    throw IECustomInstallFile(
        "%s cannot register a routine in the register to move the files after the computer is reboot", {Name()});
  };
  std::string shortOld = ShortPathName(dest);
  if (shortOld.empty()) shortOld = dest;
  if (hooks.SetRebootNeeded) hooks.SetRebootNeeded();
  if (InstallFileSystem().WindowsVersion() == 1) {
    // A line that did not get written would leave the new file aside for
    // good, reported as done.
    if (!SysWriteIniString(AddBackslash(GetWindowsDir()) + "WININIT.INI", "Rename", shortOld, writtenPath_)) fail();
    return;
  }
  if (InstallFileSystem().MoveFileAtReboot(writtenPath_, dest)) return;
  // The batch needs a run that records it for deletion.
  if (!InstallDriver()) fail();
  std::string batch = ChangeFileExt(MakeTempFileName(false), ".bat");
  TStringList lines;
  // Quoted: a blank in either path would split the command.
  lines.Add("erase " + Quoted(shortOld));
  lines.Add("move " + Quoted(writtenPath_) + " " + Quoted(shortOld));
  bool ok = true;
  try {
    lines.SaveToFile(batch);
    if (hooks.AddUnfinished) hooks.AddUnfinished(batch, 1);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok || !AddRunOnceValue("QuenlowBatFile", batch, true)) fail();
}

void TCustomInstallFile::ReaderNewDisk(TQnlwCompress* reader, int disk, std::string& path) {
  TDiskParameter parameter;
  parameter.DiskNumber = disk;
  parameter.Path = path;
  diskHandled_ = false;
  bool handled = false;
  if (OnNewDisk) {
    OnNewDisk(this, this, disk, parameter.Path);
    handled = true;
  }
  SendInstallMessage(this, imNewDisk, &parameter);
  TList list;
  list.Add(static_cast<TObject*>(this));
  list.Add(static_cast<TObject*>(&parameter));
  Notify(cnNewDisk, &list);
  for (TFileContainer* c = FileContainer(); c && !handled; c = c->FileContainer())
    if (c->OnNewDisk) handled = true;
  if (!handled && !diskHandled_) {
    if (!SysAskOkCancel(Format(TranslateText("Please insert disk #%d"), {disk}))) reader->SetAbort(true);
  }
  path = parameter.Path;
}

void TCustomInstallFile::ReaderStatus(const TlzhFileStats& stats, int code) {
  TFileStatusParameter status;
  status.BytesDone = stats.BytesDone;
  status.PercentDone = stats.PercentDone;
  status.FileName = stats.FileName;
  status.Stats = stats;
  if (OnStatus) OnStatus(this, this, &status);
  SendInstallMessage(this, imFileStatus, &status);
  TList list;
  list.Add(static_cast<TObject*>(this));
  list.Add(static_cast<TObject*>(&status));
  Notify(code, &list);
}

void TCustomInstallFile::HookReader(TQnlwCompress* reader, int statusCode) {
  reader->OnAborted = [](TObject*) { throw EAIUserAbort(); };
  reader->OnNewDisk = [this](TQnlwCompress* r, int disk, std::string& path) { ReaderNewDisk(r, disk, path); };
  reader->OnStatus = [this, statusCode](TQnlwCompress* r, const TlzhFileStats& s) {
    ReaderStatus(s, statusCode);
    // The copy page's Cancel reaches the shared reader only; a file read
    // through a reader of its own (a download, another archive) stops at
    // its next buffer too.
    if (r != GlobalArchiveReader() && InstallCopyCancelled()) r->SetAbort(true);
  };
}

void TCustomInstallFile::Extract() {
  std::unique_ptr<TQnlwCompress> own;
  TQnlwCompress* reader = nullptr;
  std::string archive;
  if (HasLocalArchive()) {
    archive = LocalArchive();
  } else if (IsNetFile()) {
    bool ownPart = NetLocation() || overwriteMode_ == owVersion || overwriteMode_ == owDate ||
                   overwriteMode_ == owVersionDate;
    TFileContainer* c = FileContainer();
    if (ownPart || !c) {
      Download();
      archive = LocalArchive();
    } else {
      if (!c->HasLocalArchive()) c->Download();
      archive = c->LocalArchivePath();
    }
  } else {
    archive = GetArchivePath();
  }
  if (IsNetFile() || HasLocalArchive()) {
    own.reset(new TQnlwCompress(nullptr));
    reader = own.get();
  } else {
    reader = ReaderFor(archive, own);
  }

  state_ = ifsInstall;
  auto unhook = OnExit([&] {
    bool aborted = reader->Abort();
    reader->OnAborted = nullptr;
    reader->OnNewDisk = nullptr;
    reader->OnStatus = nullptr;
    if (aborted) GlobalArchiveReader()->SetAbort(true);
    state_ = ifsNone;
  });
  std::string destDir = GetDestDir();
  ForceDirectories(destDir);
  if (Trim(archive).empty()) throw IECustomInstallFile(kArchiveBlank, {Name()});
  reader->SetCompressedFile(archive);
  reader->SetExtractDirectory(ExtractFileDir(writtenPath_));
  reader->SetTargetName(ExtractFileName(writtenPath_));
  // The file has made its decision; a second one by the reader could only
  // differ where a date cannot be read.
  reader->SetOverwrite(owAlways);
  HookReader(reader, cnInstallStatus);
  TStringList files;
  files.Add(SourcePath());
  reader->SetFilesToProcess(&files);
  if (InstallCopyCancelled()) throw EAIUserAbort();
  reader->Extract();
  if (deferred_) ScheduleReplaceAtReboot();
  AfterInstallSteps();
  if (OnAfterInstall) OnAfterInstall(this, this);
  Notify(cnAfterInstall, this);
  TInstallContainer::Process();
  SendInstallMessage(this, imFilesDone, nullptr);
}

void TCustomInstallFile::Process() {
  deferred_ = false;
  replaceDecided_ = false;
  Notify(cnBeforeInstall, this);
  try {
    if (OnBeforeInstall) OnBeforeInstall(this, this);
  } catch (const EAbort&) {
    Notify(cnSkipped, this);
    return;
  }
  std::string destDir = GetDestDir();
  if (Trim(destDir).empty()) throw IECustomInstallFile(kDestBlank, {Name()});
  std::string dest = DestPath();
  writtenPath_ = dest;
  // Also when the file is kept: an ended run's partial copy is ours alone.
  RemoveHalfWrittenCopies(dest);
  destExisted_ = FileExists(dest);
  bool write = DecideWrite();
  if (write) {
    try {
      ReplaceInUse();
    } catch (const EAbort&) {
      write = false;
    }
  }
  if (write) {
    Extract();
    return;
  }
  Notify(cnNotTransferred, this);
  AfterInstallSteps();
  if (OnAfterInstall) OnAfterInstall(this, this);
  Notify(cnAfterInstall, this);
}

bool TCustomInstallFile::IncrementSharedDLLCount() {
  if (!SysCreateMachineKey(SharedDLLsKey))
    throw IECustomInstallFile(
        "Could not open the key SharedDLLs key in the registry. File component %s. GetLastError return: %d",
        {Name(), static_cast<int>(SysLastError())});
  std::string dest = DestPath();
  std::string shortName = ShortPathName(dest);
  std::vector<std::string> names;
  if (!shortName.empty()) names.push_back(shortName);
  names.push_back(dest);
  for (const std::string& name : names) {
    try {
      int count = ReadRegistryInteger(hkLocalMachine, SharedDLLsKey, name, 0);
      WriteRegistryInteger(hkLocalMachine, SharedDLLsKey, name, count + 1);
      return true;
    } catch (const Exception&) {
      // the long name is tried next
    }
  }
  return false;
}

void TCustomInstallFile::AfterInstallSteps() {
  std::string destDir = GetDestDir();
  if (registerAsHelp_) WriteRegistryString(hkLocalMachine, HelpKey, UpperCase(destName_), destDir);
  if (updateDLLCounter_ && !IncrementSharedDLLCount())
    throw IECustomInstallFile("Cannot update the DLL count for the following file :%s:", {DestPath()});
  for (int i = 0; i < 3; ++i) repository_->Entry(i)->Write(i, DestPath(), destDir);
  if (deferred_) {
    if (InstallDriver() && InstallDriverHooks().AddUnfinished) InstallDriverHooks().AddUnfinished(Name(), 0);
    return;
  }
  if (!activeX_) return;
  if (!DriverRunning()) {
    RegisterActiveX();
    return;
  }
  try {
    RegisterActiveX();
  } catch (const Exception&) {
    auto& queue = ActiveXQueue();
    if (std::find(queue.begin(), queue.end(), this) == queue.end()) queue.push_back(this);
  }
}

void TCustomInstallFile::AfterReboot() {
  if (activeX_) RegisterActiveX();
}

void TCustomInstallFile::RegisterActiveX() {
  std::string destDir = GetDestDir();
  std::string dest = DestPath();
  if (Trim(destDir).empty() || !FileExists(dest)) throw IECustomInstallFile(kDestBlank, {Name()});
  std::string before = GetCurrentDir();
  SetCurrentDir(destDir);
  auto back = OnExit([&] { SetCurrentDir(before); });
  if (UpperExt(dest) == ".EXE") {
    // Quoted, or a folder with a blank in its name starts another program.
    std::string command = Quoted(dest) + " /REGSERVER";
    unsigned result = SysWinExecHidden(command);
    if (result < 32)
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the WinExec(%s,SW_HIDE) function returned a value "
          "< 32. The file component is %s. The following value is the value of the GetLastError function: %d",
          {dest, command, Name(), static_cast<int>(SysLastError())});
    return;
  }
  long result = 0;
  uint32_t error = 0;
  switch (SysRegisterServer(dest, result, error)) {
    case srOk: return;
    case srLoadFailed:
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the LoadLibrary(%s) procedure returned a value of 0. "
          "The file component is %s. The following value is the value of the GetLastError function: %d",
          {dest, dest, Name(), static_cast<int>(error)});
    case srNoEntry:
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the DllRegisterServer function could not be found. "
          "The file component is %s. The following value is the value of the GetLastError function: %d",
          {dest, Name(), static_cast<int>(error)});
    case srFailed:
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the DllRegisterServer function returned a value of "
          "%d. The file component is %s",
          {dest, static_cast<int>(result), Name()});
  }
}

void TCustomInstallFile::WriteUninstallLog(const std::string& key) {
  std::string dest = DestPath();
  if (activeX_) {
    std::string sub = key + "\\ActiveX";
    int n = StrToIntDef(ReadRegistryString(hkLocalMachine, sub, "Entries", "0"), 0) + 1;
    WriteRegistryString(hkLocalMachine, sub, "File" + IntToStr(n), (UpperExt(dest) == ".EXE" ? "0;" : "1;") + dest);
    WriteRegistryString(hkLocalMachine, sub, "Entries", IntToStr(n));
    return;
  }
  for (int attempt = 0;; ++attempt) {
    std::string sub = key + "\\Files" + (attempt ? IntToStr(attempt) : std::string());
    try {
      int n = StrToIntDef(ReadRegistryString(hkLocalMachine, sub, "Entries", "0"), 0) + 1;
      WriteRegistryString(hkLocalMachine, sub, "File" + IntToStr(n), dest);
      WriteRegistryString(hkLocalMachine, sub, "Entries", IntToStr(n));
      return;
    } catch (const EIRCannotWriteValue&) {
      if (attempt >= 99) throw;
    }
  }
}

// ---- build side ----

std::string TCustomInstallFile::BuildArchivePath(unsigned options) {
  bool web = (options & coForceFilesNet) != 0 ||
             (!(options & coForceNetFilesLocal) && IsNetFile());
  if (!web) return GetArchivePath();
  auto& hooks = InstallDriverHooks();
  std::string base = hooks.NetworkPath ? hooks.NetworkPath() : std::string();
  if (base.empty()) base = ExtractFileDir(GetArchivePath());
  // The part is the one the install downloads: the file's own, or its
  // container's shared one.
  bool ownPart = NetLocation() || overwriteMode_ == owVersion || overwriteMode_ == owDate ||
                 overwriteMode_ == owVersionDate || !FileContainer();
  std::string name = ownPart ? Name() : FileContainer()->Name();
  return AddBackslash(base) + name + ".1";
}

void TCustomInstallFile::CompressInto(const std::string& archive, TlzhCommand command, unsigned options) {
  if (Trim(GetDestDir()).empty()) throw IECustomInstallFile(kDestBlank, {Name()});
  if (Trim(archive).empty()) throw IECustomInstallFile(kArchiveBlank, {Name()});
  state_ = ifsCompress;
  auto back = OnExit([&] { state_ = ifsNone; });
  if (OnBeforeCompress) OnBeforeCompress(this, this);
  Notify(cnBeforeCompress, this);
  TQnlwCompress reader(nullptr);
  HookReader(&reader, cnCompressStatus);
  reader.SetCompressedFile(archive);
  TStringList files;
  files.Add(SourcePath());
  reader.SetFilesToProcess(&files);
  reader.Compress(command);
  int index = reader.IndexOfFile(SourcePath());
  if (index >= 0) {
    TlzhFileStats stats;
    reader.GetFileStats(index, stats);
    SetArchiveInfo(stats.Header.CompressedSize, stats.Header.Date, stats.Header.Size, stats.Header.Version);
  }
  compressed_ = true;
  compressedNet_ = (options & coForceFilesNet) != 0 || !SameText(archive, GetArchivePath());
  if (OnAfterCompress) OnAfterCompress(this, this);
  Notify(cnAfterCompress, this);
}

void TCustomInstallFile::Compress(unsigned options) {
  ReadSourceInfo();
  CompressInto(BuildArchivePath(options), addToArchive_, options);
}

void TCustomInstallFile::Copy() {
  std::string destDir = GetDestDir();
  if (Trim(destDir).empty()) throw IECustomInstallFile(kDestBlank, {Name()});
  state_ = ifsCopying;
  auto back = OnExit([&] { state_ = ifsNone; });
  if (OnBeforeCopy) OnBeforeCopy(this, this);
  Notify(cnBeforeCopy, this);
  TQnlwCompress reader(nullptr);
  HookReader(&reader, cnCopyStatus);
  reader.SetOverwrite(overwriteMode_);
  ForceDirectories(destDir);
  reader.CopyFile(SourcePath(), DestPath());
  if (OnAfterCopy) OnAfterCopy(this, this);
  Notify(cnAfterCopy, this);
}

void TCustomInstallFile::SetState(TInstallFileState value) {
  if (IsLoading()) return;
  switch (value) {
    case ifsNone: state_ = ifsNone; break;
    case ifsCompress: Compress(0); break;
    case ifsInstall: Process(); break;
    case ifsCopying: Copy(); break;
  }
}
