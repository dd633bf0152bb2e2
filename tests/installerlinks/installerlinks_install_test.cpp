// Registry objects, links and the uninstaller registration installed under
// Wine and read back the way a user meets them: the registry through
// reg.exe, links through the shell's link object, Internet shortcuts
// through the profile calls, the uninstall logs under HKLM.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>

#include "kitroutines.h"
#include "links_driver.h"
#include "shelllinks.h"
#include "test_support.h"
#include "uninstallexe.h"
#include "win/comobj.h"
#include "exception_text.h"

using namespace testsupport;
using instlinks::TLinksDriver;

namespace {

const char kProduct[] = "Morvane Links Test";
const std::string kUninstallKey = std::string(UninstallKeyPrefix) + kProduct;
const char kScratchKey[] = "\\Software\\MorvaneLinksTest";

using testsupport::MessageOf;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The data of one value as reg.exe prints it ("" as name: the default
// value), or "<missing>".
std::string RegQuery(const std::string& key, const std::string& name) {
  std::string out;
  std::string cmd = "reg query \"" + key + "\" " + (name.empty() ? std::string("/ve") : "/v \"" + name + "\"");
  if (RunWindows(cmd, &out) != 0) return "<missing>";
  size_t at = out.find("REG_");
  if (at == std::string::npos) return "<missing>";
  size_t data = out.find_first_not_of(' ', out.find(' ', at));
  size_t end = out.find_first_of("\r\n", data);
  if (data == std::string::npos || data >= end) return "";
  return out.substr(data, end - data);
}

std::string RegType(const std::string& key, const std::string& name) {
  std::string out;
  std::string cmd = "reg query \"" + key + "\" " + (name.empty() ? std::string("/ve") : "/v \"" + name + "\"");
  if (RunWindows(cmd, &out) != 0) return "<missing>";
  size_t at = out.find("REG_");
  return at == std::string::npos ? "<missing>" : out.substr(at, out.find(' ', at) - at);
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name) {
  HKEY h;
  if (RegOpenKeyExA(root, key.substr(key.find_first_not_of('\\')).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  bool found = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(h);
  return found;
}

void DeleteValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY h;
  if (RegOpenKeyExA(root, key.substr(key.find_first_not_of('\\')).c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
}

struct TLinkRead {
  std::string Path, Arguments, WorkingDir;
  WORD HotKey = 0;
};

TLinkRead ReadLink(const std::string& file) {
  TLinkRead r;
  TComPtr<IShellLinkA> link;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid()));
  TComPtr<IPersistFile> persist;
  EXPECT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, persist.PutVoid()));
  HRESULT hr = persist->Load(AnsiToWide(file).c_str(), STGM_READ);
  EXPECT_EQ(S_OK, hr) << file;
  if (FAILED(hr)) return r;
  char buf[MAX_PATH * 2] = {};
  link->GetPath(buf, sizeof(buf), nullptr, SLGP_RAWPATH);
  r.Path = buf;
  buf[0] = 0;
  link->GetArguments(buf, sizeof(buf));
  r.Arguments = buf;
  buf[0] = 0;
  link->GetWorkingDirectory(buf, sizeof(buf));
  r.WorkingDir = buf;
  link->GetHotkey(&r.HotKey);
  return r;
}

class InstallLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    Clear();
    dest_ = Join(ScratchDir(), "Program Files\\Morvane32");
    MakeDirs(dest_);
    owner_.reset(new TComponent(nullptr));
    CreateStandardPathSpecifiers(owner_.get());
    driver_ = new TLinksDriver(owner_.get(), dest_);
    driver_->Information.ProductName = kProduct;
  }
  void TearDown() override {
    owner_.reset();
    Clear();
    CoUninitialize();
  }
  void Clear() {
    DeleteRegistryKeyTree(hkLocalMachine, kUninstallKey);
    DeleteRegistryKeyTree(hkCurrentUser, kScratchKey);
    DeleteRegistryKeyTree(hkLocalMachine, "\\SOFTWARE\\Morvane Test Co");
    if (!ProgramsFolder().empty()) RemoveTree(ProgramsFolder() + "\\Morvane Links Test");
    if (!DesktopFolder().empty()) RemoveTree(DesktopFolder() + "\\MorvaneLinksTest");
  }
  template <class T>
  T* Make(const std::string& name) {
    auto* o = new T(owner_.get());
    o->SetName(name);
    return o;
  }
  TInstallFile* File(const std::string& name, const std::string& destName) {
    auto* f = Make<TInstallFile>(name);
    f->SetContainer(driver_);
    f->SetFileName(destName);
    WriteFileText(f->DestPath(), "stand-in");
    return f;
  }
  std::string dest_;
  std::unique_ptr<TComponent> owner_;
  TLinksDriver* driver_ = nullptr;
};

TEST_F(InstallLinks, RegistryObjectsWriteTheirKeysAndLogThem) {
  const std::string hkcu = std::string("HKCU") + kScratchKey;
  auto* type = Make<TInstallRegistry>("PatchType");
  type->SetContainer(driver_);
  type->SetRootKey(hkCurrentUser);
  type->SetKey(std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command\\");
  TRegistryEntry* command = type->Entries()->Add();
  command->SetPathSpecifier(FindStandardPathSpecifier<TpsMainInstall>());
  command->SetText("%p\\app %1");
  TRegistryEntry* count = type->Entries()->Add();
  count->SetIdent("Count");
  count->SetInteger(42);
  TRegistryEntry* flag = type->Entries()->Add();
  flag->SetIdent("Flag");
  flag->SetBoolean(true);
  TRegistryEntry* skipped = type->Entries()->Add();
  skipped->SetIdent("Skipped");
  skipped->SetText("never");
  type->OnBeforeWriteEntry = [&](TObject*, TRegistryEntry* e, bool& write) { write = e != skipped; };

  auto* version = Make<TInstallRegistry>("VersionKey");
  version->SetContainer(driver_);
  version->SetKeySpecifierType(ksVersion);
  version->Entries()->Add()->SetText("installed");

  type->Install();
  version->Install();

  const std::string commandKey = hkcu + "\\Morvane.Patch\\shell\\open\\command";
  EXPECT_EQ(dest_ + "\\app %1", RegQuery(commandKey, ""));
  EXPECT_EQ("0x2a", RegQuery(commandKey, "Count"));
  EXPECT_EQ("REG_DWORD", RegType(commandKey, "Flag"));
  EXPECT_EQ("0x1", RegQuery(commandKey, "Flag"));
  EXPECT_EQ("<missing>", RegQuery(commandKey, "Skipped"));
  EXPECT_EQ("installed", RegQuery("HKLM\\SOFTWARE\\Morvane Test Co\\" + std::string(kProduct) + "\\3.2", ""));

  const std::string log = "HKLM" + kUninstallKey + "\\RegistryKeys";
  EXPECT_EQ("2", RegQuery(log, "Entries"));
  EXPECT_EQ(std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command", RegQuery(log + "\\RegistryKey1", "Key"));
  EXPECT_EQ("0x2", RegQuery(log + "\\RegistryKey1", "Root"));
  EXPECT_EQ(dest_ + "\\app %1", RegQuery(log + "\\RegistryKey1\\Entries", ""));
  // The number is not the logged text: an integer entry logs its text.
  EXPECT_EQ("", RegQuery(log + "\\RegistryKey1\\Entries", "Count"));
  EXPECT_EQ("REG_SZ", RegType(log + "\\RegistryKey1\\Entries", "Count"));
  EXPECT_EQ("\\SOFTWARE\\Morvane Test Co\\" + std::string(kProduct) + "\\3.2", RegQuery(log + "\\RegistryKey2", "Key"));
  EXPECT_EQ("0x4", RegQuery(log + "\\RegistryKey2", "Root"));

  // A key that cannot be made ends the object's install with its message.
  auto* bad = Make<TInstallRegistry>("BadKey");
  bad->SetRootKey(hkCurrentUser);
  // Key names end at 255 characters.
  bad->SetKey(std::string(kScratchKey) + "\\" + std::string(300, 'k'));
  bad->Entries()->Add()->SetText("v");
  EXPECT_TRUE(Contains(MessageOf([&] { bad->Process(); }), "BadKey cannot create the key " + std::string(kScratchKey) + "\\kkk"));
}

TEST_F(InstallLinks, LinksOfEveryKindAreMadeAndLogged) {
  TInstallFile* app = File("AppFile", "Morvane32.exe");
  auto* docs = Make<TInstallFileGroup>("DocsGroup");
  docs->SetContainer(driver_);
  docs->SetGroupName("Documents");
  docs->SetDestDir("\\docs");
  auto* uninstaller = Make<TUninstallEXE>("Uninstaller");
  uninstaller->SetContainer(driver_);

  auto* main = Make<TMainLinkGroup>("MainGroup");
  main->SetDestDir("\\Morvane Links Test");
  auto* sub = Make<TSubLinkGroup>("ToolsGroup");
  sub->SetContainer(main);
  sub->SetDestDir("\\Tools");

  auto* appLink = Make<TInstallMainLink>("AppLink");
  appLink->SetContainer(main);
  appLink->SetObjectLink(app);
  appLink->SetParameters("/dir \"%a\" /install %i");
  appLink->SetHotKey(static_cast<uint16_t>((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'M'));
  auto* docsLink = Make<TInstallSubLink>("DocsLink");
  docsLink->SetContainer(sub);
  docsLink->SetObjectLink(docs);
  auto* removeLink = Make<TInstallMainLink>("RemoveLink");
  removeLink->SetContainer(main);
  removeLink->SetObjectLink(uninstaller);
  removeLink->SetLinkName("Remove Morvane.lnk");
  auto* home = Make<TInstallMainLink>("HomeLink");
  home->SetContainer(main);
  home->SetMethod(mtProgramManager);
  home->SetObjectLocation("http://www.example.com/morvane?x=1");
  EXPECT_EQ("www.example.com-morvanex=1.URL", home->LinkName());
  home->SetLinkName("Home.URL");
  auto* desk = Make<TInstallShellLink>("DeskLink");
  desk->SetDestDirType(FindStandardPathSpecifier<TpsDesktopMenu>());
  desk->SetDestDir("\\MorvaneLinksTest");
  desk->SetObjectLocationType(FindStandardPathSpecifier<TpsMainInstall>());
  desk->SetObjectLocation("\\Morvane32.exe");
  desk->SetLinkName("Morvane.lnk");
  desk->SetMethod(mtShellLinkInterface);

  main->Install();
  desk->Install();

  const std::string group = ProgramsFolder() + "\\Morvane Links Test";
  TLinkRead a = ReadLink(group + "\\Morvane32.lnk");
  EXPECT_TRUE(SameText(dest_ + "\\Morvane32.exe", a.Path)) << a.Path;
  EXPECT_TRUE(SameText(dest_, a.WorkingDir)) << a.WorkingDir;
  EXPECT_EQ("/dir \"" + main->GetDestDir() + "\" /install " + dest_, a.Arguments);
  EXPECT_EQ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'M', a.HotKey);

  TLinkRead d = ReadLink(group + "\\Tools\\Documents.lnk");
  EXPECT_TRUE(SameText(dest_ + "\\docs", d.Path)) << d.Path;
  EXPECT_TRUE(DirectoryExists(group + "\\Tools"));

  TLinkRead u = ReadLink(group + "\\Remove Morvane.lnk");
  EXPECT_TRUE(SameText(dest_ + "\\uninstall.exe", u.Path)) << u.Path;
  EXPECT_EQ(kProduct, u.Arguments);

  char url[512] = {};
  GetPrivateProfileStringA("InternetShortcut", "URL", "", url, sizeof(url), (group + "\\Home.URL").c_str());
  EXPECT_EQ("http://www.example.com/morvane?x=1", std::string(url));

  TLinkRead k = ReadLink(DesktopFolder() + "\\MorvaneLinksTest\\Morvane.lnk");
  EXPECT_TRUE(SameText(dest_ + "\\Morvane32.exe", k.Path)) << k.Path;

  const std::string files = "HKLM" + kUninstallKey + "\\Files";
  ASSERT_EQ("5", RegQuery(files, "Entries"));
  std::string all;
  for (int i = 1; i <= 5; ++i) all += RegQuery(files, "File" + std::to_string(i)) + "|";
  for (const std::string& p : {group + "\\Morvane32.lnk", group + "\\Tools\\Documents.lnk",
                               group + "\\Remove Morvane.lnk", group + "\\Home.URL",
                               DesktopFolder() + "\\MorvaneLinksTest\\Morvane.lnk"})
    EXPECT_TRUE(Contains(all, p + "|")) << p << " in " << all;
}

TEST_F(InstallLinks, FailedLinksRaiseAndAreNotLogged) {
  TInstallFile* app = File("AppFile", "Morvane32.exe");
  auto* longLink = Make<TInstallShellLink>("LongLink");
  longLink->SetObjectLink(app);
  longLink->SetContainer(nullptr);
  longLink->SetDestDirType(FindStandardPathSpecifier<TpsMainInstall>());
  longLink->SetDestDir("\\" + std::string(100, 'd') + "\\" + std::string(100, 'e') + "\\" + std::string(100, 'f'));
  longLink->SetMethod(mtShellLinkInterface);
  std::string message = MessageOf([&] { longLink->Install(); });
  EXPECT_TRUE(Contains(message, "The TCustomInstallShellLink LongLink name could not be installed")) << message;
  EXPECT_TRUE(Contains(message, "too long")) << message;

  // A shortcut whose file cannot be written (a folder of that name is in
  // the way) is reported, not logged as installed.
  auto* web = Make<TInstallShellLink>("WebLink");
  web->SetDestDirType(FindStandardPathSpecifier<TpsMainInstall>());
  web->SetDestDir("\\web");
  web->SetObjectLocation("http://www.example.com/");
  web->SetLinkName("Site.URL");
  MakeDirs(dest_ + "\\web\\Site.URL");
  message = MessageOf([&] { web->Install(); });
  EXPECT_TRUE(Contains(message, "The TCustomInstallShellLink WebLink name could not be installed")) << message;

  auto* blank = Make<TInstallShellLink>("BlankLink");
  blank->SetDestDirType(FindStandardPathSpecifier<TpsMainInstall>());
  blank->SetMethod(mtShellLinkInterface);
  EXPECT_EQ("The LinkName is blank for BlankLink and therefore could not be installed",
            MessageOf([&] { blank->Install(); }));
  EXPECT_EQ("<missing>", RegQuery("HKLM" + kUninstallKey + "\\Files", "Entries"));
}

TEST_F(InstallLinks, UninstallerRegistersTheProductWithAQuotedCommand) {
  auto* uninstaller = Make<TUninstallEXE>("Uninstaller");
  uninstaller->SetContainer(driver_);
  EXPECT_EQ("uninstall.exe", uninstaller->FileName());
  uninstaller->WriteUninstallLog(kUninstallKey);
  EXPECT_EQ(kProduct, RegQuery("HKLM" + kUninstallKey, "DisplayName"));
  EXPECT_EQ("\"" + dest_ + "\\uninstall.exe\" " + kProduct, RegQuery("HKLM" + kUninstallKey, "UninstallString"));
  delete driver_;
  EXPECT_EQ(
      "Uninstaller could not write information about the uninstall to the registry because there was no TInstall "
      "component",
      MessageOf([&] { uninstaller->WriteUninstallLog(kUninstallKey); }));
}

// A whole small installation undone by the stand-in uninstaller through
// the command the installation registered.
TEST_F(InstallLinks, TheUninstallerRemovesWhatTheInstallationLogged) {
  const std::string src = Join(ScratchDir(), "uninstall src");
  // A folder of its own, which the uninstall leaves empty and removes with
  // the empty folders above it.
  const std::string top = Join(ScratchDir(), "uninstall");
  const std::string dest = top + "\\Program Files\\Morvane32";
  driver_->SetDestDir(dest);
  const std::string comKey = "\\Software\\MorvaneLinksComDll";
  DeleteRegistryKeyTree(hkCurrentUser, comKey);
  MakeDirs(src + "\\data");
  WriteFileText(src + "\\Morvane32.exe", "the program");
  WriteFileText(src + "\\shared.dat", "shared");
  WriteFileText(src + "\\data\\table.dat", "a table");
  ASSERT_TRUE(CopyFileA(Join(BuildDir(), "tests\\installerlinks\\lnk_comdll.dll").c_str(),
                        (src + "\\lnkcom.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(Join(BuildDir(), "tests\\installerlinks\\lnk_comexe.exe").c_str(),
                        (src + "\\lnkcom.exe").c_str(), FALSE));
  WriteFileText(src + "\\common.dat", "used by others too");
  driver_->SetArchiveFile(Join(ScratchDir(), "uninstall files.1"));
  // A folder outside the product's, with a file another product counts.
  const std::string others = Join(ScratchDir(), "uninstall common");
  MakeDirs(others);
  // No count left over from an earlier run; one from another product.
  DeleteValue(HKEY_LOCAL_MACHINE, SharedDLLsKey, ShortPathName(dest) + "\\shared.dat");
  DeleteValue(HKEY_LOCAL_MACHINE, SharedDLLsKey, dest + "\\shared.dat");
  DeleteFileA((others + "\\common.dat").c_str());
  const std::string commonName = ShortPathName(others) + "\\common.dat";
  WriteRegistryInteger(hkLocalMachine, SharedDLLsKey, commonName, 1);

  auto file = [&](const std::string& name, TFileContainer* container, const std::string& dir,
                  const std::string& fileName) {
    auto* f = Make<TInstallFile>(name);
    f->SetContainer(container);
    f->SetIncludeFromDir(dir);
    f->SetFileName(fileName);
    f->SetFileType(iftNormal);
    f->SetUpdateDLLCounter(false);
    return f;
  };
  TInstallFile* app = file("AppFile", driver_, src, "Morvane32.exe");
  TInstallFile* shared = file("SharedFile", driver_, src, "shared.dat");
  shared->SetUpdateDLLCounter(true);
  TInstallFile* com = file("ComFile", driver_, src, "lnkcom.dll");
  com->SetActiveX(true);
  // Kept beside the program, not in the system folder.
  com->SetFileType(iftNormal);
  com->SetUpdateDLLCounter(false);
  com->SetDestDirType(FindStandardPathSpecifier<TpsContainerDestDir>());
  com->SetDestDir("");
  TInstallFile* comExe = file("ComExe", driver_, src, "lnkcom.exe");
  comExe->SetActiveX(true);
  comExe->SetFileType(iftNormal);
  comExe->SetUpdateDLLCounter(false);
  comExe->SetDestDirType(FindStandardPathSpecifier<TpsContainerDestDir>());
  comExe->SetDestDir("");
  auto* common = Make<TInstallFileGroup>("CommonGroup");
  common->SetContainer(driver_);
  common->SetDestDirType(nullptr);
  common->SetDestDir(others);
  file("CommonFile", common, src, "common.dat")->SetUpdateDLLCounter(true);
  auto* data = Make<TInstallFileGroup>("DataGroup");
  data->SetContainer(driver_);
  data->SetDestDir("\\data\\tables");
  file("TableFile", data, src + "\\data", "table.dat");
  auto* uninstaller = Make<TUninstallEXE>("Uninstaller");
  uninstaller->SetContainer(driver_);
  uninstaller->SetIncludeFromDir(Join(BuildDir(), "tests\\tools\\uninstall"));

  auto* main = Make<TMainLinkGroup>("MainGroup");
  main->SetContainer(driver_);
  main->SetDestDir("\\Morvane Links Test");
  auto* sub = Make<TSubLinkGroup>("ToolsGroup");
  sub->SetContainer(main);
  sub->SetDestDir("\\Tools");
  auto* appLink = Make<TInstallMainLink>("AppLink");
  appLink->SetContainer(main);
  appLink->SetObjectLink(app);
  auto* removeLink = Make<TInstallSubLink>("RemoveLink");
  removeLink->SetContainer(sub);
  removeLink->SetObjectLink(uninstaller);
  auto* home = Make<TInstallMainLink>("HomeLink");
  home->SetContainer(main);
  home->SetObjectLocation("http://www.example.com/morvane");
  home->SetLinkName("Home.URL");
  auto* desk = Make<TInstallShellLink>("DeskLink");
  desk->SetContainer(driver_);
  desk->SetDestDirType(FindStandardPathSpecifier<TpsDesktopMenu>());
  desk->SetDestDir("\\MorvaneLinksTest");
  desk->SetObjectLink(app);
  desk->SetMethod(mtShellLinkInterface);

  auto* type = Make<TInstallRegistry>("PatchType");
  type->SetContainer(driver_);
  type->SetRootKey(hkCurrentUser);
  type->SetKey(std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command");
  TRegistryEntry* command = type->Entries()->Add();
  command->SetPathSpecifier(FindStandardPathSpecifier<TpsMainInstall>());
  command->SetText("\"%p\\Morvane32.exe\" \"%1\"");
  type->Entries()->Add()->SetIdent("Count");
  type->Entries()->Items(1)->SetInteger(3);
  auto* version = Make<TInstallRegistry>("VersionKey");
  version->SetContainer(driver_);
  version->SetKeySpecifierType(ksVersion);
  version->Entries()->Add()->SetText("installed");

  driver_->Compress(0);
  driver_->SetState(fcsInstall);

  const std::string group = ProgramsFolder() + "\\Morvane Links Test";
  const std::string desktop = DesktopFolder() + "\\MorvaneLinksTest";
  const std::string hkcuCommand = "HKCU" + std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command";
  const std::string hklmVersion = "HKLM\\SOFTWARE\\Morvane Test Co\\" + std::string(kProduct) + "\\3.2";
  const std::vector<std::string> installed = {
      dest + "\\Morvane32.exe", dest + "\\shared.dat",      dest + "\\lnkcom.dll",
      dest + "\\data\\tables\\table.dat", dest + "\\uninstall.exe", group + "\\Morvane32.lnk",
      group + "\\Tools\\uninstall.lnk", group + "\\Home.URL",  desktop + "\\Morvane32.lnk"};
  for (const std::string& path : installed) ASSERT_TRUE(testsupport::FileExists(path)) << path;
  EXPECT_EQ("\"" + dest + "\\Morvane32.exe\" \"%1\"", RegQuery(hkcuCommand, ""));
  EXPECT_EQ("0x3", RegQuery(hkcuCommand, "Count"));
  EXPECT_EQ("installed", RegQuery(hklmVersion, ""));
  EXPECT_EQ(1, ReadRegistryInteger(hkCurrentUser, comKey, "Registered", 0));
  // The program registers itself on its own time.
  for (int i = 0; i < 100 && ReadRegistryInteger(hkCurrentUser, comKey, "ExeRegistered", 0) != 1; ++i) Sleep(50);
  EXPECT_EQ(1, ReadRegistryInteger(hkCurrentUser, comKey, "ExeRegistered", 0));
  EXPECT_EQ(2, ReadRegistryInteger(hkLocalMachine, SharedDLLsKey, commonName, 0));
  EXPECT_EQ(kProduct, RegQuery("HKLM" + kUninstallKey, "DisplayName"));
  const std::string uninstallString = RegQuery("HKLM" + kUninstallKey, "UninstallString");
  ASSERT_EQ("\"" + dest + "\\uninstall.exe\" " + kProduct, uninstallString);
  const std::string sharedName = ShortPathName(dest + "\\shared.dat");
  EXPECT_EQ(1, ReadRegistryInteger(hkLocalMachine, SharedDLLsKey, sharedName, -1)) << sharedName;
  // Someone else's value in a logged key.
  WriteRegistryString(hkCurrentUser, std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command", "Foreign",
                      "kept");

  std::string output;
  ASSERT_EQ(0, RunWindows(uninstallString, &output)) << output;
  // The program and its folder go once it has ended.
  for (int i = 0; i < 300 && DirectoryExists(top); ++i) Sleep(100);

  for (const std::string& path : installed) EXPECT_FALSE(testsupport::FileExists(path)) << path;
  EXPECT_FALSE(DirectoryExists(top));
  EXPECT_TRUE(DirectoryExists(ScratchDir()));
  EXPECT_FALSE(DirectoryExists(group));
  EXPECT_FALSE(DirectoryExists(desktop));
  EXPECT_TRUE(DirectoryExists(DesktopFolder()));
  EXPECT_TRUE(DirectoryExists(ProgramsFolder()));
  EXPECT_EQ(1, ReadRegistryInteger(hkCurrentUser, comKey, "Unregistered", 0));
  EXPECT_EQ(1, ReadRegistryInteger(hkCurrentUser, comKey, "ExeUnregistered", 0));
  EXPECT_FALSE(testsupport::FileExists(dest + "\\lnkcom.exe"));
  // The other product still counts its file: one count less, the file kept.
  EXPECT_EQ(1, ReadRegistryInteger(hkLocalMachine, SharedDLLsKey, commonName, 0));
  EXPECT_TRUE(testsupport::FileExists(others + "\\common.dat"));
  DeleteValue(HKEY_LOCAL_MACHINE, SharedDLLsKey, commonName);
  const std::string commandKey = std::string(kScratchKey) + "\\Morvane.Patch\\shell\\open\\command";
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, commandKey, ""));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, commandKey, "Count"));
  EXPECT_EQ("kept", RegQuery(hkcuCommand, "Foreign"));
  EXPECT_NE(0, RunWindows("reg query \"" + hklmVersion + "\""));
  EXPECT_NE(0, RunWindows("reg query \"HKLM" + kUninstallKey + "\""));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, SharedDLLsKey, sharedName));
  DeleteRegistryKeyTree(hkCurrentUser, comKey);
}

}  // namespace
