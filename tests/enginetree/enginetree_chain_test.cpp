// The matcher's chain search against the plain search over every order of
// the older trees, on random landscapes of related, unrelated, identical and
// tiny files; and the time it takes for twenty versions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "options.h"
#include "patchfile.h"
#include "plain_chain.h"
#include "scan.h"
#include "test_support.h"

using namespace testsupport;

namespace {

using Files = std::map<std::string, std::string>;

std::string FreshDir(const std::string& name) {
  std::string d = Join(ScratchDir(), name);
  RemoveTree(d);
  MakeDirs(d);
  return d;
}

// Bytes from a group of four values drawn with the given weights: files of
// one group score between about 0.7 and 1 against each other, so the best
// order of the trees is anybody's guess.
std::string Weighted(std::mt19937& rng, size_t size, int group, const int (&weights)[4]) {
  int total = weights[0] + weights[1] + weights[2] + weights[3];
  std::string s(size, '\0');
  for (char& c : s) {
    int r = static_cast<int>(rng() % static_cast<unsigned>(total)), v = 0;
    while (r >= weights[v]) r -= weights[v++];
    c = static_cast<char>('a' + group * 4 + v);
  }
  return s;
}

std::vector<Files> RandomLandscape(unsigned seed, int trees, int files) {
  std::mt19937 rng(seed);
  std::vector<Files> out(static_cast<size_t>(trees));
  // A tree of nothing but tiny files leaves no chain through all trees.
  const int barren = seed % 7 == 0 ? static_cast<int>(rng() % static_cast<unsigned>(trees - 1)) : -1;
  for (int t = 0; t < trees; ++t) {
    for (int f = 0; f < files; ++f) {
      // Some files hardly ever change, so that whole chains score 1.
      const unsigned keep = f % 3 == 0 ? 8 : 1;
      std::string name = "f" + std::to_string(f);
      if (rng() % 8 == 0) name = "moved" + std::to_string(rng() % 3);  // names collide now and then
      const bool newest = t == trees - 1;
      const unsigned kind = rng() % 10;
      std::string content;
      if (kind < keep && t > 0 && out[t - 1].count(name)) {
        content = out[t - 1][name];  // unchanged since the last version: ties
      } else if (kind == 1 && !out[t].empty()) {
        content = out[t].begin()->second;  // the same content under two names
      } else if (kind == 2 || t == barren) {
        content = std::string(50 + rng() % 140, static_cast<char>('a' + f % 3 * 4));  // too small to compare
      } else if (kind == 3 && !newest) {
        continue;  // missing in this version
      } else {
        int weights[4];
        for (int& w : weights) w = 1 + static_cast<int>(rng() % 6);
        content = Weighted(rng, 300 + rng() % 900, f % 3, weights);
      }
      out[t][name] = content;
    }
  }
  return out;
}

void LoadTrees(const std::string& name, const std::vector<Files>& trees) {
  ResetEngineOptions();
  ResetDirectorySerial();
  SourceCount = static_cast<uint32_t>(trees.size() + 1);
  for (size_t t = 0; t < trees.size(); ++t) {
    std::string root = FreshDir(name + "_v" + std::to_string(t));
    for (const auto& [rel, content] : trees[t]) WriteFileText(Join(root, rel), content);
    DirectoryStreams.Append(reinterpret_cast<DynElement>(new DirectoryStream(root)));
  }
}

void ClearTrees() {
  for (uint32_t i = 0; i < DirectoryStreams.Count(); ++i) delete plainchain::Tree(i);
  DirectoryStreams.Clear();
}

std::string Describe(FileEntry* const* chain) {
  std::string s;
  for (int i = 0; i < kChainLength; ++i) {
    if (!chain[i]) continue;
    s += "[" + std::to_string(i) + "]" + chain[i]->fullPath + " ";
  }
  return s;
}

TEST(ChainSearch, AgreesWithThePlainSearchOnRandomLandscapes) {
  int scoring = 0, perfect = 0, zero = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    const int trees = 3 + static_cast<int>(seed % 5), files = 3 + static_cast<int>(seed % 6);
    LoadTrees("landscape", RandomLandscape(seed, trees, files));
    const uint32_t n = static_cast<uint32_t>(trees);
    DirectoryStream* newest = plainchain::Tree(n - 1);
    {
      // As the matcher runs: one session for all files of the newest tree.
      ChainSearchSession session(n);
      for (uint32_t e = 0; e < newest->Count(); ++e) {
        FileEntry* expected[kChainLength];
        const double want = plainchain::Best(n, newest->At(e), expected);
        const double got = SearchBestChain(newest->At(e), n);
        EXPECT_EQ(got, want) << "seed " << seed << " " << newest->At(e)->relativePath;
        EXPECT_EQ(Describe(BestChainEntries), Describe(expected)) << "seed " << seed;
        session.Trim();
        scoring += want > 0;
        perfect += want == 1.0;
        zero += want == 0;
      }
    }

    // A search entered part-way: some trees already on the chain, and near
    // the end of the chain buffers.
    std::mt19937 rng(seed);
    for (int round = 0; round < 6; ++round) {
      for (uint32_t k = 0; k + 1 < n; ++k) plainchain::Tree(k)->visited = rng() % 3 == 0;
      DirectoryStream* start = plainchain::Tree(static_cast<uint32_t>(rng() % (n - 1)));
      FileEntry* from = newest->At(static_cast<uint32_t>(rng() % newest->Count()));
      const uint32_t depth = round == 5 ? kChainLength - 3 : 1 + round;
      std::vector<uint8_t> flags;
      for (uint32_t k = 0; k < n; ++k) flags.push_back(plainchain::Tree(k)->visited);

      FileEntry* expected[kChainLength] = {};
      const double want = plainchain::Search(n, start, from, depth, expected);
      std::vector<uint8_t> flagsAfterPlain;
      for (uint32_t k = 0; k < n; ++k) {
        flagsAfterPlain.push_back(plainchain::Tree(k)->visited);
        plainchain::Tree(k)->visited = flags[k];
      }
      std::fill(std::begin(WorkingChain), std::end(WorkingChain), nullptr);
      const double got = BestChain(n, start, from, depth);
      EXPECT_EQ(got, want) << "seed " << seed << " round " << round;
      EXPECT_EQ(Describe(WorkingChain), Describe(expected)) << "seed " << seed << " round " << round;
      for (uint32_t k = 0; k < n; ++k) EXPECT_EQ(plainchain::Tree(k)->visited, flagsAfterPlain[k]);
      for (uint32_t k = 0; k < n; ++k) plainchain::Tree(k)->visited = 0;
    }
    ClearTrees();
  }
  // The landscapes must hold every kind of outcome, or they prove little.
  EXPECT_GT(scoring, 100);
  EXPECT_GT(perfect, 3);
  EXPECT_GT(zero, 10);
}

// One older tree of many files, renamed ones among them: each file is
// weighed against the whole tree, where the search rules most files out
// without reading them and starts from a guess when no name matches; the
// choice, ties included, must stay the plain search's.
TEST(ChainSearch, ManyFilesInOneOlderTreeAgreeWithThePlainSearch) {
  for (unsigned seed = 61; seed <= 64; ++seed) {
    std::vector<Files> trees = RandomLandscape(seed, 2, 300);
    std::mt19937 rng(seed);
    Files renamed;
    for (const auto& [name, content] : trees[1]) renamed[rng() % 4 == 0 ? "renamed-" + name : name] = content;
    trees[1] = renamed;
    LoadTrees("many", trees);
    DirectoryStream* newest = plainchain::Tree(1);
    ChainSearchSession session(2);
    int renamedFound = 0;
    for (uint32_t e = 0; e < newest->Count(); ++e) {
      FileEntry* expected[kChainLength];
      const double want = plainchain::Best(2, newest->At(e), expected);
      const double got = SearchBestChain(newest->At(e), 2);
      EXPECT_EQ(got, want) << "seed " << seed << " " << newest->At(e)->relativePath;
      EXPECT_EQ(Describe(BestChainEntries), Describe(expected)) << "seed " << seed;
      session.Trim();
      renamedFound += want > 0 && newest->At(e)->relativePath.rfind("renamed", 0) == 0;
    }
    EXPECT_GT(renamedFound, 20) << "seed " << seed;
    ClearTrees();
  }
}

std::string Counts(std::initializer_list<std::pair<char, int>> counts) {
  std::string s;
  for (const auto& [c, n] : counts) s.append(static_cast<size_t>(n), c);
  return s;
}

// Equal contents under different names are not interchangeable: a name
// settles ties among equally similar files, and the tie decides where the
// chain goes on.
TEST(ChainSearch, EqualFilesUnderOtherNamesKeepTheirOwnChains) {
  const std::string d = Counts({{'w', 400}, {'x', 300}, {'y', 300}});
  const std::string e1 = Counts({{'w', 400}, {'x', 280}, {'y', 300}, {'z', 20}});
  const std::string e2 = Counts({{'w', 400}, {'x', 300}, {'y', 280}, {'z', 20}});  // as similar to d as e1
  const std::string f = Counts({{'w', 400}, {'x', 200}, {'y', 300}, {'z', 100}});
  LoadTrees("named", {{{"p", d}, {"q", d}}, {{"p", e1}, {"q", e2}}, {{"p", f}, {"q", f}}, {{"p", d}, {"q", d}}});
  const uint32_t n = 4;
  DirectoryStream* newest = plainchain::Tree(n - 1);
  std::vector<double> scores;
  {
    ChainSearchSession session(n);
    for (uint32_t e = 0; e < newest->Count(); ++e) {
      FileEntry* expected[kChainLength];
      const double want = plainchain::Best(n, newest->At(e), expected);
      EXPECT_EQ(SearchBestChain(newest->At(e), n), want) << newest->At(e)->relativePath;
      EXPECT_EQ(Describe(BestChainEntries), Describe(expected));
      scores.push_back(want);
    }
  }
  ClearTrees();
  ASSERT_EQ(scores.size(), 2u);
  EXPECT_NE(scores[0], scores[1]);  // otherwise the case proves nothing
}

// 1000 bytes: 616 + delta of 'a', the rest three each of the values from
// 128 on, less (delta > 0) or more (delta < 0) one each of the first |delta|.
// Against delta 0 nearly all the distance lies on 'a', the byte that varies
// most, so a file's similarity sits right at the edge of what that byte
// alone allows: 1 - (delta^2 + |delta|) / 1e6.
std::string Skewed(int delta) {
  std::string s(static_cast<size_t>(616 + delta), 'a');
  for (int v = 0; v < 128; ++v) {
    const int extra = v < (delta < 0 ? -delta : delta) ? (delta > 0 ? -1 : 1) : 0;
    s.append(static_cast<size_t>(3 + extra), static_cast<char>(128 + v));
  }
  return s;
}

int DeltaOf(const FileEntry* e) { return static_cast<int>(std::lround(e->frequencies['a'] * 1000)) - 616; }

// Files just inside and just outside what the most varying byte lets
// through against the best so far, from a match by name or from the
// nearest file, with equal similarities under several names and over
// several older trees: the choice, ties included, stays the plain search's.
TEST(ChainSearch, FilesAtTheEdgeOfTheFirstProbeKeepThePlainChoice) {
  struct Case {
    const char* name;
    std::vector<Files> trees;  // the newest last, always "n" = Skewed(0)
    int expectedDelta;         // |delta| of the file chosen from the last older tree
  };
  const Files edges = {{"p", Skewed(11)}, {"q", Skewed(-11)}, {"r", Skewed(10)}, {"s", Skewed(-10)},
                       {"t", Skewed(-9)}, {"u", Skewed(9)},   {"v", Skewed(100)}, {"w", Skewed(-9)}};
  Files byName = edges, tieByName = edges, nameless = edges, nearOnly = {{"far", Skewed(-150)}};
  byName["n"] = Skewed(10);    // outdone by the files at 9, just inside what 'a' lets through
  tieByName["n"] = Skewed(9);  // equals at 9 elsewhere: the name keeps it
  for (int d : {12, -12, 13}) nearOnly["m" + std::to_string(d)] = Skewed(d);
  // 119 against 120 by name: within 1.3% of the edge; more files on both
  // sides, so that the tree is searched through boxes.
  Files wide = {{"n", Skewed(120)}, {"x", Skewed(121)}, {"y", Skewed(-119)}, {"z", Skewed(119)}};
  for (int d = 122; d <= 128; ++d) {
    wide["w" + std::to_string(d)] = Skewed(d);
    wide["w-" + std::to_string(d)] = Skewed(-d);
  }
  const std::vector<Case> cases = {
      {"byname", {byName, {{"n", Skewed(0)}}}, 9},
      {"tie", {tieByName, {{"n", Skewed(0)}}}, 9},
      {"nameless", {nameless, {{"n", Skewed(0)}}}, 9},
      {"near", {nearOnly, {{"n", Skewed(0)}}}, 12},
      {"wide", {wide, {{"n", Skewed(0)}}}, 119},
      {"chain", {nameless, byName, tieByName, {{"n", Skewed(0)}}}, 9},
  };
  for (const Case& c : cases) {
    LoadTrees(std::string("edge_") + c.name, c.trees);
    const uint32_t n = static_cast<uint32_t>(c.trees.size());
    FileEntry* entry = plainchain::Tree(n - 1)->At(0);
    FileEntry* expected[kChainLength];
    const double want = plainchain::Best(n, entry, expected);
    {
      ChainSearchSession session(n);
      EXPECT_EQ(SearchBestChain(entry, n), want) << c.name;
    }
    EXPECT_EQ(Describe(BestChainEntries), Describe(expected)) << c.name;
    ASSERT_NE(BestChainEntries[1], nullptr) << c.name;
    EXPECT_EQ(std::abs(DeltaOf(BestChainEntries[1])), c.expectedDelta) << c.name;
    if (std::string(c.name) == "tie") {
      EXPECT_EQ(BestChainEntries[1]->relativePath, "n");
    }
    ClearTrees();
  }
}

// Releases as they come: each version a few edits on the last, some
// versions unchanged.
std::vector<Files> Releases(int versions, int files, unsigned seed) {
  static const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta; ", "{ x = 1; }\n"};
  std::mt19937 rng(seed);
  std::vector<Files> out(static_cast<size_t>(versions));
  for (int f = 0; f < files; ++f) {
    std::string s;
    while (s.size() < 3000 + f * 500u) s += words[rng() % 7];
    for (int v = 0; v < versions; ++v) {
      if (v > 0 && rng() % 4 != 0)
        for (int e = 1 + static_cast<int>(rng() % 4); e > 0; --e) s.insert(rng() % s.size(), words[rng() % 7]);
      out[static_cast<size_t>(v)]["file" + std::to_string(f) + ".txt"] = s;
    }
  }
  return out;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The plain search would try 19! orders per file; anything exponential in
// the number of versions runs into the test's timeout.
TEST(ChainSearch, TwentyVersionsInSeconds) {
  const int versions = 20;
  LoadTrees("twenty", Releases(versions, 5, 7));
  DirectoryStream* newest = plainchain::Tree(versions - 1);
  auto start = std::chrono::steady_clock::now();
  {
    ChainSearchSession session(versions);
    for (uint32_t e = 0; e < newest->Count(); ++e) {
      EXPECT_GT(SearchBestChain(newest->At(e), versions), 0.99);
      int length = 0;
      while (length < kChainLength && BestChainEntries[length]) ++length;
      EXPECT_EQ(length, versions);
      session.Trim();
    }
  }
  const double directory = Seconds(start);
  ClearTrees();

  // File mode: one file in twenty versions of random byte statistics.
  AllocEngineBuffers();
  ResetEngineOptions();
  std::string dir = FreshDir("twenty_files");
  std::mt19937 rng(11);
  for (int v = 0; v < versions; ++v) {
    int weights[4];
    for (int& w : weights) w = 1 + static_cast<int>(rng() % 6);
    std::string path = Join(dir, "v" + std::to_string(v) + ".bin");
    WriteFileText(path, Weighted(rng, 2000, 0, weights));
    VersionSlots[v].fullPath = VersionSlots[v].relativePath = path;
  }
  SourceCount = versions + 1;
  start = std::chrono::steady_clock::now();
  CheckFileMode();
  const double fileMode = Seconds(start);
  EXPECT_EQ(SourceCount, static_cast<uint32_t>(versions + 1));  // all different: none dropped
  ClearTrees();

  std::printf("twenty versions: %.3f s for %u files of a directory, %.3f s for one file\n", directory,
              newest ? 5u : 0u, fileMode);
  EXPECT_LT(directory, 60.0);
  EXPECT_LT(fileMode, 60.0);
}

}  // namespace
