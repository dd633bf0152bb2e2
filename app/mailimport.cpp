#include <windows.h>

#include "mailimport.h"

#include <fstream>

#include "settings.h"
#include "win/registry.h"

namespace {

const char kAccountManagerKey[] = "\\Software\\Microsoft\\Internet Account Manager";
const char kNavigatorKey[] = "\\Software\\Netscape\\Netscape Navigator";

std::string Value(TRegistry& reg, const std::string& name) {
  try {
    return reg.ReadString(name);
  } catch (const Exception&) {
    return std::string();
  }
}

// The text after the prefix up to the next double quote or the line's end;
// false when the line does not begin with the prefix.
bool PrefValue(const std::string& line, const std::string& prefix, std::string& value) {
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  size_t end = line.find('"', prefix.size());
  value = line.substr(prefix.size(), end == std::string::npos ? std::string::npos : end - prefix.size());
  return true;
}

std::string PrefPrefix(const char* key) { return std::string("user_pref(\"") + key + "\", \""; }

void AddProfile(const EmailSettings& p, bool atFront) {
  if (atFront)
    EmailProfiles.insert(EmailProfiles.begin(), p);
  else
    EmailProfiles.push_back(p);
}

}  // namespace

void ImportInternetMailSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly("\\Software\\Microsoft\\Internet Mail and News\\Mail")) return;
  EmailSettings p;
  p.Smtp = Value(reg, "Default SMTP Server");
  p.Name = Value(reg, "Sender Name");
  p.Email = Value(reg, "Sender EMail");
  p.Organization = Value(reg, "Sender Organization");
  p.DisplayName = "Internet Mail (imported)";
  p.Imported = 1;
  reg.CloseKey();
  AddProfile(p, false);
}

void ImportAccountManagerSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(kAccountManagerKey)) return;
  std::string defaultAccount = Value(reg, "Default Mail Account");
  const std::string accounts = std::string(kAccountManagerKey) + "\\Accounts";
  TStringList names;
  if (reg.OpenKeyReadOnly(accounts)) reg.GetKeyNames(&names);
  reg.CloseKey();
  for (int i = 0; i < names.Count(); ++i) {
    const std::string k = names.Get(i);
    if (!reg.OpenKeyReadOnly(accounts + "\\" + k)) continue;
    EmailSettings p;
    p.Smtp = Value(reg, "SMTP Server");
    if (!p.Smtp.empty()) {
      p.Name = Value(reg, "SMTP Display Name");
      p.Email = Value(reg, "SMTP Email Address");
      p.Organization = Value(reg, "SMTP Organization Name");
      std::string accountName = reg.ValueExists("Account Name") ? Value(reg, "Account Name") : k;
      p.DisplayName = "Outlook account " + accountName + " (imported)";
      p.Imported = 1;
      AddProfile(p, k == defaultAccount);
    }
    reg.CloseKey();
  }
}

void ImportNavigatorMailSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(std::string(kNavigatorKey) + "\\Services")) return;
  EmailSettings p;
  p.Smtp = Value(reg, "SMTP_Server");
  if (reg.OpenKeyReadOnly(std::string(kNavigatorKey) + "\\User")) {
    p.Email = Value(reg, "User_Addr");
    p.Name = Value(reg, "User_Name");
    p.Organization = Value(reg, "User_Organization");
    p.ReplyTo = Value(reg, "Reply_To");
    p.Imported = 1;
  }
  reg.CloseKey();
  p.DisplayName = "Netscape Mail (imported)";
  AddProfile(p, false);
}

void ReadMessengerPrefs(const std::string& fileName, EmailSettings& profile) {
  static const std::string smtp = PrefPrefix("network.hosts.smtp_server");
  static const std::string organization = PrefPrefix("mail.identity.organization");
  static const std::string replyTo = PrefPrefix("mail.identity.reply_to");
  std::ifstream in(fileName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (PrefValue(line, smtp, profile.Smtp) || PrefValue(line, organization, profile.Organization)) continue;
    PrefValue(line, replyTo, profile.ReplyTo);
  }
}

void ImportMessengerUserSettings() {
  TRegistry& reg = SettingsRegistry();
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  const std::string users = std::string(kNavigatorKey) + "\\Users";
  if (!reg.OpenKeyReadOnly(users)) {
    reg.SetRootKey(HKEY_CURRENT_USER);
    return;
  }
  std::string currentUser = Value(reg, "CurrentUser");
  TStringList names;
  reg.GetKeyNames(&names);
  reg.CloseKey();
  for (int i = 0; i < names.Count(); ++i) {
    const std::string u = names.Get(i);
    if (!reg.OpenKeyReadOnly(users + "\\" + u)) continue;
    EmailSettings p;
    p.Email = Value(reg, "EmailAddr");
    p.Name = Value(reg, "UserName");
    std::string dirRoot = Value(reg, "DirRoot");
    reg.CloseKey();
    // Without a profile folder there is no file to read (and "\prefs.js"
    // would name one in the root of the current drive).
    if (!dirRoot.empty()) ReadMessengerPrefs(dirRoot + "\\prefs.js", p);
    p.Imported = 1;
    bool current = u == currentUser;
    p.DisplayName = current ? std::string("Netscape Messenger current user (imported)")
                            : "Netscape Messenger user " + u + " (imported)";
    AddProfile(p, current);
  }
  reg.SetRootKey(HKEY_CURRENT_USER);
}
