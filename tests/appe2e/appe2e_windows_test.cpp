// Morvane32.exe's windows as a user meets them: a patch run whose external
// archiver takes its time is cancelled from the progress window after the
// user moved that window, and the program must answer at once, end the
// archiver, say nothing more and leave no trace of the archive; the
// window's place is back in the registry for the next start.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::WaitUntil;

namespace {

const std::string kSettings = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

DWORD RegInt(const std::string& key, const std::string& name) {
  DWORD v = 0xFFFFFFFF, size = sizeof v;
  RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size);
  return v;
}

}  // namespace

TEST(Windows, CancelDuringASlowArchiverAnswersAtOnceAndLeavesNoArchive) {
  const std::string root = Join(ScratchDir(), "e2e_windows"), programDir = Join(root, "program");
  const std::string oldDir = Join(root, "v1"), newDir = Join(root, "v2"), out = Join(root, "out");
  for (const std::string& d : {programDir, oldDir, newDir, out}) MakeDirs(d);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(Join(BuildDir(), "app"), "Morvane32.exe")), ToUnixPath(programDir)}), 0);
  remoteui::WriteReadmePair(oldDir, newDir, 4000);
  const std::string mark = Join(root, "slowpack.pid");
  SetEnvironmentVariableA("APPE2E_SLOWPACK_MARK", mark.c_str());

  // What a user set before: the two trees in the expert lists, the InfoZIP
  // row pointing at a slow archiver, the progress window's place restored.
  DeleteUserKey(kSettings);
  remoteui::SetExpertSources(kSettings, oldDir, newDir);
  remoteui::SetInfoZipArchiver(kSettings, Join(BuildDir(), "tests\\appe2e\\appe2e_slowpack.exe"));
  SetUserValue(kSettings + "\\windows\\Form2", "store mode", 2);
  SetUserValue(kSettings + "\\windows\\Form2", "left", 50);
  SetUserValue(kSettings + "\\windows\\Form2", "top", 50);

  remoteui::Program p;
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  HWND main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << p.DescribeWindows();
  HWND name = p.Control(main, "edit_ExpertPatchname"), create = p.Control(main, "button_ExpertCreate");
  ASSERT_TRUE(name && create);
  p.SetText(name, Join(out, "fix.zip"));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 10000)) << "Create stayed disabled";
  p.PostClick(create);

  HWND progress = p.Form("Form2", 20000);
  ASSERT_NE(progress, nullptr) << "no progress window";
  // The user moves the window out of the way while the archiver works.
  SetWindowPos(progress, nullptr, 321, 234, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(mark); }, 30000)) << "the archiver never started";
  Sleep(200);
  const std::vector<uint8_t> pidText = ReadFileBytes(mark);
  const DWORD packer = std::stoul(std::string(pidText.begin(), pidText.end()));
  HANDLE packerProcess = OpenProcess(SYNCHRONIZE, FALSE, packer);
  ASSERT_NE(packerProcess, nullptr);
  Screenshot("appe2e_windows_progress_packing");

  p.PostClick(p.Control(progress, "button_CancelClose"));
  HWND ask = p.TopWindow("#32770", "Cancel patching process?");
  ASSERT_NE(ask, nullptr) << "no cancel question";
  HWND yes = p.ControlByText(ask, "Button", "&Yes");
  ASSERT_NE(yes, nullptr);
  const DWORD confirmed = GetTickCount();
  p.PostClick(yes);
  // Back on the main window, which answers, within about a second.
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) && !IsWindowVisible(progress); }, 10000));
  DWORD_PTR r = 0;
  EXPECT_TRUE(SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r));
  const DWORD answered = GetTickCount() - confirmed;
  EXPECT_LT(answered, 1500u) << "the window answered only after " << answered << " ms";
  EXPECT_EQ(WaitForSingleObject(packerProcess, 2000), WAIT_OBJECT_0) << "the archiver still runs";
  CloseHandle(packerProcess);
  // No error box follows the cancel, and the archive's traces are gone.
  EXPECT_EQ(p.TopWindow("#32770", "Error", 1500), nullptr) << "an error box followed the cancel";
  const std::vector<std::string> left = remoteui::FolderEntries(out);
  for (const std::string& f : left) EXPECT_EQ(f, "fix.utp") << "left behind in the output folder";
  EXPECT_EQ(RegInt(kSettings + "\\windows\\Form2", "left"), 321u);
  EXPECT_EQ(RegInt(kSettings + "\\windows\\Form2", "top"), 234u);

  p.Post(main, WM_CLOSE);
  EXPECT_EQ(p.WaitExit(20000), 0);
  DeleteUserKey(kSettings);
}
