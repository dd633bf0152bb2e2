#include <windows.h>

#include "settings.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "mailimport.h"
#include "packer.h"
#include "win/forms.h"
#include "win/registry.h"

const char* const kSettingsKey = "\\Software\\Dorn Aldwick Software\\Morvane\\1.9";

bool HideSplash;
int StartupPage;
int StartupPageMode;
int DefaultFilelistStyle;
std::string ExpertDefaultPatchfile;
std::string WizardDefaultPatchfile;
int ExpertDefaultPacker;
int WizardDefaultPacker;
bool ExpertDefaultArchiveChecked;
bool WizardDefaultArchiveChecked;
int ExpertDefaultPatchType;
int WizardDefaultPatchType;
bool ExpertDefaultPgpSigned;
bool WizardDefaultPgpSigned;
bool ExpertPatchIdenticalFiles;
bool WizardPatchIdenticalFiles;
std::string ExpertDefaultBackupPath;
std::string WizardDefaultBackupPath;
std::string DefaultPatchEmailSubject;
int DefaultBrowser;
std::string MailProfile;
std::string CustomBrowserPath;
std::string CustomBrowserArgs;
bool RestoreExpertFilelists;
bool RestoreWizardFilelists;
int RestoreExpertFilelistsAmount;
int RestoreWizardFilelistsAmount;
std::vector<std::string> ExpertFilelistContents;
std::vector<std::string> WizardFilelistContents;
bool ExpertRestoreSplitter;
int ExpertRestoreSplitterPosition;

std::vector<PackerSettings> PackerSettingsList;
std::vector<EmailSettings> EmailProfiles;

std::string DesktopDirectory;
std::string MailClientCommand;
std::string SystemBrowserCommand;
std::string InternetExplorerProgram;
std::string NetscapeProgram;

namespace {

const char kPackerKey[] = "\\packer\\";
const char kWindowsKey[] = "\\windows\\";
const char kCustomProfileKey[] = "\\email settings\\custom";
const char kExpertContents[] = "Restore Expert Filelists contents ";
const char kWizardContents[] = "Restore Wizard Filelists contents ";

// Placeholders that no mail server accepts, so an unedited profile fails
// visibly instead of sending somewhere.
const char kPlaceholderName[] = "Your name";
const char kPlaceholderEmail[] = "your.name@example.invalid";
const char kPlaceholderSmtp[] = "smtp.example.invalid";

TSettingInfo Bool(const char* name, bool* var, bool def) {
  return TSettingInfo{name, stBool, var, nullptr, nullptr, def ? 1 : 0, nullptr, 0, 1};
}
TSettingInfo Int(const char* name, int* var, int def, int min, int max) {
  return TSettingInfo{name, stInt, nullptr, var, nullptr, def, nullptr, min, max};
}
TSettingInfo Str(const char* name, std::string* var, const char* def) {
  return TSettingInfo{name, stString, nullptr, nullptr, var, 0, def, 0, 0};
}

std::vector<TSettingInfo> MakeTable() {
  const int lastPacker = kPackerCount - 1;
  const int lastPatchType = 2;
  const int lastFilelist = kMaxStoredFilelists - 1;
  return {
      Bool("Hide Splash", &HideSplash, false),
      Int("Startup page", &StartupPage, 2, 0, kMainPageCount - 1),
      Int("Startup page mode", &StartupPageMode, 3, 0, 3),
      Int("Default filelist style", &DefaultFilelistStyle, 0, 0, 3),
      Str("Expert default patchfile", &ExpertDefaultPatchfile, "YourPatch.utp"),
      Str("Wizard default patchfile", &WizardDefaultPatchfile, "YourPatch.exe"),
      Int("Expert default packer", &ExpertDefaultPacker, 0, 0, lastPacker),
      Int("Wizard default packer", &WizardDefaultPacker, 0, 0, lastPacker),
      Bool("Expert default archive checked", &ExpertDefaultArchiveChecked, true),
      Bool("Wizard default archive checked", &WizardDefaultArchiveChecked, true),
      Int("Expert default patch type", &ExpertDefaultPatchType, 0, 0, lastPatchType),
      Int("Wizard default patch type", &WizardDefaultPatchType, 2, 0, lastPatchType),
      Bool("Expert default PGP signed", &ExpertDefaultPgpSigned, false),
      Bool("Wizard default PGP signed", &WizardDefaultPgpSigned, false),
      Bool("Expert patch identical files", &ExpertPatchIdenticalFiles, false),
      Bool("Wizard patch identical files", &WizardPatchIdenticalFiles, false),
      Str("Expert default backup path", &ExpertDefaultBackupPath, "Backup"),
      Str("Wizard default backup path", &WizardDefaultBackupPath, "Backup"),
      Str("default patch email subject", &DefaultPatchEmailSubject, "Your patch for ..."),
      Int("Default browser", &DefaultBrowser, bkSystemDefault, bkSystemDefault, bkCustom),
      Str("mail profile", &MailProfile, ""),
      Str("custom browser path", &CustomBrowserPath, ""),
      Str("custom browser args", &CustomBrowserArgs, "%1"),
      Bool("Restore Expert Filelists", &RestoreExpertFilelists, true),
      Bool("Restore Wizard Filelists", &RestoreWizardFilelists, false),
      Int("Restore Expert Filelists amount", &RestoreExpertFilelistsAmount, 0, 0, lastFilelist),
      Int("Restore Wizard Filelists amount", &RestoreWizardFilelistsAmount, 0, 0, lastFilelist),
      Bool("Expert restore splitter", &ExpertRestoreSplitter, true),
      // Window coordinates stay within 16 bits.
      Int("Expert restore splitter position", &ExpertRestoreSplitterPosition, 336, 0, 32767),
  };
}

// Reads that never fail: a missing value, one of another type or an
// unreadable one gives the default.
int ReadIntDef(TRegistry& reg, const std::string& name, int def) {
  try {
    if (!reg.ValueExists(name)) return def;
    return reg.ReadInteger(name);
  } catch (const Exception&) {
    return def;
  }
}

int ReadIntClamped(TRegistry& reg, const std::string& name, int def, int min, int max) {
  return std::clamp(ReadIntDef(reg, name, def), min, max);
}

bool ReadBoolDef(TRegistry& reg, const std::string& name, bool def) { return ReadIntDef(reg, name, def ? 1 : 0) != 0; }

// Missing or unreadable gives "".
std::string ReadStr(TRegistry& reg, const std::string& name) {
  try {
    return reg.ReadString(name);
  } catch (const Exception&) {
    return std::string();
  }
}

std::string ReadStrDef(TRegistry& reg, const std::string& name, const std::string& def) {
  std::string s = ReadStr(reg, name);
  return s.empty() ? def : s;
}

// A value that is there keeps its text, even an empty one.
std::string ReadStrIfPresent(TRegistry& reg, const std::string& name, const std::string& def) {
  try {
    if (!reg.ValueExists(name)) return def;
    return reg.ReadString(name);
  } catch (const Exception&) {
    return def;
  }
}

std::unique_ptr<TRegistry> g_registry;

void ReadContents(TRegistry& reg, const char* prefix, int amount, std::vector<std::string>& contents) {
  contents.clear();
  for (int n = 0; n <= amount; ++n) contents.push_back(ReadStr(reg, prefix + std::to_string(n)));
}

void WriteContents(TRegistry& reg, const char* prefix, int amount, const std::vector<std::string>& contents) {
  for (int n = 0; n <= amount && n < static_cast<int>(contents.size()); ++n)
    reg.WriteString(prefix + std::to_string(n), contents[static_cast<size_t>(n)]);
}

EmailSettings* FindProfile(const std::string& displayName) {
  for (auto& p : EmailProfiles)
    if (p.DisplayName == displayName) return &p;
  return nullptr;
}

// The part of the virtual screen (all monitors) a window of the given size
// can start at so that it is wholly visible, or at least its top left.
void KeepOnScreen(int& left, int& top, int width, int height) {
  int x0 = GetSystemMetrics(SM_XVIRTUALSCREEN), y0 = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (w <= 0 || h <= 0) {
    x0 = y0 = 0;
    w = GetSystemMetrics(SM_CXSCREEN);
    h = GetSystemMetrics(SM_CYSCREEN);
  }
  left = std::max(std::min(left, x0 + w - width), x0);
  top = std::max(std::min(top, y0 + h - height), y0);
}

void ConvertHints(TComponent* component, std::unordered_set<TComponent*>& visited) {
  if (!component || !visited.insert(component).second) return;
  for (int i = 0; i < component->ComponentCount(); ++i) ConvertHints(component->Components(i), visited);
  auto* win = dynamic_cast<TWinControl*>(component);
  if (!win) return;
  for (int i = 0; i < win->ControlCount(); ++i) {
    TControl* child = win->Controls(i);
    if (!child->Hint().empty()) child->SetHint(StringReplace(child->Hint(), "#", "\r\n", rfReplaceAll));
    // Children made without an owner are reached through their parent.
    ConvertHints(child, visited);
  }
}

}  // namespace

const std::vector<TSettingInfo>& SettingsTable() {
  static const std::vector<TSettingInfo> table = MakeTable();
  return table;
}

TRegistry& SettingsRegistry() {
  if (!g_registry) g_registry.reset(new TRegistry());
  return *g_registry;
}

void LoadSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  // Without the key every value is its default; reading anyway would read
  // the root key's own values.
  const bool opened = reg.OpenKey(kSettingsKey, true);
  for (const TSettingInfo& s : SettingsTable()) {
    switch (s.Type) {
      case stBool: *s.BoolVar = opened ? ReadBoolDef(reg, s.Name, s.Default != 0) : s.Default != 0; break;
      case stInt: *s.IntVar = opened ? ReadIntClamped(reg, s.Name, s.Default, s.Min, s.Max) : s.Default; break;
      case stString: *s.StringVar = opened ? ReadStrDef(reg, s.Name, s.StringDefault) : s.StringDefault; break;
    }
  }
  ExpertFilelistContents.clear();
  WizardFilelistContents.clear();
  if (!opened) return;
  if (RestoreExpertFilelists) ReadContents(reg, kExpertContents, RestoreExpertFilelistsAmount, ExpertFilelistContents);
  if (RestoreWizardFilelists) ReadContents(reg, kWizardContents, RestoreWizardFilelistsAmount, WizardFilelistContents);
  reg.CloseKey();
}

void SaveSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(kSettingsKey, true)) throw ERegistryException(std::string("Failed to create key ") + kSettingsKey);
  for (const TSettingInfo& s : SettingsTable()) {
    switch (s.Type) {
      case stBool: reg.WriteBool(s.Name, *s.BoolVar); break;
      case stInt: reg.WriteInteger(s.Name, *s.IntVar); break;
      case stString: reg.WriteString(s.Name, *s.StringVar); break;
    }
  }
  WriteContents(reg, kExpertContents, RestoreExpertFilelistsAmount, ExpertFilelistContents);
  WriteContents(reg, kWizardContents, RestoreWizardFilelistsAmount, WizardFilelistContents);
  reg.CloseKey();
  for (int n = 1; n <= kCustomProfileCount; ++n) SaveCustomProfile(n);
}

int RestoreWindowPosition(TForm* form, int defaultLeft, int defaultTop) {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  int mode = wsmRestore;
  int left = defaultLeft, top = defaultTop;
  if (reg.OpenKey(kSettingsKey + std::string(kWindowsKey) + form->Name(), true)) {
    mode = ReadIntClamped(reg, "store mode", wsmRestore, wsmDefault, wsmRestore);
    if (mode == wsmCenter) {
      left = (Screen->Width() - form->Width()) / 2;
      top = (Screen->Height() - form->Height()) / 2;
    } else if (mode == wsmRestore) {
      left = ReadIntDef(reg, "left", defaultLeft);
      top = ReadIntDef(reg, "top", defaultTop);
      // The screen may have shrunk or lost a monitor since.
      KeepOnScreen(left, top, form->Width(), form->Height());
    }
    reg.CloseKey();
  }
  form->SetBounds(left, top, form->Width(), form->Height());
  return mode;
}

void StoreWindowMode(const std::string& formName, int mode) {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  std::string key = kSettingsKey + std::string(kWindowsKey) + formName;
  if (!reg.OpenKey(key, true)) throw ERegistryException("Failed to create key " + key);
  reg.WriteInteger("store mode", mode);
  reg.CloseKey();
}

void StoreClosingWindowPosition(TForm* form, int shownMode) {
  try {
    StoreWindowPosition(form, shownMode < 0 ? wsmRestore : shownMode);
  } catch (const std::exception& e) {
    Application->ShowException(e);
  }
}

void SaveTextFile(const std::string& path, TStrings& lines) {
  std::string text;
  for (int i = 0; i < lines.Count(); ++i) text += lines.Strings(i) + "\r\n";
  const std::string temp = path + ".new";
  HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = 0;
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
  } else {
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size() && FlushFileBuffers(h);
    if (!ok) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    if (!CloseHandle(h) && !error) error = GetLastError();
    if (!error && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = GetLastError();
    if (error) DeleteFileA(temp.c_str());
  }
  if (error) throw EInOutError("Cannot write " + path + ": " + SysErrorMessage(static_cast<int>(error)), static_cast<int>(error));
}

void StoreWindowPosition(TForm* form, int mode) {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  std::string key = kSettingsKey + std::string(kWindowsKey) + form->Name();
  if (!reg.OpenKey(key, true)) throw ERegistryException("Failed to create key " + key);
  reg.WriteInteger("store mode", mode);
  reg.WriteInteger("left", form->Left());
  reg.WriteInteger("top", form->Top());
  reg.CloseKey();
}

void LoadPackerSettings(const std::string& name, const std::string& suffix, const std::string& optionTemplate) {
  PackerSettings p;
  p.Name = name;
  p.ParameterTemplate = optionTemplate;
  p.ArchiveSuffix = suffix;
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (reg.OpenKeyReadOnly(kSettingsKey + std::string(kPackerKey) + name)) {
    p.CallViaSystemPath = ReadBoolDef(reg, "Call via system path", true) ? 1 : 0;
    p.ExecutablePath = ReadStr(reg, "Use executable at");
    p.ParameterTemplate = ReadStrDef(reg, "Call with parameters", optionTemplate);
    p.ArchiveSuffix = ReadStrDef(reg, "Archives have suffix", suffix);
    p.HideDosOutput = ReadBoolDef(reg, "Hide DOS output", true) ? 1 : 0;
    reg.CloseKey();
  }
  PackerSettingsList.push_back(p);
}

void SavePackerSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  for (const PackerSettings& p : PackerSettingsList) {
    std::string key = kSettingsKey + std::string(kPackerKey) + p.Name;
    if (!reg.OpenKey(key, true)) throw ERegistryException("Failed to create key " + key);
    reg.WriteBool("Call via system path", p.CallViaSystemPath != 0);
    reg.WriteString("Use executable at", p.ExecutablePath);
    reg.WriteString("Call with parameters", p.ParameterTemplate);
    reg.WriteString("Archives have suffix", p.ArchiveSuffix);
    reg.WriteBool("Hide DOS output", p.HideDosOutput != 0);
    reg.CloseKey();
  }
}

std::string CustomProfileName(int n) { return "Custom settings #" + std::to_string(n); }

void LoadCustomProfile(int n) {
  EmailSettings p;
  p.DisplayName = CustomProfileName(n);
  p.Name = kPlaceholderName;
  p.Email = kPlaceholderEmail;
  p.Smtp = kPlaceholderSmtp;
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (reg.OpenKeyReadOnly(kSettingsKey + std::string(kCustomProfileKey) + std::to_string(n))) {
    p.Name = ReadStrIfPresent(reg, "Realname", p.Name);
    p.Email = ReadStrIfPresent(reg, "Email", p.Email);
    p.Smtp = ReadStrIfPresent(reg, "SMTP", p.Smtp);
    p.Organization = ReadStr(reg, "Organization");
    p.ReplyTo = ReadStr(reg, "ReplyTo");
    reg.CloseKey();
  }
  p.Imported = 0;
  EmailProfiles.push_back(p);
}

void SaveCustomProfile(int n) {
  const EmailSettings* p = FindProfile(CustomProfileName(n));
  if (!p) return;
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  std::string key = kSettingsKey + std::string(kCustomProfileKey) + std::to_string(n);
  if (!reg.OpenKey(key, true)) throw ERegistryException("Failed to create key " + key);
  reg.WriteString("Realname", p->Name);
  reg.WriteString("Email", p->Email);
  reg.WriteString("SMTP", p->Smtp);
  reg.WriteString("Organization", p->Organization);
  reg.WriteString("ReplyTo", p->ReplyTo);
  reg.CloseKey();
}

void DetectEnvironment() {
  // Read-only opens: a user without rights to change the machine's keys
  // must still be able to read them.
  TRegistry& reg = SettingsRegistry();
  auto read = [&reg](HKEY root, const char* key, const char* value) {
    std::string s;
    reg.SetRootKey(root);
    if (reg.OpenKeyReadOnly(key)) {
      s = ReadStr(reg, value);
      reg.CloseKey();
    }
    return s;
  };
  DesktopDirectory =
      read(HKEY_CURRENT_USER, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop");
  MailClientCommand = read(HKEY_CLASSES_ROOT, "\\mailto\\shell\\open\\command", "");
  SystemBrowserCommand = read(HKEY_CLASSES_ROOT, "\\http\\shell\\open\\command", "");
  NetscapeProgram =
      read(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\App paths\\netscape.exe", "");
  InternetExplorerProgram =
      read(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\App paths\\iexplore.exe", "");
  reg.SetRootKey(HKEY_CURRENT_USER);
}

std::string DatabaseEngineInstallerDir() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  std::string dir;
  if (reg.OpenKeyReadOnly("\\SOFTWARE\\Dorn Aldwick Software\\Morvane Professional\\1.00\\Installed")) {
    dir = ReadStr(reg, "BDE");
    reg.CloseKey();
  }
  reg.SetRootKey(HKEY_CURRENT_USER);
  return dir;
}

void ConvertHintLineBreaks(TComponent* component) {
  std::unordered_set<TComponent*> visited;
  ConvertHints(component, visited);
}

void InitSettingsUnit() {
  PackerSettingsList.clear();
  EmailProfiles.clear();
  SettingsRegistry();
  DetectEnvironment();
  ImportInternetMailSettings();
  ImportAccountManagerSettings();
  ImportNavigatorMailSettings();
  ImportMessengerUserSettings();
  for (int n = 1; n <= kCustomProfileCount; ++n) LoadCustomProfile(n);
  LoadSettings();
}
