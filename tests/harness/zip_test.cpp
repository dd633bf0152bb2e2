#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <random>

#include "test_support.h"

using namespace testsupport;

TEST(Harness, ZlibRoundTrip) {
  std::vector<uint8_t> data(100000);
  std::mt19937 rng(7);
  for (auto& b : data) b = static_cast<uint8_t>(rng() % 16);
  uLongf packedSize = compressBound(data.size());
  std::vector<uint8_t> packed(packedSize);
  ASSERT_EQ(compress2(packed.data(), &packedSize, data.data(), data.size(), 9), Z_OK);
  EXPECT_LT(packedSize, data.size());
  std::vector<uint8_t> back(data.size());
  uLongf backSize = back.size();
  ASSERT_EQ(uncompress(back.data(), &backSize, packed.data(), packedSize), Z_OK);
  EXPECT_EQ(back, data);
}

TEST(Harness, MinizipArchivePassesUnzipTest) {
  std::string path = Join(ScratchDir(), "harness.zip");
  zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zf, nullptr);
  std::string payload;
  for (int i = 0; i < 5000; ++i) payload += "line " + std::to_string(i) + "\n";
  zip_fileinfo info{};
  ASSERT_EQ(zipOpenNewFileInZip(zf, "payload.txt", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9), ZIP_OK);
  ASSERT_EQ(zipWriteInFileInZip(zf, payload.data(), static_cast<unsigned>(payload.size())), ZIP_OK);
  ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
  ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);

  std::string out;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-t", ToUnixPath(path)}, &out), 0) << out;
  EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-p", ToUnixPath(path), "payload.txt"}, &out), 0);
  EXPECT_EQ(out, payload);
}
