// Trees of many releases, made by state_trees.py (files edited a little per
// release, left alone, renamed, moved, copied, dropped and brought back),
// patched by the shipped console program as a user runs it.  The patches of
// ten to sixteen versions must keep the very bytes they had when every
// order of the versions was still weighed, and every old version must come
// back as the newest; twenty versions must cost a few times ten, not the
// thousand times that trying the orders costs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "applier.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string Generated(const std::string& name, int versions, int files, int seed) {
  const std::string out = Join(ScratchDir(), name);
  RemoveTree(out);
  std::string log;
  const int rc = RunUnix("/usr/bin/python3",
                         {Join(SourceDir(), "tests/enginetree/state_trees.py"), out, std::to_string(versions),
                          std::to_string(files), std::to_string(seed)},
                         &log);
  EXPECT_EQ(rc, 0) << log;
  return out;
}

std::string Version(const std::string& tree, int v) {
  char name[8];
  std::snprintf(name, sizeof name, "v%02d", v);
  return Join(tree, name);
}

// Runs the console program on versions 0 .. versions-1 of tree; the
// patch's bytes, and the seconds the run took.
std::vector<uint8_t> Patch(const std::string& tree, int versions, double* seconds = nullptr) {
  std::vector<std::string> args{"-q"};
  for (int v = 0; v < versions; ++v) args.push_back(Version(tree, v));
  const std::string patch = Join(tree, "p.utp");
  args.push_back(patch);
  std::string out;
  const auto start = std::chrono::steady_clock::now();
  const int rc = RunUnix(MORVANE_CLI_PATH, args, &out);
  if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(rc, 0) << out;
  return ReadFileBytes(patch);
}

std::string Crc(const std::vector<uint8_t>& bytes) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08lx", crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  return hex;
}

// Applies the patch to old version v and checks every file of the newest
// version: rebuilt by the patch, or (left out of it as unchanged) the same
// in the old version.
void ExpectRebuilt(const std::vector<uint8_t>& patch, const std::string& tree, int v, int newest) {
  const std::string result = Join(tree, "result");
  RemoveTree(result);
  MakeDirs(result);
  std::string error;
  ASSERT_TRUE(testapply::ApplyDirectoryPatch(patch, Version(tree, v), result, &error)) << error << " v" << v;
  std::vector<std::string> files;
  const std::filesystem::path root = Version(tree, newest);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), root).string());
  ASSERT_FALSE(files.empty());
  int wrong = 0;
  for (const std::string& name : files) {
    const std::vector<uint8_t> want = ReadFileBytes(Join(Version(tree, newest), name));
    const std::string rebuilt = Join(result, name), kept = Join(Version(tree, v), name);
    const bool ok = FileExists(rebuilt) ? ReadFileBytes(rebuilt) == want
                                        : FileExists(kept) && ReadFileBytes(kept) == want;
    if (!ok && ++wrong <= 3) ADD_FAILURE() << name << " not rebuilt from v" << v;
  }
  EXPECT_EQ(wrong, 0) << tree << " from v" << v;
}

struct Case {
  int seed, versions;
  const char* crc;  // of the patch made when every order was weighed
};

// Each tree patched, the patch's CRC checked and the newest version rebuilt
// from a few old ones.
void ExpectPatches(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const std::string name = "states_s" + std::to_string(c.seed) + "_" + std::to_string(c.versions);
    const std::string tree = Generated(name, c.versions, 55, c.seed);
    const std::vector<uint8_t> patch = Patch(tree, c.versions);
    EXPECT_EQ(Crc(patch), c.crc) << name;
    for (int v = 0; v + 1 < c.versions; v += c.versions / 3) ExpectRebuilt(patch, tree, v, c.versions - 1);
    ExpectRebuilt(patch, tree, c.versions - 2, c.versions - 1);
    RemoveTree(tree);
  }
}

TEST(ReleaseTrees, PatchesOfTenToFifteenVersionsKeepTheirBytesAndRebuildEveryVersion) {
  ExpectPatches({
      {1, 10, "88a8def3"}, {1, 12, "7f000223"}, {3, 12, "df0601dd"}, {3, 14, "e9bdf80b"},
      {3, 15, "e9660b5b"}, {5, 12, "489b9a26"}, {6, 12, "e412c224"}, {6, 14, "065a187c"},
  });
}

// Trees where a search that runs out of states must still land on the plain
// search's chain: a file whose best chain jumps to another family of files
// and then takes the releases in order, and chains that tie on their score
// but for the rounding of where they part.
TEST(ReleaseTrees, PatchesOfTwelveToSixteenVersionsAreThoseOfTheSearchOfEveryOrder) {
  ExpectPatches({{2, 12, "48d60a97"}, {5, 14, "63a00120"}, {4, 15, "edda45cc"}, {2, 16, "a2d78939"}});
}

TEST(ReleaseTrees, TwentyVersionsCostAFewTimesTen) {
  const std::string ten = Generated("states_ten", 10, 55, 1), twenty = Generated("states_twenty", 20, 55, 1);
  double tenSeconds = 0, twentySeconds = 0;
  Patch(ten, 10, &tenSeconds);
  const std::vector<uint8_t> patch = Patch(twenty, 20, &twentySeconds);
  std::printf("ten versions %.2f s, twenty %.2f s: %.1f x\n", tenSeconds, twentySeconds, twentySeconds / tenSeconds);
  // Twice the pairs to diff and a search of nineteen trees instead of nine;
  // weighing the orders took over fifty times the ten-version run.
  EXPECT_LT(twentySeconds, 15 * tenSeconds);
  ExpectRebuilt(patch, twenty, 0, 19);
  ExpectRebuilt(patch, twenty, 9, 19);
  ExpectRebuilt(patch, twenty, 18, 19);
  RemoveTree(ten);
  RemoveTree(twenty);
}

}  // namespace
