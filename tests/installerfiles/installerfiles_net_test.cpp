// Network files under Wine against real servers: the build writes the web
// parts into the served folder, the install downloads them over FTP
// (pyftpdlib) and HTTP (lighttpd), shares one container part, records its
// downloads for the next run, and handles a cancel and missing logins.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "installerfiles_common.h"
#include "kitroutines.h"
#include "exception_text.h"

using namespace testsupport;
using namespace instf;

namespace {

const char kFtpHost[] = "127.0.33.21";
const char kHttpHost[] = "127.0.33.22";

using testsupport::MessageOf;

TNetInstallLocation* Location(TComponent* owner, const std::string& name, const std::string& host,
                              TInternetProtocol protocol = ipFTP) {
  auto* loc = new TNetInstallLocation(owner);
  loc->SetName(name);
  TLoginInformation login;
  login.SetHostname(host);
  login.SetProtocol(protocol);
  loc->SetLoginInformation(&login);
  return loc;
}

}  // namespace

TEST(NetFiles, PartsAreDownloadedSharedRecordedAndReused) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string src = std::string(temp) + "instf-net";
  RemoveTree(src);
  MakeDirs(src);
  std::string root = Join(ScratchDir(), "served");
  MakeDirs(root);
  std::string dest = Join(ScratchDir(), "Program Files Net");
  const char* names[] = {"own.bin", "dated.bin", "p1.bin", "p2.bin", "web.bin", "cancel.bin"};
  for (unsigned i = 0; i < 6; ++i) WriteFileBytes(src + "\\" + names[i], RandomBytes(60000 + 7000 * i, i + 1));
  std::string runKey = "\\SOFTWARE\\Quenlow\\Install\\MorvaneNetTest";
  DeleteRegistryKeyTree(hkLocalMachine, runKey);

  PeerServer ftp("ftp", kFtpHost, 21, root);
  PeerServer http("lighttpd", kHttpHost, 80, root);
  auto build = [&](TTestForm& form, std::vector<TInstallFile*>& files) {
    // Its own product, so that its uninstall log is its own.
    form.Driver->Information.ProductName = "Morvane Net Test";
    form.Driver->Distribution = dtTraditionalNet;
    form.Driver->NetworkPath = root;
    form.Driver->RunKey = runKey;
    form.Driver->Running = true;
    NetInstallLocation = Location(form.Owner.get(), "Shared", kFtpHost);
    TNetInstallLocation* own = Location(form.Owner.get(), "OwnLocation", kFtpHost);
    TNetInstallLocation* web = Location(form.Owner.get(), "WebLocation", kHttpHost, ipHTTP);
    TInstallFileGroup* group = form.Group("Net", form.Driver);
    for (int i = 0; i < 5; ++i) {
      std::string name = names[i];
      TInstallFile* f = form.File(std::string(1, static_cast<char>(toupper(name[0]))) + name.substr(1, name.find('.') - 1),
                                  group, src, name);
      f->SetNet(true);
      files.push_back(f);
    }
    files[0]->SetNetLocation(own);
    files[1]->SetOverwriteMode(owDate);
    files[4]->SetNetLocation(web);
  };

  TTestForm form(Join(ScratchDir(), "dist\\files.1"), dest);
  std::vector<TInstallFile*> files;
  build(form, files);
  form.Driver->Compress(0);
  for (const char* part : {"Own.1", "Dated.1", "Web.1", "Net.1"}) EXPECT_TRUE(::FileExists(root + "\\" + part)) << part;
  EXPECT_FALSE(::FileExists(root + "\\P1.1"));

  TInstallFileGroup* group = static_cast<TInstallFileGroup*>(files[2]->Container());
  int blocks = 0;
  group->OnDataReceived = [&](TObject*, const std::string&, int32_t, int32_t, int32_t, const char*) { ++blocks; };
  size_t logStart = ftp.Log().size();
  form.Driver->SetState(fcsInstall);
  for (TInstallFile* f : files) EXPECT_EQ(ReadFileBytes(f->DestPath()), ReadFileBytes(f->SourcePath())) << f->Name();
  std::string log = ftp.Log().substr(logStart);
  EXPECT_EQ(CountOf(log, "/Net.1 completed"), 1) << log;
  EXPECT_EQ(CountOf(log, "/Own.1 completed"), 1) << log;
  EXPECT_EQ(CountOf(log, "/Dated.1 completed"), 1) << log;
  EXPECT_EQ(CountOf(log, "/P1.1 completed"), 0) << log;
  EXPECT_EQ(CountOf(http.Log(), "/Web.1"), 1) << http.Log();
  EXPECT_GT(blocks, 5);
  for (const char* object : {"Own", "Dated", "Net", "Web"}) {
    std::string local = ReadRegistryString(hkLocalMachine, runKey + "\\" + object, "LocalFile", "");
    EXPECT_TRUE(::FileExists(local)) << object << " " << local;
  }

  // A cancel from the data handler: no file, nothing recorded.
  TInstallFile* cancel = form.File("Cancel", group, src, "cancel.bin");
  cancel->SetNet(true);
  cancel->SetOverwriteMode(owVersion);
  form.Driver->Compress(0);
  for (TInstallFile* f : files) f->SetInclude(false);
  cancel->OnDataReceived = [](TObject*, const std::string&, int32_t, int32_t, int32_t, const char*) {
    NetInstallCancel = true;
  };
  EXPECT_THROW(form.Driver->SetState(fcsInstall), EAIUserAbort);
  NetInstallCancel = false;
  EXPECT_FALSE(::FileExists(NetInstallLocation->LocalFileName()));
  EXPECT_EQ(ReadRegistryString(hkLocalMachine, runKey + "\\Cancel", "LocalFile", "<none>"), "<none>");
  EXPECT_FALSE(::FileExists(cancel->DestPath()));
  delete cancel;
  for (TInstallFile* f : files) f->SetInclude(true);

  // Logins that nobody filled in.
  TNetInstallLocation* empty = Location(form.Owner.get(), "EmptyLocation", "");
  files[0]->SetNetLocation(empty);
  EXPECT_EQ(MessageOf([&] { files[0]->Download(); }),
            "Own could not install itself because the TNetLocation component's properties, in the NetLocation "
            "property, have not been filled in");
  TLoginInformation none;
  NetInstallLocation->SetLoginInformation(&none);
  EXPECT_EQ(MessageOf([&] { files[2]->Download(); }),
            "P1 could not install itself because the LoginInformation property of the TInstall component has not "
            "been properly filled in");

  // A recorded download that has gone is fetched again.
  std::string dated = ReadRegistryString(hkLocalMachine, runKey + "\\Dated", "LocalFile", "");
  DeleteFile(dated);
  TTestForm again(Join(ScratchDir(), "dist\\files.1"), dest);
  std::vector<TInstallFile*> second;
  build(again, second);
  RemoveTree(dest);
  logStart = ftp.Log().size();
  for (TInstallFile* f : second) f->SetInclude(f->Name() == "Dated");
  again.Driver->SetState(fcsInstall);
  EXPECT_EQ(CountOf(ftp.Log().substr(logStart), "/Dated.1 completed"), 1);
  EXPECT_EQ(ReadFileBytes(second[1]->DestPath()), ReadFileBytes(second[1]->SourcePath()));

  // The recorded complete downloads install with both servers stopped.
  ftp.Stop();
  http.Stop();
  RemoveTree(dest);
  for (TInstallFile* f : second) f->SetInclude(true);
  again.Driver->SetState(fcsInstall);
  for (TInstallFile* f : second) EXPECT_EQ(ReadFileBytes(f->DestPath()), ReadFileBytes(f->SourcePath())) << f->Name();
  NetInstallLocation = nullptr;
  DeleteRegistryKeyTree(hkLocalMachine, runKey);
  DeleteRegistryKeyTree(hkLocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Net Test");
}
