// Finder and Warp stages on single pairs, checked by the test applier's
// independent pair decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engwarp_support.h"
#include "options.h"
#include "patchfile.h"
#include "streams.h"
#include "warp.h"

namespace {

class EngwarpPair : public ::testing::Test {
 protected:
  void SetUp() override { ResetEngineForTest(); }
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
  return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(from),
                              v.begin() + static_cast<std::ptrdiff_t>(from + n));
}

void Add(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) { to.insert(to.end(), more.begin(), more.end()); }

// Runs of one value (zeros or 0xFF) of every length between random and
// code-like bytes: large index groups and matches of every length.
std::vector<uint8_t> Runs(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v;
  while (v.size() < n) {
    switch (rng() % 4) {
      case 0: v.insert(v.end(), 6 + rng() % 40, 0); break;
      case 1: v.insert(v.end(), 6 + rng() % 3000, rng() % 2 ? 0 : 0xFF); break;
      case 2: Add(v, RandomBytes(rng, 1 + rng() % 8)); break;
      default: Add(v, CodeLike(rng, 1 + rng() % 400));
    }
  }
  return v;
}

TEST_F(EngwarpPair, FinderBoundaries) {
  std::mt19937 rng(1);
  EncodedPair pair;
  // 22 identical bytes: the shortest file with an indexed position.
  std::vector<uint8_t> same = RandomBytes(rng, 22);
  ASSERT_EQ(RoundTrip(same, same, &pair), "");
  ASSERT_EQ(pair.records.size(), 1u);
  EXPECT_EQ(pair.records[0].length, 22);
  EXPECT_EQ(pair.records[0].offset, 0u);

  // At most 12 bytes of new file: one literal, whatever the old file holds.
  std::vector<uint8_t> big = RandomBytes(rng, 500);
  ASSERT_EQ(RoundTrip(big, Slice(big, 100, 12), &pair), "");
  ASSERT_EQ(pair.records.size(), 1u);
  EXPECT_EQ(pair.records[0].length, -12);

  // A 12-byte match is taken, an 11-byte one never.
  for (int length : {11, 12}) {
    std::vector<uint8_t> fresh = RandomBytes(rng, 60);
    std::vector<uint8_t> nw = Slice(fresh, 0, 30);
    Add(nw, Slice(big, 200, length));
    Add(nw, Slice(fresh, 30, 30));
    ASSERT_EQ(RoundTrip(big, nw, &pair), "");
    int copies = 0;
    for (const PatchRecord& r : pair.records)
      if (r.length > 0) {
        ++copies;
        EXPECT_EQ(r.length, 12);
        EXPECT_EQ(r.offset, 200u);
      }
    EXPECT_EQ(copies, length == 12 ? 1 : 0) << length;
  }
}

TEST_F(EngwarpPair, TiesGoToTheCopyNearestThePreviousOne) {
  std::mt19937 rng(2);
  std::vector<uint8_t> block = RandomBytes(rng, 100);
  std::vector<uint8_t> old = RandomBytes(rng, 300);
  Add(old, block);                 // at 300
  Add(old, RandomBytes(rng, 300));
  Add(old, block);                 // at 700
  std::vector<uint8_t> lead = Slice(old, 650, 40);  // sets the previous offset to 650
  std::vector<uint8_t> nw = lead;
  Add(nw, RandomBytes(rng, 7));
  Add(nw, block);
  EncodedPair pair;
  ASSERT_EQ(RoundTrip(old, nw, &pair), "");
  ASSERT_GE(pair.records.size(), 3u);
  EXPECT_EQ(pair.records.back().length, 100);
  EXPECT_EQ(pair.records.back().offset, 700u);
}

TEST_F(EngwarpPair, ProtectedRangeGivesItsOwnCopy) {
  std::mt19937 rng(3);
  std::vector<uint8_t> old = CodeLike(rng, 4000);
  std::vector<uint8_t> nw = Mutate(rng, old, 3);
  // The range holds different bytes in each version; nothing may be copied
  // from it or into it except the range itself.
  const uint32_t rangeOld = 1000, rangeNew = 1200, length = 64;
  for (uint32_t k = 0; k < length; ++k) {
    old[rangeOld + k] = static_cast<uint8_t>(rng());
    nw[rangeNew + k] = static_cast<uint8_t>(rng());
  }
  std::vector<uint8_t> expected = nw;
  for (uint32_t k = 0; k < length; ++k) expected[rangeNew + k] = old[rangeOld + k];
  EncodedPair pair;
  EncodePair(old, nw, &pair, true, rangeOld, rangeNew, length);
  int rangeCopies = 0;
  size_t w = 0;
  for (const PatchRecord& r : pair.records) {
    if (r.length > 0 && r.offset == rangeOld) {
      ++rangeCopies;
      EXPECT_EQ(w, rangeNew);
      EXPECT_EQ(static_cast<uint32_t>(r.length), length);
    } else if (r.length > 0) {
      // No other copy reads the old range.
      EXPECT_TRUE(r.offset + r.length <= rangeOld || r.offset >= rangeOld + length);
    }
    w += static_cast<size_t>(r.length > 0 ? r.length : -static_cast<int64_t>(r.length));
  }
  EXPECT_EQ(rangeCopies, 1);
  // The applier sees the real old bytes of the range and copies them over.
  std::vector<uint8_t> result;
  std::string error;
  ASSERT_TRUE(testapply::DecodePair(old, pair.version, static_cast<uint32_t>(nw.size()), &result, &error)) << error;
  EXPECT_EQ(result, expected);
}

TEST_F(EngwarpPair, NumberCode) {
  auto lengths = [](uint32_t range, int64_t v, bool sign) {
    ClearWarpStreams();
    PairWorkingSize = range;
    EncodeNumber(v, sign);
    return std::to_string(WarpA.Length()) + "/" + std::to_string(WarpB1.Length()) + "/" +
           std::to_string(WarpB2.Length());
  };
  EXPECT_EQ(lengths(200, 100, false), "1/0/0");  // no bits at all below 256
  EXPECT_EQ(lengths(200, -100, true), "1/0/1");
  EXPECT_EQ(lengths(70000, 255, false), "1/0/1");
  EXPECT_EQ(lengths(70000, 300, false), "2/1/1");
  EXPECT_EQ(lengths(60000, 300, false), "2/0/1");   // no size bit below 65536
  EXPECT_EQ(lengths(20000000, 70000, false), "3/1/1");
  EXPECT_EQ(lengths(20000000, 17000000, true), "4/1/1");
  ClearWarpStreams();
  PairWorkingSize = 70000;
  EncodeNumber(0x1234, true);
  EXPECT_EQ(WarpA.ByteAt(0), 0x12);  // most significant first
  EXPECT_EQ(WarpA.ByteAt(1), 0x34);
  ClearWarpStreams();
}

TEST_F(EngwarpPair, LiteralSegments) {
  // With WarpFlag every segment is raw: B1 holds one 1 per segment (the
  // files are too small for size bits in B1).
  WarpFlag = 1;
  std::mt19937 rng(4);
  for (auto [length, segments] : {std::pair<int, int>{19, 1}, {39, 1}, {40, 2}, {45, 2}, {100, 5}}) {
    EncodedPair pair;
    ASSERT_EQ(RoundTrip(RandomBytes(rng, 50), RandomBytes(rng, length), &pair), "");
    ASSERT_EQ(pair.b1.size(), 1u) << length;
    EXPECT_EQ(pair.b1[0], (1 << segments) - 1) << length;
  }
}

TEST_F(EngwarpPair, VariedPairs) {
  std::mt19937 rng(5);
  struct Case {
    const char* name;
    std::vector<uint8_t> oldData, newData;
  };
  std::vector<Case> cases;
  std::vector<uint8_t> code = CodeLike(rng, 60000);
  cases.push_back({"shifted addresses", code, Mutate(rng, ShiftAddresses(code, 0x40), 5)});
  std::vector<uint8_t> text = TextLike(rng, 30000);
  cases.push_back({"text edits", text, Mutate(rng, text, 20)});
  std::vector<uint8_t> random = RandomBytes(rng, 20000);
  cases.push_back({"moved blocks", random, Mutate(rng, random, 8)});
  cases.push_back({"unrelated", RandomBytes(rng, 3000), RandomBytes(rng, 4000)});
  cases.push_back({"empty old", {}, RandomBytes(rng, 100)});
  cases.push_back({"empty new", RandomBytes(rng, 100), {}});
  cases.push_back({"both empty", {}, {}});
  cases.push_back({"tiny", {1, 2, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}});
  cases.push_back({"identical", code, code});
  cases.push_back({"grown", text, [&] {
                     std::vector<uint8_t> v = text;
                     Add(v, text);
                     return v;
                   }()});
  for (const Case& c : cases) {
    EXPECT_EQ(RoundTrip(c.oldData, c.newData), "") << c.name;
    InMemory = 0;
    EXPECT_EQ(RoundTrip(c.oldData, c.newData), "") << c.name << " (disk)";
    InMemory = 1;
    MatchInNewFile = 1;
    EXPECT_EQ(RoundTrip(c.oldData, c.newData), "") << c.name << " (match in new file)";
    MatchInNewFile = 0;
  }
}

TEST_F(EngwarpPair, OptionExtremes) {
  std::mt19937 rng(6);
  std::vector<uint8_t> code = CodeLike(rng, 40000);
  std::vector<uint8_t> nw = Mutate(rng, ShiftAddresses(code, 0x1000), 10);
  for (uint16_t a : {10, 20, 255})
    for (uint16_t b : {10, 190, 10000})
      for (uint32_t offset : {0u, 7u, 100000u}) {
        OptionA = a;
        OptionB = b;
        WarpOffset = offset;
        EXPECT_EQ(RoundTrip(code, nw), "") << a << " " << b << " " << offset;
      }
}

// Ten copies, each followed by an 8-byte literal, except the last, which
// the file's last 3 bytes follow: the group's extension (8) cannot fit
// after the last copy and has to shrink.
TEST_F(EngwarpPair, ExtensionFitsBeforeTheEndOfTheFile) {
  std::mt19937 rng(7);
  std::vector<uint8_t> old = RandomBytes(rng, 3000);
  std::vector<uint8_t> nw;
  for (int i = 0; i < 10; ++i) {
    Add(nw, Slice(old, 100 + 250 * i, 40));
    Add(nw, RandomBytes(rng, i == 9 ? 3 : 8));
  }
  OptionB = 10;
  EncodedPair pair;
  EXPECT_EQ(RoundTrip(old, nw, &pair), "");
  EXPECT_EQ(pair.records.size(), 20u);
}

// A group's last copy whose extension swallows the next group's first copy.
TEST_F(EngwarpPair, ExtensionSwallowingTheNextGroupsFirstCopy) {
  std::mt19937 rng(8);
  std::vector<uint8_t> old = RandomBytes(rng, 8000);
  std::vector<uint8_t> nw;
  int source = 100;
  auto copy = [&](int n) {
    Add(nw, Slice(old, source, n));
    source += n + 150;
  };
  for (int i = 0; i < 10; ++i) {
    copy(40);
    if (i < 9) Add(nw, RandomBytes(rng, 20));
  }
  Add(nw, RandomBytes(rng, 5));
  copy(12);
  Add(nw, RandomBytes(rng, 3));
  for (int i = 0; i < 12; ++i) {
    copy(40);
    Add(nw, RandomBytes(rng, 20));
  }
  OptionB = 10;
  EncodedPair pair;
  EXPECT_EQ(RoundTrip(old, nw, &pair), "");
}

TEST_F(EngwarpPair, Randomised) {
  std::mt19937 rng(20261208);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 300; ++i) {
    ResetEngineForTest();
    OptionA = static_cast<uint16_t>(10 + rng() % 246);
    OptionB = static_cast<uint16_t>(rng() % 3 == 0 ? 10 + rng() % 20 : 10 + rng() % 9991);
    WarpOffset = rng() % 3 == 0 ? rng() % 64 : 0;
    WarpFlag = rng() % 8 == 0;
    MatchInNewFile = rng() % 6 == 0;
    size_t size = rng() % 4 == 0 ? rng() % 64 : rng() % 6000;
    std::vector<uint8_t> old;
    switch (rng() % 3) {
      case 0: old = CodeLike(rng, size); break;
      case 1: old = TextLike(rng, size); break;
      default: old = RandomBytes(rng, size);
    }
    std::vector<uint8_t> nw = Mutate(rng, rng() % 2 ? ShiftAddresses(old, rng() % 512) : old, 1 + rng() % 12);
    ASSERT_EQ(RoundTrip(old, nw), "") << "case " << i << " A=" << OptionA << " B=" << OptionB;
  }
  // The cases are small: a walk gone quadratic would take far longer than
  // this bound, which leaves room for Wine and a machine busy with the
  // other suites (30.8 s seen there).
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 120.0);
}

// Stepping over entries of a large group must leave the walk as it was:
// the same best candidate under the tie rule, and the candidate cap and work
// budget cutting in at the same places. Runs of one value in both files,
// before and after the key bytes, make the groups large and the matches of
// every length; tight bounds make them cut in often.
TEST_F(EngwarpPair, WalkAidsKeepTheRecords) {
  std::mt19937 rng(12);
  auto runs = [&](size_t n) { return Runs(rng, n); };
  auto compare = [](const std::vector<uint8_t>& old, const std::vector<uint8_t>& nw, uint32_t cap, uint64_t budget) {
    for (uint8_t inNewFile : {0, 1}) {
      EncodedPair plain, aided;
      ResetEngineForTest();
      MatchInNewFile = inNewFile;
      FinderCandidateCap = cap;
      FinderWorkBudget = budget;
      FinderWalkAids = false;
      EncodePair(old, nw, &plain);
      FinderWalkAids = true;
      EncodePair(old, nw, &aided);
      FinderCandidateCap = 262144;
      FinderWorkBudget = 16u << 20;
      ASSERT_EQ(CheckCover(aided.records, old, nw), "");
      ASSERT_EQ(plain.records.size(), aided.records.size()) << "cap " << cap << " budget " << budget;
      for (size_t r = 0; r < plain.records.size(); ++r) {
        ASSERT_EQ(plain.records[r].length, aided.records[r].length) << "record " << r;
        ASSERT_EQ(plain.records[r].offset, aided.records[r].offset) << "record " << r;
      }
      EXPECT_EQ(plain.boundHits, aided.boundHits) << "cap " << cap << " budget " << budget;
    }
  };
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> old = runs(60000);
    std::vector<uint8_t> nw = Mutate(rng, old, 5 + rng() % 20);
    Add(nw, runs(10000));
    SCOPED_TRACE(i);
    compare(old, nw, 262144, 16u << 20);
    compare(old, nw, 262144, 1500);
    compare(old, nw, 300, 30000);
    compare(old, nw, 2000, 400000);
  }
  // Groups of a few hundred entries, so that the cap cuts in on either side
  // of the binary search's hit, once exactly at an entry that is rated.
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> old = runs(3000);
    std::vector<uint8_t> nw = Mutate(rng, old, 3);
    SCOPED_TRACE(100 + i);
    for (uint32_t cap = 1; cap < 400; cap += 2) compare(old, nw, cap, 16u << 20);
  }
}

// The scan on several threads follows guessed traces of pieces of the new
// file; it must give the records and bound hits of the scan on one thread
// whatever the pieces: small ones make the parse cross a piece in the
// middle of a copy, start a piece inside a literal run, and meet guesses
// that differ from the real offset at every piece.
TEST_F(EngwarpPair, ThreadedScanKeepsTheRecords) {
  std::mt19937 rng(13);
  auto runs = [&](size_t n) { return Runs(rng, n); };
  struct Case {
    std::vector<uint8_t> old, nw;
    uint8_t inNewFile;
    bool ranged;
  };
  std::vector<Case> cases;
  std::vector<uint8_t> code = CodeLike(rng, 150000);
  cases.push_back({code, Mutate(rng, ShiftAddresses(code, 64), 30), 0, false});
  cases.push_back({code, Mutate(rng, code, 30), 1, false});
  std::vector<uint8_t> degenerate = runs(120000);
  cases.push_back({degenerate, Mutate(rng, degenerate, 25), 0, false});
  cases.push_back({degenerate, Mutate(rng, degenerate, 25), 1, false});
  // Mostly literals, with a few copies between them.
  std::vector<uint8_t> noise = RandomBytes(rng, 100000), other = RandomBytes(rng, 100000);
  for (int i = 0; i < 20; ++i) {
    size_t at = rng() % 99000, len = 20 + rng() % 800;
    std::copy(noise.begin() + at, noise.begin() + std::min(noise.size(), at + len), other.begin() + rng() % 98000);
  }
  cases.push_back({noise, other, 0, false});
  cases.push_back({code, Mutate(rng, code, 10), 0, true});
  // One bucket large enough to be sorted on several threads: a zero at
  // every fifth byte gives every indexed position the same key.
  std::vector<uint8_t> striped = RandomBytes(rng, 400000);
  for (size_t i = 4; i < striped.size(); i += 5) striped[i] = 0;
  cases.push_back({striped, Mutate(rng, striped, 8), 0, false});

  struct Bounds {
    uint32_t cap;
    uint64_t budget;
  };
  for (size_t c = 0; c < cases.size(); ++c) {
    const Case& k = cases[c];
    for (Bounds bounds : {Bounds{262144, 16u << 20}, Bounds{300, 30000}}) {
      SCOPED_TRACE(testing::Message() << "case " << c << " cap " << bounds.cap);
      auto encode = [&](uint32_t threads, uint32_t chunk, EncodedPair* out) {
        ResetEngineForTest();
        MatchInNewFile = k.inNewFile;
        FinderCandidateCap = bounds.cap;
        FinderWorkBudget = bounds.budget;
        FinderThreads = threads;
        FinderChunkSize = chunk;
        EncodePair(k.old, k.nw, out, k.ranged, 5000, 5200, 300);
      };
      EncodedPair serial;
      encode(1, 64 * 1024, &serial);
      for (uint32_t chunk : {64u, 777u, 4096u}) {
        EncodedPair threaded;
        encode(chunk == 777u ? 7 : 3, chunk, &threaded);
        SCOPED_TRACE(chunk);
        ASSERT_EQ(serial.records.size(), threaded.records.size());
        for (size_t r = 0; r < serial.records.size(); ++r) {
          ASSERT_EQ(serial.records[r].length, threaded.records[r].length) << "record " << r;
          ASSERT_EQ(serial.records[r].offset, threaded.records[r].offset) << "record " << r;
        }
        EXPECT_EQ(serial.boundHits, threaded.boundHits);
        EXPECT_TRUE(serial.a == threaded.a && serial.d == threaded.d && serial.e == threaded.e);
      }
    }
  }
  FinderThreads = 0;
  FinderChunkSize = 64 * 1024;
  FinderCandidateCap = 262144;
  FinderWorkBudget = 16u << 20;
}

// The disk variant thins its index to the memory budget (1 MiB here) and
// must still describe the new file completely, protected range included.
TEST_F(EngwarpPair, DiskVariantWithinATightBudget) {
  std::mt19937 rng(10);
  std::vector<uint8_t> old = RandomBytes(rng, 500000);
  std::vector<uint8_t> nw = Mutate(rng, old, 40);
  InMemory = 0;
  SampleStep = 1;
  EncodedPair pair;
  EXPECT_EQ(RoundTrip(old, nw, &pair), "");
  EXPECT_LT(pair.d.size(), nw.size() / 20);

  EncodePair(old, nw, &pair, true, 1000, 1000, 500);
  std::vector<uint8_t> expected = nw;
  std::copy(old.begin() + 1000, old.begin() + 1500, expected.begin() + 1000);
  std::vector<uint8_t> result;
  std::string error;
  ASSERT_TRUE(testapply::DecodePair(old, pair.version, static_cast<uint32_t>(nw.size()), &result, &error)) << error;
  EXPECT_TRUE(result == expected);
}

std::vector<int> gMarks[3];
void FinderMark(int32_t v) { gMarks[0].push_back(v); }
void OptimiseMark(int32_t v) { gMarks[1].push_back(v); }
void EncodeMark(int32_t v) { gMarks[2].push_back(v); }

TEST_F(EngwarpPair, ProgressRunsFromZeroToHundred) {
  FinderProgressHook = FinderMark;
  OptimizeProgressHook = OptimiseMark;
  EncodeProgressHook = EncodeMark;
  std::mt19937 rng(11);
  std::vector<uint8_t> old = CodeLike(rng, 200000);
  EXPECT_EQ(RoundTrip(old, Mutate(rng, old, 50)), "");
  FinderProgressHook = OptimizeProgressHook = EncodeProgressHook = nullptr;
  for (auto& marks : gMarks) {
    ASSERT_GE(marks.size(), 3u);
    EXPECT_EQ(marks.front(), 0);
    EXPECT_EQ(marks.back(), 100);
    EXPECT_TRUE(std::is_sorted(marks.begin(), marks.end()));
  }
}

// Long runs of one value, or of one repeated block, give one key to every
// indexed position of the run; the walk over them must stay bounded.
TEST_F(EngwarpPair, DegenerateInputStaysFast) {
  const size_t size = 16u << 20;
  std::vector<uint8_t> zeros(size, 0);
  std::vector<uint8_t> blocks(size);
  std::mt19937 rng(9);
  std::vector<uint8_t> unit = RandomBytes(rng, 64);
  for (size_t i = 0; i < size; ++i) blocks[i] = unit[i % 64];
  for (const std::vector<uint8_t>* old : {&zeros, &blocks}) {
    std::vector<uint8_t> nw = *old;
    for (int i = 0; i < 8; ++i) nw[rng() % size] ^= 0x5A;
    nw.insert(nw.begin() + (size / 3), {1, 2, 3, 4, 5, 6, 7});
    auto start = std::chrono::steady_clock::now();
    EncodedPair pair;
    EXPECT_EQ(RoundTrip(*old, nw, &pair), "");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A walk that is not bounded takes hours on 16 MB of one key; the
    // bound leaves room for a machine busy with other suites (these runs
    // take 8-23 s under the sanitizers on a loaded 8-core machine).
    EXPECT_LT(seconds, 60.0);
    std::printf("degenerate %s: %.2f s, %zu records, bound hits %u\n", old == &zeros ? "zeros" : "blocks", seconds,
                pair.records.size(), pair.boundHits);
  }
}

}  // namespace
