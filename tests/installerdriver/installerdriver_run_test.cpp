// Whole runs of a setup program (tests/tools/testsetup) in processes of
// their own: the message sequence and the good end, the bad ends, the
// reboot that Wine's restart processing continues with "-r", the loader's
// clean-up of its temporary copy, and the web distribution's file list read
// from real FTP and HTTP servers.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "../installerfiles/installerfiles_common.h"
#include "installrecords.h"
#include "kitroutines.h"
#include "languages.h"
#include "win/install.h"
#include "win/registry.h"

using namespace testsupport;

namespace {

const char kFtpHost[] = "127.0.34.21";
const char kHttpHost[] = "127.0.34.80";

std::string SetupExe() { return Join(BuildDir(), "tests\\tools\\testsetup\\testsetup.exe"); }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Position of the first line equal to (or starting with) what, or -1.
int Find(const std::vector<std::string>& lines, const std::string& what, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].compare(0, what.size(), what) == 0) return static_cast<int>(i);
  return -1;
}

std::vector<std::string> SubKeys(const std::string& key) {
  std::vector<std::string> names;
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!r.OpenKey(key, false)) return names;
  TStringList list;
  r.GetKeyNames(&list);
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
  return names;
}

// The record of the run of a setup file at path, or "".
std::string RecordOf(const std::string& path) {
  for (const std::string& n : SubKeys(InstallRecordsKey)) {
    std::string key = std::string(InstallRecordsKey) + "\\" + n;
    if (SameText(ReadRegistryString(hkLocalMachine, key, "Path", ""), path)) return key;
  }
  return "";
}

void DropRecords() {
  for (const std::string& n : SubKeys(InstallRecordsKey))
    DeleteRegistryKeyTree(hkLocalMachine, std::string(InstallRecordsKey) + "\\" + n);
}

void DropRunOnce() {
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!r.OpenKey(RunOnceKey, false)) return;
  TStringList names;
  r.GetValueNames(&names);
  for (int i = 0; i < names.Count(); ++i)
    if (names.Strings(i).rfind("Quenlow", 0) == 0) r.DeleteValue(names.Strings(i));
}

// A folder with sources, a distribution built from them by the setup
// program itself, and its destination.
struct SetupDir {
  explicit SetupDir(const std::string& name) : root(Join(ScratchDir(), name)), dist(root + "\\dist dir") {
    MakeDirs(root + "\\src");
    MakeDirs(dist);
    WriteFileText(root + "\\src\\a.txt", "file a, new");
    WriteFileText(root + "\\src\\b.txt", "file b, new");
    instf::CopyTo(instf::HelperPath("instf_comdll.dll"), root + "\\src\\comdll.dll");
    WriteFileText(root + "\\src\\held2.dat", "held two, new");
  }
  int Run(const std::string& which, const std::string& args, const std::string& exe = SetupExe()) {
    SetEnvironmentVariableA("MORVANE_SETUP_ROOT", root.c_str());
    SetEnvironmentVariableA("MORVANE_SETUP_CASE", which.c_str());
    return RunWindows(Quoted(exe) + " " + args);
  }
  // The distribution's arguments.
  std::string Source() const { return Quoted("-s" + dist); }
  std::string LogText() const {
    auto bytes = ReadFileBytes(root + "\\log.txt");
    return std::string(bytes.begin(), bytes.end());
  }
  std::vector<std::string> Log() const { return Lines(LogText()); }
  void ClearLog() const { DeleteFileA((root + "\\log.txt").c_str()); }
  std::string Dest(const std::string& rel) const { return root + "\\dest\\" + rel; }
  std::string root, dist;
};

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms; waited += 100) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

std::string Text(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// The good end with its message sequence, then the two bad ends: the user's
// abort (no error shown) and any other failure (shown, then terminated).
TEST(InstallRun, GoodEndAndBadEnds) {
  DropRecords();
  DropRunOnce();
  SetupDir s("ends");
  ASSERT_EQ(s.Run("compress", s.Source()), 0);
  ASSERT_TRUE(::FileExists(s.dist + "\\files.1")) << s.LogText();
  bool othersBefore = !SubKeys(InstallRecordsKey).empty();

  s.ClearLog();
  ASSERT_EQ(s.Run("plain", s.Source()), 0);
  auto log = s.Log();
  const std::string text = s.LogText();
  // Reading the file information, the start of the run, the tree, the end.
  std::vector<std::string> order = {"msg -984", "msg -974 Reading file information...", "msg -973", "msg -983",
                                    "start",    "msg -986", "msg -976", "msg -975", "msg -982", "msg -981",
                                    "msg -977", "msg -980", "file FileA", "file FileB", "file ComDll",
                                    "file Held2", "good", "msg -995", "msg -979", "terminate", "exit"};
  int at = 0;
  for (const std::string& step : order) {
    int next = Find(log, step, static_cast<size_t>(at));
    ASSERT_GE(next, 0) << step << "\n" << text;
    at = next + 1;
  }
  EXPECT_EQ(Find(log, "box"), -1) << text;
  EXPECT_EQ(Find(log, "msg -987"), -1) << text;
  EXPECT_EQ(Text(s.Dest("one\\a.txt")), "file a, new");
  EXPECT_EQ(Text(s.Dest("two\\held2.dat")), "held two, new");
  // The record of the run is gone, and the vendor's keys with it when
  // nothing else was recorded.
  EXPECT_EQ(RecordOf(SetupExe()), "");
  if (!othersBefore) {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(r.KeyExists(InstallRecordsKey));
    EXPECT_FALSE(r.KeyExists(QuenlowKey));
  }
  // A product folder run without the loader's "-c": no clean-up at all.
  EXPECT_EQ(Find(log, "cleanup"), -1) << text;

  // The user cancels: the bad end and the clean-ups, no message.
  s.ClearLog();
  ASSERT_EQ(s.Run("abort", s.Source()), 0);
  log = s.Log();
  EXPECT_GE(Find(log, "file FileB"), 0) << s.LogText();
  EXPECT_GE(Find(log, "bad"), 0) << s.LogText();
  EXPECT_GE(Find(log, "msg -994"), Find(log, "bad")) << s.LogText();
  EXPECT_GE(Find(log, "msg -978"), Find(log, "msg -994")) << s.LogText();
  EXPECT_GE(Find(log, "terminate"), 0) << s.LogText();
  EXPECT_EQ(Find(log, "box"), -1) << s.LogText();
  EXPECT_EQ(Find(log, "good"), -1) << s.LogText();
  EXPECT_EQ(Find(log, "file ComDll"), -1) << s.LogText();
  EXPECT_EQ(RecordOf(SetupExe()), "");

  // Any other failure: the bad end, its message, termination; the record
  // stays for the next try.
  s.ClearLog();
  ASSERT_EQ(s.Run("fail", s.Source()), 0);
  log = s.Log();
  int bad = Find(log, "bad");
  EXPECT_GE(bad, 0) << s.LogText();
  EXPECT_GT(Find(log, "box The disk is on fire."), bad) << s.LogText();
  EXPECT_GT(Find(log, "terminate"), bad) << s.LogText();
  EXPECT_EQ(Find(log, "good"), -1) << s.LogText();
  EXPECT_NE(RecordOf(SetupExe()), "");
  DropRecords();
}

// Two files in use: one replaced by a delayed rename, one through the
// batch.  The run registers its continuation and asks for the restart
// (through the seam); Wine's restart processing carries out the rename and
// starts the "-r" run, which registers the deferred component and ends well.
TEST(InstallRun, RebootIsContinuedByWinesRestartProcessing) {
  DropRecords();
  DropRunOnce();
  SetupDir s("reboot");
  ASSERT_EQ(s.Run("compress", s.Source()), 0);
  MakeDirs(s.Dest("two"));
  instf::CopyTo(instf::HelperPath("instf_plaindll.dll"), s.Dest("two\\comdll.dll"));
  WriteFileText(s.Dest("two\\held2.dat"), "held two, old");
  {
    TRegistry r;
    r.SetRootKey(HKEY_CURRENT_USER);
    r.DeleteKey("\\Software\\MorvaneTest\\ComDll");
  }

  const std::string kContinue = Quoted(SetupExe()) + " -r -s" + Quoted(ExtractFileDir(SetupExe()));
  std::string runKey;
  std::string batch;
  {
    instf::THolder holdDll(s.Dest("two\\comdll.dll"));
    instf::THolder holdData(s.Dest("two\\held2.dat"));
    s.ClearLog();
    ASSERT_EQ(s.Run("reboot", s.Source()), 0);
    auto log = s.Log();
    const std::string text = s.LogText();
    int ask = Find(log, "msg -987");
    ASSERT_GE(ask, 0) << text;
    EXPECT_GT(Find(log, "reboot?"), ask) << text;
    EXPECT_GT(Find(log, "shutdown"), Find(log, "reboot?")) << text;
    EXPECT_EQ(Find(log, "good"), -1) << text;
    EXPECT_EQ(Find(log, "box"), -1) << text;

    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey(RunOnceKey, false));
    // The line names the setup program's own folder: the run after the
    // restart only needs to find its record again.
    EXPECT_EQ(r.ReadString("QuenlowUnfinished"), kContinue);
    r.CloseKey();
    runKey = RecordOf(SetupExe());
    ASSERT_NE(runKey, "");
    EXPECT_EQ(ReadRegistryInteger(hkLocalMachine, runKey, "Language", -1), static_cast<int>(qlGerman));
    ASSERT_TRUE(r.OpenKey(runKey + "\\Unfinished", false));
    TStringList names;
    r.GetValueNames(&names);
    // Both deferred files, and the batch of the one without a delayed rename.
    ASSERT_EQ(names.Count(), 3);
    for (int i = 0; i < names.Count(); ++i) {
      if (names.Strings(i) == "ComDll" || names.Strings(i) == "Held2") {
        EXPECT_EQ(r.ReadString(names.Strings(i)), "0");
      } else {
        batch = names.Strings(i);
        EXPECT_EQ(r.ReadString(batch), "1");
      }
    }
    ASSERT_TRUE(::FileExists(batch)) << batch;
    // The registration waits for the restart.
    EXPECT_FALSE(r.KeyExists("\\Software\\MorvaneTest\\ComDll"));
  }

  s.ClearLog();
  ASSERT_EQ(RunWindows("wineboot.exe -r"), 0);
  ASSERT_TRUE(WaitFor([&] { return Find(s.Log(), "exit") >= 0; }, 60000)) << s.LogText();
  auto log = s.Log();
  EXPECT_GE(Find(log, "begin -r -s" + ExtractFileDir(SetupExe())), 0) << s.LogText();
  EXPECT_GE(Find(log, "good lang=" + std::to_string(int(qlGerman))), 0) << s.LogText();
  EXPECT_EQ(Find(log, "box"), -1) << s.LogText();
  EXPECT_EQ(ReadFileBytes(s.Dest("two\\comdll.dll")), ReadFileBytes(instf::HelperPath("instf_comdll.dll")));
  EXPECT_EQ(ReadRegistryString(hkCurrentUser, "\\Software\\MorvaneTest\\ComDll", "CurrentDir", ""), s.Dest("two"));
  EXPECT_FALSE(::FileExists(batch));
  EXPECT_EQ(RecordOf(SetupExe()), "");
  {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey(RunOnceKey, false));
    EXPECT_FALSE(r.ValueExists("QuenlowUnfinished"));
  }

  // A restart declined by the program: no good end, and the line that
  // finishes the installation at the next start stays.
  s.ClearLog();
  ASSERT_EQ(s.Run("decline", s.Source()), 0);
  log = s.Log();
  EXPECT_GE(Find(log, "reboot?"), 0) << s.LogText();
  EXPECT_EQ(Find(log, "shutdown"), -1) << s.LogText();
  EXPECT_EQ(Find(log, "good"), -1) << s.LogText();
  EXPECT_EQ(Find(log, "terminate"), -1) << s.LogText();
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, RunOnceKey, "QuenlowUnfinished", ""), kContinue);
  DropRunOnce();
  DropRecords();
}

// The loader's temporary copy ("-c") in a temporary folder whose name has
// blanks: after the good end the copy and its folder go, once the program
// has ended.  A "-c" run from a product folder erases only the program.
TEST(InstallRun, LoaderCopyIsCleanedUpAfterTheGoodEnd) {
  DropRecords();
  SetupDir s("loader");
  ASSERT_EQ(s.Run("compress", s.Source()), 0);
  // The distribution's own file, which the loader names with "-c".
  instf::CopyTo(SetupExe(), s.dist + "\\setup.exe");

  const std::string temp = s.root + "\\temp dir";
  const std::string copyDir = temp + "\\ldr copy";
  instf::CopyTo(SetupExe(), copyDir + "\\testsetup.exe");
  WriteFileText(copyDir + "\\readme.txt", "extracted beside the setup program");
  const std::string productDir = s.root + "\\product dir";
  instf::CopyTo(SetupExe(), productDir + "\\testsetup.exe");
  WriteFileText(productDir + "\\readme.txt", "a product's own file");

  char savedTemp[MAX_PATH] = {}, savedTmp[MAX_PATH] = {};
  GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH);
  GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH);
  SetEnvironmentVariableA("TEMP", temp.c_str());
  SetEnvironmentVariableA("TMP", temp.c_str());

  s.ClearLog();
  EXPECT_EQ(s.Run("plain", s.Source() + " -csetup.exe", copyDir + "\\testsetup.exe"), 0);
  auto log = s.Log();
  EXPECT_GE(Find(log, "good"), 0) << s.LogText();
  EXPECT_GT(Find(log, "cleanup"), Find(log, "good")) << s.LogText();
  // The record is of the distribution's file, not of the copy, and is gone.
  EXPECT_EQ(RecordOf(s.dist + "\\setup.exe"), "");
  EXPECT_TRUE(WaitFor([&] { return !DirectoryExists(copyDir); }, 30000)) << "the copy's folder stays";
  // The batch erased itself too.
  EXPECT_TRUE(WaitFor(
      [&] {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((temp + "\\*.bat").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return true;
        FindClose(h);
        return false;
      },
      10000));
  EXPECT_TRUE(DirectoryExists(temp));

  s.ClearLog();
  EXPECT_EQ(s.Run("plain", s.Source() + " -csetup.exe", productDir + "\\testsetup.exe"), 0);
  EXPECT_GE(Find(s.Log(), "cleanup"), 0) << s.LogText();
  EXPECT_TRUE(WaitFor([&] { return !::FileExists(productDir + "\\testsetup.exe"); }, 30000));
  Sleep(500);
  EXPECT_TRUE(DirectoryExists(productDir));
  EXPECT_FALSE(::FileExists(productDir + "\\readme.txt"));

  SetEnvironmentVariableA("TEMP", savedTemp);
  SetEnvironmentVariableA("TMP", savedTmp);
  DropRecords();
}

// A web distribution: the run reads "filelist.lst" from the server (the
// files get their sizes and versions from it) and downloads the parts.  A
// cut list and one with a negative size end badly, with the status and the
// cursor given back.
TEST(InstallRun, WebFileListIsReadFromTheServer) {
  DropRecords();
  SetupDir s("web");
  SetEnvironmentVariableA("MORVANE_SETUP_HOST", kHttpHost);
  SetEnvironmentVariableA("MORVANE_SETUP_PROTOCOL", "http");
  ASSERT_EQ(s.Run("webcompress", s.Source()), 0);
  for (const char* part : {"Group1.1", "Group2.1"}) ASSERT_TRUE(::FileExists(s.dist + "\\" + part)) << part;

  std::vector<TRemoteFileRecord> records;
  const char* names[][2] = {{"FileA", "a.txt"}, {"FileB", "b.txt"}, {"ComDll", "comdll.dll"}, {"Held2", "held2.dat"}};
  int n = 0;
  for (auto& name : names) {
    TRemoteFileRecord r;
    r.Name = UpperCase(name[0]);  // matched case-free
    const std::string src = s.root + "\\src\\" + name[1];
    r.Size = static_cast<int32_t>(ReadFileBytes(src).size());
    r.Date = FileDateToDateTime(FileAge(src));
    r.Version = "1.0.0." + std::to_string(++n);
    records.push_back(r);
  }
  auto writeList = [&](const std::string& bytes) {
    WriteFileBytes(s.dist + "\\filelist.lst", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  };
  writeList(EncodeRemoteFileList(records));

  PeerServer http("lighttpd", kHttpHost, 80, s.dist);
  PeerServer ftp("ftp", kFtpHost, 21, s.dist);
  s.ClearLog();
  ASSERT_EQ(s.Run("web", s.Source()), 0);
  auto log = s.Log();
  EXPECT_GE(Find(log, "info FileA 11 1.0.0.1"), 0) << s.LogText();
  EXPECT_GE(Find(log, "info Held2 13 1.0.0.4"), 0) << s.LogText();
  EXPECT_GE(Find(log, "good"), 0) << s.LogText();
  EXPECT_EQ(Text(s.Dest("one\\b.txt")), "file b, new");
  EXPECT_EQ(Text(s.Dest("two\\held2.dat")), "held two, new");
  // The server writes its log a little later.
  EXPECT_TRUE(WaitFor([&] { return CountOf(http.Log(), "/Group2.1") == 1; }, 10000)) << http.Log();
  EXPECT_EQ(CountOf(http.Log(), "/filelist.lst"), 1) << http.Log();

  auto badEnd = [&](const std::string& why) {
    auto lines = s.Log();
    const std::string text = s.LogText();
    int push = Find(lines, "msg -974 Reading file information...");
    int pop = Find(lines, "msg -973");
    int bad = Find(lines, "bad cursor=0");
    EXPECT_GE(push, 0) << why << "\n" << text;
    EXPECT_GT(pop, push) << why << "\n" << text;
    EXPECT_GT(bad, pop) << why << "\n" << text;
    EXPECT_GT(Find(lines, "box Cannot read the remote list of files: "), bad) << why << "\n" << text;
    EXPECT_EQ(Find(lines, "start"), -1) << why << "\n" << text;
    EXPECT_EQ(Find(lines, "good"), -1) << why << "\n" << text;
  };
  // A list cut inside its last record, over FTP.
  std::string whole = EncodeRemoteFileList(records);
  writeList(whole.substr(0, whole.size() - 30));
  SetEnvironmentVariableA("MORVANE_SETUP_HOST", kFtpHost);
  SetEnvironmentVariableA("MORVANE_SETUP_PROTOCOL", "ftp");
  s.ClearLog();
  ASSERT_EQ(s.Run("web", s.Source()), 0);
  badEnd("cut list");
  EXPECT_NE(ftp.Log().find("filelist.lst"), std::string::npos) << ftp.Log();

  // A negative size, over HTTP.
  records[1].Size = -5;
  writeList(EncodeRemoteFileList(records));
  SetEnvironmentVariableA("MORVANE_SETUP_HOST", kHttpHost);
  SetEnvironmentVariableA("MORVANE_SETUP_PROTOCOL", "http");
  s.ClearLog();
  ASSERT_EQ(s.Run("web", s.Source()), 0);
  badEnd("negative size");
  DropRecords();
}

// A self-extracting distribution ("-e"): the file archive is read from
// inside the executable, behind the loader and the setup archive.
TEST(InstallRun, SelfExtractingDistributionInstallsFromInsideTheExecutable) {
  DropRecords();
  SetupDir s("selfextract");
  ASSERT_EQ(s.Run("compress", s.Source()), 0);
  const auto files = ReadFileBytes(s.dist + "\\files.1");
  ASSERT_FALSE(files.empty());
  std::vector<uint8_t> exe = RandomBytes(3000, 7);  // the loader
  TSelfExtractTrailer t;
  t.SetupStart = static_cast<int32_t>(exe.size());
  const auto setup1 = RandomBytes(1500, 8);
  exe.insert(exe.end(), setup1.begin(), setup1.end());
  t.SetupEnd = static_cast<int32_t>(exe.size()) - 1;
  t.FilesStart = static_cast<int32_t>(exe.size());
  exe.insert(exe.end(), files.begin(), files.end());
  t.FilesEnd = static_cast<int32_t>(exe.size()) - 1;
  const std::string trailer = EncodeSelfExtractTrailer(t);
  exe.insert(exe.end(), trailer.begin(), trailer.end());
  WriteFileBytes(s.dist + "\\SETUP.EXE", exe);
  DeleteFileA((s.dist + "\\files.1").c_str());

  s.ClearLog();
  ASSERT_EQ(s.Run("plain", s.Source() + " -eSETUP.EXE"), 0);
  EXPECT_GE(Find(s.Log(), "good"), 0) << s.LogText();
  EXPECT_EQ(Text(s.Dest("one\\a.txt")), "file a, new");
  EXPECT_EQ(ReadFileBytes(s.Dest("two\\comdll.dll")), ReadFileBytes(instf::HelperPath("instf_comdll.dll")));

  // Another program named with "-e": refused before anything is installed.
  WriteFileBytes(s.dist + "\\OTHER.EXE", RandomBytes(5000, 9));
  s.ClearLog();
  ASSERT_EQ(s.Run("plain", s.Source() + " -eOTHER.EXE"), 0);
  auto log = s.Log();
  EXPECT_GE(Find(log, "box Could not read the extraction info from the archive file " + s.dist + "\\OTHER.EXE"), 0)
      << s.LogText();
  EXPECT_EQ(Find(log, "file FileA"), -1) << s.LogText();
  DropRecords();
}
