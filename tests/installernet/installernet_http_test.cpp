// Downloads over HTTP from real lighttpd and Python http.server peers on
// loopback addresses, through Wine's WinINet: whole files with their
// length, answers without one, status codes, cut bodies and no server.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "netlocation.h"
#include "test_support.h"

using namespace testsupport;

namespace {

const char kLighttpd[] = "127.0.32.22";
const char kPython[] = "127.0.32.23";
const char kDeadHost[] = "127.0.32.29";

class HttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = Join(ScratchDir(), "webroot");
    std::string dir = Join(root_, "pub\\setup");
    MakeDirs(dir);
    big_ = RandomBytes(300000, 11);
    WriteFileBytes(Join(dir, "big.bin"), big_);
    WriteFileBytes(Join(dir, "nolength.bin"), big_);
    WriteFileBytes(Join(dir, "short.bin"), big_);
    page404_ = std::vector<uint8_t>{'4', '0', '4', ' ', 'N', 'o', 't', ' ', 'F', 'o', 'u', 'n', 'd', '\n'};
    auto tail = RandomBytes(20000, 12);
    page404_.insert(page404_.end(), tail.begin(), tail.end());
    WriteFileBytes(Join(dir, "Page404.lst"), page404_);
    lighttpd_ = new PeerServer("lighttpd", kLighttpd, 80, root_);
    python_ = new PeerServer("odd", kPython, 80, root_);
  }
  static void TearDownTestSuite() {
    delete lighttpd_;
    delete python_;
  }
  void SetUp() override { NetInstallCancel = false; }

  std::unique_ptr<TNetInstallLocation> Location(const char* host) {
    auto loc = std::make_unique<TNetInstallLocation>(nullptr);
    loc->LoginInformation()->SetProtocol(ipHTTP);
    loc->LoginInformation()->SetHostname(host);
    loc->LoginInformation()->SetDirectory("pub\\setup");
    loc->OnDataReceived = [this](TObject*, const std::string&, int32_t bytes, int32_t total, int32_t size, const char*) {
      sum_ += bytes;
      lastTotal_ = total;
      sizes_.push_back(size);
    };
    return loc;
  }
  void Reset() {
    sum_ = 0;
    lastTotal_ = 0;
    sizes_.clear();
  }
  std::string Local(const std::string& name) { return Join(ScratchDir(), name); }

  int64_t sum_ = 0;
  int32_t lastTotal_ = 0;
  std::vector<int32_t> sizes_;
  static std::string root_;
  static std::vector<uint8_t> big_, page404_;
  static PeerServer *lighttpd_, *python_;
};
std::string HttpTest::root_;
std::vector<uint8_t> HttpTest::big_, HttpTest::page404_;
PeerServer *HttpTest::lighttpd_ = nullptr, *HttpTest::python_ = nullptr;

TEST_F(HttpTest, BothServersDeliverFilesAndRefuseMissingOnes) {
  for (const char* host : {kLighttpd, kPython}) {
    SCOPED_TRACE(host);
    auto loc = Location(host);
    Reset();
    loc->Download("big.bin", Local(std::string(host) + "-big.1"));
    EXPECT_EQ(ReadFileBytes(Local(std::string(host) + "-big.1")), big_);
    EXPECT_EQ(sum_, 300000);
    ASSERT_FALSE(sizes_.empty());
    EXPECT_EQ(sizes_.front(), 300000);

    // A good file that starts with "404" is a good file.
    loc->Download("Page404.lst", Local(std::string(host) + "-404.lst"));
    EXPECT_EQ(ReadFileBytes(Local(std::string(host) + "-404.lst")), page404_);

    // The error page must not become the download.
    std::string missing = Local(std::string(host) + "-missing.1");
    try {
      loc->Download("missing.bin", missing);
      ADD_FAILURE() << "no exception";
    } catch (const ENIL_FileNotFound& e) {
      EXPECT_NE(e.Message().find("Could not find the file missing.bin on the server"), std::string::npos);
      EXPECT_NE(e.Message().find("404"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(testsupport::FileExists(missing));

    // The request was closed: the kept connection still works.
    Reset();
    loc->Download("big.bin", Local(std::string(host) + "-again.1"));
    EXPECT_EQ(sum_, 300000);
  }
  std::string access = lighttpd_->Log();
  EXPECT_NE(access.find("GET /pub/setup/big.bin"), std::string::npos) << access;
}

TEST_F(HttpTest, OddAnswers) {
  auto loc = Location(kPython);
  Reset();
  loc->Download("nolength.bin", Local("nolength.1"));
  EXPECT_EQ(ReadFileBytes(Local("nolength.1")), big_);
  ASSERT_FALSE(sizes_.empty());
  EXPECT_EQ(sizes_.front(), 0);

  auto fresh = Location(kPython);
  try {
    fresh->Download("status500.bin", Local("status500.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_HTTPSendRequest& e) {
    EXPECT_NE(e.Message().find("500"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(testsupport::FileExists(Local("status500.1")));

  // Half of the announced length, then the connection closes.
  try {
    fresh->Download("short.bin", Local("short.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL_ReadFile& e) {
    EXPECT_NE(e.Message().find("Could not read from file short.bin on the server"), std::string::npos);
  }
  EXPECT_FALSE(testsupport::FileExists(Local("short.1")));

  Reset();
  fresh->Download("big.bin", Local("after-odd.1"));
  EXPECT_EQ(ReadFileBytes(Local("after-odd.1")), big_);
}

TEST_F(HttpTest, NothingListening) {
  auto loc = Location(kDeadHost);
  try {
    loc->Download("big.bin", Local("dead.1"));
    ADD_FAILURE() << "no exception";
  } catch (const ENIL& e) {
    EXPECT_NE(e.Message().find("ERROR_INTERNET_CANNOT_CONNECT"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(kDeadHost), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(testsupport::FileExists(Local("dead.1")));
}

}  // namespace
