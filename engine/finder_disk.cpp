// The finder's disk variant: both files stay on disk, the index of the old
// file is thinned to a memory budget, and candidates are checked against
// small windows of the old file read on demand.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "crc32fast.h"
#include "finder.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"

namespace {

const char kIndexEnglish[] = "to create indices for the source file";
const char kIndexGerman[] = "um Indizes f\xfcr die Quelldatei anzulegen";
const char kPieceEnglish[] = "to read the files in pieces";

const uint32_t kBuckets = 65536;
const uint32_t kPiece = 50000;
const uint32_t kWindow = 512;
const uint32_t kMinMatch = 12;
const uint32_t kLongCopy = 500;

struct Entry {
  uint32_t position;
  uint32_t inner;   // bytes position+1 .. position+4
  uint32_t before;  // bytes position-4 .. position-1
};

uint32_t* Counts = nullptr;  // kept entries per bucket
uint32_t* Starts = nullptr;
Entry* Entries = nullptr;

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}



// CRC-32 of a piece at file position pos, leaving out the protected bytes.
uint32_t CrcPiece(const uint8_t* data, uint32_t n, uint32_t pos, uint32_t rangeStart, uint32_t rangeLength,
                  uint32_t crc) {
  uint32_t end = pos + n;
  uint32_t rangeEnd = rangeStart + rangeLength;
  if (rangeLength == 0 || end <= rangeStart || pos >= rangeEnd) return crcfast::Update(data, n, crc);
  if (pos < rangeStart) crc = crcfast::Update(data, rangeStart - pos, crc);
  if (end > rangeEnd) crc = crcfast::Update(data + (rangeEnd - pos), end - rangeEnd, crc);
  return crc;
}

// The pseudo-random thinning is deterministic, so the same pair always
// gives the same patch.
struct Random {
  uint32_t state = 0x2545F491u;
  double Next() {
    state = state * 1103515245u + 12345u;
    return static_cast<double>((state >> 8) % 100000) / 100000.0;
  }
};

// Every fifth position of each 50000-byte piece of the old file, outside
// the protected range.
template <class F>
void ForOldPositions(uint8_t* piece, const PairRange& range, bool withCrc, uint32_t& crc, F f) {
  uint32_t oldSize = PairOldSize;
  int64_t guardStart = range.found ? static_cast<int64_t>(range.oldStart) - 17 : INT64_MAX;
  int64_t guardEnd = range.found ? static_cast<int64_t>(range.oldStart) + range.length + 5 : INT64_MAX;
  for (uint32_t at = 0; at < oldSize; at += kPiece) {
    uint32_t n = std::min(kPiece, oldSize - at);
    if (!ReadFileAt(PairOldFile, at, piece, n))
      EngineMessage("\n\nError, can't read file \"%s\"!\n", "\n\nFehler, kann Datei \"%s\" nicht lesen!\n", "old");
    if (withCrc) crc = CrcPiece(piece, n, at, range.oldStart, range.found ? range.length : 0, crc);
    for (uint32_t p = 4; p + 5 < n; p += 5) {
      int64_t abs = static_cast<int64_t>(at) + p;
      if (abs >= guardStart && abs < guardEnd) continue;
      f(piece, p, static_cast<uint32_t>(abs));
    }
  }
}

void SortEntries(Entry* a, int64_t lo, int64_t hi) {
  while (lo < hi) {
    int64_t i = lo, j = hi;
    uint32_t pivot = a[lo + (hi - lo) / 2].inner;
    do {
      while (a[i].inner < pivot) ++i;
      while (pivot < a[j].inner) --j;
      if (i <= j) {
        std::swap(a[i], a[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - lo < hi - i) {
      if (lo < j) SortEntries(a, lo, j);
      lo = i;
    } else {
      if (i < hi) SortEntries(a, i, hi);
      hi = j;
    }
  }
}

struct Progress {
  uint32_t marks[101];
  uint16_t counter = 0;
  void Start(uint32_t newSize) {
    for (int i = 0; i <= 100; ++i) marks[i] = static_cast<uint32_t>(static_cast<uint64_t>(newSize) * i / 100);
  }
  void Advance(uint64_t p) {
    uint16_t before = counter;
    while (counter < 100 && p > marks[counter]) ++counter;
    if (counter != before && FinderProgressHook) FinderProgressHook(counter);
  }
};

struct DiskScan {
  PairRange range;
  uint32_t oldSize = 0, newSize = 0;
  uint32_t lastOffset = 0;
  // Piece of the new file in memory.
  uint8_t* piece = nullptr;
  uint32_t pieceStart = 0, pieceLength = 0;
  // Last window of the old file.
  uint8_t window[kWindow];
  uint32_t windowStart = UINT32_MAX, windowLength = 0;
  // Best match at the current position.
  uint32_t bestLength = 0, bestCost = 1000000, bestOffset = 0;
  bool bestReachedEnd = false;
  uint64_t work = 0;

  const uint8_t* LoadWindow(uint32_t at) {
    if (at != windowStart) {
      windowLength = std::min(kWindow, oldSize - at);
      if (!ReadFileAt(PairOldFile, at, window, windowLength))
        EngineFatalError("Internal filehandling failure?!");
      windowStart = at;
      work += kWindow;  // a read from disk costs more than the compare
    }
    return window;
  }

  void LoadPiece(uint32_t at, uint32_t end) {
    pieceStart = at;
    pieceLength = std::min(kPiece + kWindow, end - at);
    if (!ReadFileAt(PairNewFile, at, piece, pieceLength)) EngineFatalError("Internal filehandling failure?!");
  }

  uint32_t SourceLimit(uint32_t c) const {
    return range.found && c < range.oldStart ? range.oldStart : oldSize;
  }

  void Rate(uint32_t p, const Entry& e, int k, uint32_t end) {
    uint32_t c = e.position;
    const uint8_t* target = piece + (p + k - pieceStart);
    for (int j = 1; j <= k; ++j)
      if (static_cast<uint8_t>(e.before >> (8 * (j - 1))) != target[-j]) return;
    uint32_t sourceLimit = SourceLimit(c);
    const uint8_t* w = LoadWindow(c - 4);
    uint32_t sourceRoom = std::min(sourceLimit, windowStart + windowLength);
    uint32_t targetRoom = std::min(end, pieceStart + pieceLength);
    if (c + 6 > sourceRoom || p + k + 6 > targetRoom) return;
    uint32_t room = std::min(sourceRoom - (c + 6), targetRoom - (p + k + 6));
    const uint8_t* a = w + (c + 6 - windowStart);
    const uint8_t* b = target + 6;
    uint32_t extra = 0;
    while (extra < room && a[extra] == b[extra]) ++extra;
    work += extra + 6;
    uint32_t length = k + 6 + extra;
    if (length < kMinMatch) return;
    uint32_t offset = c - k;
    uint32_t distance = offset > lastOffset ? offset - lastOffset : lastOffset - offset;
    uint32_t cost = RecordNumberCost(length) + RecordNumberCost(distance);
    int64_t gain = static_cast<int64_t>(length) - cost;
    int64_t bestGain = static_cast<int64_t>(bestLength) - bestCost;
    bool accept = gain > bestGain;
    if (!accept && gain == bestGain) {
      uint32_t bestDistance = bestOffset > lastOffset ? bestOffset - lastOffset : lastOffset - bestOffset;
      accept = distance < bestDistance;
    }
    if (accept) {
      bestLength = length;
      bestCost = cost;
      bestOffset = offset;
      // Only a window or piece boundary (not a real end) is worth reloading for.
      bestReachedEnd = extra == room && ((c + 6 + room == sourceRoom && sourceRoom < sourceLimit) ||
                                         (p + k + 6 + room == targetRoom && targetRoom < end));
    }
  }

  void Search(uint32_t p, uint32_t end) {
    work = 0;
    for (int k = 0; k < 5; ++k) {
      const uint8_t* at = piece + (p + k - pieceStart);
      uint32_t key = at[0] + 256u * at[5];
      uint32_t n = Counts[key];
      if (n == 0) continue;
      const Entry* bucket = Entries + Starts[key];
      uint32_t inner = Load32(at + 1);
      int64_t lo = 0, hi = static_cast<int64_t>(n) - 1, hit = -1;
      while (lo <= hi) {
        int64_t mid = (lo + hi) / 2;
        if (bucket[mid].inner < inner)
          lo = mid + 1;
        else if (bucket[mid].inner > inner)
          hi = mid - 1;
        else {
          hit = mid;
          break;
        }
      }
      if (hit < 0) continue;
      uint32_t rated = 0;
      auto rate = [&](const Entry& e) {
        if (rated >= FinderCandidateCap || work >= FinderWorkBudget) {
          ++FinderBoundHits;
          return false;
        }
        ++rated;
        Rate(p, e, k, end);
        return true;
      };
      bool go = true;
      for (int64_t j = hit; go && j >= 0 && bucket[j].inner == inner; --j) go = rate(bucket[j]);
      for (int64_t j = hit + 1; go && j < static_cast<int64_t>(n) && bucket[j].inner == inner; ++j)
        go = rate(bucket[j]);
    }
  }

  // Continues a long copy past the window: while the next bytes keep
  // agreeing, whole windows are added to it.
  void ExtendLongCopy(uint32_t p, uint32_t end) {
    uint8_t fresh[kWindow];
    while (true) {
      uint32_t source = bestOffset + bestLength;
      uint32_t target = p + bestLength;
      uint32_t limit = std::min(SourceLimit(bestOffset) - std::min(SourceLimit(bestOffset), source), end - target);
      uint32_t n = std::min(kWindow, limit);
      if (n < kMinMatch) return;
      const uint8_t* w = LoadWindow(source);
      if (!ReadFileAt(PairNewFile, target, fresh, n)) EngineFatalError("Internal filehandling failure?!");
      uint32_t same = 0;
      while (same < n && w[same] == fresh[same]) ++same;
      if (same < kMinMatch) return;
      bestLength += same;
      if (same < kWindow) return;
    }
  }

  void Emit(uint32_t length, uint32_t offset) {
    PatchRecord* last = FinderRecords.Last();
    if (last && last->length > 0 && static_cast<uint64_t>(last->offset) + last->length == offset) {
      last->length += static_cast<int32_t>(length);
      FinderCopiedBytes += length;
    } else {
      FinderRecords.Append(static_cast<int32_t>(length), offset);
      ++FinderCopyCount;
      FinderCopiedBytes += length;
    }
  }

  void ScanRange(Progress& progress, uint32_t a, uint32_t b) {
    uint32_t p = a;
    bool pending = false;
    uint32_t runStart = 0;
    pieceLength = 0;
    while (p < b) {
      if (pieceLength == 0 || p < pieceStart ||
          (p + kWindow > pieceStart + pieceLength && pieceStart + pieceLength < b))
        LoadPiece(p, b);
      bestLength = 0;
      bestCost = 1000000;
      bestReachedEnd = false;
      if (b >= kMinMatch && p < b - kMinMatch) Search(p, b);
      if (bestLength == 0) {
        if (!pending) {
          pending = true;
          runStart = p;
        }
        uint32_t run = p - runStart + 1;
        uint32_t skip = run < 20 ? 1 : run < 50 ? 3 : run < 200 ? 10 : 50;
        p = std::min(p + skip, b);
      } else {
        if (bestLength > kLongCopy && bestReachedEnd) ExtendLongCopy(p, b);
        if (pending) {
          FinderRecords.Append(-static_cast<int32_t>(p - runStart), runStart);
          pending = false;
        }
        Emit(bestLength, bestOffset);
        lastOffset = bestOffset;
        p += bestLength;
      }
      progress.Advance(p);
    }
    if (pending) FinderRecords.Append(-static_cast<int32_t>(b - runStart), runStart);
  }
};

}  // namespace

bool ReadFileAt(FILE* file, uint32_t pos, void* buffer, uint32_t n) {
  if (n == 0) return true;
  if (!file) return false;
#if defined(_WIN32)
  if (_fseeki64(file, pos, SEEK_SET) != 0) return false;
#else
  if (fseeko(file, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
#endif
  return std::fread(buffer, 1, n, file) == n;
}

void FreeDiskIndex() {
  FreeBlock(Counts);
  FreeBlock(Starts);
  FreeBlock(Entries);
  Counts = Starts = nullptr;
  Entries = nullptr;
}

void BuildDiskIndex(uint32_t i) {
  uint64_t budget = static_cast<uint64_t>(SampleStep) * 1048576u;
  std::printf("Alternate algorithm, allowed to use %llu Bytes.\n", static_cast<unsigned long long>(budget));
  if (FinderProgressHook) FinderProgressHook(0);
  FreeDiskIndex();
  PairRange range = CurrentPairRange();

  uint32_t* first = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  Counts = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  Starts = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  std::memset(first, 0, kBuckets * 4);
  uint8_t* piece = static_cast<uint8_t*>(AllocateBlock(kPiece, kPieceEnglish, nullptr));

  uint32_t crc = 0xFFFFFFFFu;
  ForOldPositions(piece, range, true, crc,
                  [&](const uint8_t* data, uint32_t p, uint32_t) { ++first[data[p] + 256u * data[p + 5]]; });
  if (i >= 1 && VersionSlots && VersionSlots[i - 1].crc == 0) VersionSlots[i - 1].crc = crc;

  // Thin the index until it fits the budget. The loop also ends when a round
  // changes nothing, which a tiny budget could otherwise turn into a hang.
  std::memcpy(Counts, first, kBuckets * 4);
  uint64_t unit = budget / 786432;
  while (true) {
    uint64_t sum = 0;
    for (uint32_t b = 0; b < kBuckets; ++b) sum += Counts[b];
    if (12 * sum < budget) break;
    uint64_t threshold = unit * 8 / 10;
    uint32_t add = static_cast<uint32_t>(unit * 3 / 4);
    bool changed = false;
    for (uint32_t b = 0; b < kBuckets; ++b) {
      if (Counts[b] == 0 || Counts[b] < threshold) continue;
      uint32_t reduced = static_cast<uint32_t>(std::pow(static_cast<double>(Counts[b]), 0.97)) + add;
      if (reduced < Counts[b]) {
        Counts[b] = reduced;
        changed = true;
      }
    }
    if (!changed) break;
  }

  uint64_t total = 0;
  for (uint32_t b = 0; b < kBuckets; ++b) {
    Starts[b] = static_cast<uint32_t>(total);
    total += Counts[b];
  }
  uint64_t bytes = total * sizeof(Entry);
  if (bytes > UINT32_MAX) EngineMessageNumber("Error, can't allocate %llu Bytes (%s)!\n", nullptr, bytes, kIndexEnglish);
  Entries = static_cast<Entry*>(AllocateBlock(static_cast<uint32_t>(bytes), kIndexEnglish, kIndexGerman));

  // Keep each position with the probability of its bucket's thinning.
  uint32_t* filled = static_cast<uint32_t*>(AllocateBlock(kBuckets * 4, kIndexEnglish, kIndexGerman));
  std::memset(filled, 0, kBuckets * 4);
  Random random;
  uint32_t unused = 0;
  ForOldPositions(piece, range, false, unused, [&](const uint8_t* data, uint32_t p, uint32_t abs) {
    uint32_t key = data[p] + 256u * data[p + 5];
    if (filled[key] >= Counts[key]) return;
    double ratio = static_cast<double>(Counts[key]) / first[key];
    if (random.Next() >= ratio) return;
    Entry& e = Entries[Starts[key] + filled[key]++];
    e.position = abs;
    e.inner = Load32(data + p + 1);
    e.before = static_cast<uint32_t>(data[p - 4]) << 24 | static_cast<uint32_t>(data[p - 3]) << 16 |
               static_cast<uint32_t>(data[p - 2]) << 8 | data[p - 1];
  });
  for (uint32_t b = 0; b < kBuckets; ++b) {
    Counts[b] = filled[b];
    if (Counts[b] > 1) SortEntries(Entries + Starts[b], 0, Counts[b] - 1);
  }
  FreeBlock(filled);
  FreeBlock(first);
  FreeBlock(piece);
}

void FindOnDisk(uint32_t i) {
  DiskScan s;
  s.range = CurrentPairRange();
  s.oldSize = PairOldSize;
  s.newSize = PairNewSize;
  s.piece = static_cast<uint8_t*>(AllocateBlock(kPiece + kWindow, kPieceEnglish, nullptr));

  uint32_t crc = 0xFFFFFFFFu;
  for (uint32_t at = 0; at < s.newSize; at += kPiece) {
    uint32_t n = std::min(kPiece, s.newSize - at);
    if (!ReadFileAt(PairNewFile, at, s.piece, n)) {
      FreeBlock(s.piece);
      EngineFatalError("Internal filehandling failure?!");
    }
    crc = CrcPiece(s.piece, n, at, s.range.newStart, s.range.found ? s.range.length : 0, crc);
  }
  if (VersionSlots && VersionSlots[i].crc == 0) VersionSlots[i].crc = crc;

  Progress progress;
  progress.Start(s.newSize);
  if (!s.range.found) {
    s.ScanRange(progress, 0, s.newSize);
  } else {
    s.ScanRange(progress, 0, s.range.newStart);
    if (s.range.length > 0) {
      FinderRecords.Append(static_cast<int32_t>(s.range.length), s.range.oldStart);
      ++FinderCopyCount;
      FinderCopiedBytes += s.range.length;
      s.lastOffset = s.range.oldStart;
    }
    s.ScanRange(progress, s.range.newStart + s.range.length, s.newSize);
  }
  if (FinderProgressHook) FinderProgressHook(100);
  FreeBlock(s.piece);
  FreeDiskIndex();
}
