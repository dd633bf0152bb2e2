#include "deflater.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include <zlib.h>

#include "commonprefix.h"
#include "sync.h"
#include "workers.h"

namespace {

// zlib's level-9 parameters and the sizes that follow from windowBits 15
// and memLevel 8.
const uint32_t kMinMatch = 3;
const uint32_t kMaxMatch = 258;
const uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;
const uint32_t kWSize = 32768;
const uint32_t kWMask = kWSize - 1;
const uint32_t kWindowSize = 2 * kWSize;
const uint32_t kMaxDist = kWSize - kMinLookahead;
const uint32_t kHashSize = 32768;
const uint32_t kHashMask = kHashSize - 1;
const uint32_t kGoodMatch = 32;
const uint32_t kMaxLazy = 258;
const uint32_t kNiceMatch = 258;
const uint32_t kMaxChain = 4096;
const uint32_t kTooFar = 4096;
const uint32_t kLitBufSize = 1u << (8 + 6);
const uint32_t kSymEnd = (kLitBufSize - 1) * 3;

const int kMaxBits = 15;
const int kMaxBlBits = 7;
const int kEndBlock = 256;
const int kLiterals = 256;
const int kLengthCodes = 29;
const int kLCodes = kLiterals + 1 + kLengthCodes;
const int kDCodes = 30;
const int kBlCodes = 19;
const int kHeapSize = 2 * kLCodes + 1;
const int kRep3To6 = 16;
const int kRepZero3To10 = 17;
const int kRepZero11To138 = 18;

const int kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                  6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
const uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A tree node: frequency, later the code; parent, later the code length.
struct Node {
  uint16_t fc;
  uint16_t dl;
};

uint32_t ReverseBits(uint32_t code, int len) {
  uint32_t res = 0;
  do {
    res |= code & 1;
    code >>= 1;
    res <<= 1;
  } while (--len > 0);
  return res >> 1;
}

void GenCodes(Node* tree, int maxCode, const uint16_t* blCount) {
  uint16_t nextCode[kMaxBits + 1];
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + blCount[bits - 1]) << 1;
    nextCode[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= maxCode; ++n) {
    int len = tree[n].dl;
    if (len == 0) continue;
    tree[n].fc = static_cast<uint16_t>(ReverseBits(nextCode[len]++, len));
  }
}

struct Tables {
  uint8_t lengthCode[256];
  uint8_t distCode[512];
  int baseLength[kLengthCodes];
  int baseDist[kDCodes];
  Node staticLTree[kLCodes + 2];
  Node staticDTree[kDCodes];
  Tables() {
    int length = 0, code;
    for (code = 0; code < kLengthCodes - 1; ++code) {
      baseLength[code] = length;
      for (int n = 0; n < (1 << kExtraLBits[code]); ++n) lengthCode[length++] = static_cast<uint8_t>(code);
    }
    // Length 258 has a code of its own, not the last one of code 27.
    lengthCode[length - 1] = static_cast<uint8_t>(code);
    baseLength[kLengthCodes - 1] = 0;
    int dist = 0;
    for (code = 0; code < 16; ++code) {
      baseDist[code] = dist;
      for (int n = 0; n < (1 << kExtraDBits[code]); ++n) distCode[dist++] = static_cast<uint8_t>(code);
    }
    dist >>= 7;
    for (; code < kDCodes; ++code) {
      baseDist[code] = dist << 7;
      for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) distCode[256 + dist++] = static_cast<uint8_t>(code);
    }
    uint16_t blCount[kMaxBits + 1] = {};
    int n = 0;
    while (n <= 143) staticLTree[n++].dl = 8, blCount[8]++;
    while (n <= 255) staticLTree[n++].dl = 9, blCount[9]++;
    while (n <= 279) staticLTree[n++].dl = 7, blCount[7]++;
    while (n <= 287) staticLTree[n++].dl = 8, blCount[8]++;
    GenCodes(staticLTree, kLCodes + 1, blCount);
    for (n = 0; n < kDCodes; ++n) {
      staticDTree[n].dl = 5;
      staticDTree[n].fc = static_cast<uint16_t>(ReverseBits(static_cast<uint32_t>(n), 5));
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

inline uint32_t DistCode(uint32_t dist) { return dist < 256 ? T().distCode[dist] : T().distCode[256 + (dist >> 7)]; }

inline uint32_t Hash3(const uint8_t* p) {
  return ((static_cast<uint32_t>(p[0]) << 10) ^ (static_cast<uint32_t>(p[1]) << 5) ^ p[2]) & kHashMask;
}

struct StaticDesc {
  const Node* staticTree;
  const int* extraBits;
  int extraBase;
  int elems;
  int maxLength;
};

struct TreeDesc {
  Node* dynTree;
  int maxCode;
  const StaticDesc* stat;
};

// An answer noted by a helper for a search over the first 4096 (class 1)
// or 1024 (class 2) entries of the position's chain that had to beat
// length len: found, the first longest match (len, distance); not found,
// no entry beats len.
inline uint32_t PackAnswer(uint32_t len, uint32_t dist, uint32_t cls, bool found) {
  return len | dist << 9 | cls << 24 | (found ? 1u : 0u) << 26;
}

// Input gathered for one stage: bytes holds input [start, start + size),
// one window of the input before the stage and then the stage itself,
// which begins at stageStart and was written in these pieces.
struct Stage {
  std::vector<uint8_t> bytes;
  uint64_t start = 0, stageStart = 0;
  std::vector<uint32_t> pieces;
};

// Stages that may wait for the deflating thread.
const size_t kQueued = 2;

}  // namespace

struct BodyDeflater::Impl {
  uint32_t threads;
  uint32_t stageBytes;
  uint32_t pieceBytes;

  // --- zlib's state, in its window's coordinates ---
  std::vector<uint8_t> window = std::vector<uint8_t>(kWindowSize + kMaxMatch + 8, 0);
  std::vector<uint16_t> head = std::vector<uint16_t>(kHashSize, 0);
  std::vector<uint16_t> prev = std::vector<uint16_t>(kWSize, 0);
  uint32_t strstart = 0, lookahead = 0, insert = 0;
  long blockStart = 0;
  uint32_t matchLength = kMinMatch - 1, matchStart = 0, prevLength = kMinMatch - 1, prevMatch = 0;
  bool matchAvailable = false;
  uint64_t windowBase = 0;  // input position of window byte 0
  const uint8_t* nextIn = nullptr;
  uint32_t availIn = 0;
  uLong adler = 1;
  bool headerDone = false;

  std::vector<uint8_t> symBuf = std::vector<uint8_t>(kLitBufSize * 3);
  uint32_t symNext = 0;
  Node dynLTree[kHeapSize] = {};
  Node dynDTree[2 * kDCodes + 1] = {};
  Node blTree[2 * kBlCodes + 1] = {};
  StaticDesc lStat{T().staticLTree, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits};
  StaticDesc dStat{T().staticDTree, kExtraDBits, 0, kDCodes, kMaxBits};
  StaticDesc blStat{nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits};
  TreeDesc lDesc{dynLTree, 0, &lStat};
  TreeDesc dDesc{dynDTree, 0, &dStat};
  TreeDesc blDesc{blTree, 0, &blStat};
  int heap[kHeapSize];
  int heapLen = 0, heapMax = 0;
  uint8_t depth[kHeapSize];
  uint16_t blCount[kMaxBits + 1];
  uint64_t optLen = 0, staticLen = 0;

  uint64_t bitBuf = 0;
  int bitCount = 0;
  std::vector<uint8_t> out;

  // --- the stage being deflated and the helpers' answers ---
  // history: input bytes [historyStart, historyStart + size); the staged
  // part begins at stageStart and was written in the pieces stagePieces.
  std::vector<uint8_t> history;
  uint64_t historyStart = 0, stageStart = 0;
  std::vector<uint32_t> stagePieces;
  std::vector<uint32_t> answers;  // per staged position, 0: none
  uint64_t answersStart = 0;

  // --- the caller's side ---
  // Input gathered for the next stage, after one window of the input
  // before it (the helpers' context).
  Stage filling;

  // --- between the caller and the deflating thread ---
  // Full stages wait in queued (at most kQueued: a caller that writes
  // faster than the body deflates waits, and its memory stays bounded);
  // the thread deflates them in order and moves its bytes to ready.
  // Everything the thread touches besides these is its own while it runs
  // and the caller's once it is idle.
  EngineMutex lock;
  EngineCondition arrived, room;
  std::deque<Stage> queued;
  std::vector<Stage> spare;  // buffers kept for the next stages
  std::vector<uint8_t> ready;
  bool busy = false;
  std::atomic<bool> stop{false}, failed{false};
  std::exception_ptr failure;
  std::thread deflating;
  bool started = false, alone = false;

  Impl(uint32_t t, uint32_t stage, uint32_t piece) : threads(t), stageBytes(stage), pieceBytes(piece) {
    if (threads == 0) threads = CoreCount();
    // With one thread asked for, the caller deflates every stage itself.
    alone = threads <= 1;
    InitBlock();
  }

  ~Impl() {
    if (!deflating.joinable()) return;
    {
      std::lock_guard<EngineMutex> hold(lock);
      stop = true;
    }
    arrived.notify_all();
    deflating.join();
  }

  // --- bits ---
  void PutByte(uint8_t b) { out.push_back(b); }
  void SendBits(uint32_t value, int length) {
    bitBuf |= static_cast<uint64_t>(value) << bitCount;
    bitCount += length;
    while (bitCount >= 8) {
      out.push_back(static_cast<uint8_t>(bitBuf));
      bitBuf >>= 8;
      bitCount -= 8;
    }
  }
  void SendCode(int c, const Node* tree) { SendBits(tree[c].fc, tree[c].dl); }
  void Windup() {
    if (bitCount > 0) out.push_back(static_cast<uint8_t>(bitBuf));
    bitBuf = 0;
    bitCount = 0;
  }
  // --- trees ---
  void InitBlock() {
    for (int n = 0; n < kLCodes; ++n) dynLTree[n].fc = 0;
    for (int n = 0; n < kDCodes; ++n) dynDTree[n].fc = 0;
    for (int n = 0; n < kBlCodes; ++n) blTree[n].fc = 0;
    dynLTree[kEndBlock].fc = 1;
    optLen = staticLen = 0;
    symNext = 0;
  }

  bool Smaller(const Node* tree, int n, int m) const {
    return tree[n].fc < tree[m].fc || (tree[n].fc == tree[m].fc && depth[n] <= depth[m]);
  }

  void DownHeap(const Node* tree, int k) {
    int v = heap[k];
    int j = k << 1;
    while (j <= heapLen) {
      if (j < heapLen && Smaller(tree, heap[j + 1], heap[j])) ++j;
      if (Smaller(tree, v, heap[j])) break;
      heap[k] = heap[j];
      k = j;
      j <<= 1;
    }
    heap[k] = v;
  }

  void GenBitLengths(TreeDesc& desc) {
    Node* tree = desc.dynTree;
    const int maxCode = desc.maxCode;
    const Node* stree = desc.stat->staticTree;
    const int* extra = desc.stat->extraBits;
    const int base = desc.stat->extraBase;
    const int maxLength = desc.stat->maxLength;
    int h, overflow = 0;
    for (int bits = 0; bits <= kMaxBits; ++bits) blCount[bits] = 0;
    tree[heap[heapMax]].dl = 0;
    for (h = heapMax + 1; h < kHeapSize; ++h) {
      int n = heap[h];
      int bits = tree[tree[n].dl].dl + 1;
      if (bits > maxLength) bits = maxLength, ++overflow;
      tree[n].dl = static_cast<uint16_t>(bits);
      if (n > maxCode) continue;
      blCount[bits]++;
      int xbits = n >= base ? extra[n - base] : 0;
      uint64_t f = tree[n].fc;
      optLen += f * static_cast<uint32_t>(bits + xbits);
      if (stree) staticLen += f * static_cast<uint32_t>(stree[n].dl + xbits);
    }
    if (overflow == 0) return;
    do {
      int bits = maxLength - 1;
      while (blCount[bits] == 0) --bits;
      blCount[bits]--;
      blCount[bits + 1] += 2;
      blCount[maxLength]--;
      overflow -= 2;
    } while (overflow > 0);
    for (int bits = maxLength; bits != 0; --bits) {
      int n = blCount[bits];
      while (n != 0) {
        int m = heap[--h];
        if (m > maxCode) continue;
        if (tree[m].dl != static_cast<uint32_t>(bits)) {
          optLen += (static_cast<uint64_t>(bits) - tree[m].dl) * tree[m].fc;
          tree[m].dl = static_cast<uint16_t>(bits);
        }
        --n;
      }
    }
  }

  void BuildTree(TreeDesc& desc) {
    Node* tree = desc.dynTree;
    const Node* stree = desc.stat->staticTree;
    const int elems = desc.stat->elems;
    int maxCode = -1;
    heapLen = 0;
    heapMax = kHeapSize;
    for (int n = 0; n < elems; ++n) {
      if (tree[n].fc != 0) {
        heap[++heapLen] = maxCode = n;
        depth[n] = 0;
      } else {
        tree[n].dl = 0;
      }
    }
    while (heapLen < 2) {
      int node = heap[++heapLen] = maxCode < 2 ? ++maxCode : 0;
      tree[node].fc = 1;
      depth[node] = 0;
      optLen--;
      if (stree) staticLen -= stree[node].dl;
    }
    desc.maxCode = maxCode;
    for (int n = heapLen / 2; n >= 1; --n) DownHeap(tree, n);
    int node = elems;
    do {
      int n = heap[1];
      heap[1] = heap[heapLen--];
      DownHeap(tree, 1);
      int m = heap[1];
      heap[--heapMax] = n;
      heap[--heapMax] = m;
      tree[node].fc = static_cast<uint16_t>(tree[n].fc + tree[m].fc);
      depth[node] = static_cast<uint8_t>((depth[n] >= depth[m] ? depth[n] : depth[m]) + 1);
      tree[n].dl = tree[m].dl = static_cast<uint16_t>(node);
      heap[1] = node++;
      DownHeap(tree, 1);
    } while (heapLen >= 2);
    heap[--heapMax] = heap[1];
    GenBitLengths(desc);
    GenCodes(tree, maxCode, blCount);
  }

  void ScanTree(Node* tree, int maxCode) {
    int prevlen = -1, nextlen = tree[0].dl, count = 0, maxCount = 7, minCount = 4;
    if (nextlen == 0) maxCount = 138, minCount = 3;
    tree[maxCode + 1].dl = 0xffff;
    for (int n = 0; n <= maxCode; ++n) {
      int curlen = nextlen;
      nextlen = tree[n + 1].dl;
      if (++count < maxCount && curlen == nextlen) continue;
      if (count < minCount) {
        blTree[curlen].fc = static_cast<uint16_t>(blTree[curlen].fc + count);
      } else if (curlen != 0) {
        if (curlen != prevlen) blTree[curlen].fc++;
        blTree[kRep3To6].fc++;
      } else if (count <= 10) {
        blTree[kRepZero3To10].fc++;
      } else {
        blTree[kRepZero11To138].fc++;
      }
      count = 0;
      prevlen = curlen;
      if (nextlen == 0) maxCount = 138, minCount = 3;
      else if (curlen == nextlen) maxCount = 6, minCount = 3;
      else maxCount = 7, minCount = 4;
    }
  }

  void SendTree(const Node* tree, int maxCode) {
    int prevlen = -1, nextlen = tree[0].dl, count = 0, maxCount = 7, minCount = 4;
    if (nextlen == 0) maxCount = 138, minCount = 3;
    for (int n = 0; n <= maxCode; ++n) {
      int curlen = nextlen;
      nextlen = tree[n + 1].dl;
      if (++count < maxCount && curlen == nextlen) continue;
      if (count < minCount) {
        do SendCode(curlen, blTree);
        while (--count != 0);
      } else if (curlen != 0) {
        if (curlen != prevlen) {
          SendCode(curlen, blTree);
          --count;
        }
        SendCode(kRep3To6, blTree);
        SendBits(static_cast<uint32_t>(count - 3), 2);
      } else if (count <= 10) {
        SendCode(kRepZero3To10, blTree);
        SendBits(static_cast<uint32_t>(count - 3), 3);
      } else {
        SendCode(kRepZero11To138, blTree);
        SendBits(static_cast<uint32_t>(count - 11), 7);
      }
      count = 0;
      prevlen = curlen;
      if (nextlen == 0) maxCount = 138, minCount = 3;
      else if (curlen == nextlen) maxCount = 6, minCount = 3;
      else maxCount = 7, minCount = 4;
    }
  }

  int BuildBlTree() {
    ScanTree(dynLTree, lDesc.maxCode);
    ScanTree(dynDTree, dDesc.maxCode);
    BuildTree(blDesc);
    int maxBlIndex;
    for (maxBlIndex = kBlCodes - 1; maxBlIndex >= 3; --maxBlIndex)
      if (blTree[kBlOrder[maxBlIndex]].dl != 0) break;
    optLen += 3 * (static_cast<uint64_t>(maxBlIndex) + 1) + 5 + 5 + 4;
    return maxBlIndex;
  }

  void SendAllTrees(int lcodes, int dcodes, int blcodes) {
    SendBits(static_cast<uint32_t>(lcodes - 257), 5);
    SendBits(static_cast<uint32_t>(dcodes - 1), 5);
    SendBits(static_cast<uint32_t>(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank) SendBits(blTree[kBlOrder[rank]].dl, 3);
    SendTree(dynLTree, lcodes - 1);
    SendTree(dynDTree, dcodes - 1);
  }

  void CompressBlock(const Node* ltree, const Node* dtree) {
    const Tables& t = T();
    for (uint32_t sx = 0; sx < symNext;) {
      uint32_t dist = symBuf[sx] | static_cast<uint32_t>(symBuf[sx + 1]) << 8;
      int lc = symBuf[sx + 2];
      sx += 3;
      if (dist == 0) {
        SendCode(lc, ltree);
        continue;
      }
      int code = t.lengthCode[lc];
      SendCode(code + kLiterals + 1, ltree);
      int extra = kExtraLBits[code];
      if (extra != 0) SendBits(static_cast<uint32_t>(lc - t.baseLength[code]), extra);
      --dist;
      code = static_cast<int>(DistCode(dist));
      SendCode(code, dtree);
      extra = kExtraDBits[code];
      if (extra != 0) SendBits(dist - static_cast<uint32_t>(t.baseDist[code]), extra);
    }
    SendCode(kEndBlock, ltree);
  }

  void FlushBlock(bool last) {
    const uint8_t* buf = blockStart >= 0 ? window.data() + blockStart : nullptr;
    const uint32_t storedLen = static_cast<uint32_t>(static_cast<long>(strstart) - blockStart);
    BuildTree(lDesc);
    BuildTree(dDesc);
    int maxBlIndex = BuildBlTree();
    uint64_t optLenb = (optLen + 3 + 7) >> 3;
    uint64_t staticLenb = (staticLen + 3 + 7) >> 3;
    if (staticLenb <= optLenb) optLenb = staticLenb;
    if (static_cast<uint64_t>(storedLen) + 4 <= optLenb && buf) {
      SendBits(last ? 1 : 0, 3);
      Windup();
      PutByte(static_cast<uint8_t>(storedLen));
      PutByte(static_cast<uint8_t>(storedLen >> 8));
      PutByte(static_cast<uint8_t>(~storedLen));
      PutByte(static_cast<uint8_t>(~storedLen >> 8));
      out.insert(out.end(), buf, buf + storedLen);
    } else if (staticLenb == optLenb) {
      SendBits((1u << 1) + (last ? 1 : 0), 3);
      CompressBlock(T().staticLTree, T().staticDTree);
    } else {
      SendBits((2u << 1) + (last ? 1 : 0), 3);
      SendAllTrees(lDesc.maxCode + 1, dDesc.maxCode + 1, maxBlIndex + 1);
      CompressBlock(dynLTree, dynDTree);
    }
    InitBlock();
    if (last) Windup();
    blockStart = static_cast<long>(strstart);
  }

  bool TallyLiteral(uint8_t c) {
    symBuf[symNext++] = 0;
    symBuf[symNext++] = 0;
    symBuf[symNext++] = c;
    dynLTree[c].fc++;
    return symNext == kSymEnd;
  }

  bool TallyMatch(uint32_t dist, uint32_t lengthMinus3) {
    symBuf[symNext++] = static_cast<uint8_t>(dist);
    symBuf[symNext++] = static_cast<uint8_t>(dist >> 8);
    symBuf[symNext++] = static_cast<uint8_t>(lengthMinus3);
    --dist;
    dynLTree[T().lengthCode[lengthMinus3] + kLiterals + 1].fc++;
    dynDTree[DistCode(dist)].fc++;
    return symNext == kSymEnd;
  }

  // --- the parse ---
  uint32_t InsertString(uint32_t str) {
    const uint32_t h = Hash3(window.data() + str);
    const uint32_t matchHead = prev[str & kWMask] = head[h];
    head[h] = static_cast<uint16_t>(str);
    return matchHead;
  }

  void SlideHash() {
    for (uint32_t n = 0; n < kHashSize; ++n) head[n] = static_cast<uint16_t>(head[n] >= kWSize ? head[n] - kWSize : 0);
    for (uint32_t n = 0; n < kWSize; ++n) prev[n] = static_cast<uint16_t>(prev[n] >= kWSize ? prev[n] - kWSize : 0);
  }

  void FillWindow() {
    do {
      uint32_t more = kWindowSize - lookahead - strstart;
      if (strstart >= kWSize + kMaxDist) {
        std::memcpy(window.data(), window.data() + kWSize, kWSize - more);
        matchStart -= kWSize;
        strstart -= kWSize;
        blockStart -= static_cast<long>(kWSize);
        windowBase += kWSize;
        if (insert > strstart) insert = strstart;
        SlideHash();
        more += kWSize;
      }
      if (availIn == 0) break;
      uint32_t n = std::min(availIn, more);
      std::memcpy(window.data() + strstart + lookahead, nextIn, n);
      adler = adler32(adler, nextIn, n);
      nextIn += n;
      availIn -= n;
      lookahead += n;
      if (lookahead + insert >= kMinMatch) {
        uint32_t str = strstart - insert;
        while (insert) {
          const uint32_t h = Hash3(window.data() + str);
          prev[str & kWMask] = head[h];
          head[h] = static_cast<uint16_t>(str);
          ++str;
          --insert;
          if (lookahead + insert < kMinMatch) break;
        }
      }
    } while (lookahead < kMinLookahead && availIn != 0);
  }

  // zlib's search, used where no helper answered the same question.
  uint32_t SearchMatch(uint32_t curMatch) {
    uint32_t chainLength = kMaxChain;
    const uint8_t* scan = window.data() + strstart;
    uint32_t bestLen = prevLength;
    uint32_t nice = std::min(kNiceMatch, lookahead);
    const uint32_t cap = std::min(kMaxMatch, lookahead);
    const uint32_t limit = strstart > kMaxDist ? strstart - kMaxDist : 0;
    if (prevLength >= kGoodMatch) chainLength >>= 2;
    uint8_t scanEnd1 = scan[bestLen - 1], scanEnd = scan[bestLen];
    do {
      const uint8_t* match = window.data() + curMatch;
      if (match[bestLen] != scanEnd || match[bestLen - 1] != scanEnd1 || match[0] != scan[0] || match[1] != scan[1])
        continue;
      uint32_t len = CommonPrefixLength(scan, match, cap);
      if (len > bestLen) {
        matchStart = curMatch;
        bestLen = len;
        if (len >= nice) break;
        scanEnd1 = scan[bestLen - 1];
        scanEnd = scan[bestLen];
      }
    } while ((curMatch = prev[curMatch & kWMask]) > limit && --chainLength != 0);
    return bestLen <= lookahead ? bestLen : lookahead;
  }

  uint32_t LongestMatch(uint32_t hashHead) {
    const uint64_t at = windowBase + strstart;
    if (at >= answersStart && at - answersStart < answers.size()) {
      const uint32_t answer = answers[static_cast<size_t>(at - answersStart)];
      const uint32_t cls = prevLength >= kGoodMatch ? 2 : 1;
      const uint32_t len = answer & 0x1FF;
      // The first longest entry is the same whatever it had to beat, as
      // long as it beats that.
      if ((answer >> 24 & 3) == cls) {
        if (answer >> 26) {
          if (len <= prevLength) return prevLength;
          // A traced answer is used only where it names a real match
          // inside the window: a wrong trace can make the bytes differ
          // from zlib's, never make the stream wrong.
          const uint32_t dist = (answer >> 9) & 0x7FFF;
          const uint32_t limit = strstart > kMaxDist ? strstart - kMaxDist : 0;
          if (dist != 0 && dist <= strstart && strstart - dist >= limit && len <= std::min(kMaxMatch, lookahead) &&
              std::memcmp(window.data() + strstart, window.data() + strstart - dist, len) == 0) {
            matchStart = strstart - dist;
            return len;
          }
          return SearchMatch(hashHead);
        }
        if (prevLength >= len) return prevLength;
      }
    }
    return SearchMatch(hashHead);
  }

  // deflate_slow; true when it stopped for more input.
  bool Run(bool finish) {
    for (;;) {
      if (lookahead < kMinLookahead) {
        FillWindow();
        if (lookahead < kMinLookahead && !finish) return true;
        if (lookahead == 0) break;
      }
      uint32_t hashHead = 0;
      if (lookahead >= kMinMatch) hashHead = InsertString(strstart);
      prevLength = matchLength;
      prevMatch = matchStart;
      matchLength = kMinMatch - 1;
      if (hashHead != 0 && prevLength < kMaxLazy && strstart - hashHead <= kMaxDist) {
        matchLength = LongestMatch(hashHead);
        if (matchLength <= 5 && matchLength == kMinMatch && strstart - matchStart > kTooFar)
          matchLength = kMinMatch - 1;
      }
      if (prevLength >= kMinMatch && matchLength <= prevLength) {
        const uint32_t maxInsert = strstart + lookahead - kMinMatch;
        const bool full = TallyMatch(strstart - 1 - prevMatch, prevLength - kMinMatch);
        lookahead -= prevLength - 1;
        prevLength -= 2;
        do {
          if (++strstart <= maxInsert) InsertString(strstart);
        } while (--prevLength != 0);
        matchAvailable = false;
        matchLength = kMinMatch - 1;
        ++strstart;
        if (full) FlushBlock(false);
      } else if (matchAvailable) {
        if (TallyLiteral(window[strstart - 1])) FlushBlock(false);
        ++strstart;
        --lookahead;
      } else {
        matchAvailable = true;
        ++strstart;
        --lookahead;
      }
    }
    if (matchAvailable) {
      TallyLiteral(window[strstart - 1]);
      matchAvailable = false;
    }
    insert = strstart < kMinMatch - 1 ? strstart : kMinMatch - 1;
    FlushBlock(true);
    return false;
  }

  void Start() {
    if (headerDone) return;
    headerDone = true;
    // Method 8, 32 KB window, level 9 and above, no dictionary.
    PutByte(0x78);
    PutByte(0xDA);
  }

  void Feed(const uint8_t* data, uint32_t n) {
    Start();
    nextIn = data;
    availIn = n;
    while (!Run(false) || availIn != 0) {
    }
  }

  // --- the helpers ---
  // Traces zlib's parse over staged positions [from, to) (input positions)
  // from a guessed state, noting the answers of every search it makes.
  void Trace(uint64_t from, uint64_t to, uint32_t* note, std::vector<uint32_t>& hhead,
             std::vector<uint32_t>& hprev) const {
    const uint8_t* buf = history.data();
    const uint64_t base = historyStart;
    // A trace that starts a little early mostly meets the real parse by
    // the first position it notes (tests trace small pieces from their
    // first byte, so that the traces go astray).
    const uint64_t warm = pieceBytes < 4096 ? 0 : std::min<uint64_t>(from - base, 1024);
    const uint64_t traceFrom = from - warm;
    const uint64_t ctx = traceFrom - base > kWSize ? traceFrom - kWSize : base;
    std::fill(hhead.begin(), hhead.end(), 0u);
    // Offsets in the buffer plus one; 0 is no entry.
    uint32_t inserted = static_cast<uint32_t>(ctx - base);
    auto insertUpTo = [&](uint32_t o) {
      for (; inserted <= o; ++inserted) {
        const uint32_t h = Hash3(buf + inserted);
        hprev[inserted & kWMask] = hhead[h];
        hhead[h] = inserted + 1;
      }
    };
    uint32_t mLength = kMinMatch - 1, mStart = 0;
    uint32_t o = static_cast<uint32_t>(traceFrom - base);
    const uint32_t stop = static_cast<uint32_t>(to - base);
    const uint32_t noteFrom = static_cast<uint32_t>(from - base);
    while (o < stop) {
      insertUpTo(o);
      const uint32_t headV = hprev[o & kWMask];
      const uint64_t at = base + o;
      const uint32_t pLength = mLength;
      mLength = kMinMatch - 1;
      if (headV != 0 && pLength < kMaxLazy && at - (base + headV - 1) <= kMaxDist && base + headV - 1 > 0) {
        const uint32_t cls = pLength >= kGoodMatch ? 2 : 1;
        uint32_t chain = cls == 2 ? kMaxChain >> 2 : kMaxChain;
        const uint64_t limitAt = at > kMaxDist ? at - kMaxDist : 0;
        const uint32_t limitV = limitAt >= base ? static_cast<uint32_t>(limitAt - base) + 1 : 0;
        const uint8_t* scan = buf + o;
        uint32_t best = pLength, bestAt = 0, cur = headV;
        bool found = false;
        do {
          const uint8_t* match = buf + cur - 1;
          if (match[best] != scan[best] || match[best - 1] != scan[best - 1] || match[0] != scan[0] ||
              match[1] != scan[1])
            continue;
          const uint32_t len = CommonPrefixLength(scan, match, kMaxMatch);
          if (len > best) {
            best = len;
            bestAt = cur - 1;
            found = true;
            if (len >= kNiceMatch) break;
          }
        } while ((cur = hprev[(cur - 1) & kWMask]) > limitV && --chain != 0);
        if (o >= noteFrom) note[o - noteFrom] = PackAnswer(best, found ? o - bestAt : 0, cls, found);
        mLength = best;
        if (found) mStart = bestAt;
        if (mLength == kMinMatch && o - mStart > kTooFar) mLength = kMinMatch - 1;
      }
      // Whether a literal is due does not move the parse.
      if (pLength >= kMinMatch && mLength <= pLength) {
        o = o - 1 + pLength;
        mLength = kMinMatch - 1;
      } else {
        ++o;
      }
    }
  }

  void Answer() {
    const uint64_t stageEnd = historyStart + history.size();
    answers.clear();
    answersStart = stageStart;
    if (threads <= 1 || stageEnd - stageStart < 2 * kMinLookahead + std::min<uint32_t>(pieceBytes, 16384)) return;
    // Positions whose search needs bytes past the stage wait for the next.
    const uint64_t last = stageEnd - kMinLookahead;
    answers.assign(static_cast<size_t>(last - stageStart), 0);
    const uint64_t span = last - stageStart;
    // Pieces small enough to keep every thread busy to the end, large
    // enough that tracing their starts costs little.
    const uint64_t piece = std::max<uint64_t>(std::min<uint64_t>(span / (threads * 4), pieceBytes),
                                              std::min<uint32_t>(pieceBytes, 16384));
    const uint64_t parts = std::max<uint64_t>(1, (span + piece - 1) / piece);
    std::atomic<uint32_t> next(0);
    auto work = [&]() {
      try {
        std::vector<uint32_t> hhead(kHashSize), hprev(kWSize);
        for (uint32_t k; !stop && (k = next.fetch_add(1)) < parts;) {
          const uint64_t a = stageStart + span * k / parts, b = stageStart + span * (k + 1) / parts;
          Trace(a, b, answers.data() + (a - stageStart), hhead, hprev);
        }
      } catch (...) {
        // Unanswered positions are searched by the parse itself.
      }
    };
    RunOnSideWorkers(threads - 1, work);
  }

  void ProcessStage(Stage& stage) {
    if (stage.pieces.empty()) return;
    history.swap(stage.bytes);
    historyStart = stage.start;
    stageStart = stage.stageStart;
    stagePieces.swap(stage.pieces);
    Answer();
    const uint8_t* p = history.data() + (stageStart - historyStart);
    for (uint32_t n : stagePieces) {
      if (stop) break;  // the deflater is going away
      Feed(p, n);
      p += n;
    }
    answers.clear();
    answers.shrink_to_fit();
    // The stage's buffers go back for reuse.
    history.swap(stage.bytes);
    stagePieces.swap(stage.pieces);
  }

  // Moves the encoder's bytes to those the caller takes.
  void Publish() {
    std::lock_guard<EngineMutex> hold(lock);
    if (ready.empty())
      ready.swap(out);
    else
      ready.insert(ready.end(), out.begin(), out.end());
    out.clear();
  }

  void Loop() {
    std::unique_lock<EngineMutex> hold(lock);
    for (;;) {
      arrived.wait(hold, [this] { return stop || !queued.empty(); });
      if (stop) return;
      Stage stage = std::move(queued.front());
      queued.pop_front();
      busy = true;
      hold.unlock();
      std::exception_ptr error;
      try {
        ProcessStage(stage);
        Publish();
      } catch (...) {
        error = std::current_exception();
      }
      hold.lock();
      busy = false;
      if (error) {
        // The encoder is lost half way through a stage: nothing after it
        // may be deflated, and the caller hears of it at its next call.
        failure = error;
        failed = true;
        queued.clear();
      } else {
        spare.push_back(std::move(stage));
      }
      room.notify_all();
    }
  }

  void RaiseFailure() {
    if (!failed) return;
    std::lock_guard<EngineMutex> hold(lock);
    std::rethrow_exception(failure);
  }

  // Hands the filled stage on and starts the next with its last window.
  // A body of less than a stage is deflated by the caller: a thread would
  // cost more than it saves.
  void HandOn(bool last) {
    Stage next;
    if (!last) {
      {
        std::lock_guard<EngineMutex> hold(lock);
        if (!spare.empty()) {
          next = std::move(spare.back());
          spare.pop_back();
        }
      }
      const size_t keep = std::min<size_t>(filling.bytes.size(), kWSize);
      next.start = filling.start + filling.bytes.size() - keep;
      next.stageStart = filling.start + filling.bytes.size();
      // Room for a whole stage at once, so that gathering it does not copy
      // it again and again as it grows.
      next.bytes.reserve(keep + stageBytes + 65536);
      next.bytes.assign(filling.bytes.end() - static_cast<std::ptrdiff_t>(keep), filling.bytes.end());
      next.pieces.clear();
    }
    if (!alone && !started && !last) {
      started = true;
      try {
        deflating = std::thread([this] { Loop(); });
      } catch (const std::system_error&) {
        alone = true;
      }
    }
    if (alone || !started) {
      ProcessStage(filling);
      Publish();
      std::lock_guard<EngineMutex> hold(lock);
      spare.push_back(std::move(filling));
    } else {
      std::unique_lock<EngineMutex> hold(lock);
      room.wait(hold, [this] { return failure || queued.size() < kQueued; });
      if (failure) std::rethrow_exception(failure);
      queued.push_back(std::move(filling));
      arrived.notify_one();
    }
    filling = std::move(next);
  }

  void Write(const uint8_t* data, uint32_t n) {
    RaiseFailure();
    if (n == 0) return;
    filling.bytes.insert(filling.bytes.end(), data, data + n);
    filling.pieces.push_back(n);
    if (filling.start + filling.bytes.size() - filling.stageStart >= stageBytes) HandOn(false);
  }

  void Finish() {
    RaiseFailure();
    if (!filling.pieces.empty()) HandOn(true);
    {
      std::unique_lock<EngineMutex> hold(lock);
      room.wait(hold, [this] { return failure || (queued.empty() && !busy); });
      if (failure) std::rethrow_exception(failure);
    }
    // The deflating thread is idle: the encoder is the caller's now.
    Start();
    nextIn = nullptr;
    availIn = 0;
    Run(true);
    PutByte(static_cast<uint8_t>(adler >> 24));
    PutByte(static_cast<uint8_t>(adler >> 16));
    PutByte(static_cast<uint8_t>(adler >> 8));
    PutByte(static_cast<uint8_t>(adler));
    Publish();
  }

  void TakeOutput(std::vector<uint8_t>& bytes) {
    RaiseFailure();
    bytes.clear();
    std::lock_guard<EngineMutex> hold(lock);
    bytes.swap(ready);
  }
};

BodyDeflater::BodyDeflater(uint32_t threads, uint32_t stageBytes, uint32_t pieceBytes)
    : impl_(new Impl(threads, stageBytes == 0 ? 1 : stageBytes, pieceBytes == 0 ? 1 : pieceBytes)) {}

BodyDeflater::~BodyDeflater() = default;

void BodyDeflater::Write(const void* data, uint32_t n) { impl_->Write(static_cast<const uint8_t*>(data), n); }

void BodyDeflater::Finish() { impl_->Finish(); }

void BodyDeflater::TakeOutput(std::vector<uint8_t>& bytes) { impl_->TakeOutput(bytes); }
