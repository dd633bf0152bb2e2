// One version pair: load both files, find the differences, encode them, and
// describe the result in the pair's VersionRecord.
#include <vector>

#include "finder.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "patchrun.h"
#include "warp.h"

namespace {

// Disk mode keeps the files on disk, yet the records still need their
// checksums; read them once here and put the file back at its start.
uint32_t ChecksumOfOpenFile(FILE* file, uint32_t size, uint32_t rangeStart, const std::string& name) {
  uint32_t crc = 0xFFFFFFFF;
  uint64_t rangeEnd = static_cast<uint64_t>(rangeStart) + ProtectionLength;
  std::vector<uint8_t> piece(64 * 1024);
  uint32_t position = 0;
  while (position < size) {
    uint32_t want = size - position < piece.size() ? size - position : static_cast<uint32_t>(piece.size());
    if (std::fread(piece.data(), 1, want, file) != want)
      EngineMessage("\n\nError, can't read file \"%s\"!\n", "\n\nFehler, kann Datei \"%s\" nicht lesen!\n",
                    name.c_str());
    for (uint32_t k = 0; k < want;) {
      uint32_t at = position + k;
      if (ProtectionFound && at >= rangeStart && at < rangeEnd) {
        uint64_t skip = rangeEnd - at;
        k = skip >= want - k ? want : k + static_cast<uint32_t>(skip);
        continue;
      }
      uint32_t run = want - k;
      if (ProtectionFound && at < rangeStart && rangeStart - at < run) run = rangeStart - at;
      crc = Crc32Update(piece.data() + k, static_cast<int32_t>(run), crc);
      k += run;
    }
    position += want;
  }
  std::rewind(file);
  return crc;
}

}  // namespace

void DiffPair(uint32_t i) {
  ProtectionOldStart = ProtectionFound ? ProtectionOffsets[i - 1] : 0;
  ProtectionNewStart = ProtectionFound ? ProtectionOffsets[i] : 0;
  VersionSlot& oldSlot = VersionSlots[i - 1];
  VersionSlot& newSlot = VersionSlots[i];
  LoadPair(oldSlot.fullPath, newSlot.fullPath, i);
  if (!InMemory) {
    if (oldSlot.crc == 0)
      oldSlot.crc = ChecksumOfOpenFile(PairOldFile, oldSlot.size, ProtectionOldStart, oldSlot.fullPath);
    if (newSlot.crc == 0)
      newSlot.crc = ChecksumOfOpenFile(PairNewFile, newSlot.size, ProtectionNewStart, newSlot.fullPath);
  }

  BuildIndex(i);
  FindDifferences(i);
  RunWarp(i >= 2);

  if (InMemory) {
    FreePairBuffer();
  } else {
    if (PairOldFile) std::fclose(PairOldFile);
    if (PairNewFile) std::fclose(PairNewFile);
    PairOldFile = PairNewFile = nullptr;
  }

  VersionRecord& record = VersionRecords[i];
  record.crc = oldSlot.crc;
  record.size = oldSlot.size;
  record.lengthA = WarpA.Length();
  record.lengthB1 = WarpB1.Length();
  record.lengthB2 = WarpB2.Length();
  record.lengthD = WarpD.Length();
  record.lengthE = WarpE.Length();
  record.optionB = OptionB;
  record.optionA = static_cast<uint8_t>(OptionA);
  record.flags = MatchInNewFile ? kVersionMatchInNewFile : 0;
  // Keep whichever form of the extension bytes is the more predictable;
  // on a tie the raw bytes, which the applier need not add back.
  if (WarpERaw.Entropy(0, WarpERaw.Length()) >= WarpE.Entropy(0, WarpE.Length()))
    record.flags |= kVersionRawExtension;
}

bool SavePairStreams(const StreamSink& sink, uint32_t i) {
  bool raw = (VersionRecords[i].flags & kVersionRawExtension) != 0;
  return WarpA.Save(sink) && WarpB1.Save(sink) && WarpB2.Save(sink) && WarpD.Save(sink) &&
         (raw ? WarpERaw.Save(sink) : WarpE.Save(sink));
}

void ClearStreams() {
  ClearWarpStreams();
  ClearFinderLists();
}
