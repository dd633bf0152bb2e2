// The developer's side of the install driver under Wine: a test setup
// program builds its self-extracting distribution from BUILD.INF, Python
// checks the executable's layout, and running it starts the setup program
// from the stand-in loader's temporary copy; a web build writes its parts
// and file list; the floppy transfer splits a self-extracting distribution
// again.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "../installerarch/small_disk.h"
#include "exception_text.h"
#include "installregistry.h"
#include "installrecords.h"
#include "kitroutines.h"
#include "test_support.h"
#include "uninstallexe.h"
#include "win/install.h"

using namespace testsupport;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Slurp(const std::string& path) {
  std::vector<uint8_t> b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

void Copy(const std::string& from, const std::string& to) {
  MakeDirs(ExtractFileDir(to));
  ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to;
}

std::string LoaderPath() { return Join(BuildDir(), "tests\\tools\\loader\\QuenlowLoadProgram.exe"); }

// Source files of the distribution, a kit directory with the stand-in
// loader found through the IDE's search path, and a scratch folder.
class BuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Archive entries hold source paths of at most 100 characters, more
    // than the scratch folder leaves: the temporary folder is short.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    root_ = Join(ExcludeTrailingBackslash(temp), std::string("mvb") + std::to_string(++count_));
    RemoveTree(root_);
    src_ = Join(root_, "src");
    MakeDirs(src_);
    WriteFileText(Join(src_, "readme.txt"), "Read me first.\r\n");
    WriteFileBytes(Join(src_, "data.bin"), RandomBytes(150000, 7));
    kit_ = Join(root_, "kit");
    Copy(LoaderPath(), Join(kit_, "QuenlowLoadProgram.exe"));
    WriteFileText(Join(kit_, "Q32V31.TXT"), "kit");
    // The first entry has no marker and is passed over.
    WriteRegistryString(hkCurrentUser, TCustomInstall::IdeLibraryKey, "SearchPath",
                        Join(root_, "no kit here") + ";" + kit_);
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
      messages_.push_back(text);
      return IDOK;
    };
  }
  void TearDown() override {
    RemoveTree(root_);
    Application->MessageBoxFunction = nullptr;
    DeleteRegistryKeyTree(hkCurrentUser, TCustomInstall::IdeLibraryKey);
  }
  std::string root_, src_, kit_;
  std::vector<std::string> messages_;
  static int count_;
};

int BuildTest::count_ = 0;

// A form with the driver and a group of the two source files, loaded with
// the given arguments.
struct SetupForm {
  SetupForm(std::vector<std::string> args, const std::string& src, TDistributeType type, bool useLoader) {
    InstallDriverSeams().Arguments = [args] { return args; };
    form.reset(new TForm(nullptr));
    CreateStandardPathSpecifiers(form.get());
    driver = new TInstall(form.get());
    driver->Loading();
    driver->SetName("Install");
    driver->SetDistributeType(type);
    driver->SetUseLoadingProgram(useLoader);
    driver->Loaded();
    group = new TInstallFileGroup(form.get());
    group->SetName("MainGroup");
    group->SetContainer(driver);
    for (const char* name : {"readme.txt", "data.bin"}) {
      auto* f = new TInstallFile(form.get());
      f->SetName(std::string(name) == "readme.txt" ? "ReadmeFile" : "DataFile");
      f->SetContainer(group);
      f->SetIncludeFromDir(src);
      f->SetFileName(name);
      files.push_back(f);
    }
  }
  ~SetupForm() {
    form.reset();
    RunKeyPath().clear();
    InstallDriverSeams().Arguments = [] { return std::vector<std::string>(); };
  }
  std::unique_ptr<TForm> form;
  TInstall* driver = nullptr;
  TInstallFileGroup* group = nullptr;
  std::vector<TInstallFile*> files;
};

// testsetup.exe -b builds the self-extracting distribution; the result is
// checked byte by byte, started through its loader, and put on "floppies".
TEST_F(BuildTest, SelfExtractingDistributionBuildsRunsAndGoesOntoFloppies) {
  const std::string app = Join(root_, "app");
  const std::string build = Join(root_, "Build Out");
  Copy(Join(BuildDir(), "tests\\installerbuild\\buildsetup.exe"), Join(app, "testsetup.exe"));
  WriteFileText(Join(app, "presetup.txt"), "before the setup");
  WriteFileText(Join(app, "BUILD.INF"), build + "\r\n");
  const std::string log = Join(root_, "setup.log");
  const std::string dest = Join(root_, "extracted");
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_SRC", src_.c_str());
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_LOG", log.c_str());
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_DEST", dest.c_str());

  std::string out;
  ASSERT_EQ(0, RunWindows("\"" + Join(app, "testsetup.exe") + "\" -b", &out)) << out << Slurp(log);
  std::string text = Slurp(log);
  EXPECT_TRUE(Contains(text, "built")) << text;
  EXPECT_FALSE(Contains(text, "message=")) << text;
  for (const char* part : {"setup.exe", "setup.1", "files.1"})
    ASSERT_TRUE(testsupport::FileExists(Join(build, part))) << part << "\n" << text;

  // Python reads them where a Unix path reaches them.
  std::vector<std::string> check = {ToUnixPath(Join(SourceDir(), "tests\\installerbuild\\check_trailer.py"))};
  for (const char* part : {"setup.exe", "loader", "setup.1", "files.1"}) {
    std::string from = std::string(part) == "loader" ? LoaderPath() : Join(build, part);
    Copy(from, Join(ScratchDir(), part));
    check.push_back(ToUnixPath(Join(ScratchDir(), part)));
  }
  ASSERT_EQ(0, RunUnix("/usr/bin/python3", check, &out)) << out;
  EXPECT_EQ("ok\n", out);

  // The loader extracts the setup program and its pre-setup file into a
  // temporary folder and starts it from there.
  DeleteFileA(log.c_str());
  ASSERT_EQ(0, RunWindows("\"" + Join(build, "setup.exe") + "\"", &out)) << out << Slurp(log);
  text = Slurp(log);
  EXPECT_TRUE(Contains(text, "args=-esetup.exe|-s" + build + "|-csetup.exe\n")) << text;
  EXPECT_TRUE(Contains(text, "setup=" + build + "\\setup.exe\n")) << text;
  EXPECT_TRUE(Contains(text, "source=" + build + "\n")) << text;
  EXPECT_TRUE(Contains(text, "presetup=yes\n")) << text;
  EXPECT_TRUE(Contains(text, "extracted=2\n")) << text;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  size_t at = text.find("dir=");
  ASSERT_NE(std::string::npos, at);
  std::string dir = text.substr(at + 4, text.find('\n', at) - at - 4);
  EXPECT_TRUE(SameText(dir.substr(0, strlen(temp)), temp)) << dir << " not below " << temp;
  for (const char* name : {"readme.txt", "data.bin"})
    EXPECT_EQ(ReadFileBytes(Join(src_, name)), ReadFileBytes(Join(dest, name))) << name;
  RemoveTree(dir);

  // Floppies: only from the self-extracting file, then in its three parts.
  const std::string floppy = Join(root_, "floppy");
  MakeDirs(floppy);
  {
    SetupForm plain({"-s" + build}, src_, dtTraditional, true);
    plain.driver->TransferToFloppies(floppy);
  }
  ASSERT_EQ(1u, messages_.size());
  EXPECT_EQ(
      "Sorry... You can only transfer this installation to floppies through the self-extracting file. Usage example: "
      "setup.exe *TODISK",
      messages_[0]);
  EXPECT_FALSE(testsupport::FileExists(Join(floppy, "setup.exe")));
  messages_.clear();
  {
    // Disks of 60000 bytes: the file archive takes three.
    TSmallDiskCompress disks(60000);
    SetupForm s({"-esetup.exe", "-s" + build}, src_, dtTraditional, true);
    s.driver->FloppyReader = &disks;
    std::vector<std::string> status;
    s.driver->OnStatus = [&](TObject*, TFileRelated*, TFileStatusParameter* p) { status.push_back(p->FileName); };
    s.driver->TransferToFloppies(floppy);
    EXPECT_FALSE(status.empty());
  }
  EXPECT_EQ((std::vector<std::string>{"Please insert disk 2", "Please insert disk 3"}), messages_);
  EXPECT_TRUE(testsupport::FileExists(Join(floppy, "files.3")));
  EXPECT_EQ(ReadFileBytes(LoaderPath()), ReadFileBytes(Join(floppy, "setup.exe")));
  EXPECT_EQ(ReadFileBytes(Join(build, "setup.1")), ReadFileBytes(Join(floppy, "setup.1")));
  TQnlwCompress reader(nullptr);
  reader.SetCompressedFile(Join(floppy, "files.1"));
  ASSERT_EQ(2, reader.FileCount());
  const std::string again = Join(root_, "from floppy");
  reader.SetExtractDirectory(again);
  TStringList names;
  for (int i = 0; i < 2; ++i) {
    TlzhFileStats stats;
    reader.GetFileStats(i, stats);
    names.Add(stats.Header.SourcePath);
  }
  reader.SetFilesToProcess(&names);
  reader.Extract();
  for (const char* name : {"readme.txt", "data.bin"})
    EXPECT_EQ(ReadFileBytes(Join(src_, name)), ReadFileBytes(Join(again, name))) << name;

  // Cancel at the prompt for the second disk ends the transfer.
  messages_.clear();
  Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
    messages_.push_back(text);
    return IDCANCEL;
  };
  {
    TSmallDiskCompress disks(60000);
    SetupForm s({"-esetup.exe", "-s" + build}, src_, dtTraditional, true);
    s.driver->FloppyReader = &disks;
    MakeDirs(Join(root_, "floppy2"));
    s.driver->TransferToFloppies(Join(root_, "floppy2"));
  }
  EXPECT_EQ((std::vector<std::string>{"Please insert disk 2", "Aborted by user"}), messages_);
  Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
    messages_.push_back(text);
    return IDOK;
  };

  // A file without the trailer's mark is refused, not followed.
  std::vector<uint8_t> exe = ReadFileBytes(Join(build, "setup.exe"));
  exe[exe.size() - 50] ^= 0x20;
  WriteFileBytes(Join(build, "setup.exe"), exe);
  messages_.clear();
  {
    SetupForm s({"-esetup.exe", "-s" + build}, src_, dtTraditional, true);
    s.driver->TransferToFloppies(floppy);
  }
  ASSERT_EQ(1u, messages_.size());
  EXPECT_TRUE(Contains(messages_[0], "Could not read the extraction info from the archive file")) << messages_[0];
}

// Without self-extraction the loader is setup.exe as it stands and finds
// setup.1 beside it; the setup program then gets no "-e".
TEST_F(BuildTest, PlainLoaderFindsTheSetupArchiveBesideIt) {
  const std::string build = Join(root_, "plain");
  const std::string exe = Join(root_, "testsetup.exe");
  Copy(Join(BuildDir(), "tests\\installerbuild\\buildsetup.exe"), exe);
  const std::string log = Join(root_, "setup.log");
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_SRC", src_.c_str());
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_LOG", log.c_str());
  {
    SetupForm s({}, src_, dtTraditional, true);
    s.driver->Build(exe, build, false);
  }
  EXPECT_EQ(ReadFileBytes(LoaderPath()), ReadFileBytes(Join(build, "setup.exe")));
  EXPECT_TRUE(testsupport::FileExists(Join(build, "files.1")));
  std::string out;
  ASSERT_EQ(0, RunWindows("\"" + Join(build, "setup.exe") + "\"", &out)) << out;
  std::string text = Slurp(log);
  EXPECT_TRUE(Contains(text, "args=-s" + build + "|-csetup.exe\n")) << text;
  // It ran from the loader's copy, not from the build folder.
  EXPECT_FALSE(Contains(text, "dir=" + build + "\n")) << text;
  size_t at = text.find("dir=");
  ASSERT_NE(std::string::npos, at) << text;
  RemoveTree(text.substr(at + 4, text.find('\n', at) - at - 4));
}

// A web build puts each file in its own part and lists them with their
// sizes, dates and versions; names the list cannot hold are refused.
TEST_F(BuildTest, WebBuildWritesPartsAndTheFileList) {
  const std::string build = Join(root_, "web");
  const std::string exe = Join(root_, "testsetup.exe");
  WriteFileText(exe, "a setup program");
  SetupForm s({}, src_, dtWeb, false);
  TCustomPathSpecifier* archiveType = s.driver->ArchiveFileType();

  EXPECT_EQ("Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is set to False",
            testsupport::MessageOf([&] { s.driver->Build(exe, build, true); }));
  const std::string longName = "A" + std::string(40, 'b');
  s.files[1]->SetName(longName);
  std::string message = testsupport::MessageOf([&] { s.driver->Build(exe, build, false); });
  EXPECT_TRUE(Contains(message, longName)) << message;
  EXPECT_TRUE(Contains(message, "longer than 40 characters")) << message;
  EXPECT_FALSE(testsupport::FileExists(Join(build, "filelist.lst")));

  s.files[1]->SetName(std::string(40, 'D'));
  s.driver->Build(exe, build, false);
  EXPECT_EQ(ReadFileBytes(exe), ReadFileBytes(Join(build, "testsetup.exe")));

  // BUILD.INF beside the program must name the build folder.
  const std::string ini = ExtractFilePath(Application->ExeName()) + "BUILD.INF";
  DeleteFileA(ini.c_str());
  s.driver->BuildFromIni();
  WriteFileText(ini, "  \r\nsecond line\r\n");
  s.driver->BuildFromIni();
  DeleteFileA(ini.c_str());
  EXPECT_EQ((std::vector<std::string>{
                "Need to have a BUILD.INF file in this directory with the first line specifying the build directory",
                "Must be 1 line in BUILD.INF. This line should specify the build directory"}),
            messages_);

  // With the loader: the setup program must exist, and the kit directory
  // must be found through the search path.
  s.driver->SetUseLoadingProgram(true);
  EXPECT_EQ("Cannot create setup file. Executable is blank",
            testsupport::MessageOf([&] { s.driver->Build(" ", build, true); }));
  EXPECT_EQ("TInstall: Cannot find the executable file " + exe + ".missing",
            testsupport::MessageOf([&] { s.driver->Build(exe + ".missing", build, true); }));
  WriteRegistryString(hkCurrentUser, TCustomInstall::IdeLibraryKey, "SearchPath", Join(root_, "no kit here"));
  EXPECT_EQ("The HKEY_LOCAL_MACHINE | \\Software\\Tobin Reyl\\Q32V31 key in the registry is either missing or points "
            "to an invalid Quenlow directory",
            testsupport::MessageOf([&] { s.driver->Build(exe, build, true); }));
  s.driver->SetUseLoadingProgram(false);
  // The form's own archive settings are back.
  EXPECT_EQ(archiveType, s.driver->ArchiveFileType());
  EXPECT_EQ("", s.driver->ArchiveFile());

  std::vector<uint8_t> raw = ReadFileBytes(Join(build, "filelist.lst"));
  std::vector<TRemoteFileRecord> list =
      DecodeRemoteFileList(std::string(raw.begin(), raw.end()), Join(build, "filelist.lst"));
  ASSERT_EQ(2u, list.size());
  for (size_t i = 0; i < 2; ++i) {
    TInstallFile* f = s.files[i];
    const TRemoteFileRecord* r = nullptr;
    for (const auto& rec : list)
      if (rec.Name == f->Name()) r = &rec;
    ASSERT_TRUE(r) << f->Name();
    EXPECT_EQ(static_cast<int32_t>(FileSizeOf(f->SourcePath())), r->Size);
    // The source's modification time, to the millisecond.
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME t;
    ASSERT_TRUE(GetFileAttributesExA(f->SourcePath().c_str(), GetFileExInfoStandard, &data) &&
                FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &t));
    EXPECT_NEAR(EncodeDate(t.wYear, t.wMonth, t.wDay) + EncodeTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds),
                r->Date, 1e-8);
    EXPECT_EQ(f->ArchiveVersion(), r->Version);
  }
  // The group's files share the group's web part.
  TQnlwCompress part(nullptr);
  part.SetCompressedFile(Join(build, "MainGroup.1"));
  EXPECT_EQ(2, part.FileCount());
  EXPECT_FALSE(testsupport::FileExists(Join(build, "files.1")));
}

// The uninstaller's file, dropped on a designed form, takes the program
// from the kit directory when the kit has one.
TEST_F(BuildTest, DesignedUninstallerComesFromTheKitDirectory) {
  TComponent designed(nullptr);
  designed.SetDesigning(true);
  auto* without = new TUninstallEXE(&designed);
  EXPECT_EQ("", without->IncludeFromDir());
  WriteFileText(Join(kit_, "uninstall.exe"), "the uninstaller");
  auto* with = new TUninstallEXE(&designed);
  EXPECT_TRUE(SameText(kit_, with->IncludeFromDir())) << with->IncludeFromDir();
  EXPECT_EQ("uninstall.exe", with->FileName());
}

// A file type written by registry objects, with "%1" kept, hands the
// opened file to the program through the shell.
TEST_F(BuildTest, FileTypeCommandHandsTheFileToTheProgram) {
  const std::string program = Join(root_, "Prog Dir");
  Copy(Join(BuildDir(), "tests\\installerbuild\\buildsetup.exe"), Join(program, "probe.exe"));
  const std::string log = Join(root_, "probe.log");
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_LOG", log.c_str());
  SetEnvironmentVariableA("MORVANE_BUILDSETUP_SRC", src_.c_str());
  const std::string product = "Morvane Build Type Test";
  {
    SetupForm s({}, src_, dtTraditional, false);
    s.driver->Information()->ProductName = product;
    s.driver->SetDestDirType(nullptr);
    s.driver->SetDestDir(program);
    auto* ext = new TInstallRegistry(s.form.get());
    ext->SetName("Extension");
    ext->SetContainer(s.driver);
    ext->SetRootKey(hkClassesRoot);
    ext->SetKey("\\.mvbtest");
    ext->Entries()->Add()->SetText("Morvane.BuildTest");
    auto* command = new TInstallRegistry(s.form.get());
    command->SetName("OpenCommand");
    command->SetContainer(s.driver);
    command->SetRootKey(hkClassesRoot);
    command->SetKey("\\Morvane.BuildTest\\shell\\open\\command");
    TRegistryEntry* line = command->Entries()->Add();
    line->SetPathSpecifier(FindStandardPathSpecifier<TpsMainInstall>());
    line->SetText("\"%p\\probe.exe\" \"%1\"");
    ext->Install();
    command->Install();
  }
  const std::string doc = Join(root_, "a patch.mvbtest");
  WriteFileText(doc, "patch");
  std::string out;
  RunWindows("cmd /c start \"\" \"" + doc + "\"", &out);
  std::string text;
  for (int i = 0; i < 100 && !Contains(text, "\n"); ++i) {
    Sleep(100);
    if (testsupport::FileExists(log)) text = Slurp(log);
  }
  DeleteRegistryKeyTree(hkClassesRoot, "\\.mvbtest");
  DeleteRegistryKeyTree(hkClassesRoot, "\\Morvane.BuildTest");
  DeleteRegistryKeyTree(hkLocalMachine, std::string(UninstallKeyPrefix) + product);
  EXPECT_TRUE(Contains(text, "args=" + doc + "\n")) << text << out;
}

}  // namespace
