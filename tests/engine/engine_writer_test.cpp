#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_run_fixture.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "patchrun.h"
#include "test_support.h"

using testsupport::FileExists;
using testsupport::Join;
using testsupport::MakeDirs;
using testsupport::ReadFileBytes;
using testsupport::WriteFileText;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::vector<uint8_t> Bytes(const testapply::Bytes& b) { return std::vector<uint8_t>(b.data, b.data + b.size); }


class PatchWriter : public EngineRun {
 protected:
  void TearDown() override { SetEngineHost(nullptr); }
};

TEST_F(PatchWriter, EmptyTreesGiveTheSmallestPatchByteForByte) {
  Sources({Dir("old"), Dir("new")}, Join(root, "p"));
  testing::internal::CaptureStdout();
  ASSERT_EQ(Run(), "");
  std::string out = testing::internal::GetCapturedStdout();
  std::string patch = Join(root, "p.utp");
  EXPECT_EQ(out, "\nCreated plain patchfile \"" + patch + "\" with 100 Bytes.\n");

  std::vector<uint8_t> want = {0x43, 0x84, 0x7F, 0x3E, 190, 0, 0, 0, 2, 0};
  std::vector<uint8_t> tag = Bytes("Morvane patch engine");
  tag.resize(64, 0);
  want.insert(want.end(), tag.begin(), tag.end());
  want.insert(want.end(), {8, 0, 'M', 'V', 'P', 'B', 1, 0, 0, 2, 6, 'B', 'a', 'c', 'k', 'u', 'p', 0});
  want.insert(want.end(), {100, 0, 0, 0, 0x43, 0x84, 0x7F, 0x3E});
  EXPECT_EQ(ReadFileBytes(patch), want);
  EXPECT_TRUE(TempDirEmpty());
}

class RecordingHost : public EngineHost {
 public:
  void NotifyPatchStart() override { ++starts; }
  void NotifyPatchSize(uint32_t bytes) override {
    sizes.push_back(bytes);
    if (throwAt && sizes.size() == throwAt) {
      if (cancel) EndPatchRun();
      throw std::runtime_error("host gave up");
    }
  }
  int starts = 0;
  std::vector<uint32_t> sizes;
  size_t throwAt = 0;
  bool cancel = false;
};

TEST_F(PatchWriter, EmbeddedFilesAndDeflatedBody) {
  std::string oldDir = Dir("old"), newDir = Dir("new");
  MakeDirs(Join(newDir, "sub"));
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i % 97) + "\n";
  WriteFileText(Join(newDir, "a.txt"), "hello");
  WriteFileText(Join(Join(newDir, "sub"), "b.bin"), big);

  RecordingHost host;
  SetEngineHost(&host);
  Sources({oldDir, newDir}, Join(root, "raw"));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(host.starts, 1);
  ASSERT_EQ(host.sizes.size(), 2u);  // one per entry
  EXPECT_LT(host.sizes[0], host.sizes[1]);

  CompressPatchfile = 1;
  Sources({oldDir, newDir}, Join(root, "packed.UTP"));
  ASSERT_EQ(Run(), "");
  EXPECT_FALSE(FileExists(Join(root, "packed.UTP.utp")));

  std::vector<uint8_t> rawFile = ReadFileBytes(Join(root, "raw.utp"));
  std::vector<uint8_t> packedFile = ReadFileBytes(Join(root, "packed.UTP"));
  testapply::Patch raw = Parse(rawFile), packed = Parse(packedFile);
  EXPECT_EQ(raw.flags, 0);
  EXPECT_EQ(packed.flags, 1);
  EXPECT_LT(packedFile.size(), rawFile.size() / 4);
  EXPECT_EQ(packed.body, raw.body);  // the deflated body inflates to the raw one
  EXPECT_EQ(std::vector<uint8_t>(packedFile.begin() + 76, packedFile.begin() + 78),
            (std::vector<uint8_t>{0x78, 0xDA}));  // zlib header, best compression

  ASSERT_EQ(raw.embedded.size(), 2u);
  for (const testapply::EmbeddedFile& e : raw.embedded) {
    if (e.name == "a.txt") {
      EXPECT_EQ(Bytes(e.content), Bytes("hello"));
    } else {
      EXPECT_EQ(e.name, "sub\\b.bin");
      EXPECT_EQ(Bytes(e.content), Bytes(big));
    }
    EXPECT_NE(e.dosTime, 0u);
  }
}

TEST_F(PatchWriter, ExecutableWithRegistryInformationAndTrailer) {
  WriteFileText(ProgramDir + "wendlint.exe", "MZ-stub-bytes");
  std::string newDir = Dir("new");
  WriteFileText(Join(newDir, "x.dat"), "0123456789");
  PatchType = 2;
  RegistryInfoFirst = "Software\\Vendor";
  RegistryInfoSecond = "Second";
  BackupDir = "";
  Sources({Dir("old"), newDir}, Join(root, "fix"));
  testing::internal::CaptureStdout();
  ASSERT_EQ(Run(), "");
  std::string out = testing::internal::GetCapturedStdout();

  std::string exe = Join(root, "fix.exe");
  std::vector<uint8_t> file = ReadFileBytes(exe);
  EXPECT_EQ(out, "Embedding registry information!\nNo source for \"x.dat\", embedding file.\n\nCreated executable patchfile \"" + exe + "\" with " +
                     std::to_string(file.size()) + " Bytes.\n");
  testapply::Patch p = Parse(file);
  EXPECT_EQ(p.dataStart, 13u);  // the stub, unchanged, in front
  EXPECT_EQ(std::string(file.begin(), file.begin() + 13), "MZ-stub-bytes");
  EXPECT_TRUE(p.typeTwoTrailer);
  EXPECT_EQ(p.flags, 2);
  EXPECT_EQ(p.registryFirst, "Software\\Vendor");
  EXPECT_EQ(p.registrySecond, "Second");
  EXPECT_EQ(p.backupDir, "");
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 13 + 74, file.begin() + 13 + 84),
            (std::vector<uint8_t>{8, 0, 'M', 'V', 'P', 'B', 1, 0, 2, 2}));
  ASSERT_EQ(p.embedded.size(), 1u);
  EXPECT_EQ(p.embedded[0].name, "x.dat");
  EXPECT_FALSE(FileExists(Join(root, "fix")));
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(PatchWriter, PackedResultSitsBesideThePatch) {
  std::string newDir = Dir("new");
  WriteFileText(Join(newDir, "x.dat"), "data");
  ArchiveResult = 1;
  Sources({Dir("old"), newDir}, Join(root, "p.utp"));
  ASSERT_EQ(Run(), "");
  EXPECT_TRUE(FileExists(Join(root, "p.utp")));
  EXPECT_TRUE(FileExists(Join(root, "p.zip")));
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(PatchWriter, OutputNames) {
  struct Case {
    const char* given;
    uint32_t type;
    const char* output;
    const char* base;
  } cases[] = {{"patch.UTP", 0, "patch.UTP", "patch"}, {"patch", 0, "patch.utp", "patch"},
               {"fix", 3, "fix.exe", "fix"},           {"fix.EXE", 1, "fix.EXE", "fix"},
               {"fix.utp", 4, "fix.utp.exe", "fix.utp"}, {".utp", 0, ".utp", ""},
               {"tp", 0, "tp.utp", "tp"}};
  for (const Case& c : cases) {
    std::string output, base;
    ChooseOutputNames(c.given, c.type, output, base);
    EXPECT_EQ(output, c.output) << c.given;
    EXPECT_EQ(base, c.base) << c.given;
  }
}

TEST_F(PatchWriter, MissingStubLeavesNothingBehind) {
  std::string newDir = Dir("new");
  WriteFileText(Join(newDir, "x.dat"), "data");
  PatchType = 3;
  Sources({Dir("old"), newDir}, Join(root, "fix"));
  std::string message = Run();
  EXPECT_NE(message.find("wendl32.exe"), std::string::npos) << message;
  EXPECT_FALSE(FileExists(Join(root, "fix.exe")));
  EXPECT_TRUE(TempDirEmpty());
}

// A malformed protected range ends the process with code 20; nothing that
// looks like a patch, and no temporary file, may stay behind. File runs are
// refused before the output is opened; directory runs judge the entry per
// file, after the output was begun, and must remove it.
TEST_F(PatchWriter, MalformedProtectionExitsTwentyAndLeavesNoPatch) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string oldFile = Write("old.bin", std::vector<uint8_t>(4000, 1));
  std::vector<uint8_t> changed(4000, 1);
  changed[100] = 2;
  std::string newFile = Write("new.bin", changed);
  for (const char* entry : {"5:9999", "100,zz", "100,5"}) {
    ResetEngineOptions();
    ProtectionRanges = {entry};
    Sources({oldFile, newFile}, Join(root, "file"));
    EXPECT_EXIT(CreatePatch(), ::testing::ExitedWithCode(20), "") << entry;
    EXPECT_FALSE(FileExists(Join(root, "file.utp"))) << entry;
    EXPECT_TRUE(TempDirEmpty()) << entry;
  }

  std::string oldDir = Dir("old"), newDir = Dir("new");
  testsupport::WriteFileBytes(Join(oldDir, "a.bin"), std::vector<uint8_t>(4000, 1));
  testsupport::WriteFileBytes(Join(newDir, "a.bin"), changed);
  ResetEngineOptions();
  ProtectionRanges = {"a.bin,a.bin,10,zz,5"};
  Sources({oldDir, newDir}, Join(root, "tree"));
  EXPECT_EXIT(CreatePatch(), ::testing::ExitedWithCode(20), "");
  EXPECT_FALSE(FileExists(Join(root, "tree.utp")));
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(PatchWriter, OverlongNameAbortsAndRemovesOutput) {
  std::string oldDir = Dir("old"), newDir = Dir("new");
  BackupDir = std::string(255, 'b');
  Sources({oldDir, newDir}, Join(root, "ok"));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(Parse(ReadFileBytes(Join(root, "ok.utp"))).backupDir, BackupDir);

  for (uint32_t type : {0u, 1u}) {
    WriteFileText(ProgramDir + "wendle.exe", "stub");
    ResetEngineOptions();
    PatchType = type;
    BackupDir = std::string(256, 'b');
    Sources({oldDir, newDir}, Join(root, "long"));
    EXPECT_EQ(Run(), "Error, Filenames longer than 255 characters not supported!");
    EXPECT_FALSE(FileExists(Join(root, "long.utp")));
    EXPECT_FALSE(FileExists(Join(root, "long.exe")));
    EXPECT_TRUE(TempDirEmpty()) << type;
  }
}

#ifndef _WIN32
TEST_F(PatchWriter, OverlongRelativeNameAbortsAndRemovesOutput) {
  std::string newDir = Dir("new");
  std::string deep = Join(Join(newDir, std::string(100, 'd')), std::string(100, 'e'));
  MakeDirs(deep);
  WriteFileText(Join(deep, std::string(54, 'f')), "x");  // relative name of 256
  Sources({Dir("old"), newDir}, Join(root, "long"));
  EXPECT_EQ(Run(), "Error, Filenames longer than 255 characters not supported!");
  EXPECT_FALSE(FileExists(Join(root, "long.utp")));
}
#endif

TEST_F(PatchWriter, RefusesOutputOverASource) {
  std::string one = Join(root, "one.bin"), two = Join(root, "two.utp");
  WriteFileText(one, std::string(3000, 'a'));
  WriteFileText(two, std::string(3000, 'b'));
  Sources({one, two}, two);
  EXPECT_NE(Run().find("would overwrite"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(two), Bytes(std::string(3000, 'b')));

  // The same file under another spelling.
  Sources({one, two}, Join(Join(root, "."), "two"));
  EXPECT_NE(Run().find("would overwrite"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(two), Bytes(std::string(3000, 'b')));

  std::string oldDir = Dir("old"), newDir = Dir("new");
  WriteFileText(Join(newDir, "x.dat"), "x");
  Sources({oldDir, newDir}, Join(Join(oldDir, "inside"), "p"));
  MakeDirs(Join(oldDir, "inside"));
  EXPECT_NE(Run().find("would overwrite"), std::string::npos);
  EXPECT_FALSE(FileExists(Join(Join(oldDir, "inside"), "p.utp")));

  // Nor may an executable patch replace its own applier stub.
  WriteFileText(ProgramDir + "wendle.exe", "stub");
  PatchType = 1;
  Sources({oldDir, newDir}, ProgramDir + "wendle");
  EXPECT_NE(Run().find("would overwrite the applier"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(ProgramDir + "wendle.exe"), Bytes("stub"));
}

TEST_F(PatchWriter, HostFailureOrCancelLeavesNothingBehind) {
  std::string oldDir = Dir("old"), newDir = Dir("new");
  WriteFileText(Join(newDir, "a.dat"), "a");
  WriteFileText(Join(newDir, "b.dat"), "b");
  WriteFileText(ProgramDir + "wendle.exe", "stub");
  for (bool cancel : {false, true}) {
    for (uint32_t type : {0u, 1u}) {
      RecordingHost host;
      host.throwAt = 1;
      host.cancel = cancel;
      SetEngineHost(&host);
      ResetEngineOptions();
      PatchType = type;
      Sources({oldDir, newDir}, Join(root, "p"));
      EXPECT_EQ(Run(), "host gave up");
      EXPECT_FALSE(FileExists(Join(root, "p.utp")));
      EXPECT_FALSE(FileExists(Join(root, "p.exe")));
      EXPECT_TRUE(TempDirEmpty());
      EXPECT_EQ(EngineInterruptible, 1);
    }
  }
}

TEST_F(PatchWriter, FileModeFailuresRemoveOutput) {
  std::string a = Join(root, "a.bin"), b = Join(root, "b.bin");
  std::string content(5000, 'z');
  WriteFileText(a, content);
  WriteFileText(b, content);
  Sources({a, b}, Join(root, "p"));
  EXPECT_NE(Run().find("identical to all sources"), std::string::npos);
  EXPECT_FALSE(FileExists(Join(root, "p.utp")));

  Sources({a, Join(root, "missing.bin")}, Join(root, "p"));
  EXPECT_EQ(Run(), "Error, can't find file \"" + Join(root, "missing.bin") + "\"!\n");
  GermanMessages = 1;
  EXPECT_EQ(Run(), "Fehler, kann Datei \"" + Join(root, "missing.bin") + "\" nicht finden!\n");
  GermanMessages = 0;

  Sources({a, Dir("tree")}, Join(root, "p"));
  EXPECT_NE(Run().find("does not exist or is no directory"), std::string::npos);
  EXPECT_FALSE(FileExists(Join(root, "p.utp")));
}

#ifndef _WIN32
TEST_F(PatchWriter, FilesOfFourGigabytesAreRefused) {
  std::string huge = Join(root, "huge.bin");
  FILE* f = std::fopen(huge.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fseeko(f, 0x100000000LL, SEEK_SET), 0);  // sparse: 4 GiB + 1 byte
  std::fputc(1, f);
  std::fclose(f);
  PatchFile = std::tmpfile();
  PatchMode = 2;
  std::string message;
  try {
    EmbedFile(huge, "huge.bin");
  } catch (const EngineException& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("4 GB or larger"), std::string::npos) << message;
  EXPECT_EQ(PatchFile, nullptr);
  std::remove(huge.c_str());
}
#endif

}  // namespace
