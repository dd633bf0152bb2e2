// The settings store: defaults, types seen from outside, a second process
// reading back, bad stored values, window positions, file lists, hints.
#include <gtest/gtest.h>

#include <map>

#include "appsettings_dump.h"
#include "appsettings_support.h"
#include "filelists.h"
#include "packer.h"
#include "settings.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

using namespace appsettings;

namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kVendorKey);
    InitSettingsUnit();
  }
  void TearDown() override { DeleteTree(HKEY_CURRENT_USER, kVendorKey); }
};

std::string SelfPath() {
  char buf[MAX_PATH];
  GetModuleFileNameA(nullptr, buf, sizeof buf);
  return buf;
}

const EmailSettings* Profile(const std::string& displayName) {
  for (const auto& p : EmailProfiles)
    if (p.DisplayName == displayName) return &p;
  return nullptr;
}

}  // namespace

TEST_F(SettingsStore, FreshRegistryGivesEveryDefault) {
  // Scribble over the variables so that each default must come from loading.
  for (const TSettingInfo& s : SettingsTable()) {
    if (s.BoolVar) *s.BoolVar = s.Default == 0;
    if (s.IntVar) *s.IntVar = -1;
    if (s.StringVar) *s.StringVar = "stale";
  }
  LoadSettings();
  for (const TSettingInfo& s : SettingsTable()) {
    if (s.BoolVar) {
      EXPECT_EQ(*s.BoolVar, s.Default != 0) << s.Name;
    } else if (s.IntVar) {
      EXPECT_EQ(*s.IntVar, s.Default) << s.Name;
    } else {
      EXPECT_EQ(*s.StringVar, s.StringDefault) << s.Name;
    }
  }
  EXPECT_EQ(ExpertFilelistContents, std::vector<std::string>{""});  // restoring is on, amount 0
  EXPECT_TRUE(WizardFilelistContents.empty());
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kMainKey)) << "main key not created";

  for (int n = 1; n <= kCustomProfileCount; ++n) {
    const EmailSettings* p = Profile("Custom settings #" + std::to_string(n));
    ASSERT_NE(p, nullptr) << n;
    EXPECT_EQ(p->Name, "Your name");
    EXPECT_EQ(p->Imported, 0);
  }

  ResetPackerTable();
  LoadPackerSettings(PackerTable[3].name, PackerTable[3].suffix, PackerTable[3].options);
  const PackerSettings& gz = PackerSettingsList.at(0);
  EXPECT_EQ(gz.Name + gz.ParameterTemplate + gz.ArchiveSuffix + gz.ExecutablePath, "GZIP-N -9 -S\".gz \".gz");
  EXPECT_TRUE(gz.CallViaSystemPath && gz.HideDosOutput);
}

TEST_F(SettingsStore, SavedValuesComeBackInANewProcessWithTheirTypes) {
  for (const TSettingInfo& s : SettingsTable()) {
    switch (s.Type) {
      case stBool: *s.BoolVar = s.Default == 0; break;
      case stInt: *s.IntVar = s.Default == s.Max ? s.Min : s.Max; break;
      case stString: *s.StringVar = std::string("text of ") + s.Name; break;
    }
  }
  RestoreExpertFilelists = RestoreWizardFilelists = true;
  RestoreExpertFilelistsAmount = 2;
  RestoreWizardFilelistsAmount = 1;
  ExpertFilelistContents = {"C:\\final\x01", "C:\\src one\x01" "a.txt\x01" "b c.txt\x01", "C:\\src two\x01"};
  WizardFilelistContents = {"D:\\w\x01x\x01", ""};
  ResetPackerTable();
  for (int i = 1; i < kPackerCount; ++i) {
    LoadPackerSettings(PackerTable[i].name, PackerTable[i].suffix, PackerTable[i].options);
    PackerSettings& p = PackerSettingsList.back();
    p.CallViaSystemPath = 0;
    p.HideDosOutput = static_cast<unsigned char>(i % 2);
    p.ExecutablePath = "C:\\Tools dir\\" + p.Name + ".exe";
    p.ParameterTemplate += " -x";
    p.ArchiveSuffix = ".x" + p.Name;
  }
  EmailSettings& custom3 = EmailProfiles[2];
  ASSERT_EQ(custom3.DisplayName, "Custom settings #3");
  custom3 = EmailSettings{"Custom settings #3", "me@example.invalid", "Me Myself", "mail.example.invalid", "Org",
                          "reply@example.invalid", 0};

  SaveSettings();
  SavePackerSettings();
  const std::string expected = DumpSettings();
  EXPECT_EQ(RunAndCapture("\"" + SelfPath() + "\" --dump-settings"), expected);

  const std::string main = RegQuery(std::string("HKCU\\") + kMainKey);
  for (const TSettingInfo& s : SettingsTable())
    EXPECT_TRUE(RegQueryHasValue(main, s.Name, s.Type == stString ? "REG_SZ" : "REG_DWORD")) << s.Name << "\n" << main;
  EXPECT_TRUE(RegQueryHasValue(main, "Hide Splash", "REG_DWORD    0x1"));
  for (const char* name : {"Restore Expert Filelists contents 2", "Restore Wizard Filelists contents 1"})
    EXPECT_TRUE(RegQueryHasValue(main, name, "REG_SZ")) << name;

  const std::string rar = RegQuery(std::string("HKCU\\") + kMainKey + "\\packer\\RAR");
  EXPECT_TRUE(RegQueryHasValue(rar, "Call via system path", "REG_DWORD    0x0")) << rar;
  EXPECT_TRUE(RegQueryHasValue(rar, "Hide DOS output", "REG_DWORD    0x0")) << rar;
  for (const char* name : {"Use executable at", "Call with parameters", "Archives have suffix"})
    EXPECT_TRUE(RegQueryHasValue(rar, name, "REG_SZ")) << name;

  const std::string profile = RegQuery(std::string("HKCU\\") + kMainKey + "\\email settings\\custom3");
  for (const char* name : {"Realname", "Email", "SMTP", "Organization", "ReplyTo"})
    EXPECT_TRUE(RegQueryHasValue(profile, name, "REG_SZ")) << name << "\n" << profile;
  EXPECT_NE(profile.find("mail.example.invalid"), std::string::npos);
}

TEST_F(SettingsStore, MissingWrongTypedAndOutOfRangeValues) {
  const std::string key = kMainKey;
  SetString(HKEY_CURRENT_USER, key, "Startup page", "4");
  SetString(HKEY_CURRENT_USER, key, "Hide Splash", "1");
  SetDword(HKEY_CURRENT_USER, key, "Expert default patchfile", 5);
  SetString(HKEY_CURRENT_USER, key, "Wizard default backup path", "");
  SetDword(HKEY_CURRENT_USER, key, "Default browser", 17);
  SetDword(HKEY_CURRENT_USER, key, "Startup page mode", 0xFFFFFFFF);
  SetDword(HKEY_CURRENT_USER, key, "Restore Expert Filelists amount", 1000000);
  SetDword(HKEY_CURRENT_USER, key, "Restore Wizard Filelists amount", 3);
  SetDword(HKEY_CURRENT_USER, key, "Expert restore splitter position", static_cast<DWORD>(-40));
  SetDword(HKEY_CURRENT_USER, key, "Expert default packer", 8);
  SetDword(HKEY_CURRENT_USER, key, "Restore Expert Filelists contents 1", 1);
  SetString(HKEY_CURRENT_USER, key, "Restore Expert Filelists contents 2", "C:\\x\x01");
  SetDword(HKEY_CURRENT_USER, key + "\\packer\\LHA", "Call with parameters", 3);
  SetString(HKEY_CURRENT_USER, key + "\\packer\\LHA", "Hide DOS output", "0");
  SetString(HKEY_CURRENT_USER, key + "\\email settings\\custom9", "Email", "nine@example.invalid");
  SetString(HKEY_CURRENT_USER, key + "\\email settings\\custom9", "SMTP", "");
  InitSettingsUnit();

  EXPECT_EQ(StartupPage, 2);
  EXPECT_FALSE(HideSplash);
  EXPECT_EQ(ExpertDefaultPatchfile, "YourPatch.utp");
  EXPECT_EQ(WizardDefaultBackupPath, "Backup");
  EXPECT_EQ(DefaultBrowser, bkCustom);
  EXPECT_EQ(StartupPageMode, 0);
  EXPECT_EQ(RestoreExpertFilelistsAmount, kMaxStoredFilelists - 1);
  EXPECT_EQ(ExpertRestoreSplitterPosition, 0);
  EXPECT_EQ(ExpertDefaultPacker, kPackerCount - 1);
  ASSERT_EQ(ExpertFilelistContents.size(), static_cast<size_t>(kMaxStoredFilelists));
  EXPECT_EQ(ExpertFilelistContents[1], "");
  EXPECT_EQ(ExpertFilelistContents[2], "C:\\x\x01");
  // Not restored, so not read, whatever the amount says.
  EXPECT_TRUE(WizardFilelistContents.empty());
  EXPECT_EQ(RestoreWizardFilelistsAmount, 3);

  LoadPackerSettings("LHA", ".lha", "a -n -m %b %p");
  EXPECT_EQ(PackerSettingsList.back().ParameterTemplate, "a -n -m %b %p");
  EXPECT_EQ(PackerSettingsList.back().HideDosOutput, 1);

  const EmailSettings* nine = Profile("Custom settings #9");
  ASSERT_NE(nine, nullptr);
  EXPECT_EQ(nine->Email, "nine@example.invalid");
  EXPECT_EQ(nine->Name, "Your name");  // missing keeps the placeholder
  EXPECT_EQ(nine->Smtp, "");           // stored empty stays empty
}

TEST_F(SettingsStore, WindowPositions) {
  Application->Initialize();
  TForm* form = new TForm(Application);
  form->SetName("Form2");
  form->SetBounds(0, 0, 400, 300);
  const std::string windowKey = std::string(kMainKey) + "\\windows\\Form2";
  auto restore = [&](int expectedMode) {
    EXPECT_EQ(RestoreWindowPosition(form, 50, 60), expectedMode);
    return std::to_string(form->Left()) + "," + std::to_string(form->Top());
  };

  EXPECT_EQ(restore(wsmRestore), "50,60");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, windowKey)) << "window key not created";

  form->SetBounds(123, 77, 400, 300);
  StoreWindowPosition(form, wsmRestore);
  const std::string stored = RegQuery("HKCU\\" + windowKey);
  EXPECT_TRUE(RegQueryHasValue(stored, "left", "REG_DWORD    0x7b")) << stored;
  EXPECT_TRUE(RegQueryHasValue(stored, "store mode", "REG_DWORD    0x2")) << stored;
  form->SetBounds(0, 0, 400, 300);
  EXPECT_EQ(restore(wsmRestore), "123,77");

  StoreWindowPosition(form, wsmCenter);
  EXPECT_EQ(restore(wsmCenter),
            std::to_string((Screen->Width() - 400) / 2) + "," + std::to_string((Screen->Height() - 300) / 2));
  StoreWindowPosition(form, wsmDefault);
  EXPECT_EQ(restore(wsmDefault), "50,60");

  // A position from a larger screen, and a mode no version wrote.
  SetDword(HKEY_CURRENT_USER, windowKey, "store mode", 9);
  SetDword(HKEY_CURRENT_USER, windowKey, "left", static_cast<DWORD>(-3000));
  SetDword(HKEY_CURRENT_USER, windowKey, "top", 50000);
  restore(wsmRestore);
  const int x0 = GetSystemMetrics(SM_XVIRTUALSCREEN), y0 = GetSystemMetrics(SM_YVIRTUALSCREEN);
  EXPECT_GE(form->Left(), x0);
  EXPECT_GE(form->Top(), y0);
  EXPECT_LE(form->Top() + 300, y0 + GetSystemMetrics(SM_CYVIRTUALSCREEN));
  delete form;
}

namespace {

// Folders by path, with their file names; "Desktop" is the desktop.
std::map<std::string, std::vector<std::string>> g_folders;

// A shell combo and its list in one.
struct FakePair : IFolderCombo, IFileList {
  std::string folder;
  std::vector<bool> selected;
  int refreshes = 0;
  std::string FolderPath() override { return folder; }
  bool SetFolderPath(const std::string& p) override {
    if (!g_folders.count(p)) return false;
    folder = p;
    return true;
  }
  void ShowDesktopFolder() override { folder = "Desktop"; }
  void Refresh() override {
    ++refreshes;
    selected.assign(g_folders[folder].size(), false);
  }
  int ItemCount() override { return static_cast<int>(g_folders[folder].size()); }
  std::string ItemFileName(int i) override { return g_folders[folder][static_cast<size_t>(i)]; }
  bool ItemSelected(int i) override { return selected[static_cast<size_t>(i)]; }
  void SelectItemUnfocused(int i) override { selected[static_cast<size_t>(i)] = true; }
  void Store(int n, bool expert = true) { StoreFileList(this, this, n, expert); }
  void Restore(int n, bool expert = true) { RestoreFileList(this, this, n, expert); }
};

}  // namespace

TEST_F(SettingsStore, FileListsRoundTripThroughTheRegistry) {
  g_folders = {{"C:\\src dir", {"a.txt", "b.txt", "c.txt", "d e.txt"}},
               {"C:\\final", {"a.txt"}},
               {"Desktop", {"b.txt"}}};
  FakePair source, final;
  source.SetFolderPath("C:\\src dir");
  source.selected = {false, true, false, true};
  final.SetFolderPath("C:\\final");
  final.Refresh();
  RestoreExpertFilelistsAmount = 2;
  final.Store(0);  // nothing selected
  source.Store(1);
  source.Store(2);
  EXPECT_EQ(ExpertFilelistContents[0], "C:\\final\x01");
  EXPECT_EQ(ExpertFilelistContents[1], "C:\\src dir\x01" "b.txt\x01" "d e.txt\x01");
  SaveSettings();

  // Before the next start one file goes, another comes.
  g_folders["C:\\src dir"] = {"b.txt", "x.txt"};
  ExpertFilelistContents.clear();
  LoadSettings();
  ASSERT_EQ(ExpertFilelistContents.size(), 3u);
  FakePair r0, r1, r2, wizard;
  r0.Restore(0);
  EXPECT_EQ(r0.folder, "C:\\final");
  EXPECT_EQ(r0.refreshes, 1);
  EXPECT_EQ(r0.selected, std::vector<bool>({false}));
  r1.Restore(1);
  EXPECT_EQ(r1.selected, std::vector<bool>({true, false}));

  // A folder that is gone shows the desktop, where nothing is selected.
  g_folders.erase("C:\\src dir");
  r2.Restore(2);
  EXPECT_EQ(r2.folder, "Desktop");
  EXPECT_EQ(r2.selected, std::vector<bool>({false}));
  wizard.Restore(0, false);  // never stored
  EXPECT_EQ(wizard.folder, "Desktop");
}

TEST(SettingsHints, HashBecomesLineBreakOnEveryChildControl) {
  Application->Initialize();
  TForm* form = new TForm(Application);
  TPanel* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetHint("panel#hint");
  TButton* button = new TButton(form);
  button->SetParent(panel);
  button->SetHint("one#two##three");
  TLabel* label = new TLabel(form);
  label->SetParent(panel);
  label->SetHint("label#x");
  TEdit* edit = new TEdit(form);
  edit->SetParent(form);

  ConvertHintLineBreaks(Application);
  ConvertHintLineBreaks(Application);  // the program may walk twice; nothing changes
  EXPECT_EQ(panel->Hint(), "panel\r\nhint");
  EXPECT_EQ(button->Hint(), "one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(label->Hint(), "label\r\nx");
  EXPECT_EQ(edit->Hint(), "");
  delete form;
}
