// Directory trees and file sets through the whole engine: every file of the
// newest tree must come back byte for byte from each old tree through the
// test applier, and the patch must hold exactly the entries the matcher
// decides on (patched through a chain, embedded, or skipped).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "applier.h"
#include "messages.h"
#include "options.h"
#include "packer.h"
#include "patchfile.h"
#include "plain_chain.h"
#include "scan.h"
#include "test_support.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // name with '/' -> content

std::string FreshDir(const std::string& name) {
  std::string d = Join(ScratchDir(), name);
  RemoveTree(d);
  MakeDirs(d);
  return d;
}

std::string Native(std::string rel) {
#ifdef _WIN32
  std::replace(rel.begin(), rel.end(), '/', '\\');
#endif
  return rel;
}

std::string MakeTree(const std::string& name, const Files& files) {
  std::string root = FreshDir(name);
  for (const auto& [rel, content] : files) {
    fs::path p = fs::path(root) / Native(rel);
    fs::create_directories(p.parent_path());
    WriteFileText(p.string(), content);
  }
  return root;
}

// Every regular file below root, by relative name with '/'.
std::vector<std::string> ListTree(const std::string& root, bool withHidden) {
  std::vector<std::string> names;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string leaf = it->path().filename().string();
    if (!withHidden && leaf[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory()) continue;
    std::string rel = fs::relative(it->path(), root).generic_string();
    names.push_back(rel);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Text-like content with a recognisable byte distribution; the seed varies
// it and edit changes a few spots as a new release would.
std::string Content(size_t size, unsigned seed, int edits = 0) {
  std::mt19937 rng(seed);
  static const std::string words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta; ", "eta\n"};
  std::string s;
  while (s.size() < size) s += words[rng() % 7];
  s.resize(size);
  // Edits bring no new byte values, so the file stays closest to its own
  // earlier versions.
  std::mt19937 edit(seed * 31 + static_cast<unsigned>(edits));
  for (int e = 0; e < edits; ++e) {
    size_t at = edit() % s.size();
    s.insert(at, words[edit() % 7] + words[edit() % 7]);
  }
  return s;
}

// Bytes of a narrow alphabet. Byte statistics are a loose measure: only a
// file dominated by one byte value scores 0 against everything else.
std::string Alphabet(size_t size, int first, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(first + static_cast<int>(rng() % static_cast<unsigned>(count)));
  return s;
}

struct TreeRun {
  std::vector<uint8_t> patch;
  testapply::Patch parsed;
  std::string error;  // engine message when the run failed
  std::vector<std::string> patched, embedded;  // names in the patch
  std::string patchName;
};

TreeRun CreateFrom(const std::vector<std::string>& sources, const std::string& output,
               const std::function<void()>& setOptions = nullptr) {
  ResetEngineOptions();
  ResetPackerTable();
  for (size_t i = 0; i < sources.size(); ++i) SourceList[i] = sources[i];
  SourceList[sources.size()] = output;
  SourceCount = static_cast<uint32_t>(sources.size() + 1);
  if (setOptions) setOptions();
  ClampEngineNumericOptions();  // as the patch thread does
  TreeRun run;
  try {
    CreatePatch();
  } catch (const EngineException& e) {
    run.error = e.what();
    return run;
  }
  run.patchName = OutputName;
  run.patch = ReadFileBytes(OutputName);
  std::string why;
  EXPECT_TRUE(testapply::ParsePatch(run.patch, &run.parsed, &why)) << why;
  for (const auto& f : run.parsed.files) run.patched.push_back(f.name);
  for (const auto& e : run.parsed.embedded) run.embedded.push_back(e.name);
  return run;
}

const testapply::PatchedFile* Patched(const TreeRun& run, const std::string& name) {
  for (const auto& f : run.parsed.files)
    if (f.name == name) return &f;
  return nullptr;
}

std::vector<std::string> VersionNames(const testapply::PatchedFile* f) {
  std::vector<std::string> names;
  if (f)
    for (const auto& v : f->versions) names.push_back(v.name);
  return names;
}

// Applies the patch to a copy of each old tree; afterwards every file of the
// newest tree must be there byte for byte (unchanged files simply stay).
void ExpectRebuildsNewest(const TreeRun& run, const std::vector<std::string>& oldRoots, const std::string& newest,
                          bool withHidden = false, const std::string& ignored = "") {
  ASSERT_EQ(run.error, "");
  static int serial = 0;
  for (const std::string& oldRoot : oldRoots) {
    std::string out = FreshDir("applied" + std::to_string(++serial));
    std::string why;
    ASSERT_TRUE(testapply::ApplyDirectoryPatch(run.patch, oldRoot, out, &why)) << why << " (from " << oldRoot << ")";
    for (const std::string& rel : ListTree(newest, withHidden)) {
      if (rel == ignored) continue;
      fs::path rebuilt = fs::path(out) / Native(rel);
      if (!fs::exists(rebuilt)) rebuilt = fs::path(oldRoot) / Native(rel);
      ASSERT_TRUE(fs::exists(rebuilt)) << rel << " missing after applying to " << oldRoot;
      EXPECT_TRUE(ReadFileBytes(rebuilt.string()) == ReadFileBytes((fs::path(newest) / Native(rel)).string()))
          << rel << " differs after applying to " << oldRoot;
    }
  }
}

std::vector<std::pair<uint32_t, std::string>> gProgress;
void RecordProgress(uint32_t done, uint32_t total, const char* name) {
  gProgress.push_back({done, name});
  EXPECT_LE(done, total);
}

TEST(TreeRoundTrip, TwoVersions) {
  // The 100-byte rule: against an old file of 0..99 twice with one byte
  // changed, a new file of 0..99 scores about 0.99 (below 0.999).
  std::string edgeOld;
  for (int r = 0; r < 2; ++r)
    for (int v = 0; v < 100; ++v) edgeOld += static_cast<char>(v + 120);
  edgeOld[7] = static_cast<char>(250);
  std::string edge100 = edgeOld.substr(100, 100);
  std::string edge101 = edge100 + static_cast<char>(150);

  Files v1 = {
      {"same.txt", Content(5000, 1)},
      {"changed.bin", Content(20000, 2)},
      {"sub/deep/doc.txt", Content(8000, 3)},
      {"edge100.bin", edgeOld},
      {"edge101.bin", edgeOld},
      {"data/a.bin", Alphabet(3000, 'A', 10, 4)},      // distant relative of the new a.bin
      {"data/moved.bin", Alphabet(3000, 'A', 3, 5)},   // close relative under another name
      {"payload.dat", std::string(4000, '0')},
      {"empty", ""},
      {".hidden", Content(1000, 7)},
      {".git/config", Content(1000, 8)},
  };
  Files v2 = v1;
  v2["changed.bin"] = Content(20000, 2, 5);
  v2["sub/deep/doc.txt"] = Content(8000, 3, 2);
  v2["edge100.bin"] = edge100;
  v2["edge101.bin"] = edge101;
  v2["data/a.bin"] = Alphabet(3000, 'A', 3, 9);
  v2["new_only.dat"] = std::string(5000, '\xf0');
  v2["debug.log"] = Content(300, 11);
  v2[".hidden"] = Content(1000, 7, 3);
  v2[".git/config"] = Content(1000, 8, 1);
  std::string t1 = MakeTree("two_v1", v1), t2 = MakeTree("two_v2", v2);
  std::string out = Join(FreshDir("two_out"), "fix");

  gProgress.clear();
  TreeRun run = CreateFrom({t1, t2}, out, [] {
    FileProgressHook = RecordProgress;
    ArchiveResult = 1;  // internal ZIP of the result
    IgnorePattern logs;
    logs.pattern = "*.log";
    logs.newest = 1;
    IgnorePattern dat;
    dat.pattern = "payload.dat";
    dat.allOld = 1;
    IgnorePatterns = {logs, dat};
  });
  FileProgressHook = nullptr;
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.patchName, out + ".utp");

  std::vector<std::string> patched = run.patched, embedded = run.embedded;
  std::sort(patched.begin(), patched.end());
  std::sort(embedded.begin(), embedded.end());
  EXPECT_EQ(patched, (std::vector<std::string>{"changed.bin", "data\\a.bin", "edge101.bin", "sub\\deep\\doc.txt"}));
  EXPECT_EQ(embedded, (std::vector<std::string>{"edge100.bin", "new_only.dat", "payload.dat"}));
  // The more similar file wins over the same-named one.
  EXPECT_EQ(VersionNames(Patched(run, "data\\a.bin")), std::vector<std::string>{"data\\moved.bin"});
  EXPECT_EQ(VersionNames(Patched(run, "changed.bin")), std::vector<std::string>{"changed.bin"});
  ExpectRebuildsNewest(run, {t1}, t2, false, "debug.log");

  // Bytes in the progress are the newest tree's (hidden and ignored files
  // left out), reported before each patched file and once at the end.
  uint32_t total = 0;
  for (const auto& [rel, content] : v2)
    if (rel[0] != '.' && rel != "debug.log") total += static_cast<uint32_t>(content.size());
  ASSERT_EQ(gProgress.size(), 5u);
  EXPECT_EQ(gProgress.back(), (std::pair<uint32_t, std::string>{total, "Done."}));
  for (size_t i = 1; i < gProgress.size(); ++i) EXPECT_LT(gProgress[i - 1].first, gProgress[i].first);

  std::string listing;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-t", ToUnixPath(out + ".zip")}, &listing), 0) << listing;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-p", ToUnixPath(out + ".zip")}, &listing), 0);
  EXPECT_TRUE(std::vector<uint8_t>(listing.begin(), listing.end()) == run.patch);

  // With ScanFlag the hidden entries take part as well.
  TreeRun hidden = CreateFrom({t1, t2}, out, [] { ScanFlag = 1; });
  EXPECT_NE(Patched(hidden, ".hidden"), nullptr);
  EXPECT_NE(Patched(hidden, ".git\\config"), nullptr);
  ExpectRebuildsNewest(hidden, {t1}, t2, true);
}

TEST(TreeRoundTrip, VersionChainsOverFourTrees) {
  std::vector<Files> v(4);
  for (int k = 0; k < 4; ++k) {
    v[k]["lib/core.bin"] = Content(30000, 20, k * 3);             // changes every time
    v[k]["stable.txt"] = Content(6000, 21, k == 3 ? 4 : 0);       // changes in the last version only
    v[k]["unchanged.txt"] = Content(2000, 22);                    // identical everywhere
    v[k]["flip.txt"] = Content(6000, 25, k == 1 ? 2 : 0);         // back to the first content
    if (k >= 2) v[k]["late.bin"] = std::string(4000, '\xc0').replace(100, k * 5, k * 5, '\xc1');
  }
  // Renamed in each release, slightly edited on the way.
  v[0]["names/first.bin"] = Alphabet(9000, 'F', 6, 30);
  v[1]["names/second.bin"] = Alphabet(9000, 'F', 6, 30).replace(100, 5, "FFFFF");
  v[2]["names/third.bin"] = Alphabet(9000, 'F', 6, 30).replace(200, 5, "GGGGG");
  v[3]["names/fourth.bin"] = Alphabet(9000, 'F', 6, 30).replace(300, 5, "HHHHH");
  std::vector<std::string> roots;
  for (int k = 0; k < 4; ++k) roots.push_back(MakeTree("four_v" + std::to_string(k + 1), v[k]));
  std::string out = Join(FreshDir("four_out"), "chain.UTP");

  TreeRun run = CreateFrom(roots, out);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.patchName, out);

  const testapply::PatchedFile* core = Patched(run, "lib\\core.bin");
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(core->versions.size(), 3u);
  const testapply::PatchedFile* stable = Patched(run, "stable.txt");
  ASSERT_NE(stable, nullptr);
  EXPECT_EQ(stable->versions.size(), 1u);  // identical versions drop out
  EXPECT_EQ(Patched(run, "unchanged.txt"), nullptr);
  EXPECT_EQ(run.embedded, std::vector<std::string>{"late.bin"});  // no version in the oldest trees
  const testapply::PatchedFile* renamed = Patched(run, "names\\fourth.bin");
  ASSERT_NE(renamed, nullptr);
  std::vector<std::string> names = VersionNames(renamed);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"names\\first.bin", "names\\second.bin", "names\\third.bin"}));
  ExpectRebuildsNewest(run, {roots[0], roots[1], roots[2]}, roots[3]);
}

// Six trees of loosely related files: the matcher must choose exactly the
// chains the plain search over every order of trees chooses, and every old
// tree must rebuild the newest.
TEST(TreeRoundTrip, MatcherAgreesWithThePlainChainSearch) {
  const int treeCount = 6, fileCount = 8;
  std::vector<std::string> roots;
  for (int t = 0; t < treeCount; ++t) {
    Files files;
    for (int f = 0; f < fileCount; ++f) {
      std::mt19937 rng(static_cast<unsigned>(f * 101 + t * 7 + 3));
      // Four byte values in proportions that drift from version to version.
      int weights[4];
      for (int& w : weights) w = 1 + static_cast<int>(rng() % 10);
      std::string s;
      for (int i = 0; i < 1500 + f * 97; ++i) {
        int r = static_cast<int>(rng() % static_cast<unsigned>(weights[0] + weights[1] + weights[2] + weights[3]));
        int v = 0;
        while (r >= weights[v]) r -= weights[v++];
        s += static_cast<char>('a' + v + (f % 3) * 4);
      }
      files["f" + std::to_string((f + t) % fileCount) + ".bin"] = s;
    }
    roots.push_back(MakeTree("agree_v" + std::to_string(t), files));
  }

  // The reference: the search run directly, outside the matcher.
  ResetEngineOptions();
  ResetDirectorySerial();
  SourceCount = treeCount + 1;
  for (const auto& r : roots) DirectoryStreams.Append(reinterpret_cast<DynElement>(new DirectoryStream(r)));
  auto* newest = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(treeCount - 1));
  std::map<std::string, std::vector<std::string>> expected;
  std::vector<std::string> expectEmbedded;
  for (uint32_t e = 0; e < newest->Count(); ++e) {
    FileEntry* entry = newest->At(e);
    FileEntry* best[kChainLength];
    double score = plainchain::Best(treeCount, entry, best);
    if (score == 0) {
      expectEmbedded.push_back(entry->relativePath);
      continue;
    }
    std::vector<std::string> names;
    for (int i = kChainLength - 1; i >= 1; --i)
      if (best[i]) names.push_back(best[i]->relativePath);
    expected[entry->relativePath] = names;
  }
  for (uint32_t i = 0; i < DirectoryStreams.Count(); ++i)
    delete reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(i));
  DirectoryStreams.Clear();
  ASSERT_GT(expected.size(), 4u);

  TreeRun run = CreateFrom(roots, Join(FreshDir("agree_out"), "agree"));
  ASSERT_EQ(run.error, "");
  std::map<std::string, std::vector<std::string>> actual;
  for (const auto& f : run.parsed.files) actual[f.name] = VersionNames(&f);
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(run.embedded, expectEmbedded);
  ExpectRebuildsNewest(run, std::vector<std::string>(roots.begin(), roots.end() - 1), roots.back());
}

TEST(TreeRoundTrip, EmptyAndIdenticalTrees) {
  std::string a = MakeTree("empty_a", {}), b = MakeTree("empty_b", {});
  TreeRun empty = CreateFrom({a, b}, Join(FreshDir("empty_out"), "none"));
  ASSERT_EQ(empty.error, "");
  EXPECT_TRUE(empty.patched.empty() && empty.embedded.empty());

  Files same = {{"x.txt", Content(3000, 40)}, {"y/z.bin", Alphabet(700, 'k', 9, 41)}};
  std::string s1 = MakeTree("same_a", same), s2 = MakeTree("same_b", same);
  TreeRun identical = CreateFrom({s1, s2}, Join(FreshDir("same_out"), "same"));
  EXPECT_TRUE(identical.patched.empty() && identical.embedded.empty());
  // Forced, one old version stays for each file.
  TreeRun forced = CreateFrom({s1, s2}, Join(FreshDir("same_out"), "forced"), [] { ForcePatch = 1; });
  EXPECT_EQ(forced.patched.size(), 2u);
  ExpectRebuildsNewest(forced, {s1}, s2);

#ifndef _WIN32
  // A file that cannot be read ends the run while the trees are scanned.
  std::string broken = MakeTree("broken", {{"a.txt", "a"}});
  fs::create_symlink(Join(broken, "nowhere"), Join(broken, "b.txt"));
  TreeRun unreadable = CreateFrom({s1, broken}, Join(FreshDir("same_out"), "broken"));
  EXPECT_EQ(unreadable.error, "Error, can't access file \"" + Join(broken, "b.txt") + "\" in directory being scanned!");
#endif

  std::string file = Join(FreshDir("mixed"), "file.txt");
  WriteFileText(file, "x");
  TreeRun mixed = CreateFrom({s1, file}, Join(FreshDir("same_out"), "mixed"));
  EXPECT_NE(mixed.error.find("does not exist or is no directory"), std::string::npos) << mixed.error;
}

TEST(TreeRoundTrip, FileModeOrdersAndThinsTheVersions) {
  std::string dir = FreshDir("filemode");
  auto put = [&](const std::string& name, const std::string& content) {
    WriteFileText(Join(dir, name), content);
    return Join(dir, name);
  };
  std::string f1 = put("v1.bin", Content(12000, 50)), f2 = put("v2.bin", Content(12000, 50, 3)),
              f3 = put("v3.bin", Content(12000, 50, 3)), f4 = put("v4.bin", Content(12000, 50, 6));
  // v2 and v3 are equal: one of them drops out of the chain.
  TreeRun run = CreateFrom({f1, f2, f3, f4}, Join(dir, "files"));
  ASSERT_EQ(run.error, "");
  ASSERT_EQ(run.parsed.files.size(), 1u);
  EXPECT_EQ(run.parsed.files[0].versions.size(), 2u);
  for (const std::string& old : {f1, f2, f3}) {
    std::vector<uint8_t> result;
    std::string why;
    ASSERT_TRUE(testapply::ApplyFilePatch(run.patch, ReadFileBytes(old), &result, &why)) << why;
    EXPECT_TRUE(result == ReadFileBytes(f4));
  }

  std::string same = put("same.bin", Content(12000, 50, 6));
  TreeRun identical = CreateFrom({same, f4}, Join(dir, "ident"));
  EXPECT_EQ(identical.error, "Error, file \"" + f4 + "\" identical to all sources,\nuse option \"-f\" to force creating a patch.");
  EXPECT_FALSE(FileExists(Join(dir, "ident.utp")));
  TreeRun forced = CreateFrom({same, f4}, Join(dir, "ident"), [] { ForcePatch = 1; });
  EXPECT_EQ(forced.error, "");

  std::string other = put("other.bin", std::string(12000, '\xc0'));
  TreeRun unrelated = CreateFrom({other, f4}, Join(dir, "unrel"));
  EXPECT_EQ(unrelated.error.rfind("Error, the files you gave seem not to match all at.", 0), 0u) << unrelated.error;
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
  const std::time_t when = std::mktime(&t);
  auto sinceNow = std::chrono::system_clock::from_time_t(when) - std::chrono::system_clock::now();
  fs::last_write_time(path, fs::file_time_type::clock::now() +
                                std::chrono::duration_cast<fs::file_time_type::duration>(sinceNow));
}

TEST(TreeRoundTrip, FileTimesOfTheEntries) {
  Files v1 = {{"a.txt", Content(5000, 60)}, {"c.txt", Content(5000, 61)}};
  Files v2 = {{"a.txt", Content(5000, 60, 2)}, {"b.bin", std::string(3000, '\xee')}, {"c.txt", Content(5000, 61, 2)}};
  std::string t1 = MakeTree("time_v1", v1), t2 = MakeTree("time_v2", v2);
  for (const char* name : {"a.txt", "c.txt"}) SetModified(Join(t1, name), 2001, 1, 1, 0, 0, 0);
  SetModified(Join(t2, "a.txt"), 2010, 1, 1, 10, 0, 0);
  SetModified(Join(t2, "b.bin"), 2012, 2, 2, 2, 2, 2);
  SetModified(Join(t2, "c.txt"), 2015, 6, 6, 6, 6, 6);
  const uint32_t a = DosDateTime(2010, 1, 1, 10, 0, 0), b = DosDateTime(2012, 2, 2, 2, 2, 2),
                 c = DosDateTime(2015, 6, 6, 6, 6, 6);

  std::string out = Join(FreshDir("time_out"), "times");
  TreeRun own = CreateFrom({t1, t2}, out);
  ASSERT_EQ(own.error, "");
  ASSERT_NE(Patched(own, "a.txt"), nullptr);
  ASSERT_NE(Patched(own, "c.txt"), nullptr);
  ASSERT_EQ(own.parsed.embedded.size(), 1u);
  EXPECT_EQ(Patched(own, "a.txt")->dosTime, a);
  EXPECT_EQ(Patched(own, "c.txt")->dosTime, c);
  EXPECT_EQ(own.parsed.embedded[0].dosTime, b);

  TreeRun uniform = CreateFrom({t1, t2}, out, [] { UniformFileTime = 1; });
  ASSERT_EQ(uniform.error, "");
  EXPECT_EQ(Patched(uniform, "a.txt")->dosTime, c);
  EXPECT_EQ(Patched(uniform, "c.txt")->dosTime, c);
  EXPECT_EQ(uniform.parsed.embedded[0].dosTime, b);
}

// Two releases of a real package, as unpacked from the archive.
TEST(TreeRoundTrip, RealPackageTrees) {
  const std::string trees = Join(Join(Join(SourceDir(), "build"), "testdata"), "trees");
  const std::string oldRoot = Join(Join(trees, "libcurl4-7.88.1-10+deb12u5"), "root");
  const std::string newRoot = Join(Join(trees, "libcurl4-7.88.1-10+deb12u15"), "root");
  if (!fs::exists(oldRoot) || !fs::exists(newRoot)) GTEST_SKIP() << "real test data absent: run scripts/fetch-testdata.sh";

  TreeRun run = CreateFrom({oldRoot, newRoot}, Join(FreshDir("real_out"), "curl"));
  ASSERT_EQ(run.error, "");
  EXPECT_FALSE(run.patched.empty());
  ExpectRebuildsNewest(run, {oldRoot}, newRoot);
  uint64_t newSize = 0;
  for (const std::string& rel : ListTree(newRoot, false)) newSize += fs::file_size(fs::path(newRoot) / Native(rel));
  std::printf("real trees: %zu patched, %zu embedded, patch %zu bytes for %llu bytes of new files\n",
              run.patched.size(), run.embedded.size(), run.patch.size(), static_cast<unsigned long long>(newSize));
}

}  // namespace
