// The help key of Morvane32.exe pressed on the real keyboard (xdotool's
// key events through the X server, as a user's reach the program) on the
// main window, on the progress window after a run and on the e-mail window
// while the server holds the message: each press starts the browser once,
// on that window's page. The browser is a stand-in that logs its starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "mail_peers.h"
#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::WaitUntil;

namespace {

const std::string kSettings = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

int Starts(const std::string& log, const std::string& page) {
  const std::string text = ReadFileText(log), needle = "\\help\\" + page + "]";
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// The window made active as a user does it, with a click on its title
// bar; then one press and release of F1 as the keyboard makes it, and
// time for any browser start it causes.
void PressF1On(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  const std::string x = std::to_string((r.left + r.right) / 2), y = std::to_string(r.top + 8);
  ASSERT_EQ(RunUnix("/usr/bin/xdotool", {"mousemove", x, y, "click", "1"}), 0)
      << "xdotool is missing (Debian package xdotool)";
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 3000)) << "the window did not become active";
  Sleep(300);
  ASSERT_EQ(RunUnix("/usr/bin/xdotool", {"key", "F1"}), 0);
  Sleep(1500);
}

}  // namespace

TEST(HelpKey, OnePressStartsTheBrowserOnceOnEveryWindow) {
  const std::string root = Join(ScratchDir(), "e2e_helpkey"), programDir = Join(root, "program");
  const std::string oldDir = Join(root, "v1"), newDir = Join(root, "v2"), out = Join(root, "out");
  for (const std::string& d : {programDir, oldDir, newDir, out}) MakeDirs(d);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(Join(BuildDir(), "app"), "Morvane32.exe")), ToUnixPath(programDir)}), 0);
  const std::string browser = Join(root, "browser.exe");
  ASSERT_EQ(RunUnix("/bin/cp", {"-r", ToUnixPath(Join(SourceDir(), "help")), ToUnixPath(programDir)}), 0);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(BuildDir(), "tests\\appe2e\\appe2e_recpack.exe")), ToUnixPath(browser)}),
            0);
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\n";
  WriteFileText(Join(oldDir, "readme.txt"), text);
  WriteFileText(Join(newDir, "readme.txt"), text + "more\n");
  const std::string log = Join(root, "browser.log");
  SetEnvironmentVariableA("APPE2E_RECPACK_LOG", log.c_str());

  DeleteUserKey(kSettings);
  remoteui::SetExpertSources(kSettings, oldDir, newDir);
  SetUserValue(kSettings, "Expert default archive checked", 0);
  SetUserValue(kSettings, "Default browser", 3);
  SetUserValue(kSettings, "custom browser path", browser);
  SetUserValue(kSettings, "custom browser args", "%1");
  SetUserValue(kSettings, "mail profile", "Custom settings #1");
  SetUserValue(kSettings + "\\email settings\\custom1", "Email", "publisher@example.org");
  SetUserValue(kSettings + "\\email settings\\custom1", "SMTP", "127.0.0.1");
  MailPeer server("smtp25hold", "mail_peer.py", {"slowaccept", "25"});
  ASSERT_EQ(server.Port(), 25);

  remoteui::Program p;
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  HWND main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << p.DescribeWindows();
  HWND name = p.Control(main, "edit_ExpertPatchname"), create = p.Control(main, "button_ExpertCreate");
  HWND send = p.Control(main, "button_ExpertSendEmail"), freeRow = p.Control(main, "edit_ExpertEmailReceiver1");
  ASSERT_TRUE(name && create && send && freeRow);
  Sleep(500);

  PressF1On(main);
  EXPECT_EQ(Starts(log, "Form1_page_Expert.html"), 1) << "one press on the main window\n" << ReadFileText(log);

  // After a run, the progress window offering "&Close".
  p.SetText(name, Join(out, "fix.utp"));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 10000)) << "Create stayed disabled";
  p.PostClick(create);
  HWND progress = p.Form("Form2", 20000);
  ASSERT_NE(progress, nullptr);
  HWND close = p.ControlByText(progress, "Button", "&Close", 60000);
  ASSERT_NE(close, nullptr) << "the run did not end";
  PressF1On(progress);
  EXPECT_EQ(Starts(log, "Form2.html"), 1) << "one press on the progress window after the run\n" << ReadFileText(log);
  p.PostClick(close);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 10000));

  // The e-mail window while the server holds the message.
  p.SetText(freeRow, "ann@example.org");
  p.Key(freeRow, VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(send) != 0 && p.Text(freeRow).empty(); }, 10000));
  p.PostClick(send);
  HWND form4 = p.Form("Form4", 20000);
  ASSERT_NE(form4, nullptr) << "no e-mail window";
  ASSERT_TRUE(WaitUntil([&] { return server.ReadFile("log").find("\n.\n") != std::string::npos; }, 20000))
      << "the message never reached the server";
  PressF1On(form4);
  EXPECT_EQ(Starts(log, "Form4.html"), 1) << "one press on the e-mail window\n" << ReadFileText(log);
  Screenshot("appe2e_helpkey_form4");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 30000)) << "the sending did not end";
  EXPECT_EQ(p.TopWindow("#32770", "Error", 500), nullptr);

  p.Post(main, WM_CLOSE);
  EXPECT_EQ(p.WaitExit(20000), 0);
  DeleteUserKey(kSettings);
}
