// How a run of the setup program ends when it does not simply run
// through: the user cancels the copy, the process is killed in the middle
// of a file, a folder in the way stops it, the Start-menu folder typed on
// its page is unusable, the arguments or the archive are bad.  Each case
// runs the distribution that setup_dist_test built (or the bare setup
// program) as a process, answers its windows as a user does, and reads
// back what it left: the exit code, the files, the uninstall entry and the
// loader's temporary copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "compress.h"
#include "installregistry.h"
#include "setup_test_common.h"
#include "sysutils.h"
#include "test_support.h"

using namespace testsupport;
using namespace setuptest;

namespace {

const char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Tapmend";
const char kCopyCaption[] = "Copying installation files";

std::string Dest() { return setuptest::ProgramFilesFolder() + "\\Morvane32"; }

void RemoveInstallation() {
  RemoveTree(Dest());
  RemoveTree(setuptest::ProgramsFolder() + "\\Morvane");
  DeleteFileA((setuptest::DesktopFolder() + "\\Tapmend.LNK").c_str());
  DeleteRegistryKeyTree(hkClassesRoot, "\\morvane");
  DeleteRegistryKeyTree(hkClassesRoot, "\\.utp");
  DeleteRegistryKeyTree(hkLocalMachine, kUninstallKey);
  DeleteRegistryKeyTree(hkLocalMachine, "\\SOFTWARE\\Quenlow");
}

// Every file below the program folder, relative to it.
std::vector<std::string> Installed() {
  std::vector<std::string> files;
  if (DirectoryExists(Dest())) ListFiles(Dest(), "", files);
  return files;
}

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + "\n";
  return s;
}

// The source of each file the setup installs, by its name in the program
// folder.
std::string SourceOf(const std::string& installed) {
  const std::string name = UpperCase(installed);
  if (name == "MORVANE32.EXE") return Join(BuildDir(), "app\\Morvane32.exe");
  if (name == "WENDLE.EXE") return Join(BuildDir(), "tests\\tools\\applierstandin\\Wendle.exe");
  if (name == "WENDL32.EXE") return Join(BuildDir(), "tests\\tools\\applierstandin\\Wendl32.exe");
  if (name == "UNINSTALL.EXE") return Join(BuildDir(), "tests\\tools\\uninstall\\uninstall.exe");
  return Join(SourceDir(), installed);
}

// Every file in the program folder is a whole copy of its source: nothing
// half-written under its own name or beside it.
void ExpectOnlyWholeFiles(const std::string& when) {
  for (const std::string& f : Installed()) {
    EXPECT_EQ(std::string::npos, f.find(".~")) << when << ": a partial file " << f;
    if (f.find(".~") != std::string::npos) continue;
    EXPECT_EQ(ReadFileBytes(SourceOf(f)), ReadFileBytes(Join(Dest(), f))) << when << ": " << f;
  }
}

std::string RegValue(const std::string& name) { return ReadRegistryString(hkLocalMachine, kUninstallKey, name, ""); }

// The program that shows a window.
DWORD ProcessOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

// One run of a setup program, driven through its windows.
class TSetupRun {
 public:
  explicit TSetupRun(const std::string& commandLine) : process_(commandLine) {}

  // The wizard page with this caption once it is up and painted; null
  // when a message box or the end of the program came instead.
  HWND Page(const std::string& caption, int ms = 60000) {
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
      if (HWND w = FindTopWindow(caption)) {
        PumpFor(300);
        return w;
      }
      if (!MessageBoxTexts().empty() || !process_.Running()) break;
      PumpFor(30);
    }
    Screenshot("setup_ends_no_page");
    ADD_FAILURE() << "no page \"" << caption << "\"; message boxes: " << MessageBoxTexts();
    return nullptr;
  }

  // Presses a button of the page and waits until the page has changed; a
  // click that comes while the page is still changing is given again.
  void Press(HWND frame, const char* button) {
    char before[256] = {};
    GetWindowTextA(frame, before, sizeof before);
    auto gone = [&] {
      char now[256] = {};
      return !IsWindow(frame) || !IsWindowVisible(frame) || !GetWindowTextA(frame, now, sizeof now) ||
             std::string(now) != before || !MessageBoxTexts().empty();
    };
    for (int attempt = 0; attempt < 5 && !gone(); ++attempt) {
      HWND b = FindChild(frame, "", button);
      ASSERT_TRUE(b && IsWindowEnabled(b)) << button << " on " << before;
      ASSERT_TRUE(ClickButton(b)) << button;
      for (int i = 0; i < 200 && !gone() && process_.Running(); ++i) PumpFor(10);
    }
    EXPECT_TRUE(gone()) << button << " on " << before;
  }

  // Welcome, components, folder: each with Next.
  void ToTheCopy() {
    for (const char* caption : {"Welcome", "Select components to install", "Select folder in start menu"}) {
      HWND frame = Page(caption);
      ASSERT_TRUE(frame) << caption;
      Press(frame, "Next >");
    }
  }

  // The message box that comes within ms: its texts, after answering it
  // with its only button.  "" when none came.
  std::string AnswerMessageBox(int ms = 60000) {
    std::string text;
    if (!WaitUntil([&] { return !(text = MessageBoxTexts()).empty() || !process_.Running(); }, ms)) return "";
    if (text.empty()) return "";
    PumpFor(200);
    text = MessageBoxTexts();
    HWND box = nullptr;
    EnumWindows(
        [](HWND w, LPARAM p) {
          char cls[64] = {};
          GetClassNameA(w, cls, sizeof cls);
          if (IsWindowVisible(w) && std::string(cls) == "#32770") {
            *reinterpret_cast<HWND*>(p) = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&box));
    HWND ok = box ? FindChild(box, "Button", "OK") : nullptr;
    EXPECT_TRUE(ok) << text;
    if (ok) ClickButton(ok);
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    return text;
  }

  // The last page and the exit code.
  int Finish(const char* lastPage) {
    if (HWND frame = Page(lastPage)) {
      Screenshot(std::string("setup_ends_") + lastPage);
      Press(frame, "Finish");
    }
    return process_.Wait(60000);
  }

  int Wait(int ms = 60000) { return process_.Wait(ms); }
  bool Running() const { return process_.Running(); }

 private:
  TProcess process_;
};

std::string DistSetup() { return "\"" + Join(DistDir(), "setup.exe") + "\""; }

// A whole good run: every page with Next, then Finish; the exit code.
int InstallThroughout() {
  TSetupRun run(DistSetup());
  run.ToTheCopy();
  int code = run.Finish("Setup complete");
  EXPECT_EQ("", MessageBoxTexts());
  return code;
}

// The uninstaller the uninstall entry names, run to its end; then the
// program folder must go with everything in it.
void UninstallAndExpectNothingLeft() {
  const std::string command = RegValue("UninstallString");
  ASSERT_FALSE(command.empty()) << "no uninstaller registered";
  {
    TProcess uninstall(command);
    EXPECT_EQ(0, uninstall.Wait(60000));
  }
  EXPECT_TRUE(WaitUntil([] { return !DirectoryExists(Dest()); }, 15000)) << Joined(Installed());
  EXPECT_FALSE(DirectoryExists(setuptest::ProgramsFolder() + "\\Morvane"));
}

class SetupEnds : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveInstallation();
    loaderFolders_ = LoaderFolders();
  }
  void TearDown() override {
    RemoveInstallation();
    // A killed run's copy has nobody to take it away.
    for (const std::string& f : LoaderFolders())
      if (!loaderFolders_.count(f)) RemoveTree(f);
  }
  // True once every loader folder made since the test began is gone.
  bool LoaderCopiesGone(int ms) {
    return WaitUntil(
        [&] {
          for (const std::string& f : LoaderFolders())
            if (!loaderFolders_.count(f)) return false;
          return true;
        },
        ms);
  }
  std::set<std::string> loaderFolders_;
};

}  // namespace

// Cancel on the copy window the moment it shows: the copy stops at once,
// the run ends on "Setup incomplete" with the code of a cancelled run, no
// part of the file that was being copied is left, and a second run
// installs everything whole.
TEST_F(SetupEnds, CancelDuringTheCopyStopsItAndASecondRunInstallsCleanly) {
  {
    TSetupRun run(DistSetup());
    run.ToTheCopy();
    HWND copy = WaitForTopWindow(kCopyCaption, 60000);
    ASSERT_TRUE(copy) << MessageBoxTexts();
    // The copy window answers while it copies.
    DWORD_PTR result = 0;
    int answered = 0;
    for (int i = 0; i < 5; ++i)
      if (SendMessageTimeoutA(copy, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result)) ++answered;
    HWND cancel = nullptr;
    WaitUntil([&] { return (cancel = FindChild(copy, "", "Cancel")) != nullptr; }, 3000);
    ASSERT_TRUE(cancel && IsWindowEnabled(cancel));
    ASSERT_TRUE(ClickButton(cancel));
    const DWORD clicked = GetTickCount();
    // Handled while the window shows: it goes within a moment of the click.
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(copy) || !IsWindowVisible(copy); }, 2000))
        << "the copy window stayed " << GetTickCount() - clicked << " ms after Cancel";
    std::cout << "copy window gone " << GetTickCount() - clicked << " ms after Cancel\n";
    EXPECT_EQ(1, run.Finish("Setup incomplete"));
    EXPECT_EQ("", MessageBoxTexts()) << "a cancel is no error";
    std::cout << "copy window answered " << answered << " of 5 pings\n";
    EXPECT_GE(answered, 4);
  }
  ExpectOnlyWholeFiles("after the cancel");
  EXPECT_LT(Installed().size(), 14u) << "the copy ran to its end";
  EXPECT_TRUE(LoaderCopiesGone(15000));

  EXPECT_EQ(0, InstallThroughout());
  ExpectOnlyWholeFiles("after the second run");
  EXPECT_EQ(14u, Installed().size()) << Joined(Installed());
  UninstallAndExpectNothingLeft();
}

// A run killed in the middle of the first file leaves that file's partial
// copy; the next install takes it away, so that the uninstall leaves the
// program folder empty and removes it.
TEST_F(SetupEnds, AKilledRunsPartialFileGoesWithTheNextInstall) {
  const std::string partial = Join(Dest(), "Morvane32.exe.~0");
  {
    TSetupRun run(DistSetup());
    run.ToTheCopy();
    HWND copy = WaitForTopWindow(kCopyCaption, 60000);
    ASSERT_TRUE(copy) << MessageBoxTexts();
    const DWORD pid = ProcessOf(copy);
    ASSERT_TRUE(WaitUntil([&] { return testsupport::FileExists(partial); }, 30000)) << Joined(Installed());
    HANDLE setup = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_TRUE(setup);
    TerminateProcess(setup, 99);
    WaitForSingleObject(setup, 10000);
    CloseHandle(setup);
    run.Wait(20000);
  }
  ASSERT_TRUE(testsupport::FileExists(partial)) << "nothing ended the kill: the partial copy stays";

  EXPECT_EQ(0, InstallThroughout());
  ExpectOnlyWholeFiles("after the next install");
  EXPECT_EQ(14u, Installed().size()) << Joined(Installed());
  UninstallAndExpectNothingLeft();
}

// A file where the help pages' folder must go stops the run inside the
// help group, after the programs: the run says so, ends with the code of
// a failure, takes the loader's copy away and leaves the uninstaller
// registered for what it installed, which then removes it all.
TEST_F(SetupEnds, AFailedRunRegistersItsUninstallerAndRemovesTheLoadersCopy) {
  MakeDirs(Dest());
  WriteFileText(Join(Dest(), "help"), "a file where the folder goes");
  {
    TSetupRun run(DistSetup());
    run.ToTheCopy();
    ASSERT_TRUE(run.Page("Setup incomplete"));
    HWND frame = FindTopWindow("Setup incomplete");
    run.Press(frame, "Finish");
    const std::string complaint = run.AnswerMessageBox();
    EXPECT_NE(std::string::npos, complaint.find("help")) << complaint;
    EXPECT_EQ(2, run.Wait());
  }
  for (const char* program : {"Morvane32.exe", "Wendle.exe", "Wendl32.exe"})
    EXPECT_TRUE(testsupport::FileExists(Join(Dest(), program))) << program;
  EXPECT_EQ("Morvane Tapmend", RegValue("DisplayName"));
  EXPECT_EQ("\"" + Dest() + "\\uninstall.exe\" Morvane Tapmend", RegValue("UninstallString"));
  EXPECT_TRUE(LoaderCopiesGone(15000)) << "the loader's temporary copy stayed";

  const std::string command = RegValue("UninstallString");
  ASSERT_FALSE(command.empty());
  {
    TProcess uninstall(command);
    EXPECT_EQ(0, uninstall.Wait(60000));
  }
  // Only what was in the way before the run is left.
  EXPECT_TRUE(WaitUntil([] { return Installed() == std::vector<std::string>{"help"}; }, 15000))
      << Joined(Installed());
  EXPECT_TRUE(ReadRegistryString(hkLocalMachine, kUninstallKey, "UninstallString", "").empty());
}

// The Start-menu folder page keeps the user from a folder outside the
// Programs folder and from a name no folder can have, with a message,
// before anything is installed.
TEST_F(SetupEnds, TheFolderPageRefusesAFolderThatLeavesTheProgramsOrCannotBe) {
  const std::string escaped = "C:\\Escaped";
  RemoveTree(escaped);
  TSetupRun run(DistSetup());
  for (const char* caption : {"Welcome", "Select components to install"}) {
    HWND frame = run.Page(caption);
    ASSERT_TRUE(frame) << caption;
    run.Press(frame, "Next >");
  }
  HWND frame = run.Page("Select folder in start menu");
  ASSERT_TRUE(frame);
  struct TCase {
    const char* Typed;
    const char* Said;
  };
  for (TCase c : {TCase{"..\\..\\..\\..\\..\\..\\..\\..\\Escaped", "outside the Programs folder"},
                  TCase{"Bad|Name?", "cannot be the name of a folder"}, TCase{"Tools\\..\\..\\Up", "outside"},
                  TCase{"C:\\Escaped", "outside"}, TCase{"Dots...", "cannot be the name"}}) {
    SCOPED_TRACE(c.Typed);
    std::vector<HWND> edits;
    EnumChildWindows(
        frame,
        [](HWND w, LPARAM p) {
          char cls[32] = {};
          GetClassNameA(w, cls, sizeof cls);
          if (IsWindowVisible(w) && lstrcmpiA(cls, "Edit") == 0) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&edits));
    ASSERT_FALSE(edits.empty());
    DWORD_PTR r = 0;
    SendMessageTimeoutA(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.Typed), SMTO_NORMAL, 5000, &r);
    HWND next = FindChild(frame, "", "Next >");
    ASSERT_TRUE(next);
    ClickButton(next);
    const std::string said = run.AnswerMessageBox(20000);
    EXPECT_NE(std::string::npos, said.find(c.Said)) << said;
    Screenshot("setup_ends_folder_refused");
    EXPECT_TRUE(IsWindowVisible(frame) && FindTopWindow("Select folder in start menu") == frame)
        << "the page went on";
    EXPECT_FALSE(FindTopWindow(kCopyCaption));
  }
  // The way out of the page cancels the setup.
  PostMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, run.Finish("Setup incomplete"));
  EXPECT_FALSE(DirectoryExists(Dest())) << Joined(Installed());
  EXPECT_FALSE(DirectoryExists(escaped));
  EXPECT_TRUE(ReadRegistryString(hkLocalMachine, kUninstallKey, "UninstallString", "").empty());
}

// Every end but a finished installation has a code of its own that is not
// 0, also through the loader of the self-extracting setup.exe; a damaged
// archive names the file and the damage.
TEST_F(SetupEnds, EveryFailedRunEndsWithANonZeroCode) {
  const std::string setup = Join(BuildDir(), "installer\\setup\\setup.exe");
  {
    TSetupRun run("\"" + setup + "\" -x");
    const std::string said = run.AnswerMessageBox();
    EXPECT_NE(std::string::npos, said.find("Invalid parameter <-x>")) << said;
    EXPECT_EQ(3, run.Wait());
  }
  {
    // No BUILD.INF beside the program.
    const std::string dir = Join(ScratchDir(), "nobuildinf");
    MakeDirs(dir);
    ASSERT_TRUE(CopyFileA(setup.c_str(), Join(dir, "setup.exe").c_str(), FALSE));
    TSetupRun run("\"" + Join(dir, "setup.exe") + "\" -b");
    const std::string said = run.AnswerMessageBox();
    EXPECT_NE(std::string::npos, said.find("BUILD.INF")) << said;
    EXPECT_EQ(2, run.Wait());
  }
  {
    // A source folder that does not exist.
    TSetupRun run("\"" + setup + "\" \"-s" + Join(ScratchDir(), "no such folder") + "\"");
    HWND frame = run.Page("Setup incomplete");
    ASSERT_TRUE(frame);
    run.Press(frame, "Finish");
    const std::string said = run.AnswerMessageBox();
    EXPECT_NE(std::string::npos, said.find("no such folder")) << said;
    EXPECT_EQ(2, run.Wait());
  }
  {
    // The self-extracting setup.exe with the first file's data damaged.
    const std::string dir = Join(ScratchDir(), "damaged");
    MakeDirs(dir);
    std::vector<uint8_t> exe = ReadFileBytes(Join(DistDir(), "setup.exe"));
    const std::vector<uint8_t> files = ReadFileBytes(Join(DistDir(), "files.1"));
    ASSERT_GT(exe.size(), files.size());
    // files.1 ends the executable, before the 56-byte trailer.
    const size_t filesStart = exe.size() - 56 - files.size();
    TQnlwCompress reader(nullptr);
    reader.SetCompressedFile(Join(DistDir(), "files.1"));
    int64_t dataStart = -1, dataSize = 0;
    for (int i = 0; i < reader.FileCount(); ++i) {
      TlzhFileStats stats;
      reader.GetFileStats(i, stats);
      if (SameText(ExtractFileName(stats.Header.SourcePath), "Morvane32.exe"))
        dataStart = stats.Header.DataStart, dataSize = stats.Header.CompressedSize;
    }
    ASSERT_GT(dataSize, 1000);
    // The program is the first file installed: its damage stops the run
    // before anything is in place.
    for (int64_t i = dataSize / 2; i < dataSize / 2 + 100; ++i) exe[filesStart + size_t(dataStart + i)] ^= 0x5A;
    WriteFileBytes(Join(dir, "setup.exe"), exe);
    TSetupRun run("\"" + Join(dir, "setup.exe") + "\"");
    run.ToTheCopy();
    ASSERT_TRUE(run.Page("Setup incomplete"));
    run.Press(FindTopWindow("Setup incomplete"), "Finish");
    const std::string said = run.AnswerMessageBox();
    EXPECT_NE(std::string::npos, said.find("Morvane32.exe")) << said;
    EXPECT_NE(std::string::npos, said.find("is damaged: error")) << said;
    EXPECT_EQ(2, run.Wait()) << "through the loader";
  }
  EXPECT_TRUE(Installed().empty()) << Joined(Installed());
  EXPECT_TRUE(LoaderCopiesGone(15000));
}
