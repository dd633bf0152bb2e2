// A cancelled run leaves the engine from one of its progress hooks or host
// calls by an exception. Whatever point it leaves from, nothing of the run
// may stay on disk and the next run must be sound.
#include <gtest/gtest.h>

#include <stdexcept>

#include "applier.h"
#include "host.h"
#include "options.h"
#include "patchfile.h"
#include "patchrun_tree.h"
#include "test_support.h"

namespace {

struct Stop : std::runtime_error {
  Stop() : std::runtime_error("stopped") {}
};

int gCalls = 0;
int gStopAt = 0;

void Count() {
  if (++gCalls == gStopAt) throw Stop();
}
void PercentHook(int32_t) { Count(); }
void FileHook(uint32_t, uint32_t, const char*) { Count(); }

class CountingHost : public EngineHost {
 public:
  void NotifyPatchStart() override { Count(); }
  void NotifyVersionProgress(uint32_t, uint32_t) override { Count(); }
  void NotifyPatchSize(uint32_t) override { Count(); }
};

class Unwind : public ::testing::Test {
 protected:
  void SetUp() override {
    AllocEngineBuffers();
    root = testsupport::Join(testsupport::ScratchDir(), "unwind");
    testsupport::RemoveTree(root);
    tmp = testsupport::Join(root, "tmp");
    patchrun::UseTempDir(tmp);
    states = patchrun::MakeStates(root, 3, 3, 40000);
    output = testsupport::Join(root, "out.utp");
  }
  void TearDown() override {
    FinderProgressHook = OptimizeProgressHook = EncodeProgressHook = nullptr;
    FileProgressHook = nullptr;
    SetEngineHost(nullptr);
  }
  void Options() {
    ResetEngineOptions();
    for (size_t i = 0; i < states.size(); ++i) SourceList[i] = states[i];
    SourceList[states.size()] = output;
    SourceCount = static_cast<uint32_t>(states.size() + 1);
    ClampEngineNumericOptions();
  }
  std::string root, tmp, output;
  std::vector<std::string> states;
};

}  // namespace

TEST_F(Unwind, LeavingFromAnyHookRemovesTheRunsFilesAndTheNextRunIsSound) {
  CountingHost host;
  SetEngineHost(&host);
  FinderProgressHook = OptimizeProgressHook = EncodeProgressHook = PercentHook;
  FileProgressHook = FileHook;

  // Count the calls of a whole run, then leave at points spread over it:
  // the start, inside each pair's stages, between files, near the end.
  Options();
  gCalls = 0;
  gStopAt = -1;
  CreatePatch();
  const int total = gCalls;
  ASSERT_GT(total, 20);
  testsupport::RemoveTree(output);

  for (int stopAt : {1, 2, 7, total / 3, total / 2, total - 2, total}) {
    SCOPED_TRACE(stopAt);
    Options();
    gCalls = 0;
    gStopAt = stopAt;
    EXPECT_THROW(CreatePatch(), Stop);
    EXPECT_FALSE(testsupport::FileExists(output));
    EXPECT_EQ(patchrun::EntryCount(tmp), 0u);
    EXPECT_EQ(EngineInterruptible, 1);
  }

  Options();
  gCalls = 0;
  gStopAt = -1;
  CreatePatch();
  std::vector<uint8_t> patch = testsupport::ReadFileBytes(output);
  for (int from = 0; from < 2; ++from) {
    std::string out = testsupport::Join(root, "applied" + std::to_string(from));
    std::string error;
    ASSERT_TRUE(testapply::ApplyDirectoryPatch(patch, states[static_cast<size_t>(from)], out, &error)) << error;
    std::string difference;
    EXPECT_TRUE(patchrun::SameTree(states[2], out, &difference)) << difference;
  }
  EXPECT_EQ(patchrun::EntryCount(tmp), 0u);
}
