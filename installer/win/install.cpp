#include "install.h"

#include <windows.h>

#include <cmath>

#include "filetime.h"
#include "installregistry.h"
#include "kitroutines.h"
#include "pathspec.h"
#include "shelllinks.h"
#include "uninstallexe.h"
#include "translator.h"
#include "win/registry.h"
#include "sysutils.h"

namespace {

TCustomInstall* gInstance = nullptr;

const char kUnfinishedFailed[] = "The TInstall could not either write or read unfinished business from the registry";

std::vector<std::string> ProcessArguments() {
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.push_back(__argv[i]);
  return args;
}

// Keys below HKEY_LOCAL_MACHINE, opened afresh for each use.
struct TMachineKey {
  TRegistry reg;
  TMachineKey() { reg.SetRootKey(HKEY_LOCAL_MACHINE); }
};

}  // namespace

TInstallDriverSeams& InstallDriverSeams() {
  static TInstallDriverSeams seams{ProcessArguments, [] { return ExitWindowsEx(EWX_REBOOT, 0) != 0; },
                                   [] { return GetWindowsVersion(); }};
  return seams;
}

TCustomInstall* InstallInstance() { return gInstance; }
std::string& RunKeyPath() {
  static std::string path;
  return path;
}
TDateTime& RunStartTime() {
  static TDateTime t = 0;
  return t;
}
bool& RebootNeeded() {
  static bool flag = false;
  return flag;
}
int& SetupExitCode() {
  static int code = secFailed;
  return code;
}

// ---------------------------------------------------------------------------

void TBuildInfo::Assign(TPersistent* source) {
  auto* o = dynamic_cast<TBuildInfo*>(source);
  if (!o) return TPersistent::Assign(source);
  AppName = o->AppName, AppURL = o->AppURL, BuildDirectory = o->BuildDirectory;
  CredentialsFile = o->CredentialsFile, OCXName = o->OCXName, PrivateKeyFile = o->PrivateKeyFile;
  SignCode = o->SignCode, URLPath = o->URLPath;
}

void TBuildInfo::PublishProperties(TPropList& list) const {
  using C = TBuildInfo;
  auto str = [&](const char* name, std::string C::*m) {
    list.push_back(StrProp<C>(
        name, [m](C* c) { return c->*m; }, [m](C* c, const std::string& v) { c->*m = v; }));
  };
  str("AppName", &C::AppName);
  str("AppURL", &C::AppURL);
  str("BuildDirectory", &C::BuildDirectory);
  str("CredentialsFile", &C::CredentialsFile);
  str("OCXName", &C::OCXName);
  str("PrivateKeyFile", &C::PrivateKeyFile);
  list.push_back(BoolProp<C>("SignCode", [](C* c) { return c->SignCode; }, [](C* c, bool v) { c->SignCode = v; }));
  str("URLPath", &C::URLPath);
}

// ---------------------------------------------------------------------------

TCustomInstall::TCustomInstall(TComponent* owner)
    : TFileContainer(owner),
      buildInfo_(new TBuildInfo),
      login_(new TLoginInformation),
      presetupFiles_(new TStringList) {
  if (gInstance)
    throw IEInstall("The TInstall component does not currently support the use of 2 TInstall components in the same project");
  if (!IsFormOrDataModule(owner))
    throw IEInstall("The owner of the TInstall component must be a form");
  SetDestDir("\\MyApplication");
  SetDestDirType(FindStandardPathSpecifier<TpsProgramFiles>());
  SetGroupName("Main");
  SetArchiveFileType(FindStandardPathSpecifier<TpsMainArchiveFile>());
  SetArchiveFile("");
  SetAllowChoice(false);
  gInstance = this;
  RegisterInstallDriver(this, &information_);
  auto& h = InstallDriverHooks();
  h.DistributeType = [this] { return distributeType_; };
  h.RunKeyPath = [] { return RunKeyPath(); };
  h.AddUnfinished = [this](const std::string& name, int kind) { AddUnfinished(name, kind); };
  h.SetRebootNeeded = [] { RebootNeeded() = true; };
  h.Running = [this] { return running_; };
  h.NetworkPath = [this] { return ExtractFileDir(GetArchivePath()); };
  HookRunSide();
}

TCustomInstall::~TCustomInstall() {
  UnhookRunSide();
  if (gInstance == this) {
    gInstance = nullptr;
    InstallDriverHooks() = TInstallDriverHooks();
    RegisterInstallDriver(nullptr, nullptr);
  }
  delete buildInfo_;
  delete login_;
  delete presetupFiles_;
  // Last of all: the batch waits for this program's file to be free.  It
  // starts in the temporary folder: a loader starts the program inside the
  // folder the batch deletes, which cannot go while it is the batch's
  // current folder.
  if (startBatch_ && !batchPath_.empty()) {
    SetCurrentDirectoryA(ExtractFileDir(batchPath_).c_str());
    WinExec(("\"" + batchPath_ + "\"").c_str(), SW_HIDE);
  }
}

void TCustomInstall::SetBuildInfo(TBuildInfo* value) {
  if (value) buildInfo_->Assign(value);
}

void TCustomInstall::SetDistributeType(TDistributeType value) {
  if (!IsLoading() && !(ComponentState() & csDesigning))
    throw IEInstall("DistributeType can only be set at design-time");
  distributeType_ = value;
}

void TCustomInstall::SetLoginInformation(TLoginInformation* value) {
  if (value) login_->Assign(value);
  CopyLogin();
}

void TCustomInstall::CopyLogin() {
  if (TNetInstallLocation* location = SharedNetInstallLocation()) location->SetLoginInformation(login_);
}

void TCustomInstall::SetPasswordTries(int value) { passwordTries_ = value < 1 ? 1 : value; }

void TCustomInstall::SetPresetupFiles(TStrings* value) {
  presetupFiles_->Clear();
  if (!value) return;
  for (int i = 0; i < value->Count(); ++i)
    if (!Trim(value->Strings(i)).empty()) presetupFiles_->Add(value->Strings(i));
}

void TCustomInstall::SetUseLoadingProgram(bool value) {
  useLoadingProgram_ = value;
  if (value && !IsLoading()) {
    SetArchiveFileType(FindStandardPathSpecifier<TpsMainArchiveFile>());
    SetArchiveFile("");
  }
}

void TCustomInstall::ParseCommandLine() {
  try {
    commandLine_ = ParseSetupCommandLine(InstallDriverSeams().Arguments());
  } catch (...) {
    SetupExitCode() = secBadCommandLine;
    throw;
  }
}

std::string TCustomInstall::SourceDirectoryDefault() { return ExcludeTrailingBackslash(ExtractFilePath(SetupProgramPath())); }

std::string TCustomInstall::SetupProgramPath() {
  if (commandLine_.Has(clSelfExtract))
    return IncludeTrailingBackslash(sourceDirectory_) + commandLine_.TextOf(clSelfExtract);
  // The loader names itself with "-c"; without it the program is its own.
  if (useLoadingProgram_ && commandLine_.Has(clCopy) && !commandLine_.TextOf(clCopy).empty())
    return IncludeTrailingBackslash(sourceDirectory_) + commandLine_.TextOf(clCopy);
  return Application ? Application->ExeName() : ParamStr(0);
}

void TCustomInstall::Loaded() {
  TFileContainer::Loaded();
  if (!Designing()) {
    ParseCommandLine();
    if (commandLine_.Has(clDebug) && Trim(commandLine_.TextOf(clSource)).empty()) {
      SetupExitCode() = secBadCommandLine;
      throw IEInstall("You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"");
    }
    sourceDirectory_ = commandLine_.Has(clSource) ? commandLine_.TextOf(clSource) : std::string();
    if (!commandLine_.Has(clSource)) sourceDirectory_ = SourceDirectoryDefault();
    CopyLogin();
    RecordRun(false, RunKeyPath());
    HasLocalArchive();
  }
  LoadedMainForm();
  TInstallType first = itAlways;
  for (TInstallType t : {itDefault, itCompact, itFull, itCustom})
    if (InstallTypes().Contains(t)) {
      first = t;
      break;
    }
  SetCurrentInstallType(first);
  LoadedDispatch();
}

void TCustomInstall::RecordRun(bool create, std::string& keyPath) {
  keyPath.clear();
  const std::string path = SetupProgramPath();
  const int64_t size = FileSizeOf(path);
  TDateTime date = 0;
  if (!FileDateTime(path, date)) return;
  try {
    TMachineKey k;
    if (!k.reg.OpenKey(InstallRecordsKey, true)) return;
    TStringList names;
    k.reg.GetKeyNames(&names);
    for (int i = 0; i < names.Count(); ++i) {
      TMachineKey sub;
      const std::string key = std::string(InstallRecordsKey) + "\\" + names.Strings(i);
      if (!sub.reg.OpenKey(key, false)) continue;
      double recorded;
      int recordedSize;
      try {
        (void)sub.reg.ReadString("Path");
        recorded = sub.reg.ReadFloat("CreationDate");
        recordedSize = sub.reg.ReadInteger("Size");
      } catch (const Exception&) {
        continue;
      }
      if (std::fabs(date - recorded) < 1e-7 && recordedSize == size) {
        try {
          sub.reg.WriteFloat("LastRunDate", RunStartTime());
          sub.reg.WriteString("Path", path);
        } catch (const Exception&) {
        }
        keyPath = key;
        return;
      }
    }
    if (!create) return;
    std::string name;
    for (int n = 0;; ++n) {
      name = "Install" + IntToStr(n);
      if (names.IndexOf(name) < 0) break;
    }
    const std::string key = std::string(InstallRecordsKey) + "\\" + name;
    TMachineKey sub;
    if (!sub.reg.OpenKey(key, true)) return;
    sub.reg.WriteString("Path", path);
    sub.reg.WriteFloat("LastRunDate", RunStartTime());
    sub.reg.WriteFloat("CreationDate", date);
    sub.reg.WriteInteger("Size", static_cast<int>(size));
    if (commandLine_.Has(clSelfExtract))
      sub.reg.WriteString("SelfExtract", IncludeTrailingBackslash(sourceDirectory_) + commandLine_.TextOf(clSelfExtract));
    keyPath = key;
  } catch (const Exception&) {
    // A user who cannot write the machine's keys installs unrecorded.
    keyPath.clear();
  }
}

void TCustomInstall::ClearUnfinished() {
  // Without a record there is nothing left over to clear.
  if (RunKeyPath().empty()) return;
  TMachineKey k;
  k.reg.DeleteKey(RunKeyPath() + "\\Unfinished");
}

void TCustomInstall::AddUnfinished(const std::string& name, int kind) {
  if (RunKeyPath().empty()) throw IEInstall(kUnfinishedFailed);
  ++unfinishedCount_;
  try {
    TMachineKey k;
    if (!k.reg.OpenKey(RunKeyPath() + "\\Unfinished", true)) throw IEInstall(kUnfinishedFailed);
    k.reg.WriteString(name, IntToStr(kind));
  } catch (const ERegistryException&) {
    throw IEInstall(kUnfinishedFailed);
  }
}

void TCustomInstall::ReadUnfinished(TStrings* list) {
  if (RunKeyPath().empty()) throw IEInstall(kUnfinishedFailed);
  list->Clear();
  TMachineKey k;
  if (!k.reg.OpenKey(RunKeyPath() + "\\Unfinished", false)) return;
  TStringList names;
  k.reg.GetValueNames(&names);
  for (int i = 0; i < names.Count(); ++i) list->Add(names.Strings(i) + ";" + k.reg.ReadString(names.Strings(i)));
}

void TCustomInstall::RegisterRunOnce() {
  TRunOnceLine line;
  line.ProgramPath = Application ? Application->ExeName() : ParamStr(0);
  line.SetupProgramPath = SetupProgramPath();
  line.SelfExtract = commandLine_.Has(clSelfExtract);
  line.Copy = commandLine_.Has(clCopy);
  line.CopyText = commandLine_.TextOf(clCopy);
  try {
    TMachineKey k;
    if (!k.reg.OpenKey(RunOnceKey, true)) throw ERegistryException("RunOnce");
    std::string name = "QuenlowUnfinished";
    for (int n = 1; k.reg.ValueExists(name); ++n) name = "QuenlowUnfinished" + IntToStr(n);
    k.reg.WriteString(name, BuildRunOnceLine(line));
  } catch (const ERegistryException&) {
    throw IEInstall("Cannot register the install to be run on reboot in the RunOnce key in the registry");
  }
}

void TCustomInstall::ReadSelfExtractTrailer(const std::string& path, TSelfExtractTrailer& trailer) {
  trailer = TSelfExtractTrailer();
  unsigned char bytes[SelfExtractTrailerSize] = {};
  bool ok = false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER size, at;
    DWORD got = 0;
    if (GetFileSizeEx(h, &size) && size.QuadPart >= int64_t(SelfExtractTrailerSize)) {
      at.QuadPart = size.QuadPart - int64_t(SelfExtractTrailerSize);
      // A wrong "-e" file must not give positions that a copy would follow.
      ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ReadFile(h, bytes, sizeof(bytes), &got, nullptr) &&
           got == sizeof(bytes) && DecodeSelfExtractTrailer(bytes, sizeof(bytes), size.QuadPart, trailer);
    }
    CloseHandle(h);
  }
  if (!ok)
    throw IEInstall(
        "Could not read the extraction info from the archive file %s when trying to find the correct offset into "
        "the self extracting file",
        {path});
}

void TCustomInstall::ApplySelfExtractOffset() {
  TSelfExtractTrailer trailer;
  ReadSelfExtractTrailer(SetupProgramPath(), trailer);
  GlobalArchiveReader()->SetOffset(trailer.FilesStart);
}

void TCustomInstall::Compress(unsigned options) {
  for (TCustomInstallFile* f : InstallFileList()) f->ClearBuildMarks();
  TFileContainer::Compress(options);
}

void TCustomInstall::PublishProperties(TPropList& list) const {
  TFileContainer::PublishProperties(list);
  using C = TCustomInstall;
  list.push_back(BoolProp<C>("AutoMaximizeWindow", &C::AutoMaximizeWindow, &C::SetAutoMaximizeWindow));
  list.push_back(ObjProp<C, TBuildInfo>("BuildInfo", &C::BuildInfo, &C::SetBuildInfo));
  list.push_back(EnumProp<C>("DistributeType", {"dtTraditional", "dtWeb", "dtTraditionalNet"}, &C::DistributeType,
                             [](C* c, int64_t v) { c->SetDistributeType(static_cast<TDistributeType>(v)); }));
  list.push_back(ObjProp<C, TInstallInformation>("Information", &C::Information, &C::SetInformation));
  list.push_back(ObjProp<C, TLoginInformation>("LoginInformation", &C::LoginInformation, &C::SetLoginInformation));
  list.push_back(StrProp<C>("Password", &C::Password, &C::SetPassword));
  list.push_back(IntProp<C>("PasswordTries", &C::PasswordTries, &C::SetPasswordTries));
  list.push_back(ObjProp<C, TStrings>("PresetupFiles", &C::PresetupFiles, &C::SetPresetupFiles));
  list.push_back(BoolProp<C>("RunAutomatic", &C::RunAutomatic, &C::SetRunAutomatic));
  list.push_back(BoolProp<C>("UseLoadingProgram", &C::UseLoadingProgram, &C::SetUseLoadingProgram));
}

// ---------------------------------------------------------------------------
// Run side

namespace {

const char kInvalidUnfinished[] = "There is an invalid entry for the unfinished install list %s";

// Runs f when the scope ends, or earlier through Run.
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F f) : f_(std::move(f)) {}
  ~TScopeExit() { Run(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  void Run() {
    if (!armed_) return;
    armed_ = false;
    f_();
  }

 private:
  F f_;
  bool armed_ = true;
};
template <class F>
TScopeExit<F> OnExit(F f) {
  return TScopeExit<F>(std::move(f));
}

// The program's own folder as the loader's clean-up must see it: the
// temporary folder, without trailing backslash.
std::string TempDirectory() {
  char buf[MAX_PATH] = {};
  DWORD n = GetTempPathA(MAX_PATH, buf);
  return n && n < MAX_PATH ? ExcludeTrailingBackslash(buf) : std::string();
}

// A temporary file name with the given prefix, made and then left to the
// caller (GetTempFileName creates it).
std::string TempFileWithPrefix(const char* prefix) {
  char name[MAX_PATH] = {};
  if (!GetTempFileNameA((TempDirectory() + "\\").c_str(), prefix, 0, name))
    throw IEInstall("Cannot create a temporary file in %s", {TempDirectory()});
  return name;
}

bool EnableShutdownPrivilege() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES tp{};
  bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid) != 0;
  if (ok) {
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ok = AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return ok;
}

void ShowText(const std::string& text, UINT flags) {
  if (Application) Application->MessageBox(text, Application->Title(), flags);
}

}  // namespace

bool TCustomInstall::Designing() const {
  return (ComponentState() & csDesigning) || (Owner() && (Owner()->ComponentState() & csDesigning));
}

void TCustomInstall::HookRunSide() {
  auto& info = InstallDriverInfoHooks();
  info.Information = [this] { return &information_; };
  info.KitDirectory = &TCustomInstall::KitDirectory;
  auto& tree = PathSpecifierTree();
  tree.SourceDir = [this] { return sourceDirectory_; };
  tree.SelfExtractorName = [this](std::string& name) {
    if (!commandLine_.Has(clSelfExtract)) return false;
    name = commandLine_.TextOf(clSelfExtract);
    return true;
  };
  if (Designing()) {
    // The designer's translations need a translator on the form.
    bool has = false;
    for (int i = 0; Owner() && i < Owner()->ComponentCount(); ++i)
      if (dynamic_cast<TTranslator*>(Owner()->Components(i))) has = true;
    if (!has && Owner()) {
      designTranslator_ = new TTranslator(Owner());
      designTranslator_->SetName("MainTranslator");
    }
  } else if (Application) {
    savedOnException_ = Application->OnException;
    exceptionHooked_ = true;
    Application->OnException = [this](TObject* sender, const std::exception& e) { HandleException(sender, e); };
    // The archive lets the copy page's Cancel and repaints through after
    // each buffer; the installation runs on this one thread.
    TQnlwCompress::ProcessMessages = [] {
      if (Application) Application->ProcessMessages();
    };
    messagesHooked_ = true;
  }
}

void TCustomInstall::UnhookRunSide() {
  if (gInstance != this) return;
  InstallDriverInfoHooks() = TInstallDriverInfoHooks();
  // The kit's folder is found without a driver too (a designed uninstaller).
  InstallDriverInfoHooks().KitDirectory = &TCustomInstall::FindKitDirectory;
  auto& tree = PathSpecifierTree();
  tree.SourceDir = nullptr;
  tree.SelfExtractorName = nullptr;
  if (exceptionHooked_ && Application) Application->OnException = savedOnException_;
  if (messagesHooked_) TQnlwCompress::ProcessMessages = nullptr;
  // The form keeps its own handler when it outlives the driver.
  if (activateSaved_ && mainForm_ && !(mainForm_->ComponentState() & csDestroying))
    mainForm_->OnActivate = savedOnActivate_;
}

void TCustomInstall::LoadedMainForm() {
  if (Designing()) return;
  mainForm_ = Application ? Application->MainForm() : nullptr;
  if (!mainForm_) mainForm_ = dynamic_cast<TForm*>(Owner());
  // The main form may be another form than the owner, and go first.
  if (mainForm_ && mainForm_ != Owner()) mainForm_->FreeNotification(this);
  if (!mainForm_ && runAutomatic_)
    throw IEInstall(
        "Application.MainForm is undefined and the TInstall is not on a form. Therefore, therefore the TInstall "
        "can't run the installation automatically");
}

void TCustomInstall::Notification(TComponent* component, TOperation operation) {
  TFileContainer::Notification(component, operation);
  if (operation == opRemove && component == mainForm_) {
    mainForm_ = nullptr;
    activateSaved_ = false;
  }
}

void TCustomInstall::LoadedDispatch() {
  if (Designing()) {
    // The form came from its stored description, which has its own.
    delete designTranslator_;
    designTranslator_ = nullptr;
    return;
  }
  if (commandLine_.Has(clBuild))
    BuildFromIni();
  else if (commandLine_.Has(clFloppies))
    TransferToFloppies("a:");
  else if (commandLine_.Has(clAfterReboot))
    RunAfterReboot();
  else if (mainForm_) {
    savedOnActivate_ = mainForm_->OnActivate;
    activateSaved_ = true;
    mainForm_->OnActivate = [this](TObject* sender) { FormActivate(sender); };
  }
}

void TCustomInstall::FormActivate(TObject* sender) {
  if (activated_) return;
  activated_ = true;
  if (savedOnActivate_) savedOnActivate_(sender);
  if (autoMaximize_ && mainForm_) {
    mainForm_->SetWindowState(wsMaximized);
    mainForm_->Refresh();
  }
  if (runAutomatic_) {
    if (mainForm_) mainForm_->OnActivate = savedOnActivate_;
    activateSaved_ = false;
    Run();
  }
}

void TCustomInstall::Run() {
  fileInfoRead_ = false;
  RunStartTime() = Now();
  ActiveXQueue().clear();
  unfinishedCount_ = 0;
  batchPath_.clear();
  startBatch_ = false;
  running_ = true;

  CopyLogin();
  RecordRun(true, RunKeyPath());
  ClearUnfinished();
  if (commandLine_.Has(clSelfExtract)) ApplySelfExtractOffset();
  ReadFileInformation();
  if (OnStartInstall) OnStartInstall(this);
  for (int code : {imRunStart1, imRunStart2, imRunStart3, imWelcome, imRunStart4, imRunStart5, imManagerBeforeInstall})
    SendInstallMessage(this, code, nullptr);

  TFileContainer::Install();
  RegisterActiveXQueue();
  if (unfinishedCount_ > 0 || RebootNeeded()) RegisterRunOnce();

  const bool rebootWanted = RebootNeeded();
  if (RebootNeeded()) SendInstallMessage(this, imRebootNeeded, nullptr);
  if (RebootNeeded() && OnRebootWindows) {
    bool reboot = true;
    OnRebootWindows(this, reboot);
    if (!reboot) RebootNeeded() = false;
  }
  if (RebootNeeded()) {
    SaveLanguage();
    Reboot();
    if (Application) Application->Terminate();
  }
  if (rebootWanted) {
    // The run after the restart finishes the installation; the question
    // was answered either way.
    SetupExitCode() = secComplete;
    if (Application) Application->Terminate();
    return;
  }
  ShowGoodInstall();
  SetupExitCode() = secComplete;
  CleanupLoader();
  CleanupRegistry();
  if (runAutomatic_) TerminateApp();
  running_ = false;
  fileInfoRead_ = false;
}

void TCustomInstall::ShowGoodInstall() {
  if (OnShowGoodInstall) OnShowGoodInstall(this);
  SendInstallMessage(this, imGoodEnd, nullptr);
  SendInstallMessage(this, imManagerGoodEnd, nullptr);
}

void TCustomInstall::ShowBadInstall() {
  if (OnShowBadInstall) OnShowBadInstall(this);
  SendInstallMessage(this, imBadEnd, nullptr);
  SendInstallMessage(this, imManagerBadEnd, nullptr);
}

void TCustomInstall::TerminateApp() {
  bool allow = true;
  if (OnBeforeTerminateApp) OnBeforeTerminateApp(this, allow);
  if (allow && Application) Application->Terminate();
}

bool TCustomInstall::UserAbort() {
  bool allow = true;
  if (OnUserAbort) OnUserAbort(this, allow);
  return allow;
}

void TCustomInstall::HandleException(TObject*, const std::exception& e) {
  if (!running_) {
    if (Application) Application->ShowException(e);
    return;
  }
  running_ = false;
  const bool cancelled = dynamic_cast<const EAIUserAbort*>(&e) != nullptr;
  SetupExitCode() = cancelled ? secCancelled : secFailed;
  try {
    // The copy window of the file that stopped goes before the result page.
    SendInstallMessage(this, imFilesDone, nullptr);
    RegisterUninstallerOfPartialRun();
    if (cancelled) {
      // The user's own choice: no error to show.
      ShowBadInstall();
      CleanupLoader();
      CleanupRegistry();
      if (runAutomatic_) TerminateApp();
    } else {
      ShowBadInstall();
      if (Application) Application->ShowException(e);
      // The loader's copy goes however the run ended; the run's record
      // stays, so that a next run finds its downloads again.
      try {
        CleanupLoader();
      } catch (...) {
        // the run's own failure is the one reported
      }
      TerminateApp();
    }
  } catch (...) {
    if (runAutomatic_ && Application) Application->Terminate();
  }
}

void TCustomInstall::RegisterUninstallerOfPartialRun() {
  bool installedSome = false;
  for (TCustomInstallFile* f : InstallFileList()) installedSome = installedSome || f->Processed();
  for (TCustomInstallShellLink* l : InstallShellLinkList()) installedSome = installedSome || l->Processed();
  for (TCustomInstallRegistry* r : InstallRegistryList()) installedSome = installedSome || r->Processed();
  if (!installedSome) return;
  // A Cancel is answered by ending the run, not by refusing the one file
  // that lets the user remove the rest.
  GlobalArchiveReader()->SetAbort(false);
  NetInstallCancel = false;
  for (TCustomInstallFile* f : InstallFileList()) {
    auto* uninstaller = dynamic_cast<TUninstallEXE*>(f);
    if (!uninstaller || uninstaller->Processed()) continue;
    try {
      uninstaller->Install();
    } catch (...) {
      // A full disk stops this one too; the run's failure is still the
      // one to report.
    }
  }
  GlobalArchiveReader()->SetAbort(false);
  NetInstallCancel = false;
}

void TCustomInstall::ReadFileInformation() {
  if (fileInfoRead_) return;
  if (OnBeforeReadArchiveInfo) OnBeforeReadArchiveInfo(this);
  SendInstallMessage(this, imBeforeReadInfo, nullptr);
  TCursor savedCursor = mainForm_ ? mainForm_->Cursor() : crDefault;
  if (mainForm_) mainForm_->SetCursor(crHourGlass);
  PushStatus("Reading file information...");
  // A failed read must not leave the hourglass and the status over the
  // page that reports it.
  auto restore = OnExit([&] {
    if (mainForm_) mainForm_->SetCursor(savedCursor);
    try {
      PopStatus();
    } catch (...) {
      // the read's own failure is the one to report
    }
  });
  ReadArchiveInfo();
  if (distributeType_ != dtTraditional) {
    TNetInstallLocation* location = NetLocation() ? NetLocation() : SharedNetInstallLocation();
    if (!location) throw IEFileRelated("Could not find a net install location for %s", {Name()});
    const std::string local = MakeTempFileName(false);
    auto drop = OnExit([&] { DeleteFile(local); });
    location->Download("filelist.lst", local);
    std::string bytes;
    {
      TFileStream in(local, fmOpenRead | fmShareDenyWrite);
      bytes.resize(static_cast<size_t>(in.Size()));
      if (!bytes.empty()) in.ReadBuffer(&bytes[0], static_cast<int64_t>(bytes.size()));
    }
    for (const TRemoteFileRecord& r : DecodeRemoteFileList(bytes, local))
      for (TCustomInstallFile* f : InstallFileList())
        if (SameText(f->Name(), r.Name)) f->SetArchiveInfo(f->ArchiveCompressedSize(), r.Date, r.Size, r.Version);
  }
  restore.Run();
  fileInfoRead_ = true;
  if (OnAfterReadArchiveInfo) OnAfterReadArchiveInfo(this);
  SendInstallMessage(this, imAfterReadInfo, nullptr);
}

void TCustomInstall::RunAfterReboot() {
  running_ = true;
  CopyLogin();
  RecordRun(false, RunKeyPath());
  LoadLanguage();
  TStringList lines;
  ReadUnfinished(&lines);
  ClearUnfinished();
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string line = lines.Strings(i);
    std::string name;
    int kind;
    // Split at the last ";": a file path may hold one itself.
    if (!SplitUnfinishedLine(line, name, kind)) throw IEInstall(kInvalidUnfinished, {line});
    if (kind == 1) {
      DeleteFile(name);
    } else if (kind == 0) {
      // AfterReboot may make or free objects: work on a copy of the list.
      std::vector<TInstallContainer*> objects = InstallObjectList();
      for (TInstallContainer* o : objects)
        if (o != this && SameText(o->Name(), name)) o->AfterReboot();
    }
  }
  ShowGoodInstall();
  SetupExitCode() = secComplete;
  CleanupLoader();
  CleanupRegistry();
  if (runAutomatic_) TerminateApp();
  running_ = false;
}

void TCustomInstall::SaveLanguage() {
  TTranslator* t = CurrentTranslator();
  if (!t || RunKeyPath().empty()) return;
  WriteRegistryInteger(hkLocalMachine, RunKeyPath(), "Language", static_cast<int>(t->TranslateIntoLanguage()));
}

void TCustomInstall::LoadLanguage() {
  TTranslator* t = CurrentTranslator();
  if (!t || RunKeyPath().empty()) return;
  int current = static_cast<int>(t->TranslateIntoLanguage());
  int saved = ReadRegistryInteger(hkLocalMachine, RunKeyPath(), "Language", current);
  if (saved >= 0 && saved < QnlwLanguageCount) t->SetTranslateIntoLanguage(static_cast<TQnlwLanguage>(saved));
}

void TCustomInstall::Reboot() {
  auto& seams = InstallDriverSeams();
  bool ok = false;
  switch (seams.WindowsVersion()) {
    case 1: ok = seams.Shutdown(); break;
    case 2: ok = EnableShutdownPrivilege() && seams.Shutdown(); break;
    default: break;
  }
  if (!ok) ShowText(TranslateText("Could not reboot windows. Please manually reboot windows."), MB_OK | MB_ICONSTOP);
}

void TCustomInstall::CleanupLoader() {
  if (!useLoadingProgram_ || !commandLine_.Has(clCopy) || commandLine_.Has(clDebug) || Designing()) return;
  bool doCleanup = true;
  if (OnCleanup) OnCleanup(this, doCleanup);
  if (!doCleanup) return;
  const std::string exe = Application ? Application->ExeName() : ParamStr(0);
  const std::string dir = ExcludeTrailingBackslash(ExtractFilePath(exe));
  for (int i = 0; i < presetupFiles_->Count(); ++i)
    DeleteFile(IncludeTrailingBackslash(dir) + ExtractFileName(presetupFiles_->Strings(i)));
  const std::string made = TempFileWithPrefix("bat");
  DeleteFile(made);
  TCleanupBatch batch;
  batch.ProgramPath = exe;
  batch.ProgramDir = dir;
  batch.BatchPath = ChangeFileExt(made, ".bat");
  batch.WindowsNT = InstallDriverSeams().WindowsVersion() != 1;
  // Only the loader's temporary copy may go with its folder: a "-c" run
  // from a product folder keeps that folder.
  batch.DeleteTree = PathBelowDirectory(dir, TempDirectory());
  std::string text;
  for (const std::string& line : BuildCleanupBatch(batch)) text += line + "\r\n";
  {
    TFileStream out(batch.BatchPath, fmCreate);
    out.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  }
  batchPath_ = batch.BatchPath;
  startBatch_ = true;
}

void TCustomInstall::CleanupRegistry() {
  if (RunKeyPath().empty()) return;
  {
    TMachineKey k;
    if (k.reg.OpenKey(RunKeyPath(), false)) {
      TStringList subs;
      k.reg.GetKeyNames(&subs);
      k.reg.CloseKey();
      for (int i = 0; i < subs.Count(); ++i) {
        const std::string sub = RunKeyPath() + "\\" + subs.Strings(i);
        std::string local = ReadRegistryString(hkLocalMachine, sub, "LocalFile", "");
        if (!Trim(local).empty()) {
          try {
            DeleteFile(local);
          } catch (const Exception&) {
          }
        }
        k.reg.DeleteKey(sub);
      }
    }
    k.reg.DeleteKey(RunKeyPath());
  }
  RunKeyPath().clear();
  for (const char* key : {InstallRecordsKey, QuenlowKey}) {
    TMachineKey k;
    if (!k.reg.OpenKey(key, false)) continue;
    bool empty = !k.reg.HasSubKeys();
    k.reg.CloseKey();
    if (!empty) break;
    k.reg.DeleteKey(key);
  }
}

std::string TCustomInstall::KitDirectory() {
  const std::string dir = FindKitDirectory();
  if (!dir.empty()) return dir;
  throw IEInstall(
      "The HKEY_LOCAL_MACHINE | %s key in the registry is either missing or points to an invalid Quenlow directory",
      {std::string("\\Software\\Tobin Reyl\\Q32V31")});
}
