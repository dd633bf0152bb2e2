// The install driver: the one component of the setup form, the root of the
// install tree.  It reads the command line when the form is loaded, records
// each run of a setup file in the registry, keeps the list of what is left
// for the next restart and registers the line that continues the
// installation then.  It also runs the installation (started by the first
// activation of the main form), ends it well or badly, restarts Windows
// when files wait for the restart, continues after it, and cleans up the
// loader's temporary copy and the run's records.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/forms.h"
#include "installfile.h"
#include "installrecords.h"

class TBuildInfo : public TPersistent {
 public:
  std::string AppName, AppURL, BuildDirectory = "c:\\build", CredentialsFile, OCXName = "MySetup", PrivateKeyFile;
  bool SignCode = false;
  std::string URLPath = "http://www.example.com/install";
  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;
};

// Platform seams that tests replace; each defaults to the real thing.
struct TInstallDriverSeams {
  // The arguments after the program name.
  std::function<std::vector<std::string>()> Arguments;
  // ---- run side ----
  // Restarts Windows (ExitWindowsEx); true when the restart was accepted.
  std::function<bool()> Shutdown;
  // As GetWindowsVersion: 1 for the Windows 95 family, 2 for NT.
  std::function<int()> WindowsVersion;
};
TInstallDriverSeams& InstallDriverSeams();

// ---- run side: events ----
using TUserAbortEvent = std::function<void(TObject* Sender, bool& Allow)>;
using TCleanupEvent = std::function<void(TObject* Sender, bool& DoCleanup)>;
using TRebootWindowsEvent = std::function<void(TObject* Sender, bool& Reboot)>;

class TCustomInstall : public TFileContainer {
 public:
  explicit TCustomInstall(TComponent* owner);
  ~TCustomInstall() override;

  // ---- properties ----
  bool AutoMaximizeWindow() const { return autoMaximize_; }
  void SetAutoMaximizeWindow(bool v) { autoMaximize_ = v; }
  TBuildInfo* BuildInfo() const { return buildInfo_; }
  virtual void SetBuildInfo(TBuildInfo* value);
  TDistributeType DistributeType() const { return distributeType_; }
  virtual void SetDistributeType(TDistributeType value);
  TInstallInformation* Information() { return &information_; }
  void SetInformation(TInstallInformation* value) {
    if (value) information_.Assign(value);
  }
  TLoginInformation* LoginInformation() const { return login_; }
  virtual void SetLoginInformation(TLoginInformation* value);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  int PasswordTries() const { return passwordTries_; }
  virtual void SetPasswordTries(int value);
  TStrings* PresetupFiles() const { return presetupFiles_; }
  virtual void SetPresetupFiles(TStrings* value);
  bool RunAutomatic() const { return runAutomatic_; }
  void SetRunAutomatic(bool v) { runAutomatic_ = v; }
  bool UseLoadingProgram() const { return useLoadingProgram_; }
  virtual void SetUseLoadingProgram(bool value);

  // ---- operations ----
  virtual void RecordRun(bool create, std::string& keyPath);
  virtual void ParseCommandLine();
  virtual void RegisterRunOnce();
  virtual void ReadUnfinished(TStrings* list);
  virtual void ClearUnfinished();
  virtual void AddUnfinished(const std::string& name, int kind);
  std::string SetupProgramPath();
  std::string SourceDirectoryDefault();
  // Raises IEInstall when the file has no valid trailer.
  void ReadSelfExtractTrailer(const std::string& path, TSelfExtractTrailer& trailer);
  // Points the archive reader at the file archive inside the "-e" file.
  void ApplySelfExtractOffset();
  // Clears the build marks of every install file first.
  void Compress(unsigned options) override;

  // State the tests and the pages look at.
  const TCommandLine& CommandLine() const { return commandLine_; }
  const std::string& SourceDirectory() const { return sourceDirectory_; }
  bool IsRunning() const { return running_; }
  int UnfinishedCount() const { return unfinishedCount_; }

  void Loaded() override;
  void PublishProperties(TPropList& list) const override;

  // ---- run side ----
  TNotifyEvent OnStartInstall, OnShowGoodInstall, OnShowBadInstall, OnBeforeReadArchiveInfo, OnAfterReadArchiveInfo;
  TUserAbortEvent OnUserAbort, OnBeforeTerminateApp;
  TCleanupEvent OnCleanup;
  TRebootWindowsEvent OnRebootWindows;

  // A whole installation: the start messages, the tree, the queued ActiveX
  // registrations, then the reboot or the good end.
  virtual void Run();
  // "-r": carries out what the run before the restart left unfinished.
  virtual void RunAfterReboot();
  virtual void ReadFileInformation();
  virtual void CleanupRegistry();
  virtual void ShowBadInstall();
  virtual void ShowGoodInstall();
  virtual void HandleException(TObject* sender, const std::exception& e);
  virtual void CleanupLoader();
  // Asked by the Cancel buttons of the pages: OnUserAbort's answer.
  virtual bool UserAbort();
  // Installed as the main form's OnActivate.
  void FormActivate(TObject* sender);
  void Reboot();
  void TerminateApp();
  void SaveLanguage();
  void LoadLanguage();
  // The first folder of the IDE's library search path that holds the
  // kit's marker file; raises IEInstall when there is none.
  static std::string KitDirectory();
  TForm* MainForm() const { return mainForm_; }
  // The clean-up batch the destructor starts, "" when none was written.
  const std::string& CleanupBatchPath() const { return batchPath_; }
  void Notification(TComponent* component, TOperation operation) override;

  // ---- distribution build and floppy transfer (installbuild.cpp) ----
  // The IDE's library key under HKEY_CURRENT_USER; its ";"-separated
  // "SearchPath" value leads to the kit directory.
  static const char* const IdeLibraryKey;
  // The first search-path directory holding the kit's marker file, or "".
  static std::string FindKitDirectory();
  // "-f": copies the self-extracting distribution onto drive (a folder in
  // tests), asking for each further disk; shows any error, then ends the
  // program.
  void TransferToFloppies(const std::string& drive);
  // The archive reader the floppy transfer spans with; nil is the shared
  // reader.  Tests give one with disks of a small capacity.
  TQnlwCompress* FloppyReader = nullptr;
  // "-b": builds from the folder named by BUILD.INF beside the program;
  // shows any error, then ends the program.
  void BuildFromIni();
  virtual void Build(const std::string& sourceExe, const std::string& buildDir, bool selfExtracting);
  virtual void BuildSetupArchive(const std::string& buildDir, const std::string& sourceExe);
  // Appends setup.1, files.1 (when built) and the trailer to setup.exe in
  // buildDir.
  void AppendSelfExtractor(const std::string& buildDir);
  // "filelist.lst" beside the driver's archive, for the files compressed
  // in this build.
  void WriteFileList();

 private:
  void CopyLogin();
  // A run that stopped half way: when it installed anything, the
  // uninstaller goes in too and is registered, so that the product's
  // entry can remove what the run left.
  void RegisterUninstallerOfPartialRun();
  bool running_ = false;
  int unfinishedCount_ = 0;

  bool autoMaximize_ = true;
  TBuildInfo* buildInfo_;
  TDistributeType distributeType_ = dtTraditional;
  TInstallInformation information_;
  TLoginInformation* login_;
  std::string password_;
  int passwordTries_ = 3;
  TStringList* presetupFiles_;
  bool runAutomatic_ = true;
  bool useLoadingProgram_ = true;
  TCommandLine commandLine_;
  std::string sourceDirectory_;

  // ---- run side ----
  void HookRunSide();
  void UnhookRunSide();
  void LoadedMainForm();
  void LoadedDispatch();
  bool Designing() const;
  TExceptionEvent savedOnException_;
  bool exceptionHooked_ = false;
  bool messagesHooked_ = false;
  TForm* mainForm_ = nullptr;
  TNotifyEvent savedOnActivate_;
  bool activateSaved_ = false;
  bool activated_ = false;
  bool fileInfoRead_ = false;
  std::string batchPath_;
  bool startBatch_ = false;
  TComponent* designTranslator_ = nullptr;
};

class TInstall : public TCustomInstall {
 public:
  using TCustomInstall::TCustomInstall;
};

// ---- program-wide state ----
TCustomInstall* InstallInstance();
// "\SOFTWARE\Quenlow\Install\<run>", or "" when this run has no record.
std::string& RunKeyPath();
TDateTime& RunStartTime();
bool& RebootNeeded();

// How the program ends, as its exit code, so that a script running the
// setup can tell a finished installation from every other end.  It starts
// as a failure: an end that nothing decided is no success.
enum TSetupExitCode {
  secComplete = 0,        // installed ("Setup complete"), or the restart question answered; a build or transfer done
  secCancelled = 1,       // the user cancelled; "Setup incomplete"
  secFailed = 2,          // an error ended the run, the build or the transfer
  secBadCommandLine = 3,  // the arguments were refused before anything ran
};
int& SetupExitCode();

const char* const InstallRecordsKey = "\\SOFTWARE\\Quenlow\\Install";
// ---- run side ----
const char* const QuenlowKey = "\\Software\\Quenlow";
// The file that marks the kit's folder on the IDE's library search path.
const char* const KitMarkerFile = "Q32V31.TXT";
const char* const RunOnceKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
