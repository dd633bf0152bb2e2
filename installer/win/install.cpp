#include "install.h"

#include <windows.h>

#include <cmath>

#include "kitroutines.h"
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
  static TInstallDriverSeams seams{ProcessArguments};
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
  if (!dynamic_cast<TForm*>(owner) && !(owner && owner->ClassName() == "TDataModule"))
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
}

TCustomInstall::~TCustomInstall() {
  if (gInstance == this) {
    gInstance = nullptr;
    InstallDriverHooks() = TInstallDriverHooks();
    RegisterInstallDriver(nullptr, nullptr);
  }
  delete buildInfo_;
  delete login_;
  delete presetupFiles_;
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

void TCustomInstall::ParseCommandLine() { commandLine_ = ParseSetupCommandLine(InstallDriverSeams().Arguments()); }

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
  if (!(ComponentState() & csDesigning)) {
    ParseCommandLine();
    if (commandLine_.Has(clDebug) && Trim(commandLine_.TextOf(clSource)).empty())
      throw IEInstall("You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"");
    sourceDirectory_ = commandLine_.Has(clSource) ? commandLine_.TextOf(clSource) : std::string();
    if (!commandLine_.Has(clSource)) sourceDirectory_ = SourceDirectoryDefault();
    CopyLogin();
    RecordRun(false, RunKeyPath());
    HasLocalArchive();
  }
  TInstallType first = itAlways;
  for (TInstallType t : {itDefault, itCompact, itFull, itCustom})
    if (InstallTypes().Contains(t)) {
      first = t;
      break;
    }
  SetCurrentInstallType(first);
}

void TCustomInstall::RecordRun(bool create, std::string& keyPath) {
  keyPath.clear();
  const std::string path = SetupProgramPath();
  const int64_t size = FileSizeOf(path);
  TDateTime date = 0;
  try {
    date = FileDateToDateTime(FileAge(path));
  } catch (const Exception&) {
    return;
  }
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
