// The portable side of the network location: remote path forms, error
// names, the message pieces, login rules, the Content-Length value, and a
// location built from a form description with dotted login properties.
#include <gtest/gtest.h>

#include <memory>

#include "loader.h"
#include "netlocation.h"

namespace {

TEST(NetNames, RemotePathsAndErrorNames) {
  EXPECT_EQ(RemotePath(""), "/");
  EXPECT_EQ(RemotePath("   "), "/");
  EXPECT_EQ(RemotePath(" pub\\setup "), "pub/setup");
  EXPECT_EQ(RemotePath("\\a\\b\\"), "/a/b/");

  struct {
    uint32_t code;
    const char* name;
  } table[] = {
      {6, "ERROR_INVALID_HANDLE"},
      {12001, "ERROR_INTERNET_OUT_OF_HANDLES"},
      {12003, "ERROR_INTERNET_EXTENDED_ERROR"},
      {12029, "ERROR_INTERNET_CANNOT_CONNECT"},
      {12032, "ERROR_INTERNET_FORCE_RETRY"},
      {12033, "Unregistered error code"},
      {12036, "ERROR_INTERNET_HANDLE_EXISTS"},
      {12041, "ERROR_INTERNET_MIXED_SECURITY"},
      {12110, "ERROR_FTP_TRANSFER_IN_PROGRESS"},
      {12111, "ERROR_FTP_DROPPED"},
      {12112, "Unregistered error code"},
      {12130, "ERROR_GOPHER_PROTOCOL_ERROR"},
      {12138, "ERROR_GOPHER_UNKNOWN_LOCATOR"},
      {12150, "ERROR_HTTP_HEADER_NOT_FOUND"},
      {12155, "ERROR_HTTP_HEADER_ALREADY_EXISTS"},
      {12156, "Unregistered error code"},
      {12000, "Unregistered error code"},
      {0, "Unregistered error code"},
      {4711, "Unregistered error code"},
  };
  for (const auto& row : table) EXPECT_EQ(InternetErrorName(row.code), row.name) << row.code;
}

TEST(NetNames, MessagesTakeServerTextLiterally) {
  ENIL_FTPOpenFile e("Cannot open file %s on server", 12003, "host%d", "550 %s %d 100%");
  EXPECT_EQ(e.Message(),
            "Cannot open file %s on server. Error message ERROR_INTERNET_EXTENDED_ERROR. Server host%d. "
            "Response from server 550 %s %d 100%");
  EXPECT_EQ(e.ErrorCode(), 12003u);
  // The family as callers catch it.
  try {
    throw ENIL_FTPSetDir("x", 6, "", "No server response");
  } catch (const ENIL_FTP& f) {
    EXPECT_EQ(f.Message(), "x. Error message ERROR_INVALID_HANDLE. Server . Response from server No server response");
  }
  EXPECT_EQ(ENIL_WriteDestFile("Loc", "C:\\a b\\f.1").Message(), "Loc could not write to the local dest file C:\\a b\\f.1");
  EXPECT_EQ(ENIL_FailLoadDLLProc("InternetConnect").Message(),
            "Failed to load the procedure InternetConnect from WININET.DLL");
  EXPECT_NE(ENIL_FailLoadWININET().Message().find("PresetupFiles property of the TInstall component"),
            std::string::npos);
}

TEST(NetNames, LoginRulesAndContentLength) {
  struct {
    bool anonymous;
    const char *host, *user, *pass;
    bool filled;
  } table[] = {
      {true, "", "u", "p", false}, {true, "  ", "", "", false}, {true, "h", "", "", true},
      {false, "", "", "", false},  {false, " ", " u ", "", true}, {false, "", "", "p", true},
      {false, "h", "", "", true},
  };
  for (const auto& row : table) {
    TLoginInformation l;
    l.SetAnonymous(row.anonymous);
    l.SetHostname(row.host);
    l.SetUsername(row.user);
    l.SetPassword(row.pass);
    EXPECT_EQ(l.IsFilled(), row.filled) << row.anonymous << "'" << row.host << "'" << row.user << row.pass;
  }

  TLoginInformation a, b;
  a.SetAnonymous(false);
  a.SetDirectory("d");
  a.SetHostname("h");
  a.SetPassword("p");
  a.SetProtocol(ipHTTP);
  a.SetUsername("u");
  EXPECT_FALSE(a.SameLogin(b));
  b.Assign(&a);
  EXPECT_TRUE(a.SameLogin(b));
  EXPECT_EQ(b.Protocol(), ipHTTP);

  EXPECT_EQ(ParseContentLength("300000"), 300000);
  EXPECT_EQ(ParseContentLength(" 12 "), 12);
  EXPECT_EQ(ParseContentLength(""), 0);
  EXPECT_EQ(ParseContentLength("12a"), 0);
  EXPECT_EQ(ParseContentLength("-5"), 0);
  EXPECT_EQ(ParseContentLength("99999999999999999999"), 0);
  EXPECT_EQ(ParseContentLength("999999999"), 999999999);

  // The status decides; the server's own line is what the user is shown.
  THttpAnswer ok = ReadHttpAnswer("200", "");
  EXPECT_TRUE(ok.Ok);
  EXPECT_EQ(ok.Line, "");
  THttpAnswer gone = ReadHttpAnswer("410", "HTTP/1.1 410 Gone\r\nServer: x\r\n\r\n");
  EXPECT_TRUE(gone.NotFound);
  EXPECT_EQ(gone.Line, "HTTP/1.1 410 Gone");
  // Not three digits: no status at all, never a number read past its end.
  for (const char* odd : {"2000", "99999999999999999999", "20", "", "2x0"}) {
    THttpAnswer a = ReadHttpAnswer(odd, "\r\n");
    EXPECT_FALSE(a.Ok) << odd;
    EXPECT_EQ(a.Code, 0) << odd;
    EXPECT_EQ(a.Line, "HTTP status 0") << odd;
  }
}

TEST(NetNames, LocationFromFormWithDottedLoginProperties) {
  RegisterComponentClass<TNetInstallLocation>("TNetInstallLocation");
  TComponent owner(nullptr);
  auto made = LoadForm(&owner, {{"TNetInstallLocation",
                                 "Location",
                                 {{"LoginInformation.Hostname", "ftp.example"},
                                  {"LoginInformation.Directory", "pub\\setup"},
                                  {"LoginInformation.Anonymous", "False"},
                                  {"LoginInformation.Username", "quen"},
                                  {"LoginInformation.Password", "secret"},
                                  {"LoginInformation.Protocol", "ipHTTP"}}}});
  ASSERT_EQ(made.size(), 1u);
  auto* loc = dynamic_cast<TNetInstallLocation*>(made[0]);
  ASSERT_NE(loc, nullptr);
  TLoginInformation* l = loc->LoginInformation();
  EXPECT_EQ(l->Hostname(), "ftp.example");
  EXPECT_EQ(l->Directory(), "pub\\setup");
  EXPECT_FALSE(l->Anonymous());
  EXPECT_EQ(l->Username(), "quen");
  EXPECT_EQ(l->Password(), "secret");
  EXPECT_EQ(l->Protocol(), ipHTTP);

  // The setter copies: the location keeps its own object.
  TLoginInformation other;
  other.SetHostname("other");
  loc->SetLoginInformation(&other);
  EXPECT_NE(loc->LoginInformation(), &other);
  EXPECT_EQ(loc->LoginInformation()->Hostname(), "other");
  other.SetHostname("changed later");
  EXPECT_EQ(loc->LoginInformation()->Hostname(), "other");

  EXPECT_THROW(LoadForm(&owner, {{"TNetInstallLocation", "L2", {{"LoginInformation.Port", "21"}}}}), EReadError);
  EXPECT_THROW(LoadForm(&owner, {{"TNetInstallLocation", "L3", {{"Name.Hostname", "x"}}}}), EReadError);
  EXPECT_THROW(LoadForm(&owner, {{"TNetInstallLocation", "L4", {{"LoginInformation.Protocol", "ipGopher"}}}}),
               EReadError);
}

#ifndef _WIN32
TEST(NetNames, WithoutTheLibraryTheFirstUseFails) {
  TNetInstallLocation loc(nullptr);
  loc.LoginInformation()->SetHostname("127.0.0.1");
  EXPECT_THROW(loc.Download("a", "/tmp/never-written"), ENIL_FailLoadWININET);
  EXPECT_EQ(CurrentNetInstallLocation, &loc);
  EXPECT_FALSE(loc.WinInetLoaded());
}
#endif

TEST(NetNames, DestroyedLocationIsNoLongerCurrent) {
  auto loc = std::make_unique<TNetInstallLocation>(nullptr);
  CurrentNetInstallLocation = loc.get();
  NetInstallLocation = loc.get();
  loc.reset();
  EXPECT_EQ(CurrentNetInstallLocation, nullptr);
  EXPECT_EQ(NetInstallLocation, nullptr);
}

}  // namespace
