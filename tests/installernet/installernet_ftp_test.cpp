// Downloads over FTP from a real pyftpdlib server on a loopback address,
// through Wine's WinINet: whole files, events, the kept connection, every
// failure with its message, cancel, and loading the library.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "loader.h"
#include "netlocation.h"
#include "test_support.h"

using namespace testsupport;

namespace {

const char kHost[] = "127.0.32.21";
const char kDeadHost[] = "127.0.32.29";

class FtpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = Join(ScratchDir(), "ftproot");
    MakeDirs(Join(root_, "pub\\setup"));
    big_ = RandomBytes(300000, 7);
    WriteFileBytes(Join(root_, "pub\\setup\\big.bin"), big_);
    WriteFileBytes(Join(root_, "pub\\setup\\small.bin"), RandomBytes(1000, 8));
    WriteFileBytes(Join(root_, "pub\\setup\\empty.bin"), {});
    server_ = new PeerServer("ftp", kHost, 21, root_, "quen", "secret");
    RegisterComponentClass<TNetInstallLocation>("TNetInstallLocation");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    NetInstallCancel = false;
    WinInetLibraryName = "WININET.DLL";
  }
  // A location as the setup form describes it.
  std::unique_ptr<TComponent> Form(const std::vector<std::pair<std::string, std::string>>& props) {
    auto owner = std::make_unique<TComponent>(nullptr);
    LoadForm(owner.get(), {{"TNetInstallLocation", "Location", props}});
    return owner;
  }
  static TNetInstallLocation* Loc(TComponent* owner) {
    return dynamic_cast<TNetInstallLocation*>(owner->FindComponent("Location"));
  }
  std::string Local(const std::string& name) { return Join(ScratchDir(), name); }

  static std::string root_;
  static std::vector<uint8_t> big_;
  static PeerServer* server_;
};
std::string FtpTest::root_;
std::vector<uint8_t> FtpTest::big_;
PeerServer* FtpTest::server_ = nullptr;

TEST_F(FtpTest, AnonymousDownloadsWithEventsAndOneLogin) {
  auto form = Form({{"LoginInformation.Hostname", kHost}, {"LoginInformation.Directory", "pub\\setup"}});
  TNetInstallLocation* loc = Loc(form.get());
  std::vector<std::string> events;
  int64_t sum = 0;
  int32_t lastTotal = 0;
  bool blocksOk = true;
  loc->OnBeforeLogin = [&](TObject*) { events.push_back("before-login"); };
  loc->OnAfterLogin = [&](TObject*) { events.push_back("after-login"); };
  loc->OnBeforeDownload = [&](TObject*) { events.push_back("before-download"); };
  loc->OnAfterDownload = [&](TObject*, bool aborted) { events.push_back(aborted ? "aborted" : "after-download"); };
  loc->OnDataReceived = [&](TObject* s, const std::string& name, int32_t bytes, int32_t total, int32_t, const char* buf) {
    if (events.empty() || events.back() != "data") events.push_back("data");
    sum += bytes;
    blocksOk = blocksOk && s == loc && name == "big.bin" && bytes > 0 && bytes <= 8192 && total == lastTotal + bytes &&
               buf && memcmp(buf, big_.data() + lastTotal, bytes) == 0;
    lastTotal = total;
  };
  int statusCalls = 0;
  loc->OnDataReceivedStatus = [&](TObject*, const std::string&, int32_t, int32_t, int32_t, const char*) {
    ++statusCalls;
  };
  size_t logStart = server_->Log().size();

  loc->Download("big.bin", Local("big.1"));
  EXPECT_EQ(ReadFileBytes(Local("big.1")), big_);
  EXPECT_EQ(events, (std::vector<std::string>{"before-login", "after-login", "before-download", "data", "after-download"}));
  EXPECT_TRUE(blocksOk);
  EXPECT_EQ(sum, 300000);
  EXPECT_GT(statusCalls, 0);
  EXPECT_EQ(CurrentNetInstallLocation, loc);
  EXPECT_TRUE(loc->Connected());

  events.clear();
  lastTotal = 0;
  sum = 0;
  loc->Download("big.bin", Local("big.2"));
  EXPECT_EQ(ReadFileBytes(Local("big.2")), big_);
  EXPECT_EQ(events, (std::vector<std::string>{"before-download", "data", "after-download"}));

  std::string log = server_->Log().substr(logStart);
  EXPECT_EQ(CountOf(log, "logged in"), 1) << log;
  EXPECT_EQ(CountOf(log, "ftproot/pub/setup 250"), 2) << log;
  EXPECT_EQ(CountOf(log, "completed=1 bytes=300000"), 2) << log;
}

TEST_F(FtpTest, AccountLoginAndChangedLoginReconnects) {
  auto form = Form({{"LoginInformation.Hostname", kHost},
                    {"LoginInformation.Directory", "pub/setup"},
                    {"LoginInformation.Anonymous", "False"},
                    {"LoginInformation.Username", "quen"},
                    {"LoginInformation.Password", "secret"}});
  TNetInstallLocation* loc = Loc(form.get());
  size_t logStart = server_->Log().size();
  loc->Download("small.bin", Local("small.1"));
  EXPECT_EQ(ReadFileBytes(Local("small.1")), ReadFileBytes(Join(root_, "pub\\setup\\small.bin")));
  EXPECT_EQ(CountOf(server_->Log().substr(logStart), "USER 'quen' logged in"), 1);

  // The same login again keeps the connection; another one makes a new one.
  TLoginInformation same;
  same.Assign(loc->LoginInformation());
  loc->SetLoginInformation(&same);
  EXPECT_TRUE(loc->Connected());
  TLoginInformation anon;
  anon.SetHostname(kHost);
  anon.SetDirectory("pub\\setup");
  loc->SetLoginInformation(&anon);
  EXPECT_FALSE(loc->Connected());
  loc->Download("small.bin", Local("small.2"));
  std::string log = server_->Log().substr(logStart);
  EXPECT_EQ(CountOf(log, "USER 'anonymous' logged in"), 1) << log;
}

TEST_F(FtpTest, FailuresReportAndLeaveTheLocationUsable) {
  auto form = Form({{"LoginInformation.Hostname", kHost}, {"LoginInformation.Directory", "pub\\setup"}});
  TNetInstallLocation* loc = Loc(form.get());

  EXPECT_THROW(loc->Download("empty.bin", Local("empty.1")), ENIL_FileNotFound);
  EXPECT_FALSE(testsupport::FileExists(Local("empty.1")));
  loc->Download("small.bin", Local("after-empty.1"));
  EXPECT_TRUE(testsupport::FileExists(Local("after-empty.1")));

  try {
    loc->Download("missing.bin", Local("missing.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_FTPOpenFile& e) {
    EXPECT_NE(e.Message().find("Cannot open file missing.bin on server. Error message ERROR_INTERNET_EXTENDED_ERROR"),
              std::string::npos)
        << e.Message();
    EXPECT_NE(e.Message().find(std::string("Server ") + kHost), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("550"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(testsupport::FileExists(Local("missing.1")));
  loc->Download("small.bin", Local("after-missing.1"));
  EXPECT_TRUE(testsupport::FileExists(Local("after-missing.1")));

  TLoginInformation wrongDir;
  wrongDir.SetHostname(kHost);
  wrongDir.SetDirectory("no\\such");
  loc->SetLoginInformation(&wrongDir);
  try {
    loc->Download("small.bin", Local("nodir.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_FTPSetDir& e) {
    EXPECT_NE(e.Message().find("Cannot set directory on server to no/such"), std::string::npos) << e.Message();
  }
  loc->LoginInformation()->SetDirectory("pub\\setup");
  loc->Download("small.bin", Local("after-nodir.1"));
  EXPECT_TRUE(testsupport::FileExists(Local("after-nodir.1")));

  TNetInstallLocation dead(nullptr);
  dead.LoginInformation()->SetHostname(kDeadHost);
  try {
    dead.Download("small.bin", Local("dead.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_OpenService& e) {
    EXPECT_NE(e.Message().find(std::string("Cannot connect to host ") + kDeadHost), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(testsupport::FileExists(Local("dead.1")));
}

TEST_F(FtpTest, CancelAfterFirstBlockKeepsPartialFile) {
  auto form = Form({{"LoginInformation.Hostname", kHost}, {"LoginInformation.Directory", "pub\\setup"}});
  TNetInstallLocation* loc = Loc(form.get());
  int blocks = 0;
  bool aborted = false;
  loc->OnDataReceived = [&](TObject*, const std::string&, int32_t, int32_t, int32_t, const char*) {
    ++blocks;
    NetInstallCancel = true;
  };
  loc->OnAfterDownload = [&](TObject*, bool a) { aborted = a; };
  loc->Download("big.bin", Local("cancel.1"));
  EXPECT_EQ(blocks, 1);
  EXPECT_TRUE(aborted);
  EXPECT_TRUE(testsupport::FileExists(Local("cancel.1")));
  EXPECT_LT(ReadFileBytes(Local("cancel.1")).size(), big_.size());

  NetInstallCancel = false;
  loc->OnDataReceived = nullptr;
  loc->Download("big.bin", Local("cancel.2"));
  EXPECT_FALSE(aborted);
  EXPECT_EQ(ReadFileBytes(Local("cancel.2")), big_);
}

TEST_F(FtpTest, LoadingTheLibrary) {
  TNetInstallLocation loc(nullptr);
  loc.LoginInformation()->SetHostname(kHost);
  bool loginTried = false;
  loc.OnBeforeLogin = [&](TObject*) { loginTried = true; };
  WinInetLibraryName = "nosuchinet.dll";
  EXPECT_THROW(loc.Download("small.bin", Local("noload.1")), ENIL_FailLoadWININET);
  EXPECT_FALSE(loginTried);

  WinInetLibraryName = Join(BuildDir(), "tests\\installernet\\fakewininet\\installernet_fakewininet.dll");
  try {
    loc.Connect();
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_FailLoadDLLProc& e) {
    EXPECT_EQ(e.Message(), "Failed to load the procedure InternetConnect from WININET.DLL");
  }
  EXPECT_FALSE(loc.WinInetLoaded());
  EXPECT_FALSE(loginTried);
}

}  // namespace
