// Every user setting of the patch creator, kept in global variables and in
// the per-user registry, with the sender profiles, per-packer settings,
// window positions and what was found out about the machine at start.
// Everything here runs on the GUI thread.
#pragma once

#include <string>
#include <vector>

class TComponent;
class TForm;
class TRegistry;
class TStrings;

// The main key below HKEY_CURRENT_USER.
extern const char* const kSettingsKey;

// ---------------------------------------------------------------------------
// The settings of the main key.

extern bool HideSplash;
extern int StartupPage;
extern int StartupPageMode;
extern int DefaultFilelistStyle;
extern std::string ExpertDefaultPatchfile;
extern std::string WizardDefaultPatchfile;
extern int ExpertDefaultPacker;
extern int WizardDefaultPacker;
extern bool ExpertDefaultArchiveChecked;
extern bool WizardDefaultArchiveChecked;
extern int ExpertDefaultPatchType;
extern int WizardDefaultPatchType;
extern bool ExpertDefaultPgpSigned;
extern bool WizardDefaultPgpSigned;
extern bool ExpertPatchIdenticalFiles;
extern bool WizardPatchIdenticalFiles;
extern std::string ExpertDefaultBackupPath;
extern std::string WizardDefaultBackupPath;
extern std::string DefaultPatchEmailSubject;
extern int DefaultBrowser;  // TBrowserKind
extern std::string MailProfile;
extern std::string CustomBrowserPath;
extern std::string CustomBrowserArgs;
extern bool RestoreExpertFilelists;
extern bool RestoreWizardFilelists;
extern int RestoreExpertFilelistsAmount;
extern int RestoreWizardFilelistsAmount;
// Stored file lists by index (see filelists.h); read only when restoring
// is switched on.
extern std::vector<std::string> ExpertFilelistContents;
extern std::vector<std::string> WizardFilelistContents;
extern bool ExpertRestoreSplitter;
extern int ExpertRestoreSplitterPosition;

enum TBrowserKind { bkSystemDefault = 0, bkInternetExplorer = 1, bkNetscape = 2, bkCustom = 3 };

// Tabs of the main page control, and the most file lists one page stores
// (the final state and up to 19 sources: the engine takes 20 states).
const int kMainPageCount = 5;
const int kMaxStoredFilelists = 20;

enum TSettingType { stBool, stInt, stString };

// One value of the main key.  Integers outside Min..Max are brought into
// that range on loading.
struct TSettingInfo {
  const char* Name;
  TSettingType Type;
  bool* BoolVar;
  int* IntVar;
  std::string* StringVar;
  int Default;             // bool and int settings
  const char* StringDefault;
  int Min, Max;
};
// The values in load order (the stored file lists aside).
const std::vector<TSettingInfo>& SettingsTable();

// Read and write the main key; a missing, empty (strings) or unreadable
// value reads as its default.  SaveSettings also saves the custom profiles.
void LoadSettings();
void SaveSettings();

// ---------------------------------------------------------------------------
// Window positions, stored per form under "windows\<form name>".

enum TWindowStoreMode { wsmDefault = 0, wsmCenter = 1, wsmRestore = 2 };
int RestoreWindowPosition(TForm* form, int defaultLeft, int defaultTop);
void StoreWindowPosition(TForm* form, int mode);
// As a window closes: its place with the mode its options group shows
// (restore when none is shown); a failure is shown, not raised.
void StoreClosingWindowPosition(TForm* form, int shownMode);
// Only the mode, for a window that does not exist yet; its stored place
// is kept.
void StoreWindowMode(const std::string& formName, int mode);

// Writes lines (CR LF after each) to a new file that then replaces path,
// so that a failed write leaves the old file whole. Raises EInOutError.
void SaveTextFile(const std::string& path, TStrings& lines);

// ---------------------------------------------------------------------------
// Per-packer settings of the seven external packers, in packer-table order.

struct PackerSettings {
  std::string Name;
  unsigned char CallViaSystemPath = 1;
  unsigned char HideDosOutput = 1;
  std::string ExecutablePath;
  std::string ParameterTemplate;
  std::string ArchiveSuffix;
};
extern std::vector<PackerSettings> PackerSettingsList;

// Appends the stored settings of one packer, with the packer table's suffix
// and option template as defaults.
void LoadPackerSettings(const std::string& name, const std::string& suffix, const std::string& optionTemplate);
void SavePackerSettings();

// ---------------------------------------------------------------------------
// Sender profiles: imported from other mail programs (read-only) and nine
// custom ones.

struct EmailSettings {
  std::string DisplayName;
  std::string Email;
  std::string Name;  // the sender's personal name
  std::string Smtp;
  std::string Organization;
  std::string ReplyTo;
  unsigned char Imported = 0;  // 1: imported, not editable
};
extern std::vector<EmailSettings> EmailProfiles;

const int kCustomProfileCount = 9;
std::string CustomProfileName(int n);
void LoadCustomProfile(int n);
void SaveCustomProfile(int n);

// ---------------------------------------------------------------------------
// The machine, found at start; empty when not found.

extern std::string DesktopDirectory;
extern std::string MailClientCommand;
extern std::string SystemBrowserCommand;
extern std::string InternetExplorerProgram;
extern std::string NetscapeProgram;
void DetectEnvironment();

// The folder that holds the table-database engine's installer, from the
// machine-wide installation key; empty when unknown.
std::string DatabaseEngineInstallerDir();

// ---------------------------------------------------------------------------

// Each "#" in the hints of the controls below 'component' becomes a line
// break.
void ConvertHintLineBreaks(TComponent* component);

// The registry object the settings go through.
TRegistry& SettingsRegistry();

// Brings the unit up: environment, imported profiles, custom profiles and
// the stored settings, in that order.  The program calls it first thing in
// its entry point rather than from a static initialiser, because the order
// of static initialisation across units is not fixed and the unit needs the
// class library's globals.  Calling it again starts afresh.
void InitSettingsUnit();
