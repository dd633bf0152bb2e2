// Install files under Wine: a tree of real files compressed by its own
// containers and installed into a folder with a blank in its name, the
// overwrite rules over real version resources and dates, a destination held
// open by another process replaced through Wine's own restart processing,
// self-registering components, and the build side.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "installerfiles_common.h"
#include "kitroutines.h"
#include "win/forms.h"
#include "exception_text.h"
#include "../installerarch/small_disk.h"

using namespace testsupport;
using namespace instf;

namespace {

const char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Files Test";
const char kRunOnce[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string Scratch(const std::string& name) { return Join(ScratchDir(), name); }

using testsupport::MessageOf;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string PendingRenames() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key))
    return "";
  std::vector<char> data(65536);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  LONG r = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return "";
  std::string all(data.data(), size);
  std::replace(all.begin(), all.end(), '\0', '|');
  return all;
}

void ClearRegistry() {
  DeleteRegistryKeyTree(hkLocalMachine, kUninstallKey);
  DeleteRegistryKeyTree(hkLocalMachine, "\\SOFTWARE\\Quenlow\\Install\\MorvaneFilesTest");
  DeleteRegistryKeyTree(hkCurrentUser, "\\Software\\MorvaneTest");
}

int SharedCount(const std::string& path) {
  std::string shortName = ShortPathName(path);
  return ReadRegistryInteger(hkLocalMachine, SharedDLLsKey, shortName.empty() ? path : shortName, 0);
}

class InstallFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRegistry();
    InstallFileSystem() = TInstallFileSystem{[] { return GetWindowsVersion(); },
                                             [](const std::string& a, const std::string& b) {
                                               return MoveFileExA(a.c_str(), b.c_str(),
                                                                  MOVEFILE_DELAY_UNTIL_REBOOT |
                                                                      MOVEFILE_REPLACE_EXISTING) != 0;
                                             }};
    ActiveXQueue().clear();
    GlobalArchiveReader()->SetAbort(false);
  }
};

}  // namespace

// A dozen real files in two folders, one above 1 MB, compressed by the tree
// itself and installed; the totals, the archive information and the
// uninstaller's log follow.
TEST_F(InstallFiles, GroupCompressesAndInstallsRealFiles) {
  std::string tree = Join(BuildDir(), "..\\testdata\\trees\\libc6-2.36-9+deb12u14\\root");
  ASSERT_TRUE(DirectoryExists(tree)) << "run scripts/fetch-testdata.sh";
  struct Source {
    std::string from, folder;
  };
  std::vector<Source> sources;
  for (const char* n : {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2", "libdl.so.2", "libanl.so.1",
                        "libpthread.so.0", "libresolv.so.2"})
    sources.push_back({tree + "\\lib\\x86_64-linux-gnu\\" + n, "a"});
  for (const char* n : {"ANSI_X3.110.so", "ARMSCII-8.so", "ASMO_449.so", "BIG5.so", "BIG5HKSCS.so"})
    sources.push_back({tree + "\\usr\\lib\\x86_64-linux-gnu\\gconv\\" + n, "b"});
  sources.push_back({HelperPath("instf_verlib2.dll"), "a"});

  // Archive entries hold at most 100 characters: the sources lie in a
  // short folder.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string src = std::string(temp) + "instf-grp";
  RemoveTree(src);
  std::string dest = Scratch("grp\\Program Files Test");
  TTestForm form(Scratch("grp\\dist\\files.1"), dest);
  TInstallFileGroup* libs = form.Group("Libs", form.Driver);
  TInstallFileGroup* conv = form.Group("Conv", form.Driver, "\\gconv");
  std::vector<TInstallFile*> files;
  for (size_t i = 0; i < sources.size(); ++i) {
    std::string name = ExtractFileName(sources[i].from);
    CopyTo(sources[i].from, src + "\\" + sources[i].folder + "\\" + name);
    files.push_back(form.File("F" + std::to_string(i), sources[i].folder == "a" ? libs : conv,
                              src + "\\" + sources[i].folder, name));
  }
  EXPECT_EQ(libs->GroupName(), "Group #2");
  EXPECT_EQ(form.Driver->FindFile(src + "\\B\\big5.so"), files[10]);

  int compressNotes = 0;
  form.Driver->OnStatus = [&](TObject*, TFileRelated*, TFileStatusParameter*) { ++compressNotes; };
  form.Driver->Compress(0);
  ASSERT_TRUE(::FileExists(Scratch("grp\\dist\\files.1")));
  EXPECT_GT(compressNotes, 12);
  EXPECT_GT(form.Driver->CompressedSizeSum(false), 0);

  // The archive information comes from the headers, not from the sources.
  for (TInstallFile* f : files) f->SetArchiveInfo(0, 0, 0, "");
  form.Driver->ReadArchiveInfo();
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i]->ArchiveSize(), FileSizeOf(files[i]->SourcePath())) << files[i]->FileName();
    EXPECT_GT(files[i]->ArchiveCompressedSize(), 0);
  }
  EXPECT_EQ(files.back()->ArchiveVersion(), "2.0.0.0");
  EXPECT_EQ(files[0]->ArchiveVersion(), "");
  EXPECT_GT(files[0]->ArchiveSize(), 1000000);

  int maxPercent = 0;
  int64_t lastOverall = 0;
  std::vector<std::string> order;
  form.Driver->OnStatus = [&](TObject*, TFileRelated*, TFileStatusParameter* s) {
    maxPercent = std::max<int>(maxPercent, s->OverallPercent);
    lastOverall = s->OverallBytesDone;
  };
  bool closedAborted = true;
  form.Driver->OnShowCopyFileDlg = [&](TInstallContainer*) { order.push_back("show"); };
  form.Driver->OnCloseCopyFileDlg = [&](TObject*, bool aborted) {
    order.push_back("close");
    closedAborted = aborted;
  };
  form.Driver->SetState(fcsInstall);
  EXPECT_EQ(form.Driver->State(), fcsNone);
  EXPECT_EQ(order, (std::vector<std::string>{"show", "close"}));
  EXPECT_FALSE(closedAborted);
  EXPECT_EQ(maxPercent, 100);
  EXPECT_EQ(form.Driver->BytesDoneTotal(), form.Driver->SizeSum(false, true));
  EXPECT_EQ(lastOverall, form.Driver->SizeSum(false, true));
  for (TInstallFile* f : files) {
    std::string target = f->DestPath();
    ASSERT_TRUE(::FileExists(target)) << target;
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(f->SourcePath())) << target;
    EXPECT_EQ(FileAge(target), FileAge(f->SourcePath())) << target;
  }
  EXPECT_TRUE(::FileExists(dest + "\\gconv\\BIG5.so"));

  // Each installed file is in the uninstaller's log, as reg.exe shows it.
  std::string out;
  ASSERT_EQ(RunWindows("reg query \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Files "
                       "Test\\Files\"",
                       &out),
            0);
  EXPECT_TRUE(Contains(out, "Entries")) << out;
  EXPECT_TRUE(Contains(out, "13")) << out;
  EXPECT_TRUE(Contains(out, "File13")) << out;
  EXPECT_TRUE(Contains(out, dest + "\\gconv\\BIG5HKSCS.so")) << out;

  // A group drops the files whose sources have gone.
  DeleteFile(files[11]->SourcePath());
  conv->RemoveMissingFiles();
  EXPECT_EQ(conv->ChildCount(rtInstallFile), 4);
  TInstallFileGroup loose(nullptr);
  EXPECT_EQ(loose.GroupName(), "Unnamed File Group");
}

// The five rules over real version resources and dates, one row each.
TEST_F(InstallFiles, OverwriteRulesOverVersionsAndDates) {
  struct Row {
    TOverwriteType mode;
    const char* archived;  // helper file in the archive
    int archivedDay;
    const char* existing;  // helper file already installed, or nullptr
    int existingDay;
    bool written;
  };
  const char* dll1 = "instf_verlib1.dll";
  const char* dll2 = "instf_verlib2.dll";
  const char* exe1 = "instf_verprog1.exe";
  const char* exe2 = "instf_verprog2.exe";
  const Row rows[] = {
      {owAlways, dll1, 1, dll2, 9, true},       {owNever, dll2, 9, dll1, 1, false},
      {owNever, dll2, 9, nullptr, 0, true},     {owVersion, exe2, 1, exe1, 9, true},
      {owVersion, dll1, 9, dll2, 1, false},     {owVersion, exe1, 9, exe1, 1, false},
      {owDate, exe1, 9, exe2, 1, true},         {owDate, dll2, 1, dll1, 9, false},
      {owDate, dll1, 1, nullptr, 0, true},      {owVersionDate, dll2, 1, dll1, 9, true},
      {owVersionDate, exe1, 9, exe2, 1, false}, {owVersionDate, dll1, 9, dll1, 1, true},
      {owVersionDate, exe1, 1, exe1, 9, false},
  };
  std::string dest = Scratch("ow\\Program Files Test");
  TTestForm form(Scratch("ow\\files.1"), dest);
  TInstallFileGroup* group = form.Group("Rules", form.Driver);
  std::vector<TInstallFile*> files;
  std::vector<int> existingAge;
  int n = 0;
  for (const Row& r : rows) {
    std::string name = "row" + std::to_string(++n) + ExtractFileExt(r.archived);
    std::string dir = Scratch("ow\\src");
    CopyTo(HelperPath(r.archived), dir + "\\" + name);
    SetFileDate(dir + "\\" + name, 2020, 3, r.archivedDay, 12);
    if (r.existing) {
      CopyTo(HelperPath(r.existing), dest + "\\" + name);
      SetFileDate(dest + "\\" + name, 2020, 3, r.existingDay, 12);
    }
    existingAge.push_back(r.existing ? FileAge(dest + "\\" + name) : -1);
    TInstallFile* f = form.File("Row" + std::to_string(n), group, dir, name);
    f->SetOverwriteMode(r.mode);
    files.push_back(f);
  }
  // The kept file still counts and registers.
  files[1]->SetRegisterAsHelp(true);
  files[1]->SetUpdateDLLCounter(true);
  form.Driver->Compress(0);
  form.Driver->SetState(fcsInstall);
  for (size_t i = 0; i < files.size(); ++i) {
    const Row& r = rows[i];
    std::string target = files[i]->DestPath();
    const char* expected = r.written ? r.archived : r.existing;
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(HelperPath(expected))) << "row " << i + 1;
    EXPECT_EQ(FileAge(target), r.written ? FileAge(files[i]->SourcePath()) : existingAge[i]) << "row " << i + 1;
  }
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, HelpKey, "ROW2.DLL", ""), dest);
  std::string shared = files[1]->DestPath();
  EXPECT_EQ(SharedCount(shared), 1);
  form.Driver->SetState(fcsInstall);
  EXPECT_EQ(SharedCount(shared), 2);
  WriteRegistryInteger(hkLocalMachine, SharedDLLsKey, ShortPathName(shared), 0);
}

// A destination held open by another process: the new file is written to
// the next free name and put in place by Wine's restart processing, while
// everything recorded names the real file.
TEST_F(InstallFiles, FileInUseIsReplacedAtReboot) {
  std::string dest = Scratch("use\\Program Files Test");
  std::string src = Scratch("use\\src");
  CopyTo(HelperPath("instf_verlib2.dll"), src + "\\APP.DLL");
  auto prepare = [&] {
    CopyTo(HelperPath("instf_verlib1.dll"), dest + "\\APP.DLL");
    WriteFileText(dest + "\\APP.1", "taken");
    DeleteFile(dest + "\\APP.2");
  };
  const auto newBytes = ReadFileBytes(src + "\\APP.DLL");
  const auto oldBytes = ReadFileBytes(HelperPath("instf_verlib1.dll"));
  std::string target = dest + "\\APP.DLL";

  TTestForm form(Scratch("use\\files.1"), dest);
  TInstallFileGroup* group = form.Group("Group", form.Driver);
  TInstallFile* app = form.File("App", group, src, "APP.DLL");
  app->SetUpdateDLLCounter(true);
  form.Driver->Compress(0);
  form.Driver->Running = true;

  // Windows NT: a delayed rename that replaces the old file.
  prepare();
  {
    THolder holder(target);
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    form.Driver->SetState(fcsInstall);
    EXPECT_TRUE(app->Deferred());
    EXPECT_EQ(app->DestName(), "APP.DLL");
    EXPECT_EQ(ReadFileBytes(dest + "\\APP.2"), newBytes);
    EXPECT_EQ(ReadFileBytes(target), oldBytes);
    std::string pending = PendingRenames();
    EXPECT_TRUE(Contains(UpperCase(pending), "APP.2|!")) << pending;
    EXPECT_TRUE(Contains(UpperCase(pending), "APP.DLL")) << pending;
    EXPECT_TRUE(form.Driver->RebootNeeded);
    EXPECT_EQ(form.Driver->Unfinished, (std::vector<std::pair<std::string, int>>{{"App", 0}}));
    EXPECT_EQ(ReadRegistryString(hkLocalMachine, std::string(kUninstallKey) + "\\Files", "File1", ""), target);
    EXPECT_EQ(SharedCount(target), 1);
    EXPECT_EQ(app->DestPath(), target);
  }
  ASSERT_EQ(RunWindows("wineboot.exe -r"), 0);
  EXPECT_EQ(ReadFileBytes(target), newBytes);
  EXPECT_FALSE(::FileExists(dest + "\\APP.2"));

  // Windows 95/98: a "Rename" line keyed by the short path.
  prepare();
  InstallFileSystem().WindowsVersion = [] { return 1; };
  form.Driver->RebootNeeded = false;
  std::string wininit = AddBackslash(GetWindowsDir()) + "WININIT.INI";
  DeleteFile(wininit);
  {
    THolder holder(target);
    form.Driver->SetState(fcsInstall);
    EXPECT_TRUE(form.Driver->RebootNeeded);
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("Rename", ShortPathName(target).c_str(), "", value, MAX_PATH, wininit.c_str());
    EXPECT_EQ(std::string(value), dest + "\\APP.2");
  }
  ASSERT_EQ(RunWindows("wineboot.exe -r"), 0);
  EXPECT_EQ(ReadFileBytes(target), newBytes);

  // No delayed rename: a batch with quoted paths, started once at the next
  // logon under a free RunOnce name.
  prepare();
  InstallFileSystem().WindowsVersion = [] { return 2; };
  InstallFileSystem().MoveFileAtReboot = [](const std::string&, const std::string&) { return false; };
  WriteRegistryString(hkLocalMachine, kRunOnce, "QuenlowBatFile", "rem taken");
  form.Driver->Unfinished.clear();
  std::string batch;
  {
    THolder holder(target);
    form.Driver->SetState(fcsInstall);
    ASSERT_EQ(form.Driver->Unfinished.size(), 2u);
    batch = form.Driver->Unfinished[0].first;
    EXPECT_EQ(form.Driver->Unfinished[0].second, 1);
    EXPECT_EQ(form.Driver->Unfinished[1], (std::pair<std::string, int>{"App", 0}));
    EXPECT_EQ(UpperCase(ExtractFileExt(batch)), ".BAT");
    EXPECT_EQ(ReadRegistryString(hkLocalMachine, kRunOnce, "QuenlowBatFile1", ""), batch);
    std::string text = ReadText(batch);
    std::string shortOld = ShortPathName(target);
    EXPECT_TRUE(Contains(text, "erase \"" + shortOld + "\"")) << text;
    EXPECT_TRUE(Contains(text, "move \"" + dest + "\\APP.2\" \"" + shortOld + "\"")) << text;
  }
  for (const char* v : {"QuenlowBatFile", "QuenlowBatFile1"}) {
    HKEY key;
    if (!RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce + 1, 0, KEY_ALL_ACCESS, &key)) {
      RegDeleteValueA(key, v);
      RegCloseKey(key);
    }
  }
  EXPECT_EQ(ReadFileBytes(target), oldBytes);
  ASSERT_EQ(RunWindows("cmd.exe /c \"" + batch + "\""), 0);
  EXPECT_EQ(ReadFileBytes(target), newBytes);

  // Without a driver nobody would clean up a batch: the failure is told.
  prepare();
  RegisterInstallDriver(nullptr, nullptr);
  {
    THolder holder(target);
    EXPECT_THROW(group->SetState(fcsInstall), IECustomInstallFile);
  }
  RegisterInstallDriver(form.Driver, &form.Driver->Information);
  EXPECT_EQ(ReadFileBytes(target), oldBytes);
  DeleteFile(batch);
  WriteRegistryInteger(hkLocalMachine, SharedDLLsKey, ShortPathName(target), 0);
}

// A damaged entry over an existing destination fails and keeps the old file.
TEST_F(InstallFiles, DamagedEntryKeepsTheOldFile) {
  std::string dest = Scratch("bad\\Program Files Test");
  std::string src = Scratch("bad\\src");
  std::vector<uint8_t> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>((i * 7919) >> 5);
  MakeDirs(src);
  WriteFileBytes(src + "\\data.bin", big);
  TTestForm form(Scratch("bad\\files.1"), dest);
  TInstallFileGroup* group = form.Group("Group", form.Driver);
  TInstallFile* f = form.File("Data", group, src, "data.bin");
  form.Driver->Compress(0);
  auto archive = ReadFileBytes(Scratch("bad\\files.1"));
  for (size_t i = archive.size() / 2; i < archive.size() / 2 + 64; ++i) archive[i] ^= 0x5A;
  WriteFileBytes(Scratch("bad\\files.1"), archive);
  MakeDirs(dest);
  WriteFileText(dest + "\\data.bin", "the old file");
  EXPECT_THROW(form.Driver->SetState(fcsInstall), Exception);
  EXPECT_EQ(ReadText(dest + "\\data.bin"), "the old file");
  EXPECT_EQ(form.Driver->State(), fcsNone);
  EXPECT_EQ(f->State(), ifsNone);
}

// Self-registering components in a folder with a blank in its name.
TEST_F(InstallFiles, ActiveXComponentsRegisterThemselves) {
  std::string dest = Scratch("ax\\Active X Dir");
  std::string src = Scratch("ax\\src");
  // Short names: a shared library's name must fit 8.3.
  CopyTo(HelperPath("instf_comdll.dll"), src + "\\comdll.dll");
  CopyTo(HelperPath("instf_regexe.exe"), src + "\\regexe.exe");
  CopyTo(HelperPath("instf_plaindll.dll"), src + "\\plain.dll");
  TTestForm form(Scratch("ax\\files.1"), dest);
  TInstallFileGroup* group = form.Group("Group", form.Driver);
  TInstallFile* dll = form.File("ComDll", group, src, "comdll.dll");
  TInstallFile* exe = form.File("RegExe", group, src, "regexe.exe");
  // The library's version information asks for self-registration.
  EXPECT_TRUE(dll->ActiveX());
  EXPECT_EQ(dll->FileType(), iftSystemWideDLL);
  EXPECT_FALSE(exe->ActiveX());
  exe->SetActiveX(true);
  for (TInstallFile* f : {dll, exe}) {
    f->SetFileType(iftNormal);
    f->SetUpdateDLLCounter(false);
    f->SetDestDirType(FindStandardPathSpecifier<TpsContainerDestDir>());
    f->SetDestDir("");
  }
  form.Driver->Compress(0);
  std::string before = GetCurrentDir();
  form.Driver->SetState(fcsInstall);
  EXPECT_EQ(GetCurrentDir(), before);
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, "\\Software\\MorvaneTest\\ComDll", "CurrentDir", ""), dest);
  // The program registers itself on its own time.
  std::string exeDir;
  for (int i = 0; i < 200 && exeDir.empty(); ++i) {
    Sleep(50);
    exeDir = ReadRegistryString(hkCurrentUser, "\\Software\\MorvaneTest\\ComExe", "CurrentDir", "");
  }
  EXPECT_EQ(exeDir, dest);
  std::string sub = std::string(kUninstallKey) + "\\ActiveX";
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, sub, "Entries", ""), "2");
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, sub, "File1", ""), "1;" + dest + "\\comdll.dll");
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, sub, "File2", ""), "0;" + dest + "\\regexe.exe");

  // Without a registration entry: queued during a run, an error outside.
  TInstallFile* plain = form.File("Plain", group, src, "plain.dll");
  plain->SetActiveX(true);
  plain->SetDestDirType(FindStandardPathSpecifier<TpsContainerDestDir>());
  plain->SetUpdateDLLCounter(false);
  dll->SetInclude(false);
  exe->SetInclude(false);
  form.Driver->Compress(0);
  form.Driver->Running = true;
  form.Driver->SetState(fcsInstall);
  EXPECT_EQ(ActiveXQueue(), std::vector<TCustomInstallFile*>{plain});
  // The driver's second try after the tree ends the run.
  EXPECT_THROW(RegisterActiveXQueue(), IECustomInstallFile);
  form.Driver->Running = false;
  std::string message = MessageOf<IECustomInstallFile>([&] { form.Driver->SetState(fcsInstall); });
  EXPECT_TRUE(Contains(message, "because the DllRegisterServer function could not be found. The file component is "
                                "Plain")) << message;
  EXPECT_EQ(GetCurrentDir(), before);
}

// The build side: web parts, copies, stale archives and the object
// repository of a development environment.
TEST_F(InstallFiles, BuildSideWritesPartsCopiesAndRepository) {
  std::string dest = Scratch("build\\Program Files Test");
  std::string src = Scratch("build\\src");
  std::string web = Scratch("build\\web");
  MakeDirs(src);
  MakeDirs(dest);
  for (const char* n : {"one.txt", "two.txt", "three.txt"}) WriteFileText(src + "\\" + n, std::string(n) + " text");
  TTestForm form(Scratch("build\\dist\\files.1"), dest);
  form.Driver->NetworkPath = web;
  TInstallFileGroup* group = form.Group("Group", form.Driver);
  TInstallFile* own = form.File("Own", group, src, "one.txt");
  own->SetOverwriteMode(owDate);
  TInstallFile* shared1 = form.File("Shared1", group, src, "two.txt");
  TInstallFile* shared2 = form.File("Shared2", group, src, "three.txt");
  {
    TInstallFile again(nullptr);
    again.SetName("Again");
    again.SetIncludeFromDir(src);
    again.SetFileName("TWO.TXT");
    EXPECT_EQ(MessageOf<IEfcDuplicateFile>([&] { again.SetContainer(group); }),
              "There is already a file with the name :" + src + "\\TWO.TXT");
  }

  EXPECT_EQ(MessageOf<IEFileContainer>([&] { form.Driver->Compress(coForceFilesNet | coForceNetFilesLocal); }),
            "Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
  form.Driver->Compress(coForceFilesNet);
  EXPECT_TRUE(::FileExists(web + "\\Own.1"));
  EXPECT_TRUE(::FileExists(web + "\\Group.1"));
  EXPECT_FALSE(::FileExists(Scratch("build\\dist\\files.1")));
  TQnlwCompress reader(nullptr);
  reader.SetCompressedFile(web + "\\Group.1");
  EXPECT_EQ(reader.FileCount(), 2);
  EXPECT_TRUE(own->CompressedNet());
  form.Driver->Compress(coForceNetFilesLocal);
  EXPECT_TRUE(::FileExists(Scratch("build\\dist\\files.1")));
  EXPECT_FALSE(shared1->CompressedNet());

  // An archive held open cannot be deleted for the new build.
  {
    THolder holder(Scratch("build\\dist\\files.1"));
    EXPECT_EQ(MessageOf<IEFileContainer>([&] { form.Driver->Compress(coForceNetFilesLocal); }),
              "Group cannot delete the archive file " + Scratch("build\\dist\\files.1"));
  }

  int copied = 0, statuses = 0;
  group->OnStatus = [&](TObject*, TFileRelated*, TFileStatusParameter*) { ++statuses; };
  for (TInstallFile* f : {own, shared1, shared2}) f->OnAfterCopy = [&](TObject*, TFileRelated*) { ++copied; };
  shared2->SetInclude(false);
  form.Driver->Copy();
  for (TInstallFile* f : {own, shared1}) EXPECT_EQ(ReadText(f->DestPath()), ReadText(f->SourcePath()));
  EXPECT_FALSE(::FileExists(shared2->DestPath()));
  EXPECT_EQ(copied, 2);
  EXPECT_GT(statuses, 1);
  shared2->SetInclude(true);

  // The object repository of a development environment found through its
  // key below HKCU.
  std::string repoDir = Scratch("build\\ide");
  MakeDirs(repoDir);
  WriteFileText(repoDir + "\\Repository2.ini", "[Repository Pages]\r\nForms=\r\n");
  WriteRegistryString(hkCurrentUser, "\\Software\\Development Studio\\2.0\\repository", "BaseDir", repoDir);
  TObjectRepositoryEntry* entry = own->Repository()->Entry2();
  entry->Name = "Morvane Form";
  entry->Page = "Morvane";
  entry->Type = "FormTemplate";
  entry->Description = "A test form";
  entry->Author = "Tests";
  entry->Icon = "one.ico";
  entry->RegisterIt = true;
  own->Repository()->Entry3()->RegisterIt = true;  // no such environment: ignored
  form.Driver->SetState(fcsInstall);
  std::string ini = ReadText(repoDir + "\\Repository2.ini");
  EXPECT_TRUE(Contains(ini, "Morvane=")) << ini;
  EXPECT_TRUE(Contains(ini, "[" + dest + "\\one]")) << ini;
  EXPECT_TRUE(Contains(ini, "Name=Morvane Form")) << ini;
  EXPECT_TRUE(Contains(ini, "Icon=" + dest + "\\one.ico")) << ini;
  own->Repository()->Entry3()->RaiseExceptionOnFailure = true;
  EXPECT_THROW(form.Driver->SetState(fcsInstall), Exception);
  DeleteRegistryKeyTree(hkCurrentUser, "\\Software\\Development Studio");
}

// An archive spread over two disks whose second part lies elsewhere: the
// user is asked for it through the message box unless a handler finds it.
TEST_F(InstallFiles, NextDiskIsAskedForOrFoundByAHandler) {
  std::string src = Scratch("disk\\src");
  std::string dest = Scratch("disk\\Program Files Test");
  std::vector<uint8_t> data(90000);
  std::mt19937 rng(5);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  MakeDirs(src);
  WriteFileBytes(src + "\\big.bin", data);
  std::string disk1 = Scratch("disk\\a"), disk2 = Scratch("disk\\b");
  MakeDirs(disk1);
  MakeDirs(disk2);
  TTestForm form(disk1 + "\\files.1", dest);
  TInstallFileGroup* group = form.Group("Group", form.Driver);
  TInstallFile* big = form.File("Big", group, src, "big.bin");
  {
    TTestForm build(Scratch("disk\\whole\\files.1"), dest);
    TInstallFileGroup* g = build.Group("Group", build.Driver);
    build.File("Big", g, src, "big.bin");
    build.Driver->Compress(0);
  }
  TSmallDiskCompress span(60000);
  span.SetCompressedFile(Scratch("disk\\whole\\files.1"));
  span.OnNewDisk = [](TQnlwCompress*, int, std::string&) {};
  span.SpanDisks(disk1, "files.1");
  ASSERT_TRUE(::FileExists(disk1 + "\\files.2"));
  ASSERT_TRUE(MoveFileA((disk1 + "\\files.2").c_str(), (disk2 + "\\files.2").c_str()));

  std::vector<std::string> asked;
  int answer = IDCANCEL;
  Application->MessageBoxFunction = [&](HWND, const std::string& text, const std::string&, UINT flags) {
    asked.push_back(text + ((flags & MB_OKCANCEL) ? " [ok/cancel]" : ""));
    return answer;
  };
  EXPECT_THROW(form.Driver->SetState(fcsInstall), EAIUserAbort);
  EXPECT_EQ(asked, std::vector<std::string>{"Please insert disk #2 [ok/cancel]"});
  EXPECT_FALSE(::FileExists(big->DestPath()));

  asked.clear();
  std::vector<std::string> seen;
  group->OnNewDisk = [&](TObject*, TFileRelated* file, int disk, std::string& path) {
    seen.push_back(file->Name() + " " + std::to_string(disk) + " " + path);
    path = disk2;
  };
  form.Driver->SetState(fcsInstall);
  Application->MessageBoxFunction = nullptr;
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(seen, std::vector<std::string>{"Big 2 " + disk1});
  EXPECT_EQ(ReadFileBytes(big->DestPath()), data);
}
