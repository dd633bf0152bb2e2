// Morvane32.exe as a user meets it, started as its own process from a
// program folder of its own and driven only through window messages: a
// sender profile set on the options page, receivers from the address book
// and the free row, a directory patch made and zipped on the expert page
// and mailed to a real SMTP server on the transport's port, a single-file
// patch made with the wizard, and what the close leaves behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "applier.h"
#include "mail_peers.h"
#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::WaitUntil;

namespace {

const std::string kMain = "Software\\Dorn Aldwick Software\\Morvane\\1.9";
const char kTitle[] = "Morvane Tapmend 1.9 (check http://www.morvane.example/updates/ for updates!)";
const char kOld[] = "libcurl4-7.88.1-10+deb12u5";
const char kNew[] = "libcurl4-7.88.1-10+deb12u15";
const char kLibDir[] = "root\\usr\\lib\\x86_64-linux-gnu";
const char kLib[] = "libcurl.so.4.8.0";

// Main pages, option tabs and address-book pages in the order they were made.
enum { kPageStart, kPageExpert, kPageWizard, kPageOptions, kPageAbout };
enum { kOptionPatchfile, kOptionEmail, kOptionArchiving = 6 };
enum { kBookLookup, kBookLists, kBookEdit };

std::string RegString(const std::string& key, const std::string& name) {
  char buf[4096] = "";
  DWORD size = sizeof buf;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != 0)
    return "<missing>";
  return buf;
}

long long RegDword(const std::string& key, const std::string& name) {
  DWORD v = 0, size = sizeof v;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size) != 0)
    return -1;
  return v;
}

bool SameBytes(const std::string& a, const std::string& b) {
  return FileExists(a) && FileExists(b) && ReadFileBytes(a) == ReadFileBytes(b);
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Join(ScratchDir(), "e2e");
    programDir = Join(root, "program");
    data = Join(root, "versions");
    out = Join(root, "out");
    MakeDirs(programDir);
    MakeDirs(data);
    MakeDirs(out);
    // The program as a publisher installs it: the executable with its help
    // pages in a folder of its own, where it keeps its table and template.
    const std::string built = Join(BuildDir(), "app");
    ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(built, "Morvane32.exe")), ToUnixPath(programDir)}), 0);
    ASSERT_EQ(RunUnix("/bin/cp", {"-r", ToUnixPath(Join(SourceDir(), "help")), ToUnixPath(programDir)}), 0);
    const std::string trees = Join(Join(Join(SourceDir(), "build"), "testdata"), "trees");
    for (const char* v : {kOld, kNew}) {
      ASSERT_TRUE(FileExists(Join(Join(trees, v), std::string(kLibDir) + "\\" + kLib)))
          << "the libcurl4 trees are absent: run scripts/fetch-testdata.sh";
      ASSERT_EQ(RunUnix("/bin/cp", {"-rL", ToUnixPath(Join(trees, v)), ToUnixPath(data)}), 0);
    }
    // Only the restore flags and each pair's folder: everything else is
    // the program's defaults or the user's doing.
    DeleteUserKey(kMain);
    SetUserValue(kMain, "Restore Expert Filelists", 1);
    SetUserValue(kMain, "Restore Wizard Filelists", 1);
    for (const char* which : {"Expert", "Wizard"}) {
      // What the program itself stores for the two fixed pairs.
      SetUserValue(kMain, std::string("Restore ") + which + " Filelists amount", 1);
      for (int n : {0, 1})
        SetUserValue(kMain, std::string("Restore ") + which + " Filelists contents " + std::to_string(n),
                     data + "\x01");
    }
  }
  void TearDown() override { DeleteUserKey(kMain); }

  HWND Need(HWND top, const std::string& name) {
    HWND w = p.Control(top, name);
    EXPECT_NE(w, nullptr) << "no control named " << name;
    return w;
  }

  // Once the program has handled what came before and had time to paint.
  void Shot(const std::string& name) {
    if (main) p.Send(main, WM_NULL);
    Sleep(250);
    Screenshot("appe2e_" + name);
  }

  // The main page index, as a click on its tab; the page sheet is visible.
  void MainPage(int index, const char* sheet) {
    p.SelectTab(Need(main, "pagectrl_Main"), index);
    HWND page = Need(main, sheet);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(page) != 0; }, 5000)) << sheet << " did not show";
  }

  void SelectInList(HWND list, const std::string& name) {
    int index = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
          const auto items = p.ListItems(list);
          for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == name) index = static_cast<int>(i);
          return index >= 0;
        },
        10000))
        << "the list shows no " << name;
    p.SelectItems(list, {index});
    ASSERT_EQ(p.SelectedItems(list), std::vector<int>{index});
  }

  // Opens the folder item called name in a file list with Enter and waits
  // until the list shows the folder's items.
  void OpenInList(HWND list, const std::string& name) {
    SelectInList(list, name);
    if (HasFatalFailure()) return;
    p.Key(list, VK_RETURN);
    ASSERT_TRUE(WaitUntil(
        [&] {
          for (const std::string& s : p.ListItems(list))
            if (s == name) return false;
          return true;
        },
        10000))
        << "Enter on " << name << " did not open it";
  }

  // Waits for the progress window, shoots it while it works and at its
  // end, and closes it with its "&Close" button.
  void RunThroughProgress(const std::string& shot) {
    HWND progress = p.Form("Form2", 20000);
    ASSERT_NE(progress, nullptr) << "no progress window appeared";
    Shot(shot + "_progress_running");
    HWND close = p.ControlByText(progress, "Button", "&Close", 60000);
    ASSERT_NE(close, nullptr) << "the progress window never offered &Close";
    Shot(shot + "_progress_done");
    p.PostClick(close);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(progress); }, 10000)) << "the progress window stayed";
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 10000)) << "the main window did not return";
  }

  remoteui::Program p;
  HWND main = nullptr;
  std::string root, programDir, data, out;
};

}  // namespace

TEST_F(EndToEnd, PatchMailAndWizardAsAUserDoesIt) {
  MailPeer server("smtpd25", "mail_smtpd.py", {"25"});
  ASSERT_EQ(server.Port(), 25);

  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  main = p.Form("Form1", 30000);
  ASSERT_NE(main, nullptr) << "no main window; the program's windows:\n"
                           << p.DescribeWindows() << "exit code " << p.WaitExit(0);
  char title[256] = "";
  GetWindowTextA(main, title, sizeof title);
  EXPECT_STREQ(title, kTitle);
  // The wizard is the first page without a stored choice (given a moment
  // for its first paint).
  Sleep(500);
  Shot("wizard_step1_at_start");
  MainPage(kPageStart, "page_RCS");
  Shot("page_start");
  MainPage(kPageAbout, "page_About");
  Shot("page_about");

  // Step 2: profile 1 with the sender and the server, made the default.
  MainPage(kPageOptions, "page_Options");
  HWND options = Need(main, "pagectrl_Options");
  p.SelectTab(options, kOptionEmail);
  HWND edit = Need(main, "combo_OptionEditEmailSettings");
  HWND def = Need(main, "combo_OptionDefaultEmailSettings");
  const std::vector<std::string> profiles = p.ComboItems(edit);
  int custom1 = -1;
  for (size_t i = 0; i < profiles.size(); ++i)
    if (profiles[i] == "Custom settings #1") custom1 = static_cast<int>(i);
  ASSERT_GE(custom1, 0) << "no profile \"Custom settings #1\" to edit among " << profiles.size();
  p.Choose(edit, custom1);
  p.SetText(Need(main, "edit_OptionEmailAddress"), "publisher@example.org");
  p.SetText(Need(main, "edit_OptionEmailName"), "Pat Publisher");
  p.SetText(Need(main, "edit_OptionEmailSmtp"), "127.0.0.1");
  p.Choose(def, custom1);
  EXPECT_EQ(p.Text(def), "Custom settings #1");
  Shot("options_email");
  p.SelectTab(options, kOptionArchiving);
  HWND internalZip = Need(main, "radiobtn_OptionExpertInternalZip");
  p.Click(internalZip);
  EXPECT_TRUE(p.Checked(internalZip));
  Shot("options_archiving");

  // The expert page: the patch's name in the output folder, archived.
  MainPage(kPageExpert, "page_Expert");
  HWND name = Need(main, "edit_ExpertPatchname");
  p.SetText(name, Join(out, "curlfix.utp"));
  // The archive box (ticked by default) renames the patch as it changes.
  HWND archive = Need(main, "chkbox_ExpertArchivePatch");
  if (p.Checked(archive)) p.Click(archive);
  EXPECT_FALSE(p.Checked(archive));
  EXPECT_EQ(p.Text(name), Join(out, "curlfix.utp"));
  p.Click(archive);
  EXPECT_TRUE(p.Checked(archive));
  EXPECT_EQ(p.Text(name), Join(out, "curlfix.zip"));

  // Step 3: two entries typed into the address book's edit page.
  p.Click(Need(main, "button_ExpertCallAddressbook"));
  HWND book = p.Form("Form3");
  ASSERT_NE(book, nullptr) << "the address book did not open";
  Shot("addressbook_lookup_empty");
  HWND bookPages = Need(book, "pagectrl_Database");
  p.SelectTab(bookPages, kBookLists);
  Shot("addressbook_lists");
  p.SelectTab(bookPages, kBookEdit);
  HWND realname = Need(book, "dbedit_Realname"), email = Need(book, "dbedit_Email");
  HWND insert = Need(book, "button_Insert");
  const std::vector<std::pair<std::string, std::string>> entries = {{"Ann Archer", "ann@example.org"},
                                                                   {"Bob Baker", "bob@example.net"}};
  for (const auto& e : entries) {
    p.Click(insert);
    p.Type(realname, e.first);
    p.Type(email, e.second);
    EXPECT_TRUE(WaitUntil([&] { return p.Text(realname) == e.first && p.Text(email) == e.second; }, 5000))
        << "typed " << e.first << " / " << e.second << ", the edits show " << p.Text(realname) << " / "
        << p.Text(email);
  }
  Shot("addressbook_edit");
  // On the lookup page: a filter and Enter adds the first as To, the other
  // is chosen in the grid and added with Bcc.
  p.SelectTab(bookPages, kBookLookup);
  HWND filter = Need(book, "edit_LookupFilter"), grid = Need(book, "dbgrid_Lookup");
  HWND receivers = Need(book, "listbox_Receivers");
  EXPECT_TRUE(WaitUntil([&] { return p.ListItems(grid).size() == 2; }, 5000))
      << "the grid shows " << p.ListItems(grid).size() << " entries";
  p.Type(filter, "Ann");
  EXPECT_TRUE(WaitUntil([&] { return p.ListItems(grid) == std::vector<std::string>{"Ann Archer"}; }, 5000))
      << "the filter left " << p.ListItems(grid).size() << " entries";
  p.Key(filter, VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return p.Send(receivers, LB_GETCOUNT) == 1; }, 5000)) << "Enter added no receiver";
  p.SetText(filter, "");
  ASSERT_TRUE(WaitUntil([&] { return p.ListItems(grid).size() == 2; }, 5000));
  const auto rows = p.ListItems(grid);
  const int bob = rows[0] == "Bob Baker" ? 0 : 1;
  EXPECT_EQ(rows[static_cast<size_t>(bob)], "Bob Baker");
  p.SelectItems(grid, {bob});
  p.Click(Need(book, "button_BCC"));
  EXPECT_TRUE(WaitUntil([&] { return p.Send(receivers, LB_GETCOUNT) == 2; }, 5000)) << "Bcc added no receiver";
  Shot("addressbook_lookup_receivers");

  // A third receiver typed into the main window's free row, as Cc.
  HWND freeRow = Need(main, "edit_ExpertEmailReceiver1");
  HWND freeType = Need(main, "combo_ExpertEmailType1");
  EXPECT_EQ(p.Text(freeRow), "<type a receiver's address here>");
  p.Send(freeRow, EM_SETSEL, 0, -1);
  p.Type(freeRow, "carl@example.com");
  EXPECT_TRUE(WaitUntil([&] { return p.Text(freeRow) == "carl@example.com"; }, 5000)) << p.Text(freeRow);
  p.Choose(freeType, 1);
  p.Key(freeRow, VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return p.Send(receivers, LB_GETCOUNT) == 3; }, 5000)) << "the free row added nobody";
  p.SetText(Need(main, "edit_ExpertEmailSubject"), "Your libcurl patch");
  p.SetText(Need(main, "memo_ExpertEmail"), "Hello,\r\nhere is the patch.\r\n");

  // Step 4: the old tree in the first source list, the new one in the
  // final list, opened with Enter.
  HWND source = Need(main, "filelist_ExpertSource1"), dest = Need(main, "filelist_ExpertDest");
  HWND create = Need(main, "button_ExpertCreate"), send = Need(main, "button_ExpertSendEmail");
  // Both lists show the same folder, and there is no patch to send yet.
  EXPECT_FALSE(IsWindowEnabled(create));
  EXPECT_FALSE(IsWindowEnabled(send));
  OpenInList(source, kOld);
  OpenInList(dest, kNew);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 5000)) << "Create stayed disabled";
  Shot("page_expert_ready");
  p.PostClick(create);
  RunThroughProgress("expert");
  const std::string patch = Join(out, "curlfix.utp"), zip = Join(out, "curlfix.zip");
  EXPECT_TRUE(FileExists(patch));
  ASSERT_TRUE(FileExists(zip));
  const std::string rebuilt = Join(root, "rebuilt");
  std::string error;
  EXPECT_TRUE(testapply::ApplyDirectoryPatch(ReadFileBytes(patch), Join(data, kOld), rebuilt, &error)) << error;
  // Files the same in both trees stay out of the patch; every other one is
  // rebuilt byte for byte.
  std::vector<std::string> want;
  ListFiles(Join(data, kNew), "", want);
  EXPECT_TRUE(FileExists(Join(rebuilt, std::string(kLibDir) + "\\" + kLib)));
  for (const std::string& f : want) {
    const std::string made = Join(rebuilt, f);
    EXPECT_TRUE(SameBytes(Join(Join(data, kNew), f), FileExists(made) ? made : Join(Join(data, kOld), f))) << f;
  }
  // The ZIP holds the patch.
  std::string listing;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-l", ToUnixPath(zip)}, &listing), 0) << listing;
  EXPECT_NE(listing.find("curlfix.utp"), std::string::npos) << listing;
  EXPECT_EQ(RunUnix("/bin/sh", {"-c", "/usr/bin/unzip -p \"$0\" curlfix.utp | /usr/bin/cmp - \"$1\"", ToUnixPath(zip),
                                ToUnixPath(patch)},
                    &listing),
            0)
      << listing;
  Shot("page_expert_after_run");
  // The address book came back after the run, still above the main window.
  EXPECT_TRUE(IsWindowVisible(book));
  EXPECT_NE(GetWindowLongA(book, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  bool bookAbove = false;
  for (HWND w = GetWindow(book, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
    if (w == main) bookAbove = true;
  EXPECT_TRUE(bookAbove) << "the always-on-top address book is below the main window";

  // Step 5: Send, with Form4 up while the mail goes out. The address book
  // stays usable meanwhile: its Remove All, handled while the sending
  // runs, must not take receivers from the mail under way.
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(send) != 0; }, 5000)) << "Send stayed disabled";
  p.PostClick(send);
  p.PostClick(Need(book, "button_RemoveAll"));
  HWND form4 = p.Form("Form4", 20000);
  EXPECT_NE(form4, nullptr) << "no \"Sending Email in Progress\" window";
  if (form4) Shot("form4_sending");
  ASSERT_TRUE(WaitUntil([&] { return FileExists(Join(server.Folder(), "msg1.env")); }, 30000)) << "no mail arrived";
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 20000)) << "the main window did not return";
  EXPECT_TRUE(WaitUntil([&] { return p.Send(receivers, LB_GETCOUNT) == 0; }, 5000)) << "Remove All removed nobody";
  if (form4) {
    EXPECT_FALSE(IsWindowVisible(form4));
    // The bar followed the transport's percentages to the end of the data.
    HWND bar = p.Control(form4, "progress_EMail");
    ASSERT_NE(bar, nullptr);
    EXPECT_GE(p.Send(bar, PBM_GETPOS), 95);
  }
  Sleep(300);
  EXPECT_FALSE(FileExists(Join(server.Folder(), "msg2.env"))) << "more than one mail";
  auto s = ParseStoredMessage(server, 1, "mail");
  ASSERT_EQ(s["error"], "");
  EXPECT_EQ(s["defects"], "0") << s["defect_list"];
  const std::string raw = server.ReadFile("msg1.eml");
  EXPECT_NE(raw.find("\r\nFrom: publisher@example.org (Pat Publisher)\r\n"), std::string::npos) << raw.substr(0, 800);
  EXPECT_NE(raw.find("ann@example.org (Ann Archer)"), std::string::npos) << raw.substr(0, 800);
  EXPECT_EQ(raw.find("bob@example.net"), std::string::npos) << raw.substr(0, 800);
  EXPECT_NE(s["header.to"].find("ann@example.org"), std::string::npos) << s["header.to"];
  EXPECT_NE(s["header.cc"].find("carl@example.com"), std::string::npos) << s["header.cc"];
  EXPECT_EQ(s.count("header.bcc"), 0u);
  EXPECT_EQ(s["header.subject"], "Your libcurl patch");
  EXPECT_EQ(s["header.x-mailer"].rfind("Morvane32 Tapmend (PreRelease) from ", 0), 0u) << s["header.x-mailer"];
  EXPECT_EQ(s["parts"], "2");
  const auto body = ReadFileBytes(Join(Join(ScratchDir(), "mail"), "part0"));
  EXPECT_NE(std::string(body.begin(), body.end()).find("here is the patch."), std::string::npos);
  EXPECT_EQ(s["part1.filename"], "curlfix.zip");
  EXPECT_TRUE(ReadFileBytes(Join(Join(ScratchDir(), "mail"), "part1")) == ReadFileBytes(zip));
  const std::string env = server.ReadFile("msg1.env");
  EXPECT_EQ(env.rfind("publisher@example.org\n", 0), 0u) << env;
  for (const char* who : {"ann@example.org", "bob@example.net", "carl@example.com"})
    EXPECT_EQ(CountOf(env, who), 1) << who << " in " << env;

  // Step 6: the wizard, one file picked in each list, a plain patch
  // without an archive.
  MainPage(kPageWizard, "page_Wizard");
  HWND next = Need(main, "button_WizardContinue");
  Shot("wizard_step1");
  p.Click(next);
  HWND wsource = Need(main, "filelist_WizardSource1"), wdest = Need(main, "filelist_WizardDest");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(wsource) != 0; }, 5000)) << "step 2 did not show";
  for (const std::string& dir : {std::string(kOld), std::string("root"), std::string("usr"), std::string("lib"),
                                 std::string("x86_64-linux-gnu")})
    OpenInList(wsource, dir);
  for (const std::string& dir : {std::string(kNew), std::string("root"), std::string("usr"), std::string("lib"),
                                 std::string("x86_64-linux-gnu")})
    OpenInList(wdest, dir);
  SelectInList(wsource, kLib);
  SelectInList(wdest, kLib);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(next) != 0; }, 5000)) << "Continue stayed disabled on step 2";
  Shot("wizard_step2");
  p.Click(next);
  HWND wtype = Need(main, "combo_WizardPatchType");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(wtype) != 0; }, 5000)) << "step 3 did not show";
  p.Choose(wtype, 0);
  HWND warchive = Need(main, "chkbox_WizardArchivePatch");
  if (p.Checked(warchive)) p.Click(warchive);
  EXPECT_FALSE(p.Checked(warchive));
  HWND wname = Need(main, "edit_WizardPatchname");
  p.SetText(wname, Join(out, "libfix.utp"));
  EXPECT_EQ(p.Text(next), "&Create >");
  Shot("wizard_step3");
  p.PostClick(next);
  RunThroughProgress("wizard");
  const std::string single = Join(out, "libfix.utp");
  ASSERT_TRUE(FileExists(single));
  EXPECT_FALSE(FileExists(Join(out, "libfix.zip")));
  std::vector<uint8_t> rebuiltLib;
  EXPECT_TRUE(testapply::ApplyFilePatch(ReadFileBytes(single), ReadFileBytes(Join(Join(Join(data, kOld), kLibDir), kLib)),
                                        &rebuiltLib, &error))
      << error;
  EXPECT_TRUE(rebuiltLib == ReadFileBytes(Join(Join(Join(data, kNew), kLibDir), kLib)));

  // Step 7: the close stores what the user set.
  p.Post(main, WM_CLOSE);
  ASSERT_EQ(p.WaitExit(20000), 0) << "the program did not end after WM_CLOSE";
  const std::string profile = kMain + "\\email settings\\custom1";
  EXPECT_EQ(RegString(profile, "Email"), "publisher@example.org");
  EXPECT_EQ(RegString(profile, "Realname"), "Pat Publisher");
  EXPECT_EQ(RegString(profile, "SMTP"), "127.0.0.1");
  EXPECT_EQ(RegString(kMain, "mail profile"), "Custom settings #1");
  EXPECT_EQ(RegDword(kMain, "Expert default packer"), 0);
  EXPECT_EQ(RegDword(kMain, "Startup page"), kPageWizard);
  EXPECT_EQ(RegString(kMain, "Restore Expert Filelists contents 1"), Join(data, kOld) + "\x01");
  EXPECT_EQ(RegString(kMain, "Restore Expert Filelists contents 0"), Join(data, kNew) + "\x01");
  EXPECT_EQ(RegString(kMain, "Restore Wizard Filelists contents 1"),
            Join(Join(data, kOld), kLibDir) + "\x01" + kLib + "\x01");
  EXPECT_EQ(RegString(kMain, "Restore Wizard Filelists contents 0"),
            Join(Join(data, kNew), kLibDir) + "\x01" + kLib + "\x01");
  // The address book's table beside the program, read by another reader.
  const std::string table = Join(programDir, "Morvane32_db2.dbf");
  ASSERT_TRUE(FileExists(table));
  std::string dump;
  EXPECT_EQ(RunUnix("/usr/bin/python3",
                    {"-c",
                     "import sys, dbfread\n"
                     "for r in dbfread.DBF(sys.argv[1], encoding='latin-1'):\n"
                     "    print('%s|%s|%s' % (r['ID'], r['REALNAME'], r['EMAIL']))\n",
                     ToUnixPath(table)},
                    &dump),
            0)
      << dump;
  EXPECT_EQ(dump, "1|Ann Archer|ann@example.org\n2|Bob Baker|bob@example.net\n");
  EXPECT_TRUE(FileExists(Join(programDir, "Morvane32_EmailTemplate.txt")));

  // The next start shows what was left: the wizard, both pages' lists with
  // the wizard's files chosen, the sender profile.
  remoteui::Program again;
  ASSERT_TRUE(again.Start(Join(programDir, "Morvane32.exe"), programDir));
  HWND main2 = again.Form("Form1", 30000);
  ASSERT_NE(main2, nullptr) << "no main window at the second start";
  HWND wizard2 = again.Control(main2, "page_Wizard");
  EXPECT_TRUE(wizard2 && IsWindowVisible(wizard2));
  HWND wsource2 = again.Control(main2, "filelist_WizardSource1");
  std::vector<std::string> chosen;
  EXPECT_TRUE(WaitUntil(
      [&] {
        chosen.clear();
        const auto items = again.ListItems(wsource2);
        for (int i : again.SelectedItems(wsource2))
          if (i < static_cast<int>(items.size())) chosen.push_back(items[static_cast<size_t>(i)]);
        return chosen == std::vector<std::string>{kLib};
      },
      10000))
      << "the wizard's first list came back with " << chosen.size() << " chosen";
  again.SelectTab(again.Control(main2, "pagectrl_Main"), kPageExpert);
  HWND create2 = again.Control(main2, "button_ExpertCreate");
  EXPECT_TRUE(WaitUntil([&] { return create2 && IsWindowEnabled(create2); }, 10000))
      << "the expert lists did not come back on the two trees";
  EXPECT_EQ(again.Text(again.Control(main2, "edit_OptionEmailAddress")), "publisher@example.org");
  again.Post(main2, WM_CLOSE);
  EXPECT_EQ(again.WaitExit(20000), 0) << "the second start did not end after WM_CLOSE";
}
