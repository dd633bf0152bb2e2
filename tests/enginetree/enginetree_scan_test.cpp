// Scanning, similarity, the chain search and the shared file routines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <sys/stat.h>
#include <utime.h>
#endif

#include "dirsys.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "scan.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string Dir(const std::string& name) {
  std::string d = Join(ScratchDir(), name);
  RemoveTree(d);
  MakeDirs(d);
  return d;
}

void Put(const std::string& dir, const std::string& rel, const std::string& content) {
  std::string path = dir;
  std::string part;
  for (char c : rel) {
    if (c == '/') {
      path = Join(path, part);
      MakeDirs(path);
      part.clear();
    } else {
      part += c;
    }
  }
  WriteFileText(Join(path, part), content);
}

std::vector<std::string> Names(const DirectoryStream& s) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < s.Count(); ++i) names.push_back(s.At(i)->relativePath);
  return names;
}

void ClearStreamList() {
  for (uint32_t i = 0; i < DirectoryStreams.Count(); ++i)
    delete reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(i));
  DirectoryStreams.Clear();
}

class Tree : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngineOptions();
    ResetDirectorySerial();
  }
  void TearDown() override {
    ClearStreamList();
    ResetEngineOptions();
  }
};

TEST_F(Tree, ScanGivesSortedBackslashNamesAndSkipsHiddenEntries) {
  std::string root = Dir("scan");
  Put(root, "b.txt", "bb");
  Put(root, "a/z.bin", "zzz");
  Put(root, "a/deep/x.dat", "x");
  Put(root, ".hidden", "secret");
  Put(root, ".git/config", "cfg");
#ifndef _WIN32
  // A pipe in the tree must neither block the scan nor count as a file.
  ASSERT_EQ(mkfifo(Join(root, "pipe").c_str(), 0600), 0);
#endif

  DirectoryStream plain(root);
  EXPECT_EQ(Names(plain), (std::vector<std::string>{"a\\deep\\x.dat", "a\\z.bin", "b.txt"}));
  EXPECT_EQ(plain.totalSize, 6u);
  EXPECT_EQ(plain.At(0)->fullPath, Join(Join(Join(root, "a"), "deep"), "x.dat"));
  EXPECT_EQ(plain.serial, 0u);

  ScanFlag = 1;
  DirectoryStream all(root);
  EXPECT_EQ(all.serial, 1u);
  EXPECT_EQ(Names(all),
            (std::vector<std::string>{".git\\config", ".hidden", "a\\deep\\x.dat", "a\\z.bin", "b.txt"}));
  EXPECT_EQ(FindByRelativeName(&all, "A\\Z.BIN"), all.At(3));
  EXPECT_EQ(FindByRelativeName(&all, "z.bin"), nullptr);

  DirectoryStream missing(Join(root, "nope"));
  EXPECT_EQ(missing.Count(), 0u);
  EXPECT_FALSE(ScanDirectory(&missing, Join(root, "nope"), ""));
}

TEST_F(Tree, EntryHoldsChecksumAndFrequencies) {
  std::string root = Dir("entry");
  std::string content(3000, 'a');
  content += std::string(1000, 'b');  // spans two read pieces
  Put(root, "f", content);
  Put(root, "empty", "");
  FileEntry e(Join(root, "f"), "f");
  EXPECT_EQ(e.size, 4000u);
  EXPECT_EQ(e.crc, Crc32Update(content.data(), static_cast<int32_t>(content.size()), 0xFFFFFFFF));
  EXPECT_DOUBLE_EQ(e.frequencies['a'], 0.75);
  EXPECT_DOUBLE_EQ(e.frequencies['b'], 0.25);
  FileEntry z(Join(root, "empty"), "empty");
  EXPECT_EQ(z.size, 0u);
  EXPECT_EQ(z.frequencies[0], 0.0);
  EXPECT_TRUE(Identical(&z, &z));

  try {
    FileEntry gone(Join(root, "gone"), "gone");
    FAIL() << "a missing file must end the run";
  } catch (const EngineException& ex) {
    EXPECT_EQ(std::string(ex.what()),
              "Error, can't access file \"" + Join(root, "gone") + "\" in directory being scanned!");
  }
}

TEST_F(Tree, IgnorePatternsApplyPerVersion) {
  std::vector<std::string> roots;
  for (int v = 0; v < 3; ++v) {
    roots.push_back(Dir("ign" + std::to_string(v)));
    Put(roots.back(), "keep.txt", "k");
    Put(roots.back(), "sub/debug.log", "log");
    Put(roots.back(), "cache.tmp", "tmp");
  }
  SourceCount = 4;  // three trees and the output name
  IgnorePattern logs;
  logs.pattern = "*.log";
  logs.allOld = 1;
  IgnorePattern tmpInSecond;
  tmpInSecond.pattern = "cache.tmp";
  tmpInSecond.perVersion[1] = 1;
  IgnorePattern keepInNewest;
  keepInNewest.pattern = "KEEP.TXT";
  keepInNewest.newest = 1;
  IgnorePatterns = {logs, tmpInSecond, keepInNewest};

  DirectoryStream v0(roots[0]), v1(roots[1]), v2(roots[2]);
  EXPECT_EQ(Names(v0), (std::vector<std::string>{"cache.tmp", "keep.txt"}));
  EXPECT_EQ(Names(v1), (std::vector<std::string>{"keep.txt"}));
  EXPECT_EQ(Names(v2), (std::vector<std::string>{"cache.tmp", "sub\\debug.log"}));
  EXPECT_EQ(v2.totalSize, 6u);
}

// A new file of 1000 'a' bytes against candidates of 'a' and 'b' mixed: the
// share of 'b' sets the similarity.
std::string Mix(int bCount, char a = 'a', char b = 'b') {
  return std::string(1000 - bCount, a) + std::string(bCount, b);
}

TEST_F(Tree, SimilarityFollowsByteStatistics) {
  std::string root = Dir("sim");
  Put(root, "new", Mix(0));
  Put(root, "same", Mix(0));
  Put(root, "b200", Mix(200));
  Put(root, "small", std::string(198, 'a') + "b");  // 199 bytes
  Put(root, "other", std::string(1000, 'c'));
  FileEntry n(Join(root, "new"), "new"), same(Join(root, "same"), "same"), b200(Join(root, "b200"), "b200"),
      small(Join(root, "small"), "small"), other(Join(root, "other"), "other");
  EXPECT_EQ(Similarity(&n, &same), 1.0);
  // 1 - 2 * 0.2^2 - 0.01 for the value found only in the candidate.
  EXPECT_NEAR(Similarity(&n, &b200), 0.91, 1e-12);
  EXPECT_EQ(Similarity(&n, &small), 0.0);
  EXPECT_EQ(Similarity(&n, &other), 0.0);
  // Identical content wins even below the size limit.
  FileEntry s2(Join(root, "small"), "again");
  EXPECT_EQ(Similarity(&small, &s2), 1.0);
}

struct ChainCase {
  int sameNamedB;  // share of 'b' in the same-named candidate
  int otherB;      // share of 'b' in the other candidate (listed first)
  bool sameWins;
};

TEST_F(Tree, SameNameWinsOnlyFromNinetyPercentAndOnTies) {
  const ChainCase cases[] = {
      {200, 200, true},    // 0.91 each: the tie goes to the name
      {200, 100, false},   // 0.97 beats the named 0.91
      {210, 210, true},    // 0.9018 each: still named (at least 0.9)
      {220, 220, false},   // 0.8932 each: the name gives no preference
  };
  for (const ChainCase& c : cases) {
    ClearStreamList();
    ResetDirectorySerial();
    std::string oldRoot = Dir("chain_old"), newRoot = Dir("chain_new");
    Put(oldRoot, "a_other.bin", Mix(c.otherB));
    Put(oldRoot, "z.bin", Mix(c.sameNamedB));
    Put(newRoot, "z.bin", Mix(0));
    auto* oldTree = new DirectoryStream(oldRoot);
    auto* newTree = new DirectoryStream(newRoot);
    DirectoryStreams.Append(reinterpret_cast<DynElement>(oldTree));
    DirectoryStreams.Append(reinterpret_cast<DynElement>(newTree));
    double score = BestChain(2, oldTree, newTree->At(0), 1);
    EXPECT_GT(score, 0.8);
    ASSERT_NE(WorkingChain[1], nullptr);
    bool sameWon = WorkingChain[1]->relativePath == "z.bin";
    EXPECT_EQ(sameWon, c.sameWins) << c.sameNamedB << " vs " << c.otherB;
  }
}

TEST_F(Tree, ChainRunsThroughEveryOlderTreeOrScoresZero) {
  // Three trees: the file exists in the middle and newest tree only, so no
  // chain can reach the oldest tree and the score is 0 (it gets embedded).
  std::string t0 = Dir("c0"), t1 = Dir("c1"), t2 = Dir("c2");
  Put(t0, "unrelated", std::string(1000, 'q'));
  Put(t1, "f", Mix(100));
  Put(t2, "f", Mix(0));
  Put(t1, "g", Mix(300, 'x', 'y'));
  Put(t0, "g", Mix(250, 'x', 'y'));
  Put(t2, "g", Mix(200, 'x', 'y'));
  for (const auto& r : {t0, t1, t2}) DirectoryStreams.Append(reinterpret_cast<DynElement>(new DirectoryStream(r)));
  auto tree = [](int k) { return reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k)); };
  FileEntry* f = FindByRelativeName(tree(2), "f");
  EXPECT_EQ(BestChain(3, tree(1), f, 1), 0.0);
  EXPECT_EQ(BestChain(3, tree(0), f, 1), 0.0);

  // g: newest <- t0 <- t1; the score is the product of both steps.
  FileEntry* g = FindByRelativeName(tree(2), "g");
  FileEntry* g0 = FindByRelativeName(tree(0), "g");
  FileEntry* g1 = FindByRelativeName(tree(1), "g");
  double expected = Similarity(g, g0) * Similarity(g0, g1);
  EXPECT_NEAR(BestChain(3, tree(0), g, 1), expected, 1e-12);
  EXPECT_EQ(WorkingChain[1], g0);
  EXPECT_EQ(WorkingChain[2], g1);
  EXPECT_EQ(WorkingChain[3], nullptr);
  EXPECT_FALSE(tree(0)->visited || tree(1)->visited);
}

void SetModified(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
#ifdef _WIN32
  _utimbuf times;
  times.actime = times.modtime = mktime(&t);
  ASSERT_EQ(_utime(path.c_str(), &times), 0);
#else
  utimbuf times;
  times.actime = times.modtime = mktime(&t);
  ASSERT_EQ(utime(path.c_str(), &times), 0);
#endif
}

TEST_F(Tree, FileTimeIsLocalDosTimeAndTracksTheNewest) {
  std::string root = Dir("time");
  Put(root, "old", "1");
  Put(root, "new", "2");
  SetModified(Join(root, "old"), 2003, 2, 28, 23, 59, 59);
  SetModified(Join(root, "new"), 2019, 6, 15, 13, 45, 31);
  ResetDirectorySerial();
  FileEntry n(Join(root, "new"), "new");
  FileEntry o(Join(root, "old"), "old");
  EXPECT_EQ(o.time, (23u << 25) | (2u << 21) | (28u << 16) | (23u << 11) | (59u << 5) | 29u);
  EXPECT_EQ(n.time, DosDateTime(2019, 6, 15, 13, 45, 30));
  EXPECT_EQ(NewestFileTime, n.time);
  SetModified(Join(root, "old"), 1975, 5, 5, 5, 5, 5);
  FileEntry early(Join(root, "old"), "old");
  EXPECT_EQ(early.time, DosDateTime(1980, 1, 1, 0, 0, 0));

  UseCurrentTime = 1;
  FileEntry now1(Join(root, "old"), "old");
  FileEntry now2(Join(root, "new"), "new");
  EXPECT_EQ(now1.time, now2.time);
  EXPECT_GT(now1.time, DosDateTime(2024, 1, 1, 0, 0, 0));
}

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv((std::string(name) + "=" + value).c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

TEST_F(Tree, PathRoutines) {
  const char sep = SysPathSeparator();
  EXPECT_EQ(AppendBackslash(""), "");
  EXPECT_EQ(AppendBackslash("dir"), std::string("dir") + sep);
  EXPECT_EQ(AppendBackslash(std::string("dir") + sep), std::string("dir") + sep);

  SetProgramDir("C:\\Tools\\Morvane32.exe");
  EXPECT_EQ(ProgramDir, "C:\\Tools\\");
  SetProgramDir("/opt/morvane/bin/morvane-cli");
  EXPECT_EQ(ProgramDir, "/opt/morvane/bin/");
  SetProgramDir("D:prog.exe");
  EXPECT_EQ(ProgramDir, "D:");
  SetProgramDir("prog.exe");
  EXPECT_EQ(ProgramDir, "");

  std::string root = Dir("paths");
  Put(root, "Zip.Exe", "#");
  EXPECT_TRUE(IsDirectory(root));
  EXPECT_FALSE(IsDirectory(Join(root, "Zip.Exe")));
  EXPECT_TRUE(FileInDirectory(root, "zip.exe"));
  EXPECT_FALSE(FileInDirectory(root, "zip"));
  EXPECT_TRUE(SameFileName(Join(Join(root, "sub"), "..") + sep + "ZIP.EXE", Join(root, "zip.exe")));
  EXPECT_FALSE(SameFileName(Join(root, "a"), Join(root, "b")));

  const char* old = std::getenv("PATH");
  std::string saved = old ? old : "";
  std::string list = Join(root, "missing") + SysPathListSeparator() + root;
  SetEnv("PATH", list);
  EXPECT_TRUE(FindOnPath("ZIP.EXE"));
  EXPECT_FALSE(FindOnPath("rar.exe"));
  SetEnv("PATH", saved);
}

TEST(TreeCommandLine, SplitsLikeTheWindowsRuntime) {
  EXPECT_EQ(SysSplitCommandLine("zip.exe  -9 \"C:\\my dir\\fix.zip\"\tp"),
            (std::vector<std::string>{"zip.exe", "-9", "C:\\my dir\\fix.zip", "p"}));
  EXPECT_EQ(SysSplitCommandLine("gzip.exe -N -9 -S\".gz \""), (std::vector<std::string>{"gzip.exe", "-N", "-9", "-S.gz "}));
  EXPECT_EQ(SysSplitCommandLine("a\\\\\"b c\" d\\e \\\"q"), (std::vector<std::string>{"a\\b c", "d\\e", "\"q"}));
  EXPECT_TRUE(SysSplitCommandLine("   ").empty());
}

}  // namespace
