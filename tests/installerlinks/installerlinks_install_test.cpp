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

}  // namespace
