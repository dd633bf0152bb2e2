// Packing a finished patch file: the internal ZIP writer checked with unzip,
// and real zip and gzip started through the option templates.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dirsys.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "packer.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// Under Wine a Unix program starts from its Unix path, but the process handle
// does not wait for it; the test's host therefore runs it through RunUnix
// (a script that leaves a completion marker) and hands it Unix paths.
class UnixProgramHost : public EngineHost {
 public:
  bool RunAndWait(const std::string& commandLine, bool showWindow) override {
    std::vector<std::string> args = SysSplitCommandLine(commandLine);
    if (args.empty() || args[0][0] != '/') return EngineHost::RunAndWait(commandLine, showWindow);
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      bool dosPath = a.size() > 2 && std::isalpha(static_cast<unsigned char>(a[0])) && a[1] == ':' && a[2] == '\\';
      rest.push_back(dosPath ? ToUnixPath(a) : a);
    }
    std::string output;
    RunUnix(args[0], rest, &output);
    return true;
  }
};

// Records the command line instead of running anything.
class RecordingHost : public EngineHost {
 public:
  bool RunAndWait(const std::string& commandLine, bool showWindow) override {
    lines.push_back(commandLine);
    shown.push_back(showWindow);
    return true;
  }
  std::vector<std::string> lines;
  std::vector<bool> shown;
};

std::string FatalText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineException& e) {
    return e.what();
  }
  return "";
}

class Packer : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngineOptions();
    ResetPackerTable();
#ifdef _WIN32
    previous = SetEngineHost(&unixHost);
#else
    previous = SetEngineHost(nullptr);
#endif
    dir = Join(ScratchDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(dir);
    MakeDirs(dir);
    base = Join(dir, "fix");
    patch = base + ".utp";
    std::mt19937 rng(11);
    content.resize(150000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i % 7 == 0 ? rng() : i / 300);
    WriteFileBytes(patch, content);
  }
  void TearDown() override {
    SetEngineHost(previous);
    ResetPackerTable();
    ResetEngineOptions();
  }

  std::string Unzipped(const std::string& archive) {
    std::string out;
    EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-t", ToUnixPath(archive)}, &out), 0) << out;
    EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
    EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-p", ToUnixPath(archive)}, &out), 0);
    return out;
  }
  std::string Content() const { return std::string(content.begin(), content.end()); }

  UnixProgramHost unixHost;
  EngineHost* previous = nullptr;
  std::string dir, base, patch;
  std::vector<uint8_t> content;
};

TEST_F(Packer, InternalZipHoldsThePatchFileByteForByte) {
  PackerIndex = 0;
  WriteFileText(base + ".zip", "an old archive that must go");
  PackPatchfile(base, patch);
  EXPECT_EQ(Unzipped(base + ".zip"), Content());
  EXPECT_EQ(ReadFileBytes(patch), content);  // kept beside the archive
  // Only the file's own name goes into the archive, never the folders.
  std::string names;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-Z1", ToUnixPath(base + ".zip")}, &names), 0);
  EXPECT_EQ(names, "fix.utp\n");

  // An empty patch file still gives a valid archive.
  WriteFileText(patch, "");
  PackPatchfile(base, patch);
  EXPECT_EQ(Unzipped(base + ".zip"), "");
}

TEST_F(Packer, InternalZipReportsAnUnwritableArchive) {
  PackerIndex = 0;
  std::string badBase = Join(Join(dir, "no such dir"), "fix");
  EXPECT_EQ(FatalText([&] { PackPatchfile(badBase, patch); }),
            "Error, cannot create zip-file \"" + badBase + ".zip\" containing the patchfile.");
  EXPECT_EQ(FatalText([&] { PackPatchfile(base, Join(dir, "missing.utp")); }),
            "Error, cannot read created patchfile while trying to archive it as zipfile.");
}

TEST_F(Packer, RealZipThroughTheInfoZipTemplate) {
  PackerIndex = 1;
  ArchiveResult = 1;
  PackerTable[1].path = "/usr/bin/zip";
  CheckPacker(1);
  PackPatchfile(base, patch);
  EXPECT_EQ(Unzipped(base + ".zip"), Content());
}

TEST_F(Packer, RealGzipThroughATemplate) {
  PackerIndex = 3;
  ArchiveResult = 1;
  PackerTable[3].path = "/usr/bin/gzip";
  PackerTable[3].suffix = ".utp.gz";
  PackerTable[3].options = "-N -9 -k %p";
  CheckPacker(3);
  PackPatchfile(base, patch);
  std::string out;
  ASSERT_EQ(RunUnix("/usr/bin/gzip", {"-dc", ToUnixPath(base + ".utp.gz")}, &out), 0);
  EXPECT_EQ(out, Content());
  EXPECT_EQ(ReadFileBytes(patch), content);
}

// The product's own way of starting a program (no test host): the archive
// must be complete when the call returns.
TEST_F(Packer, PlatformProgramIsAwaited) {
  SetEngineHost(nullptr);
  PackerIndex = 6;
  ArchiveResult = 1;
#ifdef _WIN32
  PackerTable[6].path = "C:\\windows\\system32\\cmd.exe";
  PackerTable[6].options = "/c copy /b %p %b.arj";
#else
  PackerTable[6].path = "/bin/cp";
  PackerTable[6].options = "%p %b.arj";
#endif
  CheckPacker(6);
  PackPatchfile(base, patch);
  EXPECT_EQ(ReadFileBytes(base + ".arj"), content);
}

TEST_F(Packer, ArchiveThatIsNotCreatedIsAnError) {
  // The GZIP row as shipped names no file, so gzip packs its (empty) input
  // to standard output and no archive appears.
  PackerIndex = 3;
  PackerTable[3].path = "/usr/bin/gzip";
  EXPECT_EQ(FatalText([&] { PackPatchfile(base, patch); }), "Error, seems that hte archive could not be created?!");
  EXPECT_FALSE(FileExists(base + ".gz"));

  // A suffix that names the patch file itself must not cost the patch.
  PackerIndex = 0;
  PackerTable[0].suffix = ".UTP";
  EXPECT_EQ(FatalText([&] { PackPatchfile(base, patch); }), "Error, seems that hte archive could not be created?!");
  EXPECT_EQ(ReadFileBytes(patch), content);
}

TEST_F(Packer, CommandLineAndTemplateFormat) {
  RecordingHost recorder;
  SetEngineHost(&recorder);
  PackerIndex = 1;
  EXPECT_EQ(FatalText([] { PackPatchfile("C:\\out\\fix", "C:\\out\\fix.utp"); }),
            "Error, seems that hte archive could not be created?!");
  ASSERT_EQ(recorder.lines.size(), 1u);
  EXPECT_EQ(recorder.lines[0], "zip.exe -9 -g -q -X -j C:\\out\\fix.zip C:\\out\\fix.utp");
  EXPECT_FALSE(recorder.shown[0]);

  EXPECT_EQ(ExpandTemplate("a %% b %b-%p%%", "B", "P"), "a % b B-P%");
  PackerTable[2].options = "-9 %x %p";
  PackerIndex = 2;
  EXPECT_EQ(FatalText([&] { PackPatchfile(base, patch); }),
            "Error, packer options format does not allow other than %b or %p.");
  EXPECT_EQ(FatalText([] { ExpandTemplate("trailing %", "B", "P"); }),
            "Error, packer options format does not allow other than %b or %p.");
  EXPECT_EQ(recorder.lines.size(), 1u);
}

TEST_F(Packer, CheckFindsTheArchiverBeforeAnythingIsWritten) {
  CheckPacker(0);
  PackerTable[4].executable = "";
  EXPECT_EQ(FatalText([] { CheckPacker(4); }),
            "Error, packer support for selected packer unknown on this platform. Please inform us, if this is "
            "wrong!");
  EXPECT_NE(FatalText([] { CheckPacker(9); }), "");

  // Nothing is searched while packing is not requested.
  PackerTable[5].executable = "no-such-archiver.exe";
  CheckPacker(5);
  ArchiveResult = 1;
  EXPECT_EQ(FatalText([] { CheckPacker(5); }).rfind("Cannot find external packer program \"no-such-archiver.exe\"", 0),
            0u);
  PackerTable[5].path = Join(dir, "missing.exe");
  EXPECT_EQ(FatalText([] { CheckPacker(5); }),
            "Cannot find packer executable at \"" + PackerTable[5].path + "\", you'll need to correct that setting.");
  PackerTable[5].path = patch;  // any readable file will do
  CheckPacker(5);
}

}  // namespace
