// Two releases of a real executable (fetched by scripts/fetch-testdata.sh,
// never committed), patched through the whole engine and applied by the
// test applier.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "engwarp_support.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"

using testsupport::Join;

namespace {

TEST(EngwarpRealData, ExecutableReleases) {
  std::string data = Join(Join(testsupport::SourceDir(), "build"), "testdata");
  std::string oldPath = Join(data, "postgres.old"), newPath = Join(data, "postgres.new");
  if (!testsupport::FileExists(oldPath) || !testsupport::FileExists(newPath))
    GTEST_SKIP() << "real test data absent: run scripts/fetch-testdata.sh";
  std::vector<uint8_t> oldData = testsupport::ReadFileBytes(oldPath);
  std::vector<uint8_t> newData = testsupport::ReadFileBytes(newPath);

  std::string root = testsupport::ScratchDir();
  std::string tmp = Join(root, "tmp");
  testsupport::MakeDirs(tmp);
#ifdef _WIN32
  _putenv_s("TMP", tmp.c_str());
  _putenv_s("TEMP", tmp.c_str());
#else
  setenv("TMPDIR", tmp.c_str(), 1);
#endif
#ifndef NDEBUG
  // The sanitizer build is many times slower: the leading 512 KiB of both
  // releases (code and its tables) keep the run short.
  const size_t limit = 512u << 10;
  oldData.resize(std::min(oldData.size(), limit));
  newData.resize(std::min(newData.size(), limit));
  oldPath = Join(root, "old.bin");
  newPath = Join(root, "new.bin");
  testsupport::WriteFileBytes(oldPath, oldData);
  testsupport::WriteFileBytes(newPath, newData);
#endif

  ResetEngineForTest();
  SourceList[0] = oldPath;
  SourceList[1] = newPath;
  SourceList[2] = Join(root, "real");
  SourceCount = 3;
  auto start = std::chrono::steady_clock::now();
  CreatePatch();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<uint8_t> patch = testsupport::ReadFileBytes(Join(root, "real.utp"));
  std::printf("real pair %zu -> %zu bytes: patch %zu bytes in %.2f s\n", oldData.size(), newData.size(),
              patch.size(), seconds);
  EXPECT_LT(patch.size(), newData.size() / 2);

  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(patch, oldData, &out, &error)) << error;
  EXPECT_TRUE(out == newData);
}

}  // namespace
