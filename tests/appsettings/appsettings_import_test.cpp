// Sender profiles imported from the registry keys and preference files of
// other mail programs, made by the test.
#include <gtest/gtest.h>

#include "appsettings_support.h"
#include "mailimport.h"
#include "settings.h"
#include "test_support.h"

using namespace appsettings;

namespace {

const char kMailNews[] = "Software\\Microsoft\\Internet Mail and News";
const char kAccounts[] = "Software\\Microsoft\\Internet Account Manager";
const char kNavigator[] = "Software\\Netscape";

class MailImport : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  void Clean() {
    DeleteTree(HKEY_CURRENT_USER, kVendorKey);
    DeleteTree(HKEY_CURRENT_USER, kMailNews);
    DeleteTree(HKEY_CURRENT_USER, kAccounts);
    DeleteTree(HKEY_CURRENT_USER, kNavigator);
    DeleteTree(HKEY_LOCAL_MACHINE, kNavigator);
  }
};

std::vector<std::string> DisplayNames() {
  std::vector<std::string> names;
  for (const auto& p : EmailProfiles) names.push_back(p.DisplayName);
  return names;
}

const EmailSettings& Find(const std::string& displayName) {
  for (const auto& p : EmailProfiles)
    if (p.DisplayName == displayName) return p;
  static EmailSettings none;
  ADD_FAILURE() << "no profile " << displayName;
  return none;
}

}  // namespace

TEST_F(MailImport, EveryImporterInStartOrder) {
  const std::string mail = std::string(kMailNews) + "\\Mail";
  SetString(HKEY_CURRENT_USER, mail, "Default SMTP Server", "smtp.imn.example");
  SetString(HKEY_CURRENT_USER, mail, "Sender Name", "Ina News");
  SetString(HKEY_CURRENT_USER, mail, "Sender EMail", "ina@imn.example");
  SetString(HKEY_CURRENT_USER, mail, "Sender Organization", "IMN Org");

  SetString(HKEY_CURRENT_USER, kAccounts, "Default Mail Account", "00000002");
  const std::string acc = std::string(kAccounts) + "\\Accounts\\";
  SetString(HKEY_CURRENT_USER, acc + "00000001", "SMTP Server", "smtp.one.example");
  SetString(HKEY_CURRENT_USER, acc + "00000001", "SMTP Email Address", "one@one.example");
  SetString(HKEY_CURRENT_USER, acc + "00000002", "SMTP Server", "smtp.two.example");
  SetString(HKEY_CURRENT_USER, acc + "00000002", "Account Name", "Work mail");
  SetString(HKEY_CURRENT_USER, acc + "00000002", "SMTP Display Name", "Two Person");
  SetString(HKEY_CURRENT_USER, acc + "00000002", "SMTP Email Address", "two@two.example");
  SetString(HKEY_CURRENT_USER, acc + "00000002", "SMTP Organization Name", "Two Org");
  SetString(HKEY_CURRENT_USER, acc + "00000003", "Account Name", "News only");  // no SMTP server

  const std::string nav = std::string(kNavigator) + "\\Netscape Navigator";
  SetString(HKEY_CURRENT_USER, nav + "\\Services", "SMTP_Server", "smtp.nav.example");
  SetString(HKEY_CURRENT_USER, nav + "\\User", "User_Addr", "nav@nav.example");
  SetString(HKEY_CURRENT_USER, nav + "\\User", "User_Name", "Nav User");
  SetString(HKEY_CURRENT_USER, nav + "\\User", "User_Organization", "Nav Org");
  SetString(HKEY_CURRENT_USER, nav + "\\User", "Reply_To", "nav-reply@nav.example");

  const std::string dir = testsupport::ScratchDir();
  const std::string aliceDir = testsupport::Join(dir, "alice profile");
  testsupport::MakeDirs(aliceDir);
  testsupport::WriteFileText(testsupport::Join(aliceDir, "prefs.js"),
                             "// preferences\r\n"
                             "user_pref(\"network.hosts.smtp_server\", \"smtp.alice.example\");\r\n"
                             "user_pref(\"mail.identity.organization\", \"Alice \\\"A\\\" Org\");\r\n"
                             "  user_pref(\"mail.identity.reply_to\", \"indented@ignored.example\");\r\n"
                             "user_pref(\"mail.identity.reply_to\", \"alice-reply@alice.example");
  const std::string users = nav + "\\Users";
  SetString(HKEY_LOCAL_MACHINE, users, "CurrentUser", "alice");
  SetString(HKEY_LOCAL_MACHINE, users + "\\alice", "EmailAddr", "alice@alice.example");
  SetString(HKEY_LOCAL_MACHINE, users + "\\alice", "UserName", "Alice");
  SetString(HKEY_LOCAL_MACHINE, users + "\\alice", "DirRoot", aliceDir);
  SetString(HKEY_LOCAL_MACHINE, users + "\\bob", "EmailAddr", "bob@bob.example");
  SetString(HKEY_LOCAL_MACHINE, users + "\\bob", "DirRoot", testsupport::Join(dir, "no such folder"));

  InitSettingsUnit();

  const std::vector<std::string> names = DisplayNames();
  ASSERT_EQ(names.size(), 6u + kCustomProfileCount) << ::testing::PrintToString(names);
  EXPECT_EQ(names[0], "Netscape Messenger current user (imported)");
  EXPECT_EQ(names[1], "Outlook account Work mail (imported)");
  EXPECT_EQ(names[2], "Internet Mail (imported)");
  EXPECT_EQ(names[3], "Outlook account 00000001 (imported)");
  EXPECT_EQ(names[4], "Netscape Mail (imported)");
  EXPECT_EQ(names[5], "Netscape Messenger user bob (imported)");
  for (int n = 1; n <= kCustomProfileCount; ++n) EXPECT_EQ(names[5 + n], CustomProfileName(n));
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(EmailProfiles[i].Imported, 1) << names[i];

  const EmailSettings& imn = Find("Internet Mail (imported)");
  EXPECT_EQ(imn.Smtp, "smtp.imn.example");
  EXPECT_EQ(imn.Name, "Ina News");
  EXPECT_EQ(imn.Email, "ina@imn.example");
  EXPECT_EQ(imn.Organization, "IMN Org");

  const EmailSettings& work = Find("Outlook account Work mail (imported)");
  EXPECT_EQ(work.Smtp, "smtp.two.example");
  EXPECT_EQ(work.Name, "Two Person");
  EXPECT_EQ(work.Email, "two@two.example");
  EXPECT_EQ(work.Organization, "Two Org");
  EXPECT_EQ(work.ReplyTo, "");

  const EmailSettings& navMail = Find("Netscape Mail (imported)");
  EXPECT_EQ(navMail.Smtp, "smtp.nav.example");
  EXPECT_EQ(navMail.Email, "nav@nav.example");
  EXPECT_EQ(navMail.Name, "Nav User");
  EXPECT_EQ(navMail.Organization, "Nav Org");
  EXPECT_EQ(navMail.ReplyTo, "nav-reply@nav.example");

  const EmailSettings& alice = EmailProfiles[0];
  EXPECT_EQ(alice.Email, "alice@alice.example");
  EXPECT_EQ(alice.Name, "Alice");
  EXPECT_EQ(alice.Smtp, "smtp.alice.example");
  EXPECT_EQ(alice.Organization, "Alice \\");  // up to the next double quote
  EXPECT_EQ(alice.ReplyTo, "alice-reply@alice.example");

  // No prefs.js: the registry's values only.
  const EmailSettings& bob = EmailProfiles[5];
  EXPECT_EQ(bob.Email, "bob@bob.example");
  EXPECT_EQ(bob.Smtp, "");
}

TEST_F(MailImport, NavigatorWithoutUserKeyAndNothingToImport) {
  InitSettingsUnit();
  EXPECT_EQ(EmailProfiles.size(), static_cast<size_t>(kCustomProfileCount));

  SetString(HKEY_CURRENT_USER, std::string(kNavigator) + "\\Netscape Navigator\\Services", "SMTP_Server", "s.example");
  InitSettingsUnit();
  ASSERT_EQ(EmailProfiles.size(), kCustomProfileCount + 1u);
  EXPECT_EQ(EmailProfiles[0].DisplayName, "Netscape Mail (imported)");
  EXPECT_EQ(EmailProfiles[0].Smtp, "s.example");
  EXPECT_EQ(EmailProfiles[0].Imported, 0);
}
