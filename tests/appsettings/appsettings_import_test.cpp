// Sender profiles imported from the registry keys and preference files of
// other mail programs, made by the test.
#include <gtest/gtest.h>

#include "appsettings_dump.h"
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

  // Default account and current user at the front (the later import
  // first), everything else in import order, then the custom profiles.
  const std::vector<std::string> names = DisplayNames();
  ASSERT_EQ(names.size(), 6u + kCustomProfileCount) << ::testing::PrintToString(names);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Netscape Messenger current user (imported)",
       "alice@alice.example,Alice,smtp.alice.example,Alice \\,alice-reply@alice.example"},
      {"Outlook account Work mail (imported)", "two@two.example,Two Person,smtp.two.example,Two Org,"},
      {"Internet Mail (imported)", "ina@imn.example,Ina News,smtp.imn.example,IMN Org,"},
      {"Outlook account 00000001 (imported)", "one@one.example,,smtp.one.example,,"},
      {"Netscape Mail (imported)", "nav@nav.example,Nav User,smtp.nav.example,Nav Org,nav-reply@nav.example"},
      {"Netscape Messenger user bob (imported)", "bob@bob.example,,,,"},  // no prefs.js
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(names[i], expected[i].first);
    EXPECT_EQ(ProfileText(EmailProfiles[i]), expected[i].second) << names[i];
    EXPECT_EQ(EmailProfiles[i].Imported, 1) << names[i];
  }
  for (int n = 1; n <= kCustomProfileCount; ++n) EXPECT_EQ(names[5 + n], CustomProfileName(n));
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

TEST_F(MailImport, DatabaseEngineInstallerFolder) {
  const std::string key = std::string(kVendorKey) + "\\Morvane Professional\\1.00\\Installed";
  const bool vendorKeyExisted = KeyExists(HKEY_LOCAL_MACHINE, kVendorKey);
  SetString(HKEY_LOCAL_MACHINE, key, "BDE", "C:\\Install\\BDE");
  EXPECT_EQ(DatabaseEngineInstallerDir(), "C:\\Install\\BDE");
  if (!vendorKeyExisted) {
    DeleteTree(HKEY_LOCAL_MACHINE, kVendorKey);
  } else {
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    RegDeleteValueA(k, "BDE");
    RegCloseKey(k);
  }
}
