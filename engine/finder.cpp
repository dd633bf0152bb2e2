#include "finder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "commonprefix.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "sync.h"
#include "workers.h"

RecordList FinderRecords;
uint32_t FinderCopyCount = 0;
uint64_t FinderCopiedBytes = 0;

// Degenerate input (a long run of one value, one block repeated) puts every
// indexed position of the run behind one key and one inner word, and each
// candidate extends over the whole run. Executables already hold zero-filled
// stretches whose walks rate tens of thousands of candidates, so the bounds
// sit above what such files need: a 9 MB executable pair gives the same
// streams with and without them; they cut in on long runs only.
uint32_t FinderCandidateCap = 262144;
uint64_t FinderWorkBudget = 16u << 20;
uint32_t FinderBoundHits = 0;
bool FinderWalkAids = true;
uint32_t FinderThreads = 0;
// Each piece handed out wakes the threads that wait for one; at 4 KiB the
// wakes cost a mid-size pair a third of its time (a 13 MB tree: 0.31 s at
// 4 KiB, 0.21 s at 32 KiB, no faster at 64 KiB, and slower there for a tree
// of 8 MB binaries, whose pieces then come too few to share out).
uint32_t FinderChunkSize = 32 * 1024;

namespace {

const char kRecordEnglish[] = "to buffer found patch structure information";
const char kRecordGerman[] = "um gefundene Patchstrukturinformationen zu puffern";
const char kIndexEnglish[] = "to create indices for the source file";
const char kIndexGerman[] = "um Indizes f\xfcr die Quelldatei anzulegen";

const uint32_t kBuckets = 65536;
const int kAlignments = 5;
const uint32_t kMinMatch = 12;
const uint32_t kStartCost = 1000000;
// A source inside the new file must lie at least this far behind the
// position being matched.
const uint32_t kNewFileDistance = 266;
// Below these sizes (scanned bytes of the new file, indexed positions) the
// helpers cost more to wake than they save.
const uint32_t kParallelScan = 64 * 1024;
const uint32_t kParallelIndex = 16384;

uint32_t* BucketSizes = nullptr;
uint32_t* BucketCursors = nullptr;
uint32_t* BucketStarts = nullptr;
uint32_t* IndexPositions = nullptr;
// Copies of the bytes around every indexed position, parallel to
// IndexPositions: its inner word, the 4 bytes before it and the 8 bytes after
// its key. Zero-filled stretches of executables put tens of thousands of
// positions behind one key and one inner word, and most of them fail on the
// bytes before or stop within a few bytes; read from here, a walk over them
// runs through memory in order instead of touching the file at random. With
// the orders below they take up to nine times the memory of the index; where
// that is not to be had, the walk does without them and reads the file.
uint32_t* IndexInner = nullptr;
uint32_t* IndexBefore = nullptr;
uint64_t* IndexAfter = nullptr;
// For every run of at least kLargeGroup entries of a bucket that share one
// inner word, and for every alignment k (block k of IndexCount entries): its
// entries (bucket-relative) ordered by GroupKey, then by place in the bucket.
// At alignment k only the entries whose k bytes before agree with the
// target's can pass, and only those whose 6 - k bytes after the key agree
// as well reach the shortest match; in zero-filled stretches these are a
// small part of a group. The rest are stepped over without reading them.
// Not built when the new file is indexed as well: its entries near the
// target are passed over without being counted, which the stepping over
// does not know.
uint32_t* IndexByByte = nullptr;
uint32_t IndexCount = 0;
// Above this many indexed bytes the index is built for size: positions only
// (4 bytes each, no copies of neighbourhoods), each bucket ordered by inner
// word and then by position, so that the entries of a crowded inner word
// can be walked nearest first from where the last copy would continue.
const uint64_t kLargeIndex = 16u << 20;
// Nearest entries rated per alignment of a crowded inner word in a large
// index, how far each candidate is extended at first, and the shortest
// copy whose diagonal the walk then follows.
const uint32_t kLargeWalk = 48;
const uint32_t kLargeReach = 4096;
const uint32_t kAnchorLength = 256;
bool LargeIndex = false;
// Large index: one bit per hash of the six bytes (key and inner word) of
// the indexed positions (AllocSeen). Most positions of the new file that are searched
// at all lie in changed bytes, whose six bytes were never indexed; the bit
// spares them the search of their bucket, which reads the file at random.
// A quarter of a bit per indexed byte: the little room a large pair leaves.
std::atomic<uint64_t>* IndexSeen = nullptr;
int IndexSeenShift = 64;

inline uint64_t SeenHash(uint32_t key, uint32_t inner) {
  return ((static_cast<uint64_t>(inner) << 16 | key) * 0x9E3779B97F4A7C15ull) >> IndexSeenShift;
}

inline void NoteSeen(uint32_t key, uint32_t inner) {
  if (!IndexSeen) return;
  uint64_t h = SeenHash(key, inner);
  IndexSeen[h >> 6].fetch_or(uint64_t(1) << (h & 63), std::memory_order_relaxed);
}
// The keys whose buckets the index holds, in the order first seen; the
// counters of all other buckets are 0 (BucketStarts of those is left as it
// was).
std::vector<uint32_t> UsedKeys;
const uint32_t kLargeGroup = 64;

// The k bytes before an entry (byte c - 1 highest), then the 6 - k bytes
// after its key: 48 bits.
inline uint64_t GroupKey(uint32_t before, uint64_t after, int k) {
  uint64_t high = k > 0 ? before >> (32 - 8 * k) : 0;
  return high << (48 - 8 * k) | (after & ((uint64_t(1) << (48 - 8 * k)) - 1));
}

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t Load64(const uint8_t* p) { return Load32(p) | static_cast<uint64_t>(Load32(p + 4)) << 32; }

// Bytes from p on, little-endian, as far as they lie before end (zeros after).
inline uint64_t Load64Upto(const uint8_t* p, const uint8_t* end) {
  if (end - p >= 8) return Load64(p);
  uint64_t v = 0;
  for (int i = 0; p + i < end; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

inline int FirstDifferentByte(uint64_t x) {
#if defined(__GNUC__)
  return __builtin_ctzll(x) / 8;
#else
  int n = 0;
  while (!(x & 0xFF)) {
    x >>= 8;
    ++n;
  }
  return n;
#endif
}

inline void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// The pair as the finder reads it: positions of the old file, then of the
// new one, held in two blocks (PairBuffer, PairNewBytes). buf + c is where
// position c lies; the bytes after it are in the same block up to the end
// of c's file. No match, extension or copy of a neighbourhood runs from
// one file into the other, so nothing reads past that end.
struct PairBytes {
  const uint8_t* old = nullptr;
  const uint8_t* fresh = nullptr;
  uint32_t oldSize = 0;
  const uint8_t* At(uint32_t c) const { return c < oldSize ? old + c : fresh + (c - oldSize); }
  friend const uint8_t* operator+(const PairBytes& b, uint32_t c) { return b.At(c); }
  uint8_t operator[](uint32_t c) const { return *At(c); }
};

PairBytes CurrentPair() {
  PairBytes b;
  b.old = PairBuffer;
  b.fresh = PairNewBytes();
  b.oldSize = PairOldSize;
  return b;
}

inline uint32_t KeyAt(const uint8_t* p) { return p[0] + 256u * p[5]; }
inline uint32_t InnerAt(const uint8_t* p) { return Load32(p + 1); }

uint32_t ScanThreadCount() {
  return FinderThreads ? FinderThreads : CoreCount();
}

// Calls f(from, to) for pieces of [0, n) on the scan's threads, each piece
// taken by whichever thread is free; f must touch only its own piece. Work
// too small to gain from helpers (parallel false) stays on this thread.
template <class F>
void ForPieces(uint32_t n, bool parallel, F f) {
  const uint32_t threads = ScanThreadCount();
  if (!parallel || threads <= 1 || n < 2) {
    f(0, n);
    return;
  }
  const uint32_t parts = std::min(n, threads * 16);
  std::atomic<uint32_t> next(0);
  RunOnWorkers(threads - 1, [&]() {
    for (uint32_t k; (k = next.fetch_add(1)) < parts;)
      f(static_cast<uint32_t>(static_cast<uint64_t>(n) * k / parts),
        static_cast<uint32_t>(static_cast<uint64_t>(n) * (k + 1) / parts));
  });
}

// One quicksort step on the inner word, middle element as pivot: [lo, *left]
// and [*right, hi] are left to sort.
inline void Partition(uint32_t* a, int64_t lo, int64_t hi, const PairBytes& buffer, int64_t* left, int64_t* right) {
  int64_t i = lo, j = hi;
  uint32_t pivot = InnerAt(buffer + a[lo + (hi - lo) / 2]);
  do {
    while (InnerAt(buffer + a[i]) < pivot) ++i;
    while (pivot < InnerAt(buffer + a[j])) --j;
    if (i <= j) {
      std::swap(a[i], a[j]);
      ++i;
      --j;
    }
  } while (i <= j);
  *left = j;
  *right = i;
}

// Quicksort; recursion on the smaller side keeps the stack shallow on
// unlucky input.
void SortBucket(uint32_t* a, int64_t lo, int64_t hi, const PairBytes& buffer) {
  while (lo < hi) {
    int64_t i, j;
    Partition(a, lo, hi, buffer, &j, &i);
    if (j - lo < hi - i) {
      if (lo < j) SortBucket(a, lo, j, buffer);
      lo = i;
    } else {
      if (i < hi) SortBucket(a, i, hi, buffer);
      hi = j;
    }
  }
}

// The same sort for a bucket that holds a good part of the index (a
// zero-filled stretch puts its every position behind one key): the two
// sides of each of the first partitions are independent, so the partitions
// of each level and then the sides left are worked on in parallel, and the
// order comes out as above.
void SortLargeBucket(uint32_t* a, int64_t lo, int64_t hi, const PairBytes& buffer, int depth) {
  struct Side {
    int64_t lo, hi;
  };
  std::vector<Side> sides{{lo, hi}}, next;
  for (int level = 0; level < depth; ++level) {
    next.assign(sides.size() * 2, Side{0, -1});
    ForPieces(static_cast<uint32_t>(sides.size()), true, [&](uint32_t from, uint32_t to) {
      for (uint32_t x = from; x < to; ++x) {
        const Side& side = sides[x];
        if (side.hi - side.lo < 4096) {
          next[2 * x] = side;  // small enough to sort whole
          continue;
        }
        int64_t i, j;
        Partition(a, side.lo, side.hi, buffer, &j, &i);
        next[2 * x] = {side.lo, j};
        next[2 * x + 1] = {i, side.hi};
      }
    });
    sides.clear();
    for (const Side& side : next)
      if (side.lo < side.hi) sides.push_back(side);
  }
  ForPieces(static_cast<uint32_t>(sides.size()), true, [&](uint32_t from, uint32_t to) {
    for (uint32_t x = from; x < to; ++x) SortBucket(a, sides[x].lo, sides[x].hi, buffer);
  });
}

struct Progress {
  uint32_t marks[101];
  uint16_t counter = 0;

  void Start(uint32_t newSize) {
    for (int i = 0; i <= 100; ++i) marks[i] = static_cast<uint32_t>(static_cast<uint64_t>(newSize) * i / 100);
    counter = 0;
  }
  void Advance(uint64_t p) {
    uint16_t before = counter;
    while (counter < 100 && p > marks[counter]) ++counter;
    if (counter != before && FinderProgressHook) FinderProgressHook(counter);
  }
};


struct Scan {
  PairBytes buffer;
  uint32_t oldSize = 0, newSize = 0;
  PairRange range;
  uint32_t lastOffset = 0;
  // Source less target of the last copy of at least kAnchorLength bytes:
  // the diagonal a large index is walked along. A short copy, often a
  // chance match far away, does not move it.
  int64_t anchor = 0;
  void Copied(uint32_t target, uint32_t length, uint32_t offset) {
    lastOffset = offset;
    if (length >= kAnchorLength) anchor = static_cast<int64_t>(offset) - target;
  }
  // Search state for the current position.
  uint32_t bestLength = 0, bestCost = kStartCost, bestOffset = 0;
  uint64_t work = 0;
  // Work of the entries stepped over as too short, at most: their exact
  // work is known only by rating them, so where a bound check would look at
  // it the search of this position starts again and rates every entry.
  uint64_t shortWork = 0;
  bool stopped = false, startAgain = false;
  // Large index: candidates that matched kLargeReach bytes and could go
  // on, in the order of the walk; they are extended the whole way at the
  // end, all of them, since the one that goes furthest is not always the
  // nearest.
  struct Long {
    uint32_t c;
    int k;
  } longs[8];
  uint32_t longCount = 0;
  // Large index: the search walked a crowded inner word, whose entries
  // rated depend on where the last copy lies.
  bool crowded = false;
  // Large index: the entries of the last few target positions' inner
  // words. Each position of the new file is the target of five searches
  // (one per alignment, from p - 4 to p), and finding its entries is most
  // of their cost.
  struct Group {
    uint32_t target = UINT32_MAX;
    const uint32_t *from = nullptr, *to = nullptr;
  } groups[8];
  // Times a bound cut a walk short; added to FinderBoundHits at the end.
  uint32_t boundHits = 0;
  // Large index: the last run of one byte value met at a source and at a
  // target, [start, end) in the pair buffer (none while start > end).
  struct Run {
    uint32_t start = 1, end = 0;
    uint8_t value = 0;
  } sourceRun, targetRun;
};

// Whether the work budget ends the walk here; with entries stepped over,
// gives up when the answer is not certain.
inline bool OverBudget(Scan& s) {
  if (s.work + s.shortWork < FinderWorkBudget) return false;
  if (s.shortWork > 0) s.startAgain = true;
  return true;
}

void EmitLiteral(uint32_t start, uint32_t end) {
  FinderRecords.Append(-static_cast<int32_t>(end - start), start);
}

void EmitCopy(uint32_t length, uint32_t offset) {
  FinderRecords.Append(static_cast<int32_t>(length), offset);
  ++FinderCopyCount;
  FinderCopiedBytes += length;
}

// The target of one alignment as the walk compares it: the k bytes before
// it in the top bytes of before (byte t - 1 highest), the bytes after its key.
struct Target {
  uint32_t before = 0, mask = 0;
  uint64_t after = 0;
};

Target TargetAt(const Scan& s, uint32_t p, int k) {
  const uint8_t* t = s.buffer.fresh + p + k;
  Target r;
  for (int j = 1; j <= k; ++j) {
    r.before |= static_cast<uint32_t>(t[-j]) << (32 - 8 * j);
    r.mask |= 0xFFu << (32 - 8 * j);
  }
  r.after = Load64Upto(t + 6, s.buffer.fresh + s.newSize);
  return r;
}

// How far candidate c may be extended beyond its six key bytes; false when
// not even those fit.
inline bool Room(const Scan& s, uint32_t p, uint32_t c, int k, uint32_t end, uint32_t* room) {
  uint32_t target = s.oldSize + p + k;
  uint32_t sourceLimit;
  if (c < s.oldSize) {
    sourceLimit = s.oldSize;
    // The old file's protected bytes differ at every customer: a copy must
    // never read them.
    if (s.range.found && c < s.range.oldStart) sourceLimit = s.range.oldStart;
  } else {
    sourceLimit = s.oldSize + p - 5;
    if (s.range.found && c < s.oldSize + s.range.newStart)
      sourceLimit = std::min(sourceLimit, s.oldSize + s.range.newStart);
  }
  // A match must not run past the scanned area (into the protected range).
  uint32_t targetLimit = s.oldSize + end;
  if (c + 6 > sourceLimit || target + 6 > targetLimit) return false;
  *room = std::min(sourceLimit - (c + 6), targetLimit - (target + 6));
  return true;
}

// Weighs the match of candidate c, extra bytes beyond its key, against the
// best so far.
inline void Judge(Scan& s, uint32_t p, uint32_t c, int k, uint32_t end, uint32_t extra) {
  s.work += extra + 6 + k;

  uint32_t length = k + 6 + extra;
  if (length < kMinMatch) return;
  uint32_t offset = c - k;
  uint32_t distance = offset > s.lastOffset ? offset - s.lastOffset : s.lastOffset - offset;
  uint32_t cost = RecordNumberCost(length) + RecordNumberCost(distance);
  int64_t gain = static_cast<int64_t>(length) - cost;
  int64_t bestGain = static_cast<int64_t>(s.bestLength) - s.bestCost;
  bool accept = gain > bestGain;
  if (!accept && gain == bestGain) {
    uint32_t bestDistance = s.bestOffset > s.lastOffset ? s.bestOffset - s.lastOffset : s.lastOffset - s.bestOffset;
    accept = distance < bestDistance;
  }
  if (accept) {
    s.bestLength = length;
    s.bestCost = cost;
    s.bestOffset = offset;
  }
  // Nothing can match further than the end of the scanned area.
  if (length == end - p) s.stopped = true;
}

// Rates source position c for new position p at alignment k (the six key
// bytes at c and p + k already agree). end is the end of the scanned area.
void EvaluateCandidate(Scan& s, uint32_t p, uint32_t c, int k, uint32_t end) {
  if (c < static_cast<uint32_t>(k)) return;
  // Indexed positions lie at least 4 bytes into their file.
  const uint8_t* source = s.buffer + c;
  const uint8_t* target = s.buffer.fresh + p + k;
  for (int j = 1; j <= k; ++j)
    if (source[-j] != target[-j]) return;
  uint32_t room;
  if (!Room(s, p, c, k, end, &room)) return;
  Judge(s, p, c, k, end, CommonPrefixLength(source + 6, target + 6, room));
}

// The same for index entry i, from the copies of its neighbourhood: the file
// is read only when the first 8 bytes after the key all agree.
inline void EvaluateIndexed(Scan& s, uint32_t p, uint32_t i, int k, uint32_t end, const Target& t) {
  if ((IndexBefore[i] ^ t.before) & t.mask) return;
  uint32_t c = IndexPositions[i];
  if (c < static_cast<uint32_t>(k)) return;
  uint32_t room;
  if (!Room(s, p, c, k, end, &room)) return;
  uint64_t diff = IndexAfter[i] ^ t.after;
  uint32_t extra;
  if (diff != 0)
    extra = std::min<uint32_t>(FirstDifferentByte(diff), room);
  else if (room <= 8)
    extra = room;
  else
    extra = 8 + CommonPrefixLength(s.buffer + c + 14, s.buffer.fresh + p + k + 14, room - 8);
  Judge(s, p, c, k, end, extra);
}

// Where the binary search for the target's inner word hits, or -1.
template <class Inner>
int64_t Find(uint32_t size, uint32_t inner, Inner innerAt) {
  int64_t lo = 0, hi = static_cast<int64_t>(size) - 1, hit = -1;
  while (lo <= hi) {
    int64_t mid = (lo + hi) / 2;
    uint32_t w = innerAt(mid);
    if (w < inner)
      lo = mid + 1;
    else if (w > inner)
      hi = mid - 1;
    else {
      hit = mid;
      break;
    }
  }
  return hit;
}

// The entries of a bucket with the inner word of the target, in the order
// of the walk: back from where the binary search hit, then on from there.
template <class Inner, class Rate>
void Walk(uint32_t size, uint32_t inner, Inner innerAt, Rate rate) {
  int64_t hit = Find(size, inner, innerAt);
  if (hit < 0) return;
  for (int64_t j = hit; j >= 0 && innerAt(j) == inner; --j)
    if (!rate(j)) return;
  for (int64_t j = hit + 1; j < static_cast<int64_t>(size) && innerAt(j) == inner; ++j)
    if (!rate(j)) return;
}

// The walk at alignment k over a large group, rating only the entries
// whose k bytes before and 6 - k bytes after the key agree with the
// target's. The others fail on the bytes before, or match fewer than
// kMinMatch bytes and add only to the work; they change nothing else but
// the count of rated candidates, which is the number of entries the walk
// has passed: where the candidate cap would have cut the walk short
// follows from the place of the next entry that is rated. False when the
// group is not large.
bool StepOver(Scan& s, uint32_t p, int k, uint32_t end, uint32_t start, uint32_t size, uint32_t inner,
              const Target& target) {
  const uint32_t* innerWords = IndexInner + start;
  int64_t hit = Find(size, inner, [&](int64_t j) { return innerWords[j]; });
  if (hit < 0) return true;
  int64_t g0 = std::lower_bound(innerWords, innerWords + hit, inner) - innerWords;
  int64_t g1 = std::upper_bound(innerWords + hit, innerWords + size, inner) - innerWords;
  if (g1 - g0 < static_cast<int64_t>(kLargeGroup)) return false;

  const uint32_t* order = IndexByByte + static_cast<size_t>(k) * IndexCount + start;
  const uint32_t* before = IndexBefore + start;
  const uint64_t* after = IndexAfter + start;
  auto keyOf = [&](int64_t x) { return GroupKey(before[order[x]], after[order[x]], k); };
  // First place in [lo, hi) whose key is at least (or above) want.
  auto bound = [&](int64_t lo, int64_t hi, uint64_t want, bool above) {
    while (lo < hi) {
      int64_t mid = (lo + hi) / 2;
      uint64_t key = keyOf(mid);
      if (key < want || (above && key == want))
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  };
  uint64_t want = GroupKey(target.before, target.after, k);
  int bits = 48 - 8 * k;
  uint64_t prefix = want >> bits << bits;
  // Entries that pass on the bytes before, and among them those that reach
  // kMinMatch (in bucket order).
  int64_t b0 = bound(g0, g1, prefix, false);
  int64_t b1 = bound(b0, g1, prefix + (uint64_t(1) << bits) - 1, true);
  int64_t r0 = bound(b0, b1, want, false);
  int64_t r1 = bound(r0, b1, want, true);
  // A short match adds k + 6 + fewer than 6 - k bytes.
  s.shortWork += static_cast<uint64_t>((b1 - b0) - (r1 - r0)) * (kMinMatch - 1);
  int64_t split = std::upper_bound(order + r0, order + r1, static_cast<uint32_t>(hit)) - order;

  const int64_t entries = g1 - g0;
  int64_t last = -1;  // place in the walk of the last entry rated
  // Rates entry j at place v of the walk; false when the walk ends there.
  auto rate = [&](int64_t j, int64_t v) {
    // The bounds are checked before every entry from last + 1 on.
    if (v >= static_cast<int64_t>(FinderCandidateCap) || OverBudget(s)) {
      ++s.boundHits;
      return false;
    }
    last = v;
    EvaluateIndexed(s, p, start + static_cast<uint32_t>(j), k, end, target);
    return !s.stopped;
  };
  for (int64_t x = split - 1; x >= r0; --x) {
    int64_t j = order[x];
    if (!rate(j, hit - j)) return true;
  }
  for (int64_t x = split; x < r1; ++x) {
    int64_t j = order[x];
    if (!rate(j, (hit - g0 + 1) + (j - hit - 1))) return true;
  }
  // Entries stepped over after the last one rated.
  if (last + 1 < entries && (entries - 1 >= static_cast<int64_t>(FinderCandidateCap) || OverBudget(s)))
    ++s.boundHits;
  return true;
}

void SearchOnce(Scan& s, uint32_t p, uint32_t end, bool stepOver) {
  const PairBytes& buf = s.buffer;
  s.work = 0;
  s.shortWork = 0;
  s.stopped = false;
  s.startAgain = false;
  for (int k = 0; k < kAlignments && !s.stopped && !s.startAgain; ++k) {
    const uint8_t* at = buf.fresh + p + k;
    uint32_t key = KeyAt(at);
    uint32_t size = BucketSizes[key];
    if (size == 0) continue;
    uint32_t start = BucketStarts[key];
    const uint32_t* bucket = IndexPositions + start;
    uint32_t inner = InnerAt(at);
    uint32_t rated = 0;
    // Whether the walk goes on before candidate c.
    auto admit = [&](uint32_t c) {
      if (rated >= FinderCandidateCap || OverBudget(s)) {
        ++s.boundHits;
        return false;
      }
      ++rated;
      return true;
    };
    auto tooNear = [&](uint32_t c) { return c >= s.oldSize && c + kNewFileDistance > s.oldSize + p; };
    if (IndexInner) {
      Target target = TargetAt(s, p, k);
      const uint32_t* innerWords = IndexInner + start;
      if (stepOver && StepOver(s, p, k, end, start, size, inner, target)) continue;
      Walk(size, inner, [&](int64_t j) { return innerWords[j]; },
           [&](int64_t j) {
             if (tooNear(bucket[j])) return true;
             if (!admit(bucket[j])) return false;
             EvaluateIndexed(s, p, start + static_cast<uint32_t>(j), k, end, target);
             return !s.stopped;
           });
    } else {
      Walk(size, inner, [&](int64_t j) { return InnerAt(buf + bucket[j]); },
           [&](int64_t j) {
             uint32_t c = bucket[j];
             if (tooNear(c)) return true;
             if (!admit(c)) return false;
             EvaluateCandidate(s, p, c, k, end);
             return !s.stopped;
           });
    }
  }
}

// Bytes equal to the one at at, from at on (to the end of its file), with
// the run they belong to (within that file) kept in run. A run that went
// on into the other file would change nothing: an extension stops at the
// end of its source's file, and a target lies in the new one.
uint32_t RunLength(const Scan& s, Scan::Run& run, uint32_t at) {
  const bool inOld = at < s.oldSize;
  const uint32_t first = inOld ? 0 : s.oldSize;
  // The file at lies in, and at's place in it.
  const uint8_t* buf = inOld ? s.buffer.old : s.buffer.fresh;
  const uint32_t total = inOld ? s.oldSize : s.newSize;
  const uint32_t here = at - first;
  const uint8_t v = buf[here];
  if (at >= run.start && at < run.end && run.value == v) return run.end - at;
  const uint64_t pattern = 0x0101010101010101ull * v;
  uint32_t lo = here, hi = here;
  while (total - hi >= 8 && Load64(buf + hi) == pattern) hi += 8;
  while (hi < total && buf[hi] == v) ++hi;
  while (lo >= 8 && Load64(buf + lo - 8) == pattern) lo -= 8;
  while (lo > 0 && buf[lo - 1] == v) --lo;
  run.start = first + lo;
  run.end = first + hi;
  run.value = v;
  return hi - here;
}

// CommonPrefixLength of the bytes at source and target, at most limit.
// Where both lie in a run of one value (the zeros of a disk image, fill
// bytes), the answer follows from where the two runs end: every candidate
// in a stretch of zeros would otherwise be compared over the whole
// stretch, and a large index rates hundreds of them per position.
inline uint32_t Extend(Scan& s, uint32_t source, uint32_t target, uint32_t limit) {
  const uint8_t* a = s.buffer + source;
  const uint8_t* b = s.buffer.fresh + (target - s.oldSize);
  if (limit >= 64 && *a == *b) {
    const uint64_t pattern = 0x0101010101010101ull * *a;
    if (Load64(a) == pattern && Load64(b) == pattern) {
      uint32_t sourceRun = RunLength(s, s.sourceRun, source), targetRun = RunLength(s, s.targetRun, target);
      uint32_t both = std::min(sourceRun, targetRun);
      if (both >= limit) return limit;
      // Where one run ends and the other goes on, the bytes differ.
      if (sourceRun != targetRun) return both;
      return both + CommonPrefixLength(a + both, b + both, limit - both);
    }
  }
  return CommonPrefixLength(a, b, limit);
}

// Rates candidate c of a large index like EvaluateCandidate, but extends
// it at most kLargeReach bytes at first: in a long run of one value or of
// one block every candidate would otherwise be compared over the whole
// run. With full set the candidate has gone that far once and now goes
// the whole way.
void RateLarge(Scan& s, uint32_t p, uint32_t c, int k, uint32_t end, bool full = false) {
  uint32_t target = s.oldSize + p + k;
  if (c < static_cast<uint32_t>(k)) return;
  if (c >= s.oldSize && c + kNewFileDistance > s.oldSize + p) return;
  // Indexed positions lie at least 4 bytes into their file.
  const uint8_t* source = s.buffer + c;
  const uint8_t* t = s.buffer.fresh + p + k;
  for (int j = 1; j <= k; ++j)
    if (source[-j] != t[-j]) return;
  uint32_t room;
  if (!Room(s, p, c, k, end, &room)) return;
  uint32_t reach = full ? room : std::min(room, kLargeReach);
  uint32_t extra = Extend(s, c + 6, target + 6, reach);
  if (extra == reach && reach < room) {
    if (s.longCount < sizeof s.longs / sizeof s.longs[0]) {
      s.longs[s.longCount++] = {c, k};
      return;
    }
    extra += Extend(s, c + 6 + extra, target + 6 + extra, room - extra);
  }
  Judge(s, p, c, k, end, extra);
}

// The search at p in a large index. An inner word with few entries has
// them all rated; a crowded one (runs of zeros and fill bytes in
// executables put thousands of entries behind one) has the kLargeWalk
// entries rated that lie nearest to where the last long copy would
// continue, then entries at twice the distance each time. A better match
// elsewhere in such a word can be missed: the copy then comes from a
// nearer place, and the patch grows by a record or a few literal bytes.
void SearchLarge(Scan& s, uint32_t p, uint32_t end) {
  const PairBytes& buf = s.buffer;
  s.stopped = false;
  s.longCount = 0;
  s.crowded = false;
  auto innerOf = [&buf](uint32_t c) { return InnerAt(buf + c); };
  for (int k = 0; k < kAlignments && !s.stopped; ++k) {
    Scan::Group& group = s.groups[(p + k) & 7];
    if (group.target != p + k) {
      group.target = p + k;
      group.from = group.to = nullptr;
      const uint8_t* at = buf.fresh + p + k;
      uint32_t key = KeyAt(at);
      uint32_t size = BucketSizes[key];
      const uint32_t* bucket = IndexPositions + BucketStarts[key];
      uint32_t inner = InnerAt(at);
      if (IndexSeen && size > 0) {
        uint64_t h = SeenHash(key, inner);
        if (!(IndexSeen[h >> 6].load(std::memory_order_relaxed) >> (h & 63) & 1)) size = 0;
      }
      if (size > 0) {
        const uint32_t* g0 =
            std::lower_bound(bucket, bucket + size, inner, [&](uint32_t c, uint32_t w) { return innerOf(c) < w; });
        if (g0 != bucket + size && innerOf(*g0) == inner) {
          group.from = g0;
          group.to =
              std::upper_bound(g0, bucket + size, inner, [&](uint32_t w, uint32_t c) { return w < innerOf(c); });
        }
      }
    }
    const uint32_t *g0 = group.from, *g1 = group.to;
    if (g0 == g1) continue;
    if (g1 - g0 <= static_cast<ptrdiff_t>(kLargeWalk)) {
      for (const uint32_t* e = g0; e < g1 && !s.stopped; ++e) RateLarge(s, p, *e, k, end);
      continue;
    }
    s.crowded = true;
    int64_t expect = static_cast<int64_t>(p) + k + s.anchor;
    uint32_t from = static_cast<uint32_t>(std::clamp<int64_t>(expect, 0, UINT32_MAX));
    const uint32_t* mid = std::lower_bound(g0, g1, from);
    const uint32_t *right = mid, *left = mid;
    for (uint32_t n = 0; n < kLargeWalk && !s.stopped && (left > g0 || right < g1); ++n) {
      bool takeRight = left == g0 || (right < g1 && *right - from <= from - left[-1]);
      RateLarge(s, p, takeRight ? *right++ : *--left, k, end);
    }
    // Then entries ever further off, twice the distance each time: in a
    // run of one value the nearest entries match only as far as their run
    // goes, while one near the start of a run may match the target's run
    // whole.
    // Distances are compared, not pointers: mid - d may lie before the
    // start of the index, where a pointer wraps round on a heap near the
    // bottom of the address space (as under Windows) and passes for one
    // inside the group.
    const ptrdiff_t before = mid - g0, after = g1 - mid;
    for (ptrdiff_t d = 2 * kLargeWalk; !s.stopped && (d <= before || d < after); d *= 2) {
      if (d <= before) RateLarge(s, p, *(mid - d), k, end);
      if (d < after && !s.stopped) RateLarge(s, p, *(mid + d), k, end);
    }
  }
  for (uint32_t x = 0; x < s.longCount && !s.stopped; ++x) RateLarge(s, p, s.longs[x].c, s.longs[x].k, end, true);
}

void SearchAt(Scan& s, uint32_t p, uint32_t end) {
  if (LargeIndex) {
    SearchLarge(s, p, end);
    return;
  }
  uint32_t hits = s.boundHits;
  SearchOnce(s, p, end, IndexByByte != nullptr);
  if (!s.startAgain) return;
  s.boundHits = hits;
  s.bestLength = 0;
  s.bestCost = kStartCost;
  s.bestOffset = 0;
  SearchOnce(s, p, end, false);
}

// The best match at p (end: the end of the scanned area) into
// s.bestLength/bestOffset; length 0 when there is none.
inline void MatchAt(Scan& s, uint32_t p, uint32_t end) {
  s.bestLength = 0;
  s.bestCost = kStartCost;
  if (end >= kMinMatch && p < end - kMinMatch) SearchAt(s, p, end);
}

void ScanSerial(Scan& s, Progress& progress, uint32_t a, uint32_t b) {
  uint32_t p = a;
  bool pending = false;
  uint32_t runStart = 0;
  while (p < b) {
    MatchAt(s, p, b);
    if (s.bestLength == 0) {
      if (!pending) {
        pending = true;
        runStart = p;
      }
      ++p;
    } else {
      if (pending) {
        EmitLiteral(runStart, p);
        pending = false;
      }
      EmitCopy(s.bestLength, s.bestOffset);
      s.Copied(p, s.bestLength, s.bestOffset);
      p += s.bestLength;
    }
    progress.Advance(p);
  }
  if (pending) EmitLiteral(runStart, b);
}

// The parallel scan. The match found at a position depends on that
// position and on the offset of the copy before it (the distance it costs),
// nothing else; whether there is a match at all and how often a bound cuts
// in do not even depend on that offset, since the walk rates the same
// candidates either way and any match of kMinMatch bytes beats none.
// So pieces of the new file are scanned ahead on other threads from a
// guessed offset, and the main thread then follows the real parse through
// their traces: a literal run is taken as it stands, a copy where the parse
// arrives at its start with the offset it was found with; elsewhere (mostly
// the first record or two of a piece) the position is searched again.
struct TraceEntry {
  uint32_t p;           // first position
  uint32_t length;      // of the copy; 0 for a literal run
  uint32_t value;       // copy: its offset; literal run: its end
  uint32_t lastOffset;  // the offset of the copy before, as guessed
  int64_t anchor;       // and the diagonal (which counts for a large index)
  // A literal run whose every position was searched without a crowded
  // inner word: the run stands whatever the copy before it.
  bool free;
};

struct HitMark {
  uint32_t p, hits;
};

struct PieceTrace {
  uint32_t from = 0, to = 0, guess = 0;
  std::vector<TraceEntry> entries;
  std::vector<HitMark> hits;
};

void TracePiece(const Scan& base, uint32_t end, PieceTrace& t) {
  Scan s = base;
  s.lastOffset = t.guess;
  s.anchor = 0;
  s.boundHits = 0;
  t.entries.clear();
  t.hits.clear();
  try {
    for (uint32_t p = t.from; p < t.to;) {
      uint32_t before = s.boundHits;
      MatchAt(s, p, end);
      if (s.boundHits != before) t.hits.push_back({p, s.boundHits - before});
      if (s.bestLength == 0) {
        const bool free = !LargeIndex || !s.crowded;
        if (!t.entries.empty() && t.entries.back().length == 0 && t.entries.back().value == p &&
            t.entries.back().free == free)
          ++t.entries.back().value;
        else
          t.entries.push_back({p, 0, p + 1, s.lastOffset, s.anchor, free});
        ++p;
      } else {
        t.entries.push_back({p, s.bestLength, s.bestOffset, s.lastOffset, s.anchor, false});
        s.Copied(p, s.bestLength, s.bestOffset);
        p += s.bestLength;
      }
    }
  } catch (const std::bad_alloc&) {
    // The piece is searched again on the main thread.
    t.entries.clear();
    t.hits.clear();
  }
}

void ScanRange(Scan& s, Progress& progress, uint32_t a, uint32_t b) {
  const uint32_t threads = ScanThreadCount();
  // A large index is searched in pieces of 1 MiB: the hand-over of each
  // piece costs more than searching 4 KiB of well matched data, and with
  // thousands of pieces the parse spends its time waking helpers and
  // waiting for the lock instead of following.
  const uint32_t chunk = std::max<uint32_t>(LargeIndex ? std::max<uint32_t>(FinderChunkSize, 1024 * 1024) : FinderChunkSize, 64);
  if (threads <= 1 || b - a <= chunk || b - a < kParallelScan) {
    ScanSerial(s, progress, a, b);
    return;
  }
  // Pieces are traced in order by the helpers, at most `window` ahead of
  // the one being followed, so that the traces held stay few; a piece the
  // parse has already passed is not traced at all. A piece that no helper
  // has taken when the parse gets there is searched by the parse itself.
  const uint32_t count = static_cast<uint32_t>((static_cast<uint64_t>(b - a) + chunk - 1) / chunk);
  const uint32_t window = threads * 4;
  std::vector<PieceTrace> pieces(window);
  std::vector<uint8_t> done(window, 0);
  EngineMutex lock;
  EngineCondition changed;
  uint32_t nextPiece = 0, following = 0;
  std::atomic<uint32_t> reached(a);
  bool quit = false;
  const Scan base = s;
  auto place = [&](uint32_t k) -> PieceTrace& {
    PieceTrace& t = pieces[k % window];
    t.from = static_cast<uint32_t>(a + static_cast<uint64_t>(k) * chunk);
    t.to = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(t.from) + chunk, b));
    t.guess = t.from;
    return t;
  };

  auto helper = [&]() {
    std::unique_lock<EngineMutex> hold(lock);
    for (;;) {
      changed.wait(hold, [&] { return quit || (nextPiece < count && nextPiece < following + window); });
      if (quit) return;
      uint32_t k = nextPiece++;
      PieceTrace& t = place(k);
      hold.unlock();
      if (t.to > reached.load(std::memory_order_relaxed))
        TracePiece(base, b, t);
      else
        t.entries.clear(), t.hits.clear();
      hold.lock();
      done[k % window] = 1;
      changed.notify_all();
    }
  };
  auto stop = [&]() {
    {
      std::lock_guard<EngineMutex> hold(lock);
      quit = true;
    }
    changed.notify_all();
  };

  uint32_t q = a;
  bool pending = false;
  uint32_t runStart = 0;
  auto literal = [&](uint32_t from) {
    if (!pending) {
      pending = true;
      runStart = from;
    }
  };
  auto copy = [&](uint32_t length, uint32_t offset) {
    if (pending) {
      EmitLiteral(runStart, q);
      pending = false;
    }
    EmitCopy(length, offset);
    s.Copied(q, length, offset);
    q += length;
  };
  auto hitsIn = [](const PieceTrace& t, uint32_t from, uint32_t to) {
    uint32_t n = 0;
    auto it = std::lower_bound(t.hits.begin(), t.hits.end(), from,
                               [](const HitMark& m, uint32_t p) { return m.p < p; });
    for (; it != t.hits.end() && it->p < to; ++it) n += it->hits;
    return n;
  };

  auto follow = [&]() {
    try {
      for (uint32_t k = 0; k < count; ++k) {
        {
          std::unique_lock<EngineMutex> hold(lock);
          if (nextPiece == k) {
            ++nextPiece;
            PieceTrace& t = place(k);
            t.entries.clear();
            t.hits.clear();
            done[k % window] = 1;
          }
          changed.wait(hold, [&] { return done[k % window] != 0; });
        }
        const PieceTrace& t = pieces[k % window];
        size_t at = 0;
        while (q < t.to) {
          while (at < t.entries.size() &&
                 (t.entries[at].length ? t.entries[at].p + t.entries[at].length : t.entries[at].value) <= q)
            ++at;
          if (at < t.entries.size()) {
            const TraceEntry& e = t.entries[at];
            // What a large index finds depends on where the last copy
            // lies, literal runs included.
            const bool sameState =
                e.lastOffset == s.lastOffset && (!LargeIndex || e.anchor == s.anchor);
            if (e.length == 0 && e.p <= q && (!LargeIndex || sameState || e.free)) {
              literal(q);
              s.boundHits += hitsIn(t, q, e.value);
              q = e.value;
              progress.Advance(q);
              continue;
            }
            if (e.length > 0 && e.p == q && sameState) {
              s.boundHits += hitsIn(t, q, q + 1);
              copy(e.length, e.value);
              progress.Advance(q);
              continue;
            }
          }
          MatchAt(s, q, b);
          if (s.bestLength == 0) {
            literal(q);
            ++q;
          } else {
            copy(s.bestLength, s.bestOffset);
          }
          progress.Advance(q);
        }
        reached.store(q, std::memory_order_relaxed);
        {
          std::lock_guard<EngineMutex> hold(lock);
          done[k % window] = 0;
          following = k + 1;
        }
        changed.notify_all();
      }
    } catch (...) {
      // The progress hook may end the run by throwing.
      stop();
      throw;
    }
    stop();
  };
  RunBeside(threads, helper, follow);
  if (pending) EmitLiteral(runStart, b);
}

void AllocTables() {
  if (BucketSizes) return;
  BucketSizes = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  BucketCursors = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  BucketStarts = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  std::memset(BucketSizes, 0, kBuckets * 4);
  std::memset(BucketCursors, 0, kBuckets * 4);
  // Room for every key, so that counting never fails half-way and leaves a
  // counter behind that the list does not know.
  UsedKeys.clear();
  UsedKeys.reserve(kBuckets);
}

// Empties the counters of the buckets the last index used: a small file
// uses few of them, and a run of thousands of small files would otherwise
// clear and walk all 65536 for each.
void ClearUsedBuckets() {
  if (UsedKeys.size() > kBuckets / 16) {
    std::memset(BucketSizes, 0, kBuckets * 4);
    std::memset(BucketCursors, 0, kBuckets * 4);
  } else {
    for (uint32_t key : UsedKeys) BucketSizes[key] = BucketCursors[key] = 0;
  }
  UsedKeys.clear();
}

void FreeIndex() {
  FreeBlock(IndexPositions);
  IndexPositions = nullptr;
  std::free(IndexInner);
  std::free(IndexBefore);
  std::free(IndexAfter);
  std::free(IndexByByte);
  delete[] IndexSeen;
  IndexSeen = nullptr;
  IndexInner = IndexBefore = IndexByByte = nullptr;
  IndexAfter = nullptr;
}

void OrderLargeGroups(uint32_t count) {
  if (static_cast<size_t>(count) > (SIZE_MAX - 1) / (kAlignments * sizeof(uint32_t))) return;
  IndexByByte = static_cast<uint32_t*>(std::malloc(kAlignments * count * sizeof(uint32_t) + 1));
  if (!IndexByByte) return;
  ForPieces(static_cast<uint32_t>(UsedKeys.size()), count >= kParallelIndex, [count](uint32_t from, uint32_t to) {
    for (uint32_t u = from; u < to; ++u) {
      uint32_t key = UsedKeys[u];
      uint32_t start = BucketStarts[key], size = BucketSizes[key];
      for (uint32_t g0 = 0, g1; g0 < size; g0 = g1) {
        for (g1 = g0 + 1; g1 < size && IndexInner[start + g1] == IndexInner[start + g0];) ++g1;
        if (g1 - g0 < kLargeGroup) continue;
        // A stable sort keeps the bucket order among equal bytes.
        for (int k = 0; k < kAlignments; ++k) {
          uint32_t* order = IndexByByte + static_cast<size_t>(k) * count + start + g0;
          const uint32_t* before = IndexBefore + start;
          const uint64_t* after = IndexAfter + start;
          for (uint32_t j = g0; j < g1; ++j) order[j - g0] = j;
          std::stable_sort(order, order + (g1 - g0), [&](uint32_t x, uint32_t y) {
            return GroupKey(before[x], after[x], k) < GroupKey(before[y], after[y], k);
          });
        }
      }
    }
  });
}

void CopyNeighbourhoods(uint32_t count, const PairBytes& buf) {
  if (static_cast<size_t>(count) > (SIZE_MAX - 1) / sizeof(uint64_t)) return;
  IndexInner = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t) + 1));
  IndexBefore = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t) + 1));
  IndexAfter = static_cast<uint64_t*>(std::malloc(count * sizeof(uint64_t) + 1));
  if (!IndexInner || !IndexBefore || !IndexAfter) {
    std::free(IndexInner);
    std::free(IndexBefore);
    std::free(IndexAfter);
    IndexInner = IndexBefore = nullptr;
    IndexAfter = nullptr;
    return;
  }
  // Every indexed position lies at least 4 bytes after the start of the
  // buffer and 17 before its end.
  ForPieces(count, count >= kParallelIndex, [buf](uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; ++i) {
      const uint8_t* c = buf + IndexPositions[i];
      IndexInner[i] = InnerAt(c);
      IndexBefore[i] = Load32(c - 4);
      IndexAfter[i] = Load64(c + 6);
    }
  });
  IndexCount = count;
  if (!MatchInNewFile) OrderLargeGroups(count);
}

// A large index orders entries by inner word, then position: a key of 64
// bits that no two entries share.
inline uint64_t WordPlace(const PairBytes& buf, uint32_t c) { return static_cast<uint64_t>(InnerAt(buf + c)) << 32 | c; }

// Sorts the ranges [lo, hi) of IndexPositions by WordPlace in place:
// quicksort partitions, the sides of each level of all ranges shared among
// the threads (a bucket of zeros can hold a good part of the index, and a
// dozen crowded buckets sorted one after another would each start on one
// thread), then each side on packed copies of its keys.
struct SortSide {
  uint32_t lo, hi;
};

void SortByWordPlace(std::vector<SortSide> sides, const PairBytes& buf) {
  uint32_t* a = IndexPositions;
  auto less = [buf](uint32_t x, uint32_t y) { return WordPlace(buf, x) < WordPlace(buf, y); };
  std::vector<SortSide> next;
  // Sides are split until they can be sorted on packed keys, a dozen
  // levels at most: a side that an unlucky pivot leaves almost whole goes
  // to the slower sort below rather than round this loop again.
  const uint32_t kLeaf = 1u << 16;
  for (int level = 0; level < 12; ++level) {
    bool split = false;
    for (const SortSide& side : sides) split |= side.hi - side.lo > kLeaf;
    if (!split) break;
    next.assign(sides.size() * 2, SortSide{0, 0});
    // Largest first, so that the longest partition does not start last.
    std::stable_sort(sides.begin(), sides.end(),
                     [](const SortSide& x, const SortSide& y) { return x.hi - x.lo > y.hi - y.lo; });
    std::atomic<uint32_t> taken(0);
    RunOnWorkers(ScanThreadCount() - 1, [&] {
      for (uint32_t x; (x = taken.fetch_add(1)) < sides.size();) {
        SortSide side = sides[x];
        if (side.hi - side.lo <= kLeaf) {
          next[2 * x] = side;
          continue;
        }
        uint32_t* lo = a + side.lo;
        uint32_t* hi = a + side.hi;
        // The median of nine entries spread over the side as pivot, swapped
        // to the end. A crowded bucket holds one inner word almost
        // throughout, in position order, with a few other words at its
        // ends: a median of the first, middle and last entry would pick one
        // of those and cut off a handful of entries at each level.
        uint64_t samples[9];
        const size_t span = static_cast<size_t>(hi - lo) - 1;
        for (int i = 0; i < 9; ++i) samples[i] = WordPlace(buf, lo[span * i / 8]);
        std::nth_element(samples, samples + 4, samples + 9);
        uint32_t* median = lo;
        for (int i = 0; i < 9; ++i)
          if (lo[span * i / 8] == static_cast<uint32_t>(samples[4])) median = lo + span * i / 8;
        std::swap(*median, hi[-1]);
        uint64_t pivot = WordPlace(buf, hi[-1]);
        uint32_t* cut = std::partition(lo, hi - 1, [&](uint32_t c) { return WordPlace(buf, c) < pivot; });
        std::swap(*cut, hi[-1]);
        uint32_t at = static_cast<uint32_t>(cut - a);
        next[2 * x] = {side.lo, at};
        next[2 * x + 1] = {at + 1, side.hi};
      }
    });
    sides.clear();
    for (const SortSide& side : next)
      if (side.hi - side.lo > 1) sides.push_back(side);
  }
  ForPieces(static_cast<uint32_t>(sides.size()), true, [&](uint32_t from, uint32_t to) {
    std::vector<uint64_t> packed;
    for (uint32_t x = from; x < to; ++x) {
      uint32_t* piece = a + sides[x].lo;
      uint32_t count = sides[x].hi - sides[x].lo;
      if (count > kLeaf) {
        std::sort(piece, piece + count, less);
        continue;
      }
      packed.resize(count);
      for (uint32_t i = 0; i < count; ++i) {
        if (i + 16 < count) Prefetch(buf + piece[i + 16]);
        packed[i] = WordPlace(buf, piece[i]);
      }
      std::sort(packed.begin(), packed.end());
      for (uint32_t i = 0; i < count; ++i) piece[i] = static_cast<uint32_t>(packed[i]);
    }
  });
}

// The large index's filter: one bit per hash of the six bytes (key and
// inner word) of the indexed positions, a quarter of a bit per indexed byte.
void AllocSeen(uint64_t indexed) {
  int bits = 12;
  while (bits < 40 && (uint64_t(1) << (bits + 1)) <= indexed / 4) ++bits;
  IndexSeenShift = 64 - bits;
  IndexSeen = new (std::nothrow) std::atomic<uint64_t>[(size_t(1) << bits) / 64]();
}

// Sorts bucket a[0, n) of a large index, whose positions are ascending, by
// inner word: each digit of the word in turn (a digit that all entries
// share is passed over), every pass keeping the order of the one before,
// so that equal words stay in position order. scratch holds 2 n keys. The
// bits of the filter are set from the sorted keys on the way.
void RadixSortBucket(uint32_t key, uint32_t* a, uint32_t n, const PairBytes& buf, uint64_t* scratch) {
  uint64_t* from = scratch;
  uint64_t* to = from + n;
  uint32_t counts[4][256];
  std::memset(counts, 0, sizeof counts);
  // The reads land all over the file: ask for them well ahead.
  for (uint32_t i = 0; i < n; ++i) {
    if (i + 16 < n) Prefetch(buf + a[i + 16]);
    uint32_t inner = InnerAt(buf + a[i]);
    from[i] = static_cast<uint64_t>(inner) << 32 | a[i];
    ++counts[0][inner & 0xFF];
    ++counts[1][inner >> 8 & 0xFF];
    ++counts[2][inner >> 16 & 0xFF];
    ++counts[3][inner >> 24];
  }
  for (int d = 0; d < 4; ++d) {
    uint32_t* c = counts[d];
    const int shift = 32 + 8 * d;
    if (c[from[0] >> shift & 0xFF] == n) continue;
    uint32_t sum = 0;
    for (int v = 0; v < 256; ++v) {
      uint32_t k = c[v];
      c[v] = sum;
      sum += k;
    }
    for (uint32_t i = 0; i < n; ++i) to[c[from[i] >> shift & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  uint32_t last = 0;
  for (uint32_t i = 0; i < n; ++i) {
    a[i] = static_cast<uint32_t>(from[i]);
    uint32_t inner = static_cast<uint32_t>(from[i] >> 32);
    if (i == 0 || inner != last) NoteSeen(key, inner);
    last = inner;
  }
}

// A large index: every bucket by inner word, then position, and the
// filter's bits set. Most buckets are sorted on copies of their keys, which
// read the file once per entry instead of at every comparison; a bucket too
// large for copies of that size (zeros, fill bytes) is sorted in place, by
// all threads, and its bits set after.
void SortLargeIndex(const PairBytes& buf, uint64_t indexed) {
  // Two keys of 8 bytes per entry: the per-thread copies stay within what
  // the index leaves of the memory goal.
  const uint32_t kPacked = 1u << 15;
  AllocSeen(indexed);
  ForPieces(static_cast<uint32_t>(UsedKeys.size()), true, [&](uint32_t from, uint32_t to) {
    // Allocated once at its largest and touched only as far as a bucket
    // needs: grown bucket by bucket, the copies left behind would stay.
    std::unique_ptr<uint64_t[]> scratch;
    for (uint32_t u = from; u < to; ++u) {
      uint32_t key = UsedKeys[u];
      uint32_t n = BucketSizes[key];
      if (n > kPacked) continue;
      if (!scratch) scratch.reset(new uint64_t[2 * kPacked]);
      RadixSortBucket(key, IndexPositions + BucketStarts[key], n, buf, scratch.get());
    }
  });
  std::vector<SortSide> sides;
  for (uint32_t key : UsedKeys) {
    uint32_t n = BucketSizes[key];
    if (n <= kPacked) continue;
    sides.push_back({BucketStarts[key], BucketStarts[key] + n});
  }
  if (sides.empty()) return;
  SortByWordPlace(sides, buf);
  if (!IndexSeen) return;
  // The bits of the crowded buckets, in pieces of about equal size: one of
  // them may hold half of these entries.
  std::vector<uint32_t> keys;
  for (uint32_t key : UsedKeys)
    if (BucketSizes[key] > kPacked) keys.push_back(key);
  const uint32_t kPiece = 1u << 14;
  std::vector<SortSide> pieces;
  std::vector<uint32_t> pieceKeys;
  for (uint32_t key : keys)
    for (uint32_t at = 0; at < BucketSizes[key]; at += kPiece) {
      pieces.push_back({BucketStarts[key] + at, BucketStarts[key] + std::min(BucketSizes[key], at + kPiece)});
      pieceKeys.push_back(key);
    }
  ForPieces(static_cast<uint32_t>(pieces.size()), true, [&](uint32_t from, uint32_t to) {
    for (uint32_t x = from; x < to; ++x) {
      const uint32_t* a = IndexPositions + pieces[x].lo;
      uint32_t n = pieces[x].hi - pieces[x].lo, last = 0;
      for (uint32_t i = 0; i < n; ++i) {
        if (i + 16 < n) Prefetch(buf + a[i + 16]);
        uint32_t inner = InnerAt(buf + a[i]);
        if (i == 0 || inner != last) NoteSeen(pieceKeys[x], inner);
        last = inner;
      }
    }
  });
}

// A large index, counted and filled by all threads, each over its own part
// of the positions: a part's entries follow those of the parts before it
// in every bucket, so that each bucket holds its positions ascending, as
// one pass would leave them.
void BuildLargeIndex(const PairBytes& buf, uint32_t step, const PairRange& range, uint64_t indexed) {
  struct Span {
    int64_t from, to;
  };
  std::vector<Span> spans;
  int64_t oldRangeStart = range.found ? range.oldStart : PairOldSize;
  int64_t oldRangeEnd = range.found ? static_cast<int64_t>(range.oldStart) + range.length : PairOldSize;
  // The same positions as ForIndexedPositions.
  spans.push_back({4, oldRangeStart - 17});
  spans.push_back({oldRangeEnd + 5, static_cast<int64_t>(PairOldSize) - 17});
  if (MatchInNewFile) spans.push_back({static_cast<int64_t>(PairOldSize) + 4, static_cast<int64_t>(PairOldSize) + PairNewSize - 17});
  std::vector<uint64_t> firsts;  // number of positions before each span
  uint64_t count = 0;
  for (const Span& span : spans) {
    firsts.push_back(count);
    if (span.to > span.from) count += (span.to - span.from + step - 1) / step;
  }
  // Positions [g0, g1) of the sequence.
  auto each = [&](uint64_t g0, uint64_t g1, auto f) {
    for (size_t x = 0; x < spans.size(); ++x) {
      uint64_t n = spans[x].to > spans[x].from ? (spans[x].to - spans[x].from + step - 1) / step : 0;
      uint64_t lo = std::max(g0, firsts[x]), hi = std::min(g1, firsts[x] + n);
      for (uint64_t g = lo; g < hi; ++g) f(static_cast<uint32_t>(spans[x].from + (g - firsts[x]) * step));
    }
  };
  const uint32_t parts = std::min<uint32_t>(std::max<uint32_t>(ScanThreadCount(), 1), 8);
  std::vector<uint32_t> counts(static_cast<size_t>(parts) * kBuckets, 0);
  auto partRange = [&](uint32_t t, uint64_t* g0, uint64_t* g1) {
    *g0 = count * t / parts;
    *g1 = count * (t + 1) / parts;
  };
  ForPieces(parts, true, [&](uint32_t from, uint32_t to) {
    for (uint32_t t = from; t < to; ++t) {
      uint32_t* c = counts.data() + static_cast<size_t>(t) * kBuckets;
      uint64_t g0, g1;
      partRange(t, &g0, &g1);
      each(g0, g1, [&](uint32_t p) { ++c[KeyAt(buf + p)]; });
    }
  });
  uint64_t bytes = indexed / step * 4 + 1000;
  if (bytes > UINT32_MAX) EngineMessageNumber("Error, can't allocate %llu Bytes (%s)!\n", nullptr, bytes, kIndexEnglish);
  IndexPositions = static_cast<uint32_t*>(AllocateBlock(static_cast<uint32_t>(bytes), kIndexEnglish, kIndexGerman));
  uint32_t next = 0;
  for (uint32_t key = 0; key < kBuckets; ++key) {
    uint32_t size = 0;
    for (uint32_t t = 0; t < parts; ++t) {
      uint32_t& c = counts[static_cast<size_t>(t) * kBuckets + key];
      uint32_t n = c;
      c = next + size;  // the part's first place in the bucket
      size += n;
    }
    if (size == 0) continue;
    UsedKeys.push_back(key);
    BucketSizes[key] = size;
    BucketStarts[key] = next;
    next += size;
  }
  ForPieces(parts, true, [&](uint32_t from, uint32_t to) {
    for (uint32_t t = from; t < to; ++t) {
      uint32_t* c = counts.data() + static_cast<size_t>(t) * kBuckets;
      uint64_t g0, g1;
      partRange(t, &g0, &g1);
      each(g0, g1, [&](uint32_t p) { IndexPositions[c[KeyAt(buf + p)]++] = p; });
    }
  });
  std::vector<uint32_t>().swap(counts);
  SortLargeIndex(buf, indexed);
}

// Calls f(position) for every indexed position, in index order.
template <class F>
void ForIndexedPositions(uint32_t step, const PairRange& range, F f) {
  uint32_t oldSize = PairOldSize, newSize = PairNewSize;
  int64_t oldRangeStart = range.found ? range.oldStart : oldSize;
  int64_t oldRangeEnd = range.found ? static_cast<int64_t>(range.oldStart) + range.length : oldSize;
  auto span = [&](int64_t from, int64_t to) {
    for (int64_t p = from; p < to; p += step) f(static_cast<uint32_t>(p));
  };
  span(4, oldRangeStart - 17);
  span(oldRangeEnd + 5, static_cast<int64_t>(oldSize) - 17);
  if (MatchInNewFile) span(static_cast<int64_t>(oldSize) + 4, static_cast<int64_t>(oldSize) + newSize - 17);
}

void BuildIndexInMemory() {
  uint32_t step = std::max<uint32_t>(SampleStep, 5);
  if (FinderProgressHook) FinderProgressHook(0);
  AllocTables();
  ClearUsedBuckets();
  FreeIndex();

  PairRange range = CurrentPairRange();
  if (range.found) {
    std::memset(PairBuffer + range.oldStart, 0x00, range.length);
    std::memset(PairNewBytes() + range.newStart, 0xFF, range.length);
  }
  const PairBytes buf = CurrentPair();

  uint64_t indexed = static_cast<uint64_t>(PairOldSize) + (MatchInNewFile ? PairNewSize : 0);
  LargeIndex = indexed >= kLargeIndex;
  if (LargeIndex) {
    BuildLargeIndex(buf, step, range, indexed);
    return;
  }
  ForIndexedPositions(step, range, [&](uint32_t p) {
    uint32_t key = KeyAt(buf + p);
    if (BucketSizes[key]++ == 0) UsedKeys.push_back(key);
  });
  // The buckets' places in the index follow UsedKeys; nothing depends on
  // their order.
  uint64_t bytes = indexed / step * 4 + 1000;
  if (bytes > UINT32_MAX) EngineMessageNumber("Error, can't allocate %llu Bytes (%s)!\n", nullptr, bytes, kIndexEnglish);
  IndexPositions = static_cast<uint32_t*>(AllocateBlock(static_cast<uint32_t>(bytes), kIndexEnglish, kIndexGerman));
  uint32_t next = 0;
  for (uint32_t key : UsedKeys) {
    BucketStarts[key] = next;
    next += BucketSizes[key];
  }
  ForIndexedPositions(step, range, [&](uint32_t p) {
    uint32_t key = KeyAt(buf + p);
    IndexPositions[BucketStarts[key] + BucketCursors[key]++] = p;
  });
  const uint32_t threads = ScanThreadCount();
  const uint32_t large = std::max<uint32_t>(next / (threads * 4), 65536);
  int depth = 0;
  while ((1u << depth) < threads && depth < 6) ++depth;
  ForPieces(static_cast<uint32_t>(UsedKeys.size()), next >= kParallelIndex, [buf, large](uint32_t from, uint32_t to) {
    for (uint32_t u = from; u < to; ++u) {
      uint32_t key = UsedKeys[u];
      if (BucketSizes[key] > 1 && BucketSizes[key] <= large)
        SortBucket(IndexPositions + BucketStarts[key], 0, BucketSizes[key] - 1, buf);
    }
  });
  for (uint32_t key : UsedKeys)
    if (BucketSizes[key] > large)
      SortLargeBucket(IndexPositions + BucketStarts[key], 0, BucketSizes[key] - 1, buf, threads > 1 ? depth : 0);
  if (FinderWalkAids) CopyNeighbourhoods(next, buf);
}

void FindInMemory() {
  Scan s;
  s.buffer = CurrentPair();
  s.oldSize = PairOldSize;
  s.newSize = PairNewSize;
  s.range = CurrentPairRange();
  Progress progress;
  progress.Start(s.newSize);
  if (!s.range.found) {
    ScanRange(s, progress, 0, s.newSize);
  } else {
    ScanRange(s, progress, 0, s.range.newStart);
    // A copy of length 0 would read as a placeholder; an empty range needs none.
    if (s.range.length > 0) {
      EmitCopy(s.range.length, s.range.oldStart);
      s.Copied(s.range.newStart, s.range.length, s.range.oldStart);
    }
    ScanRange(s, progress, s.range.newStart + s.range.length, s.newSize);
  }
  FinderBoundHits += s.boundHits;
  if (FinderProgressHook) FinderProgressHook(100);
  FreeIndex();
}

}  // namespace

// --- RecordList ---------------------------------------------------------

RecordList::~RecordList() { Clear(); }

void RecordList::Append(int32_t length, uint32_t offset) {
  if (!current || used == kRecordsPerBlock) {
    if (current) fullBlocks.Append(reinterpret_cast<DynElement>(current));
    current = static_cast<PatchRecord*>(AllocateStreamBlock(kRecordEnglish, kRecordGerman));
    used = 0;
  }
  current[used].length = length;
  current[used].offset = offset;
  ++used;
}

const PatchRecord& RecordList::At(uint32_t index) const {
  uint32_t block = index / kRecordsPerBlock;
  const PatchRecord* records =
      block < fullBlocks.Count() ? reinterpret_cast<const PatchRecord*>(fullBlocks.Get(block)) : current;
  return records[index % kRecordsPerBlock];
}

PatchRecord* RecordList::Last() { return used > 0 ? &current[used - 1] : nullptr; }

void RecordList::Clear() {
  for (uint32_t i = 0; i < fullBlocks.Count(); ++i) FreeStreamBlock(reinterpret_cast<void*>(fullBlocks.Get(i)));
  fullBlocks.Clear();
  FreeStreamBlock(current);
  current = nullptr;
  used = 0;
}

// --- Entry points -------------------------------------------------------

void AllocFinderBuffers() { AllocTables(); }

void FreeFinderBuffers() {
  FreeIndex();
  FreeBlock(BucketSizes);
  FreeBlock(BucketCursors);
  FreeBlock(BucketStarts);
  BucketSizes = BucketCursors = BucketStarts = nullptr;
  FreeDiskIndex();
}

void ClearFinderLists() {
  FinderRecords.Clear();
  FreeIndex();
  FreeDiskIndex();
}

void BuildIndex(uint32_t i) {
  FinderBoundHits = 0;
  if (InMemory)
    BuildIndexInMemory();
  else
    BuildDiskIndex(i);
}

void FindDifferences(uint32_t i) {
  FinderRecords.Clear();
  FinderCopyCount = 0;
  FinderCopiedBytes = 0;
  if (InMemory)
    FindInMemory();
  else
    FindOnDisk(i);
}

PairRange CurrentPairRange() {
  PairRange r;
  if (!ProtectionFound) return r;
  r.found = true;
  r.oldStart = ProtectionOldStart;
  r.newStart = ProtectionNewStart;
  r.length = ProtectionLength;
  // A range that does not lie inside both files would make the copy record
  // read or write outside them.
  if (static_cast<uint64_t>(r.oldStart) + r.length > PairOldSize ||
      static_cast<uint64_t>(r.newStart) + r.length > PairNewSize)
    EngineFatalError("Error, the protected range (option -g) does not lie inside the file!");
  return r;
}
