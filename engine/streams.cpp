#include "streams.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "crc32fast.h"
#include "messages.h"
#include "options.h"

uint8_t* PairBuffer = nullptr;
uint8_t* PairNewBuffer = nullptr;

void FreePairBuffer() {
  FreeBlock(PairBuffer);
  FreeBlock(PairNewBuffer);
  PairBuffer = PairNewBuffer = nullptr;
}

namespace {

// f(bytes, n, k) for the parts of the pair's run [offset, offset + n) that
// lie in one block, k counted from offset. A run read from the new file
// may begin in the old one.
template <class F>
void ForPairSpans(uint32_t offset, uint32_t n, F f) {
  uint32_t k = 0;
  if (offset < PairOldSize && PairNewBuffer) {
    const uint32_t first = std::min(n, PairOldSize - offset);
    f(PairBuffer + offset, first, 0u);
    k = first;
  }
  if (k < n) f(PairBytesAt(offset + k), n - k, k);
}

}  // namespace

namespace {

// The count in 64 bits: long has 32 on Windows, and a count past 2^31 would
// show as negative.
[[noreturn]] void DynArrayFailure(const char* text, uint64_t number) {
  std::fprintf(stderr, text, static_cast<unsigned long long>(number));
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace

DynArray::DynArray(uint32_t initialCount) {
  if (initialCount > 0) Resize(initialCount);
}

DynArray::~DynArray() { std::free(elements); }

void DynArray::Resize(uint32_t n) {
  if (n > count && n > capacity) {
    uint64_t wanted = static_cast<uint64_t>(n) + growStep;
    void* grown = nullptr;
    if (wanted <= UINT32_MAX && wanted <= SIZE_MAX / sizeof(DynElement))
      grown = std::realloc(elements, static_cast<size_t>(wanted) * sizeof(DynElement));
    if (!grown)
      DynArrayFailure("DynArray: Kein Speicher, um auf %llu Elemente zu erweitern!\n", n);
    elements = static_cast<DynElement*>(grown);
    capacity = static_cast<uint32_t>(wanted);
  }
  count = n;
}

void DynArray::InsertAt(DynElement value, uint32_t index) {
  if (index > count) {
    std::fputs("DynArray: Illegaler Versuch nach dem Ende des Arrays einzufuegen!\n", stderr);
    std::fflush(stderr);
    std::exit(1);
  }
  uint32_t old = count;
  Resize(count + 1);
  if (index < old) std::memmove(elements + index + 1, elements + index, (old - index) * sizeof(DynElement));
  elements[index] = value;
}

void DynArray::Insert(DynElement value, int where) { InsertAt(value, where == 1 ? 0 : count); }

DynArray& DynArray::Append(DynElement value) {
  Insert(value, 0);
  return *this;
}

DynElement DynArray::RemoveAt(uint32_t index) {
  if (count == 0 || index >= count) return 0;
  DynElement value = elements[index];
  std::memmove(elements + index, elements + index + 1, (count - index - 1) * sizeof(DynElement));
  --count;
  return value;
}

DynElement DynArray::RemoveEnd(int where) {
  if (count == 0) return 0;
  return RemoveAt(where == 1 ? 0 : count - 1);
}

void DynArray::Pop(DynElement& out) { out = RemoveEnd(0); }

DynElement DynArray::Get(uint32_t index) const {
  if (!elements || index >= count) return 0;
  return elements[index];
}

void DynArray::Swap(uint32_t i, uint32_t j) {
  if (i >= count || j >= count) return;
  DynElement t = elements[i];
  elements[i] = elements[j];
  elements[j] = t;
}

int32_t DynArray::IndexOf(DynElement value) const {
  for (uint32_t i = 0; i < count; ++i)
    if (elements[i] == value) return static_cast<int32_t>(i);
  return -1;
}

void DynArray::Clear() { count = 0; }

void* AllocateBlock(uint64_t size, const char* englishText, const char* germanText) {
  // More than the address space holds is refused before size_t would cut it.
  void* block = size <= SIZE_MAX ? std::malloc(size == 0 ? 1 : static_cast<size_t>(size)) : nullptr;
  if (!block)
    EngineMessageNumber("Error, can't allocate %llu Bytes (%s)!\n", "Fehler, kann %llu Bytes (%s) nicht allozieren!\n",
                        size, GermanMessages ? germanText : englishText);
  return block;
}

void FreeBlock(void* block) { std::free(block); }

namespace {

const uint32_t kKeptBlocks = 64;
void* KeptBlocks[kKeptBlocks];
uint32_t KeptCount = 0;

}  // namespace

void* AllocateStreamBlock(const char* englishText, const char* germanText) {
  if (KeptCount > 0) return KeptBlocks[--KeptCount];
  return AllocateBlock(kStreamBlockSize, englishText, germanText);
}

void FreeStreamBlock(void* block) {
  if (!block) return;
  if (KeptCount < kKeptBlocks)
    KeptBlocks[KeptCount++] = block;
  else
    FreeBlock(block);
}

void ReleaseStreamBlocks() {
  while (KeptCount > 0) FreeBlock(KeptBlocks[--KeptCount]);
}

namespace {

const char kBitEnglish[] = "to expand optimizing bitstream";
const char kBitGerman[] = "um Optimierungs-Bitstream zu verg\xf6\xdf" "ern";

// Frees every full block held by a stream's array and empties it.
void FreeFullBlocks(DynArray& blocks) {
  for (uint32_t i = 0; i < blocks.Count(); ++i) FreeStreamBlock(reinterpret_cast<void*>(blocks.Get(i)));
  blocks.DynArray::Clear();
}

}  // namespace

StreamSink FileSink(FILE* file) {
  return [file](const void* data, size_t n) { return n == 0 || std::fwrite(data, 1, n, file) == n; };
}

BitStream::~BitStream() { Clear(); }

void BitStream::PutBit(int bit) {
  if (!currentBlock) {
    currentBlock = static_cast<uint8_t*>(AllocateStreamBlock(kBitEnglish, kBitGerman));
    writePos = currentBlock;
  }
  if (bit) pendingByte = static_cast<uint8_t>(pendingByte | (1u << bitCount));
  if (++bitCount == 8) {
    *writePos++ = pendingByte;
    bitCount = 0;
    pendingByte = 0;
    if (writePos == currentBlock + kStreamBlockSize) {
      Append(reinterpret_cast<DynElement>(currentBlock));
      // The full block now belongs to the array; a failing allocation ends
      // the run, and Clear must not free that block twice.
      currentBlock = writePos = nullptr;
      currentBlock = static_cast<uint8_t*>(AllocateStreamBlock(kBitEnglish, kBitGerman));
      writePos = currentBlock;
    }
  }
}

uint32_t BitStream::Length() const {
  uint32_t used = currentBlock ? static_cast<uint32_t>(writePos - currentBlock) : 0;
  return kStreamBlockSize * count + used + (bitCount != 0 ? 1 : 0);
}

bool BitStream::Save(FILE* file) { return Save(FileSink(file)); }

bool BitStream::Save(const StreamSink& sink) {
  if (!currentBlock) return true;
  uint8_t* end = writePos;
  // The pending byte sits at the write position for the write only, so
  // more bits may follow afterwards.
  if (bitCount > 0) *end++ = pendingByte;
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) ok = sink(reinterpret_cast<const void*>(elements[i]), kStreamBlockSize);
  if (ok) ok = sink(currentBlock, static_cast<size_t>(end - currentBlock));
  return ok;
}

void BitStream::Clear() {
  FreeStreamBlock(currentBlock);
  FreeFullBlocks(*this);
  currentBlock = nullptr;
  writePos = nullptr;
  bitCount = 0;
  pendingByte = 0;
}

ByteStream::~ByteStream() { Clear(); }

void ByteStream::NewBlock() {
  // A full block already belongs to the array; if the allocation fails, the
  // run's clean-up must not free it a second time as the current block.
  currentBlock = writePos = nullptr;
  currentBlock = static_cast<uint8_t*>(AllocateStreamBlock(englishText, germanText));
  writePos = currentBlock;
}

void ByteStream::PutByte(uint8_t b) {
  if (!currentBlock) NewBlock();
  *writePos++ = b;
  if (writePos == currentBlock + kStreamBlockSize) {
    Append(reinterpret_cast<DynElement>(currentBlock));
    NewBlock();
  }
}

void ByteStream::PutBytes(const uint8_t* buffer, uint32_t n) {
  while (n > 0) {
    if (!currentBlock) NewBlock();
    uint32_t room = kStreamBlockSize - static_cast<uint32_t>(writePos - currentBlock);
    uint32_t take = n < room ? n : room;
    std::memcpy(writePos, buffer, take);
    writePos += take;
    buffer += take;
    n -= take;
    if (writePos == currentBlock + kStreamBlockSize) {
      Append(reinterpret_cast<DynElement>(currentBlock));
      NewBlock();
    }
  }
}

uint32_t ByteStream::Length() const {
  uint32_t used = currentBlock ? static_cast<uint32_t>(writePos - currentBlock) : 0;
  return kStreamBlockSize * count + used;
}

uint8_t& ByteStream::At(uint32_t position) const {
  uint32_t block = position / kStreamBlockSize;
  uint8_t* base = block < count ? reinterpret_cast<uint8_t*>(elements[block]) : currentBlock;
  return base[position % kStreamBlockSize];
}

uint8_t ByteStream::ByteAt(uint32_t position) const { return At(position); }

template <class F>
void ByteStream::ForSpans(uint32_t from, uint32_t to, F f) const {
  while (from < to) {
    const uint32_t block = from / kStreamBlockSize, inBlock = from % kStreamBlockSize;
    uint8_t* base = block < count ? reinterpret_cast<uint8_t*>(elements[block]) : currentBlock;
    const uint32_t n = std::min(to - from, kStreamBlockSize - inBlock);
    f(base + inBlock, n, from);
    from += n;
  }
}

void ByteStream::SubtractRun(uint32_t position, uint32_t oldOffset, uint32_t n) {
  ForSpans(position, position + n, [oldOffset, position](uint8_t* b, uint32_t len, uint32_t at) {
    ForPairSpans(oldOffset + (at - position), len, [b](const uint8_t* old, uint32_t m, uint32_t from) {
      for (uint32_t k = 0; k < m; ++k) b[from + k] = static_cast<uint8_t>(b[from + k] - old[k]);
    });
  });
}

void ByteStream::AddRun(uint32_t position, uint32_t oldOffset, uint32_t n) {
  ForSpans(position, position + n, [oldOffset, position](uint8_t* b, uint32_t len, uint32_t at) {
    ForPairSpans(oldOffset + (at - position), len, [b](const uint8_t* old, uint32_t m, uint32_t from) {
      for (uint32_t k = 0; k < m; ++k) b[from + k] = static_cast<uint8_t>(b[from + k] + old[k]);
    });
  });
}

double ByteStream::Entropy(uint32_t from, uint32_t to) const {
  if (to <= from) return 0.0;
  // The encoder asks about short segments by the hundred thousand: count
  // only the values present and visit them in rising order, so the sum is
  // the same one as over a whole histogram.
  uint32_t histogram[256];
  uint64_t present[4] = {};
  ForSpans(from, to, [&](const uint8_t* b, uint32_t len, uint32_t) {
    for (uint32_t k = 0; k < len; ++k) {
      const uint8_t v = b[k];
      const uint64_t bit = uint64_t(1) << (v & 63);
      if (present[v >> 6] & bit) {
        ++histogram[v];
      } else {
        present[v >> 6] |= bit;
        histogram[v] = 1;
      }
    }
  });
  const double total = static_cast<double>(to - from);
  double sum = 0.0;
  for (uint32_t word = 0; word < 4; ++word) {
    for (uint64_t bits = present[word]; bits != 0; bits &= bits - 1) {
      const uint32_t v = word * 64 + static_cast<uint32_t>(__builtin_ctzll(bits));
      double p = histogram[v] / total;
      sum += p * std::log2(p);
    }
  }
  return sum;
}

bool ByteStream::Save(FILE* file) { return Save(FileSink(file)); }

bool ByteStream::Save(const StreamSink& sink) {
  if (!currentBlock) return true;
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) ok = sink(reinterpret_cast<const void*>(elements[i]), kStreamBlockSize);
  if (ok) ok = sink(currentBlock, static_cast<size_t>(writePos - currentBlock));
  return ok;
}

void ByteStream::Clear() {
  FreeStreamBlock(currentBlock);
  FreeFullBlocks(*this);
  currentBlock = nullptr;
  writePos = nullptr;
}

namespace {

// Eight tables, so that the checksum of a whole file (every file of every
// version is checksummed once) takes one step per eight bytes: table k
// gives the contribution of a byte followed by k more.
struct Crc32Table {
  uint32_t entries[8][256];
  Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
      entries[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) entries[k][i] = (entries[k - 1][i] >> 8) ^ entries[0][entries[k - 1][i] & 0xFF];
  }
};

const Crc32Table kCrcTable;

inline uint32_t Load32Le(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Update(const void* buffer, int32_t n, uint32_t crc) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
#ifdef MORVANE_CRC_FOLDING
  if (n >= 256 && crcfast::CanFold()) {
    int32_t whole = n & ~15;
    crc = crcfast::Fold(p, static_cast<size_t>(whole), crc);
    p += whole;
    n -= whole;
  }
#endif
  const auto& t = kCrcTable.entries;
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint32_t one = Load32Le(p + i) ^ crc, two = Load32Le(p + i + 4);
    crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
          t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
  }
  for (; i < n; ++i) crc = t[0][(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}
