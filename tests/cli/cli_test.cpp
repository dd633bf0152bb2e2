#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "applier.h"
#include "cli_run.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace testsupport;
using namespace clitest;

namespace {

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = Join(ScratchDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(dir);
    MakeDirs(dir);
    oldData = TextLikeBytes(200000, 1);
    newData = oldData;
    newData.insert(newData.begin() + 5000, {'n', 'e', 'w'});
    for (size_t i = 100000; i < 100400; ++i) newData[i] ^= 0x5A;
    oldFile = Join(dir, "old.bin");
    newFile = Join(dir, "new.bin");
    WriteFileBytes(oldFile, oldData);
    WriteFileBytes(newFile, newData);
  }

  testapply::Patch Parse(const std::string& path) {
    testapply::Patch p;
    std::string error;
    EXPECT_TRUE(testapply::ParsePatch(ReadFileBytes(path), &p, &error)) << error;
    return p;
  }

  void ExpectRebuilds(const std::string& patchPath) {
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(testapply::ApplyFilePatch(ReadFileBytes(patchPath), oldData, &out, &error)) << error;
    EXPECT_EQ(out, newData);
  }

  std::string dir, oldFile, newFile;
  std::vector<uint8_t> oldData, newData;
};

TEST_F(Cli, HelpListsEveryOptionWithItsDefault) {
  Result r = RunCli({"--help"});
  EXPECT_EQ(r.rc, 0);
  for (const char* option : {"--type", "--deflate", "--archive", "--packer", "--packer-path", "--packer-options",
                             "--backup", "--force", "--protect", "--ignore", "--ignore-in", "--match", "--option-a",
                             "--option-b", "--warp-offset", "--warp-flag", "--disk", "--sample-step", "--budget",
                             "--match-in-new", "--current-time", "--uniform-time", "--hidden", "--registry-first",
                             "--registry-second", "--quiet"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  EXPECT_NE(r.out.find("[Backup]"), std::string::npos);
  EXPECT_NE(r.out.find("InfoZIP"), std::string::npos);
}

TEST_F(Cli, UsageErrorsNameTheOptionAndExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {{"--option-a", "ten", oldFile, newFile, "p"}, "--option-a"},
      {{"--type", "7", oldFile, newFile, "p"}, "--type"},
      {{"--packer", "9", oldFile, newFile, "p"}, "--packer"},
      {{"--frobnicate", oldFile, newFile, "p"}, "--frobnicate"},
      {{"--ignore-in", "*.txt", oldFile, newFile, "p"}, "--ignore-in"},
      {{"--ignore-in", "0:*.txt", oldFile, newFile, "p"}, "--ignore-in"},
      {{"--disk=1", oldFile, newFile, "p"}, "--disk"},
      {{"--packer-path", "/bin/zip", oldFile, newFile, "p"}, "--packer-path"},
      {{"--backup"}, "--backup"},
      {{newFile, "p"}, "at least one source"},
  };
  for (const auto& c : cases) {
    Result r = RunCli(c.args);
    EXPECT_EQ(r.rc, 2) << c.expected << ": " << r.out;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
  }
  EXPECT_FALSE(FileExists(Join(dir, "p.utp")));
}

TEST_F(Cli, EngineErrorsExitWithOneAndMalformedProtectionWithTwenty) {
  Result r = RunCli({Join(dir, "missing.bin"), newFile, Join(dir, "p")});
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("can't find file"), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "p.utp")));

  r = RunCli({"-g", "100,zz", oldFile, newFile, Join(dir, "p")});
  EXPECT_EQ(r.rc, 20) << r.out;
  EXPECT_NE(r.out.find("Malformed protection info for option -g given!"), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "p.utp")));
  r = RunCli({"-g", "5:9999", oldFile, newFile, Join(dir, "p")});
  EXPECT_EQ(r.rc, 20) << r.out;
  EXPECT_NE(r.out.find("Malformed protection info for option -g given!"), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "p.utp")));

  // No applier stub beside the program: an executable patch is refused.
  r = RunCli({"--type", "1", oldFile, newFile, Join(dir, "p")});
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "p.exe")));
}

TEST_F(Cli, PlainPatchRebuildsTheNewFile) {
  Result r = RunCli({"-q", oldFile, newFile, Join(dir, "plain")});
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("Created plain patchfile"), std::string::npos) << r.out;
  ExpectRebuilds(Join(dir, "plain.utp"));
  EXPECT_EQ(Parse(Join(dir, "plain.utp")).backupDir, "Backup");
}

TEST_F(Cli, OptionsReachTheEngine) {
  ASSERT_EQ(RunCli({"-q", oldFile, newFile, Join(dir, "plain")}).rc, 0);
  ASSERT_EQ(RunCli({"-q", "--deflate", "--backup", "Old Files", "--registry-first", "Software\\A",
                    "--registry-second", "B", oldFile, newFile, Join(dir, "opts")})
                .rc,
            0);
  testapply::Patch p = Parse(Join(dir, "opts.utp"));
  EXPECT_EQ(p.flags & 0x03, 0x03);  // deflated body, registry information
  EXPECT_EQ(p.backupDir, "Old Files");
  EXPECT_EQ(p.registryFirst, "Software\\A");
  EXPECT_EQ(p.registrySecond, "B");
  ExpectRebuilds(Join(dir, "opts.utp"));

  ASSERT_EQ(RunCli({"-q", "--option-a", "200", "--option-b", "5000", oldFile, newFile, Join(dir, "warp")}).rc, 0);
  testapply::Patch w = Parse(Join(dir, "warp.utp"));
  ASSERT_EQ(w.files.size(), 1u);
  ASSERT_EQ(w.files[0].versions.size(), 1u);
  EXPECT_EQ(w.files[0].versions[0].optionA, 200);
  EXPECT_EQ(w.files[0].versions[0].optionB, 5000);
  ExpectRebuilds(Join(dir, "warp.utp"));

  // Out-of-range Warp values are clamped by the engine, not refused.
  ASSERT_EQ(RunCli({"-q", "--option-a", "3", "--option-b", "20000", oldFile, newFile, Join(dir, "clamped")}).rc, 0);
  testapply::Patch c = Parse(Join(dir, "clamped.utp"));
  EXPECT_EQ(c.files[0].versions[0].optionA, 20);
  EXPECT_EQ(c.files[0].versions[0].optionB, 190);

  ASSERT_EQ(RunCli({"-q", "--disk", "--budget", "1", oldFile, newFile, Join(dir, "disk")}).rc, 0);
  ExpectRebuilds(Join(dir, "disk.utp"));
}

TEST_F(Cli, IdenticalFilesNeedForce) {
  Result r = RunCli({"-q", oldFile, oldFile, Join(dir, "same")});
  EXPECT_NE(r.rc, 0) << r.out;
  r = RunCli({"-q", "-f", oldFile, oldFile, Join(dir, "forced")});
  EXPECT_EQ(r.rc, 0) << r.out;
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(ReadFileBytes(Join(dir, "forced.utp")), oldData, &out, &error)) << error;
  EXPECT_EQ(out, oldData);
}

TEST_F(Cli, DirectoryPatchHonoursIgnorePatternsAndPacksToZip) {
  std::string oldTree = Join(dir, "v1"), newTree = Join(dir, "v2");
  MakeDirs(Join(oldTree, "sub"));
  MakeDirs(Join(newTree, "sub"));
  WriteFileBytes(Join(oldTree, "app.bin"), oldData);
  WriteFileBytes(Join(newTree, "app.bin"), newData);
  WriteFileText(Join(oldTree, Join("sub", "notes.txt")), "old notes\n");
  WriteFileText(Join(newTree, Join("sub", "notes.txt")), "new notes, longer than the old ones\n");
  WriteFileText(Join(newTree, "added.log"), "a new log file\n");

  Result r = RunCli({"-q", "--ignore", "*.log", "--archive", oldTree, newTree, Join(dir, "tree")});
  ASSERT_EQ(r.rc, 0) << r.out;
  testapply::Patch p = Parse(Join(dir, "tree.utp"));
  EXPECT_EQ(p.mode, 2);
  for (const auto& e : p.embedded) EXPECT_EQ(e.name.find("added.log"), std::string::npos);
  EXPECT_EQ(p.files.size() + p.embedded.size(), 2u);

  std::string out;
  ASSERT_TRUE(FileExists(Join(dir, "tree.zip")));
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-t", ToUnixPath(Join(dir, "tree.zip"))}, &out), 0) << out;

  std::string result = Join(dir, "result");
  MakeDirs(result);
  std::string error;
  ASSERT_TRUE(testapply::ApplyDirectoryPatch(ReadFileBytes(Join(dir, "tree.utp")), oldTree, result, &error)) << error;
  EXPECT_EQ(ReadFileBytes(Join(result, "app.bin")), newData);
  EXPECT_FALSE(FileExists(Join(result, "added.log")));
}

#ifndef _WIN32
// An archiver that fails after writing part of its archive: the run must fail
// with its code and command line, the partial archive must go and the patch
// must stay, as in the windowed program.
TEST_F(Cli, FailingArchiverFailsTheRunAndKeepsThePatch) {
  std::string tools = Join(dir, "pack tools"), out = Join(dir, "my out");
  MakeDirs(tools);
  MakeDirs(out);
  std::string archiver = Join(tools, "fail.sh");
  WriteFileText(archiver, "#!/bin/sh\necho partial > \"$1\"\nexit 12\n");
  ASSERT_EQ(RunUnix("/bin/chmod", {"+x", archiver}), 0);
  Result r = RunCli({"-q", "--archive", "--packer", "1", "--packer-path", archiver, "--packer-options", "%b.zip %p",
                     oldFile, newFile, Join(out, "fix")});
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("exit code 12"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(archiver), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(Join(out, "fix.zip")));
  ExpectRebuilds(Join(out, "fix.utp"));
}
#endif

}  // namespace
