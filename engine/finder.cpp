#include "finder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "messages.h"
#include "options.h"
#include "patchfile.h"

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

uint32_t* BucketSizes = nullptr;
uint32_t* BucketCursors = nullptr;
uint32_t* BucketStarts = nullptr;
uint32_t* IndexPositions = nullptr;

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline void Prefetch(const uint8_t* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p - 4);
#else
  (void)p;
#endif
}

inline uint32_t KeyAt(const uint8_t* p) { return p[0] + 256u * p[5]; }
inline uint32_t InnerAt(const uint8_t* p) { return Load32(p + 1); }

// Length of the common prefix of a and b, at most limit bytes.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) break;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

inline uint32_t SizeCost(uint32_t v) { return v < 256 ? 1 : v < 65536 ? 4 : 8; }

// Quicksort on the inner word, middle element as pivot; recursion on the
// smaller side keeps the stack shallow on unlucky input.
void SortBucket(uint32_t* a, int64_t lo, int64_t hi, const uint8_t* buffer) {
  while (lo < hi) {
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
    if (j - lo < hi - i) {
      if (lo < j) SortBucket(a, lo, j, buffer);
      lo = i;
    } else {
      if (i < hi) SortBucket(a, i, hi, buffer);
      hi = j;
    }
  }
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

// The protected range of the current pair, clipped to both files.
struct Range {
  bool found = false;
  uint32_t oldStart = 0, newStart = 0, length = 0;
};

Range CurrentRange() {
  Range r;
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

struct Scan {
  const uint8_t* buffer = nullptr;
  uint32_t oldSize = 0, newSize = 0;
  Range range;
  uint32_t lastOffset = 0;
  // Search state for the current position.
  uint32_t bestLength = 0, bestCost = kStartCost, bestOffset = 0;
  uint64_t work = 0;
  bool stopped = false;
};

void EmitLiteral(uint32_t start, uint32_t end) {
  FinderRecords.Append(-static_cast<int32_t>(end - start), start);
}

void EmitCopy(uint32_t length, uint32_t offset) {
  FinderRecords.Append(static_cast<int32_t>(length), offset);
  ++FinderCopyCount;
  FinderCopiedBytes += length;
}

// Rates source position c for new position p at alignment k (the six key
// bytes at c and p + k already agree). end is the end of the scanned area.
void EvaluateCandidate(Scan& s, uint32_t p, uint32_t c, int k, uint32_t end) {
  const uint8_t* buf = s.buffer;
  uint32_t target = s.oldSize + p + k;
  if (c < static_cast<uint32_t>(k)) return;
  for (int j = 1; j <= k; ++j)
    if (buf[c - j] != buf[target - j]) return;

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
  if (c + 6 > sourceLimit || target + 6 > targetLimit) return;
  uint32_t room = std::min(sourceLimit - (c + 6), targetLimit - (target + 6));
  uint32_t extra = CommonLength(buf + c + 6, buf + target + 6, room);
  s.work += extra + 6 + k;

  uint32_t length = k + 6 + extra;
  if (length < kMinMatch) return;
  uint32_t offset = c - k;
  uint32_t distance = offset > s.lastOffset ? offset - s.lastOffset : s.lastOffset - offset;
  uint32_t cost = SizeCost(length) + SizeCost(distance);
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

void SearchAt(Scan& s, uint32_t p, uint32_t end) {
  const uint8_t* buf = s.buffer;
  s.work = 0;
  s.stopped = false;
  for (int k = 0; k < kAlignments && !s.stopped; ++k) {
    const uint8_t* at = buf + s.oldSize + p + k;
    uint32_t key = KeyAt(at);
    uint32_t size = BucketSizes[key];
    if (size == 0) continue;
    const uint32_t* bucket = IndexPositions + BucketStarts[key];
    uint32_t inner = InnerAt(at);
    int64_t lo = 0, hi = static_cast<int64_t>(size) - 1, hit = -1;
    while (lo <= hi) {
      int64_t mid = (lo + hi) / 2;
      uint32_t w = InnerAt(buf + bucket[mid]);
      if (w < inner)
        lo = mid + 1;
      else if (w > inner)
        hi = mid - 1;
      else {
        hit = mid;
        break;
      }
    }
    if (hit < 0) continue;
    uint32_t rated = 0;
    auto rate = [&](uint32_t c) {
      if (c >= s.oldSize && c + kNewFileDistance > s.oldSize + p) return true;
      if (rated >= FinderCandidateCap || s.work >= FinderWorkBudget) {
        ++FinderBoundHits;
        return false;
      }
      ++rated;
      EvaluateCandidate(s, p, c, k, end);
      return !s.stopped;
    };
    bool go = true;
    // Candidates lie all over the file; fetching a few ahead hides most of
    // the memory latency on long walks.
    const int64_t ahead = 8;
    for (int64_t j = hit; go && j >= 0 && InnerAt(buf + bucket[j]) == inner; --j) {
      if (j >= ahead) Prefetch(buf + bucket[j - ahead]);
      go = rate(bucket[j]);
    }
    for (int64_t j = hit + 1; go && j < static_cast<int64_t>(size) && InnerAt(buf + bucket[j]) == inner; ++j) {
      if (j + ahead < static_cast<int64_t>(size)) Prefetch(buf + bucket[j + ahead]);
      go = rate(bucket[j]);
    }
  }
}

void ScanRange(Scan& s, Progress& progress, uint32_t a, uint32_t b) {
  uint32_t p = a;
  bool pending = false;
  uint32_t runStart = 0;
  while (p < b) {
    s.bestLength = 0;
    s.bestCost = kStartCost;
    if (b >= kMinMatch && p < b - kMinMatch) SearchAt(s, p, b);
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
      s.lastOffset = s.bestOffset;
      p += s.bestLength;
    }
    progress.Advance(p);
  }
  if (pending) EmitLiteral(runStart, b);
}

void AllocTables() {
  if (BucketSizes) return;
  BucketSizes = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  BucketCursors = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  BucketStarts = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
}

void FreeIndex() {
  FreeBlock(IndexPositions);
  IndexPositions = nullptr;
}

// Calls f(position) for every indexed position, in index order.
template <class F>
void ForIndexedPositions(uint32_t step, const Range& range, F f) {
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
  std::memset(BucketSizes, 0, kBuckets * 4);
  std::memset(BucketCursors, 0, kBuckets * 4);
  FreeIndex();

  Range range = CurrentRange();
  uint8_t* buf = PairBuffer;
  if (range.found) {
    std::memset(buf + range.oldStart, 0x00, range.length);
    std::memset(buf + PairOldSize + range.newStart, 0xFF, range.length);
  }

  ForIndexedPositions(step, range, [&](uint32_t p) { ++BucketSizes[KeyAt(buf + p)]; });
  uint64_t indexed = static_cast<uint64_t>(PairOldSize) + (MatchInNewFile ? PairNewSize : 0);
  uint64_t bytes = indexed / step * 4 + 1000;
  if (bytes > UINT32_MAX) EngineMessageNumber("Error, can't allocate %ld Bytes (%s)!\n", nullptr, -1, kIndexEnglish);
  IndexPositions = static_cast<uint32_t*>(AllocateBlock(static_cast<uint32_t>(bytes), kIndexEnglish, kIndexGerman));
  uint32_t next = 0;
  for (uint32_t key = 0; key < kBuckets; ++key) {
    BucketStarts[key] = next;
    next += BucketSizes[key];
  }
  ForIndexedPositions(step, range, [&](uint32_t p) {
    uint32_t key = KeyAt(buf + p);
    IndexPositions[BucketStarts[key] + BucketCursors[key]++] = p;
  });
  for (uint32_t key = 0; key < kBuckets; ++key)
    if (BucketSizes[key] > 1) SortBucket(IndexPositions + BucketStarts[key], 0, BucketSizes[key] - 1, buf);
}

void FindInMemory() {
  Scan s;
  s.buffer = PairBuffer;
  s.oldSize = PairOldSize;
  s.newSize = PairNewSize;
  s.range = CurrentRange();
  Progress progress;
  progress.Start(s.newSize);
  if (!s.range.found) {
    ScanRange(s, progress, 0, s.newSize);
  } else {
    ScanRange(s, progress, 0, s.range.newStart);
    // A copy of length 0 would read as a placeholder; an empty range needs none.
    if (s.range.length > 0) {
      EmitCopy(s.range.length, s.range.oldStart);
      s.lastOffset = s.range.oldStart;
    }
    ScanRange(s, progress, s.range.newStart + s.range.length, s.newSize);
  }
  if (FinderProgressHook) FinderProgressHook(100);
  FreeIndex();
}

}  // namespace

// --- RecordList ---------------------------------------------------------

RecordList::~RecordList() { Clear(); }

void RecordList::Append(int32_t length, uint32_t offset) {
  if (!current || used == kRecordsPerBlock) {
    if (current) fullBlocks.Append(reinterpret_cast<DynElement>(current));
    current = static_cast<PatchRecord*>(AllocateBlock(kStreamBlockSize, kRecordEnglish, kRecordGerman));
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
  for (uint32_t i = 0; i < fullBlocks.Count(); ++i) FreeBlock(reinterpret_cast<void*>(fullBlocks.Get(i)));
  fullBlocks.Clear();
  FreeBlock(current);
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
