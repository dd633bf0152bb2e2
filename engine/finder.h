// The difference finder: describes the new file of a version pair as copies
// (from the old file, or from earlier in the new file) and literal runs.
#pragma once

#include <cstdint>

#include "streams.h"

// One record of the patch structure: a copy (length > 0, source offset in
// the pair buffer) or a literal run (-length, position in the new file).
// (0, 0) is the Warp optimiser's placeholder.
struct PatchRecord {
  int32_t length;
  uint32_t offset;
};

const uint32_t kRecordsPerBlock = kStreamBlockSize / sizeof(PatchRecord);  // 3750

// Records in fixed 30000-byte blocks that never move once written.
class RecordList {
 public:
  RecordList() = default;
  ~RecordList();
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  void Append(int32_t length, uint32_t offset);
  uint32_t Count() const { return fullBlocks.Count() * kRecordsPerBlock + used; }
  const PatchRecord& At(uint32_t index) const;
  // The last record, for merging a copy into its predecessor.
  PatchRecord* Last();
  void Clear();

 private:
  DynArray fullBlocks;
  PatchRecord* current = nullptr;
  uint32_t used = 0;
};

// The finder's output for the current pair, and what it counted.
extern RecordList FinderRecords;
extern uint32_t FinderCopyCount;
extern uint64_t FinderCopiedBytes;

// Index and counter tables, allocated once per process (AllocEngineBuffers
// calls the first, FreeEngineBuffers the second). BuildIndex allocates them
// itself when nobody did.
void AllocFinderBuffers();
void FreeFinderBuffers();
// Frees the record blocks and the per-pair work buffers (ClearStreams).
void ClearFinderLists();

// Pair i: PairBuffer/PairOldSize/PairNewSize (in-memory) or PairOldFile/
// PairNewFile (disk) are loaded; ProtectionFound with ProtectionOldStart/
// ProtectionNewStart/ProtectionLength describe the protected range.
void BuildIndex(uint32_t i);
void FindDifferences(uint32_t i);

// Bounds on the candidate walk, which is quadratic on long runs of one value
// or of one repeated block. Kept as variables so a measurement can switch
// them off and show they do not change the output on ordinary data.
extern uint32_t FinderCandidateCap;   // candidates rated per alignment
extern uint64_t FinderWorkBudget;     // bytes compared per position
extern uint32_t FinderBoundHits;      // times a bound cut a walk short (this pair)
// The walk normally reads copies of the bytes around indexed positions and
// steps over entries that cannot pass; false makes it read every entry from
// the file, the reference those aids must agree with.
extern bool FinderWalkAids;
// The in-memory scan and the deflate of the body run on this many threads
// (0: one per core); the scan goes over pieces of FinderChunkSize bytes of
// the new file. The records and the bytes are the same for every count and
// size.
extern uint32_t FinderThreads;
extern uint32_t FinderChunkSize;

// The disk variant (InMemory = 0), finder_disk.cpp.
void BuildDiskIndex(uint32_t i);
void FindOnDisk(uint32_t i);
void FreeDiskIndex();
// Reads n bytes at position pos of an open file; false on a short read.
bool ReadFileAt(FILE* file, uint32_t pos, void* buffer, uint32_t n);

// The protected range of the current pair (both variants of the finder);
// a range that does not lie inside both files is a fatal error.
struct PairRange {
  bool found = false;
  uint32_t oldStart = 0, newStart = 0, length = 0;
};
PairRange CurrentPairRange();

// What a copy record's length or distance costs in the finder's rating.
inline uint32_t RecordNumberCost(uint32_t v) { return v < 256 ? 1 : v < 65536 ? 4 : 8; }
