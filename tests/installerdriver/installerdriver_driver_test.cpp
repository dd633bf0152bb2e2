// The install driver against Wine's registry: the command line through its
// seam at load time, the run records that find a setup file again, the
// unfinished list and the RunOnce line that continues after a reboot.
#include <gtest/gtest.h>

#include <memory>

#include "installregistry.h"
#include "kitroutines.h"
#include "languages.h"
#include "translator.h"
#include "gui_test_support.h"
#include "test_support.h"
#include "win/install.h"
#include "win/registry.h"

using namespace testsupport;

namespace {

template <class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no exception>";
}

void DropRecords() {
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  for (int n = 0; n < 10; ++n) r.DeleteKey(std::string(InstallRecordsKey) + "\\Install" + IntToStr(n));
}

// A setup form with the driver, loaded with the given arguments.
struct SetupForm {
  explicit SetupForm(std::vector<std::string> args, TInstallTypeSet types = {itAlways}) {
    InstallDriverSeams().Arguments = [args] { return args; };
    form.reset(new TForm(nullptr));
    driver = new TInstall(form.get());
    driver->SetName("Install1");
    driver->SetInstallTypes(types);
    driver->Loaded();
  }
  ~SetupForm() {
    // With "-c" the loader's clean-up batch erases the running program, and
    // here that is this test binary: a second run (a retry) would find no
    // program to start.  The batch is dropped before the driver starts it.
    if (driver && !driver->CleanupBatchPath().empty()) DeleteFileA(driver->CleanupBatchPath().c_str());
    form.reset();
    RunKeyPath().clear();
  }
  std::unique_ptr<TForm> form;
  TInstall* driver = nullptr;
};

TEST(InstallDriver, CommandLineAtLoad) {
  {
    SetupForm s({"-S", "-sC:\\Dir", "-cSETUP.EXE"});
    EXPECT_EQ(s.driver->SourceDirectory(), "C:\\Dir");
    EXPECT_EQ(s.driver->CommandLine().TextOf(clCopy), "SETUP.EXE");
    // Defaults of a new driver.
    EXPECT_EQ(s.driver->DestDir(), "\\MyApplication");
    EXPECT_EQ(s.driver->GroupName(), "Main");
    EXPECT_FALSE(s.driver->AllowChoice());
    EXPECT_EQ(s.driver->PasswordTries(), 3);
    EXPECT_EQ(s.driver->BuildInfo()->BuildDirectory, "c:\\build");
    EXPECT_THROW(s.driver->SetDistributeType(dtWeb), IEInstall);
    EXPECT_EQ(MessageOf([] { TInstall second(nullptr); }),
              "The TInstall component does not currently support the use of 2 TInstall components in the same project");
  }
  {
    SetupForm s({}, {itFull, itCompact});
    EXPECT_EQ(s.driver->CurrentInstallType(), itCompact);
    // Without "-s" the source is the program's own folder.
    EXPECT_EQ(s.driver->SourceDirectory(), ExcludeTrailingBackslash(ExtractFilePath(ParamStr(0))));
  }
  EXPECT_NE(MessageOf([] { SetupForm s({"-x"}); }).find("Invalid parameter <-x>. Valid command line parameters"),
            std::string::npos);
  EXPECT_NE(MessageOf([] { SetupForm s({"-"}); }).find("Invalid parameter <->"), std::string::npos);
  EXPECT_EQ(MessageOf([] { SetupForm s({"-d", "-s   "}); }),
            "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"");
  // "-r" continues at load time, and there is no record of a run to continue.
  EXPECT_EQ(MessageOf([] { SetupForm s({"-r"}); }),
            "The TInstall could not either write or read unfinished business from the registry");
  EXPECT_EQ(MessageOf([] { TComponent owner(nullptr); TInstall d(&owner); }),
            "The owner of the TInstall component must be a form");
}

TEST(InstallDriver, RunRecordsFindTheSetupFileAgain) {
  DropRecords();
  const std::string dir = Join(ScratchDir(), "records");
  MakeDirs(dir);
  const std::string exe = Join(dir, "setup.exe");
  WriteFileText(exe, "the loader's copy");
  {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    for (const char* n : {"Install0", "Install2"}) {
      ASSERT_TRUE(r.OpenKey(std::string(InstallRecordsKey) + "\\" + n, true));
      r.WriteString("Path", "C:\\other.exe");
      r.WriteFloat("CreationDate", 1.0);
      r.WriteInteger("Size", 1);
      r.CloseKey();
    }
  }
  // The loader names itself with "-c": the record is of the distribution's file.
  SetupForm s({"-s" + dir, "-csetup.exe"});
  EXPECT_TRUE(RunKeyPath().empty());  // a first run has no record at load
  EXPECT_EQ(s.driver->SetupProgramPath(), exe);
  std::string key;
  RunStartTime() = 40000.5;
  s.driver->RecordRun(true, key);
  EXPECT_EQ(key, std::string(InstallRecordsKey) + "\\Install1");
  RunStartTime() = 40001.5;
  std::string again;
  s.driver->RecordRun(false, again);
  EXPECT_EQ(again, key);
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(r.OpenKey(key, false));
  EXPECT_EQ(r.ReadFloat("LastRunDate"), 40001.5);
  EXPECT_EQ(r.ReadString("Path"), exe);
  EXPECT_EQ(r.ReadInteger("Size"), 17);
  EXPECT_FALSE(r.ValueExists("SelfExtract"));
  r.CloseKey();

  // A rebuilt setup has another date: a record of its own.
  const int rebuilt = (((2020 - 1980) << 9 | 1 << 5 | 2) << 16) | (3 << 11 | 4 << 5 | 3);  // 2020-01-02 03:04:06
  ASSERT_TRUE(FileSetDate(exe, rebuilt));
  s.driver->RecordRun(false, again);
  EXPECT_TRUE(again.empty());
  s.driver->RecordRun(true, again);
  EXPECT_EQ(again, std::string(InstallRecordsKey) + "\\Install3");
  DropRecords();
}

TEST(InstallDriver, UnfinishedListAndRunOnceLine) {
  DropRecords();
  const std::string dir = Join(ScratchDir(), "unfinished dir");
  MakeDirs(dir);
  WriteFileText(Join(dir, "SETUP.EXE"), "self-extracting setup");
  SetupForm s({"-s" + dir, "-eSETUP.EXE", "-cSETUP.EXE"});
  // Without a record, clearing has nothing to do; writing and reading fail.
  EXPECT_NO_THROW(s.driver->ClearUnfinished());
  const std::string msg = "The TInstall could not either write or read unfinished business from the registry";
  EXPECT_EQ(MessageOf([&] { s.driver->AddUnfinished("x", 1); }), msg);
  TStringList lines;
  EXPECT_EQ(MessageOf([&] { s.driver->ReadUnfinished(&lines); }), msg);

  s.driver->RecordRun(true, RunKeyPath());
  ASSERT_FALSE(RunKeyPath().empty());
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(r.OpenKey(RunKeyPath(), false));
  EXPECT_EQ(r.ReadString("SelfExtract"), IncludeTrailingBackslash(dir) + "SETUP.EXE");
  r.CloseKey();
  s.driver->AddUnfinished("C:\\a;b\\x.bat", 1);
  s.driver->AddUnfinished("ComFile", 0);
  EXPECT_EQ(s.driver->UnfinishedCount(), 2);
  s.driver->ReadUnfinished(&lines);
  ASSERT_EQ(lines.Count(), 2);
  std::string name;
  int kind = -1;
  for (int i = 0; i < lines.Count(); ++i) {
    ASSERT_TRUE(SplitUnfinishedLine(lines.Strings(i), name, kind));
    EXPECT_EQ(kind, name == "ComFile" ? 0 : 1) << lines.Strings(i);
  }
  s.driver->ClearUnfinished();
  EXPECT_FALSE(r.KeyExists(RunKeyPath() + "\\Unfinished"));

  // A value of that name is there already: the next number.
  ASSERT_TRUE(r.OpenKey(RunOnceKey, true));
  r.DeleteValue("QuenlowUnfinished1");
  r.WriteString("QuenlowUnfinished", "taken");
  s.driver->RegisterRunOnce();
  const std::string want = "\"" + ParamStr(0) + "\" -r -e\"SETUP.EXE\" -s\"" + dir + "\" -c\"SETUP.EXE\"";
  EXPECT_EQ(r.ReadString("QuenlowUnfinished1"), want);
  EXPECT_EQ(r.ReadString("QuenlowUnfinished"), "taken");
  r.DeleteValue("QuenlowUnfinished");
  r.DeleteValue("QuenlowUnfinished1");
  r.CloseKey();
  DropRecords();
}

}  // namespace

namespace {

TEST(InstallDriver, SelfExtractTrailerOfTheEFile) {
  const std::string dir = Join(ScratchDir(), "selfextract");
  MakeDirs(dir);
  const std::string exe = Join(dir, "SETUP.EXE");
  TSelfExtractTrailer t;
  t.SetupStart = 100, t.SetupEnd = 199, t.FilesStart = 200, t.FilesEnd = 299;
  WriteFileText(exe, std::string(300, 'L') + EncodeSelfExtractTrailer(t));
  SetupForm s({"-s" + dir, "-eSETUP.EXE"});
  TSelfExtractTrailer r;
  s.driver->ReadSelfExtractTrailer(exe, r);
  EXPECT_EQ(r.SetupEnd, 199);
  s.driver->ApplySelfExtractOffset();
  EXPECT_EQ(GlobalArchiveReader()->Offset(), 200);
  GlobalArchiveReader()->SetOffset(0);

  // A program that is no self-extractor, one whose archive would run into
  // the trailer, and a file shorter than a trailer.
  const std::string msg = "Could not read the extraction info from the archive file %s when trying to find the "
                          "correct offset into the self extracting file";
  auto refused = [&](const std::string& bytes) {
    WriteFileText(exe, bytes);
    return MessageOf([&] { s.driver->ReadSelfExtractTrailer(exe, r); });
  };
  const std::string want = StringReplace(msg, "%s", exe, 0);
  EXPECT_EQ(refused(std::string(400, 'x')), want);
  t.FilesEnd = 300;
  EXPECT_EQ(refused(std::string(300, 'L') + EncodeSelfExtractTrailer(t)), want);
  EXPECT_EQ(refused("MZ"), want);
  EXPECT_EQ(MessageOf([&] { s.driver->ReadSelfExtractTrailer(Join(dir, "none.exe"), r); }),
            StringReplace(msg, "%s", Join(dir, "none.exe"), 0));
}

}  // namespace

namespace {

// An install object that counts its after-reboot calls.
class TRebootProbe : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int Calls = 0;
  void AfterReboot() override { ++Calls; }
};

struct BoxLog {
  BoxLog() {
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
      Texts.push_back(text);
      return IDOK;
    };
  }
  ~BoxLog() { Application->MessageBoxFunction = nullptr; }
  std::vector<std::string> Texts;
};

}  // namespace

// The unfinished list after a restart: a path with ";" is split at the
// last one, a kind-0 entry reaches the object of that name, a damaged
// entry stops the run; the saved language comes back, the records go.
TEST(InstallDriver, AfterRebootCarriesOutTheUnfinishedList) {
  DropRecords();
  const std::string dir = Join(ScratchDir(), "after reboot");
  MakeDirs(dir + "\\a;b");
  WriteFileText(dir + "\\a", "a file named like the start of the path");
  WriteFileText(dir + "\\a;b\\x.bat", "rem left by the run");
  WriteFileText(dir + "\\download.1", "a downloaded part");
  WriteFileText(Join(dir, "SETUP.EXE"), "setup");

  SetupForm s({"-s" + dir, "-cSETUP.EXE"});
  s.driver->SetRunAutomatic(false);
  auto* probe = new TRebootProbe(s.form.get());
  probe->SetName("ComFile");
  auto* other = new TRebootProbe(s.form.get());
  other->SetName("Other");
  auto* translator = new TTranslator(s.form.get());
  translator->SetTranslateIntoLanguage(qlFrench);

  s.driver->RecordRun(true, RunKeyPath());
  ASSERT_FALSE(RunKeyPath().empty());
  const std::string key = RunKeyPath();
  s.driver->SaveLanguage();
  EXPECT_EQ(ReadRegistryInteger(hkLocalMachine, key, "Language", -1), static_cast<int>(qlFrench));
  translator->SetTranslateIntoLanguage(qlUser);
  s.driver->AddUnfinished(dir + "\\a;b\\x.bat", 1);
  s.driver->AddUnfinished("comfile", 0);
  WriteRegistryString(hkLocalMachine, key + "\\Part", "LocalFile", dir + "\\download.1");
  std::vector<std::string> ends;
  s.driver->OnShowGoodInstall = [&](TObject*) { ends.push_back("good"); };
  s.driver->OnBeforeTerminateApp = [&](TObject*, bool&) { ends.push_back("terminate"); };

  s.driver->RunAfterReboot();
  // The good end cleans up after the loader's copy ("-c"): the program's
  // file goes, its folder (no temporary one) stays.
  const std::string batch = s.driver->CleanupBatchPath();
  ASSERT_FALSE(batch.empty());
  const auto batchBytes = ReadFileBytes(batch);
  const std::string batchText(batchBytes.begin(), batchBytes.end());
  EXPECT_NE(batchText.find("ERASE \"" + ParamStr(0) + "\""), std::string::npos) << batchText;
  EXPECT_EQ(batchText.find("RMDIR"), std::string::npos) << batchText;
  EXPECT_FALSE(::FileExists(dir + "\\a;b\\x.bat"));
  EXPECT_TRUE(::FileExists(dir + "\\a"));
  EXPECT_EQ(probe->Calls, 1);
  EXPECT_EQ(other->Calls, 0);
  EXPECT_EQ(translator->TranslateIntoLanguage(), qlFrench);
  EXPECT_EQ(ends, std::vector<std::string>{"good"});  // not run automatically: no termination
  EXPECT_FALSE(s.driver->IsRunning());
  EXPECT_TRUE(RunKeyPath().empty());
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(r.KeyExists(key));
  EXPECT_FALSE(::FileExists(dir + "\\download.1"));

  // A damaged entry: the run stops with the entry in the message.
  s.driver->RecordRun(true, RunKeyPath());
  WriteRegistryString(hkLocalMachine, RunKeyPath() + "\\Unfinished", "C:\\x.bat", "one");
  EXPECT_EQ(MessageOf([&] { s.driver->RunAfterReboot(); }),
            "There is an invalid entry for the unfinished install list C:\\x.bat;one");
  DropRecords();
}

// Outside a run an exception is shown the usual way and nothing else
// happens; the restart's seams: the NT road, the 95 road, and a system
// that cannot restart, which tells the user.
TEST(InstallDriver, ExceptionsOutsideARunAndTheRestart) {
  SetupForm s({});
  BoxLog boxes;
  std::vector<std::string> ends;
  s.driver->OnShowBadInstall = [&](TObject*) { ends.push_back("bad"); };
  Application->OnException(nullptr, Exception("Not during a run"));
  EXPECT_EQ(boxes.Texts, std::vector<std::string>{"Not during a run."});
  EXPECT_TRUE(ends.empty());

  bool allow = false;
  s.driver->OnUserAbort = [&](TObject*, bool& a) { a = allow; };
  EXPECT_FALSE(s.driver->UserAbort());
  allow = true;
  EXPECT_TRUE(s.driver->UserAbort());

  auto& seams = InstallDriverSeams();
  auto savedShutdown = seams.Shutdown;
  auto savedVersion = seams.WindowsVersion;
  int shutdowns = 0;
  seams.Shutdown = [&] {
    ++shutdowns;
    return true;
  };
  for (int version : {1, 2}) {
    seams.WindowsVersion = [version] { return version; };
    s.driver->Reboot();
  }
  EXPECT_EQ(shutdowns, 2);
  EXPECT_EQ(boxes.Texts.size(), 1u);
  seams.WindowsVersion = [] { return 3; };  // NT 3.5x cannot
  s.driver->Reboot();
  seams.WindowsVersion = [] { return 2; };
  seams.Shutdown = [] { return false; };
  s.driver->Reboot();
  EXPECT_EQ(shutdowns, 2);
  ASSERT_EQ(boxes.Texts.size(), 3u);
  EXPECT_EQ(boxes.Texts[1], "Could not reboot windows. Please manually reboot windows.");
  EXPECT_EQ(boxes.Texts[2], boxes.Texts[1]);
  seams.Shutdown = savedShutdown;
  seams.WindowsVersion = savedVersion;
}

// The first activation of the main form: the form's own handler first,
// then the form maximised; later activations do nothing more (the run is
// not automatic here), and the form has its handler back once the driver
// is gone.
TEST(InstallDriver, FirstActivationOfTheMainForm) {
  InstallDriverSeams().Arguments = [] { return std::vector<std::string>{}; };
  std::unique_ptr<TForm> form(new TForm(nullptr));
  int own = 0;
  form->OnActivate = [&](TObject*) { ++own; };
  // A kit user's form holds no path specifiers of its own: the driver
  // brings them, and with them its destination.
  auto* driver = new TInstall(form.get());
  EXPECT_EQ(14, form->ComponentCount() - 1);
  EXPECT_EQ(form->FindComponent("psProgramFiles"), FindStandardPathSpecifier<TpsProgramFiles>());
  EXPECT_EQ(driver->GetDestDir(), ProgramFilesDir() + "\\MyApplication");
  driver->SetName("Install1");
  driver->SetRunAutomatic(false);
  driver->Loaded();
  EXPECT_EQ(driver->MainForm(), form.get());
  form->SetCaption("Setup");
  form->SetBounds(40, 40, 320, 200);
  form->Show();
  Pump(300);
  EXPECT_EQ(own, 1);
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_FALSE(driver->IsRunning());
  Screenshot("installerdriver_first_activation");
  SendMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(own, 1);
  delete driver;
  SendMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(own, 2);
  form->Hide();
  RunKeyPath().clear();
}

// On a designed form the driver brings a translator for the designer's
// translations, unless the form has one; loading the form drops it again.
TEST(InstallDriver, DesignTimeTranslator) {
  {
    TForm form(nullptr);
    form.SetDesigning(true);
    CreateStandardPathSpecifiers(&form);
    auto* driver = new TInstall(&form);
    ASSERT_NE(form.FindComponent("MainTranslator"), nullptr);
    EXPECT_NE(CurrentTranslator(), nullptr);
    driver->Loaded();
    EXPECT_EQ(form.FindComponent("MainTranslator"), nullptr);
    EXPECT_TRUE(driver->SourceDirectory().empty());  // no command line while designing
  }
  {
    TForm form(nullptr);
    form.SetDesigning(true);
    auto* own = new TTranslator(&form);
    own->SetName("Mine");
    new TInstall(&form);
    EXPECT_EQ(form.FindComponent("MainTranslator"), nullptr);
  }
}

// The loader's clean-up runs only for the loader's copy ("-c"), never in
// the IDE ("-d"), never without the loading program, and not when the
// program declines it.
TEST(InstallDriver, LoaderCleanupOnlyForTheLoadersCopy) {
  int asked = 0;
  auto check = [&](std::vector<std::string> args, bool useLoader, bool decline) {
    SetupForm s(args);
    s.driver->SetUseLoadingProgram(useLoader);
    s.driver->OnCleanup = [&](TObject*, bool& doCleanup) {
      ++asked;
      if (decline) doCleanup = false;
    };
    s.driver->CleanupLoader();
    return s.driver->CleanupBatchPath();
  };
  const std::string dir = "-s" + Join(ScratchDir(), "cleanup");
  EXPECT_EQ(check({dir}, true, false), "");
  EXPECT_EQ(check({dir, "-d", "-cSETUP.EXE"}, true, false), "");
  EXPECT_EQ(check({dir, "-cSETUP.EXE"}, false, false), "");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(check({dir, "-cSETUP.EXE"}, true, true), "");
  EXPECT_EQ(asked, 1);
}

// What the registry objects, links and the uninstaller ask of the driver:
// its product information and the kit's folder on the IDE's search path.
TEST(InstallDriver, InformationAndKitDirectoryForTheOtherObjects) {
  SetupForm s({});
  s.driver->Information()->ProductName = "Morvane Hooks";
  auto& hooks = InstallDriverInfoHooks();
  ASSERT_TRUE(hooks.Information && hooks.KitDirectory);
  EXPECT_EQ(hooks.Information()->ProductName, "Morvane Hooks");
  EXPECT_EQ(InstallDriverInformation(), s.driver->Information());

  const std::string kit = Join(ScratchDir(), "kit dir");
  const std::string plain = Join(ScratchDir(), "other lib");
  MakeDirs(kit);
  MakeDirs(plain);
  WriteFileText(kit + "\\" + KitMarkerFile, "marker");
  WriteRegistryString(hkCurrentUser, TCustomInstall::IdeLibraryKey, "SearchPath", plain + "; " + kit + "\\;C:\\elsewhere");
  EXPECT_EQ(hooks.KitDirectory(), kit);
  WriteRegistryString(hkCurrentUser, TCustomInstall::IdeLibraryKey, "SearchPath", plain);
  EXPECT_EQ(MessageOf([&] { hooks.KitDirectory(); }),
            "The HKEY_LOCAL_MACHINE | \\Software\\Tobin Reyl\\Q32V31 key in the registry is either missing or points to "
            "an invalid Quenlow directory");
  DeleteRegistryKeyTree(hkCurrentUser, TCustomInstall::IdeLibraryKey);
}
