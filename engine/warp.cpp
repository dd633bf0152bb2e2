#include "warp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "messages.h"
#include "options.h"
#include "patchfile.h"

ByteStream WarpA;
BitStream WarpB1;
BitStream WarpB2;
ByteStream WarpD;
ByteStream WarpE;
ByteStream WarpERaw;
ByteStream WarpX;
RecordList OptimisedRecords;

namespace {

const uint32_t kMaxExtension = 250;

// Bytes of the pair by their position in the pair buffer (old file, then
// new file). In disk mode they come from the two open files through a
// small cache each; the Warp stages read mostly forwards.
class PairReader {
 public:
  uint8_t At(uint32_t pos) {
    if (InMemory) return *PairBytesAt(pos);
    bool isOld = pos < PairOldSize;
    Cache& c = isOld ? old_ : new_;
    uint32_t filePos = isOld ? pos : pos - PairOldSize;
    if (filePos < c.start || filePos >= c.start + c.length) {
      uint32_t size = isOld ? PairOldSize : PairNewSize;
      c.start = filePos;
      c.length = std::min<uint32_t>(sizeof(c.data), size - filePos);
      if (!ReadFileAt(isOld ? PairOldFile : PairNewFile, filePos, c.data, c.length))
        EngineFatalError("Internal filehandling failure?!");
    }
    return c.data[filePos - c.start];
  }

 private:
  struct Cache {
    uint8_t data[16384];
    uint32_t start = 0, length = 0;
  };
  Cache old_, new_;
};

struct Marks {
  uint32_t marks[101];
  uint16_t counter = 0;
  PercentHookFn hook = nullptr;
  void Start(PercentHookFn h, uint32_t total) {
    hook = h;
    for (int i = 0; i <= 100; ++i) marks[i] = static_cast<uint32_t>(static_cast<uint64_t>(total) * i / 100);
    counter = 0;
    if (hook) hook(0);
  }
  void Advance(uint32_t done) {
    uint16_t before = counter;
    while (counter < 100 && done > marks[counter]) ++counter;
    if (counter != before && hook) hook(counter);
  }
  void Finish() {
    if (hook) hook(100);
  }
};

// Start of the protected range in the old file, or the first byte of the
// new file: a copy from there must never be absorbed by an extension.
uint32_t UntouchableOffset() { return ProtectionFound ? ProtectionOldStart : PairOldSize; }

// The same sum as ByteStream::Entropy, over a histogram.
double HistogramEntropy(const uint32_t* histogram, uint32_t total) {
  if (total == 0) return 0;
  double sum = 0;
  for (int v = 0; v < 256; ++v) {
    if (histogram[v] == 0) continue;
    double p = static_cast<double>(histogram[v]) / total;
    sum += p * std::log2(p);
  }
  return sum;
}

}  // namespace

void EncodeNumber(int64_t value, bool withSign) {
  uint64_t range = PairWorkingSize;
  uint64_t a = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
  if (withSign) WarpB2.PutBit(value < 0 ? 1 : 0);
  if (a < 256) {
    if (range >= 256) WarpB2.PutBit(0);
  } else if (a < 65536) {
    WarpB2.PutBit(1);
    if (range >= 65536) WarpB1.PutBit(0);
    WarpA.PutByte(static_cast<uint8_t>(a >> 8));
  } else if (a < 16777216) {
    WarpB2.PutBit(1);
    WarpB1.PutBit(1);
    if (range >= 16777216) WarpB1.PutBit(0);
    WarpA.PutByte(static_cast<uint8_t>(a >> 16));
    WarpA.PutByte(static_cast<uint8_t>(a >> 8));
  } else {
    WarpB2.PutBit(1);
    WarpB1.PutBit(1);
    WarpB1.PutBit(1);
    WarpA.PutByte(static_cast<uint8_t>(a >> 24));
    WarpA.PutByte(static_cast<uint8_t>(a >> 16));
    WarpA.PutByte(static_cast<uint8_t>(a >> 8));
  }
  WarpA.PutByte(static_cast<uint8_t>(a));
}

uint32_t ChooseExtension(uint32_t index, uint32_t newPosition) {
  const RecordList& list = FinderRecords;
  const uint32_t count = list.Count();
  const uint32_t oldSize = PairOldSize;
  uint32_t m = std::min(PairOldSize, PairNewSize);

  // The look-ahead: the group's copies (this one first) and the literals
  // between them.
  std::vector<uint32_t> literals;  // literal lengths; 0 stands for a copy
  uint32_t copies = 0, j = index;
  bool lastWasCopy = false;
  while (j < count && copies < OptionB) {
    const PatchRecord& r = list.At(j++);
    if (r.length > 0) {
      ++copies;
      literals.push_back(0);
      uint64_t end = static_cast<uint64_t>(r.offset) + static_cast<uint32_t>(r.length);
      uint32_t after = r.offset >= oldSize || end >= oldSize ? 0 : static_cast<uint32_t>(oldSize - end);
      m = std::min(m, after);
      lastWasCopy = true;
    } else {
      literals.push_back(static_cast<uint32_t>(-static_cast<int64_t>(r.length)));
      lastWasCopy = false;
    }
  }
  const uint32_t lookEnd = j;
  if (lastWasCopy && lookEnd == count) return 0;

  uint64_t lowest = UINT64_MAX;
  uint32_t t = 0, best = 0;
  for (;; ++t) {
    uint64_t cost = 0;
    for (uint32_t l : literals) {
      if (l == 0)
        cost += 4;
      else if (l > t)
        cost += l + 2;
      else if (l < t)
        cost += static_cast<uint64_t>(t) * 195 / 100;
      else
        cost += l;
    }
    if (cost <= lowest) {
      lowest = cost;
      best = t;
    }
    if ((cost > 3 * lowest && t >= 3) || t == m || t + 1 == kMaxExtension) break;
  }
  t = std::min(best, m);
  if (t == 0) return 0;

  // Shrink t until the group's extensions are used up inside the look-ahead
  // (or, after its last copy, inside the file).
  const uint32_t untouchable = UntouchableOffset();
  for (; t > 0; --t) {
    uint64_t r = 0;
    uint32_t position = newPosition;
    uint32_t seen = 0;
    for (uint32_t k = index; k < lookEnd; ++k) {
      const PatchRecord& rec = list.At(k);
      if (rec.length > 0) {
        if (rec.offset == untouchable) return 0;
        uint32_t c = static_cast<uint32_t>(rec.length);
        ++seen;
        position += c;
        if (c > r) {
          if (seen == copies) {
            // The last copy's extension runs into what follows the group;
            // only the end of the file can stop it there.
            uint32_t left = PairNewSize - position;
            r = t > left ? t - left : 0;
            break;
          }
          r = t;
        } else {
          r -= c;
        }
      } else {
        uint32_t l = static_cast<uint32_t>(-static_cast<int64_t>(rec.length));
        position += l;
        r = r > l ? r - l : 0;
      }
    }
    if (r < 1) return t;
  }
  return 0;
}

void Optimise() {
  const RecordList& list = FinderRecords;
  const uint32_t count = list.Count();
  const uint32_t oldSize = PairOldSize;
  PairReader bytes;
  Marks marks;
  marks.Start(OptimizeProgressHook, FinderCopyCount);

  uint32_t e = 0;          // extension bytes still to take
  int64_t g = 0;           // copies left in the current group
  uint32_t s = 0;          // old position of the next extension byte
  uint32_t t = 0;          // extension length of the current group
  uint32_t absorbed = 0;   // copies swallowed and not yet stood in for
  uint32_t position = 0;   // new-file position of the current record
  uint32_t copiesDone = 0;

  auto takeExtension = [&](uint32_t from, uint32_t n) {
    for (uint32_t k = 0; k < n; ++k) {
      uint8_t nb = bytes.At(from + k);
      WarpERaw.PutByte(nb);
      WarpE.PutByte(static_cast<uint8_t>(nb - bytes.At(s++)));
    }
  };

  for (uint32_t idx = 0; idx < count; ++idx) {
    const PatchRecord rec = list.At(idx);
    if (rec.length < 0) {
      uint32_t l = static_cast<uint32_t>(-static_cast<int64_t>(rec.length));
      uint32_t take = std::min(e, l);
      takeExtension(oldSize + rec.offset, take);
      if (e >= l) {
        e -= l;
      } else {
        OptimisedRecords.Append(-static_cast<int32_t>(l - e), rec.offset + e);
        e = 0;
      }
      position += l;
      continue;
    }
    uint32_t c = static_cast<uint32_t>(rec.length);
    uint32_t take = std::min(e, c);
    takeExtension(rec.offset, take);
    if (e >= c) {
      e -= c;
      ++absorbed;
    } else {
      // A group also starts when absorbed copies pushed the counter below 0:
      // waiting for exactly 0 would never start one again.
      bool newGroup = g <= 0;
      if (newGroup) {
        for (; absorbed > 0; --absorbed) OptimisedRecords.Append(0, 0);
        t = ProtectionFound ? 0 : ChooseExtension(idx, position);
        WarpX.PutByte(static_cast<uint8_t>(t));
      }
      OptimisedRecords.Append(static_cast<int32_t>(c - e), rec.offset + e);
      if (newGroup) g = OptionB;
      s = rec.offset + c;
      e = t;
    }
    --g;
    position += c;
    marks.Advance(++copiesDone);
  }
  if (e > 0)
    EngineFatalError(
        "Internal self-test failed: an extension runs past the end of the file. "
        "Please report this problem together with the files you were patching.");
  marks.Finish();
}

void Encode() {
  const RecordList& list = OptimisedRecords;
  const uint32_t count = list.Count();
  const uint32_t oldSize = PairOldSize;
  const uint32_t segmentSize = std::max<uint32_t>(OptionA, 1);
  PairReader bytes;
  Marks marks;
  uint32_t copyTotal = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (list.At(i).length > 0) ++copyTotal;
  marks.Start(EncodeProgressHook, copyTotal);

  uint32_t p = 0, n = 0, t = 0, xPos = 0, copiesDone = 0;
  int64_t g = 0;
  std::vector<uint8_t> chunk;
  for (uint32_t idx = 0; idx < count; ++idx) {
    const PatchRecord rec = list.At(idx);
    if (rec.length == 0) {
      EncodeNumber(0, true);
      --g;
      continue;
    }
    if (rec.length > 0) {
      EncodeNumber(rec.length, true);
      EncodeNumber(static_cast<int64_t>(rec.offset) - (static_cast<int64_t>(p) + n), true);
      p = rec.offset;
      n = static_cast<uint32_t>(rec.length);
      if (g <= 0) {
        t = WarpX.ByteAt(xPos++);
        WarpA.PutByte(static_cast<uint8_t>(t));
        g = OptionB;
      }
      --g;
      marks.Advance(++copiesDone);
      continue;
    }

    uint32_t l = static_cast<uint32_t>(-static_cast<int64_t>(rec.length));
    uint32_t q = rec.offset;
    EncodeNumber(-static_cast<int64_t>(l), true);
    const uint32_t dStart = WarpD.Length();
    if (InMemory) WarpD.PutBytes(PairNewBytes() + q, l);

    const bool mayDiffer = !WarpFlag && !ProtectionFound;
    for (uint32_t j = 0; j < l;) {
      uint32_t rest = l - j;
      uint32_t seg = rest < 2 * segmentSize ? rest : segmentSize;
      uint64_t from = static_cast<uint64_t>(p) + n + t + j;
      // Old bytes for the differences: inside the old file, or (sources in
      // the new file) inside the part of the new file already decoded.
      uint64_t limit = MatchInNewFile ? static_cast<uint64_t>(oldSize) + q + j : oldSize;
      bool inside = from + seg <= limit;
      uint32_t segStart = dStart + j;
      uint32_t context = segStart > WarpOffset ? segStart - WarpOffset : 0;
      if (InMemory) {
        if (mayDiffer && inside) {
          double h1 = WarpD.Entropy(context, segStart + seg);
          WarpD.SubtractRun(segStart, static_cast<uint32_t>(from), seg);
          double h2 = WarpD.Entropy(context, segStart + seg);
          if (h1 >= h2) {
            WarpB1.PutBit(1);
            WarpD.AddRun(segStart, static_cast<uint32_t>(from), seg);
          } else {
            WarpB1.PutBit(0);
          }
        } else {
          WarpB1.PutBit(1);
        }
      } else {
        // Without the pair in memory the segment is judged before it is
        // appended; the stream comes out as above.
        chunk.resize(seg);
        for (uint32_t k = 0; k < seg; ++k) chunk[k] = bytes.At(oldSize + q + j + k);
        bool raw = true;
        if (mayDiffer && inside) {
          uint32_t h[256] = {};
          for (uint32_t k = context; k < segStart; ++k) ++h[WarpD.ByteAt(k)];
          uint32_t hd[256];
          std::memcpy(hd, h, sizeof(h));
          for (uint32_t k = 0; k < seg; ++k) {
            ++h[chunk[k]];
            ++hd[static_cast<uint8_t>(chunk[k] - bytes.At(static_cast<uint32_t>(from) + k))];
          }
          uint32_t total = segStart + seg - context;
          raw = HistogramEntropy(h, total) >= HistogramEntropy(hd, total);
          if (!raw)
            for (uint32_t k = 0; k < seg; ++k)
              chunk[k] = static_cast<uint8_t>(chunk[k] - bytes.At(static_cast<uint32_t>(from) + k));
        }
        WarpB1.PutBit(raw ? 1 : 0);
        WarpD.PutBytes(chunk.data(), seg);
      }
      j += seg;
    }
  }
  marks.Finish();
}

void RunWarp(bool secondOrLater) {
  (void)secondOrLater;
  OptimisedRecords.Clear();
  Optimise();
  Encode();
}

void ClearWarpStreams() {
  WarpA.Clear();
  WarpB1.Clear();
  WarpB2.Clear();
  WarpD.Clear();
  WarpE.Clear();
  WarpERaw.Clear();
  WarpX.Clear();
  OptimisedRecords.Clear();
}
