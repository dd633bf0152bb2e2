// Builds the patch creator's distribution as its developer does: the IDE's
// library search path leads to the stand-in loader, and "setup.exe -b"
// builds from BUILD.INF into build\wintest\dist.  The install suite uses
// what this leaves there; here it is taken apart again and every packed
// file compared with its source.
#include <windows.h>

#include <gtest/gtest.h>

#include "compress.h"
#include "installrecords.h"
#include "kitroutines.h"
#include "setup_test_common.h"
#include "test_support.h"
#include "win/install.h"

using namespace testsupport;
using namespace setuptest;

namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, int64_t first, int64_t last) {
  if (first < 0 || last < first || last >= static_cast<int64_t>(b.size())) return {};
  return std::vector<uint8_t>(b.begin() + first, b.begin() + last + 1);
}

// The archive's entries by source path, each extracted into dir.
std::vector<std::string> ExtractAll(const std::string& archive, int64_t offset, const std::string& dir) {
  TQnlwCompress reader(nullptr);
  reader.SetCompressedFile(archive);
  reader.SetOffset(offset);
  reader.SetExtractDirectory(dir);
  TStringList files;
  std::vector<std::string> names;
  for (int i = 0; i < reader.FileCount(); ++i) {
    TlzhFileStats stats;
    reader.GetFileStats(i, stats);
    files.Add(stats.Header.SourcePath);
    names.push_back(stats.Header.SourcePath);
  }
  reader.SetFilesToProcess(&files);
  reader.Extract();
  return names;
}

}  // namespace

TEST(SetupDistribution, SetupBuildsTheSelfExtractingDistributionOfThePatchCreator) {
  const std::string dist = DistDir();
  RemoveTree(dist);
  // The first entry has no kit marker and is passed over.
  WriteRegistryString(hkCurrentUser, TCustomInstall::IdeLibraryKey, "SearchPath",
                      Join(BuildDir(), "no kit") + ";" + KitDir());
  for (const TOddDate& d : kOddDates) {
    const std::string page = Join(FilesDir(), std::string("help\\") + d.Page);
    ASSERT_EQ(0, RunUnix("/usr/bin/touch", {"-m", "-d", d.Stamp, ToUnixPath(page)}, nullptr)) << page;
    ASSERT_EQ(DateOf(d), DateOf(page)) << page;
  }
  const std::string setup = Join(BuildDir(), "installer\\setup\\setup.exe");
  int code = -1;
  std::string complaint;
  {
    TProcess build("\"" + setup + "\" -b");
    // A failed build says why in a message box and waits there.
    DWORD end = GetTickCount() + 120000;
    while ((code = build.Wait(200)) < 0 && static_cast<int>(end - GetTickCount()) > 0) {
      complaint = MessageBoxTexts();
      if (!complaint.empty()) {
        Screenshot("setup_dist_failure");
        break;
      }
    }
  }
  DeleteRegistryKeyTree(hkCurrentUser, TCustomInstall::IdeLibraryKey);
  ASSERT_EQ("", complaint);
  ASSERT_EQ(0, code);

  // Loader, setup archive, file archive, trailer.
  const std::vector<uint8_t> exe = ReadFileBytes(Join(dist, "setup.exe"));
  const std::vector<uint8_t> loader = ReadFileBytes(Join(KitDir(), "QuenlowLoadProgram.exe"));
  ASSERT_GT(exe.size(), loader.size() + SelfExtractTrailerSize);
  EXPECT_TRUE(std::equal(loader.begin(), loader.end(), exe.begin()));
  TSelfExtractTrailer trailer;
  ASSERT_TRUE(DecodeSelfExtractTrailer(exe.data() + exe.size() - SelfExtractTrailerSize, SelfExtractTrailerSize,
                                       static_cast<int64_t>(exe.size()), trailer));
  EXPECT_EQ(static_cast<int64_t>(loader.size()), trailer.SetupStart);
  EXPECT_EQ(ReadFileBytes(Join(dist, "setup.1")), Slice(exe, trailer.SetupStart, trailer.SetupEnd));
  EXPECT_EQ(trailer.SetupEnd + 1, trailer.FilesStart);
  EXPECT_EQ(ReadFileBytes(Join(dist, "files.1")), Slice(exe, trailer.FilesStart, trailer.FilesEnd));
  EXPECT_EQ(static_cast<int64_t>(exe.size()) - SelfExtractTrailerSize - 1, trailer.FilesEnd);

  // The setup archive holds the setup program itself.
  const std::string out = Join(ScratchDir(), "out");
  std::vector<std::string> setupEntries = ExtractAll(Join(dist, "setup.exe"), trailer.SetupStart, out);
  ASSERT_EQ(1u, setupEntries.size());
  EXPECT_TRUE(SameText(setup, setupEntries[0])) << setupEntries[0];
  EXPECT_EQ(ReadFileBytes(setup), ReadFileBytes(Join(out, "setup.exe")));

  // The file archive: the programs, the ten help pages and the
  // uninstaller, each named by its source and equal to it.
  RemoveTree(out);
  std::vector<std::string> names = ExtractAll(Join(dist, "setup.exe"), trailer.FilesStart, out);
  std::vector<std::string> expected;
  for (const char* p : {"Morvane32.exe", "Wendle.exe", "Wendl32.exe"}) expected.push_back(Join(FilesDir(), p));
  for (const std::string& page : HelpPages()) expected.push_back(Join(FilesDir(), "help\\" + page));
  expected.push_back(Join(FilesDir(), "uninstall.exe"));
  ASSERT_EQ(expected.size(), names.size());
  for (const std::string& name : expected) {
    bool found = false;
    for (const std::string& n : names) found = found || SameText(n, name);
    EXPECT_TRUE(found) << name;
  }
  auto same = [&](const std::string& packed, const std::string& source) {
    std::vector<uint8_t> want = ReadFileBytes(source);
    EXPECT_FALSE(want.empty()) << source;
    EXPECT_EQ(want, ReadFileBytes(Join(out, packed))) << packed;
  };
  same("Morvane32.exe", Join(BuildDir(), "app\\Morvane32.exe"));
  same("Wendle.exe", Join(BuildDir(), "tests\\tools\\applierstandin\\Wendle.exe"));
  same("Wendl32.exe", Join(BuildDir(), "tests\\tools\\applierstandin\\Wendl32.exe"));
  same("uninstall.exe", Join(BuildDir(), "tests\\tools\\uninstall\\uninstall.exe"));
  for (const std::string& page : HelpPages()) same(page, Join(SourceDir(), "help\\" + page));
  for (const TOddDate& d : kOddDates) EXPECT_EQ(DateOf(d), DateOf(Join(out, d.Page))) << d.Page;
}
