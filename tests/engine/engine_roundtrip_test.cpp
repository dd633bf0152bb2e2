// Whole runs through the difference finder and encoder, read back with the
// test-only reader and rebuilt with the test-only applier.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine_run_fixture.h"
#include "options.h"
#include "patchfile.h"
#include "streams.h"
#include "test_support.h"

using testsupport::FileExists;
using testsupport::Join;
using testsupport::MakeDirs;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

// Deterministic pseudo-text: a new version is an old one with edits.
std::vector<uint8_t> MakeVersion(uint32_t seed, size_t size, int edits) {
  std::vector<uint8_t> data(size);
  uint32_t x = 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data[i] = static_cast<uint8_t>("abcdefghij klmnop\n"[(x >> 16) % 18]);
  }
  uint32_t y = seed;
  for (int e = 0; e < edits; ++e) {
    y = y * 69069u + 1u;
    size_t at = (y >> 8) % (size - 64);
    for (int k = 0; k < 40; ++k) data[at + k] = static_cast<uint8_t>("abcdefghij klmnop\n"[(y >> (k % 24)) % 18]);
  }
  return data;
}

// The next version: the same bytes with further edits.
std::vector<uint8_t> Evolve(std::vector<uint8_t> data, uint32_t seed, int edits) {
  uint32_t y = seed;
  for (int e = 0; e < edits; ++e) {
    y = y * 69069u + 1u;
    size_t at = (y >> 8) % (data.size() - 64);
    for (int k = 0; k < 40; ++k) data[at + k] = static_cast<uint8_t>("abcdefghij klmnop\n"[(y >> (k % 24)) % 18]);
  }
  return data;
}

uint32_t Crc(const std::vector<uint8_t>& d) {
  return Crc32Update(d.data(), static_cast<int32_t>(d.size()), 0xFFFFFFFFu);
}

class Roundtrip : public EngineRun {
 protected:
  void RunOk(const std::vector<std::string>& sources, const std::string& output) {
    Sources(sources, output);
    ASSERT_EQ(Run(), "");
  }
};

TEST_F(Roundtrip, ThreeVersionsGiveTwoRecordsOldestFirst) {
  std::vector<uint8_t> v1 = MakeVersion(1, 60000, 0), v2 = Evolve(v1, 2, 30), v3 = Evolve(v2, 3, 30);
  std::string p1 = Write("v1.bin", v1), p2 = Write("v2.bin", v2), p3 = Write("v3.bin", v3);
  for (int variant = 0; variant < 2; ++variant) {
    ResetEngineOptions();
    ClampEngineNumericOptions();
    CompressPatchfile = static_cast<uint8_t>(variant);
    std::string output = Join(root, variant ? "deflated" : "plain");
    RunOk({p1, p2, p3}, output);
    std::vector<uint8_t> file = ReadFileBytes(output + ".utp");

    testapply::Patch p = Parse(file);
    EXPECT_EQ(p.mode, 1);
    EXPECT_EQ(p.dataStart, 0u);
    ASSERT_EQ(p.files.size(), 1u);
    const testapply::PatchedFile& e = p.files[0];
    EXPECT_EQ(e.crc, Crc(v3));
    EXPECT_EQ(e.size, v3.size());
    EXPECT_EQ(e.flags, 0);
    ASSERT_EQ(e.versions.size(), 2u);
    EXPECT_EQ(e.versions[0].crc, Crc(v1));
    EXPECT_EQ(e.versions[1].crc, Crc(v2));
    EXPECT_EQ(e.versions[0].optionB, 190);
    EXPECT_EQ(e.versions[0].optionA, 20);
    EXPECT_LT(file.size(), v3.size() / 4);

    for (const auto* old : {&v1, &v2, &v3}) {
      std::vector<uint8_t> rebuilt;
      std::string error;
      ASSERT_TRUE(testapply::ApplyFilePatch(file, *old, &rebuilt, &error)) << error;
      EXPECT_EQ(rebuilt, v3);
    }
  }
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(Roundtrip, ExecutableFilePatchApplies) {
  std::vector<uint8_t> v1 = MakeVersion(4, 20000, 0), v2 = MakeVersion(5, 21000, 12);
  std::string p1 = Write("a.bin", v1), p2 = Write("b.bin", v2);
  WriteFileBytes(ProgramDir + "wendl16i.exe", std::vector<uint8_t>(777, 0x4D));
  PatchType = 6;
  RunOk({p1, p2}, Join(root, "fix"));
  std::vector<uint8_t> file = ReadFileBytes(Join(root, "fix.exe"));
  EXPECT_EQ(Parse(file).dataStart, 777u);
  std::vector<uint8_t> rebuilt;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(file, v1, &rebuilt, &error)) << error;
  EXPECT_EQ(rebuilt, v2);
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(Roundtrip, ProtectedRangeIsLeftOutOfChecksumsInBothPairModes) {
  std::vector<uint8_t> v1 = MakeVersion(6, 30000, 0), v2 = MakeVersion(7, 30000, 10);
  for (int k = 0; k < 16; ++k) {
    v1[1000 + k] = static_cast<uint8_t>(k);
    v2[2000 + k] = static_cast<uint8_t>(100 + k);
  }
  std::string p1 = Write("a.bin", v1), p2 = Write("b.bin", v2);
  std::vector<uint8_t> file[2];
  for (int disk = 0; disk < 2; ++disk) {
    ResetEngineOptions();
    ClampEngineNumericOptions();
    InMemory = static_cast<uint8_t>(!disk);
    ProtectionRanges = {"16,1000,2000"};
    std::string output = Join(root, disk ? "disk" : "memory");
    RunOk({p1, p2}, output);
    file[disk] = ReadFileBytes(output + ".utp");
    testapply::Patch p = Parse(file[disk]);
    ASSERT_EQ(p.files.size(), 1u);
    const testapply::PatchedFile& e = p.files[0];
    EXPECT_EQ(e.flags, 1);
    EXPECT_EQ(e.rangeStart, 2000u);
    EXPECT_EQ(e.rangeLength, 16u);
    EXPECT_EQ(e.crc, testapply::Checksum(v2.data(), v2.size(), 2000, 16)) << disk;
    ASSERT_EQ(e.versions.size(), 1u);
    EXPECT_EQ(e.versions[0].rangeStart, 1000u);
    EXPECT_EQ(e.versions[0].crc, testapply::Checksum(v1.data(), v1.size(), 1000, 16)) << disk;
    std::vector<uint8_t> rebuilt;
    std::string error;
    ASSERT_TRUE(testapply::ApplyFilePatch(file[disk], v1, &rebuilt, &error)) << error;
  }
}

TEST_F(Roundtrip, DirectoryPatchWithPatchedEmbeddedAndSkippedFiles) {
  std::string a = Join(root, "a"), b = Join(root, "b"), c = Join(root, "c");
  for (const std::string& d : {a, b, c}) MakeDirs(Join(d, "sub"));
  std::vector<uint8_t> lib1 = MakeVersion(8, 40000, 0), lib2 = Evolve(lib1, 9, 20), lib3 = Evolve(lib2, 10, 20),
                       same = MakeVersion(11, 5000, 3);
  WriteFileBytes(Join(Join(a, "sub"), "lib.dll"), lib1);
  WriteFileBytes(Join(Join(b, "sub"), "lib.dll"), lib2);
  WriteFileBytes(Join(Join(c, "sub"), "lib.dll"), lib3);
  for (const std::string& d : {a, b, c}) WriteFileBytes(Join(d, "same.txt"), same);
  std::vector<uint8_t> fresh(50, 'n');
  WriteFileBytes(Join(c, "fresh.txt"), fresh);
  MatchPatterns.push_back({"*.dll", 0});

  RunOk({a, b, c}, Join(root, "tree"));
  std::vector<uint8_t> file = ReadFileBytes(Join(root, "tree.utp"));
  testapply::Patch p = Parse(file);
  EXPECT_EQ(p.mode, 2);
  ASSERT_EQ(p.embedded.size(), 1u);  // same.txt is skipped
  EXPECT_EQ(p.embedded[0].name, "fresh.txt");
  ASSERT_EQ(p.files.size(), 1u);
  const testapply::PatchedFile& e = p.files[0];
  EXPECT_EQ(e.name, "sub\\lib.dll");
  EXPECT_EQ(e.flags, 2);  // matches a pattern
  ASSERT_EQ(e.versions.size(), 2u);
  EXPECT_EQ(e.versions[0].name, "sub\\lib.dll");
  EXPECT_EQ(e.versions[0].crc, Crc(lib1));
  EXPECT_EQ(e.versions[1].crc, Crc(lib2));

  std::string out = Join(root, "out");
  MakeDirs(out);
  std::string error;
  ASSERT_TRUE(testapply::ApplyDirectoryPatch(file, a, out, &error)) << error;
  EXPECT_EQ(ReadFileBytes(Join(Join(out, "sub"), "lib.dll")), lib3);
  EXPECT_EQ(ReadFileBytes(Join(out, "fresh.txt")), fresh);
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(Roundtrip, ForcedSingleSourceRecordsTheRealChecksum) {
  std::vector<uint8_t> only = MakeVersion(12, 3000, 0);
  std::string path = Write("only.bin", only);
  ForcePatch = 1;
  RunOk({path}, Join(root, "single"));
  testapply::Patch p = Parse(ReadFileBytes(Join(root, "single.utp")));
  ASSERT_EQ(p.files.size(), 1u);
  EXPECT_EQ(p.files[0].versions.size(), 0u);
  EXPECT_EQ(p.files[0].crc, Crc(only));
  EXPECT_EQ(p.files[0].size, only.size());
}

}  // namespace
