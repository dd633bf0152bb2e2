// Morvane32.exe mailing a patch as a user meets it, with letters beyond
// ASCII in the sender's name, the subject (2,000 characters of it) and the
// text, to a real SMTP server that refuses some receivers: with only
// refused receivers nothing is sent and the sending fails naming each;
// with two good ones the mail reaches them, the end message names the
// refused ones, and Python's email package reads every text as typed.
// The stored patch type, out of range, shows as one type that the list
// and the name agree on.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "box_text.h"
#include "mail_peers.h"
#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::WaitUntil;

namespace {

const std::string kSettings = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

// The same words in the program's code page and as UTF-8.
std::string LongSubject(bool utf8) {
  const std::string fuer = utf8 ? "f\xc3\xbcr" : "f\xfc" "r", aerger = utf8 ? "\xc3\x84rger" : "\xc4rger";
  std::string s;
  // 84 parts make 2,006 characters in the code page.
  for (int k = 1; k <= 84; ++k) s += "Patch " + fuer + " " + aerger + " Teil " + std::to_string(k) + " ";
  s.pop_back();
  return s;
}

}  // namespace

TEST(Mail, TextsBeyondAsciiReadRightAndRefusedReceiversAreNamed) {
  const std::string root = Join(ScratchDir(), "e2e_mail"), programDir = Join(root, "program");
  MakeDirs(programDir);
  ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(Join(BuildDir(), "app"), "Morvane32.exe")), ToUnixPath(programDir)}), 0);
  const std::string patch = Join(root, "fix.utp");
  {
    FILE* f = std::fopen(patch.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("a patch to mail", f);
    std::fclose(f);
  }
  DeleteUserKey(kSettings);
  SetUserValue(kSettings, "Startup page", 1);
  SetUserValue(kSettings, "Startup page mode", 1);
  SetUserValue(kSettings, "Expert default patch type", 7);
  ASSERT_GE(LongSubject(false).size(), 2000u);
  SetUserValue(kSettings, "default patch email subject", LongSubject(false));
  SetUserValue(kSettings, "mail profile", "Custom settings #1");
  SetUserValue(kSettings + "\\email settings\\custom1", "Realname", "Sven S\xe4nder");
  SetUserValue(kSettings + "\\email settings\\custom1", "Email", "publisher@example.org");
  SetUserValue(kSettings + "\\email settings\\custom1", "SMTP", "127.0.0.1");
  MailPeer server("smtpd25refuse", "mail_smtpd.py", {"25", "nobody"});
  ASSERT_EQ(server.Port(), 25);

  remoteui::Program p;
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  HWND main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << p.DescribeWindows();
  HWND name = p.Control(main, "edit_ExpertPatchname"), type = p.Control(main, "combo_ExpertPatchType");
  HWND send = p.Control(main, "button_ExpertSendEmail"), freeRow = p.Control(main, "edit_ExpertEmailReceiver1");
  HWND memo = p.Control(main, "memo_ExpertEmail");
  ASSERT_TRUE(name && type && send && freeRow && memo);

  // Type 7 is none: the list shows the last type, an executable patch, and
  // the name says so.
  EXPECT_EQ(p.Send(type, CB_GETCURSEL), 2);
  const std::string shown = p.Text(name);
  EXPECT_EQ(shown.substr(shown.size() - 14), "\\YourPatch.exe") << shown;

  p.SetText(name, patch);
  p.SetText(memo, "Gr\xfc\xdf" "e aus K\xf6ln: \xe4\xf6\xfc \xc4\xd6\xdc \xdf\r\n");
  const auto addReceiver = [&](const std::string& address) {
    p.SetText(freeRow, address);
    p.Key(freeRow, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return p.Text(freeRow).empty(); }, 5000)) << address << " was not added";
  };
  addReceiver("nobody1@example.org");
  addReceiver("nobody2@example.org");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(send) != 0; }, 5000)) << "Send stayed disabled";

  // Only refused receivers: a failure that names both, and no mail.
  p.PostClick(send);
  HWND box = p.TopWindow("#32770", "Error", 30000);
  ASSERT_NE(box, nullptr) << "a sending to nobody passed for success";
  std::string said = BoxText(box);
  Screenshot("appe2e_mail_all_refused");
  for (const char* who : {"<nobody1@example.org>: 550", "<nobody2@example.org>: 550"})
    EXPECT_NE(said.find(who), std::string::npos) << who << " not in: " << said;
  p.PostClick(p.ControlByText(box, "Button", "OK"));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 20000)) << "the main window did not return";
  EXPECT_FALSE(FileExists(Join(server.Folder(), "msg1.eml"))) << "a mail went out to nobody";

  // Two good receivers more: the mail goes to them, and the end message
  // names the two refused ones with the server's reply.
  addReceiver("ann@example.org");
  addReceiver("bob@example.net");
  p.PostClick(send);
  box = p.TopWindow("#32770", "Receivers refused", 30000);
  ASSERT_NE(box, nullptr) << "the refused receivers were not reported";
  said = BoxText(box);
  Screenshot("appe2e_mail_some_refused");
  for (const char* who : {"<nobody1@example.org>: 550 5.1.1", "<nobody2@example.org>: 550 5.1.1"})
    EXPECT_NE(said.find(who), std::string::npos) << who << " not in: " << said;
  EXPECT_EQ(said.find("ann@"), std::string::npos) << said;
  p.PostClick(p.ControlByText(box, "Button", "OK"));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 20000)) << "the main window did not return";
  ASSERT_TRUE(FileExists(Join(server.Folder(), "msg1.env"))) << "no mail arrived";
  const std::string env = server.ReadFile("msg1.env");
  EXPECT_EQ(env, "publisher@example.org\nann@example.org\nbob@example.net\n");

  auto s = ParseStoredMessage(server, 1, "e2e_mail_parsed");
  ASSERT_EQ(s["error"], "");
  EXPECT_EQ(s["defects"], "0") << s["defect_list"];
  EXPECT_EQ(s["header.subject"], LongSubject(true));
  EXPECT_EQ(s["decoded.from"], "publisher@example.org (Sven S\xc3\xa4nder)");
  EXPECT_LE(std::stoi(s["longest_line"]), 78);
  EXPECT_EQ(s["part0.type"], "text/plain");
  EXPECT_EQ(s["part0.charset"], "windows-1252");
  const std::string text = ReadFileText(Join(Join(ScratchDir(), "e2e_mail_parsed"), "part0.text"));
  EXPECT_NE(text.find("Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln: \xc3\xa4\xc3\xb6\xc3\xbc \xc3\x84\xc3\x96\xc3\x9c \xc3\x9f"),
            std::string::npos)
      << text;
  EXPECT_EQ(s["part1.filename"], "fix.utp");

  p.Post(main, WM_CLOSE);
  EXPECT_EQ(p.WaitExit(20000), 0);
  DeleteUserKey(kSettings);
}
