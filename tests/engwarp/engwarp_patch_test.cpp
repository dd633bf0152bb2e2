// Whole patch files from the patch writer, applied by the test applier:
// version chains, executable patches, deflated bodies, protected ranges.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engwarp_support.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"

using testsupport::Join;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class EngwarpPatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngineForTest();
    root = Join(testsupport::ScratchDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
    testsupport::RemoveTree(root);
    testsupport::MakeDirs(root);
    std::string tmp = Join(root, "tmp");
    testsupport::MakeDirs(tmp);
#ifdef _WIN32
    _putenv_s("TMP", tmp.c_str());
    _putenv_s("TEMP", tmp.c_str());
#else
    setenv("TMPDIR", tmp.c_str(), 1);
#endif
  }

  // Writes the versions, makes a patch, returns its bytes.
  std::vector<uint8_t> Make(const std::vector<std::vector<uint8_t>>& versions, const std::string& ext = ".utp") {
    for (size_t i = 0; i < versions.size(); ++i) {
      std::string path = Join(root, "v" + std::to_string(i) + ".bin");
      WriteFileBytes(path, versions[i]);
      SourceList[i] = path;
    }
    SourceList[versions.size()] = Join(root, "out");
    SourceCount = static_cast<uint32_t>(versions.size() + 1);
    CreatePatch();
    return ReadFileBytes(Join(root, "out") + ext);
  }

  // Every old version must lead to the newest.
  void ExpectAppliesFromEveryVersion(const std::vector<uint8_t>& patch,
                                     const std::vector<std::vector<uint8_t>>& versions,
                                     const std::vector<uint8_t>* expected = nullptr) {
    for (size_t i = 0; i < versions.size(); ++i) {
      std::vector<uint8_t> out;
      std::string error;
      ASSERT_TRUE(testapply::ApplyFilePatch(patch, versions[i], &out, &error)) << "version " << i << ": " << error;
      EXPECT_EQ(out, expected ? *expected : versions.back()) << "version " << i;
    }
  }

  std::string root;
};

TEST_F(EngwarpPatch, VersionChains) {
  std::mt19937 rng(11);
  std::vector<std::vector<uint8_t>> versions{CodeLike(rng, 30000)};
  for (int i = 1; i < 20; ++i)
    versions.push_back(Mutate(rng, i % 3 ? versions.back() : ShiftAddresses(versions.back(), 16), 4));
  std::vector<std::vector<uint8_t>> three(versions.begin(), versions.begin() + 3);
  ExpectAppliesFromEveryVersion(Make(three), three);

  CompressPatchfile = 1;
  std::vector<std::vector<uint8_t>> six(versions.begin(), versions.begin() + 6);
  std::vector<uint8_t> patch = Make(six);
  testapply::Patch parsed;
  std::string error;
  ASSERT_TRUE(testapply::ParsePatch(patch, &parsed, &error)) << error;
  EXPECT_EQ(parsed.flags & 1, 1);
  ASSERT_EQ(parsed.files.size(), 1u);
  EXPECT_EQ(parsed.files[0].versions.size(), 5u);
  ExpectAppliesFromEveryVersion(patch, six);

  // The longest chain a file may have: the pairs as the writer encodes them,
  // walked by the applier from every version.
  testapply::PatchedFile file;
  file.size = static_cast<uint32_t>(versions.back().size());
  file.crc = testapply::Checksum(versions.back().data(), versions.back().size());
  std::vector<EncodedPair> pairs(19);
  for (size_t i = 0; i + 1 < versions.size(); ++i) {
    EncodePair(versions[i], versions[i + 1], &pairs[i]);
    pairs[i].version.crc = testapply::Checksum(versions[i].data(), versions[i].size());
    file.versions.push_back(pairs[i].version);
  }
  for (size_t i = 0; i < versions.size(); ++i) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(testapply::ApplyToFile(file, versions[i], &out, &error)) << i << ": " << error;
    EXPECT_EQ(out, versions.back()) << i;
  }
}

TEST_F(EngwarpPatch, SmallEmptyAndIdenticalFiles) {
  std::mt19937 rng(12);
  std::vector<uint8_t> some = TextLike(rng, 5000);
  std::vector<std::vector<std::vector<uint8_t>>> chains{
      {{}, some},
      {some, {}},
      {{1, 2, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {RandomBytes(rng, 11), RandomBytes(rng, 12), RandomBytes(rng, 13)},
  };
  // Files this small or empty never look similar to the file checks.
  ForcePatch = 1;
  for (const auto& chain : chains) ExpectAppliesFromEveryVersion(Make(chain), chain);

  std::vector<std::vector<uint8_t>> same{some, some};
  ExpectAppliesFromEveryVersion(Make(same), same);
}

TEST_F(EngwarpPatch, ExecutablePatchBehindTheStub) {
  std::mt19937 rng(13);
  std::vector<uint8_t> stub = RandomBytes(rng, 7000);
  WriteFileBytes(Join(root, "wendle.exe"), stub);
  ProgramDir = root + (root.find('\\') != std::string::npos ? "\\" : "/");
  PatchType = 1;
  std::vector<uint8_t> old = CodeLike(rng, 20000);
  std::vector<std::vector<uint8_t>> chain{old, Mutate(rng, ShiftAddresses(old, 32), 6)};
  std::vector<uint8_t> patch = Make(chain, ".exe");
  ASSERT_GT(patch.size(), stub.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), patch.begin()));
  testapply::Patch parsed;
  std::string error;
  ASSERT_TRUE(testapply::ParsePatch(patch, &parsed, &error)) << error;
  EXPECT_EQ(parsed.dataStart, stub.size());
  ExpectAppliesFromEveryVersion(patch, chain);
}

TEST_F(EngwarpPatch, ProtectedRangeSurvivesAtTheCustomer) {
  std::mt19937 rng(14);
  std::vector<uint8_t> v0 = CodeLike(rng, 20000);
  std::vector<uint8_t> v1 = Mutate(rng, v0, 5);
  std::vector<uint8_t> v2 = Mutate(rng, v1, 5);
  // A 40-byte serial number, at a different place in each version.
  const uint32_t length = 40, at[3] = {5000, 5100, 4900};
  std::vector<std::vector<uint8_t>> chain{v0, v1, v2};
  for (int i = 0; i < 3; ++i)
    for (uint32_t k = 0; k < length; ++k) chain[i][at[i] + k] = static_cast<uint8_t>(rng());
  ProtectionRanges.push_back("40,5000,5100,4900");
  std::vector<uint8_t> patch = Make(chain);

  // A customer's copy carries its own serial; the patched file keeps it.
  std::vector<uint8_t> customer = chain[0];
  for (uint32_t k = 0; k < length; ++k) customer[at[0] + k] = static_cast<uint8_t>('A' + k % 26);
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(patch, customer, &out, &error)) << error;
  std::vector<uint8_t> expected = chain[2];
  for (uint32_t k = 0; k < length; ++k) expected[at[2] + k] = customer[at[0] + k];
  EXPECT_EQ(out, expected);
}

TEST_F(EngwarpPatch, OptionsTravelInTheRecord) {
  std::mt19937 rng(15);
  std::vector<uint8_t> old = TextLike(rng, 20000);
  std::vector<std::vector<uint8_t>> chain{old, Mutate(rng, old, 30)};
  for (auto [a, b, flag, inNew] : {std::tuple<int, int, int, int>{10, 10, 0, 0}, {255, 10000, 1, 0}, {20, 190, 0, 1}}) {
    ResetEngineOptions();
    OptionA = static_cast<uint16_t>(a);
    OptionB = static_cast<uint16_t>(b);
    WarpFlag = static_cast<uint8_t>(flag);
    MatchInNewFile = static_cast<uint8_t>(inNew);
    ForcePatch = 1;
    ClampEngineNumericOptions();
    std::vector<uint8_t> patch = Make(chain);
    testapply::Patch parsed;
    std::string error;
    ASSERT_TRUE(testapply::ParsePatch(patch, &parsed, &error)) << error;
    const testapply::OldVersion& v = parsed.files[0].versions[0];
    EXPECT_EQ(v.optionA, a);
    EXPECT_EQ(v.optionB, b);
    EXPECT_EQ(v.flags & 1, inNew);
    ExpectAppliesFromEveryVersion(patch, chain);
  }
}

TEST_F(EngwarpPatch, DirectoryTrees) {
  std::mt19937 rng(16);
  std::string oldDir = Join(root, "old"), newDir = Join(root, "new"), outDir = Join(root, "applied");
  testsupport::MakeDirs(Join(oldDir, "sub"));
  testsupport::MakeDirs(Join(newDir, "sub"));
  std::vector<uint8_t> code = CodeLike(rng, 30000), text = TextLike(rng, 8000), added = RandomBytes(rng, 3000);
  std::vector<uint8_t> code2 = Mutate(rng, ShiftAddresses(code, 64), 5), text2 = Mutate(rng, text, 5);
  WriteFileBytes(Join(oldDir, "prog.exe"), code);
  WriteFileBytes(Join(Join(oldDir, "sub"), "read.txt"), text);
  WriteFileBytes(Join(newDir, "prog.exe"), code2);
  WriteFileBytes(Join(Join(newDir, "sub"), "read.txt"), text2);
  WriteFileBytes(Join(Join(newDir, "sub"), "added.bin"), added);
  SourceList[0] = oldDir;
  SourceList[1] = newDir;
  SourceList[2] = Join(root, "dirs");
  SourceCount = 3;
  CreatePatch();
  std::vector<uint8_t> patch = ReadFileBytes(Join(root, "dirs.utp"));
  std::string error;
  ASSERT_TRUE(testapply::ApplyDirectoryPatch(patch, oldDir, outDir, &error)) << error;
  EXPECT_EQ(ReadFileBytes(Join(outDir, "prog.exe")), code2);
  EXPECT_EQ(ReadFileBytes(Join(Join(outDir, "sub"), "read.txt")), text2);
  EXPECT_EQ(ReadFileBytes(Join(Join(outDir, "sub"), "added.bin")), added);
}

}  // namespace
