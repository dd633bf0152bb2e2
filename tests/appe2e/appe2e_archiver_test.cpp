// Morvane32.exe handing its patch to an external archiver as a user meets
// it: the patch folder and the archiver's own folder hold blanks, the
// InfoZIP row keeps its shipped template, and a stand-in archiver records
// the arguments it receives. Then the same archiver fails with exit code
// 12 and a partial archive: the run must say so with the code and the
// command line, remove the partial archive and keep the patch.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "box_text.h"
#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::WaitUntil;

namespace {

const std::string kSettings = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

}  // namespace

TEST(Archiver, NamesWithBlanksReachItWholeAndItsFailureFailsTheRun) {
  const std::string root = Join(ScratchDir(), "e2e archiver"), programDir = Join(root, "program");
  const std::string oldDir = Join(root, "v1"), newDir = Join(root, "v2"), out = Join(root, "my out");
  const std::string tools = Join(root, "pack tools");
  for (const std::string& d : {programDir, oldDir, newDir, out, tools}) MakeDirs(d);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(Join(BuildDir(), "app"), "Morvane32.exe")), ToUnixPath(programDir)}), 0);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(BuildDir(), "tests\\appe2e\\appe2e_recpack.exe")),
                                ToUnixPath(Join(tools, "zip.exe"))}),
            0);
  remoteui::WriteReadmePair(oldDir, newDir, 2000);
  const std::string log = Join(root, "args.log"), fail = Join(root, "fail.code");
  SetEnvironmentVariableA("APPE2E_RECPACK_LOG", log.c_str());
  SetEnvironmentVariableA("APPE2E_RECPACK_FAIL", fail.c_str());

  // The two trees in the expert lists and the InfoZIP row pointed at the
  // archiver; its template is the one the program ships.
  DeleteUserKey(kSettings);
  remoteui::SetExpertSources(kSettings, oldDir, newDir);
  remoteui::SetInfoZipArchiver(kSettings, Join(tools, "zip.exe"));

  remoteui::Program p;
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  HWND main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << p.DescribeWindows();
  HWND name = p.Control(main, "edit_ExpertPatchname"), create = p.Control(main, "button_ExpertCreate");
  ASSERT_TRUE(name && create);
  const std::string patch = Join(out, "fix.utp"), archive = Join(out, "fix.zip");
  p.SetText(name, archive);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 10000)) << "Create stayed disabled";

  // A good archiver: every name arrives as one argument, and the archive
  // it made is the run's result.
  p.PostClick(create);
  HWND progress = p.Form("Form2", 20000);
  ASSERT_NE(progress, nullptr) << "no progress window";
  HWND close = p.ControlByText(progress, "Button", "&Close", 60000);
  HWND error = p.TopWindow("#32770", "Error", 1000);
  EXPECT_EQ(error, nullptr) << BoxText(error);
  ASSERT_NE(close, nullptr) << "the run did not end well";
  EXPECT_EQ(ReadFileText(log), "[-9]\n[-g]\n[-q]\n[-X]\n[-j]\n[" + archive + "]\n[" + patch + "]\n--\n");
  ASSERT_TRUE(FileExists(archive));
  EXPECT_EQ(ReadFileBytes(archive), ReadFileBytes(patch));
  Screenshot("appe2e_archiver_done");
  p.PostClick(close);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 10000)) << "the main window did not return";

  // The archiver fails: exit code 12 and a 10-byte archive.
  WriteFileText(fail, "12");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 10000));
  p.SetText(name, archive);
  p.PostClick(create);
  error = p.TopWindow("#32770", "Error", 60000);
  ASSERT_NE(error, nullptr) << "the failed archiver was reported as success";
  const std::string said = BoxText(error);
  Screenshot("appe2e_archiver_failed");
  EXPECT_NE(said.find("exit code 12"), std::string::npos) << said;
  const std::string command = "\"" + Join(tools, "zip.exe") + "\" -9 -g -q -X -j \"" + Join(out, "fix") + "\".zip \"" +
                              patch + "\"";
  EXPECT_NE(said.find(command), std::string::npos) << said << "\nwithout\n" << command;
  p.PostClick(p.ControlByText(error, "Button", "OK"));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 10000)) << "the main window did not return";
  EXPECT_FALSE(FileExists(archive)) << "the partial archive was left";
  EXPECT_TRUE(FileExists(patch)) << "the patch went with the archive";
  EXPECT_EQ(remoteui::FolderEntries(out), std::vector<std::string>{"fix.utp"});

  p.Post(main, WM_CLOSE);
  EXPECT_EQ(p.WaitExit(20000), 0);
  DeleteUserKey(kSettings);
}
