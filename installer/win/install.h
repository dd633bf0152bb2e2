// The install driver: the one component of the setup form, the root of the
// install tree.  It reads the command line when the form is loaded, records
// each run of a setup file in the registry, keeps the list of what is left
// for the next restart and registers the line that continues the
// installation then.
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
};
TInstallDriverSeams& InstallDriverSeams();

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

const char* const InstallRecordsKey = "\\SOFTWARE\\Quenlow\\Install";
const char* const RunOnceKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
