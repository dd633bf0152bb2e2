// Kit routines against the real Windows API: the registry helpers, the
// system queries, every path specifier with and without its registry
// values, version resources of built test files and the overwrite decisions.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "classes.h"
#include "exceptions.h"
#include "installfile.h"
#include "kitroutines.h"
#include "pathspec.h"
#include "test_support.h"
#include "versionres.h"

namespace {

const char kTestKey[] = "\\Software\\MorvaneTests\\instkit";

std::string WinDir() {
  char b[MAX_PATH];
  GetWindowsDirectoryA(b, MAX_PATH);
  return b;
}

// Registry values that a test replaces or removes and puts back afterwards.
class SavedValue {
 public:
  SavedValue(HKEY root, const std::string& key, const std::string& name)
      : root_(root), key_(key), name_(name) {
    HKEY h;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
      char buf[1024];
      DWORD size = sizeof(buf), type = 0;
      if (RegQueryValueExA(h, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf),
                           &size) == ERROR_SUCCESS) {
        had_ = true;
        type_ = type;
        data_.assign(buf, size);
      }
      RegCloseKey(h);
    }
  }
  ~SavedValue() {
    HKEY h;
    if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
      return;
    if (had_)
      RegSetValueExA(h, name_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                     static_cast<DWORD>(data_.size()));
    else
      RegDeleteValueA(h, name_.c_str());
    RegCloseKey(h);
  }
  void Set(const std::string& value) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(h, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
  }
  void Remove() {
    HKEY h;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS) {
      RegDeleteValueA(h, name_.c_str());
      RegCloseKey(h);
    }
  }

 private:
  HKEY root_;
  std::string key_, name_;
  bool had_ = false;
  DWORD type_ = REG_SZ;
  std::string data_;
};

bool KeyExists(HKEY root, const std::string& key) {
  HKEY h;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

const char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

}  // namespace

// ---- registry helpers ----

TEST(KitRegistry, WriteReadAndDefaults) {
  DeleteRegistryKeyTree(hkCurrentUser, kTestKey);
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, kTestKey, "Name", "dflt"), "dflt");
  EXPECT_EQ(ReadRegistryInteger(hkCurrentUser, kTestKey, "Count", -7), -7);
  WriteRegistryString(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Name", "value");
  WriteRegistryInteger(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Count", 42);
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Name", ""),
            "value");
  EXPECT_EQ(ReadRegistryInteger(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Count", 0), 42);
  // A value of the other type is a failed read: the default comes back.
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Count", "d"), "d");
  EXPECT_EQ(ReadRegistryInteger(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Name", 5), 5);
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, std::string(kTestKey) + "\\Sub", "Missing", "m"),
            "m");
  // Writing where no key can be made (a key name beyond the registry's
  // limit) fails with the key, name and value.
  const std::string badKey = std::string(kTestKey) + "\\" + std::string(300, 'k');
  try {
    WriteRegistryString(hkCurrentUser, badKey, "N", "V");
    ADD_FAILURE() << "no exception";
  } catch (const EIRCannotWriteValue& e) {
    EXPECT_EQ(e.Message(), "Cannot install into registry. Key: " + badKey + " Ident: N Value V");
  }
  try {
    WriteRegistryInteger(hkCurrentUser, badKey, "N", 1);
    ADD_FAILURE() << "no exception";
  } catch (const EIRCannotWriteValue& e) {
    EXPECT_EQ(e.Message(), badKey);
  }
  EXPECT_EQ(RootKeyOf(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE), hkUsers), hkLocalMachine);
  EXPECT_EQ(RootKeyOf(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT), hkUsers), hkClassesRoot);
  EXPECT_EQ(RootKeyOf(12345, hkUsers), hkUsers);
  DeleteRegistryKeyTree(hkCurrentUser, kTestKey);
}

TEST(KitRegistry, DeleteKeyTreeGoesDepthFirst) {
  const std::string base = kTestKey;
  WriteRegistryString(hkCurrentUser, base + "\\A\\B\\C", "v", "1");
  WriteRegistryString(hkCurrentUser, base + "\\A\\D", "v", "2");
  WriteRegistryString(hkCurrentUser, base + "\\E", "v", "3");
  DeleteRegistryKeyTree(hkCurrentUser, base + "\\A");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\MorvaneTests\\instkit\\A"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\MorvaneTests\\instkit\\E"));
  DeleteRegistryKeyTree(hkCurrentUser, base + "\\NotThere");  // ignored
  DeleteRegistryKeyTree(hkCurrentUser, base);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\MorvaneTests\\instkit"));
}

TEST(KitRegistry, RunOnceValuesFindAFreeName) {
  const std::string runOnce = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  SavedValue v0(HKEY_LOCAL_MACHINE, runOnce.substr(1), "InstkitTest");
  SavedValue v1(HKEY_LOCAL_MACHINE, runOnce.substr(1), "InstkitTest1");
  SavedValue v2(HKEY_LOCAL_MACHINE, runOnce.substr(1), "InstkitTest2");
  v2.Remove();
  v0.Set("first");
  v1.Set("second");
  EXPECT_TRUE(AddRunOnceValue("InstkitTest", "third.exe", true));
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, runOnce, "InstkitTest2", ""), "third.exe");
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, runOnce, "InstkitTest", ""), "first");
  EXPECT_TRUE(AddRunOnceValue("InstkitTest", "over.exe", false));
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, runOnce, "InstkitTest", ""), "over.exe");
}

TEST(KitRegistry, ObjectRepositoryIsFoundAndItsSectionsRemoved) {
  const std::string vendor = "\\Software\\Development Studio\\2.0";
  DeleteRegistryKeyTree(hkCurrentUser, vendor + "\\repository");
  DeleteRegistryKeyTree(hkLocalMachine, vendor);
  EXPECT_THROW(FindObjectRepository(1), Exception);  // blank root directory
  const std::string dir = testsupport::ScratchDir();
  WriteRegistryString(hkLocalMachine, vendor, "RootDir", dir);
  EXPECT_THROW(FindObjectRepository(1), Exception);  // no file there
  testsupport::MakeDirs(testsupport::Join(dir, "Bin"));
  const std::string file = testsupport::Join(testsupport::Join(dir, "Bin"), "Repository2.ini");
  testsupport::WriteFileText(file, "[Forms]\r\na=1\r\n[SetupProject]\r\nb=2\r\n[setup helper]\r\nc=3\r\n");
  EXPECT_EQ(FindObjectRepository(1), file);
  RemoveRepositorySections(file, "SETUP");
  TStringList sections;
  ListIniSections(file, &sections);
  ASSERT_EQ(sections.Count(), 1);
  EXPECT_EQ(sections[0], "Forms");
  RemoveRepositorySections(file, "FORMS");  // the last section stays
  ListIniSections(file, &sections);
  EXPECT_EQ(sections.Count(), 1);
  DeleteRegistryKeyTree(hkLocalMachine, "\\Software\\Development Studio");
}

// ---- system queries ----

TEST(KitApi, SystemFoldersTempNamesAndShortPaths) {
  EXPECT_EQ(GetWindowsVersion(), 2);
  EXPECT_EQ(GetWindowsDir(), WinDir());
  EXPECT_FALSE(GetSystemDir().empty());
  std::string kept = MakeTempFileName(true);
  EXPECT_EQ(ExtractFileName(kept).substr(0, 3), "bat");
  EXPECT_TRUE(FileExists(kept));
  DeleteFileA(kept.c_str());
  std::string dropped = MakeTempFileName(false);
  EXPECT_FALSE(dropped.empty());
  EXPECT_FALSE(FileExists(dropped));
  EXPECT_NE(dropped, kept);
  std::string dir = testsupport::ScratchDir();
  std::string longName = testsupport::Join(dir, "a rather long file name.text");
  testsupport::WriteFileText(longName, "x");
  std::string shortName = ShortPathName(longName);
  EXPECT_FALSE(shortName.empty());
  EXPECT_EQ(ShortPathName(testsupport::Join(dir, "missing.txt")), "");
}

// ---- path specifiers ----

namespace {

// Stand-ins for the install objects the specifiers reach into.
class FakeObject : public TComponent {
 public:
  using TComponent::TComponent;
  FakeObject* container = nullptr;
  std::string destDir, archive;
  bool fileRelated = false, shellLink = false;
  std::string objectLink;
};

class PathSpecifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& t = PathSpecifierTree();
    t.IsInstallObject = [](TComponent* c) { return dynamic_cast<FakeObject*>(c) != nullptr; };
    t.ContainerOf = [](TComponent* c) -> TComponent* {
      return static_cast<FakeObject*>(c)->container;
    };
    t.IsFileRelated = [](TComponent* c) { return static_cast<FakeObject*>(c)->fileRelated; };
    t.ArchiveFileOf = [](TComponent* c) { return static_cast<FakeObject*>(c)->archive; };
    t.DestDirOf = [](TComponent* c) { return static_cast<FakeObject*>(c)->destDir; };
    t.InstallDriver = [this]() -> TComponent* { return driver; };
    t.SourceDir = [this]() { return sourceDir; };
    t.SelfExtractorName = [this](std::string& name) {
      name = exeName;
      return hasE;
    };
    t.IsShellLink = [](TComponent* c) {
      auto* f = dynamic_cast<FakeObject*>(c);
      return f && f->shellLink;
    };
    t.HasObjectLink = [](TComponent* c) { return !static_cast<FakeObject*>(c)->objectLink.empty(); };
    t.ObjectLinkPath = [](TComponent* c) { return static_cast<FakeObject*>(c)->objectLink; };
  }
  void TearDown() override { PathSpecifierTree() = TPathSpecifierTree(); }

  template <class T>
  std::string Expand(TComponent* obj) {
    T specifier(nullptr);
    return specifier.Expand(obj);
  }

  FakeObject* driver = nullptr;
  std::string sourceDir = "D:\\";
  std::string exeName;
  bool hasE = false;
};

}  // namespace

TEST_F(PathSpecifierTest, ShellFoldersFromTheRegistry) {
  SavedValue start(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
  SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
  SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  SavedValue startup(HKEY_CURRENT_USER, kShellFolders, "Startup");
  SavedValue progFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  SavedValue common(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
  start.Set("C:\\Menu\\");
  programs.Set("C:\\Menu\\Progs");
  desktop.Set("C:\\Desk");
  startup.Set("C:\\Menu\\Progs\\Up");
  progFiles.Set("C:\\Program Files");
  common.Set("C:\\Program Files\\Shared\\");
  EXPECT_EQ(Expand<TpsStartMenu>(nullptr), "C:\\Menu");
  EXPECT_EQ(Expand<TpsProgramMenu>(nullptr), "C:\\Menu\\Progs");
  EXPECT_EQ(Expand<TpsDesktopMenu>(nullptr), "C:\\Desk");
  EXPECT_EQ(Expand<TpsStartupMenu>(nullptr), "C:\\Menu\\Progs\\Up");
  EXPECT_EQ(Expand<TpsProgramFiles>(nullptr), "C:\\Program Files");
  EXPECT_EQ(Expand<TpsCommonFiles>(nullptr), "C:\\Program Files\\Shared");
  EXPECT_EQ(ExpandMetaVariables("%P\\App", nullptr), "C:\\Program Files\\App");
  EXPECT_EQ(ExpandMetaVariables("%b|%d|%f|%m|%%|%q", nullptr),
            "C:\\Menu\\Progs|C:\\Desk|C:\\Program Files\\Shared|C:\\Menu|%|");
}

TEST_F(PathSpecifierTest, ShellFolderDefaultsWhenValuesAreAbsent) {
  SavedValue start(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
  SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
  SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  SavedValue startup(HKEY_CURRENT_USER, kShellFolders, "Startup");
  SavedValue progFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  SavedValue common(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
  for (SavedValue* v : {&start, &programs, &desktop, &startup, &progFiles, &common}) v->Remove();
  const std::string win = WinDir();
  const std::string drive = ExtractFileDrive(GetCurrentDir());
  EXPECT_EQ(Expand<TpsStartMenu>(nullptr), win + "\\Startmen");
  EXPECT_EQ(Expand<TpsProgramMenu>(nullptr), win + "\\Startmen\\Programs");
  EXPECT_EQ(Expand<TpsDesktopMenu>(nullptr), win + "\\Desktop");
  EXPECT_EQ(Expand<TpsStartupMenu>(nullptr), win + "\\Startup");
  EXPECT_EQ(Expand<TpsProgramFiles>(nullptr), drive + "\\Program Files");
  EXPECT_EQ(Expand<TpsCommonFiles>(nullptr), drive + "\\Program Files\\Common Files");
  EXPECT_EQ(ExpandMetaVariables("%m", nullptr), win + "\\Startmen");
}

TEST_F(PathSpecifierTest, SystemWindowsAndDatabaseEngine) {
  EXPECT_EQ(Expand<TpsWindow>(nullptr), WinDir());
  EXPECT_EQ(Expand<TpsSystem>(nullptr), GetSystemDir());
  EXPECT_EQ(ExpandMetaVariables("%w;%s", nullptr), WinDir() + ";" + GetSystemDir());
  SavedValue progFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  progFiles.Set("C:\\PF");
  SavedValue bde(HKEY_LOCAL_MACHINE, "Software\\Borland\\Database Engine", "DLLPath");
  bde.Set("C:\\DB\\Engine;D:\\Other");
  EXPECT_EQ(Expand<TpsBDEDLL>(nullptr), "C:\\DB\\Engine");
  bde.Remove();
  EXPECT_EQ(Expand<TpsBDEDLL>(nullptr), "C:\\PF\\Borland\\Common Files\\BDE");
}

TEST_F(PathSpecifierTest, ContainerAndDriverSpecifiers) {
  FakeObject root(nullptr);
  FakeObject* group = new FakeObject(&root);
  group->destDir = "C:\\App\\";
  group->archive = "D:\\files.1";
  group->fileRelated = true;
  FakeObject* file = new FakeObject(&root);
  file->SetName("ReadMe");
  file->container = group;
  file->destDir = "C:\\App\\Docs";

  EXPECT_EQ(Expand<TpsContainerDestDir>(file), "C:\\App");
  EXPECT_EQ(Expand<TpsContainerArchiveFile>(file), "D:\\files.1");
  EXPECT_EQ(ExpandMetaVariables("%a|%c", file), "C:\\App\\Docs|C:\\App");

  TpsContainerDestDir destDir(nullptr);
  TpsContainerArchiveFile archive(nullptr);
  try {
    destDir.Check(group);
    ADD_FAILURE();
  } catch (const IEPathSpecifier& e) {
    EXPECT_EQ(e.Message(), "Cannot use ddContainerDestDir for  unless you assign a Container");
  }
  TComponent plain(nullptr);
  plain.SetName("Plain");
  try {
    archive.Check(&plain);
    ADD_FAILURE();
  } catch (const IEPathSpecifier& e) {
    EXPECT_EQ(e.Message(),
              "Plain must be a TInstallObject to use the psContainerArchiveFile path specifier");
  }
  group->fileRelated = false;
  try {
    archive.Check(file);
    ADD_FAILURE();
  } catch (const IEPathSpecifier& e) {
    EXPECT_EQ(e.Message(),
              "Cannot use the ddContainerArchiveFile path specifier for ReadMe because the "
              "Container is not a TFileRelated descendant");
  }
  EXPECT_THROW(ExpandMetaVariables("%c", group), EAICannotExpandContainerDirMV);

  // Without a driver.
  TpsMainInstall mainInstall(nullptr);
  TpsInstallSource installSource(nullptr);
  TpsMainArchiveFile mainArchive(nullptr);
  try {
    installSource.Check(file);
    ADD_FAILURE();
  } catch (const IEPathSpecifier& e) {
    EXPECT_EQ(e.Message(),
              "There is no TInstall component so the path specifier could not be expanded for "
              "ReadMe");
  }
  EXPECT_THROW(mainArchive.Expand(file), IEPathSpecifier);
  EXPECT_THROW(ExpandMetaVariables("%i", file), EAICannotExpandInstallDirMV);

  // With one.
  FakeObject* install = new FakeObject(&root);
  install->destDir = "C:\\Target\\";
  driver = install;
  EXPECT_EQ(mainInstall.Expand(file), "C:\\Target");
  EXPECT_EQ(ExpandMetaVariables("%i\\bin", file), "C:\\Target\\bin");
  EXPECT_THROW(mainInstall.Check(install), IEPathSpecifier);
  EXPECT_EQ(installSource.Expand(file), "D:");
  EXPECT_EQ(mainArchive.Expand(file), "D:\\files.1");
  hasE = true;
  exeName = "Setup.exe";
  sourceDir = "E:\\dist";
  EXPECT_EQ(mainArchive.Expand(file), "E:\\dist\\Setup.exe");
  exeName = "  ";
  EXPECT_THROW(mainArchive.Expand(file), IEInstall);
}

TEST_F(PathSpecifierTest, ObjectLinksAndUserSpecifiers) {
  FakeObject link(nullptr);
  link.SetName("Link1");
  TpsObjectLink objectLink(nullptr);
  try {
    objectLink.Check(&link);
    ADD_FAILURE();
  } catch (const IEPathSpecifier& e) {
    EXPECT_EQ(e.Message(),
              "Link1 must be a TCustomInstallShellLink to use the psObjectLink path specifier");
  }
  link.shellLink = true;
  EXPECT_THROW(objectLink.Check(&link), IEPathSpecifier);
  link.objectLink = "C:\\App\\run.exe";
  EXPECT_EQ(objectLink.Expand(&link), "C:\\App\\run.exe");

  TPathSpecifier user(nullptr);
  EXPECT_EQ(user.Describe(), "My cool new path specifier");
  EXPECT_EQ(user.Expand(nullptr), "");
  user.OnGetPath = [](TObject*, std::string& path) { path = "X:\\Mine"; };
  EXPECT_EQ(user.Expand(nullptr), "X:\\Mine");
  EXPECT_EQ(objectLink.Describe(), "Path of the file or file group in the ObjectLink property");
}

TEST_F(PathSpecifierTest, StandardSetIsCreatedOnceAndListed) {
  size_t before = PathSpecifierList().size();
  {
    TComponent form(nullptr);
    CreateStandardPathSpecifiers(&form);
    EXPECT_EQ(form.ComponentCount(), 14);
    EXPECT_EQ(StandardPathSpecifierList().size(), 14u);
    EXPECT_EQ(PathSpecifierList().size(), before + 14);
    EXPECT_NE(form.FindComponent("psMainArchiveFile"), nullptr);
    EXPECT_EQ(form.FindComponent("psObjectLink"), nullptr);
    CreateStandardPathSpecifiers(&form);
    EXPECT_EQ(form.ComponentCount(), 14);
    CreateObjectLinkPathSpecifier(&form);
    EXPECT_EQ(form.ComponentCount(), 15);
    EXPECT_EQ(FindStandardPathSpecifier<TpsSystem>(), form.FindComponent("psSystem"));
    EXPECT_EQ(FindStandardPathSpecifier<TpsWindow>()->Describe(), "Path of the Windows directory");
  }
  EXPECT_EQ(StandardPathSpecifierList().size(), 0u);
  EXPECT_EQ(PathSpecifierList().size(), before);
  EXPECT_EQ(FindStandardPathSpecifier<TpsSystem>(), nullptr);

  // A container owned by something other than a form or data module
  // makes none.
  {
    TComponent plain(nullptr);
    new TInstallFileGroup(&plain);
    EXPECT_EQ(StandardPathSpecifierList().size(), 0u);
  }
  EXPECT_EQ(StandardPathSpecifierList().size(), 0u);
}

// ---- version resources ----

namespace {

std::string TestFile(const char* name) {
  return testsupport::Join(testsupport::BuildDir(),
                           std::string("tests\\installer\\verfiles\\") + name);
}

}  // namespace

TEST(VersionResources, FixedPartAndStringTable) {
  TVersionResource res(nullptr);
  res.SetFileName(TestFile("installer_verdll.dll"));
  TVersionInfo* v = res.VersionInfo();
  EXPECT_EQ(v->FileVersion, "4.0.1381.4");
  EXPECT_EQ(v->ProductVersion, "1.2 beta");  // the string table wins
  EXPECT_EQ(v->FileOS, "Windows NT with 32 bit Windows");
  EXPECT_EQ(v->FileType, "Dynamic-Link Library");
  EXPECT_EQ(v->FileSubType, "");
  EXPECT_EQ(v->Comment, "Test library");
  EXPECT_EQ(v->CompanyName, "Instkit Test Company");
  EXPECT_EQ(v->FileDescription, "Version resource test library");
  EXPECT_EQ(v->InternalName, "verdll");
  EXPECT_EQ(v->LegalCopyright, "(c) nobody");
  EXPECT_EQ(v->OriginalFileName, "installer_verdll.dll");
  EXPECT_EQ(v->ProductName, "Kit Tests");
  EXPECT_EQ(v->SpecialBuild, "");

  // Another string-table block is chosen by language and code page.
  res.SetLanguage(lnGerman);
  EXPECT_EQ(v->CompanyName, "");
  res.SetCharacterSet(csUnicode);
  EXPECT_EQ(v->CompanyName, "Testfirma");
  EXPECT_EQ(v->SpecialBuild, "Sonderbau");
  EXPECT_EQ(v->ProductVersion, "1.2.3.4");  // none in this block
  EXPECT_EQ(v->FileVersion, "4.0.1381.4");
}

TEST(VersionResources, ProgramsDriversAndFilesWithout) {
  TVersionResource res(nullptr);
  EXPECT_EQ(res.FileName(), ParamStr(0));
  res.SetFileName(TestFile("installer_verexe.exe"));
  TVersionInfo* v = res.VersionInfo();
  EXPECT_EQ(v->FileVersion, "4.0.1381.3");
  EXPECT_EQ(v->ProductVersion, "4.0.0.0");
  EXPECT_EQ(v->FileOS, "32 bit Windows");
  EXPECT_EQ(v->FileType, "Device Driver");
  EXPECT_EQ(v->FileSubType, "Sound");
  EXPECT_EQ(v->PrivateBuild, "private");
  std::string plain = testsupport::Join(testsupport::ScratchDir(), "plain.txt");
  testsupport::WriteFileText(plain, "no resource here");
  res.SetFileName(plain);
  EXPECT_EQ(v->FileVersion, "");
  EXPECT_EQ(v->CompanyName, "");
  EXPECT_EQ(v->FileType, "");
  res.SetFileName(testsupport::Join(testsupport::ScratchDir(), "missing.dll"));
  EXPECT_EQ(v->FileVersion, "");
}

TEST(OverwriteDecisions, ByVersionDateAndRule) {
  const std::string dll = TestFile("installer_verdll.dll");  // 4.0.1381.4
  const std::string exe = TestFile("installer_verexe.exe");  // 4.0.1381.3
  const std::string dir = testsupport::ScratchDir();
  const std::string older = testsupport::Join(dir, "older.txt");
  const std::string newer = testsupport::Join(dir, "newer.txt");
  const std::string other = testsupport::Join(dir, "other.txt");
  const std::string missing = testsupport::Join(dir, "missing.txt");
  testsupport::WriteFileText(older, "a");
  testsupport::WriteFileText(newer, "b");
  testsupport::WriteFileText(other, "c");
  const TDateTime day1 = EncodeDate(2001, 5, 1) + EncodeTime(10, 0, 0, 0);
  const TDateTime day2 = EncodeDate(2002, 5, 1) + EncodeTime(10, 0, 0, 0);
  ASSERT_TRUE(FileSetDate(older, DateTimeToFileDate(day1)));
  ASSERT_TRUE(FileSetDate(newer, DateTimeToFileDate(day2)));
  ASSERT_TRUE(FileSetDate(other, DateTimeToFileDate(day2)));

  EXPECT_EQ(DecideOverwrite("1.0", exe, owAlways, 0), odReplace);
  EXPECT_EQ(DecideOverwrite("1.0", exe, owNever, 0), odKeep);
  EXPECT_EQ(DecideOverwrite("1.0", "   ", owNever, 0), odReplace);
  EXPECT_EQ(DecideOverwrite("1.0", missing, owNever, 0), odReplace);

  EXPECT_EQ(DecideOverwrite("4.0.1381.3", exe, owVersion, 0), odSame);
  EXPECT_EQ(DecideOverwrite("4.0.1381.4", exe, owVersion, 0), odReplace);
  EXPECT_EQ(DecideOverwrite("4.0.1381", exe, owVersion, 0), odKeep);
  EXPECT_EQ(DecideOverwrite("", older, owVersion, 0), odSame);
  EXPECT_EQ(SharedVersionResource()->FileName(), older);

  EXPECT_EQ(DecideOverwrite("", older, owDate, day2), odReplace);
  EXPECT_EQ(DecideOverwrite("", newer, owDate, day2), odSame);
  EXPECT_EQ(DecideOverwrite("", newer, owDate, day1), odKeep);
  EXPECT_EQ(DecideOverwrite("", missing, owDate, day1), odUndecided);

  EXPECT_EQ(DecideOverwrite("9.9", older, owVersionDate, day1), odReplace);  // versions differ
  EXPECT_EQ(DecideOverwrite("", older, owVersionDate, day2), odReplace);     // same: by date
  EXPECT_EQ(DecideOverwrite("", newer, owVersionDate, day1), odKeep);
  EXPECT_EQ(DecideOverwrite("", older, static_cast<TOverwriteType>(9), day1), odUndecided);

  EXPECT_EQ(DecideOverwriteFiles(dll, exe, owVersion), odReplace);
  EXPECT_EQ(DecideOverwriteFiles(exe, dll, owVersion), odKeep);
  EXPECT_EQ(DecideOverwriteFiles(older, newer, owVersion), odSame);  // neither has one
  EXPECT_EQ(DecideOverwriteFiles(newer, older, owDate), odReplace);
  EXPECT_EQ(DecideOverwriteFiles(newer, other, owDate), odSame);
  EXPECT_EQ(DecideOverwriteFiles(older, newer, owVersionDate), odKeep);
  EXPECT_EQ(DecideOverwriteFiles(missing, newer, owDate), odUndecided);
  EXPECT_EQ(DecideOverwriteFiles(newer, missing, owDate), odUndecided);
  EXPECT_EQ(DecideOverwriteFiles(newer, missing, owAlways), odReplace);
  EXPECT_EQ(DecideOverwriteFiles(newer, older, owNever), odKeep);

  // A target held open by someone else can still be dated.
  HANDLE h = CreateFileA(newer.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(DecideOverwrite("", newer, owDate, day2), odSame);
  CloseHandle(h);
}
